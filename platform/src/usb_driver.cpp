// The registry of USB camera drivers and the handles of open device paths.
// Every call into a driver is counted, so that removing a driver can cancel
// and close what is still open and return only when no call is running, but
// for the calls of the removing thread itself: a driver that notices an unplug
// may remove itself from inside its own functions.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "quvex/quvex_usb.h"
#include "quvex_platform/usb.h"

namespace quvex::platform::detail {

struct DriverEntry {
  explicit DriverEntry(const QuvexUsbDriver& t) : table(t) {}
  const QuvexUsbDriver table;
  std::mutex mutex;
  std::condition_variable idle;  // a call ended
  int calls = 0;                 // calls into the driver in progress
  bool removed = false;
  std::vector<std::pair<UsbHandleState*, void*>> handles;  // devices still open
};

struct UsbHandleState {
  UsbHandleState(std::shared_ptr<DriverEntry> d, void* dev) : driver(std::move(d)), device(dev) {}
  ~UsbHandleState() { CloseDevice(); }

  // Waits for this handle's calls to end, then closes the device once.
  void CloseDevice() noexcept;

  const std::shared_ptr<DriverEntry> driver;
  void* const device;
  // Guarded by driver->mutex.
  int calls = 0;
  bool open = true;
  bool cancelled = false;
  bool closeAfterCall = false;  // removed from inside a call on this device
};

// The calls into drivers running on this thread, innermost first.
class DriverCall {
 public:
  DriverCall(const DriverEntry& entry, const UsbHandleState* handle)
      : entry_(entry), handle_(handle), outer_(innermost_) {
    innermost_ = this;
  }
  ~DriverCall() { innermost_ = outer_; }
  DriverCall(const DriverCall&) = delete;
  DriverCall& operator=(const DriverCall&) = delete;

  static int CountOnThisThread(const DriverEntry& entry) {
    int count = 0;
    for (const DriverCall* call = innermost_; call != nullptr; call = call->outer_) {
      count += &call->entry_ == &entry ? 1 : 0;
    }
    return count;
  }
  static bool OnThisThread(const UsbHandleState* handle) {
    for (const DriverCall* call = innermost_; call != nullptr; call = call->outer_) {
      if (call->handle_ == handle) return true;
    }
    return false;
  }

 private:
  const DriverEntry& entry_;
  const UsbHandleState* const handle_;
  DriverCall* const outer_;
  static thread_local DriverCall* innermost_;
};

thread_local DriverCall* DriverCall::innermost_ = nullptr;

// Ends a counted call into the driver. A device whose driver was removed from
// inside a call on it is closed once that call has returned.
void EndCall(DriverEntry& entry, UsbHandleState* handle) noexcept {
  bool close = false;
  {
    std::lock_guard lock(entry.mutex);
    --entry.calls;
    if (handle != nullptr) {
      --handle->calls;
      close = handle->calls == 0 && handle->closeAfterCall;
      if (close) handle->closeAfterCall = false;
    }
  }
  entry.idle.notify_all();
  if (close) entry.table.close(entry.table.context, handle->device);
}

void UsbHandleState::CloseDevice() noexcept {
  DriverEntry& entry = *driver;
  std::unique_lock lock(entry.mutex);
  entry.idle.wait(lock, [this] { return calls == 0; });
  if (!open) return;  // closed already, or by the driver's removal
  open = false;
  std::erase_if(entry.handles, [this](const auto& entryOf) { return entryOf.first == this; });
  ++entry.calls;
  lock.unlock();
  {
    const DriverCall call(entry, nullptr);
    entry.table.close(entry.table.context, device);
  }
  EndCall(entry, nullptr);
}

}  // namespace quvex::platform::detail

namespace {

using quvex::platform::detail::DriverCall;
using quvex::platform::detail::DriverEntry;
using quvex::platform::detail::EndCall;
using quvex::platform::detail::UsbHandleState;

struct DriverRegistry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<DriverEntry>, std::less<>> drivers;
};

DriverRegistry& Registry() {
  static DriverRegistry* registry = new DriverRegistry;  // outlives every static user
  return *registry;
}

std::shared_ptr<DriverEntry> FindDriver(std::string_view prefix) {
  DriverRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.drivers.find(prefix);
  return found == registry.drivers.end() ? nullptr : found->second;
}

// "\\.\<prefix>-<index>" with a non-empty prefix and one digit 0 to 7.
bool ParsePath(const char* path, std::string_view& prefix, int& index) {
  constexpr std::string_view kNamespace = "\\\\.\\";
  const std::string_view text(path);
  if (!text.starts_with(kNamespace)) return false;
  const std::string_view name = text.substr(kNamespace.size());
  const size_t hyphen = name.rfind('-');
  if (hyphen == std::string_view::npos || hyphen == 0 || hyphen + 2 != name.size()) return false;
  const char digit = name.back();
  if (digit < '0' || digit >= '0' + QUVEX_USB_MAX_DEVICES) return false;
  prefix = name.substr(0, hyphen);
  index = digit - '0';
  return true;
}

}  // namespace

