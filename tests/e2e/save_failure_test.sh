#!/bin/bash
# NIMBO.INI that cannot be written (read-only here, as a full disk would
# fail it): nimbo says so on standard error once, and again when a save
# succeeds after it; a final save that fails ends the run with exit code 1.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
client_address
probe() { inc env PROBE_WAIT_MS=3000 "$PROBE" "$SERVER_IP" "$@"; }
failures() { grep -c "NIMBO.INI could not be written" "$WORK/server.out" || true; }

write_ini
start_server
R=$(probe dora 02:00:00:00:5a:01) || fail "first client: $R"
expect_lease_saved "" "${R#ACK }"

chmod 444 "$SERVER_DIR/NIMBO.INI"
R=$(probe dora 02:00:00:00:5a:02) || fail "second client: $R"
wait_for_line "could not be written" "$WORK/server.out" || fail "the failed save was not told on standard error"
sleep 1.5  # three more ticks, each trying again
[ "$(failures)" = 1 ] || fail "$(failures) messages for one failure"
grep -q "Cannot write" "$SERVER_DIR/NIMBO.LOG" || fail "the failure is not in NIMBO.LOG"

chmod 644 "$SERVER_DIR/NIMBO.INI"
wait_for_line "NIMBO.INI written again" "$WORK/server.out" || fail "the recovery was not told"
leases_section | grep -q "^~020000005a02=" || fail "second lease not saved after the recovery"
pass "a failed save is told once on standard error, and its recovery"

chmod 444 "$SERVER_DIR/NIMBO.INI"
R=$(probe dora 02:00:00:00:5a:03) || fail "third client: $R"
kill -TERM "$SERVER_PID"
CODE=0
wait "$SERVER_PID" || CODE=$?
SERVER_PID=
[ "$CODE" = 1 ] || fail "exit code $CODE after a failed final save"
grep -q "the final save failed" "$WORK/server.out" || fail "the failed final save was not told"
pass "a failed final save ends nimbo with exit code 1"
exit 0
