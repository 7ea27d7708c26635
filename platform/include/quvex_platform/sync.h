// Locks and events.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace quvex::platform {

// A re-entrant lock: the thread that holds it may enter it again.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // For std::lock_guard / std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// A manual-reset event: once set, every wait returns at once until Reset.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set or timeoutMs of real time have passed
  // (kInfinite: no limit). Returns true when the event is set.
  bool Wait(uint32_t timeoutMs) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_;
};

}  // namespace quvex::platform
