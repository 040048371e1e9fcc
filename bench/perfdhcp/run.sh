#!/bin/bash
# Load comparison: perfdhcp against nimbo, dnsmasq and kea-dhcp4, one after
# the other, each serving the same pool to the same simulated relay agent
# inside two network namespaces of our own (the machine's own network is
# never touched). Prints renewals per second, DORA exchanges per second, the
# 99th-percentile latency of each, the server's CPU time per exchange and its
# peak resident memory.
#
#   bench/perfdhcp/run.sh [--wine] [SECONDS_PER_TEST] [CLIENTS]
#
# --wine adds a row for the Windows program, NIMBO.exe under Wine (its own
# prefix in the server namespace), served the same seeded leases as nimbo.
# Its CPU time is that of every process in the server namespace: NIMBO.exe
# and the wineserver and helper processes that Wine runs for it.
#
# Set-up: server 198.18.0.1/15 in one namespace; perfdhcp at 198.18.0.2/15 in
# the other, acting as a relay agent (giaddr 198.18.0.2) for every message,
# renewals included, so every server answers it on its port 67. The pool is
# 198.19.0.1-198.19.15.254. At each offered rate the three servers run one
# after the other, each freshly started; every row gives the renewal and
# DORA rates with their 99th-percentile latencies, the exchanges served,
# the server's CPU time and CPU per exchange, and its peak memory.
#
# Neither server pings here: nimbo's clients are known (their leases are in
# NIMBO.INI before the run, and a client's own earlier address is offered
# without the in-use probe), dnsmasq runs with --no-ping, kea never pings.
# nimbo's first-time DORA with its 100 ms in-use probe is measured separately.
set -euo pipefail
cd "$(dirname "$0")/../.."

WINE_ROW=0
if [ "${1:-}" = --wine ]; then WINE_ROW=1; shift; fi
SECONDS_PER_TEST=${1:-10}
CLIENTS=${2:-2000}
# Offered DORA rates (perfdhcp -r, with renewals offered at the same rate).
RATES=${RATES:-"500 1000 2000 4000"}

[ "$(id -u)" = 0 ] || { echo "run as root (network namespaces)"; exit 1; }
scripts/install-deps.sh cmake g++ ninja-build libgtest-dev libbenchmark-dev iproute2 kea-admin dnsmasq kea-dhcp4-server

BUILD_DIR=${NIMBO_BUILD_DIR:-build/native-release}
cmake --preset native-release -B "$BUILD_DIR" >/dev/null
cmake --build "$BUILD_DIR" --target nimbo >/dev/null
NIMBO=$PWD/$BUILD_DIR/bin/nimbo
if [ "$WINE_ROW" = 1 ]; then
    scripts/install-deps.sh g++-mingw-w64-x86-64-posix googletest wine wine64
    WINDOWS_BUILD_DIR=${NIMBO_WINDOWS_BUILD_DIR:-build/windows}
    cmake --preset windows -B "$WINDOWS_BUILD_DIR" >/dev/null
    cmake --build "$WINDOWS_BUILD_DIR" --target NIMBO NimboStop >/dev/null
    NIMBO_EXE_DIR=$PWD/$WINDOWS_BUILD_DIR/bin
    source scripts/wine-prefix.sh
fi

