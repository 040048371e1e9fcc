#!/bin/bash
# The downloads of scripts/package.sh as their users meet them:
# - the zip and the tarball hold exactly their files, the Windows texts have
#   CRLF line ends, and the version of CMakeLists.txt is in every file name,
#   in NIMBO.exe (string 7 and the version resource) and in nimbo --version;
# - systemd-analyze verify accepts the unit as shipped;
# - the zip, unpacked into a folder of a fresh Wine prefix in a network
#   namespace, serves one busybox udhcpc client (its banner carries the
#   version) and stops with NimboStop.exe;
# - the tarball's nimbo, run as nobody with only the capabilities its unit
#   grants, serves a client and skips an address that answers its ping;
# - each program imports only system libraries, and no library is shipped;
# - the installer, run silently with the service, serves a client from the
#   service's server; an update keeps the service with its ProgramParams;
#   its uninstaller stops and removes the service and removes everything but
#   NIMBO.INI (which holds the lease the stop saved); a second install keeps
#   that NIMBO.INI, and "/PURGE" removes all; a folder with files of others
#   is refused (exit code 2, the reason in the setup log) and left as it was.
#
#   tests/package/package_test.sh [DIST]     (default: dist/)
#
# The parts that need namespaces (root) are skipped without them (exit 77).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
DIST=$(cd "${1:-$ROOT/dist}" && pwd)

VERSION=$(sed -n 's/^project(Nimbo VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
ZIP=$DIST/nimbo-$VERSION-win64.zip
SETUP=$DIST/nimbo-$VERSION-setup.exe
LINUX_NAME=nimbo-$VERSION-linux-x86_64
TARBALL=$DIST/$LINUX_NAME.tar.gz
early_fail() { echo "FAIL: $*"; exit 1; }
for f in "$ZIP" "$SETUP" "$TARBALL"; do [ -f "$f" ] || early_fail "$f missing"; done

# ---- contents, line ends, versions
UNPACKED=$(mktemp -d /tmp/nimbo-package-test.XXXXXX)
trap 'rm -rf "$UNPACKED"' EXIT
[ "$(unzip -Z1 "$ZIP" | sort | tr '\n' ' ')" = "LICENSE NIMBO.CHM NIMBO.exe NimboSVC.exe NimboStop.exe README.txt " ] ||
    early_fail "zip holds: $(unzip -Z1 "$ZIP" | tr '\n' ' ')"
[ "$(tar tzf "$TARBALL" | sort | tr '\n' ' ')" = \
  "$LINUX_NAME/ $LINUX_NAME/LICENSE $LINUX_NAME/README $LINUX_NAME/nimbo $LINUX_NAME/nimbo.service " ] ||
    early_fail "tarball holds: $(tar tzf "$TARBALL" | tr '\n' ' ')"
unzip -q "$ZIP" -d "$UNPACKED/win64"
tar -C "$UNPACKED" -xzf "$TARBALL"
LINUX_DIR=$UNPACKED/$LINUX_NAME
for f in README.txt LICENSE; do
    ! grep -q $'[^\r]$\|^$' "$UNPACKED/win64/$f" || early_fail "$f has lines without CRLF"
done
grep -q "Version $VERSION"$'\r' "$UNPACKED/win64/README.txt" || early_fail "README.txt names no version $VERSION"
grep -q "Copyright (c) 2026 The Nimbo authors" "$LINUX_DIR/LICENSE" || early_fail "tarball LICENSE"
[ "$("$LINUX_DIR/nimbo" --version)" = "nimbo $VERSION" ] || early_fail "nimbo --version: $("$LINUX_DIR/nimbo" --version)"

# String ID of NIMBO.exe's string table: block ID/16+1, entry ID%16, each
# entry a UTF-16 length and that many characters (ASCII here).
string_resource() {
    wrestool -x --raw --type=6 --name=$(($2 / 16 + 1)) "$1" | od -An -tu2 -v -w2 |
        awk -v want=$(($2 % 16)) '
            left == 0 { if (n++ == want) { if ($1 == 0) exit; taking = 1 } left = $1; next }
            taking { text = text sprintf("%c", $1) }
            --left == 0 && taking { exit }
            END { print text }'
}
NIMBO_EXE=$UNPACKED/win64/NIMBO.exe
[ "$(string_resource "$NIMBO_EXE" 7)" = "$VERSION" ] || early_fail "string 7 is '$(string_resource "$NIMBO_EXE" 7)'"
VERSION_STRINGS=$(wrestool -x --raw --type=16 "$NIMBO_EXE" | strings -el | tr '\n' ' ')
for key in FileVersion ProductVersion; do
    case "$VERSION_STRINGS" in *"$key $VERSION "*) ;; *) early_fail "version resource: $VERSION_STRINGS" ;; esac
