// The simulated camera's picture and its decoder.
#include "frame_pattern.h"

#include <algorithm>
#include <cstring>

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

uint16_t SampleAt(const SensorWindow& w, uint32_t counter, size_t line, size_t column) {
  const auto row = static_cast<int64_t>(line) - w.yOffset;
  if (row < 0 || row >= w.height) return kBlankLineMarker;
  const auto col = static_cast<int64_t>(column) - w.xOffset;
  if (col < 0 || col >= w.width) return kBlankColumnMarker;
  return ActiveSample(counter, static_cast<int>(row), static_cast<int>(col));
}

}  // namespace

void FillFrame(uint8_t* target, size_t bytes, bool sixteenBit, const SensorWindow& window,
               uint32_t counter) {
  const size_t sampleBytes = sixteenBit ? 2 : 1;
  const size_t samples = bytes / sampleBytes;
  const auto pitch = static_cast<size_t>(std::max(window.pitch, 1));
  for (size_t s = 0; s < samples; ++s) {
    const uint16_t value = SampleAt(window, counter, s / pitch, s % pitch);
    if (sixteenBit) {
      target[2 * s] = static_cast<uint8_t>(value & 0xFF);
      target[2 * s + 1] = static_cast<uint8_t>(value >> 8);
    } else {
      target[s] = static_cast<uint8_t>(value & 0xFF);
    }
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
