#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for SECONDS (default
# 10) on a copy of its seed corpus in a temporary folder; the repository is never written.
# The same clang build compiles every library and program of the project with the lock
# analysis (-Wthread-safety -Werror=thread-safety, see cmake/KelOptions.cmake), so a
# locking mistake anywhere fails this script before any fuzzing.
# Prints one summary line per target and exits non-zero when any target found a crash,
# keeping that folder (reproducers and logs) and naming it.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
targets=(packet_receiver_fuzz login_fuzz connection_fuzz conf_area_fuzz)
# Room for the largest packet and some garbage (each garbage byte costs a read); a login
# request holds at most 2064 bytes; a connection input describes its packets in a few bytes;
# two configuration areas take 6144.
declare -A max_len=([packet_receiver_fuzz]=2600 [login_fuzz]=2100 [connection_fuzz]=512
                    [conf_area_fuzz]=6144)
build="$top/build-fuzz"

"$top/scripts/install-deps.sh"
# clang and its libFuzzer runtime are needed here only, so the common dependency script
# leaves them out.
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKEL_BUILD_BENCH=OFF >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
rm -f "$build/configure.log"
# Everything the lock analysis must see: the libraries and the three programs.
checked=(kelshared keldriver kelsim_lib kelengine kelsrv_core kelclient kelctl_core
         volmod_core kelsrv kelsim kelctl)
cmake --build "$build" --target "${checked[@]}" "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d /tmp/kel-fuzz-XXXXXX)
trap 'rm -rf "$work"; exit 130' INT TERM
status=0
for t in "${targets[@]}"; do
  cp -r "$top/fuzz/corpus/$t" "$work/$t.corpus"
  mkdir -p "$work/$t.artifacts" "$work/$t.tmp"
  rc=0
  TMPDIR="$work/$t.tmp" \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
      -max_len="${max_len[$t]}" -print_final_stats=1 \
      -artifact_prefix="$work/$t.artifacts/" "$work/$t.corpus" >"$work/$t.log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$t.log" | tail -n 1 || true)
  [ -n "$done_line" ] || done_line=$(grep -E '^#[0-9]+[[:space:]]' "$work/$t.log" | tail -n 1 || true)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$done_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
  corp=$(sed -n 's/.* corp: \([^ ]*\).*/\1/p' <<<"$done_line")
  if [ $rc -eq 0 ]; then verdict=ok; else verdict="CRASH (exit $rc)"; status=1; fi
  echo "$t: ${execs:-?} executions in ${seconds}s, coverage ${cov:-?} edges, ${ft:-?} features, corpus ${corp:-?}: $verdict"
  if [ $rc -ne 0 ]; then
    grep -E 'ERROR: |SUMMARY: |_fuzz: |Test unit written' "$work/$t.log" | head -n 20 || true
  fi
done

if [ $status -ne 0 ]; then
  echo "Findings, logs and reproducers kept in $work"
else
  rm -rf "$work"
fi
exit $status
