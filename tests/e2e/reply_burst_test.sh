#!/bin/bash
# A burst of replies that cannot go out at once must not hold up the server:
# 200 renewals from clients that are not there each draw a DHCPNAK to an
# address that the server's side tries to resolve and never can. Another
# client asking right after the burst is answered at once.
# Against NIMBO.exe the datagrams come from NIMBO_PROBE_CLIENT, the native
# build's probe client.
source "$(dirname "$0")/lib.sh" "$@"
case "$NIMBO" in *.exe) PROBE=${NIMBO_PROBE_CLIENT:-} ;; esac
[ -x "$PROBE" ] || skip "probe client missing"
client_address
write_ini
start_server

ms() { date +%s%3N; }
R=$(inc "$PROBE" "$SERVER_IP" naks 200) || fail "naks: $R"
START=$(ms)
R=$(inc env PROBE_WAIT_MS=2500 "$PROBE" "$SERVER_IP" dora 02:00:00:00:ee:01) || fail "dora after the burst: $R"
TOOK=$(($(ms) - START))
echo "answered ($R) ${TOOK} ms after the burst"
[ "$TOOK" -lt 1000 ] || fail "the answer took ${TOOK} ms"
NAKS=$(grep -c "Send DHCPNACK" "$SERVER_DIR/NIMBO.LOG" || true)
[ "$NAKS" -ge 180 ] || fail "only $NAKS of 200 renewals refused"
server_alive || fail "server died"
stop_server
pass "200 NAKs to absent clients; the next client was answered in ${TOOK} ms"
exit 0
