# Two network namespaces of our own joined by a veth pair, for the demo, the
# end-to-end tests and the load benchmark. Sourced, not run. Nothing here
# touches the machine's own interfaces.
#
#   netns_pair_create PREFIX   sets NS_S, NS_C (namespaces), VETH_S, VETH_C
#                              (the pair's ends in them), IN_S and IN_C
#                              (command prefixes that run inside each), brings
#                              loopback and both ends up and gives each side a
#                              default route through the pair, so that
#                              255.255.255.255 can be sent. Returns non-zero
#                              when namespaces cannot be created.
#   netns_pair_remove          kills whatever still runs inside them and
#                              deletes both (the pair goes with them).
#
# nsenter runs the command itself (no extra parent process), so after
# "${IN_C[@]}" cmd &  $! is the program's own pid and a signal reaches it.

netns_pair_create() {
    local prefix=$1 tag=$$
    NS_S=$prefix-s-$tag
    NS_C=$prefix-c-$tag
    # Interface names are limited to 15 characters.
    VETH_S=${prefix:0:3}s$tag
    VETH_C=${prefix:0:3}c$tag
    ip netns add "$NS_S" || return 1
    ip netns add "$NS_C" || return 1
    ip link add "$VETH_S" type veth peer name "$VETH_C"
    ip link set "$VETH_S" netns "$NS_S"
    ip link set "$VETH_C" netns "$NS_C"
    IN_S=(nsenter --net="/run/netns/$NS_S")
    IN_C=(nsenter --net="/run/netns/$NS_C")
    "${IN_S[@]}" ip link set lo up
    "${IN_C[@]}" ip link set lo up
    "${IN_S[@]}" ip link set "$VETH_S" up
    "${IN_C[@]}" ip link set "$VETH_C" up
    "${IN_S[@]}" ip route add default dev "$VETH_S"
    "${IN_C[@]}" ip route add default dev "$VETH_C"
}

netns_pair_remove() {
    local ns pid
    for ns in "${NS_C:-}" "${NS_S:-}"; do
        [ -n "$ns" ] || continue
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    done
    wait 2>/dev/null
    [ -n "${NS_C:-}" ] && ip netns del "$NS_C" 2>/dev/null
    [ -n "${NS_S:-}" ] && ip netns del "$NS_S" 2>/dev/null
    [ -n "${VETH_S:-}" ] && ip link del "$VETH_S" 2>/dev/null
    return 0
}
