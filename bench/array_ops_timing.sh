#!/usr/bin/env bash
# Times `kelctl create raid5` on four disks and `kelctl remove` end to end (client start,
# login, magic reads, the engine's write, rescan and reply) against a real kelsrv on a
# simulated controller with four 8 GiB disks. Prints the median and range of N runs (10 by
# default) in milliseconds, one line per operation, for scripts and closing notes.
#
#   bench/array_ops_timing.sh [BUILD_DIR] [RUNS]
set -euo pipefail
. "$(dirname "$0")/sim_service.sh"
kel_bench_setup "${1:-}"
runs=${2:-10}
sim init --channels 2 >/dev/null
for spec in "0 master" "0 slave" "1 master" "1 slave"; do
  set -- $spec
  sim add-disk --channel "$1" --position "$2" --size 8G >/dev/null
done
kel_bench_start

export KEL_PORT=$port KEL_PASSWORD=pelum
ms() { date +%s%N; }
create_times=() remove_times=()
for i in $(seq "$runs"); do
  t0=$(ms); "$kelctl" create raid5 --name bench --disks 0,1,2,3 >/dev/null; t1=$(ms)
  "$kelctl" remove bench --yes >/dev/null; t2=$(ms)
  create_times+=($(( (t1 - t0) / 1000000 ))) remove_times+=($(( (t2 - t1) / 1000000 )))
  echo "run $i: create $(( (t1 - t0) / 1000000 )) ms, remove $(( (t2 - t1) / 1000000 )) ms" >&2
done
report() {
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v name="$name" '{v[NR]=$1} END {
    m = NR % 2 ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2
    printf "%s median_ms=%s min_ms=%s max_ms=%s runs=%d\n", name, m, v[1], v[NR], NR }'
}
report "create-raid5-4-disks" "${create_times[@]}"
report "remove" "${remove_times[@]}"
