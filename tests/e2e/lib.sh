# Shared set-up of the end-to-end tests: two network namespaces of our own
# joined by a veth pair, nimbo in the server one, clients in the other.
# With E2E_LAYOUT=relay, three: server, router and client, the router
# forwarding between the server's segment and the client's (where a relay
# agent is to run; see start_relay). Nothing here touches the machine's own
# interfaces; everything is removed on exit, also when a test fails.
#
# Usage in a test: source lib.sh "$@"  (arguments: nimbo binary, probe client)
# Given NIMBO.exe instead of nimbo, the test runs the Windows program under
# Wine (tests/wine/host.sh; the second argument is then desktop_probe.exe).

set -euo pipefail

NIMBO=${1:?nimbo binary}
PROBE=${2:-}
SERVER_IP=198.51.100.1
CLIENT_IP=198.51.100.2   # the client side's own address when a test needs one
# The relay layout: the router's address on the server's segment, and its
# address on the client's, which its relay agent puts into giaddr.
ROUTER_IP=198.51.100.254
RELAY_IP=203.0.113.1

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; show_logs; exit 1; }
pass() { echo "PASS: $*"; }

[ "$(id -u)" = 0 ] || skip "needs root for network namespaces"
command -v ip >/dev/null || skip "iproute2 missing"
command -v nsenter >/dev/null || skip "nsenter missing"

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/netns.sh"
WORK=$(mktemp -d /tmp/nimbo-e2e.XXXXXX)
SERVER_PID=
BACKGROUND_PIDS=()

