// The simulated camera's picture and its decoder.
#include "sim/frame_pattern.h"

#include <algorithm>
#include <cstring>

#include "sim/sample_cycle.h"

namespace quvex::sim {

uint16_t ActiveSample(uint32_t counter, int row, int column) {
  const uint32_t c = counter % kCounterModulo;
  switch (column) {
    case 0:
      return static_cast<uint16_t>(kActiveBase + (c & 0x3FF));
    case 1:
      return static_cast<uint16_t>(kActiveBase + (c >> 10));
    case 2:
      return static_cast<uint16_t>(kActiveBase + row % kActiveSpan);
    default:
      return static_cast<uint16_t>(
          kActiveBase + (static_cast<uint32_t>(row) * 7 + static_cast<uint32_t>(column) * 3 + c * 13) %
                            kActiveSpan);
  }
}

namespace {

constexpr uint32_t kPatternStepInverse = 867;  // 3 * 867 = 1 modulo kActiveSpan

// Every sample of a window row from column 3 on is kActiveBase + (3 * column +
// offset) % kActiveSpan: a run of this cycle, begun where 3 * position equals
// offset modulo the span.
const SampleCycle& PatternCycle() {
  static const SampleCycle cycle(kActiveSpan, [](size_t i) {
    return kActiveBase + static_cast<uint16_t>(i * 3 % kActiveSpan);
  });
  return cycle;
}

const SampleCycle& MarkerCycle(uint16_t marker) {
  static const SampleCycle line(kActiveSpan, [](size_t) { return kBlankLineMarker; });
  static const SampleCycle column(kActiveSpan, [](size_t) { return kBlankColumnMarker; });
  return marker == kBlankLineMarker ? line : column;
}

void PutSample(uint8_t* at, uint16_t value, bool sixteenBit) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  if (sixteenBit) at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

void FillFrame(uint8_t* target, size_t bytes, bool sixteenBit, const SensorWindow& window,
               uint32_t counter) {
  const size_t sampleBytes = sixteenBit ? 2 : 1;
  const auto pitch = static_cast<int64_t>(std::max(window.pitch, 1));
  // The window's columns on a line, clipped to the line.
  const int64_t first = std::clamp<int64_t>(window.xOffset, 0, pitch);
  const int64_t end = std::clamp<int64_t>(int64_t{window.xOffset} + window.width, first, pitch);
  const int64_t firstColumn = first - window.xOffset;  // window column of the first one
  uint8_t* out = target;
  size_t left = bytes / sampleBytes;
  const auto take = [&](const SampleCycle& cycle, size_t start, int64_t count) {
    const size_t n = std::min(left, static_cast<size_t>(count));
    out = cycle.Write(out, start, n, sixteenBit);
    left -= n;
    return n;
  };
  const uint32_t c = counter % kCounterModulo;
  for (int64_t line = 0; left > 0; ++line) {
    const int64_t row = line - window.yOffset;
    if (row < 0 || row >= window.height) {
      take(MarkerCycle(kBlankLineMarker), 0, pitch);
      continue;
    }
    take(MarkerCycle(kBlankColumnMarker), 0, first);
    uint8_t* active = out;
    const uint32_t offset = (static_cast<uint32_t>(row) * 7 + c * 13) % kActiveSpan;
    const size_t start = (offset * kPatternStepInverse + static_cast<uint64_t>(firstColumn)) % kActiveSpan;
    const size_t written = take(PatternCycle(), start, end - first);
    // Columns 0 to 2 carry the counter and the row number instead.
    for (int64_t column = std::max<int64_t>(firstColumn, 0); column < 3; ++column) {
      const auto at = static_cast<size_t>(column - firstColumn);
      if (at >= written) break;
      PutSample(active + at * sampleBytes,
                ActiveSample(counter, static_cast<int>(row), static_cast<int>(column)), sixteenBit);
    }
    take(MarkerCycle(kBlankColumnMarker), 0, pitch - end);
  }
  if (sixteenBit && bytes % 2 != 0) target[bytes - 1] = 0;
}

DecodedFrame DecodeFrame(const uint16_t* image, int width, int height) {
  DecodedFrame decoded;
  if (image == nullptr || width < 3 || height <= 0) return decoded;
  decoded.ok = true;
  decoded.rows.assign(static_cast<size_t>(height), -1);
  for (int r = 0; r < height; ++r) {
    const uint16_t* row = image + static_cast<size_t>(r) * static_cast<size_t>(width);
    const bool carries = row[0] >= kActiveBase && row[0] < kActiveBase + 1024 &&
                         row[1] >= kActiveBase && row[1] < kActiveBase + 1024 &&
                         row[2] >= kActiveBase && row[2] < kActiveBase + kActiveSpan;
    if (!carries) {
      decoded.ok = false;
      continue;
    }
    decoded.rows[static_cast<size_t>(r)] = row[2] - kActiveBase;
    if (r == 0) {
      decoded.counter = static_cast<uint32_t>(row[0] - kActiveBase) |
                        (static_cast<uint32_t>(row[1] - kActiveBase) << 10);
    }
  }
  return decoded;
}

bool IsWholeFrame(const uint16_t* image, int width, int height, uint32_t* counter) {
  const DecodedFrame decoded = DecodeFrame(image, width, height);
  if (!decoded.ok) return false;
  for (int r = 0; r < height; ++r) {
    const uint16_t* row = image + static_cast<size_t>(r) * static_cast<size_t>(width);
    for (int c = 0; c < width; ++c) {
      if (row[c] != ActiveSample(decoded.counter, r, c)) return false;
    }
  }
  if (counter != nullptr) *counter = decoded.counter;
  return true;
}

}  // namespace quvex::sim
