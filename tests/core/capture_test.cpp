// The capture thread, frame ring and frame access against a scripted device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/message_reader.h"
#include "tests/support/scripted_camera.h"

namespace quvex {
namespace {

using test::kHeight;
using test::kProfile;
using test::kWidth;
using test::Sample;
using Capture = test::ScriptedCapture;

TEST_F(Capture, EveryFrameIsAnnouncedAndFetchableInBothRowOrders) {
  quvex_->SetParam(QUVEX_PARAM_AUTO_RANGE, 0);  // fixed bounds, so the colours can be redone
  ASSERT_EQ(quvex_->Preview(), 1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(quvex_->Preview(), 1);  // already capturing: nothing changes
  camera_->framesReady = 1;
  const int id = NextFrameId();
  ASSERT_NE(id, 0);
  EXPECT_EQ(quvex_->GetNewID(), id);

  std::vector<uint16_t> raw(kWidth * kHeight);
  const int bytes = kWidth * kHeight * 2;
  EXPECT_EQ(quvex_->GetRaw(id, raw.data(), bytes - 1), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_BUFFER);
  ASSERT_EQ(quvex_->GetRaw(id, raw.data(), bytes), 1);
  EXPECT_EQ(raw[0], Sample(0, kHeight - 1, 0));  // view flip 0: last stored row first
  quvex_->SetParam(QUVEX_PARAM_VIEW_FLIP, 1);
  ASSERT_EQ(quvex_->GetRaw(id, raw.data(), bytes), 1);
  EXPECT_EQ(raw[0], Sample(0, 0, 0));

  // The colour picture's first row shows the same image row as the raw data.
  std::vector<uint8_t> colour(kWidth * kHeight * 3), expected(kWidth * kHeight * 3);
  CDibImage one, mapped;
  ASSERT_EQ(one.Create(kWidth, 1, 16), 1);
  ASSERT_EQ(mapped.Create(kWidth, 1, 24), 1);
  std::memcpy(one.Bits(), raw.data(), kWidth * 2);
  ASSERT_EQ(quvex_->GetColor(id, colour.data(), static_cast<int>(colour.size())), 1);
  quvex_->MapRawToColor(one, mapped);
  EXPECT_EQ(std::memcmp(colour.data(), mapped.Bits(), kWidth * 3), 0);

  std::vector<float> temperatures(kWidth * kHeight);
  EXPECT_EQ(quvex_->GetTemperature(id, temperatures.data(), bytes * 2), 1);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 0);
  EXPECT_EQ(quvex_->GetLastError(), 0);
}

TEST_F(Capture, OldFramesStayFetchableUntilTheRingWrapsOverThem) {
  ASSERT_EQ(quvex_->Preview(), 1);
  std::vector<int> ids;
  for (int frame = 0; frame < kProfile.ringSlots + 1; ++frame) {
    camera_->framesReady = frame + 1;
    ids.push_back(NextFrameId());
  }
  std::vector<uint16_t> raw(kWidth * kHeight);
  quvex_->SetParam(QUVEX_PARAM_VIEW_FLIP, 1);
  ASSERT_EQ(quvex_->GetRaw(ids[1], raw.data(), kWidth * kHeight * 2), 1);
  EXPECT_EQ(raw[0], Sample(1, 0, 0));  // an older frame, not the newest
  EXPECT_EQ(quvex_->GetRaw(ids[0], raw.data(), kWidth * kHeight * 2), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_ARGUMENT);
  EXPECT_EQ(quvex_->GetRaw(0, raw.data(), kWidth * kHeight * 2), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_ARGUMENT);
}

TEST_F(Capture, AFailedReadIsReportedAndNeverFindable) {
  camera_->failRead = 0;
  ASSERT_EQ(quvex_->Preview(), 1);
  camera_->framesReady = 2;
  const QuvexMessage error = Next();
  EXPECT_EQ(error.message, static_cast<uint32_t>(WM_QUVEX_ERROR));
  EXPECT_EQ(error.lParam, QUVEX_ERR_FRAME_READ);
  const int id = NextFrameId();
  EXPECT_NE(id, 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_FRAME_READ);
}

TEST_F(Capture, ADeviceThatEndsStopsTheThreadUntilClose) {
  camera_->endAt = 1;
  camera_->stopResult = QUVEX_ERR_DEVICE;
  ASSERT_EQ(quvex_->Preview(), 1);
  camera_->framesReady = 5;
  NextFrameId();
  const QuvexMessage error = Next();
  EXPECT_EQ(error.message, static_cast<uint32_t>(WM_QUVEX_ERROR));
  EXPECT_EQ(error.lParam, QUVEX_ERR_CAPTURE_ENDED);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(quvex_->Preview(), 1);  // still counts as capturing
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_DEVICE);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_CAPTURE_ENDED);
}

