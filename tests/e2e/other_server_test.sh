#!/bin/bash
# dnsmasq answers on nimbo's segment, without the ping probe so first, and
# busybox udhcpc clients take its offers. nimbo drops their requests, names
# dnsmasq once in NIMBO.LOG and on standard error however many clients do the
# same within the hour, and leaves the address log alone.
E2E_LAYOUT=bridge
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
write_ini
start_server
start_other_server
udhcpc_clients 4
# A slow moment may let a client take nimbo's offer instead.
TAKEN=$(grep -c "lease of 198\.51\.100\.2[0-2][0-9] obtained from $OTHER_IP" "$WORK/udhcpc.out" || true)
[ "$TAKEN" -ge 2 ] || fail "only $TAKEN clients took dnsmasq's offer"
LINE="Another DHCP server ($OTHER_IP) answers on this network: client other[1-4] (02-00-00-00-00-0[1-4]) took 198"
wait_for_line "$LINE" "$SERVER_DIR/NIMBO.LOG" || fail "no line names dnsmasq"
sleep 0.5
[ "$(grep -ac "Another DHCP server" "$SERVER_DIR/NIMBO.LOG")" = 1 ] || fail "more than one line about dnsmasq"
grep -aqs "Another DHCP" "$SERVER_DIR/Addresses.LOG" && fail "the address log names dnsmasq"
[ "$(grep -c "^nimbo: Another DHCP server ($OTHER_IP) answers on this network\. " "$WORK/server.out")" = 1 ] ||
    fail "standard error does not name dnsmasq once"
pass "$TAKEN of 4 clients took dnsmasq's offer; NIMBO.LOG and standard error name it once"
stop_server
exit 0
