// The still-image dispatcher: picks the writer for a format code and makes
// the temporary copy that brings the image into a depth the encoder takes.
#include "imaging/image_writers.h"

#include <limits>

#include "imaging/file_buffer.h"
#include "imaging/pixel_routines.h"

namespace quvex {
namespace {

// Whole-image conversion into a temporary of the right shape; false when the
// temporary cannot be made or the routine refuses the pair of depths.
bool ConvertInto(CDibImage& temporary, ConvertRoutine routine, const CDibImage& image) {
  return temporary.Bits() != nullptr &&
         temporary.Convert(routine, &image, nullptr, nullptr, nullptr, 0, 0) == 0;
}

int SaveBareBits(const char16_t* path, const CDibImage& image) {
  const size_t size = image.ByteSize();
  if (size > std::numeric_limits<uint32_t>::max()) return 0;
  CFileBuffer file;
  if (!file.CreateWrite(path)) return 0;
  const int written = file.Write(image.Bits(), static_cast<uint32_t>(size));
  const int closed = file.Close();
  return written && closed ? 1 : 0;
}

int SaveJpeg(const char16_t* path, const CDibImage& image, int quality) {
  uint16_t narrowDepth = 0;
  switch (image.BitsPerPixel()) {
    case 8:
    case 24:
      return SaveJpegFile(path, &image, quality, 1);
    case 16:
      narrowDepth = 8;
      break;
    case 32:
    case 48:
    case 64:
      narrowDepth = 24;
      break;
    default:
      return 0;
  }
  CDibImage narrow;
  narrow.Create(image.Width(), image.Height(), narrowDepth);
  if (!ConvertInto(narrow, ConvertDepth, image)) return 0;
  return SaveJpegFile(path, &narrow, quality, 1);
}

int SavePng(const char16_t* path, const CDibImage& image) {
  switch (image.BitsPerPixel()) {
    case 8:
    case 24:
    case 32:
      return SavePngFile(path, &image);
    case 16:
    case 48:
    case 64:
      break;
    default:
      return 0;
  }
  CDibImage scaled;
  scaled.CopyFrom(&image);
  if (!ConvertInto(scaled, ConvertSameDepth, image)) return 0;
  return SavePngFile(path, &scaled);
}

int JpegQuality(uint32_t code) {
  switch (code) {
    case kImageFileJpegMiddle:
      return 70;
    case kImageFileJpegLow:
      return 20;
    default:
      return 100;
  }
}

}  // namespace

int SaveImageFile(const char16_t* path, const CDibImage* image, uint32_t code) noexcept try {
  if (image == nullptr || path == nullptr) return 0;
  if (code == kImageFileBmp) return image->SaveBmp(path);
  if (image->Bits() == nullptr) return 0;
  switch (code) {
    case kImageFileBareBits:
      return SaveBareBits(path, *image);
    case kImageFileJpegHigh:
    case kImageFileJpegMiddle:
    case kImageFileJpegLow:
      return SaveJpeg(path, *image, JpegQuality(code));
    case kImageFilePng:
      return SavePng(path, *image);
    case kImageFileTiff:
      return SaveTiffFile(path, image);
    default:
      return 0;
  }
} catch (...) {
  return 0;
}

}  // namespace quvex
