#!/usr/bin/env bash
# Runs two builds of vr512b-diag-cli over every test, Check all and every
# --sim scenario on the virtual bench (virtual time) and compares their
# stdout, stderr and exit status byte for byte. The reference is a build of an
# earlier commit (.ci/same-logs builds it): a change that was meant to keep
# behaviour must not change a single byte of what the runner prints.
#
#   same_logs.sh REFERENCE_CLI CLI
#
# The tests and scenario keywords come from CLI's --help, so a procedure or a
# bench fault added later is compared too; a keyword without a case below
# fails the comparison until one is added. Exit 77 (skipped) without a
# reference.
set -uo pipefail

reference=${1:-}
cli=${2:?usage: same_logs.sh REFERENCE_CLI CLI}
if [ -z "$reference" ]; then
  echo "skipped: no reference runner; configure with -DVR512B_REFERENCE_CLI=PATH" \
    "(.ci/same-logs builds one from the pinned commit)"
  exit 77
fi
if [ ! -x "$reference" ]; then
  echo "FAIL: reference runner $reference is missing (.ci/same-logs builds it)"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Sections of --help: the test names, then the scenario keywords.
help=$("$cli" --help)
tests=$(printf '%s\n' "$help" | sed -n '/^ТЕСТ:/,/^$/p' | grep -oE '(^| )[a-z]+( |$)' | tr -d ' ')
keywords=$(printf '%s\n' "$help" | sed -n '/^  --sim /,/^  --[a-z]/p' | sed '1d;$d' |
  sed 's/ | /\n/g' | awk '{print $1}' | grep -E '^[a-z][a-z0-9-]*$' | sort -u)
if [ -z "$tests" ] || [ -z "$keywords" ]; then
  echo "FAIL: could not read the tests and scenarios from $cli --help"
  exit 1
fi

# Scenario keyword -> runs that use it: each line holds the runner's
# arguments, words separated by "|" so that a scenario keeps its blanks.
# "@TRACE ARGS@" stands for a HID trace the same runner records first with
# ARGS (--trace FILE ARGS).
declare -A cases=(
  [absent]="--sim|absent ut|func
--sim|absent ref|tr
--sim|absent ut|--sim|absent ref|--abort-after|5000|monitor"
  [serial]="--sim|serial ref 77|rx
--sim|serial ut  -5|func
--sim|serial ref 10001|trmess"
  [version]="--sim|version ut 0A03|func
--sim|version ref FFFF|tr"
  [unplug]="--sim|unplug ut after 40|func
--sim|unplug ref after 30|rx
--sim|unplug ut after 500|all"
  [config-byte]="--sim|config-byte ut 9|func
--sim|config-byte ut 5|func"
  [pending]="--sim|pending ut 07|func
--sim|pending ut 1121|line
--sim|pending ut 2A|--abort-after|5000|monitor"
  [busy]="--sim|busy ut|indic
--sim|busy ref|tr
--sim|busy ut|--abort-after|3000|line"
  [display-broken]="--sim|display-broken|indic"
  [buzzer-broken]="--sim|buzzer-broken|sound
--sim|buzzer-broken|all"
  [no-dial-tone]="--sim|no-dial-tone|line"
  [voltage-stays]="--sim|voltage-stays|line"
  [drop]="--sim|drop ut after 2|trmess
--sim|drop ref after 2|tr"
  [corrupt]="--sim|corrupt ref 1|tr
--sim|corrupt ut 1|rxmess"
  [call]="--sim|call ut 11 3132333435 5551234|--sim|call ut 40 0102030405060708090a|--abort-after|120000|monitor
--sim|call ut 50 0E013412C8000100 2001|--abort-after|60000|monitor
--sim|call ref 23 313233|--sim|absent ut|--abort-after|60000|monitor"
  [error]="--sim|error ref 5 after 3|tr
--sim|error ut 7 after 2 quiet|rxmess
--sim|call ut 11 3132333435|--sim|error ut 9 after 1 quiet|--abort-after|60000|monitor"
  [count-after-read]="--sim|count-after-read ut 0|func
--sim|count-after-read ut 199|func"
  [power-off-before-ok]="--sim|power-off-before-ok|line"
  [replay]="--sim|replay ut @TRACE func@|func
--sim|replay ut @TRACE all@|--sim|replay ref @TRACE all@|all
--sim|replay ut @TRACE --abort-after 60000 monitor@|--sim|replay ref @TRACE --abort-after 60000 monitor@|monitor
--sim|replay ut @TRACE indic@|--sim|replay ref @TRACE indic@|--answer|no|indic
--sim|replay ut @TRACE func@|indic"
)

runs=()
for test in $tests; do
  if [ "$test" = monitor ]; then
    runs+=("--abort-after|120000|monitor")
  else
    runs+=("$test")
  fi
done
runs+=("--set|ShortTest=1|all" "--answer|no|indic" "--answer|yes|sound" "--abort-after|3000|func"
  "--abort-after|200000|all" "--set|NameVR512BSample=|tr" "--set|KorvexTestMsg=1|trmess"
  "--set|CBNoTone=1|--set|Sound=1|--set|SoundSample=1|rxmess" "func|indic|sound")
missing=0
for keyword in $keywords; do
  if [ -z "${cases[$keyword]:-}" ]; then
    echo "FAIL: --sim $keyword has no case in $0"
    missing=1
    continue
  fi
  while IFS= read -r line; do runs+=("$line"); done <<< "${cases[$keyword]}"
done

passed=0
failed=0
n=0
for run in "${runs[@]}"; do
  n=$((n + 1))
  IFS='|' read -r -a words <<< "$run"
  for side in reference new; do
    binary=$reference
    [ "$side" = new ] && binary=$cli
    # Each side records in a data folder of its own, never in the user's: a
    # reference older than the history's tables could not record in a file
    # the new side has brought up to date, and would say so.
    export XDG_DATA_HOME="$work/$side-data"
    args=()
    for word in "${words[@]}"; do
      if [[ $word =~ ^(.*)@TRACE\ ([^@]*)@(.*)$ ]]; then
        trace="$work/$n.pcapng"
        read -r -a recorded <<< "${BASH_REMATCH[2]}"
        "$binary" --simulate --virtual-time --settings "$work/$n-$side-trace.reg" \
          --trace "$trace" "${recorded[@]}" > /dev/null 2>&1 < /dev/null
        word="${BASH_REMATCH[1]}$trace${BASH_REMATCH[3]}"
      fi
      args+=("$word")
    done
    status=0
    "$binary" --simulate --virtual-time --settings "$work/$n-$side.reg" "${args[@]}" \
      > "$work/$n-$side.out" 2> "$work/$n-$side.err" < /dev/null || status=$?
    echo "$status" > "$work/$n-$side.status"
  done
  if cmp -s "$work/$n-reference.out" "$work/$n-new.out" &&
    cmp -s "$work/$n-reference.err" "$work/$n-new.err" &&
    cmp -s "$work/$n-reference.status" "$work/$n-new.status"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL ${args[*]}: exit $(cat "$work/$n-reference.status") before," \
      "$(cat "$work/$n-new.status") now"
    diff "$work/$n-reference.out" "$work/$n-new.out" | head -20
    diff "$work/$n-reference.err" "$work/$n-new.err" | head -20
  fi
done
lines=$(cat "$work"/*-new.out | wc -l)
echo "same logs: $passed of $n runs identical ($lines log lines), $failed differ"
[ "$failed" -eq 0 ] && [ "$missing" -eq 0 ]
