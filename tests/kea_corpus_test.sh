#!/bin/bash
# Every NIMBO.INI of tests/data/kea exported with `nimbo --export-kea` and
# accepted by `kea-dhcp4 -t`; the lines "; config: TEXT", "; summary: TEXT"
# and "; leases: TEXT" at the top of each file name texts that the exported
# configuration, the summary and the lease file must hold.
# Argument: the nimbo binary. Skips (77) without kea-dhcp4.
set -euo pipefail
NIMBO=${1:?nimbo binary}
command -v kea-dhcp4 >/dev/null || { echo "SKIP: kea-dhcp4 (kea-dhcp4-server) missing"; exit 77; }
WORK=$(mktemp -d /tmp/nimbo-kea.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export KEA_LOCKFILE_DIR=$WORK KEA_PIDFILE_DIR=$WORK
status=0
for ini in "$(dirname "$0")"/data/kea/*.ini; do
    name=$(basename "$ini" .ini); before=$status
    mkdir -p "$WORK/$name/server" "$WORK/$name/out"
    cp "$ini" "$WORK/$name/server/NIMBO.INI"
    out=$WORK/$name/out
    "$NIMBO" --dir "$WORK/$name/server" --export-kea "$out" >"$out/summary" || { echo "FAIL $name: export"; status=1; continue; }
    if ! kea-dhcp4 -t "$out/kea-dhcp4.conf" >"$out/check" 2>&1; then
        echo "FAIL $name: kea-dhcp4 -t refuses it:"; grep -v INFO "$out/check"; status=1
    fi
    while IFS= read -r line; do
        kind=${line%%:*}; text=${line#*: }
        case "$kind" in config) file=$out/kea-dhcp4.conf ;; summary) file=$out/summary ;; *) file=$out/kea-leases4.csv ;; esac
        grep -qF -- "$text" "$file" || { echo "FAIL $name: $kind lacks: $text"; status=1; }
    done < <(sed -n 's/^; \(config\|summary\|leases\): /\1: /p' "$ini" | tr -d '\r')
    [ $status = "$before" ] && echo "PASS $name"
done
[ $status = 1 ] && cat "$WORK"/*/out/summary
exit $status
