// What a USB device object keeps for the per-model routines of device types
// 2 to 18 and 20: the sensor region and mirror flags, the register map with
// its access flags, the register-value cache, the per-index initialised
// flags, the serial block of type 8 and the chip identification.
#pragma once

#include <array>
#include <cstdint>

#include "quvex/quvex_usb.h"

namespace quvex {

class CUsbDevice;

// One register of a sensor or converter chip: its default value and whether
// the guarded accessors may read or write it.
struct SensorRegisterEntry {
  uint16_t value = 0;
  uint8_t readable = 0;
  uint8_t writable = 0;
};

inline constexpr int kSensorRegisterCount = 256;
inline constexpr int kCachedRegisterCount = 1024;
inline constexpr int kSerialBlockBytes = 9;

using SensorRegisterMap = std::array<SensorRegisterEntry, kSensorRegisterCount>;
using SerialBlock = std::array<uint8_t, kSerialBlockBytes>;

// The sensor region read out, in sensor pixels.
struct UsbSensorRegion {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The open of a device type with a fixed sensor geometry.
struct UsbFixedModel {
  int32_t regionWidth;
  int32_t regionHeight;
  std::array<int32_t, 7> geometry;  // pitch, x offset, width, lines, y offset, height, ring
  bool once;                        // reset and initialisation on the first open of an index
  int (CUsbDevice::*init)() noexcept;  // or null
  int phase;                           // Bayer phase, or -1: from the region
  bool modeAfter;                      // continuous capture (SetModeType9 (0)) afterwards
};

struct UsbModelState {
  UsbSensorRegion region;
  std::array<int32_t, 4> sensorWindow{};  // register-ready window values
  int columnMirror = 0;
  int rowMirror = 0;
  int type6Option = 0;  // the board flag of type 6
  int modeVariant = 0;  // type 4
  SensorRegisterMap registerMap{};
  std::array<int32_t, kCachedRegisterCount> cache{};
  std::array<int32_t, QUVEX_USB_MAX_DEVICES> initialised{};
  SerialBlock serialBlock{};
  uint16_t chipId = 0;
  uint16_t chipRevisionWord = 0;
  int chipRevision = 0;  // bits 5 to 10 of the revision word
  int setupFlagA = 0;    // the two type-6 setup flags
  int setupFlagB = 0;
};

}  // namespace quvex
