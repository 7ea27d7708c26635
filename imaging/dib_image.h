// The one image class: an uncompressed bottom-up device-independent bitmap of
// 8, 16, 24, 32, 48 or 64 bits per pixel. A "section" image (made by Create or
// CopyFrom) keeps a 256-entry colour table when it has 8 bits per pixel and
// can be blitted to and from; a "memory" image (CreateMemory) holds pixels
// only. Pixels start zeroed. Rectangles are in pixels and stored rows (row 0
// is the first stored row, the bottom of the picture). Images move cheaply;
// copies never share pixels. Nothing here throws: a failed allocation is a
// result of 0.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "imaging/image_desc.h"

namespace quvex {

#pragma pack(push, 1)
struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
struct RgbQuad {
  uint8_t blue, green, red, reserved;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

using ColorTable = std::array<RgbQuad, 256>;

class CDibImage {
 public:
  CDibImage() = default;
  CDibImage(const CDibImage& source);  // Assign; a failure leaves it empty
  CDibImage& operator=(const CDibImage&) = delete;
  CDibImage(CDibImage&& other) noexcept;
  CDibImage& operator=(CDibImage&& other) noexcept;
  ~CDibImage() { Release(); }

  // 0 and the image unchanged when the size or depth is unusable; 0 and an
  // empty image when the pixels cannot be allocated.
  int Create(int32_t width, int32_t height, uint16_t bitsPerPixel);
  int CreateMemory(int32_t width, int32_t height, uint16_t bitsPerPixel);
  // Colour table modes: 0 grey ramp, 2 the given entries; others do nothing.
  int SetPalette(int mode, const RgbQuad* table, int first, int count);
  // A section image of the source's header and size (and, at 8 bits, its
  // colour table), pixels zeroed rather than copied.
  int CopyFrom(const CDibImage* source);
  // A copy of the source with its pixels.
  int Assign(const CDibImage* source);
  // Copies a rectangle of source (whole image when null) to (x, y), clipped to
  // both images; both must be section images of one depth. Non-zero on success.
  int Blit(const CDibImage* source, const Rect* sourceRect, int32_t x, int32_t y);
  // The routine's code; 1 when no routine is given. Null rectangles stand for
  // the whole image, null options for {12, 1, 0}.
  int Convert(ConvertRoutine routine, const CDibImage* source, const PixelRoutineOptions* options,
              const Rect* destinationRect, const Rect* sourceRect, int32_t a, int32_t b);
  // The routine's result; 0 when no routine or no source is given.
  int Stretch(StretchRoutine routine, const CDibImage* source, const Rect* sourceRect,
              const Rect* destinationRect, int32_t a, int32_t b);
  // Frees everything and leaves the image empty; returns 0.
  int Release();
  // Writes a BMP file (an existing file is emptied first); 1 when every write
  // and the close succeeded. Images of 8 bits or fewer carry their colour
  // table, or a grey ramp when they have none.
  int SaveBmp(const char16_t* path) const;

  const BitmapInfoHeader& Header() const { return header_; }
  bool IsSection() const { return section_; }
  bool HasColorTable() const { return colorTable_ != nullptr; }
  const ColorTable* GetColorTable() const { return colorTable_.get(); }
  uint8_t* Bits() { return bits_.get(); }
  const uint8_t* Bits() const { return bits_.get(); }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t Stride() const { return stride_; }
  uint16_t BitsPerPixel() const { return bitsPerPixel_; }
  size_t ByteSize() const { return static_cast<size_t>(stride_) * static_cast<size_t>(height_); }

  // Bytes per stored row: whole bytes per pixel times width, rounded up to a
  // multiple of 4. Valid for the sizes that Create accepts.
  static int32_t StrideFor(int32_t width, uint16_t bitsPerPixel);

 private:
  static bool UsableSize(int32_t width, int32_t height, uint16_t bitsPerPixel);
  void SetGeometry(int32_t width, int32_t height, uint16_t bitsPerPixel);
  bool AllocatePixels();
  int CreateSection(const ColorTable* table);

  BitmapInfoHeader header_{};
  bool section_ = false;
  std::unique_ptr<ColorTable> colorTable_;
  std::unique_ptr<uint8_t[]> bits_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint16_t bitsPerPixel_ = 0;
};

}  // namespace quvex