cleanup() {
    set +e
    for pid in "${BACKGROUND_PIDS[@]}" $SERVER_PID; do
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    netns_remove   # also anything else still running in them (a client's child)
    if [ -n "${KEEP_WORK:-}" ]; then echo "work directory kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

if [ "${E2E_LAYOUT:-pair}" = relay ]; then
    netns_relay_create nimbo "$SERVER_IP/24" "$ROUTER_IP/24" "$RELAY_IP/26" || skip "cannot create network namespaces"
elif [ "${E2E_LAYOUT:-pair}" = bridge ]; then
    netns_bridge_create nimbo || skip "cannot create network namespaces"
    "${IN_S[@]}" ip addr add "$SERVER_IP/24" dev "$VETH_S"
else
    netns_pair_create nimbo || skip "cannot create network namespaces"
    "${IN_S[@]}" ip addr add "$SERVER_IP/24" dev "$VETH_S"
fi
# Backgrounded commands use the arrays directly: "${IN_C[@]}" cmd & (a
# function run with & would leave $! pointing at a subshell).
ins() { "${IN_S[@]}" "$@"; }   # in the server namespace
inc() { "${IN_C[@]}" "$@"; }   # in the client namespace
inr() { "${IN_R[@]}" "$@"; }   # in the router namespace (relay layout)

# The ISC relay agent on the router, forwarding from the client's segment
# (and from any further downstream interfaces given) to nimbo. It puts the
# address of the interface a request came in on into giaddr.
start_relay() {
    command -v dhcrelay >/dev/null || skip "dhcrelay (isc-dhcp-relay) missing"
    local downstream=() interface
    for interface in "$VETH_RD" "$@"; do downstream+=(-id "$interface"); done
    "${IN_R[@]}" dhcrelay -4 -d -pf "$WORK/dhcrelay.pid" -iu "$VETH_RU" "${downstream[@]}" "$SERVER_IP" \
        >>"$WORK/dhcrelay.out" 2>&1 &
    BACKGROUND_PIDS+=($!)
    wait_until "$WAIT_LIMIT" "dhcrelay on port 67" port67_bound inr || fail "dhcrelay did not start"
}
# Whether something listens on UDP port 67 where the command prefix "$@"
# (a namespace's: ins, inr, "${IN_O[@]}") runs ss.
port67_bound() { [ -n "$("$@" ss -Hlun 'sport = :67')" ]; }

# E2E_LAYOUT=bridge: server and client on a bridge with a third namespace,
# where this runs dnsmasq as another DHCP server at OTHER_IP, without the
# ping probe, so that its offer comes before nimbo's probed one.
OTHER_IP=198.51.100.3
start_other_server() {
    command -v dnsmasq >/dev/null || skip "dnsmasq missing"
    "${IN_O[@]}" ip addr add "$OTHER_IP/24" dev "$VETH_O"
    "${IN_O[@]}" dnsmasq --no-daemon --port=0 --no-resolv --no-hosts --conf-file=/dev/null --no-ping --user=root \
        --interface="$VETH_O" --bind-interfaces --dhcp-range=198.51.100.200,198.51.100.220,1h \
        --dhcp-leasefile="$WORK/dnsmasq.leases" --pid-file="$WORK/dnsmasq.pid" >>"$WORK/dnsmasq.out" 2>&1 &
    BACKGROUND_PIDS+=($!)
    wait_until "$WAIT_LIMIT" "dnsmasq on port 67" port67_bound "${IN_O[@]}" || fail "dnsmasq did not start"
}

# $1 busybox udhcpc clients one after the other, each with a hardware address
# and host name (otherN) of its own; udhcpc.out says whose offer each took.
udhcpc_clients() {
    for n in $(seq 1 "$1"); do
        inc ip link set "$VETH_C" address "02:00:00:00:00:0$n"
        inc busybox udhcpc -q -n -f -i "$VETH_C" -s /bin/true -t 5 -T 2 -x "hostname:other$n" \
            >>"$WORK/udhcpc.out" 2>&1 || fail "client $n got no lease"
    done
}

# Gives the client side its fixed address (for the probe client).
client_address() { inc ip addr add "$CLIENT_IP/24" dev "$VETH_C"; }

SERVER_DIR=$WORK/server
mkdir -p "$SERVER_DIR"

# The INI of the tests: 198.51.100.1/24, a small local range, one relay
# agent at 198.51.100.2 with its own range, a short lease time.
write_ini() {
    local lease_time=${1:-600}
    server_ini "$lease_time" \
        "[GW0]" \
        "Gateway=$CLIENT_IP" \
        "Ranges=203.0.113.10-203.0.113.20" \
        >"$SERVER_DIR/NIMBO.INI"
}

# The INI of the relay layout: the relay agent at 203.0.113.1 on a /26 with
# its own range, mask and router (itself); the server's mask and router are
# those of its own segment, which would be wrong behind the relay.
write_relay_ini() {
    local lease_time=${1:-600}
    shift || true
    server_ini "$lease_time" \
        "[GW0]" \
        "Gateway=$RELAY_IP" \
        "Ranges=203.0.113.10-203.0.113.20" \
        "SubnetMask=255.255.255.192" \
        "Routers=%1.%2.%3.1" \
        "$@" \
        >"$SERVER_DIR/NIMBO.INI"
}

# The [Server] section of both, then the lines given.
server_ini() {
    local lease_time=$1
    shift
    printf '%s\r\n' \
        "[Server]" \
        "IPAddress=$SERVER_IP" \
        "SubnetMask=255.255.255.0" \
        "BindToAll=0" \
        "Ranges=198.51.100.100-198.51.100.140" \
        "DNSServer=198.51.100.53" \
        "Routers=198.51.100.1" \
        "DomainName=e2e.example" \
        "LeaseTime=$lease_time" \
        "DontWarnAddress=1" \
        "$@"
}

# How the server is started (exec'd, so that SERVER_PID is the server
# itself) and when it serves; tests/wine/host.sh replaces both.
launch_server() { exec "${IN_S[@]}" "$NIMBO" --dir "$SERVER_DIR" "$@"; }
# The command socket is there and the server thread has bound port 67.
server_ready() { [ -S "$SERVER_DIR/nimbo.ctl" ] && port67_bound ins; }

start_server() {
    launch_server "$@" >>"$WORK/server.out" 2>&1 &
    SERVER_PID=$!
    wait_until "$WAIT_LIMIT" "$(basename "$NIMBO") to serve" server_started || fail "$(basename "$NIMBO") did not start"
}
server_started() { server_ready || { server_alive || fail "$(basename "$NIMBO") exited at start"; return 1; }; }

# Second start with /SHUTDOWN; waits for the server to end.
stop_server() {
    local answer
    answer=$(ins "$NIMBO" --dir "$SERVER_DIR" /SHUTDOWN 2>&1) || fail "second start failed: $answer"
    [ "$answer" = "Command Line parameters passed to Nimbo Server" ] || fail "unexpected answer: $answer"
    wait_server_exit
}

wait_server_exit() {
    local code=0
    wait "$SERVER_PID" || code=$?
    SERVER_PID=
    [ "$code" = 0 ] || fail "$(basename "$NIMBO") exited with $code"
}

server_alive() { [ -n "$SERVER_PID" ] && kill -0 "$SERVER_PID" 2>/dev/null; }

leases_section() {
    awk 'BEGIN{s=0} /^\[/{s=($0 ~ /^\[Leases\]/)} s' "$SERVER_DIR/NIMBO.INI" | tr -d '\r'
}
# Whether a line of the section matches $1, and the reverse (for wait_until:
# the server saves a changed table every half second).
lease_listed() { grep -q -- "$1" <<<"$(leases_section)"; }
lease_unlisted() { ! lease_listed "$1"; }

# What the server left, as far as it exists (a missing file must not end
# the report under set -e).
show_logs() {
    echo "---- NIMBO.LOG (tail)"; tail -n 40 "$SERVER_DIR/NIMBO.LOG" 2>/dev/null | tr -d '\r' || true
    echo "---- Addresses.LOG"; tr -d '\r' 2>/dev/null <"$SERVER_DIR/Addresses.LOG" || true
    echo "---- NIMBO.INI"; tr -d '\r' 2>/dev/null <"$SERVER_DIR/NIMBO.INI" || true
    echo "---- server output"; cat "$WORK/server.out" 2>/dev/null || true
    if [ -f "$WORK/dhcrelay.out" ]; then echo "---- dhcrelay"; tail -n 30 "$WORK/dhcrelay.out"; fi
    for out in export kea; do if [ -f "$WORK/$out.out" ]; then echo "---- $out"; tail -n 30 "$WORK/$out.out"; fi; done
}

# The line of an acknowledgement sent straight to a client's address.
UNICAST_ACK=' - Send DHCPACK[[:space:]]*$'

# An address as the [Leases] values hold it: c0a8000a for 192.168.0.10.
address_hex() { printf '%02x%02x%02x%02x' ${1//./ }; }

# Waits for the lease of client $1 at address $2 in Addresses.LOG and in
# NIMBO.INI, which the server saves within half a second of a change.
expect_lease_saved() {
    local name=$1 address=$2
    wait_for_line "Add Lease for $name (.*) of $address" "$SERVER_DIR/Addresses.LOG" || fail "no Add Lease line"
    wait_for_line "^$name~.*=$(address_hex "$address")\." "$SERVER_DIR/NIMBO.INI" || fail "lease not saved in NIMBO.INI"
}

# ISC dhclient with our own script, lease, pid and configuration files (its
# default script would rewrite the machine's resolv.conf), sending host name
# $1; sets DHCLIENT to the command. The script appends
# "REASON ip=... mask=... routers=..." to $WORK/events and configures the
# address, and a default route through the first router given, on the
# test's interface only.
setup_dhclient() {
    cat >"$WORK/dhclient.script" <<SCRIPT
#!/bin/sh
echo "\$reason ip=\$new_ip_address mask=\$new_subnet_mask routers=\$new_routers" >>"$WORK/events"
case "\$reason" in
  BOUND|RENEW|REBOOT|REBIND)
    ip addr flush dev "\$interface"; ip addr add "\$new_ip_address/\$new_subnet_mask" dev "\$interface"
    [ -n "\$new_routers" ] && ip route replace default via "\${new_routers%% *}" dev "\$interface" ;;
  RELEASE|EXPIRE|STOP) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
    chmod +x "$WORK/dhclient.script"
    cat >"$WORK/dhclient.conf" <<CONF
send host-name "$1";
request subnet-mask, routers, domain-name-servers, domain-name;
CONF
    DHCLIENT=(dhclient -4 -v -cf "$WORK/dhclient.conf" -sf "$WORK/dhclient.script" -lf "$WORK/dhclient.leases"
              -pf "$WORK/dhclient.pid" "$VETH_C")
}

# busybox udhcpc's script: appends "EVENT ip=ADDRESS" to $WORK/events.IFACE
# and sets the address only on the test's own interface inside the client
# namespace (a renewal is sent from it).
write_udhcpc_script() {
    cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip" >>"$WORK/events.\$interface"
case "\$1" in
  bound|renew) ip addr flush dev "\$interface"; ip addr add "\$ip/\${mask:-24}" dev "\$interface" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
    chmod +x "$WORK/udhcpc.script"
}

