// Galdris's device: a USB camera behind the kernel driver, reached through
// the device-type holder.
#pragma once

#include <mutex>

#include "core/device_binding.h"
#include "devices/usb/device_holder.h"

namespace quvex {

class GaldrisBinding final : public DeviceBinding {
 public:
  GaldrisBinding();

  bool HasDevice() const override { return holder_.HasDevice(); }
  int WriteRegister(unsigned registerNumber, int value) override;
  int SelectCamera(int index) override;
  int MaxCameras() const override;
  bool IsCameraPresent(int index) override;

  int PrepareCapture(const SensorTiming& timing) override;
  int StartDevice() override;
  int StopDevice() override;
  FrameOutcome Poll() override;
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

 protected:
  // A one-shot holds the device object; an interrupt fails its commands and
  // its frame transfer at once.
  void HoldDevice(bool held) override;
  void CancelOneShot(bool raised) override;

 private:
  CDeviceHolder holder_;
  std::unique_lock<platform::CriticalSection> oneShotHold_;  // the one-shot's thread
};

}  // namespace quvex
