// Galdris end to end through its exported interface, against the simulated
// USB camera behind the driver seam.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/galdris_session.h"
#include "tests/support/temp_directory.h"
#include "tests/support/usb_one_shot_interruption.h"

namespace quvex::test {
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kRawBytes = kWidth * kHeight * 2;

std::atomic<uint32_t> testClock{0};
uint32_t TestClock(void*) { return testClock.load(); }

class Galdris : public GaldrisSession {
 protected:
  Galdris() : GaldrisSession(TwoCameras()) {}
  static sim::SimCameraOptions TwoCameras() {
    sim::SimCameraOptions options = AtFrameRate(60);  // quick; pacing still holds frames apart
    options.present = {0, 3};
    return options;
  }
  // The frame's raw image in the order it was transferred (view flip 1).
  std::vector<uint16_t> Raw(int id) {
    std::vector<uint16_t> raw(kWidth * kHeight);
    EXPECT_EQ(library_->Quvex_GetRaw(handle_, id, raw.data(), kRawBytes), 1);
    return raw;
  }
  uint16_t RegisterValue(uint16_t address) {
    for (const auto& write : camera_->RegisterWrites())
      if (write.address == address) last_ = write.value;
    return last_;
  }

  uint16_t last_ = 0xFFFF;
};

TEST_F(Galdris, FindsAndNamesTheCamerasThatAnswer) {
  auto& q = *library_;
  char16_t wide[16] = {};
  ASSERT_EQ(q.Quvex_IsCameraEnableW(handle_, 3, wide, 16), 1);
  EXPECT_EQ(std::u16string(wide), u"Quvex640_04");
  char narrow[16] = {};
  ASSERT_EQ(q.Quvex_IsCameraEnableA(handle_, 0, narrow, 13), 1);
  EXPECT_STREQ(narrow, "Quvex640_01");
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 1, wide, 16), 0);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), 0);  // absent: no error
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 0, wide, 12), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 8, wide, 16), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableA(handle_, 0, nullptr, 16), 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "5,5,5");
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 3), 1);
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 1), 0);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), QUVEX_ERR_CAMERA_NUMBER);
  EXPECT_EQ(camera_->Resets(3), 1);
}

TEST_F(Galdris, CapturesWholeFramesNewestFirstAndWritesTheRegisters) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  EXPECT_EQ(RegisterValue(QUVEX_REG_SWITCH), 0);
  EXPECT_EQ(RegisterValue(QUVEX_REG_RANGE), 16);
  EXPECT_TRUE(camera_->SixteenBit(0));
  EXPECT_EQ(camera_->TransferSize(0), 378880u);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  uint32_t previous = 0;
  for (int i = 0; i < 8; ++i) {
    // The newest frame announced: older ones may have left the ring already
    // when the test runs slowly.
    int id = NextFrame();
    ASSERT_EQ(q.Quvex_Pause(handle_), 1);  // the frames announced stay in the ring
    if (const int newer = messages_.NewestFrame(); newer != 0) id = newer;
    ASSERT_NE(id, 0);
    uint32_t counter = 0;
    const auto raw = Raw(id);
    ASSERT_EQ(q.Quvex_Start(handle_), 1);
    ASSERT_TRUE(sim::IsWholeFrame(raw.data(), kWidth, kHeight, &counter)) << "frame " << i;
    if (i > 0) {
      EXPECT_GT(counter, previous);  // never older than one already delivered
    }
    previous = counter;
  }
  std::vector<float> temperatures(kWidth * kHeight);
  ASSERT_EQ(q.Quvex_Pause(handle_), 1);  // the newest frame stays in the ring
  ASSERT_TRUE(camera_->WaitForFrames(0, camera_->FramesDelivered(0) + 2, 20000));
  const int id = q.Quvex_GetNewID(handle_);
  ASSERT_EQ(q.Quvex_GetTemperature(handle_, id, temperatures.data(), kRawBytes * 2), 1);
  for (float t : {temperatures.front(), temperatures[kWidth * kHeight / 2], temperatures.back()}) {
    EXPECT_GT(t, 0.0f);  // the simulated scene lies inside table A
    EXPECT_LT(t, 100.0f);
  }
  std::vector<uint8_t> colour(kWidth * kHeight * 3);
  EXPECT_EQ(q.Quvex_GetColor(handle_, id, colour.data(), static_cast<int>(colour.size())), 1);
  EXPECT_EQ(q.Quvex_Nuc(handle_), 1);
  EXPECT_EQ(RegisterValue(QUVEX_REG_NUC), 1);
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 0), 0);  // refused while capturing
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "1");
  EXPECT_EQ(camera_->ProtocolErrors(), 0);
}

TEST_F(Galdris, MeasuresTheFrameRateOnTheInjectedClock) {
  // Frames counted over 2000 ms of the injected clock: rate = frames x 50.
  testClock = 5000;
  QuvexPlatform_SetClock(TestClock, nullptr);
  const int handle = library_->Quvex_Initialize(window_);  // its rate window starts at 5000
  library_->Quvex_Release(handle_);
  handle_ = handle;
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_LOOP_SLEEP, 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  int announced = 0;
  for (; announced < 4; ++announced) ASSERT_NE(NextFrame(), 0);
  EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_FRAME_RATE), 0);
  testClock = 7000;
  // The first frame counted at 7000 sets the rate from every frame so far; a
  // slow test may read its message after further frames were taken.
  int rate = 0;
  while (rate == 0 && announced < 1000) {
    ASSERT_NE(NextFrame(), 0);
    ++announced;
    rate = library_->Quvex_GetParam(handle_, QUVEX_PARAM_FRAME_RATE);
  }
  EXPECT_EQ(rate % 50, 0);  // frames x 100000 / 2000 ms
  EXPECT_GE(rate / 50, 5);
  // A minute idle is no part of the next capture's rate window.
  ASSERT_EQ(library_->Quvex_Close(handle_), 1);
  testClock = 67000;
  DrainMessages();
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_FRAME_RATE), rate);
}

