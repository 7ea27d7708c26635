#include "imaging/pixel_routines.h"

#include <algorithm>
#include <cstring>

#include "imaging/row_kernels.h"

namespace quvex {
namespace {

int64_t BytesPerPixel(const ImageDesc& d) { return d.bitsPerPixel / 8; }

uint8_t* PixelAt(const ImageDesc& d, int64_t row, int64_t column) {
  return d.bits + row * d.stride + column * BytesPerPixel(d);
}

size_t BlockBytes(const ImageDesc& d) {
  return static_cast<size_t>(d.stride) * static_cast<size_t>(d.height);
}

bool RectInside(const Rect& r, int32_t width, int32_t height) {
  return 0 <= r.left && r.left < r.right && r.right <= width && 0 <= r.top && r.top < r.bottom &&
         r.bottom <= height;
}

int CheckArguments(const ImageDesc* destination, const ImageDesc* source,
                   const PixelRoutineOptions* options) {
  if (destination == nullptr || source == nullptr || options == nullptr) return kPixelNoArguments;
  if (destination->size < sizeof(ImageDesc) || source->size < sizeof(ImageDesc)) return kPixelBadSize;
  if (options->kind == kOptionsGiven) {
    if (options->size < kOptionsMinSize) return kPixelBadSize;
  } else if (options->kind != kOptionsDefaults) {
    return kPixelBadOptionsKind;
  }
  if (const int status = ValidateImageDesc(destination)) return status;
  return ValidateImageDesc(source);
}

// The equal-depth copies move the destination's whole pixel block.
int CopyBlock(const ImageDesc* destination, const ImageDesc* source) {
  if (BlockBytes(*source) < BlockBytes(*destination)) return kPixelBadRect;
  std::memmove(destination->bits, source->bits, BlockBytes(*destination));
  return kPixelOk;
}

// Runs kernel(destination row, source row, pixels) over the overlap of the two
// rectangles; the reversing workers read the source rectangle bottom up.
template <typename RowKernel>
int ForEachRow(const ImageDesc* destination, const ImageDesc* source, bool reverse,
               RowKernel kernel) {
  const Rect& d = destination->rect;
  const Rect& s = source->rect;
  const int64_t rows = std::min(int64_t{d.bottom} - d.top, int64_t{s.bottom} - s.top);
  const int64_t columns = std::min(int64_t{d.right} - d.left, int64_t{s.right} - s.left);
  for (int64_t i = 0; i < rows; ++i) {
    const int64_t sourceRow = reverse ? s.bottom - 1 - i : s.top + i;
    kernel(PixelAt(*destination, d.top + i, d.left), PixelAt(*source, sourceRow, s.left),
           static_cast<size_t>(columns));
  }
  return kPixelOk;
}

// Row workers: called only after every check has passed.

int ConvertRows16To8(const ImageDesc* destination, const ImageDesc* source,
                     const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, false, rows::NarrowSamples);
}

int ConvertRows32To24(const ImageDesc* destination, const ImageDesc* source,
                      const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, false, rows::DropFourthByte);
}

int ConvertRows48To24(const ImageDesc* destination, const ImageDesc* source,
                      const PixelRoutineOptions*, int32_t, int32_t) {
  const size_t sourcePixelBytes = static_cast<size_t>(BytesPerPixel(*source));
  return ForEachRow(destination, source, false, [=](uint8_t* d, const uint8_t* s, size_t count) {
    rows::NarrowColorSamples(d, s, count, sourcePixelBytes);
  });
}

int ScaleRows16(const ImageDesc* destination, const ImageDesc* source, const PixelRoutineOptions*,
                int32_t, int32_t) {
  return ForEachRow(destination, source, false, rows::ScaleSamples);
}

int ScaleRows48(const ImageDesc* destination, const ImageDesc* source, const PixelRoutineOptions*,
                int32_t, int32_t) {
  return ForEachRow(destination, source, false, [](uint8_t* d, const uint8_t* s, size_t count) {
    rows::ScaleSamples(d, s, 3 * count);
  });
}

int ScaleRows64(const ImageDesc* destination, const ImageDesc* source, const PixelRoutineOptions*,
                int32_t, int32_t) {
  return ForEachRow(destination, source, false, [](uint8_t* d, const uint8_t* s, size_t count) {
    rows::ScaleSamples(d, s, 4 * count);
  });
}

