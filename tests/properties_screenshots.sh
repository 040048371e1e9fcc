#!/bin/bash
# Screenshots of the properties window, one per tab, for a person to look
# at: the driver program runs under Xvfb with the X11 driver and a Wine
# virtual desktop of 1024x768, and `import -window root` takes the picture
# each time the driver has a tab up, at DPI dots per inch (default 96).
#   properties_screenshots.sh <driver.exe> <output folder> [DPI]
# The Wine prefix is "$WINEPREFIX-screens" (kept between runs: making one
# takes long); NIMBO_XVFB_DISPLAY picks the display number, else Xvfb takes
# a free one. Exits 77 (skipped) without Xvfb or ImageMagick.
set -euo pipefail
driver=$1
out=$2
dpi=${3:-96}
for tool in Xvfb import wine wineboot; do
  command -v "$tool" >/dev/null || { echo "no $tool here: skipped"; exit 77; }
done
source "$(dirname "$0")/../scripts/wait-until.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-/tmp/nimbo-wine-$(id -u)}-screens"
mkdir -p "$out"
rm -f "$out"/ready-* "$out"/shot-* "$out"/tab-*-"$dpi".png

xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

display_file="$out/xvfb-display"
rm -f "$display_file"
if [ -n "${NIMBO_XVFB_DISPLAY:-}" ]; then
  Xvfb ":$NIMBO_XVFB_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  display=$NIMBO_XVFB_DISPLAY
  wait_until "$WAIT_LIMIT" "Xvfb's socket" test -S "/tmp/.X11-unix/X$display" || true
else
  # Xvfb picks a free display and writes its number to descriptor 5.
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  wait_until "$WAIT_LIMIT" "Xvfb's display number" test -s "$display_file" || true
  display=$(head -n1 "$display_file")
fi
kill -0 "$xvfb_pid" 2>/dev/null && [ -n "$display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/.nimbo-screens-ready" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.nimbo-screens-ready"
fi

# The desktop's density (user32) and the fonts' (gdi32), as Wine reads them.
for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
done
# Wine reads the densities when its session starts: the session of the
# settings above ends by itself (a session killed while it boots may leave
# the next one waiting for the boot).
wineserver -w
names=(general address-ranges reservations active-leases)
folder=$(winepath -w "$out")
driver_pid=""
start_driver() {
  wine "$driver" "$folder" >"$out/driver.log" 2>&1 &
  driver_pid=$!
}
tab_up() {
  [ -f "$out/ready-$1" ] && return 0
  kill -0 "$driver_pid" 2>/dev/null || { echo "the driver ended before tab $1"; exit 1; }
  return 1
}
# What a person needs to see why a tab did not come up: the screen, the
# windows on it, the driver's output and the prefix's processes; kept in
# stalled-TAB-DPI.txt and .png.
evidence() {
  import -window root "$out/stalled-$1-$dpi.png" 2>/dev/null
  {
    echo "tab $1 did not come up; the screen is stalled-$1-$dpi.png"
    echo "--- windows"; xwininfo -root -tree 2>&1 | grep -v '^ *$' | head -40
    echo "--- driver output"; cat "$out/driver.log"
    echo "--- processes"; ps -eo pid,etime,stat,wchan:20,args | grep -E 'wine|\.exe' | grep -v grep
  } >"$out/stalled-$1-$dpi.txt"
}
rm -f "$out"/stalled-*-"$dpi".*
start_driver
# The first tab waits on Wine's start of the session and its desktop too.
# Once in many runs that start never ended; the evidence is kept and Wine
# is started once more. A later tab that does not come up fails the test.
if ! wait_until $((2 * WAIT_LIMIT)) "tab 0" tab_up 0; then
  evidence 0
  cat "$out/stalled-0-$dpi.txt"
  echo "starting Wine once more"
  wineserver -k 2>/dev/null || true; wineserver -w
  start_driver
fi
for tab in 0 1 2 3; do
  if ! wait_until $((2 * WAIT_LIMIT)) "tab $tab" tab_up "$tab"; then
    evidence "$tab"
    cat "$out/stalled-$tab-$dpi.txt"
    exit 1
  fi
  sleep 0.5  # let the desktop finish painting
  import -window root "$out/tab-$tab-${names[$tab]}-$dpi.png"
  touch "$out/shot-$tab"
done
wait "$driver_pid"
rm -f "$out"/ready-* "$out"/shot-* "$display_file"
ls "$out"/tab-*.png
