#!/usr/bin/env bash
# Installs what is missing, builds, and starts kelsrv in the foreground in ./run, with a
# configuration that keeps every file of the service inside that folder, on a simulated
# controller with four disks (./run/sim, created on the first run). Ctrl-C stops it.
#
# Ports (override with the environment): KEL_PORT (client, 18018), KEL_ACK_PORT
# (notifications, 18001), KEL_BROADCAST_PORT (discovery, 17001).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh
cmake -S "$top" -B "$top/build" >/dev/null
cmake --build "$top/build" -j "$(nproc)" --target kelsrv kelsim kelctl

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

port=$(sed -n 's/^KEL_CFG_CLIENT_LISTEN_PORT *= *//p' "$config")
echo "kelsrv: configuration $config, client port $port"
echo "In another terminal:  export KEL_PORT=$port; build/tools/kelctl --user admin login"
echo "(the built-in accounts are admin/pelum and guest/rovak)"
echo "Stop with Ctrl-C (or: kill -s RTMIN+1 <pid of the first kelsrv process>)."
cd "$run"
exec "$top/build/service/kelsrv" "$config" --sim "$sim"
