// The camera object's stack of error codes, shared by host threads and the
// capture thread. Newest first; past kLimit the oldest codes are dropped so a
// host that never reads errors cannot make it grow without bound.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>

namespace quvex {

class ErrorStack {
 public:
  static constexpr size_t kLimit = 4096;

  void Push(int code);
  // The most recent code, removed; 0 when empty.
  int Pop();
  size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> codes_;
};

}  // namespace quvex
