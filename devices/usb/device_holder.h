// The holder through which the reference library reaches its USB device: a
// device type (2 to 20) and the device object, turning each operation the
// core needs into the routine of that type. The reference library carries
// type 19, the converter; the other types are routed all the same.
#pragma once

#include <memory>

#include "devices/usb/usb_device.h"

namespace quvex {

class CDeviceHolder {
 public:
  static constexpr int kConverterType = 19;

  CDeviceHolder() = default;
  CDeviceHolder(const CDeviceHolder&) = delete;
  CDeviceHolder& operator=(const CDeviceHolder&) = delete;
  ~CDeviceHolder() { Reset(); }

  // Takes the device object (or null); the type becomes 19 when there is one.
  void Attach(std::unique_ptr<CUsbDevice> device);

  // Selects the device type of the held object (kept 0 without one).
  void SetType(int type);
  int Type() const { return type_; }
  bool HasTypeInRange() const { return type_ >= 2 && type_ <= 20; }
  // Any device object held and a type other than -1: the core's device check.
  bool HasDevice() const { return device_ != nullptr && type_ != -1; }
  CUsbDevice* Device() const { return device_.get(); }

  int WriteRegister(unsigned registerNumber, int value);
  int IsDevicePresent(int index);
  // 0 on success, non-zero on failure.
  int Open(int index, int mode);
  int Start();
  // Switches the device to 16-bit samples: SetSampleWidth's result, 0 without
  // a type in range.
  int SelectSixteenBitSamples();
  int SetMode(int flag);
  // Destroys the device object and clears the holder; 1.
  int Reset();

 private:
  int type_ = 0;
  std::unique_ptr<CUsbDevice> device_;
};

}  // namespace quvex
