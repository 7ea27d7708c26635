// The frame finisher's thread and its hand-over of one frame at a time.
#include "frame_finisher.h"

#include <utility>

namespace quvex {

FrameFinisher::FrameFinisher(std::function<void(int)> finish, bool threaded)
    : finish_(std::move(finish)) {
  threaded_ = threaded && thread_.Start([this] { Run(); });
}

FrameFinisher::~FrameFinisher() {
  if (!threaded_) return;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.Join();
}

void FrameFinisher::HandOver(int index) {
  if (!threaded_) return finish_(index);
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_ < 0; });
    pending_ = index;
  }
  changed_.notify_all();
}

void FrameFinisher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ >= 0 || ending_; });
    if (pending_ < 0) return;  // ending, and nothing left to finish
    const int index = pending_;
    lock.unlock();
    finish_(index);
    lock.lock();
    pending_ = -1;
    changed_.notify_all();
  }
}

}  // namespace quvex
