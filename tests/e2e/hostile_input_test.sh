#!/bin/bash
# Hostile datagrams from the client side: a host name holding a line break
# and a forged time stamp cannot start a line of its own in either log, and
# a flood of datagrams too large for the receive buffer neither stalls the
# server nor fills its log.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
client_address
write_ini
start_server

# Lines of a log that do not begin with an entry's time stamp (a lone CR
# counts as a line break too, as some viewers show it).
unstamped() {
    tr '\r' '\n' <"$1" | grep -v '^$' |
        grep -Ev '^[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} - ' || true
}

FORGED=$'pc\r\n10:00:00 FORGED'
R=$(inc env PROBE_WAIT_MS=3000 PROBE_HOST_NAME="$FORGED" "$PROBE" "$SERVER_IP" dora 02:00:00:00:dd:01) ||
    fail "dora with a hostile host name: $R"
BAD="$(unstamped "$SERVER_DIR/NIMBO.LOG")$(unstamped "$SERVER_DIR/Addresses.LOG")"
[ -z "$BAD" ] || fail "log lines that no entry began: $BAD"
grep -q "Add Lease for pc??10:00:00 FORGED (" "$SERVER_DIR/Addresses.LOG" || fail "the lease line is missing"
pass "hostile host name ($R) shown as pc??10:00:00 FORGED"

# About 600 datagrams of 3000 bytes a second for 2.5 s; a client asks for an
# address in the middle of it and must be answered promptly. It sends each
# request up to three times, as clients do: on a busy machine a burst can
# still overflow the socket's queue now and then, but a loop that paused
# after each bad datagram would lose nearly everything.
# The flood lasts long enough for a client to be served in the middle of it
# on a loaded machine too; the server logs at most one error line a second.
FLOOD_SECONDS=10
"${IN_C[@]}" "$PROBE" "$SERVER_IP" flood 3000 $((FLOOD_SECONDS * 1000)) >"$WORK/flood.out" 2>&1 &
FLOOD=$!
BACKGROUND_PIDS+=("$FLOOD")
wait_for_line "UDP Server Receive error - 10040" "$SERVER_DIR/NIMBO.LOG" || fail "the flood did not reach the server"
R=$(inc env PROBE_WAIT_MS=1000 PROBE_TRIES=3 "$PROBE" "$SERVER_IP" dora 02:00:00:00:dd:02) || fail "dora during the flood: $R"
kill -0 "$FLOOD" 2>/dev/null || fail "the answer ($R) came only after the flood"
wait "$FLOOD" || true
server_alive || fail "server died during the flood"
LINES=$(grep -c "UDP Server Receive error - 10040" "$SERVER_DIR/NIMBO.LOG" || true)
[ "$LINES" -le $((FLOOD_SECONDS + 2)) ] || fail "$LINES receive error lines for $(cat "$WORK/flood.out")"
stop_server
grep -q "UDP Server Receive errors not logged - " "$SERVER_DIR/NIMBO.LOG" || fail "no count of the errors left out"
pass "flood ($(cat "$WORK/flood.out")): answered ($R), $LINES error line(s)"
exit 0
