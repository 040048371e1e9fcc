#!/bin/bash
# NIMBO.exe started again while it runs, read off the screen as a person
# would: no arguments shows the icon without a message; "/BOGUS" shows
# "Command Line parameters Error" captioned "Nimbo Error"; two second starts
# at the same moment both hand over their command lines; "/SHUTDOWN" shows
# "Command Line parameters passed to Nimbo Server" captioned "Nimbo" and the
# server stops and saves; "/SHUTDOWN /QUIET" stops it without a message. A
# first start's own bad switch shows the error captioned "Nimbo" and serves
# on; starts go ahead while such a message is open; "/service" is logged and not handed over. Two first starts at the same
# moment give one server. NimboStop.exe with no server running ends at once
# with 0 and no output.
#
# Arguments: NIMBO.exe, desktop_probe.exe.
source "$(dirname "$0")/../e2e/lib.sh" "$@"

# A second start in the background with the probe reading its message box:
# prints the box (caption=, text=, owner=) and fails when none came.
second_with_box() {
    wine_in_server NIMBO.exe "$@" >>"$WORK/server.out" 2>&1 &
    local pid=$! box
    box=$(desktop_probe box $((WAIT_LIMIT * 1000))) || { kill "$pid" 2>/dev/null; fail "no message box for $*"; }
    wait "$pid" || fail "second start $* exited with $?"
    printf '%s\n' "$box"
}

# A second start that must show nothing.
second_without_box() {
    wine_in_server NIMBO.exe "$@" >>"$WORK/server.out" 2>&1 &
    local pid=$! box
    box=$(desktop_probe nobox 3000) || fail "second start $* showed a message: $box"
    wait "$pid" || fail "second start $* exited with $?"
}

count_lines() { grep -ac -- "$1" "$SERVER_DIR/NIMBO.LOG" || true; }

expect_box() {
    local box=$1 caption=$2 text=$3
    grep -qx "caption=$caption" <<<"$box" || fail "caption: $box"
    grep -qx "text=$text" <<<"$box" || fail "text: $box"
    grep -qx "owner=none" <<<"$box" || fail "the message has an owner: $box"
}

OUT=$(wine_in_server NimboStop.exe 2>&1) || fail "NimboStop.exe without a server exited with $?"
[ -z "$(tr -d '\r' <<<"$OUT")" ] || fail "NimboStop.exe printed: $OUT"
pass "NimboStop.exe without a server: exit 0, no output"

write_ini
start_server /service
wait_for_line "Running as NT service" "$SERVER_DIR/NIMBO.LOG" || fail "/service not logged"
grep -aq 'Command Line - "/service"' "$SERVER_DIR/NIMBO.LOG" && fail "/service was handed over as a command"
grep -aq "NIMBO V[0-9.]* Starting - Running on " "$SERVER_DIR/NIMBO.LOG" || fail "no start-up banner"
grep -aq "Hardware - CPU:" "$SERVER_DIR/NIMBO.LOG" || fail "no hardware line"
pass "first start with /service: banner, hardware line, logged and not handed over"

second_without_box
wait_for_line 'Command Line - "/SHOWICON"' "$SERVER_DIR/NIMBO.LOG" || fail "no /SHOWICON hand-over"
server_alive || fail "server stopped on /SHOWICON"
pass "second start without arguments: /SHOWICON, no message"

# While one second start's message is still open, other starts go ahead: the
# named mutex is free once the command line is handed over.
wine_in_server NIMBO.exe /BOGUS >>"$WORK/server.out" 2>&1 &
BOGUS=$!
wait_for_line 'Command Line - "/BOGUS"' "$SERVER_DIR/NIMBO.LOG" || fail "no /BOGUS hand-over"
timeout "$WAIT_LIMIT" bash -c "cd '$SERVER_DIR' && exec ${IN_S[*]} wine NIMBO.exe /SHOWICON" ||
    fail "a start waited for an open message"
BOX=$(desktop_probe box $((WAIT_LIMIT * 1000))) || fail "no message box for /BOGUS"
wait "$BOGUS" || fail "second start /BOGUS exited with $?"
expect_box "$BOX" "Nimbo Error" "Command Line parameters Error"
server_alive || fail "server stopped on /BOGUS"
pass "second start /BOGUS: \"Command Line parameters Error\" captioned \"Nimbo Error\"; other starts go on meanwhile"

