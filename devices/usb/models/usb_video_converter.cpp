// CUsbDevice: device type 20, a video converter delivering interlaced video
// as two fields. The open loads the converter's register map, reads the
// video standard and sampling from its status register and takes the field
// geometry from a built-in table.
#include <algorithm>
#include <array>

#include "devices/usb/models/usb_register_maps.h"
#include "devices/usb/usb_device.h"

namespace quvex {

namespace {

constexpr unsigned kStatusRegister = 136;
constexpr unsigned kEnableRegister = 127;
constexpr int32_t kDefaultRingSlots = 10;

struct FieldGeometry {
  int32_t xOffset;
  int32_t width;
  int32_t pitch;
  int32_t yOffset;
  int32_t fieldHeight;
  int32_t fieldLines;
};

// [set: mode 1 or other][standard 0..3][sampling variant 0..1]
constexpr std::array<std::array<std::array<FieldGeometry, 2>, 4>, 2> ConverterGeometryTable{{
    {{{{{88, 720, 858, 12, 235, 263}, {88, 640, 780, 12, 235, 263}}},
      {{{81, 720, 864, 16, 280, 313}, {104, 768, 944, 16, 280, 313}}},
      {{{0, 860, 858, 10, 240, 263}, {0, 860, 858, 10, 240, 263}}},
      {{{0, 860, 864, 15, 279, 313}, {0, 860, 864, 15, 279, 313}}}}},
    {{{{{88, 720, 858, 12, 240, 263}, {88, 640, 780, 12, 240, 263}}},
      {{{81, 720, 864, 16, 285, 313}, {104, 768, 944, 16, 285, 313}}},
      {{{0, 860, 858, 10, 240, 263}, {0, 860, 858, 10, 240, 263}}},
      {{{0, 860, 864, 15, 279, 313}, {0, 860, 864, 15, 279, 313}}}}},
}};

}  // namespace

int CUsbDevice::LoadConverterRegisterMap() noexcept {
  LoadRegisterMap(ConverterRegisterMap());
  (void)WriteRegister8(kEnableRegister, 0);
  return 1;
}

int CUsbDevice::DetectVideoStandard() noexcept {
  uint8_t status = 0;
  if (ReadRegister8(kStatusRegister, status) != 1) return 0;
  switch (status & 0x0F) {
    case 2:
    case 3:
      return 1;
    case 4:
    case 5:
      return 2;
    case 10:
    case 11:
      return 3;
    default:
      return 0;
  }
}

int CUsbDevice::OpenType20(unsigned index, int mode) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenIndex(index)) return result;
  SendReset();
  (void)LoadConverterRegisterMap();
  sourceFamily_ = QUVEX_USB_SOURCE_FIELDS;
  model_.columnMirror = 0;
  model_.rowMirror = 0;
  const int standard = DetectVideoStandard();
  uint8_t status = 0;
  const int variant = ReadRegister8(kStatusRegister, status) == 1 && (status & 1) == 0 ? 1 : 0;
  const FieldGeometry& row = ConverterGeometryTable[mode == 1 ? 0 : 1]
                                                   [static_cast<size_t>(standard)]
                                                   [static_cast<size_t>(variant)];
  // No line is read past its pitch: the 860-sample rows of the 525-line
  // table are clipped to their 858-sample lines.
  const int32_t width = std::min(row.width, row.pitch - row.xOffset);
  model_.region = {0, 0, width, 2 * row.fieldHeight};
  twoFieldFlag_ = 1;
  // A device object without a ring yet takes the ring every fixed type uses.
  const int32_t ring = ringCount_ >= 2 ? ringCount_ : kDefaultRingSlots;
  (void)SetGeometry(row.pitch, row.xOffset, width, row.fieldLines, row.yOffset, row.fieldHeight,
                    ring);
  return QUVEX_USB_OK;
}

}  // namespace quvex
