// CUsbDevice: the region, binning and mode setters of the per-model device
// types. A region setter checks the request, rewrites the sensor's window and
// binning registers and recomputes the transfer geometry; a mode setter
// switches the camera between continuous and triggered capture.
#include <array>

#include "devices/usb/usb_device.h"

namespace quvex {

namespace {

constexpr uint8_t kModeCommand = 0x28;

using Reader = int (CUsbDevice::*)(unsigned, uint16_t&) noexcept;
using Writer = int (CUsbDevice::*)(unsigned, int) noexcept;

struct RegisterStep {
  unsigned reg;
  int value;
};

// A register value read from the sensor; writes of a value whose read failed
// are skipped rather than sending bits built from nothing.
struct RegisterRead {
  uint16_t value = 0;
  bool ok = false;
};

RegisterRead ReadWith(CUsbDevice& device, Reader read, unsigned reg) {
  RegisterRead r;
  r.ok = (device.*read)(reg, r.value) == 1;
  return r;
}

void WriteIfRead(CUsbDevice& device, Writer write, unsigned reg, const RegisterRead& r) {
  if (r.ok) (void)(device.*write)(reg, r.value);
}

// Binning bits of registers 34 and 35 of types 4 and 5: 1, 2, 4 or 8 sensor
// pixels per output pixel in bits 0 to 2. alsoCleared: further bits the
// model clears with them (type 4 bits 4 and 5); every other bit stays.
uint16_t SkipBinningBits(uint16_t value, int code, uint16_t alsoCleared) {
  static constexpr std::array<uint16_t, 4> kBits{0, 1, 3, 7};
  const unsigned kept = value & ~(0x07u | alsoCleared);
  return static_cast<uint16_t>(kept | kBits[static_cast<size_t>(code)]);
}

constexpr uint16_t kType4AlsoCleared = 0x30;

}  // namespace

bool CUsbDevice::RegionRefused(int x, int y, int width, int height, int binning, int sensorWidth,
                               int sensorHeight, bool binnedCheck) const noexcept {
  if (x < 0 || y < 0 || width <= 3 || height <= 2 || static_cast<unsigned>(binning) > 3) return true;
  if (static_cast<int64_t>(x) + width > sensorWidth ||
      static_cast<int64_t>(y) + height > sensorHeight) {
    return true;
  }
  // A binned region without a column or a row would be an empty frame.
  const int factor = 1 << binning;
  return binnedCheck && (width / factor < 1 || height / factor < 1);
}

void CUsbDevice::ApplyRegion(const UsbSensorRegion& region, int binning,
                             const std::array<int32_t, 7>& geometry) noexcept {
  {
    std::lock_guard lock(control_);
    model_.region = region;
  }
  UsbColourSettings settings = ColourSettings();
  settings.binningCode = binning;
  SetColourSettings(settings);
  (void)SetGeometry(geometry[0], geometry[1], geometry[2], geometry[3], geometry[4], geometry[5],
                    geometry[6]);
}

void CUsbDevice::SetBayerPhase(int phase) noexcept {
  UsbColourSettings settings = ColourSettings();
  settings.bayerPhase = phase;
  SetColourSettings(settings);
}

void CUsbDevice::StoreWindow(const std::array<int32_t, 4>& window) noexcept {
  std::lock_guard lock(control_);
  model_.sensorWindow = window;
}

// Types 7 and 2 share the sensor; type 7's writer refuses the window
// registers 1 to 4, so only the binning registers reach a type-7 camera.
int CUsbDevice::SetRegionPulsed(int x, int y, int width, int height, int binning,
                                int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  if (RegionRefused(x, y, width, height, binning, 1280, 1024, true)) return 1;
  RegisterRead a = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 30);
  RegisterRead c = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 32);
  a.value &= static_cast<uint16_t>(binning <= 1 ? ~0x3Cu : 0xFFFFu);
  a.value |= static_cast<uint16_t>(binning == 2 ? 0x0C : binning == 3 ? 0x30 : 0);
  c.value = static_cast<uint16_t>(binning == 1 ? c.value | 0x18 : c.value & ~0x18u);
  const int b = 1 << binning;
  const int w = width / b;
  ApplyRegion({x, y, width, height}, binning,
              {w > 308 ? w + 244 : 553, 241, w, height / b + 20, 0, height / b, 10});
  const std::array<int32_t, 4> window{y + 12, x + 20, height - 1, width - 1};
  StoreWindow(window);
  for (unsigned reg = 1; reg <= 4; ++reg) (void)(this->*write)(reg, window[reg - 1]);
  WriteIfRead(*this, write, 30, a);
  WriteIfRead(*this, write, 32, c);
  SetBayerPhase(ComputeBayerPhase());
  return 0;
}

