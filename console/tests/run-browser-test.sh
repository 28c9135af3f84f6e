#!/usr/bin/env bash
# run-browser-test.sh KELSRV KELSIM VOLMOD_SO
# Starts kelsrv on a simulated controller and the console under PHP's built-in server, both
# on free loopback ports in a temporary folder, and drives the console in a headless
# Chromium (scenario.mjs). Builds nothing. Exit 77 (skipped) only when Chromium is missing.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 KELSRV KELSIM VOLMOD_SO" >&2; exit 2; }
kelsrv=$(realpath "$1"); kelsim=$(realpath "$2"); volmod=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
  echo "SKIPPED: no Chromium at $chromium (install Debian's chromium package)"
  exit 77
fi
started=$(date +%s.%N)

work=$(mktemp -d "${TMPDIR:-/tmp}/kel-console-test.XXXXXX")
srv_pid=; php_pid=
cleanup() {
  # Only what this script started: the process groups of the service and of PHP's server
  # (its workers outlive a killed parent).
  [ -n "$php_pid" ] && kill -TERM -- "-$php_pid" 2>/dev/null && { wait "$php_pid" 2>/dev/null || true; }
  [ -n "$srv_pid" ] && kill -TERM -- "-$srv_pid" 2>/dev/null && { wait "$srv_pid" 2>/dev/null || true; }
  if [ -n "${KEL_TEST_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; for f in kelsrv.out console.log; do echo "--- $f"; tail -20 "$work/$f"; done; exit 1; }

free_port() {
  php -n -r '$s = stream_socket_server("tcp://127.0.0.1:0"); echo explode(":", stream_socket_get_name($s, false))[1];'
}
# Polls a condition every 50 ms for up to $1 seconds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.05; done
}

# A controller with four disks; 1 GiB each makes a mirror's synchronisation take long
# enough (a few seconds) for its progress to be seen between polls.
sim="$work/sim"
"$kelsim" --dir "$sim" init --channels 2 >/dev/null
for spec in "0 master" "0 slave" "1 master" "1 slave"; do
  set -- $spec
  "$kelsim" --dir "$sim" add-disk --channel "$1" --position "$2" --size "${KEL_TEST_DISK_SIZE:-1G}" >/dev/null
done

port=$(free_port); ack=$(free_port); bcast=$(free_port); web=$(free_port)
cat > "$work/kel.config" <<CFG
KEL_CFG_EVENTLOG_FILE = $work/kel_event.log
KEL_CFG_ACCOUNT_FILE = $work/kel_account
KEL_CFG_INIT_LOG_FILE = $work/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = $port
KEL_CFG_ACK_LISTEN_PORT = $ack
KEL_CFG_BROADCAST_LISTEN_PORT = $bcast
CFG
(cd "$work" && exec setsid "$kelsrv" "$work/kel.config" --sim "$sim" >"$work/kelsrv.out" 2>&1) &
srv_pid=$!
wait_for 60 grep -qx success "$work/kel_init.log" 2>/dev/null || fail "kelsrv did not start"

mkdir -p "$work/sessions"
KEL_CONSOLE_SERVICE_HOST=127.0.0.1 KEL_CONSOLE_SERVICE_PORT=$port KEL_CONSOLE_NOTIFY_PORT=$ack \
PHP_CLI_SERVER_WORKERS=4 LD_BIND_NOW=1 \
  setsid php -n -d "extension=$volmod" -d "session.save_path=$work/sessions" -d log_errors=1 \
    -S "127.0.0.1:$web" -t "$here/.." >"$work/console.log" 2>&1 &
php_pid=$!
wait_for 20 bash -c "exec 3<>/dev/tcp/127.0.0.1/$web" 2>/dev/null || fail "the console did not start"

# The pinned browser driver; nothing to fetch when it is installed already.
if [ "$(node -p 'try{require("'"$here"'/node_modules/playwright-core/package.json").version}catch(e){""}')" \
     != "$(node -p 'require("'"$here"'/package-lock.json").packages["node_modules/playwright-core"].version')" ]; then
  (cd "$here" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error) || fail "npm ci"
fi

CONSOLE_URL="http://127.0.0.1:$web" KELSIM="$kelsim" SIM_DIR="$sim" CHROMIUM="$chromium" \
  node "$here/scenario.mjs" || fail "scenario"
grep -q "PHP \(Warning\|Fatal\|Parse\)" "$work/console.log" && fail "PHP reported problems"
awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "console browser test passed in %.1f s\n", b - a }'
