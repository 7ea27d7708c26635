// CUsbDevice: the colour forms of its frames and the Bayer phase of its
// sensor region.
#include "devices/usb/usb_device.h"

namespace quvex {

int CUsbDevice::CheckRoi(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const noexcept {
  std::lock_guard lock(control_);
  return CheckRoiRect(CurrentLayout(), UsbRoiRect{x0, y0, x1, y1});
}

int CUsbDevice::ConvertSlot(const UsbFrameLayout& layout, const UsbRoiRect& rect,
                            const void* source, size_t sourceBytes, void* target,
                            size_t targetBytes, int colour, int whiteBalance) noexcept {
  if (layout.sourceFamily == QUVEX_USB_SOURCE_FIELDS) {
    return quvex::ConvertFieldsToRgb(layout, rect, target, targetBytes, source, sourceBytes,
                                     colour);
  }
  UsbColourSettings settings = ColourSettings();
  const int result = ConvertSensorToRgb(layout, settings, rect, target, targetBytes, source,
                                        sourceBytes, colour, whiteBalance);
  // The estimated gains stay for later conversions.
  if (result == QUVEX_USB_OK && colour != 0 && whiteBalance != 0) {
    std::lock_guard lock(colourMutex_);
    colour_.gainRed = settings.gainRed;
    colour_.gainGreen = settings.gainGreen;
    colour_.gainBlue = settings.gainBlue;
  }
  return result;
}

int CUsbDevice::ConvertToRgb(void* target, size_t targetBytes, const void* source,
                             size_t sourceBytes, int colour, int whiteBalance, int32_t x0,
                             int32_t y0, int32_t x1, int32_t y1) noexcept {
  std::lock_guard lock(control_);
  UsbFrameLayout layout = CurrentLayout();
  layout.sourceFamily = QUVEX_USB_SOURCE_SENSOR;
  return ConvertSlot(layout, UsbRoiRect{x0, y0, x1, y1}, source, sourceBytes, target,
                     targetBytes, colour, whiteBalance);
}

int CUsbDevice::ConvertFrameToRgb(void* target, size_t targetBytes, const void* source,
                                  size_t sourceBytes, int colour, int whiteBalance) noexcept {
  std::lock_guard lock(control_);
  const UsbRoiRect whole = WholeRegion(layout_);
  return ConvertToRgb(target, targetBytes, source, sourceBytes, colour, whiteBalance, whole.x0,
                      whole.y0, whole.x1, whole.y1);
}

int CUsbDevice::ConvertFieldsToRgb(void* target, size_t targetBytes, const void* source,
                                   size_t sourceBytes, int colour, int /*whiteBalance*/,
                                   int32_t x0, int32_t y0, int32_t x1, int32_t y1) noexcept {
  std::lock_guard lock(control_);
  UsbFrameLayout layout = CurrentLayout();
  layout.sourceFamily = QUVEX_USB_SOURCE_FIELDS;
  return ConvertSlot(layout, UsbRoiRect{x0, y0, x1, y1}, source, sourceBytes, target,
                     targetBytes, colour, 0);
}

int CUsbDevice::ConvertFieldsFrameToRgb(void* target, size_t targetBytes, const void* source,
                                        size_t sourceBytes, int colour,
                                        int whiteBalance) noexcept {
  std::lock_guard lock(control_);
  const UsbRoiRect whole = WholeRegion(layout_);
  return ConvertFieldsToRgb(target, targetBytes, source, sourceBytes, colour, whiteBalance,
                            whole.x0, whole.y0, whole.x1, whole.y1);
}

int CUsbDevice::ComputeBayerPhase() const noexcept {
  std::lock_guard lock(control_);
  const UsbSensorRegion& r = model_.region;
  return BayerPhaseOf(r.x, r.y, r.width, r.height, model_.columnMirror, model_.rowMirror);
}

UsbColourSettings CUsbDevice::ColourSettings() const noexcept {
  std::lock_guard lock(colourMutex_);
  return colour_;
}

void CUsbDevice::SetColourSettings(const UsbColourSettings& settings) noexcept {
  std::lock_guard lock(colourMutex_);
  colour_ = settings;
}

UsbModelState CUsbDevice::ModelState() const noexcept {
  std::lock_guard lock(control_);
  return model_;
}

}  // namespace quvex
