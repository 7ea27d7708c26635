// Plain image descriptors and the signatures of the pixel routines that
// convert and stretch between two of them.
#pragma once

#include <cstdint>

namespace quvex {

struct Rect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

struct ImageDesc {
  uint32_t size;  // must be at least sizeof(ImageDesc)
  int32_t width;
  int32_t height;
  int32_t stride;          // bytes from one stored row to the next
  uint32_t bitsPerPixel;   // 8, 16, 24, 32, 48 or 64
  uint8_t* bits;           // first stored row
  Rect rect;               // region to process
};

static_assert(sizeof(void*) != 8 || sizeof(ImageDesc) == 48, "the 64-bit descriptor is 48 bytes");

struct PixelRoutineOptions {
  uint32_t size;  // at least 12 when kind is 10
  uint32_t kind;  // 1: the routine's defaults; 10: given in full
  uint32_t reserved;
};

// Conversion routines return 0 or a status 1 to 9.
using ConvertRoutine = int (*)(const ImageDesc* destination, const ImageDesc* source,
                               const PixelRoutineOptions* options, int32_t a, int32_t b);

using StretchRoutine = int (*)(uint8_t* destinationBits, const uint8_t* sourceBits,
                               const Rect* destinationRect, const Rect* sourceRect,
                               int32_t destinationWidth, int32_t destinationHeight,
                               int32_t sourceWidth, int32_t sourceHeight,
                               uint16_t destinationBytesPerPixel, uint16_t sourceBytesPerPixel,
                               int32_t destinationStride, int32_t sourceStride, int32_t a, int32_t b);

}  // namespace quvex
