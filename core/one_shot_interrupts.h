// Ends a one-shot in progress when a host call that stops or replaces the
// device (Close, Release, a new address) waits for the control lock that the
// one-shot holds. The one-shot enters once it holds its device, so that no
// other host call's command can come between its own, and leaves before it
// lets the device go: an interrupt reaches the device only in between, and so
// only ever ends the one-shot's own waits.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace quvex {

class OneShotInterrupts {
 public:
  // cancel(true) ends the waits of the one-shot on its device at once;
  // cancel(false) takes that back as the one-shot leaves. Called under the
  // counter's lock, so in order.
  explicit OneShotInterrupts(std::function<void(bool)> cancel) : cancel_(std::move(cancel)) {}

  // An interrupting call begins and ends; calls on several threads at once
  // are counted.
  void Begin() {
    std::lock_guard lock(mutex_);
    ++pending_;
    if (entered_ && !hit_) {
      hit_ = true;
      cancel_(true);
    }
  }
  void End() {
    std::lock_guard lock(mutex_);
    if (pending_ > 0) --pending_;
  }
  // true while an interrupting call waits.
  bool Pending() const {
    std::lock_guard lock(mutex_);
    return pending_ != 0;
  }

  // The one-shot, holding its device: Enter is false, and nothing entered,
  // while an interrupting call waits.
  bool Enter() {
    std::lock_guard lock(mutex_);
    if (pending_ != 0) return false;
    entered_ = true;
    return true;
  }
  void Leave() {
    std::lock_guard lock(mutex_);
    entered_ = false;
    if (!hit_) return;
    hit_ = false;
    cancel_(false);
  }
  // true when an interrupt ended the one-shot in progress.
  bool Hit() const {
    std::lock_guard lock(mutex_);
    return hit_;
  }

 private:
  const std::function<void(bool)> cancel_;
  mutable std::mutex mutex_;
  int pending_ = 0;
  bool entered_ = false;
  bool hit_ = false;  // only while entered
};

}  // namespace quvex