done
echo "PASS: file lists, CRLF texts and version $VERSION in names, string 7, version resource and nimbo --version"

# A library beside a program is loaded before the system's when the program
# imports it and it is no KnownDLL: only system libraries may be imported.
for exe in NIMBO.exe NimboSVC.exe NimboStop.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$UNPACKED/win64/$exe" | sed -n 's/.*DLL Name: //p'); do
        case "${dll,,}" in
          advapi32.dll|comctl32.dll|gdi32.dll|kernel32.dll|msvcrt.dll|shell32.dll|user32.dll|ws2_32.dll) ;;
          *) early_fail "$exe imports $dll" ;;
        esac
    done
done
echo "PASS: the programs import system libraries only"

# ---- the unit as shipped, with the binary where it expects it (a private
# mount namespace, so nothing is installed on this machine)
if command -v systemd-analyze >/dev/null && unshare --mount true 2>/dev/null; then
    verify=$(unshare --mount bash -c 'mount -t tmpfs tmpfs /usr/local/bin &&
        install -m 0755 "$1/nimbo" /usr/local/bin/nimbo && systemd-analyze verify "$1/nimbo.service"' _ "$LINUX_DIR" 2>&1) ||
        early_fail "systemd-analyze verify: $verify"
    # Warnings name the unit (other units' own warnings are not ours to judge).
    ! grep -q nimbo <<<"$verify" || early_fail "systemd-analyze verify warns: $verify"
    echo "PASS: systemd-analyze verify accepts nimbo.service"
else
    echo "SKIP: systemd-analyze verify (no systemd-analyze, or no mount namespace without root)"
fi

# ---- the Windows zip under Wine: tests/e2e/lib.sh makes the namespaces and
# the prefix and puts NIMBO.exe and NimboStop.exe into SERVER_DIR; the rest
# of the zip goes beside them, as a user unpacks it.
source "$ROOT/tests/e2e/lib.sh" "$NIMBO_EXE"
mv "$UNPACKED" "$WORK/unpacked"   # removed with WORK from now on
UNPACKED=$WORK/unpacked
LINUX_DIR=$UNPACKED/$LINUX_NAME
command -v busybox >/dev/null || skip "busybox missing"
unzip -q -o "$ZIP" -d "$SERVER_DIR"

cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip" >>"$WORK/events"
case "\$1" in
  bound) ip addr flush dev "\$interface"; ip addr add "\$ip/\${mask:-24}" dev "\$interface" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
# One client run that ends once bound; sets ADDRESS. Each name is a client
# of its own (its client identifier is the name).
serve_one_client() {
    local name=$1
    : >"$WORK/events"
    inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:"$name" \
        -x 0x3d:00"$(printf %s "$name" | od -An -tx1 | tr -d ' \n')" \
        >>"$WORK/udhcpc.out" 2>&1 || fail "udhcpc ($name) got no lease"
    ADDRESS=$(sed -n 's/^bound ip=//p' "$WORK/events" | head -1)
}
saved_lease() { awk '/^\[/{s=($0 ~ /^\[Leases\]/)} s' "$1" | tr -d '\r' | grep -q "^$2~"; }

write_ini
start_server
serve_one_client zipbox
stop_server
grep -aq "NIMBO V$VERSION Starting - Running on " "$SERVER_DIR/NIMBO.LOG" || fail "no banner with V$VERSION"
saved_lease "$SERVER_DIR/NIMBO.INI" zipbox || fail "zipbox's lease not saved"
pass "the unpacked zip served $ADDRESS under Wine and stopped with NimboStop.exe"

# ---- the tarball's nimbo as nobody, with exactly the unit's capabilities.
# 198.51.100.100 answers pings from the client side (on its loopback, so the
# client's own address changes leave it), so the first offer must skip it:
# the raw ICMP socket works with CAP_NET_RAW alone (a new namespace allows no
# unprivileged ICMP sockets).
CAPS=$(sed -n 's/^AmbientCapabilities=//p' "$LINUX_DIR/nimbo.service" | tr 'A-Z' 'a-z' |
       sed -e 's/cap_/+/g' -e 's/ /,/g')
