#!/bin/bash
# nimbo as root: no server in a directory that another user owns or may
# write (exit 77, nothing written); links that another user owns (planted
# here and given to nobody) are not followed; the lock files and the command
# socket are root's alone.
source "$(dirname "$0")/lib.sh" "$@"
id nobody >/dev/null 2>&1 || skip "no user nobody"
command -v setpriv >/dev/null || skip "setpriv missing"
as_nobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$@"; }
chmod 0755 "$WORK" "$SERVER_DIR"
start() { timeout 20 "${IN_S[@]}" "$NIMBO" --dir "$SERVER_DIR" "$@" >"$WORK/start.out" 2>&1; }

write_ini
for change in "chown nobody" "chmod 0777" "chmod 0775"; do
    chgrp nogroup "$SERVER_DIR" 2>/dev/null || chgrp "$(id -g nobody)" "$SERVER_DIR"
    $change "$SERVER_DIR"
    CODE=0
    start || CODE=$?
    [ "$CODE" = 77 ] && grep -q "^nimbo: refusing to run as root in $SERVER_DIR: $SERVER_DIR " "$WORK/start.out" ||
        fail "$change: exit code $CODE: $(cat "$WORK/start.out")"
    [ "$(ls "$SERVER_DIR")" = NIMBO.INI ] || fail "$change: files written: $(ls "$SERVER_DIR")"
    chown root:root "$SERVER_DIR"
    chmod 0755 "$SERVER_DIR"
done
pass "refused as root where others may write: $(head -c 100 "$WORK/start.out")..."

# Links of another user's: a dangling NIMBO.INI (kept sections would let it
# write a file of its choosing) and nimbo.lock.
echo secret >"$WORK/victim"
plant() { rm -f "$SERVER_DIR/$1"; ln -s "$2" "$SERVER_DIR/$1"; chown -h nobody "$SERVER_DIR/$1"; }
plant NIMBO.INI "$WORK/cron-x"
start_server
kill -TERM "$SERVER_PID"
CODE=0
wait "$SERVER_PID" || CODE=$?
SERVER_PID=
[ "$CODE" = 1 ] && [ ! -e "$WORK/cron-x" ] || fail "a save through nobody's link: exit code $CODE"
grep -q "Cannot read $SERVER_DIR/NIMBO.INI (error 1)" "$SERVER_DIR/NIMBO.LOG" || fail "refusal not logged"
rm -f "$SERVER_DIR"/*
write_ini
plant nimbo.lock "$WORK/victim"
CODE=0
start || CODE=$?
[ "$CODE" = 1 ] && grep -q "Cannot use the program directory" "$WORK/start.out" || fail "nimbo.lock link: $CODE"
[ "$(cat "$WORK/victim")" = secret ] || fail "the link's target changed"
rm "$SERVER_DIR/nimbo.lock"
plant NIMBO.LOG "$WORK/victim"
start_server
stop_server
[ "$(cat "$WORK/victim")" = secret ] || fail "the server wrote its log through nobody's link"
rm "$SERVER_DIR/NIMBO.LOG"
pass "links of nobody's are not followed (NIMBO.INI, nimbo.lock, NIMBO.LOG)"

start_server
for f in nimbo.lock nimbo.run; do
    [ "$(stat -c %a "$SERVER_DIR/$f")" = 600 ] || fail "$f has mode $(stat -c %a "$SERVER_DIR/$f")"
done
as_nobody flock -n "$SERVER_DIR/nimbo.lock" true 2>/dev/null && fail "nobody could lock nimbo.lock"
as_nobody "$NIMBO" --dir "$SERVER_DIR" /SHUTDOWN >/dev/null 2>&1 && fail "nobody's /SHUTDOWN succeeded"
server_alive || fail "nobody stopped the server"
stop_server
pass "lock files 0600; nobody can neither lock them nor command the server"
exit 0
