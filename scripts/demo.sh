#!/bin/bash
# The Nimbo demo: builds the Linux host `nimbo`, serves a real busybox udhcpc
# client from it across a veth pair between two network namespaces of its
# own, shows the lease and the logs, shuts the server down with a second
# start "/SHUTDOWN" and shows the saved [Leases] section. Run as root on a
# Debian machine; installs what it needs. The machine's own network is never
# touched: every address lives inside the two namespaces, which are removed
# at the end (also on failure or Ctrl-C).
#
#   scripts/demo.sh [--relay] [--wine]
#
# --relay: the client sits behind a router running the ISC relay agent
# (dhcrelay), in a third namespace, and gets its address, mask and router
# from the relay agent's [GW0] section.
# --wine: the Windows program instead of nimbo: NIMBO.exe (built with
# mingw-w64) under Wine in the server namespace, with a Wine prefix of its
# own there, stopped with NimboStop.exe.
set -euo pipefail
cd "$(dirname "$0")/.."

RELAY=0
WINE=
for arg in "$@"; do
    case "$arg" in
      --relay) RELAY=1 ;;
      --wine) WINE=1 ;;
      *) echo "usage: scripts/demo.sh [--relay] [--wine]"; exit 2 ;;
    esac
done

# ---- the relayed client (--relay): everything it adds is in this block and
# in the lines that test RELAY below.
RELAY_PACKAGES=()
GW_LINES=()
ROUTE_LINE=   # for the client's script: behind the router it routes through the router it gets
if [ "$RELAY" = 1 ]; then
    RELAY_PACKAGES=(isc-dhcp-relay)
    ROUTE_LINE='    [ -n "$router" ] && ip route replace default via "${router%% *}" dev "$interface"'
    GW_LINES=("[GW0]" "Gateway=203.0.113.1" "Ranges=203.0.113.10-203.0.113.99" "SubnetMask=255.255.255.128"
              "Routers=%1.%2.%3.1")
fi
relay_layout() {
    netns_relay_create nimbo-demo 198.51.100.1/24 198.51.100.254/24 203.0.113.1/25
    say "network namespaces $NS_S (server 198.51.100.1/24), $NS_R (router 198.51.100.254/24 and" \
        "203.0.113.1/25) and $NS_C (client, behind the router)"
}
start_relay_agent() {
    say "dhcrelay in $NS_R: requests from 203.0.113.0/25 go to 198.51.100.1 with giaddr 203.0.113.1"
    "${IN_R[@]}" dhcrelay -4 -d --no-pid -iu "$VETH_RU" -id "$VETH_RD" 198.51.100.1 >"$WORK/dhcrelay.out" 2>&1 &
    for _ in $(seq 1 50); do "${IN_R[@]}" ss -Hlun 'sport = :67' | grep -q . && return 0; sleep 0.1; done
    echo "dhcrelay did not start"; exit 1
}
show_relay_agent() {
    say "dhcrelay"
    grep Forwarded "$WORK/dhcrelay.out" || true
}

[ "$(id -u)" = 0 ] || { echo "demo.sh: run as root (network namespaces)"; exit 1; }

say() { printf '\n==== %s\n' "$*"; }

# ---- packages and build
if [ -n "$WINE" ]; then
  scripts/install-deps.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64 busybox iproute2 \
    util-linux "${RELAY_PACKAGES[@]}"
  BUILD_DIR=${NIMBO_BUILD_DIR:-build/windows}
  say "building NIMBO.exe and NimboStop.exe ($BUILD_DIR)"
  cmake --preset windows -B "$BUILD_DIR" >/dev/null
  cmake --build "$BUILD_DIR" --target NIMBO NimboStop
else
  scripts/install-deps.sh cmake g++ ninja-build libgtest-dev busybox iproute2 util-linux "${RELAY_PACKAGES[@]}"
  BUILD_DIR=${NIMBO_BUILD_DIR:-build/native}
  say "building nimbo ($BUILD_DIR)"
  cmake --preset native -B "$BUILD_DIR" >/dev/null
  cmake --build "$BUILD_DIR" --target nimbo
fi
NIMBO=$PWD/$BUILD_DIR/bin/nimbo

