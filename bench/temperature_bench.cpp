// Raw frame -> float temperatures, next to a plain copy of the same output
// bytes. The conversion is one lookup per pixel; the goal is within twice the
// copy's time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "core/camera_object.h"
#include "tests/support/test_profile.h"

namespace quvex {
namespace {

std::vector<uint8_t> ShippedTable(const char* name) {
  std::ifstream in(std::string(QUVEX_SOURCE_DIR) + "/data/tables/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Fixture {
  Fixture(int32_t width, int32_t height)
      : table(ShippedTable("sparse_114.tbl")),
        entry{u"TBL", 114, table.data(), static_cast<uint32_t>(table.size())},
        module{&entry, 1},
        profile(test::TestProfile(InterpolationVariant::Double, &module)),
        camera(profile, nullptr),
        output(static_cast<size_t>(width) * static_cast<size_t>(height)) {
    camera.TableA().Load(114, &module, u"TBL", 0);
    camera.TableA().UpdateLut();
    raw.CreateMemory(width, height, 16);
    // Raw values spread over the table's range in a fixed pattern.
    uint32_t state = 12345;
    for (int32_t y = 0; y < height; ++y) {
      auto* row = raw.Bits() + static_cast<size_t>(y) * static_cast<size_t>(raw.Stride());
      for (int32_t x = 0; x < width; ++x) {
        state = state * 1664525u + 1013904223u;
        const uint16_t value = static_cast<uint16_t>(5000 + (state >> 16) % 3500);
        std::memcpy(row + 2 * x, &value, 2);
      }
    }
  }

  std::vector<uint8_t> table;
  platform::ResourceEntry entry;
  platform::Module module;
  BuildProfile profile;
  CQuvex camera;
  CDibImage raw;
  std::vector<float> output;
};

void BM_ToTemperatureFloat(benchmark::State& state) {
  Fixture fixture(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  for (auto _ : state) {
    fixture.camera.ToTemperatureFloat(&fixture.raw, fixture.output.data(), 0);
    benchmark::DoNotOptimize(fixture.output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fixture.output.size() * 4));
}

void BM_MemcpyOutputBytes(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0) * state.range(1)) * sizeof(float);
  std::vector<uint8_t> source(bytes, 1), target(bytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

BENCHMARK(BM_ToTemperatureFloat)->Args({640, 480})->Args({320, 240});
BENCHMARK(BM_MemcpyOutputBytes)->Args({640, 480})->Args({320, 240});

}  // namespace
}  // namespace quvex
