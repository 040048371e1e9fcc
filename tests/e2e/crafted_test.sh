#!/bin/bash
# Malformed datagrams (truncated, oversized, bad magic cookie, options running
# past the end, 300 random ones) get no wrong answer; the server keeps
# running, keeps serving and loses no lease.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$PROBE" ] || skip "probe client missing"
client_address
probe() { inc env PROBE_WAIT_MS=3000 "$PROBE" "$SERVER_IP" "$@"; }

write_ini
start_server
BEFORE=$(probe dora 02:00:00:00:cc:01) || fail "dora before: $BEFORE"
BEFORE=${BEFORE#ACK }

for kind in truncated oversized cookie overrun "random 300"; do
    # shellcheck disable=SC2086
    RESULT=$(probe crafted $kind) || fail "$kind datagrams: $RESULT"
    server_alive || fail "server died on $kind datagrams"
    pass "$kind: $RESULT"
done

AFTER=$(probe dora 02:00:00:00:cc:02) || fail "dora after: $AFTER"
R1=$(probe renew 02:00:00:00:cc:01 "$BEFORE") || fail "renewal after the noise: $R1"
[ "$R1" = "ACK $BEFORE" ] || fail "renewal after the noise gave $R1"
stop_server
HEX=$(printf '%02x%02x%02x%02x' ${BEFORE//./ })
leases_section | grep -q "~02000000cc01=$HEX\." || fail "lease of $BEFORE lost"
pass "still serving (${AFTER#ACK }), lease of $BEFORE kept"
exit 0
