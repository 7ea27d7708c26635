// Finishes captured frames (colour mapping, recording, announcing) on a
// thread of its own, so that the capture thread reads the next frame while
// the last one is finished. Frames are finished one at a time, in the order
// they were handed over.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "quvex_platform/thread.h"

namespace quvex {

class FrameFinisher {
 public:
  // finish is called with the ring index of each frame handed over. Without
  // a thread of its own (none could be started, or threaded is false) the
  // finisher calls it on the thread that hands the frame over.
  FrameFinisher(std::function<void(int)> finish, bool threaded);
  // Finishes the frame still handed over, then ends the thread.
  ~FrameFinisher();
  FrameFinisher(const FrameFinisher&) = delete;
  FrameFinisher& operator=(const FrameFinisher&) = delete;

  // Waits until the frame handed over before is finished, then hands index
  // over. The finisher thus holds at most one slot: the caller may read into
  // any other, and a ring of two slots is enough.
  void HandOver(int index);

 private:
  void Run();

  std::function<void(int)> finish_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int pending_ = -1;    // under mutex_: handed over, not yet finished
  bool ending_ = false;  // under mutex_
  platform::Thread thread_;
  bool threaded_ = false;
};

}  // namespace quvex
