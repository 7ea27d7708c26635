// The colour of every 16-bit raw sample for one pair of range bounds. The
// table is rebuilt only when the bounds change, so mapping a frame costs one
// table read per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/palette.h"

namespace quvex {

// Bounds of the colour range and how the palette index is divided out.
struct ColourRange {
  int low = 0;   // samples at or below are black
  int high = 0;  // samples above low and at or above high are white
  bool singlePrecision = false;
  bool operator==(const ColourRange&) const = default;
};

// Palette index (0 to 359) of a sample v with low < v < high.
int PaletteIndex(uint32_t v, const ColourRange& range);
// Colour of a sample as bytes blue, green, red (bits 0-23 of the result).
uint32_t SampleColour(const Palette360& palette, const ColourRange& range, uint32_t v);

// A frame as rows of 16-bit samples and the rows of 24-bit colour they map to.
struct FrameRows {
  const uint8_t* raw;  // the first raw row
  ptrdiff_t rawStride;
  uint8_t* colour;         // the colour row of the first raw row
  ptrdiff_t colourStride;  // from the colour row of one raw row to that of the next
  int width;
  int height;
};

// Rows and columns of a frame, both inclusive; empty when a last is below
// its first.
struct SampleWindow {
  int firstRow, lastRow, firstColumn, lastColumn;
};

// Minimum and maximum of the samples seen.
struct SampleExtremes {
  int minimum = 100000;
  int maximum = 0;
};

// How a lookup maps: by the formulas for every pixel, through the table, or
// through the table with the processor's vector instructions.
enum class LookupPath { Formulas, Table, VectorTable };

// VectorTable where the processor has the vector kernels, else Table.
LookupPath FastestLookupPath();

class ColourLookup {
 public:
  explicit ColourLookup(LookupPath path = FastestLookupPath());

  // Makes the lookup serve range with palette. false when the table cannot
  // be allocated; Map then uses the formulas.
  bool Prepare(const Palette360& palette, const ColourRange& range);
  // Maps every row of frame; the samples in window (within the frame)
  // widen extremes.
  void Map(const FrameRows& frame, const SampleWindow& window, SampleExtremes& extremes) const;

 private:
  void Fill();

  LookupPath path_;
  Palette360 palette_{};
  ColourRange range_{};
  bool filled_ = false;
  // The table holds samples first_ to last_; samples below first_ have its
  // colour, samples above last_ that of last_.
  uint32_t first_ = 0;
  uint32_t last_ = 0;
  std::unique_ptr<uint32_t[]> table_;
};

}  // namespace quvex
