#!/bin/bash
# The rooms of src/ stand in one order; a file may include from its own room
# and from rooms below it, never from one above or beside it:
#
#   base < leases < config < dhcp < export < ui < shell < host | stop | service
#
# ALLOWED lists the includes that run the other way on purpose, each with
# its reason; the README names them too.
cd "$(dirname "$0")/.."
order=(base leases config dhcp export ui shell host stop service)
ALLOWED=()
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done
top=${rank[host]}

status=0
while IFS=: read -r file line text; do
  from=${file#src/}; from=${from%%/*}
  to=$(sed -nE 's/^#include "([a-z_]+)\/.*/\1/p' <<<"$text")
  [ -n "${rank[$to]:-}" ] && [ -n "${rank[$from]:-}" ] || continue
  [ "$from" = "$to" ] && continue
  ok=1
  if [ "${rank[$to]}" -ge "${rank[$from]}" ]; then ok=0; fi
  # The programs at the top stand side by side: none includes another.
  if [ "${rank[$to]}" -ge "$top" ]; then ok=0; fi
  for pair in "${ALLOWED[@]}"; do [ "$pair" = "$from $to" ] && ok=1; done
  if [ $ok = 0 ]; then
    echo "$file:$line: $from includes from $to, which stands above it: $text"
    status=1
  fi
done < <(grep -rnE '^#include "[a-z_]+/' src --include='*.cpp' --include='*.h')
for dir in src/*/; do
  room=$(basename "$dir")
  if [ -z "${rank[$room]:-}" ]; then echo "src/$room: a room without a place in the order"; status=1; fi
done
[ $status = 0 ] && echo "layer check: ok"
exit $status
