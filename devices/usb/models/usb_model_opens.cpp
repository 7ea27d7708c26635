// CUsbDevice: the open sequences of device types 2 to 18. Each selects the
// device index, brings the camera into a known state (reset, register map,
// sensor initialisation) and fixes the sensor region and the transfer
// geometry. Only the index selection can fail an open.
#include <algorithm>
#include <array>

#include "devices/usb/usb_device.h"

namespace quvex {

namespace {

constexpr int kPhaseFromRegion = -1;

constexpr UsbFixedModel kType18{1280, 960, {1600, 221, 1280, 976, 1, 960, 10}, false, nullptr, 2, false};
constexpr UsbFixedModel kType17{2456, 2058, {3848, 1412, 2456, 2070, 11, 2058, 10}, false, nullptr,
                             kPhaseFromRegion, false};
constexpr UsbFixedModel kType16{1620, 1220, {1921, 308, 1620, 1225, 5, 1220, 10}, false, nullptr,
                             kPhaseFromRegion, true};
// Types 15 and 11 share their sensor.
constexpr UsbFixedModel kType15{1360, 1024, {1791, 418, 1360, 1060, 14, 1024, 10}, false, nullptr,
                             kPhaseFromRegion, true};
constexpr UsbFixedModel kType14{2560, 1920, {2894, 0, 2894, 2028, 0, 2027, 10}, false,
                             &CUsbDevice::InitRegisterMapType14, kPhaseFromRegion, false};
constexpr UsbFixedModel kType13{2288, 1700, {2288, 0, 2288, 1701, 0, 1700, 10}, false,
                             &CUsbDevice::InitRegisterMapType13, kPhaseFromRegion, false};
constexpr UsbFixedModel kType12{1600, 1282, {2280, 430, 1600, 1290, 3, 1282, 10}, true, nullptr, 2,
                             false};
constexpr UsbFixedModel kType10{1360, 1024, {1790, 418, 1360, 1060, 13, 1024, 10}, false,
                             &CUsbDevice::InitRegisterMapType10, kPhaseFromRegion, false};
constexpr UsbFixedModel kType9{636, 494, {781, 145, 636, 508, 14, 494, 10}, false, nullptr,
                            kPhaseFromRegion, true};

}  // namespace

int CUsbDevice::OpenPrologue(unsigned index, bool once, int (CUsbDevice::*init)() noexcept) noexcept {
  if (const int result = OpenIndex(index)) return result;
  if (once && model_.initialised[index] != 0) return QUVEX_USB_OK;
  SendReset();
  if (init != nullptr) (void)(this->*init)();
  if (once) model_.initialised[index] = 1;
  return QUVEX_USB_OK;
}

int CUsbDevice::OpenFixed(unsigned index, const UsbFixedModel& m) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenPrologue(index, m.once, m.init)) return result;
  // No row is read past its line: types 16 and 17 read out more columns
  // after their x offset than a line holds, and are clipped to the line.
  std::array<int32_t, 7> geometry = m.geometry;
  geometry[2] = std::min(geometry[2], geometry[0] - geometry[1]);
  ApplyRegion({0, 0, m.regionWidth, m.regionHeight}, 0, geometry);
  SetBayerPhase(m.phase == kPhaseFromRegion ? ComputeBayerPhase() : m.phase);
  if (m.modeAfter) (void)SetModeType9(0);
  return QUVEX_USB_OK;
}

int CUsbDevice::OpenType18(unsigned index) noexcept { return OpenFixed(index, kType18); }
int CUsbDevice::OpenType17(unsigned index) noexcept { return OpenFixed(index, kType17); }
int CUsbDevice::OpenType16(unsigned index) noexcept { return OpenFixed(index, kType16); }
int CUsbDevice::OpenType15(unsigned index) noexcept { return OpenFixed(index, kType15); }
int CUsbDevice::OpenType14(unsigned index) noexcept { return OpenFixed(index, kType14); }
int CUsbDevice::OpenType13(unsigned index) noexcept { return OpenFixed(index, kType13); }
int CUsbDevice::OpenType12(unsigned index) noexcept { return OpenFixed(index, kType12); }
int CUsbDevice::OpenType11(unsigned index) noexcept { return OpenFixed(index, kType15); }
int CUsbDevice::OpenType10(unsigned index) noexcept { return OpenFixed(index, kType10); }
int CUsbDevice::OpenType9(unsigned index) noexcept { return OpenFixed(index, kType9); }

int CUsbDevice::InitSerialFrontEndType8() noexcept {
  (void)SetSerialBlock({0x81, 0x00, 0x80, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00});
  (void)SetSerialField(0, 0);
  (void)SendControlWord(1024);
  return 1;
}

