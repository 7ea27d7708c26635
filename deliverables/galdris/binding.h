// Galdris's device: a USB camera behind the kernel driver, reached through
// the device-type holder.
#pragma once

#include "core/device_binding.h"
#include "core/one_shot_interrupts.h"
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
  void InterruptOneShots() override { interrupts_.Begin(); }
  void ResumeOneShots() override { interrupts_.End(); }
  bool OneShotsInterrupted() const override { return interrupts_.Active(); }
  int StopDevice() override;
  FrameOutcome Poll() override;
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

 private:
  CDeviceHolder holder_;
  // A one-shot's commands and frame fail at once while a host call waits to
  // stop the device; the ring-fill thread is left to the stop.
  OneShotInterrupts interrupts_{[this](bool raised) {
    if (CUsbDevice* device = holder_.Device()) device->InterruptTransfers(raised);
  }};
};

}  // namespace quvex
