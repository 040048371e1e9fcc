#!/bin/bash
# Load comparison: perfdhcp against nimbo, dnsmasq and kea-dhcp4, one after
# the other, each serving the same pool to the same simulated relay agent
# inside two network namespaces of our own (the machine's own network is
# never touched). Every row is the median of RUNS runs (default 3), each
# against a freshly started server; the tables are printed at the end.
#
#   bench/perfdhcp/run.sh [--wine] [SECONDS_PER_TEST] [CLIENTS]
#
# Three tables:
# 1. Known clients: renewals and DORA exchanges per second at each offered
#    rate (RATES, default 1000 2000 4000), with their 99th-percentile
#    latencies, the share of offered exchanges completed, the server's CPU
#    time per exchange and its peak resident memory. Nobody pings here:
#    nimbo's clients are known (their leases are in NIMBO.INI before the
#    run, and a client's own earlier address is offered without the in-use
#    probe), dnsmasq runs with --no-ping, kea never pings.
# 2. New clients: DORA per second for clients the server has never seen,
#    offered at NEW_RATE (default 300) per second. nimbo probes every new
#    address (one echo, 100 ms); dnsmasq is measured with its own ping and
#    with --no-ping; kea does not probe.
# 3. A morning's burst: BURST (default 500) new clients starting within one
#    second; how many are bound, when the last one was (seconds after the
#    first DHCPDISCOVER), and the 99th-percentile delay of the first offer.
#
# --wine adds rows for the Windows program, NIMBO.exe under Wine (its own
# prefix in the server namespace). Its CPU time is that of every process in
# the server namespace: NIMBO.exe and the wineserver and helper processes
# that Wine runs for it.
#
# Prebuilt programs instead of the build: NIMBO_BIN=path/to/nimbo,
# NIMBO_EXE_DIR=folder with NIMBO.exe and NimboStop.exe. NIMBO_BASELINE=
# path/to/another/nimbo adds rows "nimbo-base" for that program, measured in
# the same run (a before/after comparison on a busy machine).
#
# Set-up: server 198.18.0.1/15 in one namespace; perfdhcp at 198.18.0.2/15 in
# the other, acting as a relay agent (giaddr 198.18.0.2) for every message,
# renewals included, so every server answers it on its port 67. The pool is
# 198.19.0.1-198.19.15.254; nobody answers a probe of it. Every server
# writes its log: nimbo and NIMBO.exe their full NIMBO.LOG, kea at INFO,
# dnsmasq its DHCP lines.
set -euo pipefail
cd "$(dirname "$0")/../.."

WINE_ROW=0
if [ "${1:-}" = --wine ]; then WINE_ROW=1; shift; fi
SECONDS_PER_TEST=${1:-10}
CLIENTS=${2:-2000}
RATES=${RATES:-"1000 2000 4000"}
RUNS=${RUNS:-3}
NEW_RATE=${NEW_RATE:-300}
BURST=${BURST:-500}

[ "$(id -u)" = 0 ] || { echo "run as root (network namespaces)"; exit 1; }
scripts/install-deps.sh cmake g++ ninja-build libgtest-dev libbenchmark-dev iproute2 kea-admin dnsmasq kea-dhcp4-server

if [ -n "${NIMBO_BIN:-}" ]; then
    NIMBO=$(realpath "$NIMBO_BIN")
else
    BUILD_DIR=${NIMBO_BUILD_DIR:-build/native-release}
    cmake --preset native-release -B "$BUILD_DIR" >/dev/null
    cmake --build "$BUILD_DIR" --target nimbo >/dev/null
    NIMBO=$PWD/$BUILD_DIR/bin/nimbo
fi
NIMBO_BASE=${NIMBO_BASELINE:+$(realpath "$NIMBO_BASELINE")}
if [ "$WINE_ROW" = 1 ]; then
    scripts/install-deps.sh g++-mingw-w64-x86-64-posix googletest wine wine64
    if [ -n "${NIMBO_EXE_DIR:-}" ]; then
        NIMBO_EXE_DIR=$(realpath "$NIMBO_EXE_DIR")
    else
        WINDOWS_BUILD_DIR=${NIMBO_WINDOWS_BUILD_DIR:-build/windows}
        cmake --preset windows -B "$WINDOWS_BUILD_DIR" >/dev/null
        cmake --build "$WINDOWS_BUILD_DIR" --target NIMBO NimboStop >/dev/null
        NIMBO_EXE_DIR=$PWD/$WINDOWS_BUILD_DIR/bin
    fi
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

