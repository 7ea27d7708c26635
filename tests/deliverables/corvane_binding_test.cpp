// A camera object bound to the simulated LAN camera: connecting, register
// writes, capture with retries, the NUC settle window, the one-shot, the
// internal temperature, and stopping or reconnecting while the camera stalls.
#include "deliverables/corvane/binding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "core/camera_object.h"
#include "quvex/quvex_window.h"
#include "sim/lan_camera.h"
#include "tests/deliverables/corvane_test_support.h"
#include "tests/support/drain_errors.h"
#include "tests/support/message_reader.h"

namespace quvex::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::SimLanCamera;
using Write = SimLanCamera::RegisterWrite;

constexpr int kWidth = 320, kHeight = 240;
constexpr int kFrameBytes = kWidth * kHeight * 2;
constexpr uint32_t kLongWait = 600000;  // longer than any test may run
const Bytes kFrameRequest = {0, 0, 0, 5, 0};

std::atomic<uint32_t> fakeNow{0};
uint32_t FakeClock(void*) { return fakeNow.load(); }

class CorvaneCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = QuvexWindow_Create();
    messages_ = MessageReader(window_);
    // No time-out of a busy machine may add a failure, and without a cancel a
    // wait on a stalled camera would outlast the test. A test of the bound
    // itself makes an object with it.
    MakeObject(kLongWait);
  }
  void TearDown() override {
    quvex_.reset();
    cameras_.clear();
    QuvexWindow_Destroy(window_);
    QuvexPlatform_SetClock(nullptr, nullptr);
  }
  void MakeObject(uint32_t waitMs) {
    quvex_.reset();
    auto binding = std::make_unique<CorvaneBinding>(waitMs);
    binding_ = binding.get();
    quvex_ = std::make_unique<CQuvex>(kLanProfile, std::move(binding));
    ASSERT_EQ(quvex_->Initialize(window_), 1);
    quvex_->SetParam(QUVEX_PARAM_LOOP_SLEEP, 1);
  }
  SimLanCamera& StartCamera() {
    cameras_.push_back(CameraOnNextAddress<SimLanCamera>());
    return *cameras_.back();
  }
  // What Quvex_SetIpAddress does.
  int Connect(const SimLanCamera& camera) {
    const auto b = AddressBytes(camera.Address());
    return quvex_->WithCaptureStopped([&] {
      return binding_->SetIpAddress(b[0], b[1], b[2], b[3]) == 0 ? 0 : quvex_->AllocateRing();
    });
  }
  std::string DrainErrors() {
    return DrainErrorCodes([&] { return quvex_->GetLastError(); });
  }
  // The next message of the given kind within a minute; others are skipped.
  intptr_t Next(uint32_t kind) {
    const std::optional<QuvexMessage> message = messages_.NextOf(kind, 60000);
    if (!message) ADD_FAILURE() << "no message " << kind;
    return message ? message->lParam : 0;
  }
  int NextFrameId() { return static_cast<int>(Next(WM_QUVEX_FRAME)); }
  std::vector<uint16_t> Raw(int frameId) {
    std::vector<uint16_t> raw(kWidth * kHeight);
    EXPECT_EQ(quvex_->GetRaw(frameId, raw.data(), kFrameBytes), 1);
    return raw;
  }

  DebugLineCounter debugLines_;
  QuvexHwnd window_ = nullptr;
  MessageReader messages_;
  CorvaneBinding* binding_ = nullptr;
  std::unique_ptr<CQuvex> quvex_;
  std::vector<std::unique_ptr<SimLanCamera>> cameras_;
};

