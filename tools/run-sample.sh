#!/usr/bin/env bash
# Installs what is needed, builds, and runs the sample host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUVEX_BUILD_TESTS=OFF -DQUVEX_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target quvex_sample
./build/release/tools/quvex_sample "$@"