# busybox udhcpc in the foreground on the client's veth, sending host name
# $1; waits for its lease and sets CLIENT (its pid) and ADDRESS.
start_udhcpc() {
    "${IN_C[@]}" busybox udhcpc -f -i "$VETH_C" -s "$WORK/udhcpc.script" -p "$WORK/udhcpc.pid" -t 5 -T 2 \
        -x "hostname:$1" >"$WORK/udhcpc.out" 2>&1 &
    CLIENT=$!
    BACKGROUND_PIDS+=("$CLIENT")
    wait_for_line "^bound " "$WORK/events.$VETH_C" || fail "udhcpc got no lease"
    ADDRESS=$(sed -n 's/^bound ip=//p' "$WORK/events.$VETH_C" | head -1)
}


# The dhclient that goes on in the background after -1 writes its pid file
# a moment after the command has returned; until then a kill, or -r, would
# miss it. wait_dhclient waits for that; stop_dhclient then ends it and
# waits until it has ended.
dhclient_running() { local pid; pid=$(cat "$WORK/dhclient.pid" 2>/dev/null) && kill -0 "$pid" 2>/dev/null; }
wait_dhclient() { wait_until "$WAIT_LIMIT" "dhclient's pid file" dhclient_running || fail "no dhclient in the background"; }
stop_dhclient() {
    local pid
    wait_dhclient
    pid=$(cat "$WORK/dhclient.pid")
    kill "$pid"
    wait_until "$WAIT_LIMIT" "dhclient to end" process_gone "$pid" || fail "dhclient did not end"
}
process_gone() { ! kill -0 "$1" 2>/dev/null; }

# Waits for a line matching $1 in file $2, up to $3 seconds (WAIT_LIMIT).
wait_for_line() {
    wait_until "${3:-$WAIT_LIMIT}" "a line matching '$1' in $(basename "$2")" grep -qs -- "$1" "$2"
}

case "$NIMBO" in *.exe) source "$(dirname "${BASH_SOURCE[0]}")/../wine/host.sh" ;; esac
