#!/usr/bin/env bash
# Installs what is missing, builds, and starts kelsrv in the foreground in ./run, with a
# configuration that keeps every file of the service inside that folder, on a simulated
# controller with four disks (./run/sim, created on the first run). Ctrl-C stops it.
#
# Next to it PHP's built-in server serves the example web console (console/) with the volmod
# extension on KEL_CONSOLE_PORT (18080); it stops when the service stops.
#
# Ports (override with the environment): KEL_PORT (client, 18018), KEL_ACK_PORT
# (notifications, 18001), KEL_BROADCAST_PORT (discovery, 17001), KEL_CONSOLE_PORT (18080).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh
cmake -S "$top" -B "$top/build" >/dev/null
targets=(kelsrv kelsim kelctl)
if command -v php-config8.2 >/dev/null || command -v php-config >/dev/null; then targets+=(volmod); fi
cmake --build "$top/build" -j "$(nproc)" --target "${targets[@]}"

run="$top/run"
mkdir -p "$run"
config="$run/kel.config"
if [ ! -f "$config" ]; then
  cat > "$config" <<CFG
KEL_CFG_EVENTLOG_FILE = $run/kel_event.log
KEL_CFG_ACCOUNT_FILE = $run/kel_account
KEL_CFG_INIT_LOG_FILE = $run/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = ${KEL_PORT:-18018}
KEL_CFG_ACK_LISTEN_PORT = ${KEL_ACK_PORT:-18001}
KEL_CFG_BROADCAST_LISTEN_PORT = ${KEL_BROADCAST_PORT:-17001}
CFG
fi

sim="$run/sim"
if [ ! -f "$sim/state" ] && [ ! -d "$sim/dev" ]; then
  kelsim="$top/build/sim/kelsim"
  "$kelsim" --dir "$sim" init --channels 2
  for spec in "0 master" "0 slave" "1 master" "1 slave"; do
    set -- $spec
    "$kelsim" --dir "$sim" add-disk --channel "$1" --position "$2" --size 8G >/dev/null
  done
  echo "Simulated controller with four disks created in $sim (see: $kelsim --dir $sim list)"
fi

setting() { sed -n "s/^$1 *= *//p" "$config"; }
port=$(setting KEL_CFG_CLIENT_LISTEN_PORT)
echo "kelsrv: configuration $config, client port $port"
echo "In another terminal:  export KEL_PORT=$port; build/tools/kelctl --user admin login"
echo "(the built-in accounts are admin/pelum and guest/rovak)"

# The console: PHP's server with a few workers, since the overview keeps one request
# waiting for notices. Sessions stay in ./run.
volmod="$top/build/webext/volmod/volmod.so"
console_pid=
if [ -f "$volmod" ]; then
  mkdir -p "$run/php-sessions"
  console_port=${KEL_CONSOLE_PORT:-18080}
  KEL_CONSOLE_SERVICE_HOST=127.0.0.1 KEL_CONSOLE_SERVICE_PORT=$port \
  KEL_CONSOLE_NOTIFY_PORT=$(setting KEL_CFG_ACK_LISTEN_PORT) PHP_CLI_SERVER_WORKERS=4 \
    setsid php -n -d "extension=$volmod" -d "session.save_path=$run/php-sessions" \
      -S "127.0.0.1:$console_port" -t "$top/console" >"$run/console.log" 2>&1 &
  console_pid=$!
  # Its workers outlive a killed parent: stop the whole process group.
  trap 'kill -TERM -- "-$console_pid" 2>/dev/null || true' EXIT
  echo "Web console: http://127.0.0.1:$console_port/login.php (its log: $run/console.log)"
else
  echo "No $volmod (php8.2-dev missing?): the web console is not served."
fi
echo "Stop with Ctrl-C (or: kill -s RTMIN+1 <pid of the first kelsrv process>)."
cd "$run"
"$top/build/service/kelsrv" "$config" --sim "$sim"