# perfdhcp's known clients: MAC 00:0c:01:02:03:04 plus 0 .. CLIENTS-1;
# client i's seeded address is 198.19.(i / 254).(i % 254 + 1). New clients
# are drawn from a million MACs, so that hardly any comes twice.
NEW_CLIENTS=1000000

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

start_nimbo() {  # program [seeded]
    local dir=$WORK/nimbo
    rm -rf "$dir"; mkdir -p "$dir"
    write_nimbo_ini "$dir" "${2:-}"
    "${IN_S[@]}" "$1" --dir "$dir" >"$WORK/nimbo.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

# NIMBO.exe installed as a user would (both programs in one folder beside
# NIMBO.INI), started there under Wine with a prefix of its own.
start_nimbo_exe() {  # [seeded]
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

start_dnsmasq() {  # [ping]
    local ping=--no-ping
    [ "${1:-}" = ping ] && ping=
    rm -f "$WORK/dnsmasq.leases"
    "${IN_S[@]}" dnsmasq --no-daemon --port=0 --no-resolv --no-hosts --conf-file=/dev/null $ping \
        --dhcp-authoritative --dhcp-leasefile="$WORK/dnsmasq.leases" --pid-file="$WORK/dnsmasq.pid" \
        --log-facility="$WORK/dnsmasq.log" --log-dhcp --dhcp-lease-max=100000 \
        --dhcp-range=198.19.0.1,198.19.15.254,255.254.0.0,1h >"$WORK/dnsmasq.out" 2>&1 &
    SERVER_PID=$!
    wait_port67
}

start_kea() {
    rm -f "$WORK"/kea-leases4.csv*
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

# The start command of a server by its row name; known clients are seeded.
start_server() {  # name [seeded]
    case $1 in
        nimbo) start_nimbo "$NIMBO" "${2:-}" ;;
        nimbo-base) start_nimbo "$NIMBO_BASE" "${2:-}" ;;
        NIMBO.exe) start_nimbo_exe "${2:-}" ;;
        kea) start_kea ;;
        dnsmasq) start_dnsmasq ;;
        dnsmasq-ping) start_dnsmasq ping ;;
    esac
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

# The delays (ms) listed by perfdhcp -x t for one exchange kind, one a line.
delays_ms() {  # file, section title
    awk -v title="$2" '
        /^\*\*\*Timestamps for packets: / { on = ($0 == "***Timestamps for packets: " title "***"); next }
        /^\*\*\*/ { on = 0 }
        on && /sent \/ received:/ { split($0, f, " "); printf "%.3f\n", (f[6] - f[4]) * 1000 }' "$1"
}
p99_ms() {  # file, section title
    delays_ms "$1" "$2" | sort -n |
        awk '{ d[n++] = $1 } END { if (n == 0) { print "-"; exit } k = int(n * 0.99); if (k >= n) k = n - 1; print d[k] }'
}
# Seconds from the first DHCPDISCOVER sent to the last DHCPACK received.
bound_after_s() {  # file
    awk '
        /^\*\*\*Timestamps for packets: / { kind = $0; next }
        /^\*\*\*/ { kind = "" }
        kind ~ /DISCOVER-OFFER/ && /sent \/ received:/ { split($0, f, " "); if (first == "" || f[4] < first) first = f[4] }
        kind ~ /: REQUEST-ACK\*\*\*/ && /sent \/ received:/ { split($0, f, " "); if (f[6] > last) last = f[6] }
        END { if (first == "" || last == "") print "-"; else printf "%.2f\n", last - first }' "$1"
}
received() {  # file, statistics title -> received packets
    awk -v title="$2" '
        /^\*\*\*Statistics for: / { on = ($0 == "***Statistics for: " title "***"); next }
        on && /^received packets:/ { print $3; exit }' "$1"
}
sent() {  # file, statistics title -> sent packets
    awk -v title="$2" '
        /^\*\*\*Statistics for: / { on = ($0 == "***Statistics for: " title "***"); next }
        on && /^sent packets:/ { print $3; exit }' "$1"
}
per_second() { awk -v n="${1:-0}" -v s="$2" 'BEGIN { printf (n / s < 10 ? "%.1f" : "%.0f"), n / s }'; }

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
per_exchange_us() { awk -v c="$1" -v n="$2" 'BEGIN { if (n > 0) printf "%.1f", c * 1e6 / n; else print "-" }'; }

# The server process itself (for NIMBO.exe, not the wine launcher).
server_process() {
    local pid
    for pid in $(ip netns pids "$NS_S"); do
        case "$(cat "/proc/$pid/comm" 2>/dev/null)" in NIMBO.exe|nimbo|kea-dhcp4|dnsmasq) echo "$pid"; return ;; esac
    done
    echo "$SERVER_PID"
}

