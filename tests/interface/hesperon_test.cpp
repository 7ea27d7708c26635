// Hesperon end to end through its exported interface, against the simulated
// variant USB camera.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "sim/usb_camera.h"
#include "tests/support/library_session.h"
#include "tests/support/usb_one_shot_interruption.h"

namespace quvex::test {
namespace {

constexpr int kWidth = 640, kHeight = 480;

class Hesperon : public LibrarySession {
 protected:
  Hesperon() : LibrarySession("Hesperon") {}

  void SetUp() override {
    sim::SimCameraOptions options = sim::VariantCameraOptions(60);
    options.present = {0, 2};
    camera_ = std::make_unique<sim::SimUsbCamera>(options);
    ASSERT_TRUE(camera_->Installed());
    LibrarySession::SetUp();
    temperature_ = reinterpret_cast<decltype(temperature_)>(
        library_->Optional("Quvex_GetInternalTemperature"));
    ASSERT_NE(temperature_, nullptr);
  }
  void TearDown() override {
    LibrarySession::TearDown();
    camera_.reset();
  }
  bool IsWholeFrame(int id) {
    std::vector<uint16_t> raw(kWidth * kHeight);
    library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);  // rows as transferred
    return library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2) == 1 &&
           sim::IsWholeFrame(raw.data(), kWidth, kHeight);
  }
  // The value last written to a camera register; 0xFFFF when never.
  uint16_t Register(uint16_t address) {
    uint16_t value = 0xFFFF;
    for (const auto& write : camera_->RegisterWrites())
      if (write.address == address) value = write.value;
    return value;
  }

  std::unique_ptr<sim::SimUsbCamera> camera_;
  float (*temperature_)(int, int*) = nullptr;
};

TEST_F(Hesperon, CapturesWholeFramesAndWritesItsRegisters) {
  auto& q = *library_;
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RING_SLOTS), 30);
  char16_t name[16] = {};
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 2, name, 15), 0);
  ASSERT_EQ(q.Quvex_IsCameraEnableW(handle_, 2, name, 16), 1);
  EXPECT_EQ(std::u16string(name), u"Quvex640KYL_03");
  EXPECT_EQ(q.DrainErrors(handle_), "5");
  DrainMessages();

  q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, 2);
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  // The newest frame, kept in the ring by the pause: a slow run may have seen
  // the ring wrap over the first.
  ASSERT_EQ(q.Quvex_Pause(handle_), 1);
  EXPECT_TRUE(IsWholeFrame(q.Quvex_GetNewID(handle_)));
  EXPECT_TRUE(camera_->SixteenBit(0));
  EXPECT_EQ(camera_->SensorRegister(0, QUVEX_SENSOR_REG_PIXEL_MODE), 13);
  EXPECT_EQ(Register(QUVEX_REG_SWITCH), 0);
  EXPECT_EQ(Register(QUVEX_REG_RANGE), 1);
  EXPECT_EQ(q.Quvex_Nuc(handle_), 1);
  EXPECT_EQ(Register(QUVEX_REG_NUC), 1);
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  EXPECT_EQ(q.DrainErrors(handle_), "");
  EXPECT_EQ(camera_->ProtocolErrors(), 0);
}

TEST_F(Hesperon, TheCameraCannotChangeWhileCapturing) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 2), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "1");
  DrainMessages();
  ASSERT_NE(NextFrame(), 0);  // capture goes on untouched
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 1), 0);
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 2), 1);
  EXPECT_EQ(q.DrainErrors(handle_), "2");
  EXPECT_EQ(camera_->Inits(2), 1);
  DrainMessages();
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  EXPECT_NE(NextFrame(), 0);
  EXPECT_GT(camera_->FramesDelivered(2), 0u);
}

TEST_F(Hesperon, ReportsTheCamerasInternalTemperature) {
  const struct {
    uint16_t reading;
    float degrees;
  } cases[] = {{0x1900, 25.0f}, {0xFF80, -0.5f}, {0x8000, -128.0f}, {0x7FFF, 127.5f}};
  for (const auto& c : cases) {
    camera_->SetReadValue(1, c.reading);
    int ok = 0;
    EXPECT_EQ(temperature_(handle_, &ok), c.degrees) << c.reading;
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(temperature_(handle_, nullptr), c.degrees);
  }
  camera_->FailReplyReads(1, 1);  // the reply with the value
  int ok = 1;
  EXPECT_EQ(temperature_(handle_, &ok), 0.0f);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "8");
  EXPECT_EQ(temperature_(handle_, &ok), 127.5f);  // the next read is in step
  EXPECT_EQ(ok, 1);
  ok = 5;
  EXPECT_EQ(temperature_(handle_ + 1000, &ok), 0.0f);  // no such handle
  EXPECT_EQ(ok, 5);
}

