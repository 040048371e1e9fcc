#!/bin/bash
# ISC dhclient gets a lease from nimbo, renews it (a restarted client asks
# for its recorded address again) and releases it.
source "$(dirname "$0")/lib.sh" "$@"
command -v dhclient >/dev/null || skip "dhclient missing"

# Our own script, lease, pid and configuration files: the client's default
# script would rewrite the machine's resolv.conf.
cat >"$WORK/dhclient.script" <<SCRIPT
#!/bin/sh
echo "\$reason ip=\$new_ip_address" >>"$WORK/events"
case "\$reason" in
  BOUND|RENEW|REBOOT|REBIND)
    ip addr flush dev "\$interface"; ip addr add "\$new_ip_address/24" dev "\$interface" ;;
  RELEASE|EXPIRE|STOP) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
chmod +x "$WORK/dhclient.script"
cat >"$WORK/dhclient.conf" <<CONF
send host-name "e2edhc";
request subnet-mask, routers, domain-name-servers, domain-name;
CONF
DHCLIENT=(dhclient -4 -v -cf "$WORK/dhclient.conf" -sf "$WORK/dhclient.script" -lf "$WORK/dhclient.leases"
          -pf "$WORK/dhclient.pid" "$VETH_C")

write_ini
start_server

inc timeout 60 "${DHCLIENT[@]}" -1 >"$WORK/dhclient.out" 2>&1 || { cat "$WORK/dhclient.out"; fail "dhclient got no lease"; }
grep -q "^BOUND ip=198.51.100.1" "$WORK/events" || fail "no BOUND event"
ADDRESS=$(sed -n 's/^BOUND ip=//p' "$WORK/events" | head -1)
pass "dhclient bound $ADDRESS"
wait_for_line "Add Lease for e2edhc (.*) of $ADDRESS" 20 "$SERVER_DIR/Addresses.LOG" || fail "no Add Lease line"

# Stop the daemon without releasing, then start again: it asks for its
# recorded address and must get it back.
kill "$(cat "$WORK/dhclient.pid")"
sleep 0.5
inc timeout 60 "${DHCLIENT[@]}" -1 >>"$WORK/dhclient.out" 2>&1 || fail "dhclient renewal failed"
grep -Eq "^(REBOOT|RENEW|BOUND) ip=$ADDRESS" <(tail -n 1 "$WORK/events") || fail "renewal gave another address: $(tail -n 1 "$WORK/events")"
[ "$(grep -c "Add Lease for e2edhc" "$SERVER_DIR/Addresses.LOG")" -ge 2 ] || fail "renewal not in Addresses.LOG"
pass "dhclient renewed $ADDRESS"

inc timeout 30 "${DHCLIENT[@]}" -r >>"$WORK/dhclient.out" 2>&1 || fail "dhclient release failed"
wait_for_line "Release Lease for e2edhc (.*) of $ADDRESS" 50 "$SERVER_DIR/Addresses.LOG" || fail "release not logged"
pass "dhclient released $ADDRESS"

# A second client stays bound across the shutdown: its lease is in the file.
rm -f "$WORK/dhclient.leases"
inc timeout 60 "${DHCLIENT[@]}" -1 >>"$WORK/dhclient.out" 2>&1 || fail "dhclient got no second lease"
ADDRESS=$(sed -n 's/^BOUND ip=//p' "$WORK/events" | tail -1)
kill "$(cat "$WORK/dhclient.pid")"
stop_server
HEX=$(printf '%02x%02x%02x%02x' ${ADDRESS//./ })
leases_section | grep -q "^e2edhc~.*=$HEX\." || fail "lease not in NIMBO.INI after shutdown"
pass "lease of $ADDRESS in NIMBO.INI"
exit 0
