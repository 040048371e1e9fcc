#!/bin/bash
# NIMBO.exe under Wine and the Linux host nimbo, given the same NIMBO.INI,
# answer the same busybox udhcpc client with the same lease and the same
# options (the configured ones and user options of every type). The lease
# time may differ by the one second that passes between offer and reply.
#
# Arguments: NIMBO.exe, desktop_probe.exe. The Linux host is NIMBO_LINUX_HOST
# (skipped when it is not built).
source "$(dirname "$0")/../e2e/lib.sh" "$@"
command -v busybox >/dev/null || skip "busybox missing"
LINUX_HOST=${NIMBO_LINUX_HOST:-}
[ -x "$LINUX_HOST" ] || skip "the Linux host nimbo is not built (NIMBO_LINUX_HOST)"

cat >"$WORK/udhcpc.script" <<'SCRIPT'
#!/bin/sh
[ "$1" = bound ] || exit 0
env | grep -E '^(ip|siaddr|sname|boot_file|subnet|router|dns|domain|hostname|lease|serverid|ntpsrv|mtu|wpad|opt[0-9]+)=' \
    | sort >"$OUTFILE"
SCRIPT
chmod +x "$WORK/udhcpc.script"

options_ini() {
    write_ini
    printf '%s\r\n' "[Options]" "MaxOption=255" "option26=W1400" "option42=I198.51.100.1, 198.51.100.53" \
        "option252=Thttp://198.51.100.1/wpad.dat" >>"$SERVER_DIR/NIMBO.INI"
}

ask() {
    inc env OUTFILE="$1" busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 \
        -x hostname:wire -O mtu -O ntpsrv -O 252 >>"$WORK/udhcpc.out" 2>&1 || fail "no lease from $2"
    inc ip addr flush dev "$VETH_C"
}

options_ini
start_server
ask "$WORK/windows.env" NIMBO.exe
stop_server

# The same directory and file for nimbo, from scratch.
rm -f "$SERVER_DIR"/NIMBO.LOG "$SERVER_DIR"/Addresses.LOG
options_ini
launch_server() { exec "${IN_S[@]}" "$LINUX_HOST" --dir "$SERVER_DIR" "$@"; }
server_ready() { [ -S "$SERVER_DIR/nimbo.ctl" ] && port67_bound ins; }
start_server
ask "$WORK/linux.env" nimbo
"${IN_S[@]}" "$LINUX_HOST" --dir "$SERVER_DIR" /SHUTDOWN /QUIET
wait "$SERVER_PID" || fail "nimbo exited with $?"
SERVER_PID=

same_but_lease() { grep -v '^lease=' "$1"; }
cat "$WORK/windows.env"
diff <(same_but_lease "$WORK/windows.env") <(same_but_lease "$WORK/linux.env") || fail "the replies differ"
W=$(sed -n 's/^lease=//p' "$WORK/windows.env")
L=$(sed -n 's/^lease=//p' "$WORK/linux.env")
[ -n "$W" ] && [ $((W - L)) -le 1 ] && [ $((L - W)) -le 1 ] || fail "lease times $W and $L"
grep -q "^mtu=1400$" "$WORK/windows.env" && grep -q "^wpad=" "$WORK/windows.env" || fail "user options missing"
pass "NIMBO.exe and nimbo give the same lease and options"
exit 0
