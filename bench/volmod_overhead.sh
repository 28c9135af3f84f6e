#!/usr/bin/env bash
# What volmod adds to a query: array-info calls per second from a PHP loop through the
# extension against the same query from C++ through the client library, both against one
# real kelsrv on a simulated controller holding a RAID 1. Prints one line per caller and
# the ratio.
#
#   bench/volmod_overhead.sh [BUILD_DIR] [SECONDS] [ROUNDS]
set -euo pipefail
. "$(dirname "$0")/sim_service.sh"
kel_bench_setup "${1:-}"
seconds=${2:-2}
rounds=${3:-5}
so=$(dirname "$kelsrv")/../webext/volmod/volmod.so
cpp=$(dirname "$kelsrv")/../bench/array_info_bench
for bin in "$so" "$cpp"; do
  [ -e "$bin" ] || { echo "missing $bin: build first" >&2; exit 2; }
done
sim init --channels 1 >/dev/null
sim add-disk --channel 0 --position master --size 1G >/dev/null
sim add-disk --channel 0 --position slave --size 1G >/dev/null
kel_bench_start
export KEL_PORT=$port KEL_PASSWORD=pelum
"$kelctl" create raid1 --name bench --disks 0,1 >/dev/null
array=$("$kelctl" --json arrays | python3 -c '
import json, sys
def walk(v):
    if isinstance(v, dict):
        if v.get("arrayName") == "bench": yield v["index"]
        for x in v.values(): yield from walk(x)
    elif isinstance(v, list):
        for x in v: yield from walk(x)
print(next(walk(json.load(sys.stdin))))')
# Interleaved rounds, so that a busy moment of the machine hits both callers alike; the
# medians are reported.
rate() { sed -n 's/.*: \([0-9]*\) calls\/s$/\1/p' | tail -n 1; }
c_rates=() p_rates=()
for _ in $(seq "$rounds"); do
  c_rates+=("$("$cpp" "$port" "$array" "$seconds" | rate)")
  p_rates+=("$(php -n -d "extension=$(realpath "$so")" -d volmod.diagnostics=0 \
                 "$top/bench/array_info_loop.php" "$port" "$array" "$seconds" | rate)")
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
c=$(median "${c_rates[@]}") p=$(median "${p_rates[@]}")
echo "c++ client library: ${c} calls/s (median of $rounds rounds: ${c_rates[*]})"
echo "php through volmod: ${p} calls/s (median of $rounds rounds: ${p_rates[*]})"
awk -v c="$c" -v p="$p" 'BEGIN { printf "php/c++ %.2f\n", p / c }'
