#!/bin/bash
# Traces kept in the source tree, each recorded once on a bench: the console
# must still talk to those units exactly as it did then. Each NAME.pcapng has
# NAME.tests beside it (the tests run when it was recorded, on one line); both
# units are answered from the trace, and a divergence or an unreadable trace
# fails. With NAME.log beside it (the log saved on the bench), the replay must
# also print that log byte for byte.
#
#   stored_traces.sh CLI TRACE_FOLDER
set -u
cli=$1
folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
count=0
for trace in "$folder"/*.pcapng; do
  [ -e "$trace" ] || continue
  name=$(basename "$trace" .pcapng)
  count=$((count + 1))
  if [ ! -f "$folder/$name.tests" ]; then
    echo "$name: no $name.tests beside the trace"
    failed=1
    continue
  fi
  read -r -a tests < "$folder/$name.tests"
  status=0
  "$cli" --simulate --virtual-time --settings "$work/$name.reg" \
    --sim "replay ut $trace" --sim "replay ref $trace" "${tests[@]}" \
    > "$work/$name.out" 2> "$work/$name.err" < /dev/null || status=$?
  if [ "$status" -eq 3 ] || [ "$status" -eq 64 ] ||
    grep -q "расходится с работой консоли" "$work/$name.err"; then
    echo "$name: the replay failed (exit $status):"
    cat "$work/$name.err"
    failed=1
  elif [ ! -s "$work/$name.out" ]; then
    echo "$name: the replay printed no log"
    failed=1
  elif [ -f "$folder/$name.log" ] && ! diff -u "$folder/$name.log" "$work/$name.out"; then
    echo "$name: the replay's log differs from the log saved on the bench"
    failed=1
  else
    echo "$name: replayed, exit $status"
  fi
done
if [ "$count" -eq 0 ]; then
  echo "no traces in $folder"
  exit 1
fi
exit $failed
