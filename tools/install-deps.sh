#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the sample need.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake g++ pkg-config \
  libgtest-dev libgmock-dev googletest libbenchmark-dev \
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev libpcap-dev libusb-1.0-0-dev iproute2 \
  python3 python3-pil python3-numpy \
  pngcheck libtiff-tools imagemagick ffmpeg >/dev/null
# libFuzzer's runtime for tools/fuzz.sh, which fuzzes only where clang is.
if command -v clang++-14 >/dev/null; then
  apt-get install -y -qq --no-install-recommends libclang-rt-14-dev >/dev/null
fi
