// AVX2 kernels of the colour lookup: eight table reads per gather.
#include <algorithm>
#include <cstring>

#include "core/colour_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quvex {

#if defined(__x86_64__)

bool HasAvx2Kernels() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

namespace {

// The table and the samples it holds, in 32-bit lanes.
struct TableLanes {
  const uint32_t* table;
  __m256i first, last;
};

// The colours of the eight samples from column j, packed as 24 bytes at the
// bottom of the register.
__attribute__((target("avx2"))) inline __m256i Colours8(const uint8_t* raw, int j,
                                                        TableLanes lanes) {
  const __m256i samples =
      _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 2 * j)));
  const __m256i index = _mm256_sub_epi32(
      _mm256_min_epu32(_mm256_max_epu32(samples, lanes.first), lanes.last), lanes.first);
  const __m256i bgr = _mm256_i32gather_epi32(reinterpret_cast<const int*>(lanes.table), index, 4);
  // Four 3-byte colours to the front of each 128-bit lane, then the two
  // lanes' twelve bytes side by side.
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bgr, pack), join);
}

// Lanes travel by value: the colour stores could alias anything in memory.
__attribute__((target("avx2"))) inline void MapRow(const uint8_t* raw, uint8_t* colour, int width,
                                                   TableLanes lanes) {
  int j = 0;
  // Whole 32-byte stores: 24 bytes of colour and 8 that the next store
  // overwrites, as long as those 8 stay inside the row.
  for (; 3 * j + 32 <= 3 * width; j += 8) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(colour + 3 * j), Colours8(raw, j, lanes));
  }
  // The rest in exact 24-byte stores, the last one ending at the row's end.
  for (; j < width; j += 8) {
    const int at = std::min(j, width - 8);
    const __m256i packed = Colours8(raw, at, lanes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(colour + 3 * at), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(colour + 3 * at + 16),
                     _mm256_extracti128_si256(packed, 1));
  }
}

// Widens minimum and maximum (16-bit lanes) by columns [from, to) of a row,
// at least 16 of them.
__attribute__((target("avx2"))) inline void WidenRow(const uint8_t* raw, int from, int to,
                                                     __m256i& minimum, __m256i& maximum) {
  // Sixteen at a time, the last sixteen ending at `to`: they may overlap
  // samples already seen, which min and max allow.
  for (int j = from; j < to; j += 16) {
    const int at = j + 16 <= to ? j : to - 16;
    const __m256i samples = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(raw + 2 * at));
    minimum = _mm256_min_epu16(minimum, samples);
    maximum = _mm256_max_epu16(maximum, samples);
  }
}

}  // namespace

__attribute__((target("avx2"))) void MapFrameAvx2(const FrameRows& frame,
                                                  const SampleWindow& window, const uint32_t* table,
                                                  uint32_t first, uint32_t last,
                                                  SampleExtremes& extremes) {
  const TableLanes lanes{table, _mm256_set1_epi32(static_cast<int>(first)),
                         _mm256_set1_epi32(static_cast<int>(last))};
  __m256i minimum = _mm256_set1_epi16(-1);
  __m256i maximum = _mm256_setzero_si256();
  const int windowFrom = window.firstColumn;
  const int windowTo = window.lastColumn + 1;
  const bool wideWindow = windowTo - windowFrom >= 16;
  bool widened = false;  // whether the lanes hold any window sample
  for (int i = 0; i < frame.height; ++i) {
    const uint8_t* raw = frame.raw + i * frame.rawStride;
    MapRow(raw, frame.colour + i * frame.colourStride, frame.width, lanes);
    if (i < window.firstRow || i > window.lastRow || windowTo <= windowFrom) continue;
    if (wideWindow) {
      WidenRow(raw, windowFrom, windowTo, minimum, maximum);
      widened = true;
      continue;
    }
    for (int j = windowFrom; j < windowTo; ++j) {  // a window narrower than a register
      uint16_t v;
      std::memcpy(&v, raw + 2 * j, 2);
      extremes.minimum = std::min(extremes.minimum, static_cast<int>(v));
      extremes.maximum = std::max(extremes.maximum, static_cast<int>(v));
    }
  }
  if (!widened) return;
  alignas(32) uint16_t lowest[16];
  alignas(32) uint16_t highest[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lowest), minimum);
  _mm256_store_si256(reinterpret_cast<__m256i*>(highest), maximum);
  for (int k = 0; k < 16; ++k) {
    extremes.minimum = std::min(extremes.minimum, static_cast<int>(lowest[k]));
    extremes.maximum = std::max(extremes.maximum, static_cast<int>(highest[k]));
  }
}

#else

bool HasAvx2Kernels() { return false; }
void MapFrameAvx2(const FrameRows&, const SampleWindow&, const uint32_t*, uint32_t, uint32_t,
                  SampleExtremes&) {}

#endif

}  // namespace quvex
