// Hesperon's device: the variant USB camera, held directly (no device-type
// holder). Register writes carry an address-high byte, capture sets the
// sensor window and pixel mode, and the camera reports its own temperature.
#pragma once

#include "device_binding.h"
#include "usb_device.h"

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
  bool RefusesSelectionDuringCapture() const override { return true; }

  int PrepareCapture(const SensorTiming& timing) override;
  int StartDevice() override;
  int StopDevice() override;
  FrameOutcome Poll() override;
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

  // Degrees Celsius; ok (when given) 1, or 0 with error 8 reported and 0.0.
  float GetInternalTemperature(int* ok);

 private:
  CUsbDevice device_;
};

}  // namespace quvex
