#!/bin/bash
# ISC dhclient behind the ISC relay agent (dhcrelay on a router between the
# client's segment and nimbo's): the lease comes from the [GW0] range with
# the [GW0] mask and router, is renewed at half its time by unicast straight
# to the server (answered through the router the client was given) and
# released. Then the client restarts asking for an address outside the
# gateway's ranges: the NAK reaches it through the relay agent, and it
# starts over and gets a lease.
E2E_LAYOUT=relay
source "$(dirname "$0")/lib.sh" "$@"
command -v dhclient >/dev/null || skip "dhclient missing"

setup_dhclient e2edhcr
SEGMENT="mask=255.255.255.192 routers=$RELAY_IP"

# A lease of ten seconds: the client renews after about five.
write_relay_ini 10
start_server
start_relay

inc timeout 60 "${DHCLIENT[@]}" -1 >"$WORK/dhclient.out" 2>&1 || fail "dhclient behind the relay got no lease"
BOUND=$(grep -m1 "^BOUND " "$WORK/events") || fail "no BOUND event"
ADDRESS=$(sed -n 's/^BOUND ip=\([^ ]*\) .*/\1/p' <<<"$BOUND")
case "$ADDRESS" in 203.0.113.1[0-9]|203.0.113.20) ;; *) fail "address $ADDRESS is not from the [GW0] range" ;; esac
[ "$BOUND" = "BOUND ip=$ADDRESS $SEGMENT" ] || fail "wrong options: $BOUND"
grep -q "Send DHCPACK to gateway 017100cb" "$SERVER_DIR/NIMBO.LOG" || fail "acknowledgement not sent to the relay agent"
pass "dhclient behind the relay bound $ADDRESS with the [GW0] mask and router"
expect_lease_saved e2edhcr "$ADDRESS"
pass "lease in Addresses.LOG and NIMBO.INI"

# The renewal (RENEWING: unicast from the bound address to the server).
wait_for_line "^RENEW " "$WORK/events" || fail "no renewal"
RENEWED=$(grep -m1 "^RENEW " "$WORK/events")
[ "$RENEWED" = "RENEW ip=$ADDRESS $SEGMENT" ] || fail "renewal gave: $RENEWED"
# The relay agent also forwards the unicast it routes, so both a relayed
# copy and the original are answered, in either order; the original
# straight to the client.
wait_for_line "$UNICAST_ACK" "$SERVER_DIR/NIMBO.LOG" || fail "no acknowledgement straight to the client"
pass "dhclient renewed $ADDRESS by unicast through its router"

wait_dhclient
inc timeout 30 "${DHCLIENT[@]}" -r >>"$WORK/dhclient.out" 2>&1 || fail "dhclient release failed"
wait_for_line "Release Lease for e2edhcr (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "release not logged"
pass "dhclient released $ADDRESS"

# A client that remembers an address outside the gateway's ranges asks for
# it again (INIT-REBOOT, a broadcast the relay agent forwards).
rm -f "$WORK/events"
EXPIRY=$(date -u -d '+1 day' '+%w %Y/%m/%d %H:%M:%S')
cat >"$WORK/dhclient.leases" <<LEASE
lease {
  interface "$VETH_C";
  fixed-address 203.0.113.50;
  option subnet-mask 255.255.255.192;
  option routers $RELAY_IP;
  option dhcp-lease-time 600;
  option dhcp-server-identifier $SERVER_IP;
  renew $EXPIRY;
  rebind $EXPIRY;
  expire $EXPIRY;
}
LEASE
: >"$WORK/dhclient.out"
inc timeout 60 "${DHCLIENT[@]}" -1 >"$WORK/dhclient.out" 2>&1 || fail "dhclient got no lease after the NAK"
grep -q "DHCPREQUEST for 203.0.113.50" "$WORK/dhclient.out" || fail "the client did not ask for its old address"
grep -q "DHCPNAK from" "$WORK/dhclient.out" || fail "the NAK did not reach the client"
grep -q "Send DHCPNACK to gateway 017100cb" "$SERVER_DIR/NIMBO.LOG" || fail "NAK not sent to the relay agent"
AGAIN=$(grep -m1 "^BOUND " "$WORK/events") || fail "no lease after the NAK"
case "$AGAIN" in "BOUND ip=203.0.113."1[0-9]" $SEGMENT" | "BOUND ip=203.0.113.20 $SEGMENT") ;; *) fail "after the NAK: $AGAIN" ;; esac
pass "refused 203.0.113.50 with a NAK through the relay, then ${AGAIN#BOUND }"
stop_dhclient
stop_server
exit 0
