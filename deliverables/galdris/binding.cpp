#include "deliverables/galdris/binding.h"

#include <new>

#include "deliverables/usb_frame_outcomes.h"
#include "quvex/quvex.h"

namespace quvex {

namespace {
constexpr char kDevicePrefix[] = "ZelmorX02";
constexpr int kDeviceRingSlots = 10;
}  // namespace

GaldrisBinding::GaldrisBinding() {
  holder_.Attach(std::unique_ptr<CUsbDevice>(new (std::nothrow) CUsbDevice(kDevicePrefix)));
}

int GaldrisBinding::WriteRegister(unsigned registerNumber, int value) {
  return holder_.WriteRegister(registerNumber, value);
}

int GaldrisBinding::SelectCamera(int index) {
  if (!holder_.HasTypeInRange()) return QUVEX_ERR_CAMERA_NUMBER;
  if (holder_.IsDevicePresent(index) != 0 && holder_.Open(index, 1) == 0) return 0;
  return QUVEX_ERR_CAMERA_NUMBER;
}

int GaldrisBinding::MaxCameras() const {
  return holder_.HasTypeInRange() ? holder_.Device()->GetMaxDevices() : 0;
}

bool GaldrisBinding::IsCameraPresent(int index) { return holder_.IsDevicePresent(index) != 0; }

int GaldrisBinding::PrepareCapture(const SensorTiming& timing) {
  CUsbDevice* device = holder_.Device();
  const int index = holder_.HasTypeInRange() ? device->GetDeviceIndex() : -1;
  if (holder_.IsDevicePresent(index) == 0) return QUVEX_ERR_CAMERA_NUMBER;
  // A geometry the device refuses would capture nothing: reported.
  if (holder_.Type() == CDeviceHolder::kConverterType &&
      device->SetConverterGeometry(timing.totalWidth, timing.horizontalOffset, timing.activeWidth,
                                   timing.totalLines, timing.verticalOffset, timing.activeLines,
                                   kDeviceRingSlots) != 0) {
    return QUVEX_ERR_DEVICE;
  }
  holder_.SelectSixteenBitSamples();
  return 0;
}

int GaldrisBinding::StartDevice() {
  holder_.SetMode(0);
  return holder_.Start() == 0 ? 0 : QUVEX_ERR_DEVICE;
}

int GaldrisBinding::StopDevice() {
  holder_.SetMode(0);
  if (!holder_.HasTypeInRange()) return QUVEX_ERR_DEVICE;
  return holder_.Device()->StopCapture() == 0 ? 0 : QUVEX_ERR_DEVICE;
}

FrameOutcome GaldrisBinding::Poll() {
  if (!holder_.HasTypeInRange()) return {FrameOutcome::End, QUVEX_ERR_CAPTURE_ENDED};
  return UsbPollOutcome(holder_.Device()->PollFrame());
}

FrameOutcome GaldrisBinding::Read(uint8_t* target, size_t capacity) {
  return UsbReadOutcome(*holder_.Device(), target, capacity);
}

void GaldrisBinding::HoldDevice(bool held) {
  CUsbDevice* device = holder_.Device();
  oneShotHold_ = held && device != nullptr ? device->Hold()
                                           : std::unique_lock<platform::CriticalSection>();
}

void GaldrisBinding::CancelOneShot(bool raised) {
  if (CUsbDevice* device = holder_.Device()) device->InterruptTransfers(raised);
}

FrameOutcome GaldrisBinding::OneShot(uint8_t* target, size_t capacity) {
  holder_.SetMode(0);
  if (!holder_.HasTypeInRange()) return {FrameOutcome::NoFrame, 0};
  return UsbOneShotOutcome(*holder_.Device(), target, capacity);
}

}  // namespace quvex
