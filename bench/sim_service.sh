# Shared by the end-to-end timing scripts: finds the built programs, makes a scratch folder
# that is removed on exit, and starts a real kelsrv on a simulated controller on free
# loopback ports. Source it, then call:
#   kel_bench_setup BUILD_DIR        sets kelsim, kelctl, kelsrv, work and the exit trap
#   sim ARGS...                      kelsim on $work/sim
#   kel_bench_start                  starts kelsrv on $work/sim; sets port and notify_port
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

kel_bench_setup() {
  local build
  build=$(cd "${1:-$top/build}" && pwd)
  kelsim=$build/sim/kelsim kelctl=$build/tools/kelctl kelsrv=$build/service/kelsrv
  for bin in "$kelsim" "$kelctl" "$kelsrv"; do
    [ -x "$bin" ] || { echo "missing $bin: build first (scripts/build.sh $build)" >&2; exit 2; }
  done
  work=$(mktemp -d "${TMPDIR:-/tmp}/kel-bench-XXXXXX")
  srv_pid=
  trap kel_bench_cleanup EXIT
}

# Ends only the processes this script started.
kel_bench_cleanup() {
  [ -n "${ev_pid:-}" ] && kill -TERM "$ev_pid" 2>/dev/null || true
  [ -n "$srv_pid" ] && kill -TERM "$srv_pid" 2>/dev/null && wait "$srv_pid" 2>/dev/null || true
  rm -rf "$work"
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
sim() { "$kelsim" --dir "$work/sim" "$@"; }

kel_bench_start() {
  port=$(free_port) notify_port=$(free_port)
  cat > "$work/kel.config" <<CFG
KEL_CFG_EVENTLOG_FILE = $work/kel_event.log
KEL_CFG_ACCOUNT_FILE = $work/kel_account
KEL_CFG_INIT_LOG_FILE = $work/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = $port
KEL_CFG_ACK_LISTEN_PORT = $notify_port
KEL_CFG_BROADCAST_LISTEN_PORT = $(free_port)
CFG
  (cd "$work" && exec "$kelsrv" "$work/kel.config" --sim "$work/sim" >"$work/kelsrv.out" 2>&1) &
  srv_pid=$!
  for _ in $(seq 300); do
    [ "$(cat "$work/kel_init.log" 2>/dev/null)" = "success" ] && return 0
    sleep 0.1
  done
  echo "kelsrv did not start:" >&2
  tail -5 "$work/kelsrv.out" >&2
  exit 1
}
