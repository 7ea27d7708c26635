// The frame finisher's thread and the hand-over of frames in flight.
#include "core/frame_finisher.h"

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
    changed_.wait(lock, [this] { return count_ < kInFlight; });
    inFlight_[static_cast<size_t>((first_ + count_) % kInFlight)] = index;
    ++count_;
  }
  changed_.notify_all();
}

void FrameFinisher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return count_ > 0 || ending_; });
    if (count_ == 0) return;  // ending, and nothing left to finish
    const int index = inFlight_[static_cast<size_t>(first_)];
    lock.unlock();
    finish_(index);
    lock.lock();
    first_ = (first_ + 1) % kInFlight;
    --count_;
    changed_.notify_all();
  }
}

}  // namespace quvex
