// Corvane end to end through its exported interface, against the simulated
// LAN camera on a loopback address of each test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "sim/lan_camera.h"
#include "tests/support/library_session.h"
#include "tests/support/loopback_address.h"

namespace quvex::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::SimLanCamera;

constexpr int kWidth = 320, kHeight = 240;

class Corvane : public LibrarySession {
 protected:
  using SetIpAddressFn = decltype(&::Quvex_SetIpAddress);
  using GetInternalTemperatureFn = decltype(&::Quvex_GetInternalTemperature);

  Corvane() : LibrarySession("Corvane") {}
  void SetUp() override {
    LibrarySession::SetUp();
    SetIpAddress = reinterpret_cast<SetIpAddressFn>(library_->Optional("Quvex_SetIpAddress"));
    GetInternalTemperature = reinterpret_cast<GetInternalTemperatureFn>(
        library_->Optional("Quvex_GetInternalTemperature"));
    ASSERT_NE(SetIpAddress, nullptr);
    ASSERT_NE(GetInternalTemperature, nullptr);
  }
  void TearDown() override {
    LibrarySession::TearDown();
    cameras_.clear();
  }
  SimLanCamera& StartCamera() {
    cameras_.push_back(CameraOnNextAddress<SimLanCamera>());
    return *cameras_.back();
  }
  int Connect(const std::string& address) {
    const auto b = AddressBytes(address);
    return SetIpAddress(handle_, b[0], b[1], b[2], b[3]);
  }
  int NextFrame() { return NextFramePastErrors(); }

  SetIpAddressFn SetIpAddress = nullptr;
  GetInternalTemperatureFn GetInternalTemperature = nullptr;
  std::vector<std::unique_ptr<SimLanCamera>> cameras_;
};

TEST_F(Corvane, UnregisteredHandlesYieldZeroAndLeaveOkAlone) {
  int ok = 7;
  EXPECT_EQ(SetIpAddress(handle_ + 1, 127, 0, 0, 1), 0);
  EXPECT_EQ(GetInternalTemperature(handle_ + 1, &ok), 0.0f);
  EXPECT_EQ(ok, 7);
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Corvane, SetIpAddressConnectsAndWritesRegisterNine) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  // The status connection is made before register 9 is written, but the
  // camera may accept it after it has logged the write.
  ASSERT_TRUE(camera.WaitFor(
      [&] { return camera.ConnectionCount() == 2 && camera.Messages(0).size() == 1; }));
  EXPECT_EQ(camera.Messages(0), (std::vector<Bytes>{{0, 0, 0, 8, 1, 9, 0, 0}}));
  EXPECT_EQ(library_->DrainErrors(handle_), "");
  EXPECT_EQ(Connect(NextLoopbackAddress()), 0);  // nobody listens there: no error, not connected
  EXPECT_EQ(library_->DrainErrors(handle_), "");
  EXPECT_EQ(library_->Quvex_Preview(handle_), 0);
}

TEST_F(Corvane, SetIpAddressRacingACloseConnectsAndWritesRegisterNineEveryTime) {
  SimLanCamera& camera = StartCamera();
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    auto connected = std::async(std::launch::async, [&] { return Connect(camera.Address()); });
    std::this_thread::sleep_for(std::chrono::microseconds(10 * (round % 40)));  // 0 to 0.4 ms later
    EXPECT_EQ(library_->Quvex_Close(handle_), 1);
    EXPECT_EQ(connected.get(), 1) << "round " << round;
  }
  ASSERT_TRUE(camera.WaitFor([&] { return camera.RegisterWrites().size() >= kRounds; }));
  EXPECT_EQ(camera.RegisterWrites(), std::vector<SimLanCamera::RegisterWrite>(kRounds, {9, 0}));
  EXPECT_EQ(library_->DrainErrors(handle_), "");
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  EXPECT_NE(NextFrame(), 0);
}

