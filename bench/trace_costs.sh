#!/bin/bash
# What HID tracing costs and what replaying gives, through the real runner:
#   1. the trace's size for each test and Check all (virtual bench, virtual time);
#   2. the console's CPU time on the real clock with and without --trace
#      (one functioning test by default), as a share of the run's wall time;
#   3. how fast a recorded Check all replays (virtual time, both units replayed).
#
#   bench/trace_costs.sh CLI [REAL_CLOCK_TEST]
set -eu
cli=$1
realtest=${2:-func}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { "$cli" --simulate --settings "$work/s.reg" "$@" > /dev/null 2>&1 < /dev/null || true; }

echo "trace size per test (virtual time):"
for t in func indic sound tr rx line trmess rxmess all; do
  run --virtual-time --trace "$work/$t.pcapng" "$t"
  transfers=$(tshark -r "$work/$t.pcapng" -Y 'usbhid.setup.ReportType == 3' 2> /dev/null | wc -l)
  printf '  %-7s %9d bytes  %6d transfers\n' "$t" "$(stat -c %s "$work/$t.pcapng")" "$transfers"
done

# user+sys seconds of a child, from /usr/bin/time's own format
cpu() { /usr/bin/time -f '%U %S %e' -o "$work/time" "$@" > /dev/null 2>&1 < /dev/null || true
  awk '{printf "%.3f %.3f\n", $1 + $2, $3}' "$work/time"; }

echo "real clock, $realtest: CPU s / wall s"
read -r plain_cpu plain_wall < <(cpu "$cli" --simulate --settings "$work/s.reg" "$realtest")
read -r traced_cpu traced_wall < <(cpu "$cli" --simulate --settings "$work/s.reg" \
  --trace "$work/real.pcapng" "$realtest")
echo "  without --trace: $plain_cpu / $plain_wall"
echo "  with --trace:    $traced_cpu / $traced_wall"
awk -v a="$plain_cpu" -v b="$traced_cpu" -v w="$traced_wall" \
  'BEGIN { printf "  tracing costs %.3f s CPU = %.3f %% of the wall time\n", b - a, 100 * (b - a) / w }'

echo "replay of Check all (virtual time):"
read -r rcpu rwall < <(cpu "$cli" --simulate --virtual-time --settings "$work/r.reg" \
  --sim "replay ut $work/all.pcapng" --sim "replay ref $work/all.pcapng" all)
transfers=$(tshark -r "$work/all.pcapng" -Y 'usbhid.setup.ReportType == 3' 2> /dev/null | wc -l)
awk -v c="$rcpu" -v w="$rwall" -v n="$transfers" \
  'BEGIN { printf "  %d transfers in %.2f s wall, %.2f s CPU: %.0f transfers/s\n", n, w, c, n / w }'
