#!/bin/bash
# The way from nimbo to ISC Kea without losing an address: busybox udhcpc
# gets a lease from nimbo, and a second client (its own hardware address,
# on a macvlan) its reservation. nimbo stops, `nimbo --export-kea` writes
# the configuration and the lease file, and kea-dhcp4 starts on them on the
# same interface. The first client's renewal (SIGUSR1) is acknowledged by
# Kea with the same address, the reserved client gets its address from
# Kea, and every exported lease row loads (a placeholder as a declined
# lease, an unlimited lease, a host name with a comma).
source "$(dirname "$0")/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
command -v kea-dhcp4 >/dev/null || skip "kea-dhcp4 (kea-dhcp4-server) missing"

RESERVED_MAC=02:00:5e:00:00:77
RESERVED_IP=198.51.100.77
MACVLAN=${VETH_C}m
KEA_DIR=$WORK/kea
KEA_RUN=$WORK/kea-run
mkdir -p "$KEA_DIR" "$KEA_RUN"

write_udhcpc_script

# An [Leases] value: the address and an expiry FILETIME, or never.
lease_value() {
    local address=$1 seconds=${2:-}
    if [ -z "$seconds" ]; then printf '%s.ffffffff.ffffffff' "$(address_hex "$address")"; return; fi
    local filetime=$(( ($(date +%s) + seconds + 11644473600) * 10000000 ))
    printf '%s.%08x.%08x' "$(address_hex "$address")" $((filetime >> 32)) $((filetime & 0xffffffff))
}

server_ini 600 \
    "[Reservations]" \
    "@M-${RESERVED_MAC//:/-}=$RESERVED_IP" \
    "[Leases]" \
    "Unknown (198.51.100.130)~00=$(lease_value 198.51.100.130 3600)" \
    "desk,top~02005e000091=$(lease_value 198.51.100.131)" \
    >"$SERVER_DIR/NIMBO.INI"
start_server

start_udhcpc e2ekea
pass "udhcpc bound $ADDRESS from nimbo"

inc ip link add link "$VETH_C" name "$MACVLAN" address "$RESERVED_MAC" type macvlan mode bridge
inc ip link set "$MACVLAN" up
reserved_client() {
    "${IN_C[@]}" timeout 30 busybox udhcpc -f -q -n -i "$MACVLAN" -s "$WORK/udhcpc.script" -t 5 -T 2 \
        >>"$WORK/udhcpc.out" 2>&1 || fail "the reserved client got no lease from $1"
    [ "$(grep "^bound " "$WORK/events.$MACVLAN" | tail -1)" = "bound ip=$RESERVED_IP" ] ||
        fail "the reserved client got $(tail -1 "$WORK/events.$MACVLAN") from $1"
}
reserved_client nimbo
pass "the reserved client got $RESERVED_IP from nimbo"

stop_server
ins "$NIMBO" --dir "$SERVER_DIR" --export-kea "$KEA_DIR" >"$WORK/export.out" 2>&1 || fail "export failed"
grep -qx "Interface: $VETH_S (it holds $SERVER_IP here)" "$WORK/export.out" || fail "no interface in the summary"
grep -q "^Leases: 4 (1 held-back address as a declined lease, 1 unlimited)$" "$WORK/export.out" || fail "not every lease exported"
ins env KEA_LOCKFILE_DIR="$KEA_RUN" KEA_PIDFILE_DIR="$KEA_RUN" kea-dhcp4 -t "$KEA_DIR/kea-dhcp4.conf" \
    >"$WORK/kea.out" 2>&1 || fail "kea-dhcp4 -t refuses the export"
pass "exported; kea-dhcp4 -t accepts it"

"${IN_S[@]}" env KEA_LOCKFILE_DIR="$KEA_RUN" KEA_PIDFILE_DIR="$KEA_RUN" kea-dhcp4 -c "$KEA_DIR/kea-dhcp4.conf" \
    >"$WORK/kea.out" 2>&1 &
BACKGROUND_PIDS+=($!)
wait_for_line "DHCP4_STARTED" "$WORK/kea.out" || fail "kea-dhcp4 did not start"
grep -q "ERROR\|SANITY" "$WORK/kea.out" && fail "kea-dhcp4 refused part of the export"

kill -USR1 "$CLIENT"
wait_for_line "^renew ip=$ADDRESS" "$WORK/events.$VETH_C" || fail "renewal not acknowledged by Kea"
grep -q "DHCP4_LEASE_ALLOC .* lease $ADDRESS has been allocated" "$WORK/kea.out" || fail "the renewal was not Kea's"
pass "Kea acknowledged the renewal of $ADDRESS"

reserved_client Kea
grep -q "DHCP4_LEASE_ALLOC .* lease $RESERVED_IP has been allocated" "$WORK/kea.out" || fail "the reservation was not Kea's"
pass "the reserved client got $RESERVED_IP from Kea"
exit 0
