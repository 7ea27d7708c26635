// The GigE device against the simulated camera behind an in-process packet
// port: discovery, frames through lost, duplicated, reordered and foreign
// packets, camera types, single capture, register writes and stopping.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "sim/frame_pattern.h"
#include "sim/gige_camera.h"
#include "transports/gige/gige_camera_types.h"
#include "transports/gige/gige_device.h"

namespace quvex {
namespace {

using sim::SimGigECamera;
using Fault = SimGigECamera::Fault;

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kSlot = size_t{kWidth} * kHeight * 2;
constexpr MacAddress kCameraMac = sim::kSimGigEMac;
// Replies come within this however busy the machine; a wait for a reply that
// cannot come is made on a device of its own with a short one.
constexpr uint32_t kReplyWaitMs = 30000;
constexpr uint32_t kNoReplyWaitMs = 500;

class GigEDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    auto link = std::make_unique<sim::InProcessGigELink>();
    ASSERT_TRUE(link->Installed());
    camera_ = std::make_unique<SimGigECamera>(std::move(link));
    device_ = std::make_unique<CGigEDevice>(kReplyWaitMs);
    ASSERT_GE(device_->AdapterCount(), 1);
    ASSERT_EQ(device_->GetAdapterDescriptions()[0], sim::InProcessGigELink::kDescription);
  }
  void TearDown() override {
    device_.reset();
    camera_.reset();
  }
  void Connect() {
    ASSERT_EQ(device_->OpenAdapter(0), 1) << device_->OpenError();
    ASSERT_EQ(device_->DiscoverCamera(kCameraMac), 1);
    ASSERT_EQ(device_->SetImageSize(kWidth, kHeight, 1), 1);
  }
  // The next frame that completes, or an empty vector after a long wait.
  std::vector<uint8_t> NextFrame() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (device_->IsNewFrame() != 1) {
      if (std::chrono::steady_clock::now() > deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<uint8_t> frame(kSlot);
    if (device_->ReadLatestFrame(frame.data(), frame.size()) != 1) return {};
    return frame;
  }
  static bool IsWhole(const std::vector<uint8_t>& frame, uint32_t* counter = nullptr) {
    return frame.size() == kSlot &&
           sim::IsWholeFrame(reinterpret_cast<const uint16_t*>(frame.data()), kWidth, kHeight,
                             counter);
  }

  std::unique_ptr<SimGigECamera> camera_;
  std::unique_ptr<CGigEDevice> device_;
};

TEST_F(GigEDevice, FindsTheCameraByItsMacAddressOnly) {
  EXPECT_EQ(device_->DiscoverCamera(kCameraMac), 0);  // no adapter open: at once
  EXPECT_EQ(device_->OpenAdapter(device_->AdapterCount()), 0);
  {
    // No reply comes to a probe for another address.
    CGigEDevice elsewhere(kNoReplyWaitMs);
    ASSERT_EQ(elsewhere.OpenAdapter(0), 1);
    EXPECT_EQ(elsewhere.DiscoverCamera({2, 0, 0, 0, 0, 9}), 0);
    EXPECT_EQ(elsewhere.IsCameraFound(), 0);
  }
  ASSERT_EQ(device_->OpenAdapter(0), 1);
  EXPECT_EQ(device_->DiscoverCamera(kCameraMac), 1);
  EXPECT_EQ(camera_->DiscoveryReplies(), 1u);
  // Reopening keeps the camera.
  ASSERT_EQ(device_->OpenAdapter(0), 1);
  EXPECT_EQ(device_->IsCameraFound(), 1);
}

TEST_F(GigEDevice, AnOpenWhoseReceiveThreadCannotStartClosesThePortAgain) {
  CGigEDevice device(kReplyWaitMs, platform::GetTimeOfDay,
                     [](platform::Thread&, std::function<void()>) { return false; });
  EXPECT_EQ(device.OpenAdapter(0), 0);
  EXPECT_EQ(static_cast<sim::InProcessGigELink&>(camera_->Link()).OpenPorts(), 0);
}

TEST_F(GigEDevice, AssemblesWholeFramesThroughPacketFaults) {
  struct Case {
    const char* name;
    void (*arrange)(SimGigECamera&);
  };
  const Case cases[] = {
      {"in order", [](SimGigECamera&) {}},
      {"lost packet", [](SimGigECamera& c) { c.AddFault(Fault::Drop, 30); }},
      {"lost block end", [](SimGigECamera& c) { c.AddFault(Fault::Drop, 128); }},
      {"duplicate", [](SimGigECamera& c) { c.AddFault(Fault::Duplicate, 10); }},
      {"reordered", [](SimGigECamera& c) { c.AddFault(Fault::SwapWithNext, 20); }},
      {"lost acknowledgement", [](SimGigECamera& c) { c.IgnoreAcks(1); }},
      {"foreign host", [](SimGigECamera& c) { c.Inject({5, 6, true}); }},
      {"too long", [](SimGigECamera& c) { c.Inject({5, 6, false, 1067}); }},
      {"too short", [](SimGigECamera& c) { c.Inject({5, 6, false, 1065}); }},
      {"foreign block", [](SimGigECamera& c) { c.Inject({100, 300}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Connect();
    c.arrange(*camera_);
    ASSERT_EQ(device_->StartStream(), 1);
    for (int frame = 0; frame < 2; ++frame) EXPECT_TRUE(IsWhole(NextFrame()));
    device_->StopStream();
  }
}

TEST_F(GigEDevice, AcknowledgesEveryBlockAndEachResentBlockEndAgain) {
  Connect();
  camera_->IgnoreAcks(1);  // the acknowledgement of 64 is not heard once
  ASSERT_EQ(device_->StartStream(), 1);
  uint32_t counter = 0;
  ASSERT_TRUE(IsWhole(NextFrame(), &counter));
  device_->StopStream();
  // The first 64 was not heard, so the first one heard is the
  // acknowledgement of the resent block; every block end up to 640 follows.
  // (A slow run may see the frame asked for again, which restarts it.)
  const std::vector<uint16_t> acks = camera_->Acks();
  ASSERT_FALSE(acks.empty());
  EXPECT_EQ(acks.front(), 64);
  for (uint16_t block = 64; block <= 640; block += 64) {
    EXPECT_NE(std::find(acks.begin(), acks.end(), block), acks.end()) << block;
  }
  EXPECT_TRUE(std::all_of(acks.begin(), acks.end(), [](uint16_t a) { return a % 64 == 0 && a <= 640; }));
  EXPECT_TRUE(camera_->BlocksResent() >= 1 || camera_->FrameRequests() >= 2);
}

TEST_F(GigEDevice, EveryCameraTypeFillsItsSlotFromTheStreamAndNoMore) {
  for (int type : {0, 1, 2, 4, 5, 6}) {
    SCOPED_TRACE(type);
    TearDown();
    SetUp();
    Connect();
    camera_->SetCameraType(type);
    ASSERT_EQ(device_->SetCameraType(static_cast<unsigned>(type)), 1);
    ASSERT_EQ(device_->StartStream(), 1);  // allocates again after the type change
    const std::vector<uint8_t> frame = NextFrame();
    ASSERT_EQ(frame.size(), kSlot);
    const GigEGeometry g = *GigECameraGeometry(static_cast<unsigned>(type), true);
    const size_t imageBytes = static_cast<size_t>(g.height) * ((g.width * g.bits + 7) / 8);
    // The frame is one the camera served, whole; which one depends on timing.
    bool found = false;
    for (uint32_t counter = 1; counter <= camera_->FramesServed() + 1 && !found; ++counter) {
      std::vector<uint8_t> expected(std::max(imageBytes, kSlot), 0);
      sim::FillFrame(expected.data(), imageBytes, g.bits > 8, {g.width, 0, g.width, 0, g.height},
                     counter);
      found = std::equal(frame.begin(), frame.end(), expected.begin());
    }
    EXPECT_TRUE(found);
  }
  EXPECT_EQ(device_->SetCameraType(7), 0);
  EXPECT_EQ(device_->SetCameraType(static_cast<unsigned>(-1)), 0);
}

TEST_F(GigEDevice, CapturesOneFrameIntoTheSlotItReports) {
  Connect();
  ASSERT_EQ(device_->StartStream(), 1);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(IsWhole(NextFrame()));  // the write index moved on
  device_->StopStream();
  ASSERT_EQ(device_->CaptureOne(), 1);
  std::vector<uint8_t> frame(kSlot);
  ASSERT_EQ(device_->ReadCapturedFrame(frame.data(), frame.size()), 1);
  uint32_t counter = 0;
  EXPECT_TRUE(IsWhole(frame, &counter));
  // The newest frame the camera served (once it heard the last acknowledgement).
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->FramesServed() == counter; }));
  EXPECT_EQ(device_->ReadSlot(0, frame.data(), kSlot - 1), 0);

  // A silent camera: the capture gives up after the reply wait. With a short
  // wait, finding the camera may take a busy machine more than one probe.
  device_ = std::make_unique<CGigEDevice>(kNoReplyWaitMs);
  ASSERT_EQ(device_->OpenAdapter(0), 1);
  for (int probes = 1; device_->DiscoverCamera(kCameraMac) != 1; ++probes) ASSERT_LT(probes, 60);
  ASSERT_EQ(device_->SetImageSize(kWidth, kHeight, 1), 1);
  camera_->SetSilent(true);
  EXPECT_EQ(device_->CaptureOne(), 0);
}

TEST_F(GigEDevice, AWriteMidFrameCarriesTheAwaitedAcknowledgementAndTheFrameCompletes) {
  Connect();
  // The acknowledgement of 64 is not heard and the block is not sent again:
  // the line falls quiet in the middle of the frame.
  camera_->IgnoreAcks(1);
  camera_->SetResendWait(std::chrono::minutes(1));
  auto shot = std::async(std::launch::async, [&] { return device_->CaptureOne(); });
  ASSERT_TRUE(camera_->WaitFor([&] { return camera_->Received().back()[44] == 64; }));
  device_->QueueRegisterWrite(6, 1);
  ASSERT_EQ(shot.get(), 1);
  EXPECT_EQ(camera_->RegisterWrites(), (std::vector<SimGigECamera::RegisterWrite>{{6, 1}}));
}

TEST_F(GigEDevice, SendsQueuedRegisterWritesInOrderAtMost99PerQuietTurn) {
  for (int i = 0; i < 150; ++i) device_->QueueRegisterWrite(i, i);
  device_->OnIdle();  // no adapter open: taken and dropped
  EXPECT_EQ(device_->PendingRegisterWrites(), 51u);
  device_->OnIdle();
  EXPECT_EQ(device_->PendingRegisterWrites(), 0u);

  Connect();
  device_->QueueRegisterWrite(0, 16);
  device_->QueueRegisterWrite(6, 1);
  device_->QueueRegisterWrite(7, 0);
  const std::vector<SimGigECamera::RegisterWrite> expected = {{0, 16}, {6, 1}, {7, 0}};
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->RegisterWrites() == expected; }));
}

TEST_F(GigEDevice, StopsAndClosesPromptlyWhileTheCameraIsSilentOrGone) {
  Connect();
  camera_->SetSilent(true);
  ASSERT_EQ(device_->StartStream(), 1);
  // Silent: the request is repeated.
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->FrameRequests() >= 3; }));
  EXPECT_EQ(device_->IsNewFrame(), 2);
  device_->StopStream();
  device_->CloseAdapter();

  camera_->SetSilent(false);
  Connect();
  ASSERT_EQ(device_->StartStream(), 1);
  camera_.reset();  // the adapter disappears while streaming
  device_->StopStream();
  device_->CloseAdapter();
}

}  // namespace
}  // namespace quvex
