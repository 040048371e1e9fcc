#!/bin/bash
# Reserve on the Active Leases page of NIMBO.exe, end to end: a busybox
# udhcpc client gets a lease; the administrator selects it and presses
# Reserve; NIMBO.INI holds the reservation by the client's hardware address
# at once. The server is stopped, the lease is dropped from NIMBO.INI and the
# range no longer holds the address: after a restart the client gets the
# same address all the same, as its reservation.
#
# Arguments: NIMBO.exe, desktop_probe.exe (leases_page_probe.exe is beside it).
PAGE_PROBE=$(dirname "${2:?desktop_probe.exe}")/leases_page_probe.exe
source "$(dirname "$0")/../e2e/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
[ -f "$PAGE_PROBE" ] || skip "leases_page_probe.exe missing beside desktop_probe.exe"
cp "$PAGE_PROBE" "$WORK/leases_page_probe.exe"
mkdir -p "$WORK/page"

cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
[ "\$1" = bound ] && echo "bound ip=\$ip" >>"$WORK/events"
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
client() {
    inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:reserved \
        >>"$WORK/udhcpc.out" 2>&1 || fail "udhcpc got no lease"
    sed -n 's/^bound ip=//p' "$WORK/events" | tail -1
}
reservations() { awk '/^\[/{s=($0 ~ /^\[Reservations\]/)} s' "$SERVER_DIR/NIMBO.INI" | tr -d '\r'; }

write_ini
start_server
ADDRESS=$(client)
MAC=$(inc ip -o link show "$VETH_C" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p' | tr ':' '-')
(cd "$WORK" && exec "${IN_S[@]}" wine leases_page_probe.exe "Z:${WORK//\//\\}\\page" reserve) \
    >"$WORK/probe.out" 2>"$WORK/probe.err" || fail "the probe: $(cat "$WORK/probe.out" "$WORK/probe.err" | tr -d '\r')"
grep -q "^row=reserved|$ADDRESS" <(tr -d '\r' <"$WORK/probe.out") || fail "listed: $(cat "$WORK/probe.out")"
reservations | grep -qx "@M-$MAC=$ADDRESS" || fail "no reservation in NIMBO.INI: $(reservations)"
pass "udhcpc's lease $ADDRESS reserved from the page: @M-$MAC in NIMBO.INI at once"

stop_server
reservations | grep -qx "@M-$MAC=$ADDRESS" || fail "the reservation is gone after the shutdown"
# Without its lease and outside the range, only the reservation gives the
# client this address again.
sed -i -e '/^reserved~/d' -e 's/^Ranges=198\.51\.100\.100-198\.51\.100\.140/Ranges=198.51.100.120-198.51.100.140/' \
    "$SERVER_DIR/NIMBO.INI"
leases_section | grep -q "^reserved~" && fail "the lease is still in NIMBO.INI"
start_server
AGAIN=$(client)
[ "$AGAIN" = "$ADDRESS" ] || fail "after the restart the client got $AGAIN, not $ADDRESS"
grep -aq "Found Matching Reservation: .* -> $(address_hex "$ADDRESS")" "$SERVER_DIR/NIMBO.LOG" ||
    fail "the address did not come from the reservation"
stop_server
pass "after a restart the client gets $ADDRESS again, as its reservation"
exit 0
