// False colour: every raw sample through the palette between range low and
// range high, then the auto-range from a fixed window of the frame.
#include <algorithm>
#include <cstddef>
#include <limits>

#include "core/camera_object.h"
#include "core/colour_lookup.h"

namespace quvex {

namespace {

// The auto-range window, inclusive, in raw rows and columns for every size.
constexpr int kWindowFirstRow = 21;
constexpr int kWindowLastRow = 219;
constexpr int kWindowFirstColumn = 21;
constexpr int kWindowLastColumn = 299;
// Raw units added on each side of the window's extremes.
constexpr int kRangeMargin = 50;

bool CanMap(const CDibImage& raw, const CDibImage& colour) {
  return raw.Bits() != nullptr && colour.Bits() != nullptr && raw.BitsPerPixel() == 16 &&
         colour.BitsPerPixel() == 24 && raw.Width() > 0 && raw.Height() > 0 &&
         raw.Width() == colour.Width() && raw.Height() == colour.Height();
}

// A new bound: saturated to int, never below 0.
int RangeBound(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, std::numeric_limits<int>::max()));
}

}  // namespace

int CQuvex::MapRawToColor(const CDibImage& raw, CDibImage& colour) {
  if (!CanMap(raw, colour)) return 0;
  // One snapshot per frame: a host may set parameters 12 to 14 meanwhile.
  const int count = autoRangeCount_.load();
  const ColourRange range{rangeLow_.load(), rangeHigh_.load(), profile_.singlePrecisionPalette};

  // One lookup per mapping thread; it keeps its table while the bounds stay.
  thread_local ColourLookup lookup;
  lookup.Prepare(palette_, range);

  const int width = raw.Width();
  const int height = raw.Height();
  // Raw row i goes to colour row H - 1 - i.
  const FrameRows frame{raw.Bits(),
                        raw.Stride(),
                        colour.Bits() + static_cast<ptrdiff_t>(height - 1) * colour.Stride(),
                        -static_cast<ptrdiff_t>(colour.Stride()),
                        width,
                        height};
  // The window within the frame; with the bounds fixed nothing is collected.
  SampleWindow window{kWindowFirstRow, std::min(kWindowLastRow, height - 1), kWindowFirstColumn,
                      std::min(kWindowLastColumn, width - 1)};
  if (count == 0) window.lastRow = -1;
  SampleExtremes extremes;
  lookup.Map(frame, window, extremes);

  if (count == 0) return 1;
  if (count > 0) {
    // Counts down from the value read; a count the host set meanwhile stays.
    int expected = count;
    autoRangeCount_.compare_exchange_strong(expected, count - 1);
  }
  rangeHigh_.store(RangeBound(static_cast<int64_t>(extremes.maximum) + kRangeMargin));
  rangeLow_.store(RangeBound(static_cast<int64_t>(extremes.minimum) - kRangeMargin));
  return 1;
}

}  // namespace quvex
