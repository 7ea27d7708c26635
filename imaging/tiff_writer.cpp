// TIFF writer over libtiff: one uncompressed strip, contiguous samples, the
// picture's top row first and red before blue.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "imaging/image_writers.h"
#include "imaging/pixel_routines.h"
#include "quvex_platform/file.h"
#include "quvex_platform/text.h"

namespace quvex {
namespace {

struct TiffLayout {
  uint16_t bitsPerSample;
  uint16_t photometric;
  uint16_t samplesPerPixel;
};

bool LayoutFor(uint16_t bitsPerPixel, TiffLayout& layout) {
  switch (bitsPerPixel) {
    case 8: layout = {8, PHOTOMETRIC_MINISBLACK, 1}; return true;
    case 16: layout = {16, PHOTOMETRIC_MINISBLACK, 1}; return true;
    case 24: layout = {8, PHOTOMETRIC_RGB, 3}; return true;
    case 32: layout = {8, PHOTOMETRIC_RGB, 4}; return true;
    case 48: layout = {16, PHOTOMETRIC_RGB, 3}; return true;
    case 64: layout = {16, PHOTOMETRIC_RGB, 4}; return true;
    default: return false;
  }
}

// Drops the padding at the end of each stored row, so that the strip holds
// exactly the rows TIFF expects; returns the strip's byte count.
size_t PackRows(CDibImage& image) {
  const size_t rowBytes = static_cast<size_t>(image.Width()) * (image.BitsPerPixel() / 8);
  const size_t stride = static_cast<size_t>(image.Stride());
  uint8_t* bits = image.Bits();
  if (rowBytes != stride) {
    for (size_t row = 1; row < static_cast<size_t>(image.Height()); ++row)
      std::memmove(bits + row * rowBytes, bits + row * stride, rowBytes);
  }
  return rowBytes * static_cast<size_t>(image.Height());
}

bool WriteStrip(TIFF* tiff, const CDibImage& image, const TiffLayout& layout, uint8_t* strip,
                size_t size) {
  const bool described =
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.Width())) &&
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.Height())) &&
      TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
      TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample) &&
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric) &&
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
  if (!described) return false;
  const tmsize_t written = TIFFWriteEncodedStrip(tiff, 0, strip, static_cast<tmsize_t>(size));
  return written == static_cast<tmsize_t>(size) && TIFFFlush(tiff) == 1;
}

// Takes libtiff's errors and warnings for one file and prints nothing; the
// 1 keeps them from the process-wide handlers, which print to the standard
// error stream and which a host using libtiff itself may have set.
int IgnoreTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* OpenSilently(int descriptor, const char* name) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, IgnoreTiffMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreTiffMessage, nullptr);
  TIFF* tiff = TIFFFdOpenExt(descriptor, name, "w", options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

}  // namespace

int SaveTiffFile(const char16_t* path, const CDibImage* image) noexcept try {
  TiffLayout layout{};
  if (path == nullptr || image == nullptr || image->Bits() == nullptr ||
      !LayoutFor(image->BitsPerPixel(), layout))
    return 0;
  const std::optional<std::string> name =
      platform::Utf16ToUtf8(std::u16string_view(path, platform::Utf16Length(path)));
  if (!name) return 0;

  CDibImage flipped;
  if (!flipped.CopyFrom(image) || flipped.Bits() == nullptr ||
      flipped.Convert(ConvertFlipSwap, image, nullptr, nullptr, nullptr, 0, 0) != 0)
    return 0;
  const size_t size = PackRows(flipped);

  // libtiff writes through the descriptor; closing the stream ourselves lets
  // a failed close count as a failed save.
  FILE* file = platform::OpenStdio(path, "wb");
  if (file == nullptr) return 0;
  bool saved = false;
  if (TIFF* tiff = OpenSilently(fileno(file), name->c_str())) {
    saved = WriteStrip(tiff, *image, layout, flipped.Bits(), size);
    TIFFCleanup(tiff);
  }
  if (std::fclose(file) != 0) saved = false;
  return saved ? 1 : 0;
} catch (...) {
  return 0;
}

}  // namespace quvex