int CUsbDevice::SetRegionType7(int x, int y, int width, int height, int binning) noexcept {
  return SetRegionPulsed(x, y, width, height, binning, &CUsbDevice::WriteSensorRegisterType7);
}

int CUsbDevice::SetRegionType2(int x, int y, int width, int height, int binning) noexcept {
  return SetRegionPulsed(x, y, width, height, binning, &CUsbDevice::WriteSensorRegisterGuarded);
}

int CUsbDevice::SetRegionType3(int x, int y, int width, int height, int binning) noexcept {
  if (RegionRefused(x, y, width, height, binning, 1600, 1200, true)) return 1;
  RegisterRead a = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 30);
  RegisterRead c = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 32);
  // Binning 4 and 8 replace each other's bit group.
  static constexpr std::array<uint16_t, 4> kGroup{0, 0, 0x0C, 0x30};
  a.value = static_cast<uint16_t>((a.value & ~0x3Cu) | kGroup[static_cast<size_t>(binning)]);
  c.value = static_cast<uint16_t>(binning == 1 ? c.value | 0x18 : c.value & ~0x18u);
  const int b = 1 << binning;
  const int w = width / b;
  ApplyRegion({x, y, width, height}, binning,
              {w >= 260 ? w + 358 : 617, 321, w, height / b + 20, 0, height / b, 10});
  const std::array<int32_t, 4> window{y + 12, x + 20, height - 1, width - 1};
  StoreWindow(window);
  const Writer write = &CUsbDevice::WriteSensorRegisterGuarded;
  for (const RegisterStep& s : {RegisterStep{1, window[0]}, {2, window[1]}, {3, window[2]},
                                {4, window[3]}, {5, 53}, {6, 36}}) {
    (void)(this->*write)(s.reg, s.value);
  }
  WriteIfRead(*this, write, 30, a);
  WriteIfRead(*this, write, 32, c);
  SetBayerPhase(ComputeBayerPhase());
  return 0;
}

int CUsbDevice::SetRegionType4(int x, int y, int width, int height, int binning) noexcept {
  if (RegionRefused(x, y, width, height, binning, 2048, 1536, true)) return 1;
  RegisterRead r34 = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 34);
  RegisterRead r35 = ReadWith(*this, &CUsbDevice::ReadSensorRegisterGuarded, 35);
  r34.value = SkipBinningBits(r34.value, binning, kType4AlsoCleared);
  r35.value = SkipBinningBits(r35.value, binning, kType4AlsoCleared);
  const int b = 1 << binning;
  const int d = width / b;
  const int pitch = (d <= 235 ? 649 : d + 413) + (d % 2 != 0 ? 1 : 0);
  ApplyRegion({x, y, width, height}, binning, {pitch, 388, d, height / b + 20, 0, height / b, 10});
  const std::array<int32_t, 4> window{y + 2 * b + 18, x + 2 * b + 30, height - 1, width - 1};
  StoreWindow(window);
  const Writer write = &CUsbDevice::WriteSensorRegisterGuarded;
  for (const RegisterStep& s : {RegisterStep{1, window[0]}, {2, window[1]}, {3, window[2]},
                                {4, window[3]}, {5, 42}, {6, 48}}) {
    (void)(this->*write)(s.reg, s.value);
  }
  WriteIfRead(*this, write, 34, r34);
  WriteIfRead(*this, write, 35, r35);
  SetBayerPhase(ModelState().rowMirror != 0 ? 1 : 0);
  return 0;
}