# ---- namespaces
source scripts/netns.sh
WORK=$(mktemp -d /tmp/nimbo-demo.XXXXXX)
SERVER_PID=
CLIENT_PID=
cleanup() {
    set +e
    [ -n "$CLIENT_PID" ] && kill "$CLIENT_PID" 2>/dev/null
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
    netns_pair_remove
    rm -rf "$WORK"
    echo "namespaces removed"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

if [ "$RELAY" = 1 ]; then
    relay_layout
else
    netns_pair_create nimbo-demo
    say "network namespaces $NS_S (server 198.51.100.1/24) and $NS_C (client), joined by a veth pair"
    "${IN_S[@]}" ip addr add 198.51.100.1/24 dev "$VETH_S"
fi

# ---- server
DIR=$WORK/nimbo
mkdir -p "$DIR"
if [ -n "$WINE" ]; then
  # One folder as on Windows: the programs beside NIMBO.INI and the logs.
  cp "$BUILD_DIR/bin/NIMBO.exe" "$BUILD_DIR/bin/NimboStop.exe" "$DIR/"
  source scripts/wine-prefix.sh
  export WINEPREFIX=$WORK/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  say "Wine prefix $WINEPREFIX (its wineserver runs in $NS_S)"
  wine_prefix_make "$WINEPREFIX" || { echo "cannot make a Wine prefix"; exit 1; }
fi
printf '%s\r\n' \
    "[Server]" \
    "IPAddress=198.51.100.1" \
    "SubnetMask=255.255.255.0" \
    "BindToAll=0" \
    "Ranges=198.51.100.100-198.51.100.199" \
    "DNSServer=198.51.100.53" \
    "Routers=198.51.100.1" \
    "DomainName=demo.example" \
    "LeaseTime=3600" \
    "DontWarnAddress=1" \
    "${GW_LINES[@]}" \
    >"$DIR/NIMBO.INI"
if [ -n "$WINE" ]; then
  say "starting wine NIMBO.exe in $DIR"
  (cd "$DIR" && exec "${IN_S[@]}" wine NIMBO.exe) >"$WORK/server.out" 2>&1 &
else
  say "starting nimbo --dir $DIR"
  "${IN_S[@]}" "$NIMBO" --dir "$DIR" >"$WORK/server.out" 2>&1 &
fi
SERVER_PID=$!
for _ in $(seq 1 300); do
    # Serving once port 67 is bound (and, for nimbo, its command socket exists).
    { [ -n "$WINE" ] || [ -S "$DIR/nimbo.ctl" ]; } && "${IN_S[@]}" ss -Hlun 'sport = :67' | grep -q . && break
    kill -0 "$SERVER_PID" 2>/dev/null || { cat "$WORK/server.out"; echo "the server did not start"; exit 1; }
    sleep 0.1
done
[ "$RELAY" = 1 ] && start_relay_agent

# ---- client: busybox udhcpc with a script of our own that only records the
# lease and puts the address on the demo veth inside the client namespace.
cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
case "\$1" in
  bound|renew)
    ip addr flush dev "\$interface"; ip addr add "\$ip/\${mask:-24}" dev "\$interface"
$ROUTE_LINE
    { echo "event=\$1"; echo "ip=\$ip"; echo "subnet=\$subnet"; echo "router=\$router"; echo "dns=\$dns";
      echo "domain=\$domain"; echo "lease=\$lease"; echo "serverid=\$serverid"; } >"$WORK/lease" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
say "busybox udhcpc in $NS_C"
"${IN_C[@]}" busybox udhcpc -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:demo-pc \
    >"$WORK/udhcpc.out" 2>&1 &
CLIENT_PID=$!
for _ in $(seq 1 150); do [ -s "$WORK/lease" ] && break; sleep 0.1; done
cat "$WORK/udhcpc.out"
[ -s "$WORK/lease" ] || { echo "the client got no lease"; exit 1; }

say "the lease the client got"
cat "$WORK/lease"
"${IN_C[@]}" ip -4 addr show dev "$VETH_C" | sed -n 's/^ *inet /address on the client veth: /p'

sleep 0.6   # let the 500 ms housekeeping write the lease section
say "NIMBO.LOG (last 25 lines)"
tail -n 25 "$DIR/NIMBO.LOG" | tr -d '\r'
say "Addresses.LOG"
tr -d '\r' <"$DIR/Addresses.LOG"
[ "$RELAY" = 1 ] && show_relay_agent

kill "$CLIENT_PID" 2>/dev/null; wait "$CLIENT_PID" 2>/dev/null || true; CLIENT_PID=
if [ -n "$WINE" ]; then
  say "wine NimboStop.exe"
  (cd "$DIR" && exec "${IN_S[@]}" wine NimboStop.exe)
  wait "$SERVER_PID" && echo "NIMBO.exe exited with 0"
else
  say "second start: nimbo --dir $DIR /SHUTDOWN"
  "${IN_S[@]}" "$NIMBO" --dir "$DIR" /SHUTDOWN
  wait "$SERVER_PID" && echo "nimbo exited with 0"
fi
SERVER_PID=

say "[Leases] of NIMBO.INI"
tr -d '\r' <"$DIR/NIMBO.INI" | awk '/^\[/{s=($0 ~ /^\[Leases\]/)} s'
