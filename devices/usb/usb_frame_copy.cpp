// Raw region copies.
#include "devices/usb/usb_frame_copy.h"

#include <cstring>

#include "devices/usb/usb_codes.h"

namespace quvex {

namespace {

// Checks rows row counts of width samples at frame lines up to lastLine; the
// byte counts of one row and of the whole target on success.
int CheckRegion(const UsbFrameLayout& l, int64_t rows, int64_t lastLine, size_t targetBytes,
                size_t sourceBytes, size_t& rowBytes) {
  if (l.pitch <= 0 || l.width <= 0 || rows <= 0 || l.xOffset < 0 ||
      static_cast<int64_t>(l.xOffset) + l.width > l.pitch || lastLine < 0 ||
      (l.sampleBytes != 1 && l.sampleBytes != 2)) {
    return QUVEX_USB_ERR_ROI;
  }
  const auto sample = static_cast<uint64_t>(l.sampleBytes);
  const uint64_t end = (static_cast<uint64_t>(lastLine) * static_cast<uint64_t>(l.pitch) +
                        static_cast<uint64_t>(l.xOffset + l.width)) * sample;
  const uint64_t needed = static_cast<uint64_t>(rows) * static_cast<uint64_t>(l.width) * sample;
  if (end > sourceBytes || needed > targetBytes) return QUVEX_USB_ERR_ROI;
  rowBytes = static_cast<size_t>(l.width) * static_cast<size_t>(sample);
  return QUVEX_USB_OK;
}

const uint8_t* LineStart(const UsbFrameLayout& l, const void* source, int64_t line) {
  return static_cast<const uint8_t*>(source) +
         (static_cast<size_t>(line) * static_cast<size_t>(l.pitch) + static_cast<size_t>(l.xOffset)) *
             static_cast<size_t>(l.sampleBytes);
}

}  // namespace

int CopyRegion(const UsbFrameLayout& l, void* target, size_t targetBytes, const void* source,
               size_t sourceBytes) noexcept {
  if (target == nullptr || source == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  if (l.yOffset < 0) return QUVEX_USB_ERR_ROI;
  size_t rowBytes = 0;
  const int64_t lastLine = static_cast<int64_t>(l.yOffset) + l.height - 1;
  if (const int result = CheckRegion(l, l.height, lastLine, targetBytes, sourceBytes, rowBytes)) {
    return result;
  }
  auto* out = static_cast<uint8_t*>(target);
  for (int32_t row = 0; row < l.height; ++row, out += rowBytes) {
    std::memcpy(out, LineStart(l, source, static_cast<int64_t>(l.yOffset) + row), rowBytes);
  }
  return QUVEX_USB_OK;
}

int CopyFieldsRegion(const UsbFrameLayout& l, void* target, size_t targetBytes, const void* source,
                     size_t sourceBytes) noexcept {
  if (target == nullptr || source == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  if (l.fieldYOffset < 0 || l.fieldLines < 0) return QUVEX_USB_ERR_ROI;
  size_t rowBytes = 0;
  const int64_t rows = 2 * static_cast<int64_t>(l.fieldHeight);
  const int64_t lastLine =
      static_cast<int64_t>(l.fieldLines) + l.fieldYOffset + l.fieldHeight - 1;
  if (const int result = CheckRegion(l, rows, lastLine, targetBytes, sourceBytes, rowBytes)) {
    return result;
  }
  auto* out = static_cast<uint8_t*>(target);
  for (int32_t j = 0; j < l.fieldHeight; ++j) {
    const int64_t line = static_cast<int64_t>(l.fieldYOffset) + j;
    std::memcpy(out, LineStart(l, source, line), rowBytes);
    out += rowBytes;
    std::memcpy(out, LineStart(l, source, l.fieldLines + line), rowBytes);
    out += rowBytes;
  }
  return QUVEX_USB_OK;
}

}  // namespace quvex
