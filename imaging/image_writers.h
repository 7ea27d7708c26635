// Still-image files: one dispatcher that brings an image into a depth its
// encoder takes, and the JPEG, PNG and TIFF writers behind it. Every writer
// treats the image as a bottom-up bitmap (the last stored row is the top of
// the picture) and returns 1 on success, 0 on failure. A refused format or
// depth creates no file.
#pragma once

#include <cstdint>

#include "imaging/dib_image.h"

struct png_struct_def;

namespace quvex {

enum ImageFileFormat : uint32_t {
  kImageFileBmp = 0,
  kImageFileBareBits = 1,    // height x stride bytes as stored, no header
  kImageFileJpegHigh = 2,    // quality 100
  kImageFileJpegMiddle = 3,  // quality 70
  kImageFileJpegLow = 4,     // quality 20
  kImageFilePng = 5,
  kImageFileTiff = 6,
};

int SaveImageFile(const char16_t* path, const CDibImage* image, uint32_t code) noexcept;

// 8-bit (grey levels) or 24-bit images only; quality 0 to 100.
int SaveJpegFile(const char16_t* path, const CDibImage* image, int quality, int progressive) noexcept;

// 8, 16, 24, 32, 48 or 64 bits; 16-bit samples are written as they stand.
int SavePngFile(const char16_t* path, const CDibImage* image) noexcept;

// libpng's error function for the PNG writer: jumps back to the failing save
// without printing the message. Returns only when given no structure.
void SavePngErrorHandler(png_struct_def* png, const char* message);

// 8 to 64 bits; rows are written top first, red before blue, 16-bit samples
// scaled from 10 bits to the full range.
int SaveTiffFile(const char16_t* path, const CDibImage* image) noexcept;

}  // namespace quvex
