// Pixel routines: copy the pixels of one image descriptor into another while
// changing how they are stored (depth, row order, colour order, sample
// range), and nearest-neighbour stretches of 24-bit pixels.
//
// 16-bit samples are 10-bit values: >> 2 gives 8 bits, << 6 fills 16 bits.
// Samples above 0x03FF saturate (0xFF / 0xFFC0) instead of wrapping.
#pragma once

#include <cstdint>

#include "imaging/image_desc.h"

namespace quvex {

// Results of the conversion routines and of ValidateImageDesc.
enum PixelStatus : int {
  kPixelOk = 0,
  kPixelNoArguments = 1,   // destination, source or options missing
  kPixelBadOptionsKind = 2,
  kPixelBadSize = 3,       // descriptor or options record too small
  kPixelNoWidth = 4,
  kPixelNoHeight = 5,
  kPixelBadStride = 6,     // zero, negative, or shorter than a row
  kPixelBadDepth = 7,      // zero, not whole bytes, or a pair not converted
  kPixelNoBits = 8,
  kPixelBadRect = 9,       // rectangle empty or not inside the image
};

inline constexpr uint32_t kOptionsDefaults = 1;  // PixelRoutineOptions::kind
inline constexpr uint32_t kOptionsGiven = 10;
inline constexpr uint32_t kOptionsMinSize = 12;

// 0, or the first failing check among codes 4 to 9.
int ValidateImageDesc(const ImageDesc* desc);

// Every check runs before any pixel is written: a refused call leaves the
// destination untouched. Only pixels inside the destination rectangle change,
// except the equal-depth block copies, which copy the destination's whole
// stride x height bytes (refused with 9 when the source holds fewer).
// The last two arguments are passed through by callers and not read.

// 16 -> 8, 32 -> 24, 48 or 64 -> 24; a block copy at 8 or 24 bits.
int ConvertDepth(const ImageDesc* destination, const ImageDesc* source,
                 const PixelRoutineOptions* options, int32_t a, int32_t b);
// Same depth; 16-bit samples are moved to the 16-bit range.
int ConvertSameDepth(const ImageDesc* destination, const ImageDesc* source,
                     const PixelRoutineOptions* options, int32_t a, int32_t b);
// Same depth, rows in reverse order, red and blue exchanged, 16-bit samples
// moved to the 16-bit range.
int ConvertFlipSwap(const ImageDesc* destination, const ImageDesc* source,
                    const PixelRoutineOptions* options, int32_t a, int32_t b);

// Nearest-neighbour resampling of the source rectangle onto the destination
// rectangle, three bytes per pixel (a fourth byte is left as it was). The
// flip variant samples the source rows bottom up. 1 on success; 0 when an
// image or rectangle is unusable (nothing is written then).
int StretchNearest(uint8_t* destinationBits, const uint8_t* sourceBits, const Rect* destinationRect,
                   const Rect* sourceRect, int32_t destinationWidth, int32_t destinationHeight,
                   int32_t sourceWidth, int32_t sourceHeight, uint16_t destinationBytesPerPixel,
                   uint16_t sourceBytesPerPixel, int32_t destinationStride, int32_t sourceStride,
                   int32_t a, int32_t b);
int StretchNearestFlip(uint8_t* destinationBits, const uint8_t* sourceBits,
                       const Rect* destinationRect, const Rect* sourceRect,
                       int32_t destinationWidth, int32_t destinationHeight, int32_t sourceWidth,
                       int32_t sourceHeight, uint16_t destinationBytesPerPixel,
                       uint16_t sourceBytesPerPixel, int32_t destinationStride,
                       int32_t sourceStride, int32_t a, int32_t b);

}  // namespace quvex