# Datagrams the server namespace dropped for a full socket receive buffer
# (UDP RcvbufErrors), so far.
receive_buffer_drops() {
    "${IN_S[@]}" awk '/^Udp:/ { if (!seen) { for (i = 1; i <= NF; i++) col[$i] = i; seen = 1 } else print $col["RcvbufErrors"] }' \
        /proc/net/snmp
}

perfdhcp_in_client() {  # output file, perfdhcp arguments...
    local out=$1
    shift
    "${IN_C[@]}" timeout $((SECONDS_PER_TEST + 40)) perfdhcp -4 "$@" -x t 198.18.0.1 >"$out" 2>&1 || true
}

# Known clients at an offered rate: "renew/s p99 DORA/s p99 done% exchanges
# CPU us/exch VmHWM". perfdhcp renews each lease it acquired once, so
# renewals follow the DORA rate; rates are completed exchanges per second
# of the run; the exchanges counted are every answered request (offers,
# acknowledgements and renewal acknowledgements), and done% is their share
# of the requests sent. The CPU is what the server used from its start to
# the end of the run (start-up is part of it, as is its log).
known_row() {  # name rate
    local out=$WORK/perf-$1-$2.txt
    start_server "$1" seeded
    local dropped
    dropped=$(receive_buffer_drops)
    perfdhcp_in_client "$out" -R "$CLIENTS" -r "$2" -f "$2" -p "$SECONDS_PER_TEST" -d 2
    local cpu peak offers dora renew asked exchanges
    dropped=$(( $(receive_buffer_drops) - dropped ))
    cpu=$(cpu_seconds)
    peak=$(peak_memory_kb "$(server_process)")
    stop_server
    offers=$(received "$out" "DISCOVER-OFFER")
    dora=$(received "$out" "REQUEST-ACK")
    renew=$(received "$out" "REQUEST-ACK (renewal)")
    exchanges=$(( ${offers:-0} + ${dora:-0} + ${renew:-0} ))
    local s1 s2 s3
    s1=$(sent "$out" "DISCOVER-OFFER")
    s2=$(sent "$out" "REQUEST-ACK")
    s3=$(sent "$out" "REQUEST-ACK (renewal)")
    asked=$(( ${s1:-0} + ${s2:-0} + ${s3:-0} ))
    echo "$(per_second "$renew" "$SECONDS_PER_TEST") $(p99_ms "$out" "REQUEST-ACK (renewal)")" \
        "$(per_second "$dora" "$SECONDS_PER_TEST") $(p99_ms "$out" "REQUEST-ACK")" \
        "$(awk -v n="$exchanges" -v a="$asked" 'BEGIN { if (a > 0) printf "%.1f", 100 * n / a; else print "-" }')" \
        "$exchanges $cpu $(per_exchange_us "$cpu" "$exchanges") $peak $dropped"
}

# New clients at NEW_RATE: "DORA/s p99-offer p99-ack CPU us/exch".
new_row() {  # name
    local out=$WORK/perf-$1-new.txt
    start_server "$1"
    perfdhcp_in_client "$out" -R "$NEW_CLIENTS" -r "$NEW_RATE" -p "$SECONDS_PER_TEST" -d 5
    local cpu offers dora
    cpu=$(cpu_seconds)
    stop_server
    offers=$(received "$out" "DISCOVER-OFFER")
    dora=$(received "$out" "REQUEST-ACK")
    echo "$(per_second "$dora" "$SECONDS_PER_TEST") $(p99_ms "$out" "DISCOVER-OFFER") $(p99_ms "$out" "REQUEST-ACK")" \
        "$cpu $(per_exchange_us "$cpu" $(( ${offers:-0} + ${dora:-0} )))"
}

# BURST new clients within one second, with up to 5 s for the answers:
# "bound last-bound-s p99-offer max-offer".
burst_row() {  # name
    local out=$WORK/perf-$1-burst.txt
    start_server "$1"
    perfdhcp_in_client "$out" -R "$NEW_CLIENTS" -r "$BURST" -n "$BURST" -d 5 -W 5000000
    stop_server
    local bound
    bound=$(received "$out" "REQUEST-ACK")
    echo "${bound:-0} $(bound_after_s "$out") $(p99_ms "$out" "DISCOVER-OFFER")" \
        "$(delays_ms "$out" "DISCOVER-OFFER" | sort -n | tail -1)"
}