TEST_F(Capture, AFailedDeviceStartUndoesTheStart) {
  camera_->startResult = QUVEX_ERR_DEVICE;
  EXPECT_EQ(quvex_->Preview(), 0);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_DEVICE);
}

TEST_F(Capture, PausedAndSettlingFramesAreNotTaken) {
  ASSERT_EQ(quvex_->Preview(), 1);
  quvex_->Pause();
  camera_->framesReady = 1;
  // A poll found the frame ready and the thread came round to poll again,
  // however slowly it runs: a thread that took the frame read it in between.
  const int polls = camera_->polls.load();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (camera_->polls.load() < polls + 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(camera_->polls.load(), polls + 2);
  EXPECT_FALSE(test::MessageReader(window_).Next(0));
  EXPECT_EQ(camera_->delivered.load(), 0);
  quvex_->Start();
  NextFrameId();
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_PAUSED), 0);
}

TEST_F(Capture, OneShotNeedsAnIdleObjectAndSavesFindTheCurrentFrame) {
  ASSERT_EQ(quvex_->Preview(), 1);
  EXPECT_EQ(quvex_->OneShot(), 0);
  EXPECT_EQ(quvex_->GetLastError(), 0);  // refused without an error
  quvex_->Close();
  const int id = quvex_->OneShot();
  ASSERT_NE(id, 0);
  EXPECT_EQ(quvex_->GetNewID(), id);
  EXPECT_EQ(quvex_->Save(u"/nonexistent/dir/x.bmp", QUVEX_SAVE_BMP), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_FILE);
  EXPECT_EQ(quvex_->Save(u"/tmp/x.bmp", 14), 0);
  EXPECT_EQ(quvex_->Save(u"/tmp/x.bmp", -1), 0);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_ARGUMENT);
  EXPECT_EQ(quvex_->GetLastError(), QUVEX_ERR_ARGUMENT);
}

TEST_F(Capture, ReleasingWhileCapturingJoinsTheThread) {
  ASSERT_EQ(quvex_->Preview(), 1);
  camera_->framesReady = 1000000;
  NextFrameId();
  quvex_.reset();  // must neither hang nor leave the thread running
  SUCCEED();
}

TEST_F(Capture, SelectingACameraWhileCapturingIsRefusedOnlyByADeviceThatSaysSo) {
  for (const bool refuses : {true, false}) {
    quvex_.reset();
    profile_.behaviour.refusesSelectionDuringCapture = refuses;
    MakeObject();
    ASSERT_EQ(quvex_->Preview(), 1);
    EXPECT_EQ(quvex_->SetCameraNumber(0), refuses ? 0 : 1) << refuses;
    EXPECT_EQ(quvex_->GetLastError(), refuses ? QUVEX_ERR_NOT_READY : 0) << refuses;
    quvex_->Close();
    EXPECT_EQ(quvex_->SetCameraNumber(0), 1);
  }
}

TEST_F(Capture, TheNarrowCameraNameIsSizedFromTheNameNotFromTheCallersSize) {
  // INT_MAX wide units would be 4 GiB, above what this test program lets a call take.
  char name[64] = {};
  EXPECT_EQ(quvex_->IsCameraEnableA(0, name, INT_MAX), 1);
  EXPECT_STREQ(name, "Quvex640_01");
}

}  // namespace
}  // namespace quvex
