#!/bin/bash
# busybox udhcpc gets a lease from nimbo, renews it and releases it; the
# lease shows in Addresses.LOG and, after a shutdown, in NIMBO.INI.
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"

write_udhcpc_script
EVENTS=$WORK/events.$VETH_C

write_ini
start_server

start_udhcpc e2ebox
[[ $ADDRESS == 198.51.100.1* ]] || fail "udhcpc got $ADDRESS"
pass "udhcpc bound $ADDRESS"
wait_for_line "Add Lease for e2ebox (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "no Add Lease line"

kill -USR1 "$CLIENT"   # renew: a unicast REQUEST from the bound address
wait_for_line "^renew ip=$ADDRESS" "$EVENTS" || fail "renewal not acknowledged"
pass "udhcpc renewed $ADDRESS"
[ "$(grep -c "Add Lease for e2ebox" "$SERVER_DIR/Addresses.LOG")" -ge 2 ] || fail "renewal not in Addresses.LOG"

# Shut down: the lease is written to the file.
stop_server
HEX=$(printf '%02x%02x%02x%02x' ${ADDRESS//./ })
leases_section | grep -q "^e2ebox~.*=$HEX\." || fail "lease not in NIMBO.INI after shutdown"
pass "lease in NIMBO.INI"

# Back up, then release: the lease leaves the table and the file.
start_server
grep -q "Restore Lease for e2ebox" "$SERVER_DIR/Addresses.LOG" || fail "lease not restored"
kill -USR2 "$CLIENT"   # release
wait_for_line "Release Lease for e2ebox (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "release not logged"
pass "udhcpc released $ADDRESS"
kill "$CLIENT"; wait "$CLIENT" 2>/dev/null || true
stop_server
leases_section | grep -q "=$HEX\." && fail "released lease still in NIMBO.INI"
pass "released lease gone from NIMBO.INI"
exit 0
