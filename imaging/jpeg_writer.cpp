// JPEG writer over libjpeg. A library error (a failed write, say) jumps back
// to the save that raised it, which then fails; it never ends the process,
// and neither it nor a warning is printed.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "imaging/image_writers.h"
#include "quvex_platform/file.h"

namespace quvex {
namespace {

// The standard error manager with an exit that returns to the save and no
// message output.
struct JpegErrorManager {
  jpeg_error_mgr library;
  std::jmp_buf recovery;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// Copies stored row `storedRow` into `row` in the order libjpeg takes.
void FillRow(const CDibImage& image, int32_t storedRow, int components, JSAMPLE* row) {
  const uint8_t* source = image.Bits() + static_cast<size_t>(storedRow) * image.Stride();
  const size_t width = static_cast<size_t>(image.Width());
  if (components == 1) {
    std::memcpy(row, source, width);
    return;
  }
  for (size_t x = 0; x < width; ++x, source += 3, row += 3) {
    row[0] = source[2];
    row[1] = source[1];
    row[2] = source[0];
  }
}

// Encodes the image into an open file; false on any library error.
bool Compress(FILE* file, const CDibImage& image, int quality, bool progressive, int components,
              JSAMPLE* row) {
  jpeg_compress_struct info;
  std::memset(&info, 0, sizeof info);
  JpegErrorManager errors;
  info.err = jpeg_std_error(&errors.library);
  errors.library.error_exit = JpegErrorExit;
  errors.library.output_message = IgnoreJpegMessage;
  if (setjmp(errors.recovery) != 0) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.Width());
  info.image_height = static_cast<JDIMENSION>(image.Height());
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    FillRow(image, image.Height() - 1 - static_cast<int32_t>(info.next_scanline), components, row);
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

int SaveJpegFile(const char16_t* path, const CDibImage* image, int quality,
                 int progressive) noexcept try {
  if (path == nullptr || image == nullptr || image->Bits() == nullptr) return 0;
  int components = 0;
  if (image->BitsPerPixel() == 8) {
    components = 1;
  } else if (image->BitsPerPixel() == 24) {
    components = 3;
  } else {
    return 0;
  }
  std::unique_ptr<JSAMPLE[]> row(
      new (std::nothrow) JSAMPLE[static_cast<size_t>(image->Width()) * components]);
  if (!row) return 0;
  FILE* file = platform::OpenStdio(path, "wb");
  if (file == nullptr) return 0;
  bool saved = Compress(file, *image, quality, progressive != 0, components, row.get());
  if (std::fflush(file) != 0 || std::ferror(file)) saved = false;
  if (std::fclose(file) != 0) saved = false;
  return saved ? 1 : 0;
} catch (...) {
  return 0;
}

}  // namespace quvex
