#!/bin/bash
# ISC dhclient gets a lease from nimbo, renews it (a restarted client asks
# for its recorded address again) and releases it.
source "$(dirname "$0")/lib.sh" "$@"
command -v dhclient >/dev/null || skip "dhclient missing"

setup_dhclient e2edhc

write_ini
start_server

inc timeout 60 "${DHCLIENT[@]}" -1 >"$WORK/dhclient.out" 2>&1 || { cat "$WORK/dhclient.out"; fail "dhclient got no lease"; }
grep -q "^BOUND ip=198.51.100.1" "$WORK/events" || fail "no BOUND event"
ADDRESS=$(sed -n 's/^BOUND ip=\([^ ]*\).*/\1/p' "$WORK/events" | head -1)
pass "dhclient bound $ADDRESS"
wait_for_line "Add Lease for e2edhc (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "no Add Lease line"

# Stop the daemon without releasing, then start again: it asks for its
# recorded address and must get it back.
stop_dhclient
inc timeout 60 "${DHCLIENT[@]}" -1 >>"$WORK/dhclient.out" 2>&1 || fail "dhclient renewal failed"
grep -Eq "^(REBOOT|RENEW|BOUND) ip=$ADDRESS " <(tail -n 1 "$WORK/events") || fail "renewal gave another address: $(tail -n 1 "$WORK/events")"
[ "$(grep -c "Add Lease for e2edhc" "$SERVER_DIR/Addresses.LOG")" -ge 2 ] || fail "renewal not in Addresses.LOG"
pass "dhclient renewed $ADDRESS"

wait_dhclient
inc timeout 30 "${DHCLIENT[@]}" -r >>"$WORK/dhclient.out" 2>&1 || fail "dhclient release failed"
wait_for_line "Release Lease for e2edhc (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "release not logged"
pass "dhclient released $ADDRESS"

# A second client stays bound across the shutdown: its lease is in the file.
rm -f "$WORK/dhclient.leases"
inc timeout 60 "${DHCLIENT[@]}" -1 >>"$WORK/dhclient.out" 2>&1 || fail "dhclient got no second lease"
ADDRESS=$(sed -n 's/^BOUND ip=\([^ ]*\).*/\1/p' "$WORK/events" | tail -1)
stop_dhclient
stop_server
HEX=$(address_hex "$ADDRESS")
leases_section | grep -q "^e2edhc~.*=$HEX\." || fail "lease not in NIMBO.INI after shutdown"
pass "lease of $ADDRESS in NIMBO.INI"
exit 0
