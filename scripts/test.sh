#!/usr/bin/env bash
# Runs the whole test suite twice: a normal build and an AddressSanitizer +
# UndefinedBehaviorSanitizer build, each in its own build folder; then the concurrency tests
# under ThreadSanitizer (build-tsan, those programs only); then the clang build, which
# checks the lock annotations of every library, and each fuzz target for a few seconds
# (KEL_FUZZ_SECONDS, default 5). Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh

jobs=$(nproc)
status=0

echo "== normal build"
scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs") || status=1

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
scripts/build.sh build-asan -DKEL_SANITIZE=ON -DKEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$jobs") || status=1

echo "== ThreadSanitizer build, concurrency tests only"
# Pipeline, registry, timers, event log, login, model lock, the locks themselves and the
# watchdog with its signal workers, the background-task manager and its command.
tsan_tests=(kel_mutex_test kel_timer_test cmd_pipeline_test client_hash_test event_log_test
            login_test dm_concurrency_test watchdog_test sig_workers_test task_manager_test
            task_service_test)
if cmake -S . -B build-tsan -DKEL_TSAN=ON -DKEL_BUILD_BENCH=OFF \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
   cmake --build build-tsan --target "${tsan_tests[@]}" -j "$jobs"; then
  (cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
     ctest -L "^($(IFS='|'; echo "${tsan_tests[*]}"))\$" --output-on-failure -j "$jobs") || status=1
else
  status=1
fi

echo "== clang build with the lock analysis, then the fuzz targets briefly (libFuzzer)"
scripts/fuzz.sh "${KEL_FUZZ_SECONDS:-5}" || status=1

if [ $status -ne 0 ]; then
  echo "Some tests failed."
fi
exit $status
