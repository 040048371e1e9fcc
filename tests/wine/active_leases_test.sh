#!/bin/bash
# The Active Leases page of NIMBO.exe, end to end: with the page open and
# AutoRefresh on (the default), a busybox udhcpc client gets a lease and it
# is listed within about 3 s without pressing Refresh; deleted there (Delete
# Lease, confirmed with Yes), it leaves NIMBO.INI with the next lease save,
# while the window is still open. Reserved there first, after a restart it gets
# the address outside the range. leases_page_probe.exe plays the administrator.
#
# Arguments: NIMBO.exe, desktop_probe.exe (leases_page_probe.exe is beside it).
PAGE_PROBE=$(dirname "${2:?desktop_probe.exe}")/leases_page_probe.exe
source "$(dirname "$0")/../e2e/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
[ -f "$PAGE_PROBE" ] || skip "leases_page_probe.exe missing beside desktop_probe.exe"
cp "$PAGE_PROBE" "$WORK/leases_page_probe.exe"

SIGNALS=$WORK/page
mkdir -p "$SIGNALS"
SIGNALS_WIN="Z:${SIGNALS//\//\\}"
signal() { touch "$SIGNALS/$1"; }
# Waits for the probe to print a line matching $1.
probe_said() { wait_for_line "$1" "$WORK/probe.out"; }
probe_value() { tr -d '\r' <"$WORK/probe.out" | sed -n "s/^$1=//p" | tail -1; }
probe_failed() { fail "$1: $(cat "$WORK/probe.out" "$WORK/probe.err" 2>/dev/null | tr -d "\r")"; }

cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
[ "\$1" = bound ] && echo "bound ip=\$ip at=\$(date +%s%3N)" >>"$WORK/events"
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"

write_ini
start_server

(cd "$WORK" && exec "${IN_S[@]}" wine leases_page_probe.exe "$SIGNALS_WIN") >"$WORK/probe.out" 2>"$WORK/probe.err" &
PROBE_PID=$!
BACKGROUND_PIDS+=("$PROBE_PID")
page_open() { [ -f "$SIGNALS/ready" ] || { kill -0 "$PROBE_PID" 2>/dev/null || probe_failed "the probe ended"; return 1; }; }
wait_until "$WAIT_LIMIT" "the Active Leases page" page_open || probe_failed "the Active Leases page did not open"
[ "$(probe_value autorefresh)" = 1 ] || probe_failed "AutoRefresh is not ticked"
[ "$(probe_value rows)" = 0 ] || probe_failed "leases listed before any client"
pass "Active Leases page open, AutoRefresh ticked, no leases"

inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:pageclient \
    >"$WORK/udhcpc.out" 2>&1 || fail "udhcpc got no lease"
ADDRESS=$(sed -n 's/^bound ip=\([^ ]*\).*/\1/p' "$WORK/events")
BOUND_AT=$(sed -n 's/.* at=//p' "$WORK/events")
probe_said "^seen=" || probe_failed "the lease was not listed"
[ "$(probe_value row)" = "pageclient|$ADDRESS" ] || probe_failed "listed: $(probe_value row)"
# The main window passes a change on at most every 3000 ms (it last did at
# start-up, a moment ago) and looks every 500 ms: 3500 ms at worst, and a
# little for the page's refill.
LATE=$(( $(probe_value seen) - BOUND_AT ))
[ "$LATE" -le 4000 ] || fail "listed $LATE ms after the client was bound"
pass "pageclient at $ADDRESS listed ${LATE} ms after the client was bound (negative: already at the offer)"

probe_said "^reserved" || probe_failed "Reserve"
MAC=$(inc ip -o link show "$VETH_C" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p' | tr ':' '-')
grep -aq "^@M-$MAC=$ADDRESS" "$SERVER_DIR/NIMBO.INI" && pass "Reserve: @M-$MAC=$ADDRESS in NIMBO.INI at once" || fail "no @M-$MAC"
wait_until "$WAIT_LIMIT" "the lease in NIMBO.INI" lease_listed "^pageclient~" || fail "the lease is not in NIMBO.INI"
signal delete
probe_said "^deleted, rows=0" || probe_failed "Delete Lease"
[ "$(probe_value box)" = "Nimbo|Are you sure you want to delete this lease?" ] || probe_failed "the confirmation"
wait_until "$WAIT_LIMIT" "the lease to leave NIMBO.INI" lease_unlisted "^pageclient~" ||
    fail "the deleted lease is still in NIMBO.INI"
pass "Delete Lease confirmed: the row and the lease in NIMBO.INI are gone"

signal close
probe_said "^closed" || probe_failed "the window did not close"
wait "$PROBE_PID" || probe_failed "the probe"
stop_server
leases_section | grep -q "^pageclient~" && fail "the deleted lease came back at shutdown"
pass "after shutdown the lease stays deleted"

sed -i 's/^Ranges=198\.51\.100\.100-/Ranges=198.51.100.120-/' "$SERVER_DIR/NIMBO.INI"
start_server
inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 >/dev/null 2>&1 || fail "no lease again"
[ "$(sed -n 's/^bound ip=\([^ ]*\).*/\1/p' "$WORK/events" | tail -1)" = "$ADDRESS" ] || fail "not $ADDRESS again"
grep -aq "Found Matching Reservation: .* -> $(address_hex "$ADDRESS")" "$SERVER_DIR/NIMBO.LOG" || fail "not reserved"
stop_server
pass "restarted, outside the range and without its lease: $ADDRESS again, as its reservation"
exit 0
