#include "device_holder.h"

namespace quvex {

void CDeviceHolder::Attach(std::unique_ptr<CUsbDevice> device) {
  Reset();
  device_ = std::move(device);
  if (device_) type_ = kConverterType;
}

int CDeviceHolder::WriteRegister(unsigned registerNumber, int value) {
  if (type_ != kConverterType || !device_) return 0;
  return device_->WriteRegister16(static_cast<uint8_t>(registerNumber & 0xFF), value,
                                  static_cast<uint8_t>((registerNumber >> 8) & 0xFF));
}

int CDeviceHolder::IsDevicePresent(int index) {
  if (!HasTypeInRange() || !device_ || index < 0) return 0;
  return device_->IsDevicePresent(static_cast<unsigned>(index));
}

int CDeviceHolder::Open(int index, int) {
  if (type_ != kConverterType || !device_ || index < 0) return 1;
  return device_->OpenConverter(static_cast<unsigned>(index));
}

int CDeviceHolder::Start() {
  if (!HasTypeInRange() || !device_) return 1;
  return device_->StartCapture();
}

int CDeviceHolder::SetMode(int) {
  // The converter has no capture-mode routine.
  return 0;
}

int CDeviceHolder::Reset() {
  device_.reset();
  type_ = 0;
  return 1;
}

}  // namespace quvex
