#include "devices/usb/usb_transfer_guard.h"

#include "devices/usb/usb_transport.h"

namespace quvex {

bool UsbTransferGuard::Publish(const platform::UsbHandle& handle) noexcept {
  std::lock_guard lock(mutex_);
  if (cancelled_ || held_) return false;
  handle_ = handle;
  return true;
}

void UsbTransferGuard::Withdraw() noexcept {
  std::lock_guard lock(mutex_);
  handle_ = {};
}

void UsbTransferGuard::Cancel() noexcept {
  platform::UsbHandle current;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    current = handle_;
  }
  current.Cancel();
}

void UsbTransferGuard::Rearm() noexcept {
  std::lock_guard lock(mutex_);
  cancelled_ = false;
  handle_ = {};
}

void UsbTransferGuard::Hold(bool held) noexcept {
  platform::UsbHandle current;
  {
    std::lock_guard lock(mutex_);
    held_ = held;
    if (held) current = handle_;
  }
  current.Cancel();  // nothing for an empty handle
}

UsbCommandHandle::UsbCommandHandle(UsbTransferGuard& guard, const char* path) noexcept
    : guard_(guard) {
  if (OpenDevicePath(handle_, path) == 0) return;
  published_ = guard_.Publish(handle_);
  if (!published_) handle_.Cancel();
}

UsbCommandHandle::~UsbCommandHandle() {
  if (published_) guard_.Withdraw();
  CloseDeviceHandle(handle_);
}

}  // namespace quvex
