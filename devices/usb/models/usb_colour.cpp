// Raw-to-RGB conversions.
#include "devices/usb/models/usb_colour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "devices/usb/usb_codes.h"

namespace quvex {

namespace {

// Samples of a frame, 8-bit or 16-bit little-endian, at (column, line).
struct Samples8 {
  const uint8_t* base;
  int64_t pitch;
  unsigned operator()(int64_t column, int64_t line) const { return base[line * pitch + column]; }
};

struct Samples16 {
  const uint8_t* base;
  int64_t pitch;
  unsigned operator()(int64_t column, int64_t line) const {
    uint16_t sample = 0;
    std::memcpy(&sample, base + 2 * (line * pitch + column), sizeof sample);
    return sample;
  }
};

uint8_t Clamp255(int64_t value) {
  return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

// 128 x gain, truncated; kept in a range where no product overflows.
int64_t ScaledGain(double gain) {
  if (!(gain > 0.0)) return 0;
  return static_cast<int64_t>(std::min(gain, 1.0e6) * 128.0);
}

struct DemosaicShifts {
  int cell;         // red and blue of the 2 x 2 cell rule
  int interpolate;  // red and blue of the bilinear rule
  int green;
};

// Where red and blue lie in a 2 x 2 cell, by the parity of its top-left
// corner: index (column odd) + 2 x (row odd).
struct CellLayout {
  int redX, redY, blueX, blueY;
};

std::array<CellLayout, 4> CellLayouts(int32_t phase) {
  std::array<CellLayout, 4> layouts{};
  for (int corner = 0; corner < 4; ++corner) {
    CellLayout& cell = layouts[static_cast<size_t>(corner)];
    for (int dy = 0; dy < 2; ++dy) {
      for (int dx = 0; dx < 2; ++dx) {
        const BayerColour c = BayerColourAt(phase, (corner & 1) + dx, (corner >> 1) + dy);
        if (c == BayerColour::Red) cell.redX = dx, cell.redY = dy;
        if (c == BayerColour::Blue) cell.blueX = dx, cell.blueY = dy;
      }
    }
  }
  return layouts;
}

template <typename Sample>
int64_t Load(const uint8_t* row, int32_t x) {
  Sample value;
  std::memcpy(&value, row + static_cast<size_t>(x) * sizeof(Sample), sizeof(Sample));
  return value;
}

template <typename Sample>
int Demosaic(const BayerConvertParams& p, DemosaicShifts shifts) {
  const int32_t w = p.width;
  const int32_t h = p.height;
  if (w <= 0 || h <= 0) return 0;
  const int64_t gainRed = ScaledGain(p.gainRed);
  const int64_t gainBlue = ScaledGain(p.gainBlue);
  const std::array<CellLayout, 4> layouts = CellLayouts(p.phase);
  const bool cells = p.interpolationMode != 0;
  const auto* frame = static_cast<const uint8_t*>(p.source);
  // Start of region row y.
  auto row = [&](int32_t y) {
    return frame + ((static_cast<size_t>(p.yOffset) + static_cast<size_t>(y)) *
                        static_cast<size_t>(p.pitch) +
                    static_cast<size_t>(p.xOffset)) *
                       sizeof(Sample);
  };

  for (int32_t y = 2; y <= h - 3; ++y) {
    uint8_t* out = p.target + (static_cast<size_t>(y) * static_cast<size_t>(w) + 2) * 3;
    // One pixel per cell at (x - 2, y - 2), or interpolated at the centre of
    // the cell at (x - 1, y - 1). The mosaic's phase follows each sample's
    // own row and column, so every row starts at its own column phase.
    const int32_t y0 = cells ? y - 2 : y - 1;
    // Rows y0 - 1 to y0 + 2: the interpolation window around the cell.
    const std::array<const uint8_t*, 4> rows{row(std::max(y0 - 1, 0)), row(y0), row(y0 + 1),
                                             row(std::min(y0 + 2, h - 1))};
    auto at = [&rows, y0](int32_t column, int32_t line) {
      return Load<Sample>(rows[static_cast<size_t>(line - y0 + 1)], column);
    };
    // The bilinear value at the centre of the cell at (x0, y0) of the colour
    // at (cx, cy) inside it: weight 9 for it, 3 for the samples of its colour
    // two columns or two rows away within the 4 x 4 window, 1 diagonally.
    auto bilinear = [&at, y0](int32_t x0, int32_t cx, int32_t cy) -> int64_t {
      const int32_t ox = cx == x0 ? x0 + 2 : x0 - 1;
      const int32_t oy = cy == y0 ? y0 + 2 : y0 - 1;
      return 9 * at(cx, cy) + 3 * at(ox, cy) + 3 * at(cx, oy) + at(ox, oy);
    };
    for (int32_t x = 2; x <= w - 3; ++x, out += 3) {
      const int32_t x0 = cells ? x - 2 : x - 1;
      const CellLayout& cell = layouts[static_cast<size_t>((x0 & 1) | (y0 & 1) << 1)];
      const int32_t rx = x0 + cell.redX, ry = y0 + cell.redY;
      const int32_t bx = x0 + cell.blueX, by = y0 + cell.blueY;
      int64_t r = at(rx, ry);
      int64_t b = at(bx, by);
      const int64_t g = at(x0, y0) + at(x0 + 1, y0) + at(x0, y0 + 1) + at(x0 + 1, y0 + 1) - r - b;
      int shift = shifts.cell;
      if (!cells) {
        r = bilinear(x0, rx, ry);
        b = bilinear(x0, bx, by);
        shift = shifts.interpolate;
      }
      out[0] = Clamp255((b * gainBlue) >> shift);
      out[1] = Clamp255(g >> shifts.green);
      out[2] = Clamp255((r * gainRed) >> shift);
    }
  }
  return 1;
}

template <typename Reader>
int EstimateWhiteBalance(BayerConvertParams& p, Reader sample) {
  uint64_t sums[3] = {0, 0, 0};
  uint64_t counts[3] = {0, 0, 0};
  for (int64_t y = p.y0; y <= p.y1; ++y) {
    for (int64_t x = p.x0; x <= p.x1; ++x) {
      const auto colour = static_cast<size_t>(BayerColourAt(p.phase, x, y));
      sums[colour] += sample(p.xOffset + x, p.yOffset + y);
      ++counts[colour];
    }
  }
  auto mean = [&](BayerColour colour) {
    const auto c = static_cast<size_t>(colour);
    return counts[c] == 0 ? 0.0 : static_cast<double>(sums[c]) / static_cast<double>(counts[c]);
  };
  const double green = mean(BayerColour::Green);
  auto gain = [green](double other) { return other > 0.0 ? green / other : 1.0; };
  p.gainRed = gain(mean(BayerColour::Red));
  p.gainGreen = 1.0;
  p.gainBlue = gain(mean(BayerColour::Blue));
  return 1;
}

// true when lines up to lastLine, columns [firstColumn, firstColumn +
// columns) of samples of sampleBytes lie inside sourceBytes.
bool SourceCovers(const UsbFrameLayout& l, int64_t lastLine, int64_t firstColumn, int64_t columns,
                  size_t sourceBytes) {
  if (l.pitch <= 0 || lastLine < 0 || firstColumn < 0 || columns <= 0 ||
      firstColumn + columns > l.pitch || (l.sampleBytes != 1 && l.sampleBytes != 2)) {
    return false;
  }
  const uint64_t end = (static_cast<uint64_t>(lastLine) * static_cast<uint64_t>(l.pitch) +
                        static_cast<uint64_t>(firstColumn + columns)) *
                       static_cast<uint64_t>(l.sampleBytes);
  return end <= sourceBytes;
}

bool TargetHolds(int64_t columns, int64_t rows, size_t targetBytes) {
  return static_cast<uint64_t>(columns) * static_cast<uint64_t>(rows) * 3u <= targetBytes;
}

void PutGrey(uint8_t*& out, unsigned value) {
  out[0] = out[1] = out[2] = static_cast<uint8_t>(value);
  out += 3;
}

// Frame line of region row j: rows alternate between the two fields in the
// two-field layout.
int64_t FieldsLine(const UsbFrameLayout& l, int64_t row) {
  if (l.twoField == 0) return static_cast<int64_t>(l.yOffset) + row;
  return static_cast<int64_t>(l.fieldYOffset) + row / 2 + (row % 2 != 0 ? l.fieldLines : 0);
}

// Chroma of column c of a row of YUV 4:2:2 words: Cr and Cb. A column whose
// partner lies outside the row takes the nearest one of the same kind.
struct Chroma {
  double cr;
  double cb;
};

Chroma ChromaAt(const double* chroma, int64_t columns, int64_t c, bool crOnEven, bool pairLeft) {
  // pairLeft: the other kind of a column lies to its left (two-field form:
  // Cr of an even column also serves the odd column before it).
  auto partner = [&](int64_t column) {
    int64_t other = column + ((column % 2 == 0) == pairLeft ? -1 : 1);
    if (other < 0 || other >= columns) other = column + (other < column ? 1 : -1);
    return other >= 0 && other < columns ? chroma[other] : 0.0;
  };
  const bool isCr = (c % 2 == 0) == crOnEven;
  return isCr ? Chroma{chroma[c], partner(c)} : Chroma{partner(c), chroma[c]};
}

}  // namespace

BayerColour BayerColourAt(int32_t phase, int64_t x, int64_t y) noexcept {
  const int64_t row = (y + (phase & 1)) & 1;
  const int64_t column = (x + ((phase >> 1) & 1)) & 1;
  if (row == column) return BayerColour::Green;
  return row == 0 ? BayerColour::Red : BayerColour::Blue;
}

int32_t BayerPhaseOf(int32_t regionX, int32_t regionY, int32_t regionWidth, int32_t regionHeight,
                     int columnMirror, int rowMirror) noexcept {
  const int64_t column =
      columnMirror != 0 ? static_cast<int64_t>(regionX) + regionWidth - 1 : regionX;
  const int32_t columnBit = column % 2 != 0 ? 2 : 0;
  const int32_t rowBit = rowMirror != 0
                             ? ((static_cast<int64_t>(regionY) + regionHeight - 1) % 2 == 0 ? 1 : 0)
                             : (regionY % 2 != 0 ? 1 : 0);
  return columnBit + rowBit;
}

int DemosaicBayer16(const BayerConvertParams& params) noexcept {
  return Demosaic<uint16_t>(params, DemosaicShifts{9, 13, 3});
}

int DemosaicBayer8(const BayerConvertParams& params) noexcept {
  return Demosaic<uint8_t>(params, DemosaicShifts{7, 11, 1});
}

int EstimateWhiteBalance16(BayerConvertParams& params) noexcept {
  return EstimateWhiteBalance(params,
                              Samples16{static_cast<const uint8_t*>(params.source), params.pitch});
}

int EstimateWhiteBalance8(BayerConvertParams& params) noexcept {
  return EstimateWhiteBalance(params,
                              Samples8{static_cast<const uint8_t*>(params.source), params.pitch});
}

int CheckRoiRect(const UsbFrameLayout& l, const UsbRoiRect& rect) noexcept {
  const int64_t columns = static_cast<int64_t>(rect.x1) - rect.x0 + 1;
  const int64_t rows = static_cast<int64_t>(rect.y1) - rect.y0 + 1;
  if (columns < 1 || columns > l.pitch || rows < 1 || rows > l.lines) return QUVEX_USB_ERR_ROI;
  if (rect.x0 < 0 || rect.y0 < 0 || rect.x1 >= l.width || rect.y1 >= l.height) {
    return QUVEX_USB_ERR_ROI;
  }
  return QUVEX_USB_OK;
}

int ConvertSensorToRgb(const UsbFrameLayout& l, UsbColourSettings& settings,
                       const UsbRoiRect& rect, void* target, size_t targetBytes,
                       const void* source, size_t sourceBytes, int colour,
                       int whiteBalance) noexcept {
  if (const int result = CheckRoiRect(l, rect)) return result;
  if (target == nullptr || source == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  const bool wide = l.sampleBytes == 2;
  const auto* frame = static_cast<const uint8_t*>(source);
  auto* out = static_cast<uint8_t*>(target);

  if (colour == 0) {
    const int64_t columns = static_cast<int64_t>(rect.x1) - rect.x0 + 1;
    const int64_t rows = static_cast<int64_t>(rect.y1) - rect.y0 + 1;
    if (!SourceCovers(l, static_cast<int64_t>(l.yOffset) + rect.y1, l.xOffset + rect.x0, columns,
                      sourceBytes) ||
        !TargetHolds(columns, rows, targetBytes)) {
      return QUVEX_USB_ERR_ROI;
    }
    const Samples8 narrow{frame, l.pitch};
    const Samples16 samples{frame, l.pitch};
    for (int64_t y = l.yOffset + rect.y0; y <= l.yOffset + rect.y1; ++y) {
      for (int64_t x = l.xOffset + rect.x0; x <= l.xOffset + rect.x1; ++x) {
        PutGrey(out, wide ? samples(x, y) >> 8 : narrow(x, y));
      }
    }
    return QUVEX_USB_OK;
  }

  // The mosaic is always converted whole, whatever the rectangle.
  if (l.yOffset < 0 ||
      !SourceCovers(l, static_cast<int64_t>(l.yOffset) + l.height - 1, l.xOffset, l.width,
                    sourceBytes) ||
      !TargetHolds(l.width, l.height, targetBytes)) {
    return QUVEX_USB_ERR_ROI;
  }
  BayerConvertParams params;
  params.xOffset = l.xOffset;
  params.width = l.width;
  params.pitch = l.pitch;
  params.yOffset = l.yOffset;
  params.height = l.height;
  params.lines = l.lines;
  params.phase = settings.bayerPhase;
  params.source = source;
  params.target = out;
  params.interpolationMode = settings.binningCode;
  params.x1 = l.width - 1;
  params.y1 = l.height - 1;
  if (whiteBalance != 0) {
    (void)(wide ? EstimateWhiteBalance16(params) : EstimateWhiteBalance8(params));
    settings.gainRed = params.gainRed;
    settings.gainGreen = params.gainGreen;
    settings.gainBlue = params.gainBlue;
  }
  const double green = settings.gainGreen > 0.0 ? settings.gainGreen : 1.0;
  params.gainRed = settings.gainRed / green;
  params.gainGreen = 1.0;
  params.gainBlue = settings.gainBlue / green;
  (void)(wide ? DemosaicBayer16(params) : DemosaicBayer8(params));
  return QUVEX_USB_OK;
}

int ConvertFieldsToRgb(const UsbFrameLayout& l, const UsbRoiRect& rect, void* target,
                       size_t targetBytes, const void* source, size_t sourceBytes,
                       int colour) noexcept {
  if (const int result = CheckRoiRect(l, rect)) return result;
  if (target == nullptr || source == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  const int64_t columns = static_cast<int64_t>(rect.x1) - rect.x0 + 1;
  const int64_t rows = static_cast<int64_t>(rect.y1) - rect.y0 + 1;
  const int64_t firstColumn = static_cast<int64_t>(l.xOffset) + rect.x0;
  int64_t lastLine = -1;
  for (int64_t j = 0; j < std::min<int64_t>(rows, 2); ++j) {
    lastLine = std::max(lastLine, FieldsLine(l, rect.y0 + rows - 1 - j));
  }
  const bool linesValid = l.twoField != 0 ? l.fieldYOffset >= 0 && l.fieldLines >= 0 : l.yOffset >= 0;
  if (!linesValid || !SourceCovers(l, lastLine, firstColumn, columns, sourceBytes) ||
      !TargetHolds(columns, rows, targetBytes)) {
    return QUVEX_USB_ERR_ROI;
  }
  const auto* frame = static_cast<const uint8_t*>(source);
  auto* out = static_cast<uint8_t*>(target);
  const Samples16 words{frame, l.pitch};

  if (colour == 0 || l.sampleBytes != 2) {
    // Grey from the luma byte of each sample.
    const Samples8 bytes{frame, l.pitch};
    for (int64_t j = 0; j < rows; ++j) {
      const int64_t line = FieldsLine(l, rect.y0 + j);
      for (int64_t c = 0; c < columns; ++c) {
        PutGrey(out, l.sampleBytes == 2 ? words(firstColumn + c, line) & 0xFF
                                        : bytes(firstColumn + c, line));
      }
    }
    return QUVEX_USB_OK;
  }

  // YUV 4:2:2: the two-field form carries Cr on even columns for the column
  // before and its own (full-range luma, coefficient set A); the progressive
  // form Cr on even columns for its own and the next (studio range, BT.601).
  const bool fields = l.twoField != 0;
  std::vector<double> chroma;
  try {
    chroma.resize(static_cast<size_t>(columns));
  } catch (...) {
    return QUVEX_USB_ERR_ALLOC;
  }
  for (int64_t j = 0; j < rows; ++j) {
    const int64_t line = FieldsLine(l, rect.y0 + j);
    for (int64_t c = 0; c < columns; ++c) {
      const auto high = static_cast<int>(words(firstColumn + c, line) >> 8);
      chroma[static_cast<size_t>(c)] = static_cast<double>(high - 128);
    }
    for (int64_t c = 0; c < columns; ++c) {
      const auto luma = static_cast<double>(words(firstColumn + c, line) & 0xFF);
      const Chroma ch = ChromaAt(chroma.data(), columns, c, true, fields);
      double red, green, blue;
      if (fields) {
        red = luma + 1.14 * ch.cr;
        green = luma - 0.395 * ch.cb - 0.581 * ch.cr;
        blue = luma + 2.032 * ch.cb;
      } else {
        const double y = 1.164 * (luma - 16.0);
        red = y + 1.596 * ch.cr;
        green = y - 0.391 * ch.cb - 0.813 * ch.cr;
        blue = y + 2.018 * ch.cb;
      }
      out[0] = Clamp255(static_cast<int64_t>(std::clamp(blue, -1.0, 256.0)));
      out[1] = Clamp255(static_cast<int64_t>(std::clamp(green, -1.0, 256.0)));
      out[2] = Clamp255(static_cast<int64_t>(std::clamp(red, -1.0, 256.0)));
      out += 3;
    }
  }
  return QUVEX_USB_OK;
}

}  // namespace quvex