TEST_F(CorvaneCapture, ConnectingBothConnectionsWritesRegisterNineOnTheFrameConnection) {
  SimLanCamera& camera = StartCamera();
  EXPECT_FALSE(binding_->CanCapture());
  ASSERT_EQ(Connect(camera), 1);
  EXPECT_TRUE(binding_->CanCapture());
  // The status connection is made before register 9 is written, but the
  // camera may accept it after it has logged the write.
  ASSERT_TRUE(camera.WaitFor(
      [&] { return camera.ConnectionCount() == 2 && camera.Messages(0).size() == 1; }));
  EXPECT_EQ(camera.Messages(0), (std::vector<Bytes>{{0, 0, 0, 8, 1, 9, 0, 0}}));
  EXPECT_TRUE(camera.Messages(1).empty());
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, RegistersAreWrittenAtStartOnParametersAndOnNuc) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  EXPECT_EQ(quvex_->SetCameraNumber(3), 1);  // nothing to select: capture is no reason to refuse
  EXPECT_EQ(quvex_->SetParam(QUVEX_PARAM_SWITCH, 0), 1);
  EXPECT_EQ(quvex_->SetParam(QUVEX_PARAM_RANGE_MODE, QUVEX_RANGE_HIGH), 1);
  EXPECT_EQ(quvex_->Nuc(), 1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.RegisterWrites().size() == 6; }));
  EXPECT_EQ(camera.RegisterWrites(),
            (std::vector<Write>{{9, 0}, {7, 0}, {0, 16}, {7, 1}, {0, 1}, {6, 1}}));
  EXPECT_EQ(quvex_->Close(), 1);
  // Every message on the frame connection is whole: frame requests and the
  // register writes, one after the other.
  int writes = 0;
  for (const Bytes& message : camera.Messages(0)) {
    if (message.size() == 8) {
      EXPECT_EQ(Bytes(message.begin(), message.begin() + 5), (Bytes{0, 0, 0, 8, 1}));
      ++writes;
    } else {
      EXPECT_EQ(message, kFrameRequest);
    }
  }
  EXPECT_EQ(writes, 6);
  EXPECT_NE(std::find(camera.Messages(0).begin(), camera.Messages(0).end(),
                      Bytes{0, 0, 0, 8, 1, 7, 0, 1}),
            camera.Messages(0).end());
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, FramesComeOutInTheRowOrderOfParameter17) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  ASSERT_NE(NextFrameId(), 0);
  ASSERT_EQ(quvex_->Close(), 1);
  // The newest frame: a slow run may have seen the ring wrap over the first.
  const int id = quvex_->GetNewID();
  ASSERT_NE(id, 0);

  const std::vector<uint16_t> bottomUp = Raw(id);  // parameter 17 = 0: last received row first
  const uint32_t frame = SimLanCamera::FrameCounterOf(&bottomUp[(kHeight - 1) * kWidth]);
  quvex_->SetParam(QUVEX_PARAM_VIEW_FLIP, 1);
  const std::vector<uint16_t> asReceived = Raw(id);
  for (int row = 0; row < kHeight; ++row) {
    for (int column = 0; column < kWidth; ++column) {
      const uint16_t expected = SimLanCamera::Sample(frame, row, column);
      ASSERT_EQ(asReceived[row * kWidth + column], expected) << row << "," << column;
      ASSERT_EQ(bottomUp[(kHeight - 1 - row) * kWidth + column], expected) << row << "," << column;
    }
  }
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, FramesKeepArrivingUnannouncedWhileANucSettles) {
  fakeNow = 50000;
  QuvexPlatform_SetClock(FakeClock, nullptr);
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  EXPECT_EQ(quvex_->Nuc(), 1);
  EXPECT_EQ(quvex_->NucTime(), 50000u);
  ASSERT_EQ(quvex_->Preview(), 1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FramesServed() >= 5; }));
  EXPECT_EQ(QuvexWindow_PendingCount(window_), 0);  // received but not announced
  EXPECT_EQ(quvex_->GetNewID(), 0);
  EXPECT_EQ(quvex_->NucTime(), 50000u);

  fakeNow = 50000 + 1000;  // the settle time has passed
  EXPECT_NE(NextFrameId(), 0);
  EXPECT_EQ(quvex_->NucTime(), 0u);  // cleared by the first frame after it
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, CaptureRecoversFromAConnectionClosedMidFrame) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  camera.CloseMidFrame(1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.ConnectionCount() == 3; }));
  const uint32_t served = camera.FramesServed();
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FramesServed() >= served + 3; }));
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(retryLines.load(), 1);
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, FiveFailedRequestsInARowEndCaptureWithOneFrameReadError) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  camera.OverrideReplyLength(1000000, 5);  // every reply from here on is short
  EXPECT_EQ(Next(WM_QUVEX_ERROR), QUVEX_ERR_FRAME_READ);
  const uint32_t requests = camera.FrameRequests();
  EXPECT_EQ(retryLines.load(), 4);  // after failures 1 to 4, not after the fifth
  EXPECT_EQ(DrainErrors(), "3");
  // The thread has ended but capture counts as running until Close.
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(quvex_->Preview(), 1);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 0);
  EXPECT_EQ(DrainErrors(), "");
  EXPECT_EQ(camera.ConnectionCount(), 2u);      // short replies keep the connection
  EXPECT_EQ(camera.FrameRequests(), requests);  // none after the fifth

  camera.OverrideReplyLength(0, 0);
  messages_.Drain();
  ASSERT_EQ(quvex_->Preview(), 1);  // a new start counts failures from 0
  EXPECT_NE(NextFrameId(), 0);
  EXPECT_EQ(quvex_->Close(), 1);
}