# Two at the same moment: the named mutex lets them take turns; neither is
# taken for the first start, both are handed over.
BEFORE=$(count_lines 'Command Line - "/HIDEICON"')
wine_in_server NIMBO.exe /HIDEICON >>"$WORK/server.out" 2>&1 &
A=$!
wine_in_server NIMBO.exe /HIDEICON >>"$WORK/server.out" 2>&1 &
B=$!
wait "$A" || fail "first of two second starts exited with $?"
wait "$B" || fail "second of two second starts exited with $?"
[ "$(count_lines 'Command Line - "/HIDEICON"')" = $((BEFORE + 2)) ] || fail "not both command lines handed over"
[ "$(count_lines 'NIMBO V[0-9.]* Starting')" = 1 ] || fail "a second start became a server"
server_alive || fail "server stopped under two second starts"
pass "two simultaneous second starts both hand over"

BOX=$(second_with_box /SHUTDOWN)
expect_box "$BOX" "Nimbo" "Command Line parameters passed to Nimbo Server"
wait_server_exit
grep -aq "DHCP Server Terminated Successfully" "$SERVER_DIR/NIMBO.LOG" || fail "server thread not ended cleanly"
tr -d '\r' <"$SERVER_DIR/NIMBO.INI" | grep -q "^AutoRefresh=Yes" || fail "settings not saved at shutdown"
pass "second start /SHUTDOWN: message captioned \"Nimbo\", server stopped and saved"

# A first start's own bad switch: the same text, captioned "Nimbo"; it serves on.
start_server /NOPE
wait_for_line 'Command Line - "/NOPE"' "$SERVER_DIR/NIMBO.LOG" || fail "no /NOPE"
timeout "$WAIT_LIMIT" bash -c "cd '$SERVER_DIR' && exec ${IN_S[*]} wine NIMBO.exe /SHOWICON" ||
    fail "a start waited for an open message"
BOX=$(desktop_probe box $((WAIT_LIMIT * 1000))) || fail "no message for the first start's bad switch"
expect_box "$BOX" "Nimbo" "Command Line parameters Error"
server_alive || fail "first start with a bad switch stopped"
second_without_box /SHUTDOWN /QUIET
wait_server_exit
pass "first start's own bad switch: message captioned \"Nimbo\"; /SHUTDOWN /QUIET stops it silently"

# Two first starts that meet: while the start-up mutex is held (here by the
# probe) both wait for it; then one becomes the server and the other hands
# its command line to it. Many leases make the load (between the look for a
# server window and the window's creation) long enough for the two to
# overlap were it not for the mutex.
{
    printf '[Leases]\r\n'
    for i in $(seq 1 3000); do printf 'pc%d~0100%08x=c6336464.ffffffff.ffffffff\r\n' "$i" "$i"; done
} >>"$SERVER_DIR/NIMBO.INI"
BEFORE=$(count_lines 'Command Line - "-hideicon"')
desktop_probe hold 3000 "Z:${SERVER_DIR//\//\\}" >"$WORK/hold.out" &
HOLD=$!
wait_for_line held "$WORK/hold.out" || fail "the probe could not take the start-up lock"
wine_in_server NIMBO.exe -hideicon >>"$WORK/server.out" 2>&1 &
A=$!
wine_in_server NIMBO.exe -hideicon >>"$WORK/server.out" 2>&1 &
B=$!
wait "$HOLD"
# The one that became the second start ends once it has handed over.
either_ended() { process_gone "$A" || process_gone "$B"; }
wait_until "$WAIT_LIMIT" "one of the two starts to end" either_ended
RUNNING=0
for pid in $A $B; do kill -0 "$pid" 2>/dev/null && RUNNING=$((RUNNING + 1)); done
[ "$RUNNING" = 1 ] || fail "$RUNNING of the two starts still run: both became servers"
both_handed_over() { [ "$(count_lines 'Command Line - "-hideicon"')" = $((BEFORE + 2)) ]; }
wait_until "$WAIT_LIMIT" "both command lines in NIMBO.LOG" both_handed_over || fail "not both command lines reached the server"
wine_in_server NimboStop.exe >/dev/null 2>&1 || fail "NimboStop.exe failed"
wait "$A" || fail "first of two first starts exited with $?"
wait "$B" || fail "second of two first starts exited with $?"
pass "two first starts that meet: one server, the other hands over"
exit 0