TEST_F(Corvane, CapturedFramesCarryTheCamerasSamplesAndTemperatures) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  ASSERT_EQ(library_->Quvex_Close(handle_), 1);
  // The newest frame: a slow run may have seen the ring wrap over the first.
  const int id = library_->Quvex_GetNewID(handle_);
  ASSERT_NE(id, 0);

  library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  std::vector<uint16_t> raw(kWidth * kHeight);
  ASSERT_EQ(library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2), 1);
  const uint32_t frame = SimLanCamera::FrameCounterOf(raw.data());
  EXPECT_EQ(raw[kWidth * 100 + 7], SimLanCamera::Sample(frame, 100, 7));
  EXPECT_EQ(raw.back(), SimLanCamera::Sample(frame, kHeight - 1, kWidth - 1));

  // The built-in tables cover the camera's raw values (about 1 to 58 degrees).
  std::vector<float> degrees(kWidth * kHeight);
  ASSERT_EQ(library_->Quvex_GetTemperature(handle_, id, degrees.data(), kWidth * kHeight * 4), 1);
  for (const float value : {degrees.front(), degrees[kWidth * 120 + 160], degrees.back()}) {
    EXPECT_GT(value, 0.0f);
    EXPECT_LT(value, 62.0f);
  }
  EXPECT_TRUE(camera.WaitFor([&] { return camera.FramesServed() > 0; }));
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Corvane, TheInternalTemperatureIsReadThroughItsExport) {
  SimLanCamera& camera = StartCamera();
  int ok = 7;
  EXPECT_EQ(GetInternalTemperature(handle_, &ok), 0.0f);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "1");
  ASSERT_EQ(Connect(camera.Address()), 1);
  camera.SetTemperature(0x1900);
  EXPECT_EQ(GetInternalTemperature(handle_, &ok), 25.0f);
  EXPECT_EQ(ok, 1);
  camera.SetTemperature(0x7F80);
  EXPECT_EQ(GetInternalTemperature(handle_, &ok), 127.5f);
  camera.SetTemperature(0xFF80);
  EXPECT_EQ(GetInternalTemperature(handle_, nullptr), -0.5f);
}

TEST_F(Corvane, SetIpAddressDuringCaptureStopsCaptureFirst) {
  SimLanCamera& first = StartCamera();
  SimLanCamera& second = StartCamera();
  ASSERT_EQ(Connect(first.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  NextFrame();
  first.SetStalled(true);
  const uint32_t requests = first.FrameRequests();
  ASSERT_TRUE(first.WaitFor([&] { return first.FrameRequests() > requests; }));
  ASSERT_EQ(Connect(second.Address()), 1);
  EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 0);
  ASSERT_TRUE(second.WaitFor([&] { return second.Messages(0).size() == 1; }));
  EXPECT_EQ(second.Messages(0), (std::vector<Bytes>{{0, 0, 0, 8, 1, 9, 0, 0}}));
  DrainMessages();
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  EXPECT_NE(NextFrame(), 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Corvane, CloseAndReleaseEndCaptureWhileTheCameraStalls) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  for (int round = 0; round < 2; ++round) {
    camera.SetStalled(false);
    DrainMessages();
    ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
    NextFrame();
    camera.SetStalled(true);
    const uint32_t requests = camera.FrameRequests();
    ASSERT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() > requests; }));
    if (round == 0) {
      EXPECT_EQ(library_->Quvex_Close(handle_), 1);
      EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 0);
    } else {
      EXPECT_EQ(library_->Quvex_Release(handle_), 1);
      handle_ = 0;
    }
  }
}

TEST_F(Corvane, HostCallsOnOtherThreadsDuringCaptureAreSafe) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  NextFrame();
  std::thread writer([&] {
    for (int i = 0; i < 50; ++i) {
      library_->Quvex_SetParam(handle_, QUVEX_PARAM_SWITCH, i & 1);
      library_->Quvex_Nuc(handle_);
    }
  });
  std::thread reconnecter([&] { EXPECT_EQ(Connect(camera.Address()), 1); });
  writer.join();
  reconnecter.join();
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  EXPECT_EQ(library_->Quvex_Release(handle_), 1);
  handle_ = 0;
  for (const Bytes& message : camera.Messages(0)) {
    EXPECT_TRUE(message == Bytes({0, 0, 0, 5, 0}) || (message.size() == 8 && message[4] == 1));
  }
}

}  // namespace
}  // namespace quvex::test
