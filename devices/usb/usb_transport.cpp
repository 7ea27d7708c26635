// The driver transport and the command packets.
#include "devices/usb/usb_transport.h"

#include <algorithm>
#include <cstring>

#include "devices/usb/usb_codes.h"

namespace quvex {

UsbCommandPacket MakeCommandPacket(uint8_t code) noexcept {
  UsbCommandPacket packet{};
  packet[0] = code;
  return packet;
}

UsbCommandPacket MakeRegisterPacket(uint8_t addressHigh, uint8_t addressLow, int value) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_WRITE_REGISTER);
  packet[1] = addressHigh;
  packet[2] = addressLow;
  packet[3] = static_cast<uint8_t>((value >> 8) & 0xFF);
  packet[4] = static_cast<uint8_t>(value & 0xFF);
  return packet;
}

UsbCommandPacket MakeTransferSizePacket(uint32_t samples) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_TRANSFER_SIZE);
  for (int i = 0; i < 4; ++i) packet[1 + i] = static_cast<uint8_t>(samples >> (8 * i));
  return packet;
}

UsbCommandPacket MakeSampleWidthPacket(bool sixteenBit) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_SAMPLE_WIDTH);
  packet[1] = sixteenBit ? 1 : 0;
  return packet;
}

int OpenDevicePath(platform::UsbHandle& handle, const char* path) noexcept {
  if (path == nullptr) return 0;
  handle = platform::UsbHandle::Open(path);
  return handle ? 1 : 0;
}

int CloseDeviceHandle(platform::UsbHandle& handle) noexcept {
  if (!handle) return 0;
  handle.Close();
  return 1;
}

namespace {

int Transfer(const platform::UsbHandle& handle, uint32_t requestCode, int pipe, uint32_t length,
             void* buffer, uint32_t& transferred, uint32_t timeoutMs) noexcept {
  transferred = 0;
  if (buffer == nullptr) return -2;
  if (!handle) return -3;
  return handle.Control(requestCode, static_cast<uint32_t>(pipe), buffer, length, transferred,
                        timeoutMs)
             ? 0
             : -1;
}

int ExactTransfer(const platform::UsbHandle& handle, int pipe, uint32_t length, void* buffer,
                  int direction) noexcept {
  if (!handle) return QUVEX_USB_ERR_OPEN;
  uint32_t moved = 0;
  const int result = UsbBulkTransfer(handle, pipe, length, buffer, moved, direction);
  return result == 0 && moved == length ? QUVEX_USB_OK : QUVEX_USB_ERR_IO;
}

// Command {code, argument} and the two replies that follow it.
int Exchange(const platform::UsbHandle& handle, uint8_t command, uint8_t argument,
             UsbCommandPacket& reply, bool& sent) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(command);
  packet[1] = argument;
  const int result = UsbSendPacket(handle, QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data());
  sent = result == QUVEX_USB_OK;
  if (!sent) return result;
  (void)UsbReceivePacket(handle, QUVEX_USB_PIPE_REPLY, QUVEX_USB_PACKET_SIZE, reply.data());
  return UsbReceivePacket(handle, QUVEX_USB_PIPE_REPLY, QUVEX_USB_PACKET_SIZE, reply.data());
}

}  // namespace

int UsbBulkTransfer(const platform::UsbHandle& handle, int pipe, uint32_t length, void* buffer,
                    uint32_t& transferred, int direction, uint32_t timeoutMs) noexcept {
  const uint32_t code = direction != 0 ? QUVEX_USB_IOCTL_IN_DIRECT : QUVEX_USB_IOCTL_OUT_DIRECT;
  return Transfer(handle, code, pipe, length, buffer, transferred, timeoutMs);
}

int UsbBulkTransferAlt(const platform::UsbHandle& handle, int pipe, uint32_t length, void* buffer,
                       uint32_t& transferred, int direction, uint32_t timeoutMs) noexcept {
  const uint32_t code =
      direction != 0 ? QUVEX_USB_IOCTL_IN_DIRECT_ALT : QUVEX_USB_IOCTL_OUT_DIRECT_ALT;
  return Transfer(handle, code, pipe, length, buffer, transferred, timeoutMs);
}

int UsbSendPacket(const platform::UsbHandle& handle, int pipe, uint32_t length,
                  const void* buffer) noexcept {
  // The driver interface takes one buffer for both directions; a send does not
  // write into it.
  return ExactTransfer(handle, pipe, length, const_cast<void*>(buffer), 1);
}

int UsbReceivePacket(const platform::UsbHandle& handle, int pipe, uint32_t length,
                     void* buffer) noexcept {
  return ExactTransfer(handle, pipe, length, buffer, 0);
}

int UsbWriteRegisterBlock(const platform::UsbHandle& handle, int count,
                          const uint8_t* data) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_WRITE_REGISTER);
  const int copied = std::clamp(count, 0, QUVEX_USB_PACKET_SIZE - 1);
  if (data != nullptr && copied > 0) std::memcpy(packet.data() + 1, data, static_cast<size_t>(copied));
  return UsbSendPacket(handle, QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data());
}

int UsbReadRegister(const platform::UsbHandle& handle, uint8_t code, uint8_t* buffer,
                    int length) noexcept {
  UsbCommandPacket reply{};
  bool sent = false;
  const int result = Exchange(handle, QUVEX_USB_CMD_READ_REGISTER, code, reply, sent);
  if (!sent) return result;
  const int copied = std::min(length, QUVEX_USB_PACKET_SIZE);
  if (buffer != nullptr && copied > 0) std::memcpy(buffer, reply.data(), static_cast<size_t>(copied));
  return result;
}

int UsbQueryByte(const platform::UsbHandle& handle, uint8_t code, uint8_t& answer) noexcept {
  UsbCommandPacket reply{};
  bool sent = false;
  const int result = Exchange(handle, QUVEX_USB_CMD_QUERY, code, reply, sent);
  if (sent) answer = reply[0];
  return result;
}

}  // namespace quvex
