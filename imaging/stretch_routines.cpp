// Nearest-neighbour stretches of 24-bit pixels between two rectangles.
#include <cstring>

#include "imaging/pixel_routines.h"

namespace quvex {
namespace {

struct Plane {
  int32_t width;
  int32_t height;
  int64_t bytesPerPixel;
  int64_t stride;
};

// Three bytes are copied per pixel, so a pixel must hold at least three.
bool Usable(const void* bits, const Plane& p) {
  return bits != nullptr && p.width > 0 && p.height > 0 && p.bytesPerPixel >= 3 &&
         p.width * p.bytesPerPixel <= p.stride;
}

bool Inside(const Rect* r, const Plane& p) {
  return r != nullptr && 0 <= r->left && r->left < r->right && r->right <= p.width &&
         0 <= r->top && r->top < r->bottom && r->bottom <= p.height;
}

// Source / destination extent, divided in extended precision and then
// rounded to single precision.
float Step(int32_t sourceExtent, int32_t destinationExtent) {
  return static_cast<float>(static_cast<long double>(sourceExtent) / destinationExtent);
}

// trunc(i x step) in single precision, kept inside the source extent.
int64_t SampleIndex(int64_t i, float step, int32_t sourceExtent) {
  const auto index = static_cast<int64_t>(static_cast<float>(i) * step);
  return index < 0 ? 0 : (index >= sourceExtent ? sourceExtent - 1 : index);
}

// Samples from the source rectangle's origin (or, flipped, from its bottom
// row upwards); whole-image rectangles sample from the first row and column.
int StretchRect(uint8_t* destinationBits, const uint8_t* sourceBits, const Rect* destinationRect,
                const Rect* sourceRect, const Plane& destination, const Plane& source,
                bool flip) {
  if (!Usable(destinationBits, destination) || !Usable(sourceBits, source) ||
      !Inside(destinationRect, destination) || !Inside(sourceRect, source)) {
    return 0;
  }
  const Rect& d = *destinationRect;
  const Rect& s = *sourceRect;
  const int32_t columns = d.right - d.left;
  const int32_t rows = d.bottom - d.top;
  const int32_t sourceColumns = s.right - s.left;
  const int32_t sourceRows = s.bottom - s.top;
  const float columnStep = Step(sourceColumns, columns);
  const float rowStep = Step(sourceRows, rows);
  for (int64_t i = 0; i < rows; ++i) {
    const int64_t sy = SampleIndex(i, rowStep, sourceRows);
    const int64_t sourceRow = flip ? s.bottom - 1 - sy : s.top + sy;
    const uint8_t* in = sourceBits + sourceRow * source.stride + s.left * source.bytesPerPixel;
    uint8_t* out = destinationBits + (d.top + i) * destination.stride + d.left * destination.bytesPerPixel;
    for (int64_t j = 0; j < columns; ++j) {
      const int64_t sx = SampleIndex(j, columnStep, sourceColumns);
      std::memmove(out + j * destination.bytesPerPixel, in + sx * source.bytesPerPixel, 3);
    }
  }
  return 1;
}

}  // namespace

int StretchNearest(uint8_t* destinationBits, const uint8_t* sourceBits, const Rect* destinationRect,
                   const Rect* sourceRect, int32_t destinationWidth, int32_t destinationHeight,
                   int32_t sourceWidth, int32_t sourceHeight, uint16_t destinationBytesPerPixel,
                   uint16_t sourceBytesPerPixel, int32_t destinationStride, int32_t sourceStride,
                   int32_t, int32_t) {
  return StretchRect(destinationBits, sourceBits, destinationRect, sourceRect,
                     {destinationWidth, destinationHeight, destinationBytesPerPixel, destinationStride},
                     {sourceWidth, sourceHeight, sourceBytesPerPixel, sourceStride}, false);
}

int StretchNearestFlip(uint8_t* destinationBits, const uint8_t* sourceBits,
                       const Rect* destinationRect, const Rect* sourceRect,
                       int32_t destinationWidth, int32_t destinationHeight, int32_t sourceWidth,
                       int32_t sourceHeight, uint16_t destinationBytesPerPixel,
                       uint16_t sourceBytesPerPixel, int32_t destinationStride,
                       int32_t sourceStride, int32_t, int32_t) {
  return StretchRect(destinationBits, sourceBits, destinationRect, sourceRect,
                     {destinationWidth, destinationHeight, destinationBytesPerPixel, destinationStride},
                     {sourceWidth, sourceHeight, sourceBytesPerPixel, sourceStride}, true);
}

}  // namespace quvex