TEST_F(CorvaneCapture, ASuccessfulFrameResetsTheFailureCount) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  // A frame served after the n-th retry line: the thread sleeps after each
  // line, so nothing is in flight when it appears.
  const auto frameAfterRetry = [&](int n) {
    EXPECT_TRUE(camera.WaitFor([&] { return retryLines.load() == n; }));
    const uint32_t served = camera.FramesServed();
    EXPECT_TRUE(camera.WaitFor([&] { return camera.FramesServed() > served; }));
  };
  camera.OverrideReplyLength(4, 0);
  frameAfterRetry(4);
  camera.OverrideReplyLength(1, 0x80000000u);  // a fifth failure, but not in a row
  frameAfterRetry(5);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 1);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, CloseEndsARequestThatWaitsOnAStalledCamera) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  camera.SetStalled(true);
  const uint32_t requests = camera.FrameRequests();
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() > requests; }));
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(retryLines.load(), 0);  // a cancelled request is no failure
  EXPECT_EQ(DrainErrors(), "");

  camera.SetStalled(false);
  messages_.Drain();
  ASSERT_EQ(quvex_->Preview(), 1);  // the next start is not cancelled
  EXPECT_NE(NextFrameId(), 0);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(quvex_->SetParam(QUVEX_PARAM_SWITCH, 0), 1);  // nor is a later write
  ASSERT_TRUE(camera.WaitFor([&] { return camera.RegisterWrites().back() == Write{7, 1}; }));
}

TEST_F(CorvaneCapture, ReleasingTheObjectEndsCaptureOnAStalledCamera) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  camera.SetStalled(true);
  const uint32_t requests = camera.FrameRequests();
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() > requests; }));
  quvex_.reset();
  SUCCEED();
}

