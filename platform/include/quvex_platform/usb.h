// USB camera device paths: open, synchronous transfers with a time-out,
// cancellation and close, over the drivers a host installed
// (quvex/quvex_usb.h).
#pragma once

#include <cstdint>
#include <memory>

namespace quvex::platform {

// Generous defaults: a camera that stalls makes the transfer fail, it never
// hangs the caller.
inline constexpr uint32_t kUsbCommandTimeoutMs = 2000;
inline constexpr uint32_t kUsbFrameTimeoutMs = 2000;

namespace detail {
struct UsbHandleState;
}

// An open device path. Copies share the one device; the device closes with
// Close or when the last copy goes. Every member is safe to call from several
// threads at once; Cancel is meant to be called from another thread.
class UsbHandle {
 public:
  UsbHandle() = default;

  // Opens "\\.\<prefix>-<index>" (index 0 to 7). An empty handle when the
  // path has another form, no driver is installed for the prefix, or the
  // driver finds no camera at the index.
  static UsbHandle Open(const char* path) noexcept;

  explicit operator bool() const { return state_ != nullptr; }

  // Moves up to length bytes on pipe (0 to the camera, 1 and 2 from it) with
  // the given request code; moved receives the bytes the driver reports.
  // false when the handle is empty, closed or cancelled, or the transfer
  // failed or timed out.
  bool Control(uint32_t requestCode, uint32_t pipe, void* buffer, uint32_t length, uint32_t& moved,
               uint32_t timeoutMs) const noexcept;

  // Makes the transfer in progress and every later one on this device fail
  // at once.
  void Cancel() const noexcept;

  // Closes the device for every copy (after any transfer in progress ended)
  // and empties this copy.
  void Close() noexcept;

 private:
  std::shared_ptr<detail::UsbHandleState> state_;
};

}  // namespace quvex::platform
