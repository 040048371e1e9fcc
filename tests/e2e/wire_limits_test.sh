#!/bin/bash
# What a crafted datagram can draw from the server: each option it asks for
# once, within its size limit (548 bytes without option 57); nothing at all
# when it names a relay agent the server does not know, though that
# address is reachable; and never an address reserved for another client.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
client_address
UNKNOWN_RELAY=192.0.2.77   # off the server's network, reachable on the client's side
inc ip addr add "$UNKNOWN_RELAY/32" dev "$VETH_C"
server_ini 600 "[GW0]" "Gateway=$CLIENT_IP" "Ranges=203.0.113.10-203.0.113.20" \
    "[Options]" "option43=S$(printf 'a%.0s' {1..200})" "option66=S$(printf 'b%.0s' {1..200})" \
    "option67=S$(printf 'c%.0s' {1..100})" \
    "[Reservations]" "@M-02-00-00-00-aa-01=198.51.100.120" >"$SERVER_DIR/NIMBO.INI"
start_server
probe() { inc env PROBE_WAIT_MS=2000 "$PROBE" "$SERVER_IP" "$@"; }

# Code 15 a hundred times: answered once, the reply as small as the request.
CODES=$(printf '15,%.0s' {1..100})6
R=$(probe ask 02:00:00:00:aa:10 "$CODES") || fail "repeated codes: $R"
[[ "$R" == "OFFER LENGTH "*" OPTIONS 53 54 51 1 50 15 6" ]] || fail "repeated codes answered: $R"
LENGTH=$(cut -d' ' -f3 <<<"$R")
[ "$LENGTH" -le 548 ] || fail "a reply of $LENGTH bytes"
[ "$(grep -c "Sending Domain Name" "$SERVER_DIR/NIMBO.LOG")" = 1 ] || fail "domain name logged more than once"
pass "code 15 asked 100 times: $R"

# 31 fixed + 6 + 6 + 13 + 202 bytes fit into 548; 66 and 67 do not.
R=$(probe ask 02:00:00:00:aa:11 1,3,6,15,43,66,67) || fail "long options: $R"
[ "$R" = "OFFER LENGTH 495 OPTIONS 53 54 51 1 50 3 6 15 43" ] || fail "without option 57: $R"
grep -q "Options 66, 67 left out - the reply may not pass 548 bytes" "$SERVER_DIR/NIMBO.LOG" || fail "no line"
R=$(probe ask 02:00:00:00:aa:11 1,3,6,15,43,66,67 1500) || fail "option 57: $R"
[ "$R" = "OFFER LENGTH 799 OPTIONS 53 54 51 1 50 3 6 15 43 66 67" ] || fail "with 1500 in option 57: $R"
pass "replies within the client's limit: 548 bytes, or option 57 less 28"

# A relay agent the server does not know: no reply (before, a NAK to its
# port 67), one line for both requests; a known relay agent is served.
for mac in 02:00:00:00:aa:20 02:00:00:00:aa:21; do
    R=$(probe relayrequest $mac $UNKNOWN_RELAY 198.51.100.110) && fail "unknown relay agent answered: $R"
    [ "$R" = NONE ] || fail "unknown relay agent: $R"
done
[ "$(grep -c "Dropped a message from unknown relay agent $UNKNOWN_RELAY" "$SERVER_DIR/NIMBO.LOG")" = 1 ] ||
    fail "not one line for the unknown relay agent"
grep -q "Send DHCPNACK to gateway" "$SERVER_DIR/NIMBO.LOG" && fail "a NAK went to a relay agent"
R=$(probe relay 02:00:00:00:aa:22 "$CLIENT_IP") || fail "known relay agent: $R"
pass "unknown relay agent dropped, known one served ($R)"

# An address reserved for another client is refused; its owner gets it.
R=$(probe renew 02:00:00:00:aa:02 198.51.100.120) && fail "reserved address acknowledged to another: $R"
[ "$R" = NAK ] || fail "request for another's reserved address: $R"
R=$(probe renew 02:00:00:00:aa:01 198.51.100.120) || fail "owner of the reservation: $R"
[ "$R" = "ACK 198.51.100.120" ] || fail "owner of the reservation got $R"
stop_server
pass "reserved address refused to another client, acknowledged to its owner"
exit 0
