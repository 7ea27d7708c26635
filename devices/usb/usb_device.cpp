// CUsbDevice: construction, device naming and enumeration, commands and the
// converter's entry points.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices/usb/usb_device.h"
#include "devices/usb/usb_transport.h"

namespace quvex {

namespace {

// "\\.\<prefix>-<index>"
template <size_t N>
void FormatDevicePath(std::array<char, N>& path, const char* prefix, unsigned index) {
  std::snprintf(path.data(), path.size(), "\\\\.\\%s-%u", prefix, index);
}

}  // namespace

CUsbDevice::CUsbDevice(const char* prefix) noexcept : CUsbDevice(prefix, Enumerated{}) {
  if (OpenIndex(0) == QUVEX_USB_OK) SendReset();
}

CUsbDevice::CUsbDevice(const char* prefix, Enumerated) noexcept {
  InitMembers();
  if (prefix != nullptr) {
    const size_t length = strnlen(prefix, prefix_.size() - 1);
    std::memcpy(prefix_.data(), prefix, length);
    prefix_[length] = '\0';
  }
  EnumDevices();
}

CUsbDevice::~CUsbDevice() { Close(); }

void CUsbDevice::InitMembers() noexcept {
  rawBuffer_.reset();
  slots_.reset();
  ringCount_ = 0;
  sourceFamily_ = QUVEX_USB_SOURCE_SENSOR;
  presence_.fill(0);
  largeTransferFlag_ = 0;
}

void CUsbDevice::ResetDefaults() noexcept {
  sampleWidthFlag_ = 0;
  layout_.pitch = 1339;
  layout_.xOffset = 50;
  layout_.width = 1280;
  layout_.lines = 1040;
  layout_.yOffset = 10;
  layout_.height = 1028;
  twoFieldFlag_ = 0;
  captureModeFlag_ = 0;
  // A type opened after the video converter must not inherit its copy path.
  sourceFamily_ = QUVEX_USB_SOURCE_SENSOR;
  model_.type6Option = 0;
  SetColourSettings(UsbColourSettings{});
}

void CUsbDevice::EnumDevices() noexcept {
  std::lock_guard lock(control_);
  for (unsigned index = 0; index < presence_.size(); ++index) {
    std::array<char, 256> path{};
    FormatDevicePath(path, prefix_.data(), index);
    platform::UsbHandle handle;
    presence_[index] = OpenDevicePath(handle, path.data());
    CloseDeviceHandle(handle);
  }
  selectedIndex_ = 0;
}

int CUsbDevice::SelectDevice(unsigned index) noexcept {
  if (index >= QUVEX_USB_MAX_DEVICES) return QUVEX_USB_ERR_INDEX;
  std::lock_guard lock(control_);
  selectedIndex_ = static_cast<int>(index);
  FormatDevicePath(devicePath_, prefix_.data(), index);
  return QUVEX_USB_OK;
}

int CUsbDevice::GetDeviceIndex() const noexcept {
  std::lock_guard lock(control_);
  return selectedIndex_;
}

int CUsbDevice::IsDevicePresent(unsigned index) const noexcept {
  if (index >= QUVEX_USB_MAX_DEVICES) return 0;
  std::lock_guard lock(control_);
  return presence_[index];
}

int CUsbDevice::OpenIndex(unsigned index) noexcept {
  if (index >= QUVEX_USB_MAX_DEVICES) return QUVEX_USB_ERR_INDEX;
  std::lock_guard lock(control_);
  // A running capture reads frames of the current geometry from the current
  // path; changing either under it would corrupt the frames.
  if (ThreadsRunning()) return QUVEX_USB_ERR_BUSY;
  ResetDefaults();
  if (SelectDevice(index) != QUVEX_USB_OK) return QUVEX_USB_ERR_INDEX;
  SetSampleWidth(0);
  return QUVEX_USB_OK;
}

int CUsbDevice::SendCommand(const UsbCommandPacket& packet) noexcept {
  const UsbCommandHandle handle(commands_, devicePath_.data());
  if (!handle) return QUVEX_USB_ERR_OPEN;
  return UsbSendPacket(handle.Get(), QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data());
}

void CUsbDevice::SendReset() noexcept {
  std::lock_guard lock(control_);
  (void)SendCommand(MakeCommandPacket(QUVEX_USB_CMD_RESET));
}

int CUsbDevice::SetSampleWidth(int sixteenBit) noexcept {
  std::lock_guard lock(control_);
  if (ThreadsRunning()) return QUVEX_USB_ERR_BUSY;  // frames in flight have the old width
  sampleWidthFlag_ = sixteenBit;
  (void)SendCommand(MakeSampleWidthPacket(sixteenBit != 0));
  return 1;
}

int CUsbDevice::SendTransferSize() noexcept {
  std::lock_guard lock(control_);
  (void)SendCommand(MakeTransferSizePacket(transferSize_));
  return 1;
}

int CUsbDevice::QueryByte(uint8_t code, uint8_t& answer) noexcept {
  std::lock_guard lock(control_);
  const UsbCommandHandle handle(commands_, devicePath_.data());
  if (!handle) return 0;
  (void)UsbQueryByte(handle.Get(), code, answer);
  platform::SleepMs(10);
  return 1;
}

int CUsbDevice::OpenConverter(unsigned index) noexcept {
  std::lock_guard lock(control_);
  if (const int result = OpenIndex(index)) return result;
  SendReset();
  return QUVEX_USB_OK;
}

int CUsbDevice::WriteRegister16(uint8_t addressLow, int value, uint8_t addressHigh) noexcept {
  std::lock_guard lock(control_);
  return SendCommand(MakeRegisterPacket(addressHigh, addressLow, value)) == QUVEX_USB_OK ? 1 : 0;
}

int CUsbDevice::SetConverterGeometry(int32_t pitch, int32_t xOffset, int32_t width, int32_t lines,
                                     int32_t yOffset, int32_t height, int32_t ringCount) noexcept {
  return SetGeometry(pitch, xOffset, width, lines, yOffset, height, ringCount);
}

int CUsbDevice::SetCaptureMode(int flag) noexcept {
  std::lock_guard lock(control_);
  if (variant_ && SendVariantCommand(QUVEX_USB_CMD_SENSOR_REGISTER, QUVEX_SENSOR_REG_CAPTURE_MODE,
                                     flag != 0 ? 1 : 0) != QUVEX_USB_OK) {
    return 0;
  }
  captureModeFlag_ = flag;
  return 1;
}

void CUsbDevice::SetTwoFieldLayout(int flag) noexcept {
  std::lock_guard lock(control_);
  twoFieldFlag_ = flag;
}

void CUsbDevice::SetSourceFamily(int family) noexcept {
  std::lock_guard lock(control_);
  sourceFamily_ = family;
}

void CUsbDevice::SetLargeTransfer(int flag) noexcept {
  std::lock_guard lock(control_);
  largeTransferFlag_ = flag;
}

void CUsbDevice::InterruptTransfers(bool raised) noexcept {
  commands_.Hold(raised);
  oneShot_.transfers.Hold(raised);
}

void CUsbDevice::Close() noexcept {
  std::lock_guard lock(control_);
  (void)StopCapture();
  oneShot_.transfers.Cancel();
  JoinOneShot();
  FreeBuffersLocked();
  ring_.endEvent.reset();
  oneShot_.endEvent.reset();
}

}  // namespace quvex