[ -n "$CAPS" ] || fail "no AmbientCapabilities in nimbo.service"
chmod 0755 "$WORK" "$UNPACKED" "$LINUX_DIR"
HOST_DIR=$WORK/linux-host
mkdir -p "$HOST_DIR"
server_ini 600 >"$HOST_DIR/NIMBO.INI"
chown -R nobody "$HOST_DIR"
# The zip's client address goes first (and with it, the last address of the
# veth, its routes: the default route comes back for the ping replies).
inc ip addr flush dev "$VETH_C"
inc ip route replace default dev "$VETH_C"
inc ip addr add 198.51.100.100/32 dev lo
ins ip neigh flush dev "$VETH_S"   # a fresh resolution: the probe waits only 100 ms
"${IN_S[@]}" setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs \
    --inh-caps=-all,"$CAPS" --ambient-caps=-all,"$CAPS" --bounding-set=-all,"$CAPS" \
    "$LINUX_DIR/nimbo" --dir "$HOST_DIR" >>"$WORK/server.out" 2>&1 &
SERVER_PID=$!
host_ready() {
    [ -S "$HOST_DIR/nimbo.ctl" ] && server_ready && return 0
    server_alive || fail "nimbo ($CAPS) exited at start: $(cat "$WORK/server.out")"
    return 1
}
wait_until "$WAIT_LIMIT" "nimbo ($CAPS) to serve" host_ready || fail "nimbo ($CAPS) does not serve port 67"
serve_one_client linuxbox
[ "$ADDRESS" != 198.51.100.100 ] || fail "offered an address that answers pings"
grep -q "Address c6336464 is in use!" "$HOST_DIR/NIMBO.LOG" || fail "no probe of 198.51.100.100: $(grep -i icmp "$HOST_DIR/NIMBO.LOG")"
kill -TERM "$SERVER_PID"
wait_server_exit
saved_lease "$HOST_DIR/NIMBO.INI" linuxbox || fail "linuxbox's lease not saved at SIGTERM"
pass "nimbo as nobody with $CAPS served $ADDRESS, probed first, saved at SIGTERM"

