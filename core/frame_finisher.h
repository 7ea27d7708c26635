// Finishes captured frames (colour mapping, recording, announcing) on a
// thread of its own, so that the capture thread reads the next frame while
// the last one is finished. Frames are finished one at a time, in the order
// they were handed over.
#pragma once

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "quvex_platform/thread.h"

namespace quvex {

class FrameFinisher {
 public:
  // Frames handed over and not yet finished, at most: one being finished and
  // one waiting, so that the finisher never sleeps between two frames while
  // the camera keeps up.
  static constexpr int kInFlight = 2;
  // Slots a ring needs for a thread of its own: those in flight and the one
  // the capture thread reads into.
  static constexpr int kRingSlotsNeeded = kInFlight + 1;

  // finish is called with the ring index of each frame handed over. Without
  // a thread of its own (none could be started, or threaded is false) the
  // finisher calls it on the thread that hands the frame over.
  FrameFinisher(std::function<void(int)> finish, bool threaded);
  // Finishes the frames still handed over, then ends the thread.
  ~FrameFinisher();
  FrameFinisher(const FrameFinisher&) = delete;
  FrameFinisher& operator=(const FrameFinisher&) = delete;

  // Hands index over once fewer than kInFlight frames are in flight: every
  // frame but the last kInFlight - 1 handed over before is finished then,
  // and the caller may read into any slot not in flight.
  void HandOver(int index);

 private:
  void Run();

  std::function<void(int)> finish_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Under mutex_: the indexes in flight, oldest first from first_.
  std::array<int, kInFlight> inFlight_{};
  int first_ = 0;
  int count_ = 0;
  bool ending_ = false;
  platform::Thread thread_;
  bool threaded_ = false;
};

}  // namespace quvex
