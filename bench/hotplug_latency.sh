#!/usr/bin/env bash
# Measures hot-plug-to-notice latency end to end: the time from `kelsim unplug` or `kelsim
# plug` returning to the matching line that `kelctl events` prints, against a real kelsrv on
# a simulated controller with its default hot-plug check interval. The disk is pulled and
# plugged back in turn, one plug or pull at a time, so each notice answers one change.
# Prints the median, p95 and range in milliseconds over N changes (50 by default).
#
#   bench/hotplug_latency.sh [BUILD_DIR] [CHANGES]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
changes=${2:-50}
kelsim=$build/sim/kelsim
kelctl=$build/tools/kelctl
kelsrv=$build/service/kelsrv
for bin in "$kelsim" "$kelctl" "$kelsrv"; do
  [ -x "$bin" ] || { echo "missing $bin: build first (scripts/build.sh $build)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kel-bench-XXXXXX")
srv_pid= ev_pid=
cleanup() {
  [ -n "$ev_pid" ] && kill -TERM "$ev_pid" 2>/dev/null || true
  [ -n "$srv_pid" ] && kill -TERM "$srv_pid" 2>/dev/null && wait "$srv_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port) notify_port=$(free_port)
cat > "$work/kel.config" <<CFG
KEL_CFG_EVENTLOG_FILE = $work/kel_event.log
KEL_CFG_ACCOUNT_FILE = $work/kel_account
KEL_CFG_INIT_LOG_FILE = $work/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = $port
KEL_CFG_ACK_LISTEN_PORT = $notify_port
KEL_CFG_BROADCAST_LISTEN_PORT = $(free_port)
CFG
sim() { "$kelsim" --dir "$work/sim" "$@"; }
sim init --channels 2 >/dev/null
sim add-disk --channel 0 --position master --size 1G >/dev/null
disk=$(sim add-disk --channel 1 --position master --size 1G)
(cd "$work" && exec "$kelsrv" "$work/kel.config" --sim "$work/sim" >"$work/kelsrv.out" 2>&1) &
srv_pid=$!
for _ in $(seq 300); do
  [ "$(cat "$work/kel_init.log" 2>/dev/null)" = "success" ] && break
  sleep 0.1
done
[ "$(cat "$work/kel_init.log" 2>/dev/null)" = "success" ] || { echo "kelsrv did not start:" >&2; tail -5 "$work/kelsrv.out" >&2; exit 1; }

export KEL_PORT=$port KEL_PASSWORD=pelum XDG_RUNTIME_DIR=$work
coproc EV { exec "$kelctl" --no-session events --notify-port "$notify_port"; }
ev_pid=$EV_PID
# The follower prints nothing until a notice arrives; one change proves it is registered.
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
