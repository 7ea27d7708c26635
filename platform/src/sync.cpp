// Manual-reset events.
#include "quvex_platform/sync.h"

#include <chrono>

#include "quvex_platform/clock.h"

namespace quvex::platform {

void ManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  if (timeoutMs == kInfinite) {
    changed_.wait(lock, [this] { return set_; });
    return true;
  }
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

}  // namespace quvex::platform
