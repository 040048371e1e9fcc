#!/bin/bash
# BindToAll off, and the server address a labelled secondary address
# ("ip addr add ... label DEV:9") of the interface towards the clients, in a
# server namespace with a second interface: the server ties its socket to
# the device that holds the address and serves the client.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
# The second interface (a veth pair kept inside the namespace), up and with
# an address of its own.
ins ip link add nimbo-other type veth peer name nimbo-other-end
ins ip addr add 192.0.2.1/24 dev nimbo-other
ins ip link set nimbo-other-end up
ins ip link set nimbo-other up
LABELLED=198.51.100.9
ins ip addr add "$LABELLED/24" dev "$VETH_S" label "$VETH_S:9"
ins ip -4 addr show | grep -q "$VETH_S:9" || fail "the labelled address is missing"
client_address
SERVER_IP=$LABELLED write_ini
start_server

SOCKET=$(ins ss -Hlun 'sport = :67')
[[ "$SOCKET" == *"%$VETH_S:67"* ]] || fail "port 67 is not tied to $VETH_S: $SOCKET"
R=$(inc env PROBE_WAIT_MS=3000 "$PROBE" "$LABELLED" dora 02:00:00:00:ee:01) || fail "dora: $R"
stop_server
grep -q "Failed to create DHCP Server Port" "$SERVER_DIR/NIMBO.LOG" && fail "the bind failed"
pass "served from $LABELLED on $VETH_S ($R)"
exit 0
