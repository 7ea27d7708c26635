// False-colour mapping of one frame next to a plain copy of the colour
// image's bytes, at both frame sizes of the builds.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/camera_object.h"
#include "tests/support/test_profile.h"

namespace quvex {
namespace {

const BuildProfile kProfile = test::TestProfile();

// A thermal-looking scene: a warm gradient with noise around 1500 to 2500.
CDibImage Scene(int width, int height, int offset) {
  CDibImage raw;
  raw.CreateMemory(width, height, 16);
  uint32_t noise = 12345;
  for (int i = 0; i < height; ++i) {
    for (int j = 0; j < width; ++j) {
      noise = noise * 1103515245u + 12345u;
      const auto v = static_cast<uint16_t>(1500 + offset + (i + j) * 800 / (width + height) +
                                           static_cast<int>((noise >> 16) % 200));
      std::memcpy(raw.Bits() + i * raw.Stride() + 2 * j, &v, 2);
    }
  }
  return raw;
}

// count 0: fixed bounds; -1: auto-range after every frame. With alternate
// set, two scenes whose windows differ take turns, so the bounds move every
// frame.
void MapFrames(benchmark::State& state, int count, bool alternate) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  CQuvex camera(kProfile, nullptr);
  camera.SetParam(QUVEX_PARAM_AUTO_RANGE, count);
  camera.SetParam(QUVEX_PARAM_RANGE_LOW, 1000);
  camera.SetParam(QUVEX_PARAM_RANGE_HIGH, 3000);
  const CDibImage scenes[] = {Scene(width, height, 0), Scene(width, height, alternate ? 300 : 0)};
  CDibImage colour;
  colour.CreateMemory(width, height, 24);
  size_t frame = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(camera.MapRawToColor(scenes[frame++ % 2], colour));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(colour.ByteSize()));
}

void BM_MapFixedBounds(benchmark::State& state) { MapFrames(state, 0, false); }
void BM_MapAutoRange(benchmark::State& state) { MapFrames(state, -1, false); }
void BM_MapAutoRangeMovingBounds(benchmark::State& state) { MapFrames(state, -1, true); }

void BM_CopyColourBytes(benchmark::State& state) {
  const auto bytes =
      static_cast<size_t>(CDibImage::StrideFor(static_cast<int32_t>(state.range(0)), 24)) *
      static_cast<size_t>(state.range(1));
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// The least a capture turn does with a frame: copy its raw bytes into a slot
// and map them to colour. The reference for the SDK's CPU per frame in the
// capture benchmarks (sdk_cpu_us/frame).
void BM_CopyRawAndMap(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  CQuvex camera(kProfile, nullptr);
  const CDibImage scene = Scene(width, height, 0);
  CDibImage raw, colour;
  raw.CreateMemory(width, height, 16);
  colour.CreateMemory(width, height, 24);
  for (auto _ : state) {
    std::memcpy(raw.Bits(), scene.Bits(), raw.ByteSize());
    benchmark::DoNotOptimize(camera.MapRawToColor(raw, colour));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(raw.ByteSize()));
}

BENCHMARK(BM_CopyRawAndMap)->Args({640, 480})->Args({320, 240})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyColourBytes)->Args({640, 480})->Args({320, 240});
BENCHMARK(BM_MapFixedBounds)->Args({640, 480})->Args({320, 240});
BENCHMARK(BM_MapAutoRange)->Args({640, 480})->Args({320, 240});
BENCHMARK(BM_MapAutoRangeMovingBounds)->Args({640, 480})->Args({320, 240});

}  // namespace
}  // namespace quvex
