#!/bin/bash
# NIMBO.CHM as the build leaves it: a compiled help file whose directory
# lists a page per tab, the tray icon and commands, the service and shutdown
# tool, the INI keys, and the contents and index.
set -euo pipefail
chm=$1
listing=$(enum_chmLib "$chm")
missing=0
for page in index.html window.html general.html ranges.html reservations.html leases.html tray.html \
            service.html ini.html toc.hhc index.hhk; do
  grep -qE "[[:space:]]/${page//./\\.}\$" <<<"$listing" || { echo "missing from $chm: $page"; missing=1; }
done
# The system file, which holds the help file's settings.
grep -q "/#SYSTEM" <<<"$listing" || { echo "no #SYSTEM"; missing=1; }
exit $missing
