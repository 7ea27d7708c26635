#include "devices/usb/device_holder.h"

namespace quvex {

namespace {

using OpenRoutine = int (CUsbDevice::*)(unsigned) noexcept;
using ModeRoutine = int (CUsbDevice::*)(int) noexcept;

// Open routines of types 2 to 18, by type.
constexpr OpenRoutine kOpenRoutines[] = {
    &CUsbDevice::OpenType2,  &CUsbDevice::OpenType3,  &CUsbDevice::OpenType4,
    &CUsbDevice::OpenType5,  &CUsbDevice::OpenType6,  &CUsbDevice::OpenType7,
    &CUsbDevice::OpenType8,  &CUsbDevice::OpenType9,  &CUsbDevice::OpenType10,
    &CUsbDevice::OpenType11, &CUsbDevice::OpenType12, &CUsbDevice::OpenType13,
    &CUsbDevice::OpenType14, &CUsbDevice::OpenType15, &CUsbDevice::OpenType16,
    &CUsbDevice::OpenType17, &CUsbDevice::OpenType18};

// Mode routines of types 2 to 18 (type 4 separately, type 12 has none).
constexpr ModeRoutine kModeRoutines[] = {
    &CUsbDevice::SetModeType2,  &CUsbDevice::SetModeType2,  nullptr,
    &CUsbDevice::SetModeType5,  &CUsbDevice::SetModeType6,  &CUsbDevice::SetModeType7,
    &CUsbDevice::SetModeType8,  &CUsbDevice::SetModeType9,  &CUsbDevice::SetModeType10,
    &CUsbDevice::SetModeType9,  nullptr,                    &CUsbDevice::SetModeType13,
    &CUsbDevice::SetModeType10, &CUsbDevice::SetModeType9,  &CUsbDevice::SetModeType9,
    &CUsbDevice::SetModeType17, &CUsbDevice::SetModeType18};

constexpr int kFirstType = 2;
constexpr int kVideoConverterType = 20;

}  // namespace

void CDeviceHolder::Attach(std::unique_ptr<CUsbDevice> device) {
  Reset();
  device_ = std::move(device);
  if (device_) type_ = kConverterType;
}

void CDeviceHolder::SetType(int type) {
  if (device_) type_ = type;
}

int CDeviceHolder::WriteRegister(unsigned registerNumber, int value) {
  if (!device_) return 0;
  switch (type_) {
    case 9:
    case 11:
    case 15:
    case 16:
      return device_->WriteRegisterType9(registerNumber, value);
    case 17:
    case 18:
      return device_->WriteRegisterType17(registerNumber, value);
    case kConverterType:
      return device_->WriteRegister16(static_cast<uint8_t>(registerNumber & 0xFF), value,
                                      static_cast<uint8_t>((registerNumber >> 8) & 0xFF));
    default:
      return 0;
  }
}

int CDeviceHolder::IsDevicePresent(int index) {
  if (!HasTypeInRange() || !device_ || index < 0) return 0;
  return device_->IsDevicePresent(static_cast<unsigned>(index));
}

int CDeviceHolder::Open(int index, int mode) {
  if (!HasTypeInRange() || !device_ || index < 0) return 1;
  const auto device = static_cast<unsigned>(index);
  if (type_ == kConverterType) return device_->OpenConverter(device);
  if (type_ == kVideoConverterType) return device_->OpenType20(device, mode);
  return (device_.get()->*kOpenRoutines[type_ - kFirstType])(device);
}

int CDeviceHolder::Start() {
  if (!HasTypeInRange() || !device_) return 1;
  return device_->StartCapture();
}

int CDeviceHolder::SelectSixteenBitSamples() {
  if (!HasTypeInRange() || !device_) return 0;
  // Types 17 and 18 take the same sample-width packet as the others. The
  // device must remember the width with it for every type, or it would
  // read 16-bit frames at half their length.
  return device_->SetSampleWidth(1);
}

int CDeviceHolder::SetMode(int flag) {
  // The converters (19, 20) and type 12 have no capture-mode routine.
  if (!device_ || type_ < kFirstType || type_ >= kConverterType) return 0;
  if (type_ == 4) return device_->SetModeType4(flag, 0);
  const ModeRoutine routine = kModeRoutines[type_ - kFirstType];
  return routine != nullptr ? (device_.get()->*routine)(flag) : 0;
}

int CDeviceHolder::Reset() {
  device_.reset();
  type_ = 0;
  return 1;
}

}  // namespace quvex
