#include "deliverables/hesperon/binding.h"

#include "core/sensor_temperature.h"
#include "deliverables/usb_frame_outcomes.h"
#include "quvex/quvex.h"

namespace quvex {

namespace {

constexpr char kDevicePrefix[] = "ZelmorIR640A";

}  // namespace

HesperonBinding::HesperonBinding() : device_(kDevicePrefix, CUsbDevice::Variant{}) {}

bool HesperonBinding::HasDevice() const {
  for (int i = 0; i < device_.GetMaxDevices(); ++i) {
    if (device_.IsDevicePresent(static_cast<unsigned>(i)) != 0) return true;
  }
  return false;
}

int HesperonBinding::WriteRegister(unsigned registerNumber, int value) {
  return device_.WriteCameraRegister(static_cast<uint8_t>(registerNumber & 0xFF),
                                     static_cast<uint16_t>(value),
                                     static_cast<int>((registerNumber >> 8) & 0xFF));
}

int HesperonBinding::SelectCamera(int index) {
  if (!IsCameraPresent(index) || device_.OpenCamera(static_cast<unsigned>(index)) != 0) {
    return QUVEX_ERR_CAMERA_NUMBER;
  }
  return 0;
}

bool HesperonBinding::IsCameraPresent(int index) {
  return index >= 0 && device_.IsDevicePresent(static_cast<unsigned>(index)) != 0;
}

int HesperonBinding::PrepareCapture(const SensorTiming& timing) {
  if (device_.IsCurrentPresent() == 0) return QUVEX_ERR_CAMERA_NUMBER;
  // A window the device refuses would capture nothing: reported.
  if (device_.SetWindow(0, 0, timing.activeWidth, timing.activeLines, 0) != 0) {
    return QUVEX_ERR_DEVICE;
  }
  device_.SetPixelMode(1);
  // The temperature read only checks that the camera answers; capture can go on.
  uint16_t nineBits = 0;
  (void)ReadTemperature(nineBits);
  return 0;
}

int HesperonBinding::StartDevice() {
  device_.SetCaptureMode(0);
  return device_.StartCapture() == 0 ? 0 : QUVEX_ERR_DEVICE;
}

int HesperonBinding::StopDevice() {
  // The camera leaves its capture mode while the ring still runs. On a
  // stalled camera that command waits out its time-out, and a frame read
  // failing meanwhile is no failure: the stop was announced.
  device_.AnnounceStop();
  device_.SetCaptureMode(0);
  return device_.StopCapture() == 0 ? 0 : QUVEX_ERR_DEVICE;
}

FrameOutcome HesperonBinding::Poll() { return UsbPollOutcome(device_.PollFrame()); }

FrameOutcome HesperonBinding::Read(uint8_t* target, size_t capacity) {
  return UsbReadOutcome(device_, target, capacity);
}

FrameOutcome HesperonBinding::OneShot(uint8_t* target, size_t capacity) {
  device_.SetCaptureMode(0);
  return UsbOneShotOutcome(device_, target, capacity);
}

void HesperonBinding::HoldDevice(bool held) {
  oneShotHold_ = held ? device_.Hold() : std::unique_lock<platform::CriticalSection>();
}

bool HesperonBinding::ReadTemperature(uint16_t& nineBits) {
  // Held until the failure is judged, so that no other one-shot can begin
  // (and be interrupted) in between.
  const auto held = device_.Hold();
  if (device_.ReadInternalTemperature(nineBits) != 0) return true;
  // A read cut by the interrupt of the one-shot it belongs to is no failure
  // of the camera.
  if (!OneShotHit()) ReportError(QUVEX_ERR_DEVICE);
  return false;
}

float HesperonBinding::GetInternalTemperature(int* ok) {
  uint16_t nineBits = 0;
  const bool read = ReadTemperature(nineBits);
  if (ok != nullptr) *ok = read ? 1 : 0;
  if (!read) return 0.0f;
  return TemperatureFromSensor(static_cast<uint16_t>(nineBits << 7));
}

}  // namespace quvex
