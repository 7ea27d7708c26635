#!/usr/bin/env bash
# Installs the SDK of a build folder (default build/release-o3, configured and
# built if missing) with its Simulator component into a temporary prefix, then
# builds two hosts against the installed package only, once through
# find_package and once through pkg-config, and runs them: the sample against
# the simulated USB camera, and a host that links libGaldris.so directly. A C
# host of the simulated camera is linked by gcc through pkg-config, and the
# sample must fail, naming no file, where it cannot write.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release-o3}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUVEX_BUILD_TESTS=OFF -DQUVEX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"${JOBS:-$(nproc)}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake --install "$build" --prefix "$prefix" --component Simulator >/dev/null

host=$work/host
mkdir -p "$host"
cp tools/installed-sample/* tools/quvex_sample.cpp "$host/"

echo "== find_package(Quvex)"
cmake -S "$host" -B "$host/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$host/build" >/dev/null
"$host/build/quvex_sample" --frames 30 --output "$work/out-cmake"
"$host/build/linked_host"
if "$host/build/quvex_sample" --frames 10 --output /proc/nope >"$work/failed-run.txt" 2>&1; then
  echo "the sample succeeded although it could write nothing" >&2
  exit 1
fi
if grep -q '^wrote' "$work/failed-run.txt"; then
  echo "the sample named a file it did not write" >&2
  exit 1
fi

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir quvex)
# shellcheck disable=SC2046 # the flags are separate words
g++ -std=c++20 -o "$host/quvex_sample_pc" "$host/quvex_sample.cpp" \
  -DQUVEX_LIBRARY_DIR="\"$libdir\"" $(pkg-config --cflags --libs quvex-simulator) \
  -Wl,-rpath,"$libdir" -ldl
"$host/quvex_sample_pc" --frames 30 --output "$work/out-pkg-config"
# shellcheck disable=SC2046
gcc -std=c11 -o "$host/linked_host_pc" "$host/linked_host.c" \
  $(pkg-config --cflags --libs quvex-galdris) -Wl,-rpath,"$libdir"
"$host/linked_host_pc"
# The simulated camera is a C++ object: a C host creates it in a C++ file of
# its own, and gcc links both with the flags pkg-config gives.
# shellcheck disable=SC2046
g++ -c -o "$host/sim_camera.o" "$host/sim_camera.cpp" $(pkg-config --cflags quvex-simulator)
# shellcheck disable=SC2046
gcc -std=c11 -o "$host/c_host_pc" "$host/c_host.c" "$host/sim_camera.o" \
  $(pkg-config --cflags --libs quvex-galdris quvex-simulator) -Wl,-rpath,"$libdir"
"$host/c_host_pc"
echo "installed package: the hosts built by find_package and by pkg-config ran"
