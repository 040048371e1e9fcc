#!/bin/bash
# busybox udhcpc gets a lease from nimbo, renews it and releases it; the
# lease shows in Addresses.LOG and, after a shutdown, in NIMBO.INI.
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"

# The client's script: records each event and sets the address only on the
# test's own veth inside the client namespace (a renewal is sent from it).
cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip" >>"$WORK/events"
case "\$1" in
  bound|renew) ip addr flush dev "\$interface"; ip addr add "\$ip/\${mask:-24}" dev "\$interface" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"

write_ini
start_server

"${IN_C[@]}" busybox udhcpc -f -i "$VETH_C" -s "$WORK/udhcpc.script" -p "$WORK/udhcpc.pid" -t 5 -T 2 \
    -x hostname:e2ebox >"$WORK/udhcpc.out" 2>&1 &
CLIENT=$!
BACKGROUND_PIDS+=("$CLIENT")
wait_for_line "^bound ip=198.51.100.1" "$WORK/events" || fail "udhcpc got no lease"
ADDRESS=$(sed -n 's/^bound ip=//p' "$WORK/events" | head -1)
pass "udhcpc bound $ADDRESS"
wait_for_line "Add Lease for e2ebox (.*) of $ADDRESS" "$SERVER_DIR/Addresses.LOG" || fail "no Add Lease line"

kill -USR1 "$CLIENT"   # renew: a unicast REQUEST from the bound address
wait_for_line "^renew ip=$ADDRESS" "$WORK/events" || fail "renewal not acknowledged"
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
