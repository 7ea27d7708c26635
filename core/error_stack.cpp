#include "core/error_stack.h"

namespace quvex {

void ErrorStack::Push(int code) {
  std::lock_guard lock(mutex_);
  if (codes_.size() >= kLimit) codes_.pop_front();
  codes_.push_back(code);
}

int ErrorStack::Pop() {
  std::lock_guard lock(mutex_);
  if (codes_.empty()) return 0;
  const int code = codes_.back();
  codes_.pop_back();
  return code;
}

size_t ErrorStack::Size() const {
  std::lock_guard lock(mutex_);
  return codes_.size();
}

}  // namespace quvex
