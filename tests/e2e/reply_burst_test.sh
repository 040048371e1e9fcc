#!/bin/bash
# A burst of replies that cannot go out at once must not hold up the server:
# 200 renewals from clients that are not there each draw a DHCPNAK to an
# address that the server's side tries to resolve and never can. Another
# client asking right after the burst is answered while the kernel still
# tries to resolve every one of those addresses, holding their NAKs; a
# server whose send waited for room would answer only once the kernel gave
# up on the first and dropped its NAK. Here the kernel tries for 30 s (three
# solicitations 10 s apart), so that a loaded machine cannot blur the two.
# Against NIMBO.exe the datagrams come from NIMBO_PROBE_CLIENT, the native
# build's probe client.
source "$(dirname "$0")/lib.sh" "$@"
case "$NIMBO" in *.exe) PROBE=${NIMBO_PROBE_CLIENT:-} ;; esac
[ -x "$PROBE" ] || skip "probe client missing"
client_address
write_ini
ins sysctl -qw "net.ipv4.neigh.$VETH_S.retrans_time_ms=10000"
start_server

ms() { date +%s%3N; }
neighbours() { ins ip neigh show dev "$VETH_S" nud "$1" | grep -c . || true; }
R=$(inc "$PROBE" "$SERVER_IP" naks 200) || fail "naks: $R"
START=$(ms)
R=$(inc env PROBE_WAIT_MS=60000 "$PROBE" "$SERVER_IP" dora 02:00:00:00:ee:01) || fail "dora after the burst: $R"
TOOK=$(($(ms) - START))
echo "answered ($R) ${TOOK} ms after the burst, $(neighbours incomplete) addresses still being resolved"
[ "$(neighbours failed)" = 0 ] || fail "answered only once the kernel gave up on $(neighbours failed) addresses"
NAKS=$(grep -c "Send DHCPNACK" "$SERVER_DIR/NIMBO.LOG" || true)
[ "$NAKS" -ge 180 ] || fail "only $NAKS of 200 renewals refused"
server_alive || fail "server died"
stop_server
pass "200 NAKs to absent clients; the next client was answered in ${TOOK} ms, before any of them was given up on"
exit 0
