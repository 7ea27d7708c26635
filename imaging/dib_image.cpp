#include "imaging/dib_image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "imaging/file_buffer.h"

namespace quvex {
namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = sizeof(BitmapInfoHeader);
constexpr uint32_t kColorTableBytes = sizeof(ColorTable);
static_assert(kColorTableBytes == 1024);

ColorTable GreyRamp() {
  ColorTable table{};
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<uint8_t>(i);
    table[static_cast<size_t>(i)] = {level, level, level, 0};
  }
  return table;
}

Rect ResolveRect(const Rect* rect, int32_t width, int32_t height) {
  return rect != nullptr ? *rect : Rect{0, 0, width, height};
}

ImageDesc Describe(const CDibImage& image, const Rect* rect) {
  return {sizeof(ImageDesc),
          image.Width(),
          image.Height(),
          image.Stride(),
          image.BitsPerPixel(),
          // The routines never write through the source descriptor.
          const_cast<uint8_t*>(image.Bits()),
          ResolveRect(rect, image.Width(), image.Height())};
}

void PutUint32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

CDibImage::CDibImage(const CDibImage& source) {
  if (!Assign(&source)) Release();
}

CDibImage::CDibImage(CDibImage&& other) noexcept { *this = std::move(other); }

CDibImage& CDibImage::operator=(CDibImage&& other) noexcept {
  if (this != &other) {
    header_ = other.header_;
    section_ = other.section_;
    colorTable_ = std::move(other.colorTable_);
    bits_ = std::move(other.bits_);
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    bitsPerPixel_ = other.bitsPerPixel_;
    other.Release();
  }
  return *this;
}

int32_t CDibImage::StrideFor(int32_t width, uint16_t bitsPerPixel) {
  return static_cast<int32_t>((int64_t{bitsPerPixel / 8} * width + 3) & ~int64_t{3});
}

bool CDibImage::UsableSize(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  if (width <= 0 || height <= 0 || bitsPerPixel == 0) return false;
  return int64_t{bitsPerPixel / 8} * width + 3 <= std::numeric_limits<int32_t>::max();
}

void CDibImage::SetGeometry(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  header_ = BitmapInfoHeader{};
  header_.biWidth = width;
  header_.biHeight = height;
  header_.biPlanes = 1;
  header_.biBitCount = bitsPerPixel;
  width_ = width;
  height_ = height;
  stride_ = StrideFor(width, bitsPerPixel);
  bitsPerPixel_ = bitsPerPixel;
}

bool CDibImage::AllocatePixels() {
  bits_.reset(new (std::nothrow) uint8_t[ByteSize()]());
  return bits_ != nullptr;
}

// The section's pixels, and at 8 bits its colour table: the given one, or a
// grey ramp.
int CDibImage::CreateSection(const ColorTable* table) {
  section_ = true;
  if (!AllocatePixels()) {
    Release();
    return 0;
  }
  if (bitsPerPixel_ == 8) {
    colorTable_.reset(new (std::nothrow) ColorTable);
    if (colorTable_ == nullptr) {
      Release();
      return 0;
    }
    if (table != nullptr) {
      *colorTable_ = *table;
    } else {
      SetPalette(0, nullptr, 0, 256);
    }
  }
  return 1;
}

int CDibImage::Create(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  if (!UsableSize(width, height, bitsPerPixel)) return 0;
  Release();
  SetGeometry(width, height, bitsPerPixel);
  return CreateSection(nullptr);
}

int CDibImage::CreateMemory(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  if (!UsableSize(width, height, bitsPerPixel)) return 0;
  Release();
  SetGeometry(width, height, bitsPerPixel);
  if (!AllocatePixels()) {
    Release();
    return 0;
  }
  return 1;
}

int CDibImage::SetPalette(int mode, const RgbQuad* table, int first, int count) {
  if (colorTable_ == nullptr) return 1;
  if (mode == 0) {
    *colorTable_ = GreyRamp();
  } else if (mode == 2 && table != nullptr && first >= 0 && first < 256 && count > 0) {
    const int n = std::min(count, 256 - first);
    std::copy(table, table + n, colorTable_->begin() + first);
  }
  return 1;
}

int CDibImage::CopyFrom(const CDibImage* source) {
  if (source == nullptr || !UsableSize(source->width_, source->height_, source->bitsPerPixel_)) {
    return 0;
  }
  // Taken before releasing, since the source may be this image.
  const BitmapInfoHeader header = source->header_;
  const int32_t width = source->width_;
  const int32_t height = source->height_;
  const uint16_t bitsPerPixel = source->bitsPerPixel_;
  const bool takeTable = source->section_ && source->colorTable_ != nullptr;
  const ColorTable table = takeTable ? *source->colorTable_ : ColorTable{};
  Release();
  SetGeometry(width, height, bitsPerPixel);
  header_ = header;
  return CreateSection(takeTable ? &table : nullptr);
}

