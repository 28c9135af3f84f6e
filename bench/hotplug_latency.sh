#!/usr/bin/env bash
# Measures hot-plug-to-notice latency end to end: the time from `kelsim unplug` or `kelsim
# plug` returning to the matching line that `kelctl events` prints, against a real kelsrv on
# a simulated controller with its default hot-plug check interval. The disk is pulled and
# plugged back in turn, one plug or pull at a time, so each notice answers one change.
# Prints the median, p95 and range in milliseconds over N changes (50 by default).
#
#   bench/hotplug_latency.sh [BUILD_DIR] [CHANGES]
set -euo pipefail
. "$(dirname "$0")/sim_service.sh"
kel_bench_setup "${1:-}"
changes=${2:-50}
sim init --channels 2 >/dev/null
sim add-disk --channel 0 --position master --size 1G >/dev/null
disk=$(sim add-disk --channel 1 --position master --size 1G)
kel_bench_start

export KEL_PORT=$port KEL_PASSWORD=pelum XDG_RUNTIME_DIR=$work
coproc EV { exec "$kelctl" --no-session events --notify-port "$notify_port"; }
ev_pid=$EV_PID
# Changes count only once the follower is registered for notices.
for _ in $(seq 100); do
  grep -q "try to setup notify socket" "$work/kelsrv.out" && break
  sleep 0.1
done
sim unplug "$disk" >/dev/null
read -r -t 10 _ <&"${EV[0]}" || { echo "no notice for the first change" >&2; exit 1; }

ms() { date +%s%N; }
times=()
for i in $(seq "$changes"); do
  t0=$(ms)
  if (( i % 2 )); then sim plug "$disk" --channel 1 --position master >/dev/null
  else sim unplug "$disk" >/dev/null; fi
  read -r -t 10 line <&"${EV[0]}" || { echo "change $i: no notice within 10 s" >&2; exit 1; }
  t1=$(ms)
  case $line in *hotplug*) ;; *) echo "change $i: unexpected line: $line" >&2; exit 1 ;; esac
  times+=($(( (t1 - t0) / 1000000 )))
done
printf '%s\n' "${times[@]}" | sort -n | awk '{v[NR]=$1} END {
  m = NR % 2 ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2
  p = int((NR * 95 + 99) / 100)
  printf "hotplug-to-notice median_ms=%s p95_ms=%s min_ms=%s max_ms=%s changes=%d\n", m, v[p], v[1], v[NR], NR }'