TEST_F(CorvaneCapture, ANewAddressStopsCaptureFirstAndMovesToTheNewCamera) {
  SimLanCamera& first = StartCamera();
  SimLanCamera& second = StartCamera();
  ASSERT_EQ(Connect(first), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  first.SetStalled(true);  // the thread waits on the first camera
  const uint32_t requests = first.FrameRequests();
  ASSERT_TRUE(first.WaitFor([&] { return first.FrameRequests() > requests; }));

  ASSERT_EQ(Connect(second), 1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_CAPTURING), 0);
  // The whole message: its length prefix is logged before the rest arrives.
  const std::vector<Bytes> expected{{0, 0, 0, 8, 1, 9, 0, 0}};
  ASSERT_TRUE(second.WaitFor([&] { return second.Messages(0) == expected; }));

  messages_.Drain();
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_TRUE(second.WaitFor([&] { return second.FramesServed() > 0; }));
  EXPECT_EQ(first.ConnectionCount(), 2u);
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, HostWritesDuringCaptureNeverSplitAMessage) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  quvex_->SetParam(QUVEX_PARAM_LOOP_SLEEP, 0);
  ASSERT_EQ(quvex_->Preview(), 1);
  NextFrameId();
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i) quvex_->SetParam(QUVEX_PARAM_SWITCH, i & 1);
  });
  writer.join();
  const uint32_t served = camera.FramesServed();
  ASSERT_TRUE(camera.WaitFor([&] { return camera.FramesServed() > served + 2; }));
  EXPECT_EQ(quvex_->Close(), 1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.RegisterWrites().size() == 203; }));
  for (const Bytes& message : camera.Messages(0)) {
    ASSERT_TRUE(message == kFrameRequest || (message.size() == 8 && message[4] == 1));
  }
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, AOneShotRequestsOneFrameOnlyWhileIdle) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  const int id = quvex_->OneShot();
  ASSERT_NE(id, 0);
  EXPECT_EQ(quvex_->GetNewID(), id);
  quvex_->SetParam(QUVEX_PARAM_VIEW_FLIP, 1);
  EXPECT_EQ(Raw(id)[kWidth + 1], SimLanCamera::Sample(0, 1, 1));
  EXPECT_EQ(camera.FrameRequests(), 1u);
  EXPECT_EQ(QuvexWindow_PendingCount(window_), 0);  // no frame message

  // The fault comes before any capture: the request a stop cancelled may
  // reach the camera late, and would take it.
  camera.CloseMidFrame(1);
  EXPECT_EQ(quvex_->OneShot(), 0);
  EXPECT_EQ(DrainErrors(), "3");

  ASSERT_EQ(quvex_->Preview(), 1);
  EXPECT_EQ(quvex_->OneShot(), 0);
  EXPECT_EQ(quvex_->Close(), 1);
  EXPECT_EQ(DrainErrors(), "");

  // A reply of minutes fails within the library's own wait bound.
  MakeObject(kLanWaitMs);
  ASSERT_EQ(Connect(camera), 1);
  camera.SetTrickle(1);
  EXPECT_EQ(quvex_->OneShot(), 0);
  EXPECT_EQ(DrainErrors(), "3");
}

TEST_F(CorvaneCapture, OneShotsFillTheRingInTurnSoTheLastTenStayFindable) {
  SimLanCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera), 1);
  quvex_->SetParam(QUVEX_PARAM_VIEW_FLIP, 1);
  std::vector<int> ids;
  for (int shot = 0; shot <= kLanProfile.ringSlots; ++shot) ids.push_back(quvex_->OneShot());
  std::vector<uint16_t> raw(kWidth * kHeight);
  EXPECT_EQ(quvex_->GetRaw(ids[0], raw.data(), kFrameBytes), 0);  // its slot was filled again
  EXPECT_EQ(DrainErrors(), "5");
  for (int shot = 1; shot <= kLanProfile.ringSlots; ++shot) {
    EXPECT_EQ(Raw(ids[shot])[0], SimLanCamera::Sample(shot, 0, 0)) << shot;
  }
  EXPECT_EQ(camera.RegisterWrites(), (std::vector<Write>{{9, 0}}));  // no range write per shot
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, CloseOrANewAddressEndsAOneShotThatWaitsOnAStalledCamera) {
  for (const bool reconnect : {false, true}) {
    SCOPED_TRACE(reconnect ? "new address" : "close");
    MakeObject(kLongWait);  // without the interrupt, the one-shot would outlast the test
    SimLanCamera& camera = StartCamera();
    ASSERT_EQ(Connect(camera), 1);
    std::vector<int> ids;
    for (int shot = 0; shot < kLanProfile.ringSlots; ++shot) ids.push_back(quvex_->OneShot());
    camera.SetStalled(true);
    std::atomic<int> stalledShot{-1};
    std::thread shooter([&] { stalledShot = quvex_->OneShot(); });  // into the slot of ids[0]
    EXPECT_TRUE(camera.WaitFor([&] { return camera.FrameRequests() == 11; }));
    // The slot being read into has lost its frame at once; the others are there.
    std::vector<uint16_t> raw(kWidth * kHeight);
    EXPECT_EQ(quvex_->GetRaw(ids[0], raw.data(), kFrameBytes), 0);
    EXPECT_EQ(quvex_->GetRaw(ids[1], raw.data(), kFrameBytes), 1);
    EXPECT_EQ(reconnect ? Connect(camera) : quvex_->Close(), 1);
    shooter.join();
    EXPECT_EQ(stalledShot.load(), 0);
    EXPECT_EQ(DrainErrors(), "5");  // an interrupted one-shot is no failure of the camera
    camera.SetStalled(false);
    EXPECT_NE(quvex_->OneShot(), 0);
  }
}

