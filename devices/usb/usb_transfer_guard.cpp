#include "devices/usb/usb_transfer_guard.h"

#include "devices/usb/usb_transport.h"

namespace quvex {

bool UsbTransferGuard::Publish(const platform::UsbHandle& handle) noexcept {
  std::lock_guard lock(mutex_);
  if (cancelled_ || held_) return false;
  handle_ = handle;
  reached_ = false;
  return true;
}

bool UsbTransferGuard::Withdraw() noexcept {
  std::lock_guard lock(mutex_);
  handle_ = {};
  return !reached_;
}

void UsbTransferGuard::Cancel() noexcept {
  platform::UsbHandle current;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    current = handle_;
    reached_ = reached_ || static_cast<bool>(current);
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
    reached_ = reached_ || static_cast<bool>(current);
  }
  current.Cancel();  // nothing for an empty handle
}

UsbCommandHandle::UsbCommandHandle(UsbTransferGuard& guard, const char* path) noexcept
    : guard_(guard) {
  if (OpenDevicePath(handle_, path) == 0) return;
  published_ = guard_.Publish(handle_);
  if (!published_) handle_.Cancel();
}

void UsbCommandHandle::KeepForReplies(const char* path) noexcept {
  if (!published_) return;
  published_ = false;
  if (guard_.Withdraw()) return;
  CloseDeviceHandle(handle_);
  OpenDevicePath(handle_, path);
}

UsbCommandHandle::~UsbCommandHandle() {
  if (published_) guard_.Withdraw();
  CloseDeviceHandle(handle_);
}

}  // namespace quvex
