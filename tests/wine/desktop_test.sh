#!/bin/bash
# NIMBO.exe on a desktop: Xvfb with a Wine virtual desktop, whose taskbar
# has a notification area. The tray icon appears at the first timer tick; a
# right click on it shows the menu with "&Properties..." as the bold default
# item. Then NIMBO.INI is made unwritable (chattr +i; root ignores mode
# bits): a client still gets its lease, the failure is logged once and a
# balloon says so; once the file is writable again the lease reaches it. A
# shutdown with the file unwritable still ends with 0 and leaves it whole.
# Screenshots (tray.png, menu.png, balloon.png, other-server.png) are kept for
# a person to look at in $NIMBO_TEST_OUTPUT (default: WORK, which is removed).
#
# Arguments: NIMBO.exe, desktop_probe.exe.
E2E_LAYOUT=bridge
source "$(dirname "$0")/../e2e/lib.sh" "$@"
for tool in Xvfb xdpyinfo import xdotool convert busybox chattr; do
    command -v "$tool" >/dev/null || skip "$tool missing"
done
OUTPUT=${NIMBO_TEST_OUTPUT:-$WORK/output}
mkdir -p "$OUTPUT"
rm -f "$OUTPUT"/*.png

# An immutable file cannot be removed by the cleanup; Xvfb, ended by a
# signal it can catch, removes its lock file.
XVFB_PID=
trap 'chattr -i "$SERVER_DIR/NIMBO.INI" 2>/dev/null; [ -n "$XVFB_PID" ] && kill -TERM "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID"; cleanup' EXIT

# A display of our own: the first free one of 51 to 54 (or NIMBO_TEST_DISPLAY);
# a lock file whose server is gone does not count.
DISPLAY_NUMBER=
for n in ${NIMBO_TEST_DISPLAY:-51 52 53 54}; do
    lock_pid=$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null || true)
    if [ -z "$lock_pid" ] || ! kill -0 "$lock_pid" 2>/dev/null; then DISPLAY_NUMBER=$n; break; fi
done
[ -n "$DISPLAY_NUMBER" ] || skip "no free X display among 51 to 54"
"${IN_S[@]}" Xvfb ":$DISPLAY_NUMBER" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.out" 2>&1 &
XVFB_PID=$!
display_up() {
    ins xdpyinfo -display ":$DISPLAY_NUMBER" >/dev/null 2>&1 && return 0
    kill -0 "$XVFB_PID" 2>/dev/null || skip "Xvfb did not start: $(cat "$WORK/xvfb.out")"
    return 1
}
wait_until "$WAIT_LIMIT" "display :$DISPLAY_NUMBER" display_up || skip "Xvfb does not answer"
wine_prefix_desktop ":$DISPLAY_NUMBER"
screenshot() { ins import -window root "$OUTPUT/$1"; }

write_ini
start_server
wait_for_line "User Logged On" "$SERVER_DIR/NIMBO.LOG" || fail "no desktop shell found"

# The icon: what is not taskbar grey in the right end of the taskbar (the
# bottom 20 rows; the clock is off in Wine's virtual desktop), once the
# taskbar has drawn it.
icon_drawn() {
    screenshot tray.png
    read -r W H X Y < <(convert "$OUTPUT/tray.png" -crop 200x20+824+748 +repage -fuzz 10% -trim \
        -format '%w %h %X %Y\n' info: | tr -d '+')
    [ "${W:-0}" -ge 12 ] && [ "${W:-0}" -le 40 ] && [ "${H:-0}" -ge 12 ]
}
wait_until "$WAIT_LIMIT" "the tray icon in a screenshot" icon_drawn || fail "no tray icon in tray.png (${W}x${H})"
ICON_X=$((824 + X + W / 2))
ICON_Y=$((748 + Y + H / 2))
pass "tray icon at $ICON_X,$ICON_Y"

# A right click: the menu, its default item drawn bold.
ins xdotool mousemove "$ICON_X" "$ICON_Y" click 3
MENU=$(desktop_probe menu $((WAIT_LIMIT * 1000))) || fail "no menu after a right click on the icon"
sleep 0.5
screenshot menu.png
# Wine does not hand one process another's menu items; the window procedure
# test reads them in-process, and menu.png shows them.
if ! grep -q "^items=$" <<<"$MENU"; then
    grep -q "^default=40002$" <<<"$MENU" || fail "menu: $MENU"
    grep -q "^items=&Help|-|&Properties...|-|&Shutdown Server$" <<<"$MENU" || fail "menu: $MENU"
fi
ins xdotool key Escape
ins xdotool mousemove 400 300  # away from the icon: no tip over the balloon
pass "right click: a popup menu (see menu.png)"

# The failed save.
chattr +i "$SERVER_DIR/NIMBO.INI"
cat >"$WORK/udhcpc.script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip" >>"$WORK/events"
exit 0
SCRIPT
chmod +x "$WORK/udhcpc.script"
inc busybox udhcpc -q -n -f -i "$VETH_C" -s "$WORK/udhcpc.script" -t 5 -T 2 -x hostname:immutable \
    >"$WORK/udhcpc.out" 2>&1 || fail "no lease while NIMBO.INI is unwritable"
ADDRESS=$(sed -n 's/^bound ip=//p' "$WORK/events" | tail -1)
wait_for_line "Cannot write .*NIMBO.INI (error " "$SERVER_DIR/NIMBO.LOG" || fail "the failed save is not logged"
desktop_probe balloon $((WAIT_LIMIT * 1000)) >/dev/null || fail "no balloon"
sleep 0.5
screenshot balloon.png
[ "$(grep -ac "Cannot write" "$SERVER_DIR/NIMBO.LOG")" = 1 ] || fail "the failure is logged more than once"
tr -d '\r' <"$SERVER_DIR/NIMBO.INI" | grep -q "^immutable~" && fail "NIMBO.INI changed while immutable"
server_alive || fail "server stopped"
pass "unwritable NIMBO.INI: lease $ADDRESS served, one log line, a balloon"

chattr -i "$SERVER_DIR/NIMBO.INI"
wait_until "$WAIT_LIMIT" "the lease in NIMBO.INI" lease_listed "^immutable~" ||
    fail "the lease did not reach NIMBO.INI once writable"
pass "writable again: the lease is in NIMBO.INI"

# Another DHCP server: dnsmasq answers first; a line and a balloon name it.
start_other_server
udhcpc_clients 2
wait_for_line "Another DHCP server ($OTHER_IP) answers" "$SERVER_DIR/NIMBO.LOG" || fail "no line names dnsmasq"
sleep 1  # the balloon replaces any earlier one of the icon
desktop_probe balloon 10000 >/dev/null || fail "no balloon about dnsmasq"
sleep 0.5
screenshot other-server.png
pass "another DHCP server: a line and a balloon (see other-server.png)"

# Unwritable at shutdown: the server still ends with 0, and the file keeps
# its last good contents.
chattr +i "$SERVER_DIR/NIMBO.INI"
BEFORE=$(md5sum <"$SERVER_DIR/NIMBO.INI")
stop_server
[ "$(md5sum <"$SERVER_DIR/NIMBO.INI")" = "$BEFORE" ] || fail "NIMBO.INI changed"
[ "$(grep -ac "Cannot write" "$SERVER_DIR/NIMBO.LOG")" = 2 ] || fail "the failed final save is not logged"
pass "unwritable at shutdown: exit 0, NIMBO.INI as last saved"
exit 0
