#!/bin/bash
# Runs a Windows program under Wine in a throw-away prefix with the null
# graphics driver, so windows can be created without a display.
# WINEPREFIX may be given; otherwise one prefix per user under /tmp is used.
set -e
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-/tmp/nimbo-wine-$(id -u)}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/.nimbo-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.nimbo-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      wineserver -w || true
      touch "$WINEPREFIX/.nimbo-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
