// Frames over real packet capture: the simulated camera on one end of a veth
// pair in a network namespace of this test's own, the device on the other
// end in another. Needs CAP_NET_ADMIN (CI runs as root); skipped without.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/frame_pattern.h"
#include "sim/gige_camera.h"
#include "sim/veth_network.h"
#include "transports/gige/gige_device.h"

namespace quvex {
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr uint64_t kFrames = 60;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

TEST(GigEOverVeth, CapturesWholeFramesThroughLiveCaptureWithoutLoss) {
  if (!sim::VethNetwork::Permitted()) {
    GTEST_SKIP() << "needs CAP_NET_ADMIN and the ip command for a veth pair in its own namespaces";
  }
  sim::VethNetwork network(sim::kSimGigEMac);
  ASSERT_TRUE(network.Ok()) << network.Error();

  std::unique_ptr<sim::SimGigECamera> camera;
  std::string error;
  ASSERT_TRUE(network.RunInCamera([&] {
    auto link = std::make_unique<sim::RawSocketGigELink>(network.CameraInterface());
    if (!link->Open()) error = link->Error();
    if (link->Open()) camera = std::make_unique<sim::SimGigECamera>(std::move(link));
  }));
  ASSERT_TRUE(camera) << error;
  camera->SetFrameRate(30);

  // In the host namespace the veth end is the only Ethernet adapter.
  std::unique_ptr<CGigEDevice> device;
  ASSERT_TRUE(network.RunInHost([&] {
    device = std::make_unique<CGigEDevice>();
    if (device->AdapterCount() != 1 || device->GetAdapterDescriptions()[0] != network.HostInterface()) {
      error = "adapters: " + std::to_string(device->AdapterCount());
    } else if (device->OpenAdapter(0) != 1) {
      error = device->OpenError();
    }
  }));
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(device->DiscoverCamera(sim::kSimGigEMac), 1);
  ASSERT_EQ(device->SetImageSize(kWidth, kHeight, 1), 1);

  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  ASSERT_EQ(device->StartStream(), 1);
  std::vector<uint8_t> frame(size_t{kWidth} * kHeight * 2);
  int whole = 0, read = 0;
  const auto deadline = start + std::chrono::seconds(60);
  while (device->FramesCompleted() < kFrames && std::chrono::steady_clock::now() < deadline) {
    if (device->IsNewFrame() == 1 && device->ReadLatestFrame(frame.data(), frame.size()) == 1) {
      ++read;
      whole += sim::IsWholeFrame(reinterpret_cast<const uint16_t*>(frame.data()), kWidth, kHeight);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  device->StopStream();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuStart;
  const uint64_t frames = device->FramesCompleted();

  ASSERT_GE(frames, kFrames);
  EXPECT_EQ(whole, read);
  // The camera counts a frame once it hears the last acknowledgement, which
  // may still be on its way when the host has the frame.
  EXPECT_TRUE(camera->WaitFor([&] { return camera->FramesServed() >= frames; }));
  std::printf("veth: %llu frames in %.2f s: %.1f frames/s (camera set to 30), %.2f ms CPU per "
              "frame (whole process), %u blocks resent\n",
              static_cast<unsigned long long>(frames), seconds, static_cast<double>(frames) / seconds,
              cpu * 1000.0 / static_cast<double>(frames), camera->BlocksResent());
  device.reset();
  camera.reset();
}

}  // namespace
}  // namespace quvex