TEST_F(Galdris, NoFramesAreTakenWhileTheNucSettles) {
  testClock = 100;
  QuvexPlatform_SetClock(TestClock, nullptr);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  library_->Quvex_Nuc(handle_);
  // However many frames a slow test left unread before the NUC, after it only
  // those in flight may still be announced, however slowly they are finished.
  DrainMessages();
  const uint32_t before = camera_->FramesDelivered(0);
  ASSERT_TRUE(camera_->WaitForFrames(0, before + 20, 20000));
  EXPECT_LE(QuvexWindow_PendingCount(window_), kFramesInFlight);
  DrainMessages();
  testClock = 100 + 1000;  // the settle time has passed
  // More frames than were in flight: at least one was taken after the settle.
  for (int i = 0; i <= kFramesInFlight; ++i) ASSERT_NE(NextFrame(), 0);
}

TEST_F(Galdris, AStalledCameraEndsCaptureAndCloseReportsTheDevice) {
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->SetStalled(true);
  EXPECT_EQ(NextError(), QUVEX_ERR_CAPTURE_ENDED);
  EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(library_->Quvex_Close(handle_), 1);
  EXPECT_EQ(library_->DrainErrors(handle_), "8,4");
}

TEST_F(Galdris, CloseDuringAStallReturnsPromptly) {
  camera_->SetLeastTimeOut(60000);  // the close, not a time-out, ends the stalled transfer
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->SetStalled(true);
  ASSERT_TRUE(camera_->WaitForStalledTransfer(20000));
  EXPECT_EQ(library_->Quvex_Close(handle_), 1);  // cancels the blocked transfer
  EXPECT_GE(camera_->CancelledTransfers(), 1);
}

TEST_F(Galdris, CloseOrReleaseEndsAOneShotThatWaitsOnAStalledCamera) {
  ExpectCloseAndReleaseEndAStalledOneShot(*library_, handle_, *camera_);
}

TEST_F(Galdris, ClosesPassOneShotsThatTwoThreadsTakeBackToBack) {
  camera_->SetLeastTimeOut(kDeviceWaitMs);
  camera_->SetStalled(true);
  ExpectClosesPassLoopingOneShots({
      .oneShot = [&] { return library_->Quvex_OneShot(handle_); },
      .waiting = [&] { return camera_->WaitForStalledTransfer(20000); },
      .close = [&] { return library_->Quvex_Close(handle_); },
      .answer = [&] { camera_->SetStalled(false); },
  });
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Galdris, ACloseLeavesACameraSelectionItRacesWhole) {
  ExpectASelectionRacingACloseReachesTheCamera(*library_, handle_, *camera_);
}

TEST_F(Galdris, UnpluggingOrFailingToOpenIsReportedNotSilent) {
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->Unplug();
  EXPECT_EQ(NextError(), QUVEX_ERR_CAPTURE_ENDED);
  library_->Quvex_Close(handle_);
  library_->DrainErrors(handle_);
  DrainMessages();

  camera_ = std::make_unique<sim::SimUsbCamera>();
  camera_->SetOpenFails(true);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  EXPECT_EQ(NextError(), QUVEX_ERR_CAPTURE_ENDED);
}

TEST_F(Galdris, OneShotTakesAWholeFrameWithoutTheCaptureThread) {
  const int id = library_->Quvex_OneShot(handle_);
  ASSERT_NE(id, 0);
  EXPECT_EQ(library_->Quvex_GetNewID(handle_), id);
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  EXPECT_TRUE(sim::IsWholeFrame(Raw(id).data(), kWidth, kHeight));
  EXPECT_FALSE(messages_.Next(0));  // no frame message
}

TEST_F(Galdris, SavesTheCurrentFrameInEverySaveType) {
  ASSERT_NE(library_->Quvex_OneShot(handle_), 0);
  const std::string dir = test::MakeTempDirectory("galdris");
  ASSERT_FALSE(dir.empty());
  const long expected[] = {921654, 921600, -1, -1, -1, -1, -1, 614400, -1, -1,
                           307200, 307200, 1228800, 1228800};
  for (int type = 0; type <= 13; ++type) {
    const std::string path = dir + "/frame" + std::to_string(type);
    ASSERT_EQ(library_->Quvex_SaveA(handle_, path.c_str(), type), 1) << "type " << type;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    if (expected[type] >= 0) {
      EXPECT_EQ(info.st_size, expected[type]) << "type " << type;
    }
    EXPECT_GT(info.st_size, 0);
  }
  EXPECT_EQ(library_->Quvex_SaveA(handle_, (dir + "/no/such/dir/x.bmp").c_str(), 0), 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "9");
  std::system(("rm -rf " + dir).c_str());
}

TEST_F(Galdris, ReleasingWhileCapturingStopsEverything) {
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  EXPECT_EQ(library_->Quvex_Release(handle_), 1);
  handle_ = 0;
  EXPECT_EQ(camera_->OpenDevices(), 0);
}

}  // namespace
}  // namespace quvex::test
