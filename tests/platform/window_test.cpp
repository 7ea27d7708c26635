// Notify windows: order, waiting, posting from many threads, dead handles.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "quvex/quvex_window.h"

namespace {

TEST(NotifyWindow, DeliversMessagesInPostingOrder) {
  QuvexHwnd window = QuvexWindow_Create();
  ASSERT_NE(window, nullptr);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(QuvexWindow_Post(window, 0x8002, 0, i), 1);
  EXPECT_EQ(QuvexWindow_PendingCount(window), 5);
  QuvexMessage message{};
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(QuvexWindow_GetMessage(window, &message, 0), 1);
    EXPECT_EQ(message.message, 0x8002u);
    EXPECT_EQ(message.lParam, i);
  }
  EXPECT_EQ(QuvexWindow_GetMessage(window, &message, 0), 0);
  QuvexWindow_Destroy(window);
}

TEST(NotifyWindow, ABlockedReaderWakesForAPostFromAnotherThread) {
  QuvexHwnd window = QuvexWindow_Create();
  std::thread poster([window] { QuvexWindow_Post(window, 0x8003, 0, 9); });
  QuvexMessage message{};
  EXPECT_EQ(QuvexWindow_GetMessage(window, &message, 30000), 1);
  EXPECT_EQ(message.lParam, 9);
  poster.join();
  QuvexWindow_Destroy(window);
}

TEST(NotifyWindow, ManyPostersLoseNothingAndKeepEachThreadsOrder) {
  QuvexHwnd window = QuvexWindow_Create();
  constexpr int kThreads = 8, kEach = 2000;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([=] {
      for (int i = 0; i < kEach; ++i) QuvexWindow_Post(window, 0x8002, t, i);
    });
  }
  std::vector<int> next(kThreads, 0);
  QuvexMessage message{};
  for (int received = 0; received < kThreads * kEach; ++received) {
    ASSERT_EQ(QuvexWindow_GetMessage(window, &message, 30000), 1);
    EXPECT_EQ(message.lParam, next[message.wParam]++);
  }
  for (auto& poster : posters) poster.join();
  QuvexWindow_Destroy(window);
}

TEST(NotifyWindow, NullAndDestroyedWindowsAreHarmless) {
  QuvexMessage message{};
  EXPECT_EQ(QuvexWindow_Post(nullptr, 0x8002, 0, 1), 0);
  EXPECT_EQ(QuvexWindow_GetMessage(nullptr, &message, 0), 0);
  QuvexHwnd window = QuvexWindow_Create();
  QuvexWindow_Destroy(window);
  EXPECT_EQ(QuvexWindow_Post(window, 0x8002, 0, 1), 0);
  EXPECT_EQ(QuvexWindow_GetMessage(window, &message, 0), 0);
  QuvexWindow_Destroy(window);  // twice is harmless too
  QuvexHwnd other = QuvexWindow_Create();
  EXPECT_NE(other, window);  // handles are never reused
  QuvexWindow_Destroy(other);
}

TEST(NotifyWindow, DestroyingAWindowWakesItsReader) {
  QuvexHwnd window = QuvexWindow_Create();
  std::atomic<int> result{-1};
  std::thread reader([&] {
    QuvexMessage message{};
    result = QuvexWindow_GetMessage(window, &message, QUVEX_WAIT_INFINITE);
  });
  QuvexWindow_Destroy(window);  // before or during the wait: either way it ends
  reader.join();
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
