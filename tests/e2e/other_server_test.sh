#!/bin/bash
# Another DHCP server on nimbo's segment: dnsmasq, without the ping probe,
# answers first, and busybox udhcpc clients take its offers. Their requests
# name dnsmasq as their server; nimbo drops them, names dnsmasq once in
# NIMBO.LOG however many clients do the same within the hour (and prints the
# same once on standard error), and leaves the address log alone.
E2E_LAYOUT=bridge
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"

cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
[ "\$1" = bound ] && echo "\$ip" >>"$WORK/bound"
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"

write_ini
start_server
start_other_server

CLIENTS=4
for n in $(seq 1 $CLIENTS); do
    inc ip link set "$VETH_C" address "02:00:00:00:00:0$n"
    inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x "hostname:other$n" \
        >>"$WORK/udhcpc.out" 2>&1 || fail "client $n got no lease"
done
# dnsmasq answers within milliseconds, nimbo after its 100 ms probe: the
# clients take dnsmasq's offers (a slow moment may still let one take nimbo's).
TAKEN=$(grep -c '^198\.51\.100\.2[0-2][0-9]$' "$WORK/bound" || true)
[ "$TAKEN" -ge 2 ] || fail "only $TAKEN of $CLIENTS clients took dnsmasq's offer: $(tr '\n' ' ' <"$WORK/bound")"
pass "$TAKEN of $CLIENTS clients took dnsmasq's offer"

LINE="Another DHCP server ($OTHER_IP) answers on this network: client other[0-9] (02-00-00-00-00-0[0-9]) took 198\.51\.100\.2"
wait_for_line "$LINE" 30 "$SERVER_DIR/NIMBO.LOG" || fail "no line names dnsmasq"
sleep 0.5
[ "$(grep -ac "Another DHCP server" "$SERVER_DIR/NIMBO.LOG")" = 1 ] || fail "more than one line about dnsmasq"
grep -aqs "$OTHER_IP\|Another DHCP" "$SERVER_DIR/Addresses.LOG" && fail "the address log names dnsmasq"
[ "$(grep -c "^nimbo: Another DHCP server ($OTHER_IP) answers on this network\. " "$WORK/server.out")" = 1 ] ||
    fail "standard error does not name dnsmasq once"
pass "NIMBO.LOG and standard error name dnsmasq once: $(grep -a "Another DHCP" "$SERVER_DIR/NIMBO.LOG" | tr -d '\r')"

stop_server
exit 0
