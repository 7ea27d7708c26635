// Handles whose transfers another thread may have to end: a capture thread's
// handle, which a stop cancels, and each command's own handle, which an
// interrupt of the host's waits cancels.
#pragma once

#include <mutex>

#include "quvex_platform/usb.h"

namespace quvex {

// The handle a thread is transferring on, so that another thread can cancel
// its transfer.
class UsbTransferGuard {
 public:
  // Before the first transfer; false when a cancel or a hold came first.
  bool Publish(const platform::UsbHandle& handle) noexcept;
  // false when a cancel or a hold already reached the published handle.
  bool Withdraw() noexcept;
  // Ends the current transfer and every later one at once, until Rearm.
  void Cancel() noexcept;
  void Rearm() noexcept;
  // While held, the current transfer ends and Publish refuses, whatever
  // Rearm says: a hold raised just before a rearm still holds.
  void Hold(bool held) noexcept;

 private:
  std::mutex mutex_;
  platform::UsbHandle handle_;
  bool cancelled_ = false;
  bool held_ = false;
  bool reached_ = false;  // the published handle was cancelled
};

// A command's own handle on the device path, published to the guard for as
// long as the command exchanges its packets. Refused by a held guard, it is
// cancelled at once: every transfer on it fails without waiting.
class UsbCommandHandle {
 public:
  UsbCommandHandle(UsbTransferGuard& guard, const char* path) noexcept;
  // Withdraws and closes.
  ~UsbCommandHandle();
  UsbCommandHandle(const UsbCommandHandle&) = delete;
  UsbCommandHandle& operator=(const UsbCommandHandle&) = delete;

  // false when the path did not open.
  explicit operator bool() const noexcept { return static_cast<bool>(handle_); }
  const platform::UsbHandle& Get() const noexcept { return handle_; }
  // The request went out: its replies are read whatever the guard does from
  // now on, so that none is left for the next command to take. A handle that
  // a hold cut in the meantime is replaced by a new one on path.
  void KeepForReplies(const char* path) noexcept;

 private:
  UsbTransferGuard& guard_;
  platform::UsbHandle handle_;
  bool published_ = false;
};

}  // namespace quvex
