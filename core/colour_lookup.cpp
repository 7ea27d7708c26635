// Colour lookup tables: built per change of bounds, read once per pixel.
#include "core/colour_lookup.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "core/colour_kernels.h"

namespace quvex {

static_assert(std::endian::native == std::endian::little,
              "colours are stored as little-endian words");

namespace {

constexpr int64_t kLargestSample = 65535;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

// Palette entries hold red in the low byte; pixels want blue first.
uint32_t ToBgr(int32_t entry) {
  const auto rgb = static_cast<uint32_t>(entry);
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

uint32_t SampleAt(const uint8_t* row, int column) {
  uint16_t sample;
  std::memcpy(&sample, row + 2 * column, sizeof sample);
  return sample;
}

// Maps a row: every pixel but the last with four-byte stores, the last with
// three, so that nothing past the row is touched.
template <typename ColourOf>
void MapRow(const uint8_t* raw, uint8_t* colour, int width, const ColourOf& colourOf) {
  const int last = width - 1;
  for (int j = 0; j < last; ++j) {
    const uint32_t bgr = colourOf(SampleAt(raw, j));
    std::memcpy(colour + 3 * j, &bgr, 4);
  }
  const uint32_t bgr = colourOf(SampleAt(raw, last));
  std::memcpy(colour + 3 * last, &bgr, 3);
}

template <typename ColourOf>
void MapFrame(const FrameRows& frame, const SampleWindow& window, SampleExtremes& extremes,
              const ColourOf& colourOf) {
  SampleExtremes seen = extremes;  // a local: colour stores could alias it
  for (int i = 0; i < frame.height; ++i) {
    const uint8_t* raw = frame.raw + i * frame.rawStride;
    MapRow(raw, frame.colour + i * frame.colourStride, frame.width, colourOf);
    if (i < window.firstRow || i > window.lastRow) continue;
    for (int j = window.firstColumn; j <= window.lastColumn; ++j) {
      const int v = static_cast<int>(SampleAt(raw, j));
      seen.maximum = std::max(seen.maximum, v);
      seen.minimum = std::min(seen.minimum, v);
    }
  }
  extremes = seen;
}

}  // namespace

int PaletteIndex(uint32_t v, const ColourRange& range) {
  // 64 bits: bounds anywhere in the int range must not overflow.
  const int64_t above = static_cast<int64_t>(v) - range.low;
  const int64_t span = static_cast<int64_t>(range.high) - range.low;
  if (range.singlePrecision) {
    const float quotient = static_cast<float>(above) * 360.0f / static_cast<float>(span);
    // Past 2^24 both operands round, and the quotient can reach 360.
    return std::min(static_cast<int>(quotient), 359);
  }
  // Exact, and the same as truncating the quotient in double precision: both
  // operands are exact doubles, and a quotient below 360 that is not an
  // integer lies at least 1 / span below the next one, far beyond rounding.
  return static_cast<int>(above * 360 / span);
}

uint32_t SampleColour(const Palette360& palette, const ColourRange& range, uint32_t v) {
  if (static_cast<int64_t>(v) <= range.low) return kBlack;
  if (static_cast<int64_t>(v) >= range.high) return kWhite;
  return ToBgr(palette[static_cast<size_t>(PaletteIndex(v, range))]);
}

LookupPath FastestLookupPath() {
  return HasAvx2Kernels() ? LookupPath::VectorTable : LookupPath::Table;
}

ColourLookup::ColourLookup(LookupPath path)
    : path_(path == LookupPath::VectorTable && !HasAvx2Kernels() ? LookupPath::Table : path) {}

bool ColourLookup::Prepare(const Palette360& palette, const ColourRange& range) {
  if (filled_ && range == range_ && palette == palette_) return true;
  palette_ = palette;
  range_ = range;
  filled_ = false;
  if (path_ == LookupPath::Formulas) return true;
  if (!table_) table_.reset(new (std::nothrow) uint32_t[kLargestSample + 1]);
  if (!table_) return false;
  // Every sample at or below low is black, and every sample above both low
  // and high is white, so the table needs only the samples in between.
  const int64_t first = std::clamp<int64_t>(range.low, 0, kLargestSample);
  const int64_t last =
      std::clamp<int64_t>(std::max<int64_t>(range.high, first + 1), 0, kLargestSample);
  first_ = static_cast<uint32_t>(first);
  last_ = static_cast<uint32_t>(last);
  Fill();
  filled_ = true;
  return true;
}

void ColourLookup::Fill() {
  uint32_t* const table = table_.get();
  const int64_t first = first_;
  const int64_t last = last_;
  const int64_t low = range_.low;
  const int64_t high = range_.high;
  // Black up to low, white from above low and high on, colours in between.
  const int64_t coloured0 = std::max(first, low + 1);
  const int64_t coloured1 = std::min(last, high - 1);
  for (int64_t v = first; v <= std::min(last, low); ++v) table[v - first] = kBlack;
  for (int64_t v = std::max({first, low + 1, high}); v <= last; ++v) table[v - first] = kWhite;
  if (coloured0 > coloured1) return;

  uint32_t colours[360];
  for (size_t k = 0; k < 360; ++k) colours[k] = ToBgr(palette_[k]);
  if (range_.singlePrecision) {
    for (int64_t v = coloured0; v <= coloured1; ++v) {
      table[v - first] = colours[PaletteIndex(static_cast<uint32_t>(v), range_)];
    }
    return;
  }
  // (v - low) x 360 / span, stepped one sample at a time: the quotient grows
  // by 360 / span and the remainder by 360 % span, carrying into the quotient.
  const int64_t span = high - low;
  const int64_t numerator = (coloured0 - low) * 360;
  int64_t index = numerator / span;
  int64_t remainder = numerator % span;
  const int64_t indexStep = 360 / span;
  const int64_t remainderStep = 360 % span;
  for (int64_t v = coloured0; v <= coloured1; ++v) {
    table[v - first] = colours[index];
    index += indexStep;
    remainder += remainderStep;
    if (remainder >= span) {
      remainder -= span;
      ++index;
    }
  }
}

void ColourLookup::Map(const FrameRows& frame, const SampleWindow& window,
                       SampleExtremes& extremes) const {
  if (frame.width <= 0 || frame.height <= 0) return;
  if (!filled_) {
    MapFrame(frame, window, extremes,
             [this](uint32_t v) { return SampleColour(palette_, range_, v); });
  } else if (path_ == LookupPath::VectorTable && frame.width >= kAvx2MinimumWidth) {
    MapFrameAvx2(frame, window, table_.get(), first_, last_, extremes);
  } else {
    const uint32_t* const table = table_.get();
    const uint32_t first = first_;
    const uint32_t last = last_;
    MapFrame(frame, window, extremes,
             [=](uint32_t v) { return table[std::clamp(v, first, last) - first]; });
  }
}

}  // namespace quvex
