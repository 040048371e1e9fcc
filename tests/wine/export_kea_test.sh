#!/bin/bash
# NIMBO.exe /EXPORTKEA while the server runs: the export is read before the
# single-instance steps, so it is not handed to the server as a bad switch;
# it writes kea-dhcp4.conf, kea-leases4.csv and export.txt (CR LF) and shows
# the summary in a message box; kea-dhcp4 -t accepts what it wrote. Without
# a folder it shows the usage and exits with 2.
#
# Arguments: NIMBO.exe, desktop_probe.exe.
source "$(dirname "$0")/../e2e/lib.sh" "$@"

OUT=$WORK/kea
mkdir -p "$OUT"
write_ini
printf '%s\r\n' "[Reservations]" "@M-02-00-5e-00-00-77=198.51.100.77" >>"$SERVER_DIR/NIMBO.INI"
start_server

# Runs NIMBO.exe with the arguments and reads its message box; sets BOX and CODE.
export_with_box() {
    wine_in_server NIMBO.exe "$@" >>"$WORK/server.out" 2>&1 &
    local pid=$!
    BOX=$(desktop_probe box 20000) || { kill "$pid" 2>/dev/null; fail "no message box for $*"; }
    CODE=0
    wait "$pid" || CODE=$?
}

export_with_box /EXPORTKEA "Z:${OUT//\//\\}"
[ "$CODE" = 0 ] || fail "/EXPORTKEA exited with $CODE"
grep -qx "caption=Nimbo - Export to Kea" <<<"$BOX" || fail "caption: $BOX"
grep -qx "text=Exported for Kea. The summary is also in Z:.*\\\\export.txt:" <<<"$BOX" || fail "text: $BOX"
grep -qx "  1: 198.51.100.0/24, the server's network: 1 pool of 41 addresses, 1 reservation" <<<"$BOX" || fail "no subnet: $BOX"
grep -q $'^Lease file named in the configuration: /var/lib/kea/kea-leases4.csv\r$' "$OUT/export.txt" ||
    fail "export.txt: $(cat "$OUT/export.txt")"
grep -aq 'Command Line - "/EXPORTKEA' "$SERVER_DIR/NIMBO.LOG" && fail "the export was handed to the running server"
server_alive || fail "the server stopped"
pass "/EXPORTKEA beside a running server: files, export.txt and the summary in a message box"

if command -v kea-dhcp4 >/dev/null; then
    KEA_LOCKFILE_DIR=$WORK KEA_PIDFILE_DIR=$WORK kea-dhcp4 -t "$OUT/kea-dhcp4.conf" >"$WORK/kea.out" 2>&1 ||
        fail "kea-dhcp4 -t refuses the export: $(grep -v INFO "$WORK/kea.out")"
    pass "kea-dhcp4 -t accepts the export of NIMBO.exe"
fi

export_with_box /EXPORTKEA
[ "$CODE" = 2 ] || fail "/EXPORTKEA without a folder exited with $CODE"
grep -q "^text=Usage: NIMBO /EXPORTKEA <folder>" <<<"$BOX" || fail "usage: $BOX"
pass "/EXPORTKEA without a folder: the usage, exit code 2"
stop_server
exit 0