TEST_F(CorvaneCapture, TheInternalTemperatureComesFromTheStatusConnection) {
  SimLanCamera& camera = StartCamera();
  int ok = 7;
  EXPECT_EQ(binding_->GetInternalTemperature(&ok), 0.0f);  // no address yet
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(DrainErrors(), "1");

  ASSERT_EQ(Connect(camera), 1);
  camera.SetTemperature(0x1900);
  EXPECT_EQ(binding_->GetInternalTemperature(&ok), 25.0f);
  EXPECT_EQ(ok, 1);
  camera.SetTemperature(0x8000);
  EXPECT_EQ(binding_->GetInternalTemperature(nullptr), -128.0f);
  EXPECT_EQ(camera.Messages(1), (std::vector<Bytes>(2, Bytes{0, 0, 0, 0x0B, 2, 0, 0, 0, 0, 0, 0})));

  // A short wait only where no answer can come, however busy the machine:
  // connecting and sending on loopback need none from the camera.
  MakeObject(100);
  ASSERT_EQ(Connect(camera), 1);
  camera.SetStalled(true);
  ok = 7;
  EXPECT_EQ(binding_->GetInternalTemperature(&ok), 0.0f);  // the reply never comes
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(DrainErrors(), "");
}

TEST_F(CorvaneCapture, WithoutAConnectionOnlyTheCameraObjectWorks) {
  EXPECT_EQ(quvex_->SetCameraNumber(5), 1);  // any index once initialised
  char16_t name[32] = {};
  EXPECT_EQ(quvex_->IsCameraEnable(0, name, 32), 0);
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(quvex_->Start(), 1);
  EXPECT_EQ(DrainErrors(), "1");
  EXPECT_EQ(quvex_->Preview(), 0);
  EXPECT_EQ(DrainErrors(), "1");  // refused once: nothing started, so nothing to undo
  EXPECT_EQ(quvex_->SetParam(QUVEX_PARAM_SWITCH, 0), 1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_SWITCH), 0);
  EXPECT_EQ(DrainErrors(), "1");  // the write could not be sent
  EXPECT_EQ(quvex_->Nuc(), 0);
  EXPECT_NE(quvex_->NucTime(), 0u);  // stamped before the write
  EXPECT_EQ(DrainErrors(), "1");
  EXPECT_EQ(quvex_->OneShot(), 0);
  EXPECT_EQ(DrainErrors(), "3");  // the request fails: there is no frame connection
}

TEST_F(CorvaneCapture, ARefusedAddressLeavesTheObjectUnconnected) {
  SimLanCamera& camera = StartCamera();
  camera.SetRefusing(true);
  EXPECT_EQ(Connect(camera), 0);
  EXPECT_FALSE(binding_->CanCapture());
  EXPECT_EQ(DrainErrors(), "");
  EXPECT_EQ(quvex_->Preview(), 0);
  DrainErrors();
  camera.SetRefusing(false);
  EXPECT_EQ(Connect(camera), 1);
  ASSERT_EQ(quvex_->Preview(), 1);
  EXPECT_NE(NextFrameId(), 0);
  EXPECT_EQ(quvex_->Close(), 1);
}

}  // namespace
}  // namespace quvex::test
