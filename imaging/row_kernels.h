// Per-row pixel kernels of the conversion routines. Each converts count pixels
// (or samples) from s to d. Rows that share no memory take a vectorised path;
// rows that overlap are converted one whole pixel at a time, each pixel read
// before it is written, so an in-place conversion gives the same result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quvex::rows {

// 10-bit sample to 8 bits (>> 2) and to 16 bits (<< 6), saturating above
// 0x03FF instead of losing the high bits.
inline constexpr uint16_t kMaxSample = 0x03FF;
constexpr uint8_t SampleTo8Bits(uint16_t v) {
  return v > kMaxSample ? uint8_t{0xFF} : static_cast<uint8_t>(v >> 2);
}
constexpr uint16_t SampleTo16Bits(uint16_t v) {
  return v > kMaxSample ? uint16_t{0xFFC0} : static_cast<uint16_t>(v << 6);
}

// One 16-bit sample per pixel to one byte.
void NarrowSamples(uint8_t* d, const uint8_t* s, size_t count);
// 32-bit pixels to their first three bytes.
void DropFourthByte(uint8_t* d, const uint8_t* s, size_t count);
// Pixels of three or more 16-bit samples (sourcePixelBytes 6 or 8) to three
// bytes, the first three samples narrowed.
void NarrowColorSamples(uint8_t* d, const uint8_t* s, size_t count, size_t sourcePixelBytes);
// 16-bit samples moved to the 16-bit range.
void ScaleSamples(uint8_t* d, const uint8_t* s, size_t sampleCount);
// Bytes 0 and 2 of each 24-bit pixel exchanged.
void SwapRedBlue24(uint8_t* d, const uint8_t* s, size_t count);
// Bytes 0 and 2 of each 32-bit pixel exchanged, byte 3 kept.
void SwapRedBlue32(uint8_t* d, const uint8_t* s, size_t count);
// Samples 0 and 2 of each 48-bit pixel exchanged, all three scaled.
void SwapScaleSamples48(uint8_t* d, const uint8_t* s, size_t count);
// Samples 0 and 2 of each 64-bit pixel exchanged, all four scaled.
void SwapScaleSamples64(uint8_t* d, const uint8_t* s, size_t count);

}  // namespace quvex::rows
