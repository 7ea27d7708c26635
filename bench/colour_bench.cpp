// The USB device layer's colour conversions on the largest frames they meet:
// Bayer demosaicing of a 2560 x 1920 region of 16-bit samples (interpolated
// and 2 x 2 cells) and YUV 4:2:2 of a 720 x 560 two-field frame, each next to
// a memcpy of its output bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "devices/usb/models/usb_colour.h"
#include "devices/usb/usb_codes.h"

namespace quvex {
namespace {

constexpr int32_t kSensorWidth = 2560;
constexpr int32_t kSensorHeight = 1920;
constexpr int32_t kFieldWidth = 720;
constexpr int32_t kFieldHeight = 280;

std::vector<uint16_t> Samples(size_t count) {
  std::vector<uint16_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint16_t>((i * 37) % 1024);
  return samples;
}

void BM_DemosaicBayer16(benchmark::State& state) {
  const auto frame = Samples(static_cast<size_t>(kSensorWidth) * kSensorHeight);
  std::vector<uint8_t> rgb(static_cast<size_t>(kSensorWidth) * kSensorHeight * 3);
  BayerConvertParams p;
  p.width = p.pitch = kSensorWidth;
  p.height = p.lines = kSensorHeight;
  p.source = frame.data();
  p.target = rgb.data();
  p.interpolationMode = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(DemosaicBayer16(p));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
}
BENCHMARK(BM_DemosaicBayer16)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ConvertFieldsYuv(benchmark::State& state) {
  UsbFrameLayout l;
  l.pitch = 864;
  l.xOffset = 81;
  l.width = kFieldWidth;
  l.fieldLines = 313;
  l.fieldYOffset = 16;
  l.fieldHeight = kFieldHeight;
  l.lines = 313 + 16 + kFieldHeight;
  l.height = 2 * kFieldHeight;
  l.sampleBytes = 2;
  l.sourceFamily = QUVEX_USB_SOURCE_FIELDS;
  l.twoField = 1;
  const auto frame = Samples(static_cast<size_t>(l.pitch) * static_cast<size_t>(l.lines));
  std::vector<uint8_t> rgb(static_cast<size_t>(kFieldWidth) * 2 * kFieldHeight * 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ConvertFieldsToRgb(l, WholeRegion(l), rgb.data(), rgb.size(),
                                                frame.data(), frame.size() * 2, 1));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size()));
}
BENCHMARK(BM_ConvertFieldsYuv)->Unit(benchmark::kMillisecond);

// The output bytes of each case, copied.
void BM_ColourOutputMemcpy(benchmark::State& state) {
  const auto bytes = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> from(bytes, 1);
  std::vector<uint8_t> to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ColourOutputMemcpy)
    ->Arg(kSensorWidth * kSensorHeight * 3)
    ->Arg(kFieldWidth * 2 * kFieldHeight * 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quvex
