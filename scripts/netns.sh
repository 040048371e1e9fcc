# Network namespaces of our own joined by veth pairs, for the demo, the
# end-to-end tests and the load benchmark. Sourced, not run. Nothing here
# touches the machine's own interfaces.
#
# Two layouts:
#
#   netns_pair_create PREFIX   server and client side: sets NS_S, NS_C
#                              (namespaces), VETH_S, VETH_C (the pair's ends
#                              in them), IN_S and IN_C (command prefixes that
#                              run inside each), brings loopback and both ends
#                              up and gives each side a default route through
#                              the pair, so that 255.255.255.255 can be sent.
#                              Returns non-zero when namespaces cannot be
#                              created.
#
#   netns_relay_create PREFIX SERVER_CIDR UPLINK_CIDR DOWNLINK_CIDR
#                              server, router and client: sets NS_S, NS_R,
#                              NS_C and IN_S, IN_R, IN_C; VETH_S (server) is
#                              joined to VETH_RU (router, UPLINK_CIDR), and
#                              VETH_RD (router, DOWNLINK_CIDR) to VETH_C
#                              (client, no address: DHCP gives it one). The
#                              server has SERVER_CIDR and a default route
#                              through the router, which forwards. A relay
#                              agent on the router then serves the client.
#                              Returns non-zero when namespaces cannot be
#                              created.
#
#   netns_bridge_create PREFIX server, client and a third host on one
#                              segment: a bridge in a hub namespace of its
#                              own joins VETH_S (NS_S), VETH_C (NS_C) and
#                              VETH_O (NS_O, for another DHCP server, say);
#                              sets IN_S, IN_C, IN_O. Like the pair, each has
#                              a default route through its interface and no
#                              address. Returns non-zero when namespaces
#                              cannot be created.
#
#   netns_link NS_A IF_A NS_B IF_B   one more veth pair between two of them,
#                              both ends up and carrying traffic (a second
#                              segment, say).
#   netns_remove               kills whatever still runs inside the
#                              namespaces made here and deletes them (the
#                              pairs go with them). netns_pair_remove is the
#                              same.
#
# Interface names are limited to 15 characters: the helpers use the first
# three of PREFIX, a role letter and the shell's pid.
#
# nsenter runs the command itself (no extra parent process), so after
# "${IN_C[@]}" cmd &  $! is the program's own pid and a signal reaches it.

source "$(dirname "${BASH_SOURCE[0]}")/wait-until.sh"

NETNS_MADE=()
NETNS_LINKS=()

# A namespace with loopback up.
netns_new() {
    ip netns add "$1" || return 1
    NETNS_MADE+=("$1")
    nsenter --net="/run/netns/$1" ip link set lo up
}

netns_link() {
    local ns_a=$1 if_a=$2 ns_b=$3 if_b=$4
    ip link add "$if_a" type veth peer name "$if_b" || return 1
    NETNS_LINKS+=("$if_a")
    ip link set "$if_a" netns "$ns_a"
    ip link set "$if_b" netns "$ns_b"
    nsenter --net="/run/netns/$ns_a" ip link set "$if_a" up
    nsenter --net="/run/netns/$ns_b" ip link set "$if_b" up
    # The kernel takes the carrier in a moment later; until then what is
    # sent on the link is dropped.
    wait_until "$WAIT_LIMIT" "$if_a and $if_b to carry traffic" \
        netns_link_running "$ns_a" "$if_a" "$ns_b" "$if_b"
}

netns_link_running() {
    [[ $(nsenter --net="/run/netns/$1" ip -o link show dev "$2") == *"state UP"* ]] &&
        [[ $(nsenter --net="/run/netns/$3" ip -o link show dev "$4") == *"state UP"* ]]
}

netns_pair_create() {
    local prefix=$1 tag=$$
    NS_S=$prefix-s-$tag
    NS_C=$prefix-c-$tag
    VETH_S=${prefix:0:3}s$tag
    VETH_C=${prefix:0:3}c$tag
    netns_new "$NS_S" || return 1
    netns_new "$NS_C" || return 1
    netns_link "$NS_S" "$VETH_S" "$NS_C" "$VETH_C" || return 1
    IN_S=(nsenter --net="/run/netns/$NS_S")
    IN_C=(nsenter --net="/run/netns/$NS_C")
    "${IN_S[@]}" ip route add default dev "$VETH_S"
    "${IN_C[@]}" ip route add default dev "$VETH_C"
}

netns_bridge_create() {
    local prefix=$1 tag=$$ role ns veth
    NS_H=$prefix-h-$tag
    netns_new "$NS_H" || return 1
    nsenter --net="/run/netns/$NS_H" ip link add hub type bridge || return 1
    nsenter --net="/run/netns/$NS_H" ip link set hub up
    for role in s c o; do
        ns=$prefix-$role-$tag
        veth=${prefix:0:3}$role$tag
        netns_new "$ns" || return 1
        netns_link "$ns" "$veth" "$NS_H" "${prefix:0:3}h$role$tag" || return 1
        nsenter --net="/run/netns/$NS_H" ip link set "${prefix:0:3}h$role$tag" master hub
        nsenter --net="/run/netns/$ns" ip route add default dev "$veth"
    done
    NS_S=$prefix-s-$tag NS_C=$prefix-c-$tag NS_O=$prefix-o-$tag
    VETH_S=${prefix:0:3}s$tag VETH_C=${prefix:0:3}c$tag VETH_O=${prefix:0:3}o$tag
    IN_S=(nsenter --net="/run/netns/$NS_S")
    IN_C=(nsenter --net="/run/netns/$NS_C")
    IN_O=(nsenter --net="/run/netns/$NS_O")
}

netns_relay_create() {
    local prefix=$1 server=$2 uplink=$3 downlink=$4 tag=$$
    NS_S=$prefix-s-$tag
    NS_R=$prefix-r-$tag
    NS_C=$prefix-c-$tag
    VETH_S=${prefix:0:3}s$tag
    VETH_RU=${prefix:0:3}u$tag
    VETH_RD=${prefix:0:3}d$tag
    VETH_C=${prefix:0:3}c$tag
    netns_new "$NS_S" || return 1
    netns_new "$NS_R" || return 1
    netns_new "$NS_C" || return 1
    netns_link "$NS_S" "$VETH_S" "$NS_R" "$VETH_RU" || return 1
    netns_link "$NS_R" "$VETH_RD" "$NS_C" "$VETH_C" || return 1
    IN_S=(nsenter --net="/run/netns/$NS_S")
    IN_R=(nsenter --net="/run/netns/$NS_R")
    IN_C=(nsenter --net="/run/netns/$NS_C")
    "${IN_S[@]}" ip addr add "$server" dev "$VETH_S"
    "${IN_R[@]}" ip addr add "$uplink" dev "$VETH_RU"
    "${IN_R[@]}" ip addr add "$downlink" dev "$VETH_RD"
    "${IN_R[@]}" sysctl -qw net.ipv4.ip_forward=1
    "${IN_S[@]}" ip route add default via "${uplink%/*}" dev "$VETH_S"
}

netns_remove() {
    local ns pid link
    for ns in "${NETNS_MADE[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    done
    wait 2>/dev/null
    for ns in "${NETNS_MADE[@]}"; do ip netns del "$ns" 2>/dev/null; done
    # A pair whose move into a namespace failed is still in ours.
    for link in "${NETNS_LINKS[@]}"; do ip link del "$link" 2>/dev/null; done
    NETNS_MADE=()
    NETNS_LINKS=()
    return 0
}

netns_pair_remove() { netns_remove; }
