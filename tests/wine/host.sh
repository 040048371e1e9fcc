# The Windows program in the end-to-end tests: sourced by tests/e2e/lib.sh
# when its server is NIMBO.exe. The same tests then run NIMBO.exe under Wine
# in the server namespace, installed as a user would: NIMBO.exe and
# NimboStop.exe in one folder (SERVER_DIR), started there as "wine
# NIMBO.exe", stopped with "wine NimboStop.exe".
#
# Each test has a Wine prefix of its own inside WORK (scripts/wine-prefix.sh),
# so its wineserver runs in the test's namespace and sees only this test's
# windows.
#
# Sets: PROBE = desktop_probe.exe (the second argument), STOP_EXE.
# Provides: launch_server, server_ready, stop_server (replacing the Linux
# host's), wine_in_server (a Windows program in the server namespace, in
# SERVER_DIR), desktop_probe, wine_prefix_desktop (switch to a virtual desktop
# on an X display). The prefix's Wine server runs until the test ends.

command -v wine >/dev/null || skip "wine missing"
command -v wineboot >/dev/null || skip "wineboot missing"
STOP_EXE=$(dirname "$NIMBO")/NimboStop.exe
[ -f "$STOP_EXE" ] || skip "NimboStop.exe missing beside $NIMBO"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no installer dialogs for .NET and Gecko
export WINEPREFIX=$WORK/wineprefix
unset DISPLAY

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-prefix.sh"
wine_prefix_make "$WINEPREFIX" || skip "cannot make a Wine prefix"

# The installation: both programs in one folder, beside NIMBO.INI and the logs.
cp "$NIMBO" "$STOP_EXE" "$SERVER_DIR/"
cp "$PROBE" "$WORK/desktop_probe.exe" 2>/dev/null || true
PROBE=$WORK/desktop_probe.exe

# Runs a Windows program in the server namespace with SERVER_DIR as its
# working directory.
wine_in_server() { (cd "$SERVER_DIR" && exec "${IN_S[@]}" wine "$@"); }

# desktop_probe.exe (see desktop_probe.cpp) in the server namespace.
desktop_probe() { (cd "$WORK" && exec "${IN_S[@]}" wine "$PROBE" "$@") | tr -d '\r'; }

# The prefix's own processes (its services and device drivers, the
# desktop) start with its first program and keep that program's standard
# error, where Wine reports their faults (a device driver that crashes under
# load, say). They start here, under a Wine server that stays, with a first
# program whose output nobody reads (NimboStop.exe: it looks for a window,
# which brings up the desktop), so that what a test reads of its programs
# is theirs alone.
wine_prefix_start() { ins wineserver -p && wine_in_server NimboStop.exe >/dev/null 2>&1; }
wine_prefix_start || skip "cannot start Wine in the prefix"

# From now on Wine draws on the X display $1 (a virtual desktop of 1024x768
# with a taskbar and its notification area) instead of the null driver.
wine_prefix_desktop() {
    export DISPLAY=$1
    ins wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
    ins wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    ins wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    ins wineserver -k 2>/dev/null || true
    ins wineserver -w
    wine_prefix_start || fail "cannot start Wine on display $1"
}

launch_server() { cd "$SERVER_DIR" && exec "${IN_S[@]}" wine NIMBO.exe "$@"; }
# Port 67 is bound by the server thread, which the main window starts.
server_ready() { port67_bound ins; }

# NimboStop.exe: no output, exit code 0; the server ends with 0 and saves.
stop_server() {
    local out code=0
    out=$(wine_in_server NimboStop.exe 2>&1) || code=$?
    [ "$code" = 0 ] || fail "NimboStop.exe exited with $code"
    [ -z "$(printf '%s' "$out" | tr -d '\r')" ] || fail "NimboStop.exe printed: $out"
    wait_server_exit
}
