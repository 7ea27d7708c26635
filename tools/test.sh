#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, and runs every test:
# as released (RelWithDebInfo, with the benchmarks; and Release, -O3), under
# AddressSanitizer and UndefinedBehaviorSanitizer, and under ThreadSanitizer.
# Every configure switches the tests on, whatever an earlier one chose, and a
# run that finds no tests fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=${JOBS:-$(nproc)}

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DQUVEX_BUILD_TESTS=ON -DQUVEX_BUILD_BENCH=OFF \
    -DQUVEX_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j"$jobs")
}

run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUVEX_BUILD_BENCH=ON
run_suite build/release-o3 -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DQUVEX_SANITIZE=address,undefined
TSAN_OPTIONS=halt_on_error=1 run_suite build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUVEX_SANITIZE=thread
