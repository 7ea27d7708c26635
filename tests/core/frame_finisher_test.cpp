// The finisher: every frame handed over is finished once, in order, one at a
// time, and the last one before the finisher goes.
#include "core/frame_finisher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace quvex::test {
namespace {

TEST(FrameFinisher, FinishesEveryFrameInOrderOneAtATime) {
  for (const bool threaded : {true, false}) {
    SCOPED_TRACE(threaded ? "threaded" : "on the caller's thread");
    constexpr int kFrames = 200;
    std::vector<int> finished;  // read once the finisher is gone
    std::atomic<int> done{0};
    std::atomic<int> busy{0};
    std::atomic<bool> overlapped{false};
    {
      FrameFinisher finisher(
          [&](int index) {
            if (busy.fetch_add(1) != 0) overlapped = true;
            // Long enough for the next hand-over to arrive while this runs.
            if (index % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            finished.push_back(index);
            busy.fetch_sub(1);
            done.fetch_add(1);
          },
          threaded);
      for (int index = 0; index < kFrames; ++index) {
        finisher.HandOver(index);
        // The finisher holds no more frames than it may have in flight.
        EXPECT_GE(done.load(), index + 1 - FrameFinisher::kInFlight);
      }
    }
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(finished.size(), static_cast<size_t>(kFrames));
    for (int index = 0; index < kFrames; ++index) EXPECT_EQ(finished[index], index);
  }
}

}  // namespace
}  // namespace quvex::test
