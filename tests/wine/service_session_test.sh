#!/bin/bash
# NIMBO.exe as the service "Nimbo" beside starts by hand, as on Windows 10
# and 11: installed with "NimboSVC Config Quiet" (type 0x10), the service
# runs on a window station of its own, so this session finds no server
# window, as a user's session finds none of a service in session 0.
# - NimboStop.exe stops the service, and NIMBO.INI holds the lease a busybox
#   udhcpc client got from it;
# - "NIMBO.exe /SHUTDOWN /QUIET" stops it the same way, without a message;
# - "NIMBO.exe /OPTIONS" hands over: the service stops, the server serves in
#   this session with its properties window open (its title says what
#   closing it does) and the lease listed on Active Leases; once it is
#   closed the service runs again, serves the next client, and the lease is
#   still in NIMBO.INI; when the service cannot start again, a message says
#   so and the server in this session goes on serving.
#
# Arguments: NIMBO.exe, desktop_probe.exe (leases_page_probe.exe is beside it).
PAGE_PROBE=$(dirname "${2:?desktop_probe.exe}")/leases_page_probe.exe
WRAPPER=$(dirname "${1:?NIMBO.exe}")/NimboSVC.exe
source "$(dirname "$0")/../e2e/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
[ -f "$PAGE_PROBE" ] && [ -f "$WRAPPER" ] || skip "leases_page_probe.exe or NimboSVC.exe missing"
cp "$WRAPPER" "$SERVER_DIR/"
cp "$PAGE_PROBE" "$WORK/leases_page_probe.exe"

cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
[ "\$1" = bound ] && echo "bound ip=\$ip" >>"$WORK/events"
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
# One client, its name as its identifier; sets ADDRESS.
serve_one_client() {
    : >"$WORK/events"
    inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:"$1" \
        -x 0x3d:00"$(printf %s "$1" | od -An -tx1 | tr -d ' \n')" >>"$WORK/udhcpc.out" 2>&1 || fail "udhcpc ($1) got no lease"
    ADDRESS=$(sed -n 's/^bound ip=//p' "$WORK/events")
}
service_state() { ins wine sc query Nimbo 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
# Waits until the service is in state $1 and, when running, its server has
# bound port 67.
service_in_state() { [ "$(service_state)" = "$1" ] && { [ "$1" != RUNNING ] || server_ready; }; }
wait_for_service() {
    wait_until "$WAIT_LIMIT" "the service to be $1 ($2)" service_in_state "$1" || fail "the service is $(service_state), not $1 ($2)"
}
start_service() { ins wine sc start Nimbo >/dev/null 2>&1; wait_for_service RUNNING "$1"; }

# The prefix's wineserver stays (host.sh); its service control manager is
# started here without this script's pipes: the services outlive commands
# whose output is read.
ins wine sc query Nimbo >/dev/null 2>&1 || true

write_ini
OUT=$(wine_in_server NimboSVC.exe Config Quiet 2>&1) || fail "Config Quiet exited with $?: $OUT"
[ "$(tr -d '\r' <<<"$OUT")" = "Service Started OK" ] || fail "Config Quiet: $OUT"
wait_for_service RUNNING "after Config Quiet"
serve_one_client svcbox1
OUT=$(wine_in_server NimboStop.exe 2>&1) || fail "NimboStop.exe exited with $?"
[ -z "$(tr -d '\r' <<<"$OUT")" ] || fail "NimboStop.exe printed: $OUT"
[ "$(service_state)" = STOPPED ] || fail "NimboStop.exe ended before the service stopped: $(service_state)"
leases_section | grep -q "^svcbox1~" || fail "svcbox1's lease not saved"
pass "NimboStop.exe stopped the service it cannot see; the lease of $ADDRESS is saved"

start_service "sc start"
serve_one_client svcbox2
wine_in_server NIMBO.exe /SHUTDOWN /QUIET >>"$WORK/server.out" 2>&1 &
desktop_probe nobox 5000 >/dev/null || fail "/SHUTDOWN /QUIET showed a message"
wait $! || fail "NIMBO.exe /SHUTDOWN /QUIET exited with $?"
wait_for_service STOPPED "NIMBO.exe /SHUTDOWN /QUIET"
leases_section | grep -q "^svcbox2~" || fail "svcbox2's lease not saved"
[ "$(grep -ac "Starting - Running on" "$SERVER_DIR/NIMBO.LOG")" = 2 ] || fail "a start by hand became a server"
pass "NIMBO.exe /SHUTDOWN /QUIET stopped the service silently; the lease of $ADDRESS is saved"

start_service "sc start"
serve_one_client svcbox3
LEASED=$ADDRESS
SIGNALS=$WORK/page
mkdir -p "$SIGNALS"
(cd "$WORK" && exec "${IN_S[@]}" wine leases_page_probe.exe "Z:${SIGNALS//\//\\}" opened) >"$WORK/probe.out" 2>&1 &
BACKGROUND_PIDS+=($!)
wine_in_server NIMBO.exe /OPTIONS >>"$WORK/server.out" 2>&1 || fail "NIMBO.exe /OPTIONS exited with $?"
wait_for_line "^rows=" "$WORK/probe.out" 40 || fail "no properties window: $(cat "$WORK/probe.out")"
wait_for_line "^row=svcbox3|$LEASED" "$WORK/probe.out" || fail "the lease is not listed: $(cat "$WORK/probe.out")"
grep -q "^title=.*hands the server back to the service" "$WORK/probe.out" || fail "title: $(grep title= "$WORK/probe.out")"
[ "$(service_state)" = STOPPED ] || fail "the service runs during the hand-over"
server_ready || fail "no server during the hand-over"
touch "$SIGNALS/close"
wait_for_line "^closed" "$WORK/probe.out" || fail "the window did not close: $(cat "$WORK/probe.out")"
wait_for_service RUNNING "after the hand-over"
serve_one_client svcbox4
leases_section | grep -q "^svcbox3~" || fail "svcbox3's lease lost in the hand-over"
pass "hand-over: the service stopped, Active Leases listed svcbox3 at $LEASED; closed, the service serves again ($ADDRESS)"

ins wine reg add 'HKLM\System\CurrentControlSet\Services\Nimbo\Parameters' /v Program /d 'C:\gone\NIMBO.EXE' /f >/dev/null 2>&1
rm -f "$SIGNALS"/* "$WORK/probe.out"
(cd "$WORK" && exec "${IN_S[@]}" wine leases_page_probe.exe "Z:${SIGNALS//\//\\}" opened) >"$WORK/probe.out" 2>&1 &
BACKGROUND_PIDS+=($!)
wine_in_server NIMBO.exe >>"$WORK/server.out" 2>&1 || fail "NIMBO.exe exited with $?"
wait_for_line "^rows=" "$WORK/probe.out" 40 || fail "no properties window: $(cat "$WORK/probe.out")"
touch "$SIGNALS/close"
BOX=$(desktop_probe box 40000) || fail "no message that the service did not start again"
grep -q "^text=.*could not be started again" <<<"$BOX" || fail "message: $BOX"
serve_one_client svcbox5
pass "a service that cannot start again is said so; the server in this session serves on ($ADDRESS)"
exit 0