namespace quvex::platform {

UsbHandle UsbHandle::Open(const char* path) noexcept {
  std::string_view prefix;
  int index = 0;
  if (path == nullptr || !ParsePath(path, prefix, index)) return {};
  try {
    const std::shared_ptr<DriverEntry> entry = FindDriver(prefix);
    if (!entry) return {};
    {
      std::lock_guard lock(entry->mutex);
      if (entry->removed) return {};
      ++entry->calls;
    }
    void* device = nullptr;
    {
      const DriverCall call(*entry, nullptr);
      device = entry->table.open(entry->table.context, index);
    }
    std::shared_ptr<UsbHandleState> state;
    bool discard = device == nullptr;
    if (device != nullptr) {
      try {
        state = std::make_shared<UsbHandleState>(entry, device);
        std::lock_guard lock(entry->mutex);
        if (entry->removed) {
          state->open = false;  // removal missed it; closed below
          discard = true;
        } else {
          entry->handles.emplace_back(state.get(), device);
        }
      } catch (const std::bad_alloc&) {
        if (state) state->open = false;
        discard = true;
      }
      if (discard) {
        const DriverCall call(*entry, nullptr);
        entry->table.close(entry->table.context, device);
      }
    }
    EndCall(*entry, nullptr);
    UsbHandle handle;
    if (!discard) handle.state_ = std::move(state);
    return handle;
  } catch (...) {
    return {};
  }
}

bool UsbHandle::Control(uint32_t requestCode, uint32_t pipe, void* buffer, uint32_t length,
                        uint32_t& moved, uint32_t timeoutMs) const noexcept {
  moved = 0;
  if (!state_) return false;
  UsbHandleState& state = *state_;
  DriverEntry& entry = *state.driver;
  {
    std::lock_guard lock(entry.mutex);
    if (!state.open || state.cancelled) return false;
    ++state.calls;
    ++entry.calls;
  }
  uint32_t reported = 0;
  int ok = 0;
  {
    const DriverCall call(entry, &state);
    ok = entry.table.transfer(entry.table.context, state.device, requestCode, pipe, buffer, length,
                              &reported, timeoutMs);
  }
  EndCall(entry, &state);
  moved = std::min(reported, length);
  // A driver that claims more than the buffer holds is not believed.
  return ok != 0 && reported <= length;
}

void UsbHandle::Cancel() const noexcept {
  if (!state_) return;
  UsbHandleState& state = *state_;
  DriverEntry& entry = *state.driver;
  {
    std::lock_guard lock(entry.mutex);
    if (!state.open || state.cancelled) return;
    state.cancelled = true;
    if (entry.table.cancel == nullptr) return;
    ++state.calls;
    ++entry.calls;
  }
  {
    const DriverCall call(entry, &state);
    entry.table.cancel(entry.table.context, state.device);
  }
  EndCall(entry, &state);
}

void UsbHandle::Close() noexcept {
  if (!state_) return;
  state_->CloseDevice();
  state_.reset();
}

}  // namespace quvex::platform

extern "C" {

QUVEX_USB_API int QuvexUsb_InstallDriver(const char* prefix, const QuvexUsbDriver* driver) {
  if (prefix == nullptr || driver == nullptr || driver->open == nullptr ||
      driver->transfer == nullptr || driver->close == nullptr) {
    return 0;
  }
  const size_t length = strnlen(prefix, QUVEX_USB_PREFIX_MAX + 1);
  if (length == 0 || length > QUVEX_USB_PREFIX_MAX) return 0;
  try {
    auto entry = std::make_shared<DriverEntry>(*driver);
    DriverRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    return registry.drivers.try_emplace(std::string(prefix, length), std::move(entry)).second ? 1
                                                                                              : 0;
  } catch (...) {
    return 0;
  }
}

QUVEX_USB_API int QuvexUsb_RemoveDriver(const char* prefix) {
  if (prefix == nullptr) return 0;
  std::shared_ptr<DriverEntry> entry;
  {
    DriverRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.drivers.find(std::string_view(prefix));
    if (found == registry.drivers.end()) return 0;
    entry = std::move(found->second);
    registry.drivers.erase(found);
  }
  // Take over every open device: its handle refuses further calls from now on.
  std::vector<std::pair<UsbHandleState*, void*>> devices;
  {
    std::lock_guard lock(entry->mutex);
    entry->removed = true;
    for (const auto& open : entry->handles) open.first->open = false;
    devices.swap(entry->handles);
  }
  const QuvexUsbDriver& table = entry->table;
  if (table.cancel != nullptr) {
    for (const auto& open : devices) table.cancel(table.context, open.second);
  }
  // The calls of this thread cannot end while it waits here: a device with a
  // call of this thread in progress closes when that call returns.
  const int ownCalls = DriverCall::CountOnThisThread(*entry);
  {
    std::unique_lock lock(entry->mutex);
    entry->idle.wait(lock, [&] { return entry->calls == ownCalls; });
    std::erase_if(devices, [](const auto& open) {
      if (!DriverCall::OnThisThread(open.first)) return false;
      open.first->closeAfterCall = true;
      return true;
    });
  }
  for (const auto& open : devices) table.close(table.context, open.second);
  return 1;
}

}  // extern "C"
