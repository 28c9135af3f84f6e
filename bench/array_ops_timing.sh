#!/usr/bin/env bash
# Times `kelctl create raid5` on four disks and `kelctl remove` end to end (client start,
# login, magic reads, the engine's write, rescan and reply) against a real kelsrv on a
# simulated controller with four 8 GiB disks. Prints the median and range of N runs (10 by
# default) in milliseconds, one line per operation, for scripts and closing notes.
#
#   bench/array_ops_timing.sh [BUILD_DIR] [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-10}
kelsim=$build/sim/kelsim
kelctl=$build/tools/kelctl
kelsrv=$build/service/kelsrv
for bin in "$kelsim" "$kelctl" "$kelsrv"; do
  [ -x "$bin" ] || { echo "missing $bin: build first (scripts/build.sh $build)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kel-bench-XXXXXX")
srv_pid=
cleanup() {
  [ -n "$srv_pid" ] && kill -TERM "$srv_pid" 2>/dev/null && wait "$srv_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
cat > "$work/kel.config" <<CFG
KEL_CFG_EVENTLOG_FILE = $work/kel_event.log
KEL_CFG_ACCOUNT_FILE = $work/kel_account
KEL_CFG_INIT_LOG_FILE = $work/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = $port
KEL_CFG_ACK_LISTEN_PORT = $(free_port)
KEL_CFG_BROADCAST_LISTEN_PORT = $(free_port)
CFG
"$kelsim" --dir "$work/sim" init --channels 2 >/dev/null
for spec in "0 master" "0 slave" "1 master" "1 slave"; do
  set -- $spec
  "$kelsim" --dir "$work/sim" add-disk --channel "$1" --position "$2" --size 8G >/dev/null
done
(cd "$work" && exec "$kelsrv" "$work/kel.config" --sim "$work/sim" >"$work/kelsrv.out" 2>&1) &
srv_pid=$!
for _ in $(seq 300); do
  [ "$(cat "$work/kel_init.log" 2>/dev/null)" = "success" ] && break
  sleep 0.1
done
[ "$(cat "$work/kel_init.log" 2>/dev/null)" = "success" ] || { echo "kelsrv did not start:" >&2; tail -5 "$work/kelsrv.out" >&2; exit 1; }

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