int CUsbDevice::SetRegionType5(int x, int y, int width, int height, int binning) noexcept {
  if (RegionRefused(x, y, width, height, binning, 2560, 1920, true)) return 1;
  RegisterRead r34 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 34);
  RegisterRead r35 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 35);
  r34.value = SkipBinningBits(r34.value, binning, 0);
  r35.value = SkipBinningBits(r35.value, binning, 0);
  const int b = 1 << binning;
  const int w = width / b;
  const UsbModelState state = ModelState();
  const int g = state.chipId == 0x1800 || state.chipRevision == 7 ? 608 : 884;
  ApplyRegion({x, y, width, height}, binning,
              {g + w + (binning == 3 ? 62 : 16), g, w, height / b + 4, 0, height / b, 5});
  const std::array<int32_t, 4> window{y + 54, x + 16, height - 1, width - 1};
  StoreWindow(window);
  const Writer write = &CUsbDevice::WriteSensorRegister;
  for (unsigned reg = 1; reg <= 4; ++reg) (void)(this->*write)(reg, window[reg - 1]);
  WriteIfRead(*this, write, 34, r34);
  WriteIfRead(*this, write, 35, r35);
  SetBayerPhase(GetBayerPhaseType5());
  return 0;
}

int CUsbDevice::SetRegionType6(int x, int y, int width, int height, int binning) noexcept {
  if (RegionRefused(x, y, width, height, binning, 640, 480, false)) return 1;
  // The sensor bins by 2 (code 1) or 4 (code 2) only; codes 0 and 3 read
  // every pixel.
  static constexpr std::array<int, 4> kFactor{1, 2, 4, 1};
  static constexpr std::array<uint16_t, 4> kBits{0, 5, 0x0A, 0};
  const int f = kFactor[static_cast<size_t>(binning)];
  RegisterRead r13 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 13);
  r13.value = static_cast<uint16_t>((r13.value & ~0x0Fu) | kBits[static_cast<size_t>(binning)]);
  const UsbSensorRegion region = f == 1 ? UsbSensorRegion{x, y, width, height}
                                        : UsbSensorRegion{0, 0, 640, 480};
  const Writer write = &CUsbDevice::WriteSensorRegister;
  WriteIfRead(*this, write, 13, r13);

  const int o = region.width / f;
  int pitch = o + 88;
  int xOffset = 56;
  if (o < 551) {
    pitch = f == 1 ? 640 : f == 2 ? 364 : 182;
    xOffset = f == 1 ? 610 - o : f == 2 ? 22 : 7;
  }
  const int lines = f == 1 ? region.height + 4 : f == 2 ? region.height / 2 + 2 : region.height / 4;
  const int yOffset = f == 1 ? 4 : f == 2 ? 2 : 0;
  const int binnedHeight = region.height / f;
  ApplyRegion(region, binning, {pitch, xOffset, o, lines, yOffset, binnedHeight, 10});
  const std::array<int32_t, 4> window{region.x, region.y, region.height + 6, region.width + 8};
  StoreWindow(window);
  for (unsigned reg = 1; reg <= 4; ++reg) (void)(this->*write)(reg, window[reg - 1]);
  (void)(this->*write)(5, 80);
  (void)(this->*write)(6, binnedHeight / 10);
  SetBayerPhase(3);
  return 0;
}

int CUsbDevice::SendModePacket(int byte) noexcept {
  return SendBytes({kModeCommand, static_cast<uint8_t>(byte)});
}

// Types 9, 11, 15, 16, 17 and 18: the mode packet, then the trigger bits of
// registers 32 and 33 from the register-value cache; registers 1 and 129
// for types 17 and 18 (modeRegister129 >= 0).
int CUsbDevice::SetModeSerial(int flag, int modeRegister129,
                              int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  if (SendModePacket(flag != 0 ? 1 : 0) != 1) return 0;
  int32_t r32 = 0;
  int32_t r33 = 0;
  (void)GetCachedRegister(32, r32);
  (void)GetCachedRegister(33, r33);
  const bool triggered = flag == 1;
  r32 = triggered ? r32 & ~0x10 : r32 | 0x10;
  r33 = (r33 & ~0x0F) | (triggered ? 0x0E : 0x01);
  if (modeRegister129 >= 0) {
    (void)(this->*write)(1, triggered ? 4 : 6);
    (void)(this->*write)(129, triggered ? modeRegister129 : 0);
  }
  (void)(this->*write)(32, r32);
  (void)(this->*write)(33, r33);
  return 1;
}

int CUsbDevice::SetModeType18(int flag) noexcept {
  return SetModeSerial(flag, 13, &CUsbDevice::WriteRegisterType17);
}

int CUsbDevice::SetModeType17(int flag) noexcept {
  return SetModeSerial(flag, 6, &CUsbDevice::WriteRegisterType17);
}

