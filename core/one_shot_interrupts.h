// Counts the host calls (Close, Release, a new address) that are ending a
// one-shot in progress before they take the control lock. The first to begin
// raises the binding's interrupt, the last to end lowers it again; calls on
// several threads at once never lower it while one of them still waits.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace quvex {

class OneShotInterrupts {
 public:
  // raise(true) when the first interrupting call begins, raise(false) when
  // the last one ends; called under the counter's lock, so in order.
  explicit OneShotInterrupts(std::function<void(bool)> raise) : raise_(std::move(raise)) {}

  void Begin() {
    std::lock_guard lock(mutex_);
    if (count_++ == 0) raise_(true);
  }
  void End() {
    std::lock_guard lock(mutex_);
    if (count_ > 0 && --count_ == 0) raise_(false);
  }
  bool Active() const {
    std::lock_guard lock(mutex_);
    return count_ != 0;
  }

 private:
  const std::function<void(bool)> raise_;
  mutable std::mutex mutex_;
  int count_ = 0;
};

}  // namespace quvex
