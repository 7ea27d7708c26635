#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang 14, under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for SECONDS seconds (default 30)
# from its corpus. New inputs are thrown away; a crash leaves its input in
# build/fuzz/<name>-crash-*. Without clang this says so and succeeds: every
# test run replays the corpora anyway.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
if ! command -v clang++-14 >/dev/null; then
  echo "clang++-14 not found: fuzzing skipped"
  exit 0
fi
dir=build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUVEX_BUILD_TESTS=OFF -DQUVEX_BUILD_BENCH=OFF \
  -DQUVEX_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$dir" -j"${JOBS:-$(nproc)}" --target quvex_fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in "$dir"/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  mkdir -p "$work/$name"
  echo "== $name: $seconds s"
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/$name-" "$work/$name" "fuzz/corpus/$name"
done
