#!/bin/bash
# busybox udhcpc behind the ISC relay agent (dhcrelay on a router between
# the client's segment and nimbo's): the lease comes from the [GW0] range
# with the [GW0] mask and router; a renewal goes by unicast straight to the
# server and its answer is routed back through the router that the client
# was given; a release ends the lease. A second segment of the router, with
# its own [GW1] section, gets its own range (and, without a SubnetMask of
# its own, the server's mask).
E2E_LAYOUT=relay
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"

SECOND_RELAY_IP=203.0.113.65
VETH_RD2=${VETH_RD}2
VETH_C2=${VETH_C}2
netns_link "$NS_R" "$VETH_RD2" "$NS_C" "$VETH_C2" || fail "cannot link the second segment"
inr ip addr add "$SECOND_RELAY_IP/26" dev "$VETH_RD2"

# The client's script records each event per interface and configures only
# the test's own interfaces inside the client namespace; the first segment's
# client routes through the router it was given.
cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip subnet=\$subnet router=\$router" >>"$WORK/events.\$interface"
case "\$1" in
  bound|renew)
    ip addr flush dev "\$interface"; ip addr add "\$ip/\$subnet" dev "\$interface"
    [ "\$interface" = "$VETH_C" ] && ip route replace default via "\$router" dev "\$interface" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
EVENTS=$WORK/events.$VETH_C

write_relay_ini 600 "[GW1]" "Gateway=$SECOND_RELAY_IP" "Ranges=203.0.113.70-203.0.113.80" "Routers=%a"
start_server
start_relay "$VETH_RD2"

"${IN_C[@]}" busybox udhcpc -f -i "$VETH_C" -s "$WORK/udhcpc.script" -p "$WORK/udhcpc.pid" -t 5 -T 2 \
    -x hostname:e2erelay >"$WORK/udhcpc.out" 2>&1 &
CLIENT=$!
BACKGROUND_PIDS+=("$CLIENT")
wait_for_line "^bound " "$EVENTS" || fail "udhcpc behind the relay got no lease"
BOUND=$(grep -m1 "^bound " "$EVENTS")
ADDRESS=$(sed -n 's/^bound ip=\([^ ]*\) .*/\1/p' <<<"$BOUND")
case "$ADDRESS" in 203.0.113.1[0-9]|203.0.113.20) ;; *) fail "address $ADDRESS is not from the [GW0] range" ;; esac
[ "$BOUND" = "bound ip=$ADDRESS subnet=255.255.255.192 router=$RELAY_IP" ] || fail "wrong options: $BOUND"
# giaddr 203.0.113.1 as the log shows it.
grep -q "Send response to gateway 017100cb" "$SERVER_DIR/NIMBO.LOG" || fail "offer not sent to the relay agent"
grep -q "Send DHCPACK to gateway 017100cb" "$SERVER_DIR/NIMBO.LOG" || fail "acknowledgement not sent to the relay agent"
pass "udhcpc behind the relay bound $ADDRESS with the [GW0] mask and router"

expect_lease_saved e2erelay "$ADDRESS"
HEX=$(address_hex "$ADDRESS")
pass "lease in Addresses.LOG and NIMBO.INI"

# Renewal: a unicast REQUEST from the bound address to the server, through
# the router the client was given; nimbo answers the client's address, and
# the answer keeps the segment's mask and router.
grep -q "$UNICAST_ACK" "$SERVER_DIR/NIMBO.LOG" && fail "an acknowledgement went straight to the client before its renewal"
kill -USR1 "$CLIENT"
wait_for_line "^renew " "$EVENTS" || fail "renewal not acknowledged"
RENEWED=$(grep -m1 "^renew " "$EVENTS")
[ "$RENEWED" = "renew ip=$ADDRESS subnet=255.255.255.192 router=$RELAY_IP" ] || fail "renewal gave: $RENEWED"
# The relay agent also forwards the unicast it routes, so both a relayed
# copy and the original are answered, in either order.
wait_for_line "$UNICAST_ACK" "$SERVER_DIR/NIMBO.LOG" || fail "renewal was not answered straight to the client"
[ "$(grep -c "Add Lease for e2erelay" "$SERVER_DIR/Addresses.LOG")" -ge 2 ] || fail "renewal not in Addresses.LOG"
pass "udhcpc renewed $ADDRESS by unicast through its router"

# The second segment: the [GW1] range and router, the server's mask.
"${IN_C[@]}" timeout 30 busybox udhcpc -f -q -n -i "$VETH_C2" -s "$WORK/udhcpc.script" -t 5 -T 2 \
    -x hostname:e2esecond >>"$WORK/udhcpc.out" 2>&1 || fail "udhcpc on the second segment got no lease"
SECOND=$(grep -m1 "^bound " "$WORK/events.$VETH_C2")
case "$SECOND" in
  "bound ip=203.0.113.7"[0-9]" subnet=255.255.255.0 router=$SECOND_RELAY_IP" | \
  "bound ip=203.0.113.80 subnet=255.255.255.0 router=$SECOND_RELAY_IP") ;;
  *) fail "second segment: $SECOND" ;;
esac
grep -q "Send DHCPACK to gateway 417100cb" "$SERVER_DIR/NIMBO.LOG" || fail "second relay address not answered"
pass "second relay address served from [GW1]: ${SECOND#bound }"

kill -USR2 "$CLIENT"   # release: a unicast RELEASE to the server
wait_for_line "Release Lease for e2erelay (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "release not logged"
wait_until "$WAIT_LIMIT" "the lease to leave NIMBO.INI" lease_unlisted "=$HEX\." ||
    fail "released lease still in NIMBO.INI"
pass "udhcpc released $ADDRESS"
kill "$CLIENT"; wait "$CLIENT" 2>/dev/null || true
stop_server
exit 0
