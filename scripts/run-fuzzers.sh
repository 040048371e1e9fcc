#!/bin/bash
# Runs every libFuzzer target of build/fuzz for the given seconds (default
# 60) over a scratch copy of its seed corpus in fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
status=0
for fuzzer in build/fuzz/bin/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer" _fuzz)
  seeds=fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzzing $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$work" > "$work.log" 2>&1; then
    tail -40 "$work.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work.log" | tail -2
  fi
  rm -rf "$work" "$work.log"
done
exit $status