// Copies whole stored rows from the rectangle's left pixel on, as many bytes
// as the shorter of the two rows holds from there.
int CopyRowsFlip(const ImageDesc* destination, const ImageDesc* source, const PixelRoutineOptions*,
                 int32_t, int32_t) {
  const Rect& d = destination->rect;
  const Rect& s = source->rect;
  const int64_t rows = std::min(int64_t{d.bottom} - d.top, int64_t{s.bottom} - s.top);
  const int64_t bytes = std::min(destination->stride - d.left * BytesPerPixel(*destination),
                                 source->stride - s.left * BytesPerPixel(*source));
  for (int64_t i = 0; i < rows; ++i) {
    std::memmove(PixelAt(*destination, d.top + i, d.left), PixelAt(*source, s.bottom - 1 - i, s.left),
                 static_cast<size_t>(bytes));
  }
  return kPixelOk;
}

int ScaleRows16Flip(const ImageDesc* destination, const ImageDesc* source,
                    const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, true, rows::ScaleSamples);
}

int SwapRows24Flip(const ImageDesc* destination, const ImageDesc* source,
                   const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, true, rows::SwapRedBlue24);
}

int SwapRows32Flip(const ImageDesc* destination, const ImageDesc* source,
                   const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, true, rows::SwapRedBlue32);
}

int SwapScaleRows48Flip(const ImageDesc* destination, const ImageDesc* source,
                        const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, true, rows::SwapScaleSamples48);
}

int SwapScaleRows64Flip(const ImageDesc* destination, const ImageDesc* source,
                        const PixelRoutineOptions*, int32_t, int32_t) {
  return ForEachRow(destination, source, true, rows::SwapScaleSamples64);
}

}  // namespace

int ValidateImageDesc(const ImageDesc* desc) {
  if (desc == nullptr) return kPixelNoArguments;
  const ImageDesc& d = *desc;
  if (d.width == 0) return kPixelNoWidth;
  if (d.height == 0) return kPixelNoHeight;
  if (d.stride <= 0) return kPixelBadStride;
  if (d.bitsPerPixel == 0 || d.bitsPerPixel % 8 != 0) return kPixelBadDepth;
  if (d.bits == nullptr) return kPixelNoBits;
  if (!RectInside(d.rect, d.width, d.height)) return kPixelBadRect;
  if (int64_t{d.width} * BytesPerPixel(d) > d.stride) return kPixelBadStride;
  return kPixelOk;
}

int ConvertDepth(const ImageDesc* destination, const ImageDesc* source,
                 const PixelRoutineOptions* options, int32_t a, int32_t b) {
  if (const int status = CheckArguments(destination, source, options)) return status;
  const uint32_t from = source->bitsPerPixel;
  const uint32_t to = destination->bitsPerPixel;
  if (from == to && (from == 8 || from == 24)) return CopyBlock(destination, source);
  if (from == 16 && to == 8) return ConvertRows16To8(destination, source, options, a, b);
  if (from == 32 && to == 24) return ConvertRows32To24(destination, source, options, a, b);
  if ((from == 48 || from == 64) && to == 24) {
    return ConvertRows48To24(destination, source, options, a, b);
  }
  return kPixelBadDepth;
}

int ConvertSameDepth(const ImageDesc* destination, const ImageDesc* source,
                     const PixelRoutineOptions* options, int32_t a, int32_t b) {
  if (const int status = CheckArguments(destination, source, options)) return status;
  if (destination->bitsPerPixel != source->bitsPerPixel) return kPixelBadDepth;
  switch (source->bitsPerPixel) {
    case 8:
    case 24:
    case 32:
      return CopyBlock(destination, source);
    case 16:
      return ScaleRows16(destination, source, options, a, b);
    case 48:
      return ScaleRows48(destination, source, options, a, b);
    case 64:
      return ScaleRows64(destination, source, options, a, b);
    default:
      return kPixelBadDepth;
  }
}

int ConvertFlipSwap(const ImageDesc* destination, const ImageDesc* source,
                    const PixelRoutineOptions* options, int32_t a, int32_t b) {
  if (const int status = CheckArguments(destination, source, options)) return status;
  if (destination->bitsPerPixel != source->bitsPerPixel) return kPixelBadDepth;
  switch (source->bitsPerPixel) {
    case 8:
      return CopyRowsFlip(destination, source, options, a, b);
    case 16:
      return ScaleRows16Flip(destination, source, options, a, b);
    case 24:
      return SwapRows24Flip(destination, source, options, a, b);
    case 32:
      return SwapRows32Flip(destination, source, options, a, b);
    case 48:
      return SwapScaleRows48Flip(destination, source, options, a, b);
    case 64:
      return SwapScaleRows64Flip(destination, source, options, a, b);
    default:
      return kPixelBadDepth;
  }
}

}  // namespace quvex