int CUsbDevice::OpenType8(unsigned index) noexcept {
  static constexpr UsbFixedModel kType8{640, 480, {780, 140, 640, 504, 14, 480, 10}, true,
                                     &CUsbDevice::InitSerialFrontEndType8, 2, false};
  return OpenFixed(index, kType8);
}

// Reads register reg, clears the bits of mask and writes it back: the
// write's result, or 0 without a write when the read failed.
int CUsbDevice::ClearRegisterBits(unsigned reg, uint16_t mask,
                                  int (CUsbDevice::*read)(unsigned, uint16_t&) noexcept,
                                  int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  uint16_t value = 0;
  if ((this->*read)(reg, value) != 1) return 0;
  return (this->*write)(reg, value & ~mask);
}

// Types 2, 3 and 7: the read-out fix-up of register 32, the Bayer phase of
// the region, and continuous capture in register 30.
int CUsbDevice::OpenPulsed(unsigned index, bool once, int (CUsbDevice::*init)() noexcept,
                           int (CUsbDevice::*setRegion)(int, int, int, int, int) noexcept,
                           int32_t width, int32_t height,
                           int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenPrologue(index, once, init)) return result;
  (void)(this->*setRegion)(0, 0, width, height, 0);
  (void)ClearRegisterBits(32, 0x8080, &CUsbDevice::ReadSensorRegisterGuarded, write);
  SetBayerPhase(ComputeBayerPhase());
  if (ClearRegisterBits(30, 0x0100, &CUsbDevice::ReadSensorRegisterGuarded, write) == 1) {
    SetCaptureMode(0);
  }
  return QUVEX_USB_OK;
}

int CUsbDevice::OpenType7(unsigned index) noexcept {
  return OpenPulsed(index, true, &CUsbDevice::InitSensorType7, &CUsbDevice::SetRegionType7, 1280,
                    1024, &CUsbDevice::WriteSensorRegisterType7);
}

int CUsbDevice::OpenType3(unsigned index) noexcept {
  return OpenPulsed(index, false, &CUsbDevice::InitSensorType3, &CUsbDevice::SetRegionType3, 1600,
                    1200, &CUsbDevice::WriteSensorRegisterGuarded);
}

int CUsbDevice::OpenType2(unsigned index) noexcept {
  return OpenPulsed(index, true, &CUsbDevice::InitSensorType2, &CUsbDevice::SetRegionType2, 1280,
                    1024, &CUsbDevice::WriteSensorRegisterGuarded);
}

int CUsbDevice::OpenType4(unsigned index) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenPrologue(index, false, &CUsbDevice::InitSensorType4)) return result;
  (void)SetRegionType4(0, 0, 2048, 1536, 0);
  const auto read = &CUsbDevice::ReadSensorRegisterGuarded;
  const auto write = &CUsbDevice::WriteSensorRegisterGuarded;
  (void)ClearRegisterBits(32, 0x8080, read, write);
  // The sensor reports its row mirror in bit 15 of register 32.
  uint16_t r32 = 0;
  (void)ReadSensorRegisterGuarded(32, r32);
  model_.rowMirror = (r32 & 0x8000) != 0 ? 1 : 0;
  SetBayerPhase(model_.rowMirror);
  if (ClearRegisterBits(30, 0x0700, read, write) == 1) {
    SetCaptureMode(0);
    model_.modeVariant = 0;
  }
  return QUVEX_USB_OK;
}

int CUsbDevice::OpenType5(unsigned index) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenPrologue(index, false, &CUsbDevice::InitSensorType5)) return result;
  (void)SetRegionType5(0, 0, 2560, 1920, 0);
  (void)SetRowFlipType5(0);
  if (ClearRegisterBits(30, 0x0300, &CUsbDevice::ReadSensorRegister,
                        &CUsbDevice::WriteSensorRegister) == 1) {
    SetCaptureMode(0);
  }
  return QUVEX_USB_OK;
}

int CUsbDevice::OpenType6(unsigned index) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenPrologue(index, false, &CUsbDevice::InitSensorType6)) return result;
  (void)SetRegionType6(0, 0, 640, 480, 0);
  // Neither mirror: bit 5 (columns), then bit 4 (rows) of register 13.
  const auto read = &CUsbDevice::ReadSensorRegister;
  const auto write = &CUsbDevice::WriteSensorRegister;
  (void)ClearRegisterBits(13, 0x0020, read, write);
  (void)ClearRegisterBits(13, 0x0010, read, write);
  model_.columnMirror = 0;
  model_.rowMirror = 0;
  (void)SetModeType6(0);
  return QUVEX_USB_OK;
}

}  // namespace quvex
