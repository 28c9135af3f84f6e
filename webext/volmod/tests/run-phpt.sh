#!/usr/bin/env bash
# run-phpt.sh VOLMOD_SO KELSRV KELSIM [run-tests.php options...]
#
# Runs the .phpt suite next to this script with PHP's own run-tests.php against a real
# kelsrv on a simulated controller with four disks, started here on free loopback ports
# in a temporary folder and stopped again at the end. Prints "N passed, N failed, N skipped"
# last; exits non-zero on any failure, when nothing passed, or when volmod.so does not load
# (run-tests.php alone would skip every test and exit 0 then).
set -u
if [ $# -lt 3 ]; then
  echo "usage: $0 VOLMOD_SO KELSRV KELSIM [run-tests options...]" >&2
  exit 2
fi
so=$(realpath "$1") kelsrv=$(realpath "$2") kelsim=$(realpath "$3")
shift 3
extra=("$@")
here=$(cd "$(dirname "$0")" && pwd)
# The whole folder unless some tests were named.
targets=("$here")
for a in "${extra[@]}"; do case "$a" in *.phpt) targets=() ;; esac; done
php=$(php-config --php-binary)
rt="$(php-config --prefix)/lib/php/$(php-config --phpapi)/build/run-tests.php"

fail() { echo "$1"; echo "0 passed, 1 failed, 0 skipped"; exit 1; }

# Every symbol bound at load: an undefined one fails here, not in the middle of a test.
LD_BIND_NOW=1 "$php" -n -d "extension=$so" -r 'exit(extension_loaded("volmod") ? 0 : 1);' ||
  fail "volmod.so does not load"

work=$(mktemp -d "${TMPDIR:-/tmp}/volmod-phpt.XXXXXX")
srv=""
stop_service() {
  if [ -n "$srv" ]; then
    # The supervising process stops the whole service on this signal; whatever is left
    # of the group started here is then killed.
    kill -s RTMIN+1 "$srv" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$srv" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$srv" 2>/dev/null
    wait "$srv" 2>/dev/null
  fi
  [ -n "${VOLMOD_KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap stop_service EXIT

free_port() {
  "$php" -n -r '$s = stream_socket_server("tcp://127.0.0.1:0");
                echo substr(strrchr(stream_socket_get_name($s, false), ":"), 1);'
}
port=$(free_port) ack=$(free_port) bcast=$(free_port)

sim="$work/sim"
"$kelsim" --dir "$sim" init --channels 2 >/dev/null || fail "kelsim init failed"
# Three disks on the channels and a fourth behind a device hub.
for place in "0 master" "0 slave" "1 master" "1 slave hub"; do
  set -- $place
  if [ $# -eq 3 ]; then
    "$kelsim" --dir "$sim" add-hub --channel "$1" --position "$2" >/dev/null || fail "kelsim add-hub failed"
    hub=(--hub-port 0)
  else
    hub=()
  fi
  "$kelsim" --dir "$sim" add-disk --channel "$1" --position "$2" "${hub[@]}" --size 256M >/dev/null ||
    fail "kelsim add-disk failed"
done
set --
# Short check intervals, so that hot-plug and disk-status notices come within seconds.
cat >"$work/kel.config" <<CFG
KEL_CFG_EVENTLOG_FILE = $work/kel_event.log
KEL_CFG_ACCOUNT_FILE = $work/kel_account
KEL_CFG_INIT_LOG_FILE = $work/kel_init.log
KEL_CFG_CLIENT_LISTEN_PORT = $port
KEL_CFG_ACK_LISTEN_PORT = $ack
KEL_CFG_BROADCAST_LISTEN_PORT = $bcast
KEL_CFG_HOTPLUG_INTERVAL = 500
KEL_CFG_CHECKDISK_INTERVAL = 2000
KEL_CFG_AUTO_SMR = false
CFG

# In a process group of its own, so that the trap can end everything it started.
(cd "$work" && exec setsid "$kelsrv" "$work/kel.config" --sim "$sim" >"$work/kelsrv.out" 2>&1) &
srv=$!
# Ready when both its ports listen in this service's process group: another service on the
# machine may have taken a port between the choice and the start.
ours() {
  local p
  for p in $(ss -ltnpH "sport = :$1" 2>/dev/null | grep -o 'pid=[0-9]*' | cut -d= -f2); do
    [ "$(ps -o pgid= -p "$p" | tr -d ' ')" = "$srv" ] && return 0
  done
  return 1
}
up=""
for _ in $(seq 150); do
  if ours "$port" && ours "$ack"; then up=1; break; fi
  kill -0 "$srv" 2>/dev/null || break
  sleep 0.1
done
[ -n "$up" ] || { tail -20 "$work/kelsrv.out"; fail "kelsrv did not start"; }

export VOLMOD_TEST_HOST=127.0.0.1 VOLMOD_TEST_PORT=$port VOLMOD_TEST_ACK_PORT=$ack
export VOLMOD_TEST_BCAST_PORT=$bcast VOLMOD_KELSIM=$kelsim VOLMOD_SIM_DIR=$sim VOLMOD_SO=$so
export VOLMOD_EVENT_LOG=$work/kel_event.log
# Discovery cannot broadcast from a loopback-only host: the datagram goes to 127.0.0.1.
export KEL_BROADCAST_ADDR=127.0.0.1

# Serially: the tests share one service and change its arrays one after another.
LD_BIND_NOW=1 "$php" -n "$rt" -q -n --no-color --no-progress --show-diff \
  -d "extension=$so" -d volmod.diagnostics=0 -W "$work/results" "${extra[@]}" "${targets[@]}"
rc=$?
count() { grep -c -E "^($1)	" "$work/results" 2>/dev/null; }  # the gap is a TAB
passed=$(count 'PASSED|XFAILED')
failed=$(count 'FAILED|BORKED|LEAKED|WARNED')
skipped=$(count 'SKIPPED')
echo "${passed:-0} passed, ${failed:-0} failed, ${skipped:-0} skipped"
[ "$rc" -eq 0 ] && [ "${failed:-0}" -eq 0 ] && [ "${passed:-0}" -gt 0 ]
