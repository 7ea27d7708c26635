// ConvertFlipSwap on 640 x 480 images at 16 bits (samples scaled) and 24 bits
// (red and blue exchanged), each next to a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imaging/pixel_routines.h"

namespace quvex {
namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

struct Frame {
  std::vector<uint8_t> bytes;
  ImageDesc desc;

  explicit Frame(uint32_t bitsPerPixel) {
    const int32_t stride = static_cast<int32_t>(bitsPerPixel / 8 * kWidth);
    bytes.resize(static_cast<size_t>(stride) * kHeight);
    desc = {sizeof(ImageDesc), kWidth, kHeight, stride, bitsPerPixel, bytes.data(), {0, 0, kWidth, kHeight}};
  }
};

// Source pixels: 10-bit samples with some above the range, or arbitrary bytes.
Frame MakeSource(uint32_t bitsPerPixel) {
  Frame frame(bitsPerPixel);
  for (size_t i = 0; i < frame.bytes.size(); ++i) {
    frame.bytes[i] = static_cast<uint8_t>(bitsPerPixel == 16 && i % 2 == 1 ? (i / 7) % 5 : i * 13);
  }
  return frame;
}

// The output the rules give, checked once before timing.
bool FollowsRules(const Frame& out, const Frame& in) {
  const size_t stride = static_cast<size_t>(in.desc.stride);
  for (int32_t r = 0; r < kHeight; ++r) {
    const uint8_t* s = in.bytes.data() + static_cast<size_t>(kHeight - 1 - r) * stride;
    const uint8_t* d = out.bytes.data() + static_cast<size_t>(r) * stride;
    for (int32_t c = 0; c < kWidth; ++c) {
      if (in.desc.bitsPerPixel == 16) {
        const unsigned v = s[2 * c] | s[2 * c + 1] << 8;
        const unsigned expected = v > 0x3FF ? 0xFFC0 : v << 6;
        if (static_cast<unsigned>(d[2 * c] | d[2 * c + 1] << 8) != expected) return false;
      } else if (d[3 * c] != s[3 * c + 2] || d[3 * c + 1] != s[3 * c + 1] || d[3 * c + 2] != s[3 * c]) {
        return false;
      }
    }
  }
  return true;
}

void FlipSwap(benchmark::State& state, uint32_t bitsPerPixel) {
  Frame source = MakeSource(bitsPerPixel);
  Frame destination(bitsPerPixel);
  const PixelRoutineOptions options{12, kOptionsDefaults, 0};
  if (ConvertFlipSwap(&destination.desc, &source.desc, &options, 0, 0) != kPixelOk ||
      !FollowsRules(destination, source)) {
    state.SkipWithError("output does not follow the rules");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ConvertFlipSwap(&destination.desc, &source.desc, &options, 0, 0));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.bytes.size()));
}

void Memcpy(benchmark::State& state, uint32_t bitsPerPixel) {
  Frame source = MakeSource(bitsPerPixel);
  Frame destination(bitsPerPixel);
  for (auto _ : state) {
    std::memcpy(destination.bytes.data(), source.bytes.data(), source.bytes.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.bytes.size()));
}

void BM_FlipSwap16_ScaleRows16Flip(benchmark::State& state) { FlipSwap(state, 16); }
void BM_FlipSwap16_Memcpy(benchmark::State& state) { Memcpy(state, 16); }
void BM_FlipSwap24_SwapRows24Flip(benchmark::State& state) { FlipSwap(state, 24); }
void BM_FlipSwap24_Memcpy(benchmark::State& state) { Memcpy(state, 24); }

BENCHMARK(BM_FlipSwap16_ScaleRows16Flip);
BENCHMARK(BM_FlipSwap16_Memcpy);
BENCHMARK(BM_FlipSwap24_SwapRows24Flip);
BENCHMARK(BM_FlipSwap24_Memcpy);

}  // namespace
}  // namespace quvex
