// Hesperon's device: the variant USB camera, held directly (no device-type
// holder). Register writes carry an address-high byte, capture sets the
// sensor window and pixel mode, and the camera reports its own temperature.
#pragma once

#include "core/device_binding.h"
#include "core/one_shot_interrupts.h"
#include "devices/usb/usb_device.h"

namespace quvex {

class HesperonBinding final : public DeviceBinding {
 public:
  HesperonBinding();

  // A camera answered at enumeration: without one nothing can be selected.
  bool HasDevice() const override;
  int WriteRegister(unsigned registerNumber, int value) override;
  int SelectCamera(int index) override;
  int MaxCameras() const override { return device_.GetMaxDevices(); }
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

  // Degrees Celsius; ok (when given) 1, or 0 with 0.0 (error 8 reported as
  // ReadTemperature says).
  float GetInternalTemperature(int* ok);

 private:
  // The nine bits of the internal temperature; a failure is reported as
  // error 8 unless an interrupt refused the read.
  bool ReadTemperature(uint16_t& nineBits);

  CUsbDevice device_;
  // A one-shot's commands and frame fail at once while a host call waits to
  // stop the device; the ring-fill thread is left to the stop.
  OneShotInterrupts interrupts_{[this](bool raised) { device_.InterruptTransfers(raised); }};
};

}  // namespace quvex
