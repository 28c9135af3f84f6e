#!/usr/bin/env bash
# Runs the whole test suite twice: a normal build and an AddressSanitizer +
# UndefinedBehaviorSanitizer build, each in its own build folder; then each fuzz target for
# a few seconds (KEL_FUZZ_SECONDS, default 5). Exits non-zero on any failure.
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

echo "== fuzz targets, briefly (clang, libFuzzer)"
scripts/fuzz.sh "${KEL_FUZZ_SECONDS:-5}" || status=1

if [ $status -ne 0 ]; then
  echo "Some tests failed."
fi
exit $status
