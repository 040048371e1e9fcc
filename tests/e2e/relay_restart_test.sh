#!/bin/bash
# Relayed requests and lease persistence, driven by the probe client:
# - a DISCOVER with giaddr gets an offer from that gateway's range, sent to
#   the relay agent's port 67;
# - a restart keeps the leases, and a renewal after it is acknowledged with
#   the same address;
# - a server killed with SIGKILL one second after an ACK has already saved
#   that lease (the 500 ms housekeeping).
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
client_address
probe() { inc env PROBE_WAIT_MS=3000 "$PROBE" "$SERVER_IP" "$@"; }

write_ini
start_server

# The client namespace plays the relay agent at 198.51.100.2 = [GW0] Gateway.
OFFER=$(probe relay 02:00:00:00:aa:01 "$CLIENT_IP") || fail "relayed DISCOVER: $OFFER"
case "$OFFER" in
  "OFFER 203.0.113."*) pass "relayed DISCOVER offered ${OFFER#OFFER }" ;;
  *) fail "relayed DISCOVER: $OFFER" ;;
esac
grep -q "Send response to gateway 026433c6" "$SERVER_DIR/NIMBO.LOG" || fail "offer not sent to the gateway"

# Two clients bound, then a restart.
A1=$(probe dora 02:00:00:00:bb:01) || fail "dora 1: $A1"
A2=$(probe dora 02:00:00:00:bb:02) || fail "dora 2: $A2"
A1=${A1#ACK }; A2=${A2#ACK }
[ "$A1" != "$A2" ] || fail "two clients got the same address $A1"
stop_server
start_server
grep -q "Restore Lease for .*(02-00-00-00-bb-01) of $A1" "$SERVER_DIR/Addresses.LOG" || fail "lease 1 not restored"
R1=$(probe renew 02:00:00:00:bb:01 "$A1") || fail "renewal after restart: $R1"
[ "$R1" = "ACK $A1" ] || fail "renewal after restart gave $R1, wanted $A1"
# Another client asking for the first one's address is refused.
R3=$(probe renew 02:00:00:00:bb:03 "$A1") || true
[ "$R3" = "NAK" ] || fail "a stranger asking for $A1 got $R3"
pass "restart kept the leases ($A1, $A2)"

# SIGKILL one second after an ACK: the lease must already be in the file.
A4=$(probe dora 02:00:00:00:bb:04) || fail "dora 4: $A4"
A4=${A4#ACK }
HEX=$(address_hex "$A4")
wait_until "$WAIT_LIMIT" "the lease of $A4 in NIMBO.INI" lease_listed "~02000000bb04=$HEX\." ||
    fail "lease of $A4 not saved"
kill -KILL "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
SERVER_PID=
leases_section | grep -q "~02000000bb04=$HEX\." || fail "lease of $A4 lost at SIGKILL"
# The killed server's socket file is left behind; the next start must not mind.
[ -S "$SERVER_DIR/nimbo.ctl" ] || echo "note: no stale socket file left"
start_server
R4=$(probe renew 02:00:00:00:bb:04 "$A4") || fail "renewal after SIGKILL: $R4"
[ "$R4" = "ACK $A4" ] || fail "renewal after SIGKILL gave $R4"
pass "lease of $A4 survived SIGKILL"
stop_server
exit 0
