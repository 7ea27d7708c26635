// The simulated camera copies its frames from sample runs rendered once: the
// bytes must be exactly the picture that the pattern defines sample by sample.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/frame_pattern.h"

namespace {

using quvex::sim::SensorWindow;

// The read-out computed one sample at a time from the pattern's definition.
std::vector<uint8_t> Reference(size_t bytes, bool sixteenBit, const SensorWindow& w,
                               uint32_t counter) {
  std::vector<uint8_t> frame(bytes, 0);
  const size_t sampleBytes = sixteenBit ? 2 : 1;
  const auto pitch = static_cast<int64_t>(std::max(w.pitch, 1));
  for (size_t s = 0; s < bytes / sampleBytes; ++s) {
    const int64_t row = static_cast<int64_t>(s) / pitch - w.yOffset;
    const int64_t column = static_cast<int64_t>(s) % pitch - w.xOffset;
    uint16_t value = quvex::sim::kBlankLineMarker;
    if (row >= 0 && row < w.height) {
      value = column >= 0 && column < w.width
                  ? quvex::sim::ActiveSample(counter, static_cast<int>(row), static_cast<int>(column))
                  : quvex::sim::kBlankColumnMarker;
    }
    frame[s * sampleBytes] = static_cast<uint8_t>(value & 0xFF);
    if (sixteenBit) frame[s * sampleBytes + 1] = static_cast<uint8_t>(value >> 8);
  }
  return frame;
}

TEST(SimFramePattern, RenderedFramesMatchThePatternSampleBySample) {
  struct Case {
    const char* name;
    SensorWindow window;
    uint32_t counter;
    bool sixteenBit;
    size_t bytes;  // 0: the whole read-out
  };
  const SensorWindow standard;
  const Case cases[] = {
      {"standard window, first frame", standard, 1, true, 0},
      {"counter beyond the pattern's periods", standard, (1u << 20) + 12345, true, 0},
      {"eight-bit samples", standard, 77, false, 0},
      {"cut mid-line", standard, 3, true, 780 * 2 * 200 + 2 * 301},
      {"odd length", standard, 4, true, 780 * 2 * 7 + 1},
      {"window left of the line", {100, -5, 60, -2, 10}, 9, true, 0},
      {"window wider than the line", {50, 10, 200, 1, 5}, 2600 * 3 + 1, true, 0},
      {"window past the line's end", {40, 45, 10, 0, 3}, 5, false, 0},
      {"lines longer than the pattern's period", {3000, 1, 2990, 0, 2}, 8, true, 0},
  };
  for (const Case& c : cases) {
    const SensorWindow& w = c.window;
    const size_t whole = static_cast<size_t>(w.pitch) * static_cast<size_t>(w.yOffset + w.height + 2) *
                         (c.sixteenBit ? 2 : 1);
    const size_t bytes = c.bytes != 0 ? c.bytes : whole;
    std::vector<uint8_t> frame(bytes + 4, 0xA5);
    quvex::sim::FillFrame(frame.data(), bytes, c.sixteenBit, w, c.counter);
    const std::vector<uint8_t> expected = Reference(bytes, c.sixteenBit, w, c.counter);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.begin())) << c.name;
    EXPECT_EQ(frame[bytes], 0xA5) << c.name << ": written beyond the length";
  }
}

}  // namespace