# ---- the installer, silently, in a prefix of its own. A NIMBO.INI kept
# from an earlier installation is in the folder already.
export WINEPREFIX=$WORK/wine-setup
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"  # no menu entries for this machine's desktop
wine_prefix_make "$WINEPREFIX" || skip "cannot make a Wine prefix"
INSTALLED="$WINEPREFIX/drive_c/Program Files/Nimbo"
MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Nimbo"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbo'
SERVICE_KEY='HKLM\System\CurrentControlSet\Services\Nimbo'
mkdir -p "$INSTALLED"
server_ini 600 >"$INSTALLED/NIMBO.INI"
INI_BEFORE=$(md5sum <"$INSTALLED/NIMBO.INI")
SERVER_DIR=$INSTALLED  # the server started by hand runs there (launch_server), and show_logs looks there
cp "$SETUP" "$WORK/setup.exe"
listing() { (cd "$1" && ls -A | sort | tr '\n' ' '); }
registered() { ins wine reg query "$1" >/dev/null 2>&1; }
setup_log() { cat "$WINEPREFIX"/drive_c/users/*/Temp/nimbo-setup.log 2>/dev/null | tr -d '\r'; }
# The uninstaller goes on in a copy of itself: wait for every process of the
# prefix, which end once nothing of Nimbo runs any more.
wine_idle() { ins timeout 60 wineserver -w || fail "processes still running after the uninstall"; }

ins wine "$WORK/setup.exe" /S || fail "setup.exe /S failed"
[ "$(listing "$INSTALLED")" = "LICENSE NIMBO.CHM NIMBO.INI NIMBO.exe NimboSVC.exe NimboStop.exe README.txt Uninstall.exe " ] ||
    fail "installed: $(listing "$INSTALLED")"
[ "$(md5sum <"$INSTALLED/NIMBO.INI")" = "$INI_BEFORE" ] || fail "the installation changed NIMBO.INI"
[ "$(listing "$MENU")" = "Help.lnk Nimbo.lnk Stop Nimbo.lnk " ] || fail "Start menu: $(listing "$MENU" 2>&1)"
ins wine reg query "$UNINSTALL_KEY" /v DisplayVersion 2>/dev/null | grep -q "$VERSION" || fail "no uninstall entry"
! registered "$SERVICE_KEY" || fail "service installed unasked"
start_server
serve_one_client handbox
pass "installed without the service over a kept NIMBO.INI; started by hand, it served $ADDRESS"

# An update with the service while that server runs: the installer stops it
# (it saves and ends), and the service's server takes over.
ins wine "$WORK/setup.exe" /S /SERVICE || fail "setup.exe /S /SERVICE failed"
server_alive && fail "the installer left the running server alone"
wait_server_exit
saved_lease "$INSTALLED/NIMBO.INI" handbox || fail "handbox's lease not saved"
registered "$SERVICE_KEY" || fail "no service"
wait_until "$WAIT_LIMIT" "the service's server to serve" server_ready || fail "the service's server did not start: $(ins wine sc query Nimbo 2>&1 | tr -d '\r')"
serve_one_client setupbox
wait_for_line "Add Lease for setupbox" "$INSTALLED/Addresses.LOG" || fail "no lease in the installed Addresses.LOG"
pass "updated with the service while the server ran: stopped, replaced; the service's server served $ADDRESS"

# An update of the service's folder keeps the service, stopped and started
# again, with an administrator's own ProgramParams.
ins wine reg add "$SERVICE_KEY\\Parameters" /v ProgramParams /d /HIDEICON /f >/dev/null 2>&1
ins wine "$WORK/setup.exe" /S || fail "setup.exe /S (update) failed: $(setup_log)"
setup_log | grep -q "Starting the service Nimbo again" || fail "the service was not kept: $(setup_log)"
ins wine reg query "$SERVICE_KEY\\Parameters" /v ProgramParams 2>/dev/null | grep -q "/HIDEICON" || fail "ProgramParams lost"
wait_until "$WAIT_LIMIT" "the service's server on port 67" server_ready || fail "the service's server did not bind port 67"
serve_one_client keptbox
pass "updated again: the service and its ProgramParams kept, serving $ADDRESS"

ins wine 'C:\Program Files\Nimbo\Uninstall.exe' /S || fail "Uninstall.exe /S failed"
wine_idle
[ "$(listing "$INSTALLED")" = "NIMBO.INI " ] || fail "left after uninstall: $(listing "$INSTALLED")"
saved_lease "$INSTALLED/NIMBO.INI" setupbox || fail "the service was removed before its server saved"
[ ! -e "$MENU" ] || fail "Start menu entries left: $(listing "$MENU")"
! registered "$SERVICE_KEY" || fail "service left"
! registered "$UNINSTALL_KEY" || fail "uninstall entry left"
pass "uninstalled: service stopped (lease saved) and removed, everything gone but NIMBO.INI"

ins wine "$WORK/setup.exe" /S || fail "setup.exe /S failed"
ins wine 'C:\Program Files\Nimbo\Uninstall.exe' /S /PURGE || fail "Uninstall.exe /S /PURGE failed"
wine_idle
[ ! -e "$INSTALLED" ] || fail "left after /PURGE: $(listing "$INSTALLED")"
pass "installed again; uninstalled with /PURGE: the folder is gone"

# Someone else's folder, named with /D=: refused before anything changes.
FOREIGN=$WINEPREFIX/drive_c/Tools
mkdir -p "$FOREIGN"
printf 'theirs\r\n' >"$FOREIGN/README.txt"
printf 'theirs\r\n' >"$FOREIGN/tool.exe"
BEFORE=$(cd "$FOREIGN" && ls -A | sort; md5sum *)
CODE=0
ins wine "$WORK/setup.exe" /S /SERVICE '/D=C:\Tools' || CODE=$?
[ "$CODE" = 2 ] || fail "setup.exe into a foreign folder exited with $CODE"
[ "$(cd "$FOREIGN" && ls -A | sort; md5sum *)" = "$BEFORE" ] || fail "the foreign folder changed: $(listing "$FOREIGN")"
setup_log | grep -q "Nothing was installed: C:.Tools holds .*, which is not Nimbo's" || fail "no reason logged: $(setup_log)"
! registered "$SERVICE_KEY" || fail "service installed into a refused folder"
pass "a foreign folder is refused (exit 2, reason in the setup log) and left as it was"

# An empty folder that everyone may write (Wine reads the Unix mode o+w as
# an entry for Everyone) keeps its access, so the service is refused: exit
# 3, NimboSVC's reason in the setup log, no service.
mkdir -m 0777 "$WINEPREFIX/drive_c/Open"
CODE=0
ins wine "$WORK/setup.exe" /S /SERVICE '/D=C:\Open' || CODE=$?
[ "$CODE" = 3 ] || fail "setup.exe /SERVICE into a folder everyone may write exited with $CODE"
setup_log | grep -q "The service is not installed: Everyone (S-1-1-0) can write C:.Open" || fail "no reason: $(setup_log)"
! registered "$SERVICE_KEY" || fail "service installed in a folder everyone may write"
pass "the service is refused in a folder everyone may write (exit 3, NimboSVC's reason in the setup log)"
exit 0
