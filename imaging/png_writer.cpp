// PNG writer over libpng. Error recovery is kept per save, in the libpng
// structure of that save, so saves on several threads stay apart. The
// library's errors and warnings are never printed: a failure is the save's
// result.
#include "imaging/png_writer.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <new>

#include "imaging/image_writers.h"
#include "quvex_platform/file.h"

namespace quvex {
namespace {

struct PngLayout {
  int bitDepth;
  int colorType;
};

// Sample depth and colour type for a pixel depth; false for other depths.
bool LayoutFor(uint16_t bitsPerPixel, PngLayout& layout) {
  switch (bitsPerPixel) {
    case 8: layout = {8, PNG_COLOR_TYPE_GRAY}; return true;
    case 16: layout = {16, PNG_COLOR_TYPE_GRAY}; return true;
    case 24: layout = {8, PNG_COLOR_TYPE_RGB}; return true;
    case 32: layout = {8, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    case 48: layout = {16, PNG_COLOR_TYPE_RGB}; return true;
    case 64: layout = {16, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    default: return false;
  }
}

// Runs the library calls under the recovery point of this save's structure.
bool WriteImage(png_structp png, png_infop info, FILE* file, const CDibImage& image,
                const PngLayout& layout, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()),
               static_cast<png_uint_32>(image.Height()), layout.bitDepth, layout.colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // Stored samples are blue first and, at 16 bits, least significant byte first.
  png_set_bgr(png);
  if (layout.bitDepth == 16) png_set_swap(png);
  if (rows == nullptr) SavePngErrorHandler(png, "SavePngFile : メモリ確保に失敗");
  // The picture's top row is the last stored row.
  const int32_t height = image.Height();
  uint8_t* bits = const_cast<uint8_t*>(image.Bits());
  for (int32_t i = 0; i < height; ++i)
    rows[i] = bits + static_cast<size_t>(height - 1 - i) * image.Stride();
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

void IgnorePngWarning(png_structp, png_const_charp) {}

}  // namespace

void SavePngErrorHandler(png_struct_def* png, const char*) {
  if (png == nullptr) return;
  png_longjmp(png, 1);
}

int EncodePng(FILE* file, const CDibImage& image, uint8_t** rowPointers) {
  PngLayout layout{};
  if (file == nullptr || image.Bits() == nullptr || !LayoutFor(image.BitsPerPixel(), layout))
    return 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SavePngErrorHandler,
                                            IgnorePngWarning);
  if (png == nullptr) return 0;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return 0;
  }
  const bool written = WriteImage(png, info, file, image, layout, rowPointers);
  png_destroy_write_struct(&png, &info);
  return written ? 1 : 0;
}

int SavePngFile(const char16_t* path, const CDibImage* image) noexcept try {
  PngLayout layout{};
  if (path == nullptr || image == nullptr || image->Bits() == nullptr ||
      !LayoutFor(image->BitsPerPixel(), layout))
    return 0;
  FILE* file = platform::OpenStdio(path, "wb");
  if (file == nullptr) return 0;
  std::unique_ptr<png_bytep[]> rows(
      new (std::nothrow) png_bytep[static_cast<size_t>(image->Height())]);
  bool saved = EncodePng(file, *image, rows.get()) != 0;
  if (std::fflush(file) != 0 || std::ferror(file)) saved = false;
  if (std::fclose(file) != 0) saved = false;
  return saved ? 1 : 0;
} catch (...) {
  return 0;
}

}  // namespace quvex