int CDibImage::Assign(const CDibImage* source) {
  if (source == nullptr) return 0;
  if (source == this) return bits_ != nullptr ? 1 : 0;
  if (source->section_ || source->bits_ == nullptr) {
    if (!CopyFrom(source)) return 0;
    return Blit(source, nullptr, 0, 0);
  }
  if (!CreateMemory(source->width_, source->height_, source->bitsPerPixel_)) return 0;
  std::memcpy(bits_.get(), source->bits_.get(), ByteSize());
  return 1;
}

int CDibImage::Blit(const CDibImage* source, const Rect* sourceRect, int32_t x, int32_t y) {
  if (source == nullptr || !section_ || !source->section_ || bits_ == nullptr ||
      source->bits_ == nullptr || bitsPerPixel_ != source->bitsPerPixel_ || bitsPerPixel_ % 8 != 0) {
    return 0;
  }
  const Rect r = ResolveRect(sourceRect, source->width_, source->height_);
  int64_t sx = r.left, sy = r.top, dx = x, dy = y;
  int64_t w = int64_t{r.right} - r.left, h = int64_t{r.bottom} - r.top;
  // Clip to the source, then to this image.
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  w = std::min(w, source->width_ - sx);
  h = std::min(h, source->height_ - sy);
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  w = std::min(w, width_ - dx);
  h = std::min(h, height_ - dy);
  if (w <= 0 || h <= 0) return 1;

  const int64_t pixelBytes = bitsPerPixel_ / 8;
  const auto copyRow = [&](int64_t i) {
    std::memmove(bits_.get() + (dy + i) * stride_ + dx * pixelBytes,
                 source->bits_.get() + (sy + i) * source->stride_ + sx * pixelBytes,
                 static_cast<size_t>(w * pixelBytes));
  };
  // Within one image, rows moving up are copied last-first so that each is
  // read before it is overwritten.
  if (dy > sy) {
    for (int64_t i = h - 1; i >= 0; --i) copyRow(i);
  } else {
    for (int64_t i = 0; i < h; ++i) copyRow(i);
  }
  return 1;
}

int CDibImage::Convert(ConvertRoutine routine, const CDibImage* source,
                       const PixelRoutineOptions* options, const Rect* destinationRect,
                       const Rect* sourceRect, int32_t a, int32_t b) {
  if (routine == nullptr) return 1;
  const ImageDesc destination = Describe(*this, destinationRect);
  const PixelRoutineOptions defaults{12, 1, 0};
  const PixelRoutineOptions* given = options != nullptr ? options : &defaults;
  if (source == nullptr) return routine(&destination, nullptr, given, a, b);
  const ImageDesc from = Describe(*source, sourceRect);
  return routine(&destination, &from, given, a, b);
}

int CDibImage::Stretch(StretchRoutine routine, const CDibImage* source, const Rect* sourceRect,
                       const Rect* destinationRect, int32_t a, int32_t b) {
  if (routine == nullptr || source == nullptr) return 0;
  const Rect d = ResolveRect(destinationRect, width_, height_);
  const Rect s = ResolveRect(sourceRect, source->width_, source->height_);
  return routine(bits_.get(), source->bits_.get(), &d, &s, width_, height_, source->width_,
                 source->height_, static_cast<uint16_t>(bitsPerPixel_ / 8),
                 static_cast<uint16_t>(source->bitsPerPixel_ / 8), stride_, source->stride_, a, b);
}

int CDibImage::Release() {
  colorTable_.reset();
  bits_.reset();
  section_ = false;
  width_ = 0;
  height_ = 0;
  stride_ = 0;
  bitsPerPixel_ = 0;
  header_ = BitmapInfoHeader{};
  return 0;
}

int CDibImage::SaveBmp(const char16_t* path) const {
  if (path == nullptr) return 0;
  const bool withTable = bitsPerPixel_ <= 8;
  const uint32_t pixelOffset = kFileHeaderBytes + kInfoHeaderBytes + (withTable ? kColorTableBytes : 0);
  const uint64_t fileSize = pixelOffset + uint64_t{ByteSize()};
  // The file header holds 32-bit sizes.
  if (fileSize > std::numeric_limits<uint32_t>::max()) return 0;

  CFileBuffer file;
  if (!file.CreateWrite(path)) return 0;
  uint8_t fileHeader[kFileHeaderBytes] = {'B', 'M'};
  PutUint32(fileHeader + 2, static_cast<uint32_t>(fileSize));
  PutUint32(fileHeader + 10, pixelOffset);
  bool written = file.Write(fileHeader, kFileHeaderBytes) == 1 &&
                 file.Write(&header_, kInfoHeaderBytes) == 1;
  if (written && withTable) {
    const ColorTable table = colorTable_ != nullptr ? *colorTable_ : GreyRamp();
    written = file.Write(table.data(), kColorTableBytes) == 1;
  }
  if (written && ByteSize() > 0) {
    written = file.Write(bits_.get(), static_cast<uint32_t>(ByteSize())) == 1;
  }
  const bool closed = file.Close() == 1;
  return written && closed ? 1 : 0;
}

}  // namespace quvex
