#!/usr/bin/env bash
# Line and branch coverage of the project's own code (tests, fuzz targets and benchmarks left
# out) by the whole test suite: builds a --coverage Debug build in DIR (default build-cov),
# runs every test, prints gcovr's summary and writes DIR/coverage.json for comparisons.
#   scripts/coverage.sh [DIR] [ctest arguments...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-cov}
[ $# -gt 0 ] && shift
case "$dir" in /*) ;; *) dir="$top/$dir" ;; esac

"$top/scripts/install-deps.sh"
command -v gcovr >/dev/null || {
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends gcovr
}

cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
  -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$dir" -j "$(nproc)"
find "$dir" -name '*.gcda' -delete
(cd "$dir" && ctest -j "$(nproc)" "$@" >"$dir/coverage-ctest.log" 2>&1) ||
  echo "some tests failed; see $dir/coverage-ctest.log"
cd "$top"
gcovr --root "$top" --object-directory "$dir" \
  --exclude '(.+/)?tests/' --exclude '(.+/)?fuzz/' --exclude '(.+/)?bench/' --exclude '.*_test\.cc$' \
  --exclude-unreachable-branches --exclude-throw-branches --gcov-ignore-parse-errors \
  --json "$dir/coverage.json" --print-summary 2>&1 | grep -E '^(lines|functions|branches):'
