// CUsbDevice: the variant camera's entry points. Its sensor is read out
// whole through a window: the frame is the window's pixels, and the camera
// learns the transfer size through sensor registers as well as command 0x09.
#include "devices/usb/usb_device.h"
#include "devices/usb/usb_transport.h"

namespace quvex {

namespace {

constexpr int kSensorWidth = 640;
constexpr int kSensorLines = 480;
constexpr int kWindowRingSlots = 4;
constexpr uint32_t kWindowSettleMs = 100;
// From this transfer size on (in samples) frames use the alternative requests.
constexpr uint32_t kLargeTransferSamples = 3072000;
constexpr uint8_t kPixelMode16 = 13;
constexpr uint8_t kPixelMode8 = 12;

bool IsWindowMode(int mode) { return (mode >= 0 && mode <= 3) || mode == 17 || mode == 18; }

int RoundUpToEven(int value) { return value + (value & 1); }

}  // namespace

CUsbDevice::CUsbDevice(const char* prefix, Variant) noexcept : CUsbDevice(prefix, Enumerated{}) {
  variant_ = true;
  (void)OpenCamera(0);
}

int CUsbDevice::SendVariantCommand(uint8_t code, uint8_t first, uint8_t second) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(code);
  packet[1] = first;
  packet[2] = second;
  std::lock_guard lock(control_);
  return SendCommand(packet);
}

int CUsbDevice::OpenCamera(unsigned index) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenIndex(index)) return result;
  SendReset();
  (void)SendCommand(MakeCommandPacket(QUVEX_USB_CMD_INIT));
  VariantWindow full;
  full.width = kSensorWidth;
  full.height = kSensorLines;
  (void)ApplyWindow(full);
  return QUVEX_USB_OK;
}

int CUsbDevice::WriteCameraRegister(uint8_t addressLow, uint16_t value, int addressHigh) noexcept {
  const uint8_t data[4] = {static_cast<uint8_t>(addressHigh != 0 ? 1 : 0), addressLow,
                           static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
  std::lock_guard lock(control_);
  const UsbCommandHandle handle(commands_, devicePath_.data());
  if (!handle) return 0;
  return UsbWriteRegisterBlock(handle.Get(), 4, data) == QUVEX_USB_OK ? 1 : 0;
}

int CUsbDevice::ReadValue(int selector, uint16_t& value) noexcept {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_READ_VALUE);
  packet[1] = selector != 0 ? 1 : 0;
  UsbCommandPacket reply{};
  // The command and both replies are one exchange: no other command of this
  // object comes between them, so no caller takes another's reply.
  std::lock_guard lock(control_);
  UsbCommandHandle handle(commands_, devicePath_.data());
  if (!handle) return 0;
  if (UsbSendPacket(handle.Get(), QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data()) != 0) {
    return 0;
  }
  // Both replies are taken whatever the first gave, and whatever interrupts
  // the commands now, so that none is left queued for the next read; the
  // value is in the second.
  handle.KeepForReplies(devicePath_.data());
  (void)UsbReceivePacket(handle.Get(), QUVEX_USB_PIPE_REPLY, QUVEX_USB_PACKET_SIZE, reply.data());
  if (UsbReceivePacket(handle.Get(), QUVEX_USB_PIPE_REPLY, QUVEX_USB_PACKET_SIZE, reply.data()) != 0) {
    return 0;
  }
  value = static_cast<uint16_t>(reply[0] | reply[1] << 8);
  return 1;
}

int CUsbDevice::WriteSensorByte(uint8_t sensorRegister, uint8_t value) noexcept {
  return SendVariantCommand(QUVEX_USB_CMD_SENSOR_REGISTER, sensorRegister, value) == QUVEX_USB_OK
             ? 1
             : 0;
}

int CUsbDevice::SetPixelMode(int sixteenBit) noexcept {
  std::lock_guard lock(control_);
  if (ThreadsRunning()) return QUVEX_USB_ERR_BUSY;  // frames in flight have the old width
  sampleWidthFlag_ = sixteenBit != 0 ? 1 : 0;
  // The transfer is always asked for in 16-bit samples; the sensor's pixel
  // mode says what they carry.
  (void)SendCommand(MakeSampleWidthPacket(true));
  (void)WriteSensorByte(QUVEX_SENSOR_REG_PIXEL_MODE, sixteenBit != 0 ? kPixelMode16 : kPixelMode8);
  return 1;
}

int CUsbDevice::SetWindow(int x, int y, int width, int height, int mode) noexcept {
  if (x < 0 || y < 0 || width < 4 || height < 3 || width > kSensorWidth - x ||
      height > kSensorLines - y || !IsWindowMode(mode)) {
    return 1;
  }
  return ApplyWindow(VariantWindow{x, y, width, height, mode, {}});
}

int CUsbDevice::ApplyWindow(const VariantWindow& window) noexcept {
  std::lock_guard lock(control_);
  // A ring that cannot be set up (capture running, no memory) leaves the
  // window as it was: the camera keeps the transfer size it was told.
  if (const int result = SetGeometry(window.width, 0, window.width, window.height, 0,
                                     window.height, kWindowRingSlots)) {
    return result;
  }
  window_ = window;
  window_.registers = {RoundUpToEven(window.x), RoundUpToEven(window.y),
                       RoundUpToEven(window.width), RoundUpToEven(window.height)};
  int sent = 0;
  for (int i = 0; i < 4; ++i) {
    sent += WriteSensorByte(static_cast<uint8_t>(QUVEX_SENSOR_REG_SIZE + i),
                            static_cast<uint8_t>(transferSize_ >> (8 * i)));
  }
  // The camera settles on a new size; one it never received (its commands
  // failed, or were interrupted) needs no wait.
  if (sent != 0) platform::SleepMs(kWindowSettleMs);
  largeTransferFlag_ = transferSize_ >= kLargeTransferSamples ? 1 : 0;
  return QUVEX_USB_OK;
}

int CUsbDevice::ReadInternalTemperature(uint16_t& nineBits) noexcept {
  uint16_t value = 0;
  if (ReadValue(1, value) == 0) return 0;
  nineBits = static_cast<uint16_t>(value >> 7);
  return 1;
}

int CUsbDevice::IsCurrentPresent() const noexcept {
  std::lock_guard lock(control_);
  return IsDevicePresent(static_cast<unsigned>(selectedIndex_));
}

CUsbDevice::VariantWindow CUsbDevice::Window() const noexcept {
  std::lock_guard lock(control_);
  return window_;
}

int CUsbDevice::CaptureModeFlag() const noexcept {
  std::lock_guard lock(control_);
  return captureModeFlag_;
}

int CUsbDevice::LargeTransferFlag() const noexcept {
  std::lock_guard lock(control_);
  return largeTransferFlag_;
}

}  // namespace quvex
