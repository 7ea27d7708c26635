// Frames from the simulated LAN camera over loopback, next to a plain
// blocking socket that requests and reads the same bytes in the same run:
// - LanCapture: the capture thread without pacing (loop sleep 0), each frame
//   requested, received into its slot, mapped to colour and announced;
// - LanRequestFrame: one frame request on the frame connection, no thread;
// - PlainSocketRead: send the 5-byte request, recv the 153605-byte reply.
// cpu_us/frame is the process's CPU time per frame, the simulated camera's
// serving included; sdk_cpu_us/frame leaves the camera's threads out.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "bench/frame_meter.h"
#include "bench/sdk_cpu_meter.h"
#include "core/camera_object.h"
#include "deliverables/corvane/binding.h"
#include "quvex/quvex_window.h"
#include "sim/lan_camera.h"
#include "tests/deliverables/corvane_test_support.h"
#include "tests/support/loopback_address.h"
#include "tests/support/message_reader.h"
#include "transports/lan/lan_connection.h"
#include "transports/lan/lan_protocol.h"

namespace quvex {
namespace {

using bench::FrameMeter;
using sim::SimLanCamera;

constexpr size_t kReplyBytes = kLanFrameHeaderBytes + kLanFrameBytes;

const BuildProfile kProfile = test::LanProfile();

void LanCapture(benchmark::State& state) {
  SimLanCamera camera(test::NextLoopbackAddress());
  const auto address = test::AddressBytes(camera.Address());
  QuvexHwnd window = QuvexWindow_Create();
  auto binding = std::make_unique<CorvaneBinding>();
  CorvaneBinding& lan = *binding;
  {
    CQuvex quvex(kProfile, std::move(binding));
    quvex.Initialize(window);
    quvex.SetParam(QUVEX_PARAM_LOOP_SLEEP, 0);
    const int connected = quvex.WithCaptureStopped([&] {
      return lan.SetIpAddress(address[0], address[1], address[2], address[3]) == 0
                 ? 0
                 : quvex.AllocateRing();
    });
    if (connected == 0 || quvex.Preview() == 0) {
      state.SkipWithError("the simulated camera did not connect");
    } else {
      const test::MessageReader messages(window);
      messages.Next(10000);  // the first frame
      const FrameMeter meter(kLanFrameBytes);
      for (auto _ : state) messages.NextFrame(10000);
      meter.Report(state);
      quvex.Close();
    }
  }
  QuvexWindow_Destroy(window);
}
BENCHMARK(LanCapture)->UseRealTime()->Unit(benchmark::kMicrosecond);

void LanRequestFrame(benchmark::State& state) {
  SimLanCamera camera(test::NextLoopbackAddress());
  CLanConnection connection(camera.Address().c_str(), QUVEX_LAN_PORT);
  std::vector<uint8_t> frame(kLanFrameBytes);
  const FrameMeter meter(kLanFrameBytes);
  for (auto _ : state) {
    if (!RequestFrame(connection, frame.data(), frame.size())) {
      state.SkipWithError("frame request failed");
      break;
    }
    benchmark::DoNotOptimize(frame.data());
  }
  meter.Report(state);
}
BENCHMARK(LanRequestFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

void PlainSocketRead(benchmark::State& state) {
  SimLanCamera camera(test::NextLoopbackAddress());
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(QUVEX_LAN_PORT);
  inet_pton(AF_INET, camera.Address().c_str(), &peer.sin_addr);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  const uint8_t request[] = {0, 0, 0, 5, 0};
  std::vector<uint8_t> reply(kReplyBytes);
  const FrameMeter meter(kLanFrameBytes);
  for (auto _ : state) {
    if (send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request ||
        recv(fd, reply.data(), reply.size(), MSG_WAITALL) != static_cast<ssize_t>(reply.size())) {
      state.SkipWithError("plain exchange failed");
      break;
    }
    benchmark::DoNotOptimize(reply.data());
  }
  meter.Report(state);
  close(fd);
}
BENCHMARK(PlainSocketRead)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quvex