TEST_F(Hesperon, AFailedTemperatureCheckStillLetsCaptureStart) {
  camera_->FailReplyReads(1, 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  EXPECT_EQ(NextError(), QUVEX_ERR_DEVICE);
  EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 1);
  ASSERT_TRUE(camera_->WaitForFrames(0, 3, 20000));
}

TEST_F(Hesperon, OneShotTakesAWholeFrameThatCanBeSaved) {
  const int id = library_->Quvex_OneShot(handle_);
  ASSERT_NE(id, 0);
  EXPECT_TRUE(IsWholeFrame(id));
  const auto commands = camera_->Commands();  // capture mode 0 went out first
  EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [](const sim::CommandRecord& c) {
    return c.packet[0] == QUVEX_USB_CMD_SENSOR_REGISTER &&
           c.packet[1] == QUVEX_SENSOR_REG_CAPTURE_MODE && c.packet[2] == 0;
  }));
  const std::string path = "/tmp/quvex_hesperon_" + std::to_string(getpid()) + ".raw";
  ASSERT_EQ(library_->Quvex_SaveA(handle_, path.c_str(), QUVEX_SAVE_RAW16), 1);
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, kWidth * kHeight * 2);
  std::remove(path.c_str());
}

TEST_F(Hesperon, CloseOrReleaseEndsAOneShotThatWaitsOnAStalledCamera) {
  ExpectCloseAndReleaseEndAStalledOneShot(*library_, handle_, *camera_);
}

TEST_F(Hesperon, ACloseLeavesACameraSelectionItRacesWhole) {
  const int inits = camera_->Inits(0);
  ExpectASelectionRacingACloseReachesTheCamera(*library_, handle_, *camera_);
  EXPECT_EQ(camera_->Inits(0), inits + 1);
}

TEST_F(Hesperon, TemperatureRepliesStayInStepWhateverACloseCuts) {
  using Stall = sim::SimUsbCamera::Stall;
  camera_->SetReadValue(1, 0x1900);
  // A read racing a Close is no one-shot: it reads the camera's value.
  float degrees = 0.0f;
  const auto [read, closed] = CloseWhileStalled(
      *library_, handle_, *camera_,
      [&] {
        int ok = 0;
        degrees = temperature_(handle_, &ok);
        return ok;
      },
      Stall::Transfers);
  EXPECT_EQ(read, 1);
  EXPECT_EQ(degrees, 25.0f);
  EXPECT_EQ(closed, 1);
  // A one-shot's own read, whose request went out when the Close came: its
  // replies are still taken, so none is left for the next read. (The
  // one-shot itself gives 0, or a frame if the Close came late.)
  const auto closedShot = CloseWhileStalled(
      *library_, handle_, *camera_, [&] { return library_->Quvex_OneShot(handle_); },
      Stall::Replies).second;
  EXPECT_EQ(closedShot, 1);
  camera_->SetReadValue(1, 0xFF80);
  int ok = 0;
  EXPECT_EQ(temperature_(handle_, &ok), -0.5f);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Hesperon, StallsAndUnpluggingEndCaptureAndCloseStillReturns) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->SetStalled(true);
  ASSERT_TRUE(camera_->WaitForStalledTransfer(20000));
  std::future<int> closed = std::async(std::launch::async, [&] { return q.Quvex_Close(handle_); });
  // Capture mode 0 goes out while the ring still waits on the camera.
  EXPECT_TRUE(camera_->WaitForStalledTransfer(20000, 2));
  EXPECT_EQ(closed.get(), 1);
  EXPECT_GE(camera_->CancelledTransfers(), 1);
  EXPECT_EQ(q.DrainErrors(handle_), "");  // a cancelled ring is no device failure
  camera_->SetStalled(false);
  DrainMessages();

  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->Unplug();
  EXPECT_EQ(NextError(), QUVEX_ERR_CAPTURE_ENDED);
  EXPECT_EQ(q.Quvex_Release(handle_), 1);
  handle_ = 0;
  EXPECT_EQ(camera_->OpenDevices(), 0);
}

}  // namespace
}  // namespace quvex::test
