#!/bin/bash
# One server per program directory and the second start's command hand-over:
# no arguments (shows the icon: no output), a bad switch, /SHUTDOWN /QUIET,
# "/service", SIGTERM and SIGHUP, a stale socket file from a killed server,
# and a command word with no server to take it.
source "$(dirname "$0")/lib.sh" "$@"
second() { ins "$NIMBO" --dir "$SERVER_DIR" "$@" 2>&1; }

write_ini
start_server "/service"
wait_for_line "Running as NT service" "$SERVER_DIR/NIMBO.LOG" || fail "/service not logged"
grep -q 'Command Line - "/service"' "$SERVER_DIR/NIMBO.LOG" && fail "/service was handled as a command"

OUT=$(second) || fail "second start without arguments failed"
[ -z "$OUT" ] || fail "second start without arguments printed: $OUT"
wait_for_line 'Command Line - "/SHOWICON"' "$SERVER_DIR/NIMBO.LOG" || fail "no /SHOWICON hand-over"
server_alive || fail "server stopped on /SHOWICON"

OUT=$(second /SHOWICON /BOGUS) || fail "second start with a bad switch failed"
[ "$OUT" = "Command Line parameters Error" ] || fail "bad switch answered: $OUT"
OUT=$(second SHUTDOWN) || true
[ "$OUT" = "Command Line parameters Error" ] || fail "switch without / answered: $OUT"
server_alive || fail "server stopped on a bad switch"
pass "second starts: /SHOWICON silent, bad switches answered with the error"

# Many second starts at once all get their answer, and the server stays.
for i in 1 2 3 4 5 6 7 8; do second -hideicon >"$WORK/many.$i" & done
wait_pids=$(jobs -p | grep -v "^$SERVER_PID\$" || true)
for pid in $wait_pids; do wait "$pid" || fail "a concurrent second start failed"; done
[ -z "$(cat "$WORK"/many.*)" ] || fail "concurrent second starts printed: $(cat "$WORK"/many.*)"
server_alive || fail "server stopped under concurrent second starts"

OUT=$(second /SHUTDOWN /QUIET) || fail "/SHUTDOWN /QUIET failed"
[ -z "$OUT" ] || fail "/SHUTDOWN /QUIET printed: $OUT"
wait_server_exit
[ ! -e "$SERVER_DIR/nimbo.ctl" ] || fail "socket file left after a clean shutdown"
grep -q "^AutoRefresh=Yes" <(tr -d '\r' <"$SERVER_DIR/NIMBO.INI") || fail "settings not saved at shutdown"
pass "/SHUTDOWN /QUIET stops the server silently and saves"

# SIGTERM shuts down in the same order.
start_server
kill -TERM "$SERVER_PID"
wait_server_exit
grep -q "DHCP Server Terminated Successfully" "$SERVER_DIR/NIMBO.LOG" || fail "SIGTERM: server thread not stopped"
pass "SIGTERM shuts down cleanly"

# A killed server leaves its socket file; the next start is a server again.
start_server
kill -KILL "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
SERVER_PID=
[ -S "$SERVER_DIR/nimbo.ctl" ] || echo "note: no stale socket file"
start_server
OUT=$(second /SHUTDOWN) || fail "/SHUTDOWN after a stale socket failed"
[ "$OUT" = "Command Line parameters passed to Nimbo Server" ] || fail "/SHUTDOWN answered: $OUT"
wait_server_exit
pass "stale socket file does not block a new server"

# A first start's own bad switch: the error is shown, the server runs on.
start_server /NOPE
# Said once the server thread is started, which may already serve.
wait_for_line "Command Line parameters Error" "$WORK/server.out" || fail "first start's bad switch not reported"
# A mistyped option of nimbo's own is refused before anything runs, also
# while a server runs (which is not told), and the answer texts go to
# standard error.
CODE=0
ERR=$(ins "$NIMBO" --dir "$SERVER_DIR" --bogus 2>&1 >/dev/null) || CODE=$?
[ "$CODE" = 2 ] || fail "--bogus beside a running server: exit code $CODE"
grep -q "^usage: nimbo" <<<"$ERR" || fail "--bogus: no usage on standard error: $ERR"
grep -q -- "--bogus" "$SERVER_DIR/NIMBO.LOG" && fail "--bogus was handed to the running server"
OUT=$(ins "$NIMBO" --dir "$SERVER_DIR" /SHUTDOWN 2>/dev/null) || fail "/SHUTDOWN failed"
[ -z "$OUT" ] || fail "/SHUTDOWN printed on standard output: $OUT"
wait_server_exit
pass "first start reports its own bad switch; answers go to standard error"

rm -rf "$SERVER_DIR"/*
write_ini
CODE=0
ERR=$(ins "$NIMBO" --dir "$SERVER_DIR" /SHOWICON --bgous 2>&1 >/dev/null) || CODE=$?
[ "$CODE" = 2 ] || fail "--bgous: exit code $CODE"
grep -q "unknown option --bgous" <<<"$ERR" && grep -q "^usage: nimbo" <<<"$ERR" || fail "--bgous: $ERR"
[ "$(ls "$SERVER_DIR")" = NIMBO.INI ] || fail "--bgous left files: $(ls "$SERVER_DIR")"
pass "a mistyped option starts nothing: usage on standard error, exit code 2"

CODE=0
ERR=$(ins "$NIMBO" --dir "$SERVER_DIR" /SHUTDOWN 2>&1 >/dev/null) || CODE=$?
[ "$CODE" = 1 ] && [ "$ERR" = "no server is running in $SERVER_DIR" ] || fail "/SHUTDOWN without a server: $CODE $ERR"
[ "$(ls "$SERVER_DIR")" = NIMBO.INI ] || fail "/SHUTDOWN without a server left files: $(ls "$SERVER_DIR")"
pass "a command word without a server starts none and makes no file"

# A hang-up (the terminal closed) stops the server with its final save;
# one ignored at start (nohup) stays ignored.
start_server
kill -HUP "$SERVER_PID"
wait_server_exit
grep -q "^AutoRefresh=Yes" <(tr -d '\r' <"$SERVER_DIR/NIMBO.INI") || fail "SIGHUP: settings not saved"
launch_server() { trap '' HUP; exec "${IN_S[@]}" "$NIMBO" --dir "$SERVER_DIR" "$@"; }
start_server
kill -HUP "$SERVER_PID"
sleep 0.5
server_alive || fail "SIGHUP ignored at start stopped the server"
stop_server
pass "SIGHUP saves and stops; ignored at start it is ignored"
exit 0
