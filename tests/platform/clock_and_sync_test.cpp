// The replaceable clock, events and threads.
#include <gtest/gtest.h>

#include <atomic>

#include "quvex/quvex_window.h"
#include "quvex_platform/clock.h"
#include "quvex_platform/sync.h"
#include "quvex_platform/thread.h"

namespace {

using namespace quvex::platform;

uint32_t FixedClock(void* context) { return *static_cast<uint32_t*>(context); }

TEST(Clock, TestsCanReplaceTheSourceAndItWraps) {
  uint32_t now = 0xFFFFFFF0u;
  QuvexPlatform_SetClock(FixedClock, &now);
  EXPECT_EQ(TickCount(), 0xFFFFFFF0u);
  now += 0x20;  // past the wrap
  EXPECT_EQ(TickCount(), 0x10u);
  EXPECT_EQ(QuvexPlatform_TickCount(), 0x10u);
  EXPECT_EQ(TickCount() - 0xFFFFFFF0u, 0x20u);  // unsigned differences survive the wrap
  QuvexPlatform_SetClock(nullptr, nullptr);
  const uint32_t a = TickCount();
  SleepMs(2);
  EXPECT_NE(TickCount() - a, 0u);
}

TEST(ManualResetEvent, StaysSetUntilReset) {
  ManualResetEvent event;
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(kInfinite));
  event.Reset();
  EXPECT_FALSE(event.IsSet());
}

TEST(ManualResetEvent, WakesAWaiterOnAnotherThread) {
  ManualResetEvent event;
  Thread setter;
  ASSERT_TRUE(setter.Start([&] { event.Set(); }, ThreadPriority::Highest));
  EXPECT_TRUE(event.Wait(30000));
  setter.Join();
  EXPECT_FALSE(setter.Joinable());
}

TEST(Thread, TheDestructorJoins) {
  std::atomic<bool> ran{false};
  {
    Thread worker;
    ASSERT_TRUE(worker.Start([&] { SleepMs(5), ran = true; }));
    EXPECT_FALSE(worker.Start([] {}));  // one thread at a time
  }
  EXPECT_TRUE(ran.load());
}

TEST(CriticalSection, IsReentrant) {
  CriticalSection lock;
  lock.Enter();
  lock.Enter();
  lock.Leave();
  lock.Leave();
  SUCCEED();
}

}  // namespace