source scripts/netns.sh
WORK=$(mktemp -d /tmp/nimbo-bench.XXXXXX)
SERVER_PID=
cleanup() {
    set +e
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
    netns_pair_remove
    if [ -n "${KEEP_WORK:-}" ]; then echo "work directory kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

netns_pair_create nimbo-bench
"${IN_S[@]}" ip addr add 198.18.0.1/15 dev "$VETH_S"
"${IN_C[@]}" ip addr add 198.18.0.2/15 dev "$VETH_C"
sleep 1

# perfdhcp's simulated clients: MAC 00:0c:01:02:03:04 plus 0 .. CLIENTS-1;
# client i's seeded address is 198.19.(i / 254).(i % 254 + 1).

peak_memory_kb() { awk '/^VmHWM/ {print $2}' "/proc/$1/status" 2>/dev/null || echo "?"; }

wait_port67() {
    for _ in $(seq 1 100); do
        "${IN_S[@]}" ss -Hlun 'sport = :67' | grep -q . && return 0
        kill -0 "$SERVER_PID" 2>/dev/null || { echo "server exited"; return 1; }
        sleep 0.1
    done
    return 1
}

# NIMBO.INI of the server, with the perfdhcp clients' leases when seeded.
write_nimbo_ini() {  # dir [seeded]
    local dir=$1
    {
        printf '%s\r\n' "[Server]" "IPAddress=198.18.0.1" "SubnetMask=255.254.0.0" "BindToAll=1" \
            "Ranges=198.18.0.10-198.18.0.20" "LeaseTime=3600" "DontWarnAddress=1" \
            "[GW0]" "Gateway=198.18.0.2" "Ranges=198.19.0.1-198.19.15.254"
        if [ "${2:-}" = seeded ]; then
            # An expiry a day ahead, as the FILETIME halves of the lease file.
            local ft=$(( ( $(date +%s) + 86400 + 11644473600 ) * 10000000 ))
            awk -v n="$CLIENTS" -v high="$(printf '%08x' $((ft >> 32)))" -v low="$(printf '%08x' $((ft & 0xffffffff)))" '
                BEGIN {
                    printf "[Leases]\r\n"
                    for (i = 0; i < n; i++) {
                        # 00:0c:01:02:03:04 + i; 16909060 is 0x01020304
                        printf "~000c%08x=%02x%02x%02x%02x.%s.%s\r\n", 16909060 + i, 198, 19, int(i / 254), i % 254 + 1, high, low
                    }
                }'
        fi
    } >"$dir/NIMBO.INI"
}

start_nimbo() {
    local dir=$WORK/nimbo
    rm -rf "$dir"; mkdir -p "$dir"
    write_nimbo_ini "$dir" "${1:-}"
    "${IN_S[@]}" "$NIMBO" --dir "$dir" >"$WORK/nimbo.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

# NIMBO.exe installed as a user would (both programs in one folder beside
# NIMBO.INI), started there under Wine with a prefix of its own.
start_nimbo_exe() {
    local dir=$WORK/nimbo-exe
    rm -rf "$dir"; mkdir -p "$dir"
    cp "$NIMBO_EXE_DIR/NIMBO.exe" "$NIMBO_EXE_DIR/NimboStop.exe" "$dir/"
    write_nimbo_ini "$dir" "${1:-}"
    export WINEPREFIX=$WORK/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -d "$WINEPREFIX" ] || wine_prefix_make "$WINEPREFIX"
    (cd "$dir" && exec "${IN_S[@]}" wine NIMBO.exe) >"$WORK/nimbo-exe.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

start_dnsmasq() {
    "${IN_S[@]}" dnsmasq --no-daemon --port=0 --no-resolv --no-hosts --conf-file=/dev/null --no-ping \
        --dhcp-authoritative --dhcp-leasefile="$WORK/dnsmasq.leases" --pid-file="$WORK/dnsmasq.pid" \
        --log-facility="$WORK/dnsmasq.log" --dhcp-lease-max=100000 \
        --dhcp-range=198.19.0.1,198.19.15.254,255.254.0.0,1h >"$WORK/dnsmasq.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

start_kea() {
    cat >"$WORK/kea.json" <<JSON
{ "Dhcp4": {
    "interfaces-config": { "interfaces": [ "$VETH_S" ], "dhcp-socket-type": "udp" },
    "lease-database": { "type": "memfile", "persist": true, "name": "$WORK/kea-leases4.csv", "lfc-interval": 0 },
    "valid-lifetime": 3600,
    "subnet4": [ { "id": 1, "subnet": "198.18.0.0/15", "pools": [ { "pool": "198.19.0.1 - 198.19.15.254" } ] } ],
    "loggers": [ { "name": "kea-dhcp4", "severity": "INFO",
                   "output_options": [ { "output": "$WORK/kea.log" } ] } ]
} }
JSON
    KEA_LOCKFILE_DIR=$WORK KEA_PIDFILE_DIR=$WORK "${IN_S[@]}" kea-dhcp4 -c "$WORK/kea.json" >"$WORK/kea.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

stop_server() {
    if [ -n "${WINEPREFIX:-}" ]; then
        (cd "$WORK/nimbo-exe" && "${IN_S[@]}" wine NimboStop.exe) >/dev/null 2>&1 || true
        wait "$SERVER_PID" 2>/dev/null || true
        "${IN_S[@]}" wineserver -k 2>/dev/null || true
        unset WINEPREFIX
    else
        kill -TERM "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    SERVER_PID=
}

# p99 of the delays listed by perfdhcp -x t for one exchange kind, in ms.
p99_ms() {  # file, section title
    awk -v title="$2" '
        /^\*\*\*Timestamps for packets: / { on = ($0 == "***Timestamps for packets: " title "***"); next }
        /^\*\*\*/ { on = 0 }
        on && /sent \/ received:/ { split($0, f, " "); printf "%.3f\n", (f[6] - f[4]) * 1000 }' "$1" |
        sort -n | awk '{ d[n++] = $1 } END { if (n == 0) { print "-"; exit } k = int(n * 0.99); if (k >= n) k = n - 1; print d[k] }'
}
received() {  # file, statistics title -> received packets
    awk -v title="$2" '
        /^\*\*\*Statistics for: / { on = ($0 == "***Statistics for: " title "***"); next }
        on && /^received packets:/ { print $3; exit }' "$1"
}

# CPU seconds (user + system) that the processes in the server namespace
# have used so far: the server, and for NIMBO.exe Wine's own processes.
cpu_seconds() {
    local pid total=0 ticks
    for pid in $(ip netns pids "$NS_S"); do
        ticks=$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat" 2>/dev/null || echo 0)
        total=$((total + ticks))
    done
    awk -v t="$total" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", t / hz }'
}

# The server process itself (for NIMBO.exe, not the wine launcher).
server_process() {
    local pid
    for pid in $(ip netns pids "$NS_S"); do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in NIMBO.exe|nimbo|kea-dhcp4|dnsmasq) echo "$pid"; return ;; esac
    done
    echo "$SERVER_PID"
}

# One perfdhcp run at an offered rate against the running server; prints
# "renew/s p99 dora/s p99 exchanges". perfdhcp renews each lease it
# acquired once, so renewals follow the DORA rate; rates are completed
# exchanges per second of the run, and the exchanges counted are every
# answered request (offers, acknowledgements and renewal acknowledgements).
run_perf() {  # name rate
    local out=$WORK/perf-$1-$2.txt
    "${IN_C[@]}" timeout $((SECONDS_PER_TEST + 30)) perfdhcp -4 -R "$CLIENTS" \
        -r "$2" -f "$2" -p "$SECONDS_PER_TEST" -d 2 -x t 198.18.0.1 >"$out" 2>&1 || true
    local offers dora renew
    offers=$(received "$out" "DISCOVER-OFFER")
    dora=$(received "$out" "REQUEST-ACK")
    renew=$(received "$out" "REQUEST-ACK (renewal)")
    echo "$(awk -v n="${renew:-0}" -v s="$SECONDS_PER_TEST" 'BEGIN{printf "%.0f", n/s}')" \
        "$(p99_ms "$out" "REQUEST-ACK (renewal)")" \
        "$(awk -v n="${dora:-0}" -v s="$SECONDS_PER_TEST" 'BEGIN{printf "%.0f", n/s}')" \
        "$(p99_ms "$out" "REQUEST-ACK")" \
        $(( ${offers:-0} + ${dora:-0} + ${renew:-0} ))
}

# One row: a fresh server, one run, its CPU time per exchange (the CPU it
# used from start to the end of the run: start-up is part of it, as is the
# log every server writes here) and its peak memory.
bench_row() {  # name rate start-function [argument]
    local name=$1 rate=$2 row cpu peak
    shift 2
    "$@"
    row=$(run_perf "$name" "$rate")
    cpu=$(cpu_seconds)
    peak=$(peak_memory_kb "$(server_process)")
    stop_server
    read -r r1 p1 d1 p2 exchanges <<<"$row"
    printf '%8s %-9s %10s %8s %8s %8s %10s %7s %9s %10s\n' "$rate" "$name" "$r1" "$p1" "$d1" "$p2" "$exchanges" "$cpu" \
        "$(awk -v c="$cpu" -v n="$exchanges" 'BEGIN{ if (n > 0) printf "%.1f", c * 1e6 / n; else print "-" }')" "$peak"
}

echo "perfdhcp: $CLIENTS clients, offered rates $RATES per second, ${SECONDS_PER_TEST}s per run"
printf '%8s %-9s %10s %8s %8s %8s %10s %7s %9s %10s\n' offered server "renew/s" "p99 ms" "DORA/s" "p99 ms" \
    exchanges "CPU s" "us/exch" "VmHWM kB"
for rate in $RATES; do
    bench_row nimbo "$rate" start_nimbo seeded
    [ "$WINE_ROW" = 1 ] && bench_row NIMBO.exe "$rate" start_nimbo_exe seeded
    bench_row kea "$rate" start_kea
    bench_row dnsmasq "$rate" start_dnsmasq
done

# nimbo's first-time exchanges: every new address is probed (100 ms wait).
start_nimbo
out=$WORK/perf-nimbo-new.txt
"${IN_C[@]}" timeout $((SECONDS_PER_TEST + 30)) perfdhcp -4 -R "$CLIENTS" -r 50 -p "$SECONDS_PER_TEST" -d 2 \
    198.18.0.1 >"$out" 2>&1 || true
echo
echo "nimbo, new clients (in-use probe): $(awk -v n="$(received "$out" "REQUEST-ACK")" -v s="$SECONDS_PER_TEST" \
    'BEGIN{printf "%.1f", n/s}') DORA/s"
stop_server