int CUsbDevice::SetModeType9(int flag) noexcept {
  return SetModeSerial(flag, -1, &CUsbDevice::WriteRegisterType9);
}

int CUsbDevice::SetModeType10(int flag) noexcept { return SendModePacket(flag == 0 ? 1 : 0); }

int CUsbDevice::SetModeType13(int flag) noexcept { return SendModePacket(flag != 0 ? 1 : 0); }

int CUsbDevice::SetModeType8(int flag) noexcept {
  if (SendModePacket(flag & 0xFF) != 1) return 0;
  SetCaptureMode(flag);
  return 1;
}

// Register 30's trigger bits: set the bits of on when flag is 1, else clear
// the bits of off. 1 and the capture-mode flag set when the write succeeded.
int CUsbDevice::SetModeRegister30(int flag, uint16_t on, uint16_t off,
                                  int (CUsbDevice::*read)(unsigned, uint16_t&) noexcept,
                                  int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  RegisterRead r30 = ReadWith(*this, read, 30);
  if (!r30.ok) return 0;
  r30.value = static_cast<uint16_t>(flag == 1 ? r30.value | on : r30.value & ~off);
  if ((this->*write)(30, r30.value) != 1) return 0;
  SetCaptureMode(flag);
  return 1;
}

int CUsbDevice::SetModeType7(int flag) noexcept {
  return SetModeRegister30(flag, 0x0100, 0x0100, &CUsbDevice::ReadSensorRegisterGuarded,
                           &CUsbDevice::WriteSensorRegisterType7);
}

int CUsbDevice::SetModeType2(int flag) noexcept {
  return SetModeRegister30(flag, 0x0100, 0x0100, &CUsbDevice::ReadSensorRegisterGuarded,
                           &CUsbDevice::WriteSensorRegisterGuarded);
}

int CUsbDevice::SetModeType5(int flag) noexcept {
  return SetModeRegister30(flag, 0x0300, 0x0300, &CUsbDevice::ReadSensorRegister,
                           &CUsbDevice::WriteSensorRegister);
}

int CUsbDevice::SetModeType4(int flag, int variant) noexcept {
  if (SetModeRegister30(flag, variant == 1 ? 0x0700 : 0x0100, 0x0700,
                        &CUsbDevice::ReadSensorRegisterGuarded,
                        &CUsbDevice::WriteSensorRegisterGuarded) != 1) {
    return 0;
  }
  std::lock_guard lock(control_);
  model_.modeVariant = variant;
  return 1;
}

int CUsbDevice::SetModeType6(int flag) noexcept {
  RegisterRead r32 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 32);
  RegisterRead r175 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 175);
  RegisterRead r71 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 71);
  const bool on = flag != 0;
  r32.value = static_cast<uint16_t>(on ? r32.value | 0x0204 : r32.value & ~0x0204u);
  // Both setup flags are clear, which clears bit 0 in either mode.
  r175.value = static_cast<uint16_t>(r175.value & ~0x0001u);
  r71.value = static_cast<uint16_t>(on ? r71.value | 0x0001 : r71.value & ~0x0001u);
  if (WriteSensorRegister(7, on ? 920 : 904) != 1) return 0;
  WriteIfRead(*this, &CUsbDevice::WriteSensorRegister, 32, r32);
  WriteIfRead(*this, &CUsbDevice::WriteSensorRegister, 175, r175);
  WriteIfRead(*this, &CUsbDevice::WriteSensorRegister, 71, r71);
  SetCaptureMode(flag);
  return 1;
}

int CUsbDevice::SetRowFlipType5(int flag) noexcept {
  RegisterRead r32 = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 32);
  r32.value = static_cast<uint16_t>(flag == 1 ? r32.value | 0x8000 : r32.value & ~0x8000u);
  WriteIfRead(*this, &CUsbDevice::WriteSensorRegister, 32, r32);
  const RegisterRead back = ReadWith(*this, &CUsbDevice::ReadSensorRegister, 32);
  {
    std::lock_guard lock(control_);
    model_.rowMirror = (back.value & 0x8000) != 0 ? 1 : 0;
  }
  SetBayerPhase(GetBayerPhaseType5());
  return 0;
}

int CUsbDevice::GetBayerPhaseType5() const noexcept {
  std::lock_guard lock(control_);
  return (model_.rowMirror != 0 ? 1 : 0) + (model_.columnMirror != 0 ? 2 : 0);
}

}  // namespace quvex
