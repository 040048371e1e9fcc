# Waiting for a state, never for a fixed time, in the test scripts (the C++
# tests have the same helper in tests/wait_until.h): a loaded machine
# stretches every step, so a sleep that is long enough today is too short
# tomorrow. Sourced, not run.
#
#   wait_until SECONDS WHAT COMMAND [ARGS...]
#       runs COMMAND every 0.1 s until it succeeds. After SECONDS (whole
#       seconds) it gives up: it says "gave up after SECONDS s waiting for
#       WHAT" on stderr and returns 1, and the caller fails or skips.
#
# WAIT_LIMIT is the bound of a wait for something that takes a moment on an
# idle machine; it is only there to end a test whose state never comes.

WAIT_LIMIT=30

wait_until() {
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "gave up after $limit s waiting for $what" >&2
            return 1
        fi
        sleep 0.1
    done
}