# The median of each column over the runs' rows (read from standard input).
median_row() {
    awk '{ for (i = 1; i <= NF; i++) v[i, NR] = $i; if (NF > nf) nf = NF }
         END {
             for (i = 1; i <= nf; i++) {
                 n = 0
                 for (r = 1; r <= NR; r++) if (v[i, r] != "-" && v[i, r] != "") x[n++] = v[i, r] + 0
                 for (a = 0; a < n; a++) for (b = a + 1; b < n; b++) if (x[b] < x[a]) { t = x[a]; x[a] = x[b]; x[b] = t }
                 m = n == 0 ? "-" : (n % 2 ? x[int(n / 2)] : (x[n / 2 - 1] + x[n / 2]) / 2)
                 printf "%s%s", (i > 1 ? " " : ""), m
             }
             printf "\n"
         }'
}

# Runs `row-function arguments` RUNS times and prints the median row.
median_of_runs() {
    local run rows=
    for run in $(seq 1 "$RUNS"); do rows+="$("$@")"$'\n'; done
    printf '%s' "$rows" | median_row
}

SERVERS=(nimbo)
[ -n "$NIMBO_BASE" ] && SERVERS+=(nimbo-base)
[ "$WINE_ROW" = 1 ] && SERVERS+=(NIMBO.exe)
KNOWN_SERVERS=("${SERVERS[@]}" kea dnsmasq)
NEW_SERVERS=("${SERVERS[@]}" kea dnsmasq-ping dnsmasq)
# ONLY="nimbo kea" keeps those rows; TABLES="known new burst" those tables.
if [ -n "${ONLY:-}" ]; then
    keep() { local s; for s in "$@"; do [[ " $ONLY " = *" $s "* ]] && echo "$s"; done; }
    mapfile -t KNOWN_SERVERS < <(keep "${KNOWN_SERVERS[@]}")
    mapfile -t NEW_SERVERS < <(keep "${NEW_SERVERS[@]}")
fi
TABLES=${TABLES:-"known new burst"}

KNOWN_TABLE=$WORK/known.txt NEW_TABLE=$WORK/new.txt BURST_TABLE=$WORK/burst.txt
: >"$KNOWN_TABLE"; : >"$NEW_TABLE"; : >"$BURST_TABLE"
[[ " $TABLES " = *" known "* ]] || RATES=
for rate in $RATES; do
    for server in "${KNOWN_SERVERS[@]}"; do
        row=$(median_of_runs known_row "$server" "$rate")
        echo "$rate $server $row" | tee -a "$KNOWN_TABLE" >&2
    done
done
for server in "${NEW_SERVERS[@]}"; do
    if [[ " $TABLES " = *" new "* ]]; then
        row=$(median_of_runs new_row "$server")
        echo "$server $row" | tee -a "$NEW_TABLE" >&2
    fi
    if [[ " $TABLES " = *" burst "* ]]; then
        row=$(median_of_runs burst_row "$server")
        echo "$server $row" | tee -a "$BURST_TABLE" >&2
    fi
done

echo
echo "perfdhcp, $(nproc) cores, ${SECONDS_PER_TEST}s per run, median of $RUNS runs"
echo
echo "Known clients ($CLIENTS, leases seeded; nobody pings):"
printf '%8s %-12s %8s %8s %8s %8s %6s %9s %7s %8s %9s %7s\n' offered/s server "renew/s" "p99 ms" "DORA/s" "p99 ms" \
    done% exchanges "CPU s" us/exch "VmHWM kB" rcvbuf
while read -r rate server r1 p1 d1 p2 done exchanges cpu per peak dropped; do
    printf '%8s %-12s %8s %8s %8s %8s %6s %9s %7s %8s %9s %7s\n' "$rate" "$server" "$r1" "$p1" "$d1" "$p2" "$done" \
        "$exchanges" "$cpu" "$per" "$peak" "$dropped"
done <"$KNOWN_TABLE"
echo
echo "New clients, offered $NEW_RATE DORA/s (nimbo probes each new address, 100 ms; dnsmasq-ping: dnsmasq's own ping):"
printf '%-12s %8s %13s %11s %7s %8s\n' server DORA/s "p99 offer ms" "p99 ack ms" "CPU s" us/exch
while read -r server d po pa cpu per; do
    printf '%-12s %8s %13s %11s %7s %8s\n' "$server" "$d" "$po" "$pa" "$cpu" "$per"
done <"$NEW_TABLE"
echo
echo "Burst: $BURST new clients within one second, 5 s for the answers:"
printf '%-12s %8s %15s %13s %13s\n' server bound "last bound s" "p99 offer ms" "max offer ms"
while read -r server bound last po pmax; do
    printf '%-12s %8s %15s %13s %13s\n' "$server" "$bound" "$last" "$po" "$pmax"
done <"$BURST_TABLE"
