// Register writes waiting for a quiet turn of the receive thread: pushed by
// host threads, taken from the front by the receive thread.
#pragma once

#include <deque>
#include <mutex>
#include <optional>

namespace quvex {

struct RegisterWriteRequest {
  int registerNumber;
  int value;
};

class RegisterWriteQueue {
 public:
  void Push(int registerNumber, int value) {
    std::lock_guard lock(mutex_);
    pairs_.push_back({registerNumber, value});
  }
  std::optional<RegisterWriteRequest> PopFront() {
    std::lock_guard lock(mutex_);
    if (pairs_.empty()) return std::nullopt;
    const RegisterWriteRequest front = pairs_.front();
    pairs_.pop_front();
    return front;
  }
  size_t Size() const {
    std::lock_guard lock(mutex_);
    return pairs_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::deque<RegisterWriteRequest> pairs_;
};

}  // namespace quvex
