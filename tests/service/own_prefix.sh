#!/bin/bash
# Runs one test program under Wine in a fresh prefix of its own and removes
# the prefix afterwards. A prefix is one machine: one service control
# manager, one desktop with one foreground window, one registry. So a
# test's services, windows and message boxes meet no other test's, nothing
# installed as an automatic service survives into a later run, and no test
# beside it takes its foreground. The prefix is a copy of the template that
# scripts/wine-prefix.sh keeps (about a second instead of a boot).
#
# Usage: own_prefix.sh NAME [--netns] PROGRAM [ARGS...]
#   The prefix is "$WINEPREFIX-own-NAME" (WINEPREFIX as cmake/wine-run.sh
#   defaults it). --netns runs Wine in a network namespace of its own, with
#   only loopback, for programs that open a DHCP server's sockets; the test
#   is skipped (77) where no namespace can be made.
set -u
name=$1
shift
netns=
if [ "${1:-}" = --netns ]; then
  netns=1
  shift
fi
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-/tmp/nimbo-wine-$(id -u)}-own-$name
source "$here/../../scripts/wine-prefix.sh"

cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
}
cleanup
trap cleanup EXIT
wine_prefix_make "$WINEPREFIX" || { echo "cannot make the Wine prefix $WINEPREFIX"; exit 1; }

if [ -n "$netns" ]; then
  if ! unshare --net true 2>/dev/null; then
    echo "SKIP: cannot create a network namespace (needs root)"
    exit 77
  fi
  # The prefix is fresh, so its wineserver starts inside the namespace.
  unshare --net bash -c 'ip link set lo up 2>/dev/null; exec "$@"' _ "$here/../../cmake/wine-run.sh" "$@"
else
  "$here/../../cmake/wine-run.sh" "$@"
fi
