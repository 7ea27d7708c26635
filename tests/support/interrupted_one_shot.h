// A one-shot that waits on a silent camera, ended by another host call on
// another thread: how long that call and the one-shot took to return.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <thread>

namespace quvex::test {

// Generous on a loaded machine or under a sanitiser. A test that bounds a
// return by it makes the device's own wait far longer: a camera that never
// answers, or a wait of minutes.
inline constexpr std::chrono::milliseconds kPromptReturn{5000};
// Longer than any test may run: the device's own wait in such tests.
inline constexpr uint32_t kDeviceWaitMs = 600000;

struct OneShotInterruption {
  int shot = -1;  // Quvex_OneShot's result
  int call = -1;  // the interrupting call's result
  std::chrono::milliseconds callTook{};  // the interrupting call's own time
  std::chrono::milliseconds shotTook{};  // from the call's start to the one-shot's return
};

// Runs oneShot on a thread of its own, lets held() wait until the camera holds
// it (false gives up), then runs call here.
inline OneShotInterruption InterruptOneShot(const std::function<int()>& oneShot,
                                            const std::function<bool()>& held,
                                            const std::function<int()>& call) {
  using Clock = std::chrono::steady_clock;
  OneShotInterruption result;
  std::promise<Clock::time_point> returned;
  std::future<int> shot = std::async(std::launch::async, [&] {
    const int id = oneShot();
    returned.set_value(Clock::now());
    return id;
  });
  if (!held()) {
    result.shot = shot.get();
    return result;
  }
  const Clock::time_point start = Clock::now();
  result.call = call();
  result.callTook = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  const Clock::time_point shotReturned = returned.get_future().get();
  result.shot = shot.get();
  result.shotTook = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::max(shotReturned, start) - start);
  return result;
}

// The interrupting call gave 1 and the one-shot 0.
inline void ExpectEnded(const OneShotInterruption& ended) {
  EXPECT_EQ(ended.shot, 0);
  EXPECT_EQ(ended.call, 1);
}

// The same, both promptly: only where the device's own wait is far longer.
inline void ExpectEndedPromptly(const OneShotInterruption& ended) {
  ExpectEnded(ended);
  EXPECT_LT(ended.callTook, kPromptReturn);
  EXPECT_LT(ended.shotTook, kPromptReturn);
}

// Two host threads take one-shots back to back while closes come from this
// one, each once a one-shot waits on a camera that does not answer.
struct LoopingOneShots {
  std::function<int()> oneShot;
  std::function<bool()> waiting;  // a one-shot waits on the camera (false: none came)
  std::function<int()> close;
  std::function<void()> answer;   // the camera answers again, so the loops can end
};

// Every close gives 1 and returns promptly, however often a one-shot wins
// the control lock before it.
inline void ExpectClosesPassLoopingOneShots(const LoopingOneShots& run, int closes = 20) {
  using Clock = std::chrono::steady_clock;
  std::atomic<bool> done{false};
  const auto loop = [&] {
    while (!done.load()) run.oneShot();
  };
  std::thread first(loop), second(loop);
  for (int i = 0; i < closes; ++i) {
    if (!run.waiting()) {
      ADD_FAILURE() << "no one-shot waits before close " << i;
      break;
    }
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(run.close(), 1);
    EXPECT_LT(Clock::now() - start, kPromptReturn) << "close " << i;
  }
  done.store(true);
  run.answer();
  first.join();
  second.join();
}

}  // namespace quvex::test
