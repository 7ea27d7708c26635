// The picture of the simulated USB camera. A frame is the sensor's read-out,
// pitch samples per line, line after line. Inside the active window every row
// carries the frame counter (samples 0 and 1), its row number (sample 2) and
// a pattern that depends on counter, row and column; all of it lies in the
// calibrated raw range. Outside the window the samples are markers far above
// it, so a wrongly placed window shows at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quvex::sim {

struct SensorWindow {
  int pitch = 780;  // samples per line
  int xOffset = 12;
  int width = 640;
  int yOffset = 5;
  int height = 480;
};

inline constexpr uint16_t kActiveBase = 5400;  // active samples lie in [5400, 8000)
inline constexpr uint16_t kActiveSpan = 2600;
inline constexpr uint32_t kCounterModulo = 1u << 20;  // counters are carried in 20 bits
inline constexpr uint16_t kBlankLineMarker = 0xDEAD;  // lines outside the window
inline constexpr uint16_t kBlankColumnMarker = 0xBEEF;  // columns outside it on window lines

// The 16-bit sample at (row, column) of the window in frame counter.
uint16_t ActiveSample(uint32_t counter, int row, int column);

// Fills the first bytes of frame counter's read-out; 16-bit samples are
// little-endian, 8-bit samples the low byte of the 16-bit picture. Each line
// is copied from sample runs rendered once, so a frame costs about a memcpy.
void FillFrame(uint8_t* target, size_t bytes, bool sixteenBit, const SensorWindow& window,
               uint32_t counter);

struct DecodedFrame {
  bool ok = false;        // every row carries a counter and a row number
  uint32_t counter = 0;   // of the first row
  std::vector<int> rows;  // row number carried by each image row, -1 where none
};

// Reads counter and row numbers back from a width x height raw image.
DecodedFrame DecodeFrame(const uint16_t* image, int width, int height);

// true when the image is one whole window of a single frame in transfer row
// order: every sample is that frame's pattern. counter receives the frame's.
bool IsWholeFrame(const uint16_t* image, int width, int height, uint32_t* counter = nullptr);

}  // namespace quvex::sim
