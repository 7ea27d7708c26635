// CUsbDevice: register accessors of the sensor and converter chips, the
// register-value cache and the serial front end of type 8. Each transfer
// opens the device path and closes it again.
#include <algorithm>

#include "devices/usb/usb_device.h"
#include "devices/usb/usb_transport.h"

namespace quvex {

namespace {

constexpr uint8_t kSerialBlockCommand = 0x31;
constexpr uint8_t kControlWordCommand = 0x32;

uint8_t Byte(uint32_t value, int index) { return static_cast<uint8_t>(value >> (8 * index)); }

// The type-9 serial word carries 6, 16 or 22 value bits by register range.
bool CachedRegisterNumber(unsigned reg) { return reg < 1024 && (reg < 192 || reg > 255); }

}  // namespace

int CUsbDevice::SendBytes(std::initializer_list<uint8_t> bytes) noexcept {
  UsbCommandPacket packet{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), packet.size()), packet.begin());
  std::lock_guard lock(control_);
  return SendCommand(packet) == QUVEX_USB_OK ? 1 : 0;
}

int CUsbDevice::ReadRegisterBytes(unsigned reg, uint8_t* out, int length) noexcept {
  std::lock_guard lock(control_);
  const UsbCommandHandle handle(commands_, devicePath_.data());
  if (!handle) return 0;
  const int result = UsbReadRegister(handle.Get(), static_cast<uint8_t>(reg), out, length);
  return result == QUVEX_USB_OK ? 1 : 0;
}

bool CUsbDevice::MapAllows(unsigned reg, bool write) const noexcept {
  std::lock_guard lock(control_);
  if (reg >= model_.registerMap.size()) return false;
  const SensorRegisterEntry& entry = model_.registerMap[reg];
  return (write ? entry.writable : entry.readable) != 0;
}

int CUsbDevice::WriteRegisterType17(unsigned reg, int value) noexcept {
  const auto v = static_cast<uint32_t>(value);
  return SendBytes({QUVEX_USB_CMD_WRITE_REGISTER, 0x30, 0xFE, Byte(reg, 0), Byte(reg, 1),
                    Byte(v, 0), Byte(v, 1), Byte(v, 2)});
}

int CUsbDevice::WriteRegisterType9(unsigned reg, int value) noexcept {
  if (!CachedRegisterNumber(reg)) return 0;
  const unsigned bits = reg < 256 ? 6 : reg < 384 ? 16 : 22;
  const uint32_t mask = (1u << bits) - 1;
  const uint32_t word = ((static_cast<uint32_t>(value) & mask) << 10) | (reg & 0x3FF);
  const int result = SendBytes({QUVEX_USB_CMD_WRITE_REGISTER, static_cast<uint8_t>(bits + 10),
                                Byte(word, 0), Byte(word, 1), Byte(word, 2), Byte(word, 3)});
  if (result == 1) {
    std::lock_guard lock(control_);
    model_.cache[reg] = value;
  }
  return result;
}

int CUsbDevice::WriteRegister8(unsigned reg, int value) noexcept {
  if (!MapAllows(reg, true)) return 0;
  return SendBytes({QUVEX_USB_CMD_WRITE_REGISTER, static_cast<uint8_t>(reg),
                    static_cast<uint8_t>(value)});
}

int CUsbDevice::WriteSensorRegister(unsigned reg, int value) noexcept {
  if (reg >= kSensorRegisterCount) return 0;
  const auto v = static_cast<uint32_t>(value);
  return SendBytes({QUVEX_USB_CMD_WRITE_REGISTER, static_cast<uint8_t>(reg), Byte(v, 1), Byte(v, 0)});
}

int CUsbDevice::WriteSensorRegisterGuarded(unsigned reg, int value) noexcept {
  return MapAllows(reg, true) ? WriteSensorRegister(reg, value) : 0;
}

int CUsbDevice::WriteSensorRegisterType7(unsigned reg, int value) noexcept {
  // Registers 0 to 4 (chip id and window) are not this model's to write.
  return reg > 4 ? WriteSensorRegisterGuarded(reg, value) : 0;
}

int CUsbDevice::ReadSensorRegister(unsigned reg, uint16_t& value) noexcept {
  uint8_t reply[2] = {0, 0};
  if (reg >= kSensorRegisterCount || ReadRegisterBytes(reg, reply, 2) == 0) {
    value = 0;
    return 0;
  }
  value = static_cast<uint16_t>(reply[0] << 8 | reply[1]);
  return 1;
}

int CUsbDevice::ReadSensorRegisterGuarded(unsigned reg, uint16_t& value) noexcept {
  return MapAllows(reg, false) ? ReadSensorRegister(reg, value) : 0;
}

int CUsbDevice::ReadRegister8(unsigned reg, uint8_t& value) noexcept {
  if (!MapAllows(reg, false)) return 0;
  uint8_t reply = 0;
  const int result = ReadRegisterBytes(reg, &reply, 1);
  value = result == 1 ? reply : 0;
  return result;
}

int CUsbDevice::GetCachedRegister(unsigned reg, int32_t& value) const noexcept {
  if (!CachedRegisterNumber(reg)) return 0;
  std::lock_guard lock(control_);
  value = model_.cache[reg];
  return 1;
}

int CUsbDevice::SendSampleWidth(int flag) noexcept {
  (void)SendBytes({QUVEX_USB_CMD_SAMPLE_WIDTH, static_cast<uint8_t>(flag != 0 ? 1 : 0)});
  return 1;
}

int CUsbDevice::SendSerialBlock() noexcept {
  std::lock_guard lock(control_);
  const SerialBlock& b = model_.serialBlock;
  return SendBytes({kSerialBlockCommand, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8]});
}

int CUsbDevice::SetSerialBlock(const SerialBlock& block) noexcept {
  std::lock_guard lock(control_);
  model_.serialBlock = block;
  return SendSerialBlock();
}

int CUsbDevice::SetSerialField(uint8_t low, uint16_t high) noexcept {
  const uint32_t w = (static_cast<uint32_t>(high) << 8 | low) & 0x3FFFF;
  // Bit i of the 18-bit field becomes bit 21 - i.
  uint32_t r = 0;
  for (int i = 0; i < 18; ++i) {
    if ((w >> i) & 1u) r |= 1u << (21 - i);
  }
  std::lock_guard lock(control_);
  SerialBlock& b = model_.serialBlock;
  b[2] = static_cast<uint8_t>((b[2] & 0xC0) | ((r >> 16) & 0x3F));
  b[3] = static_cast<uint8_t>((r >> 8) & 0xFF);
  b[4] = static_cast<uint8_t>((r & 0xF0) | (b[2] & 0x0F));
  return SendSerialBlock();
}

int CUsbDevice::SendControlWord(uint16_t word) noexcept {
  return SendBytes({kControlWordCommand, Byte(word, 1), Byte(word, 0)});
}

}  // namespace quvex
