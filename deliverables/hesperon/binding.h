// Hesperon's device: the variant USB camera, held directly (no device-type
// holder). Register writes carry an address-high byte, capture sets the
// sensor window and pixel mode, and the camera reports its own temperature.
#pragma once

#include <mutex>

#include "core/device_binding.h"
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
  int StopDevice() override;
  FrameOutcome Poll() override;
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

  // Degrees Celsius; ok (when given) 1, or 0 with 0.0 (error 8 reported as
  // ReadTemperature says).
  float GetInternalTemperature(int* ok);

 protected:
  // A one-shot holds the device object; an interrupt fails its commands and
  // its frame transfer at once.
  void HoldDevice(bool held) override;
  void CancelOneShot(bool raised) override { device_.InterruptTransfers(raised); }

 private:
  // The nine bits of the internal temperature; a failure is reported as
  // error 8 unless an interrupt ended the one-shot that read it.
  bool ReadTemperature(uint16_t& nineBits);

  CUsbDevice device_;
  std::unique_lock<platform::CriticalSection> oneShotHold_;  // the one-shot's thread
};

}  // namespace quvex
