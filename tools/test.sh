#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer, and once under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DQUVEX_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUVEX_BUILD_BENCH=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DQUVEX_SANITIZE=address,undefined
TSAN_OPTIONS=halt_on_error=1 run_suite build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUVEX_SANITIZE=thread
