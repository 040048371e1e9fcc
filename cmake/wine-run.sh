#!/bin/bash
# Runs a Windows program under Wine in a throw-away prefix with the null
# graphics driver, so windows can be created without a display.
# WINEPREFIX may be given; otherwise one prefix per user under /tmp is used.
set -e
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-/tmp/nimbo-wine-$(id -u)}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.nimbo-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w || true
    touch "$WINEPREFIX/.nimbo-ready"
  fi
  # A Wine server that stays five minutes after its last program: one that
  # ends three seconds after it (Wine's default) can end just as the next
  # test's program connects, which then fails with "wine client error".
  # When one runs already, this finds it and leaves it be.
  wineserver -p300 >/dev/null 2>&1 || true
) 9>"$WINEPREFIX.lock"
exec wine "$@"
