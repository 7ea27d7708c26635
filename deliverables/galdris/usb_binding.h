// Galdris's device: a USB camera behind the kernel driver, reached through
// the device-type holder.
#pragma once

#include <atomic>

#include "device_binding.h"
#include "device_holder.h"

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

 private:
  CDeviceHolder holder_;
  // Set once the ring-fill thread was started, so that a thread that ended
  // at once (its device did not open) is reported instead of polled forever.
  std::atomic<bool> started_{false};
};

}  // namespace quvex
