// Frames from the simulated LAN camera over loopback, next to a plain
// blocking socket that requests and reads the same bytes in the same run:
// - LanCapture: the capture thread without pacing (loop sleep 0), each frame
//   requested, received into its slot, mapped to colour and announced;
// - LanRequestFrame: one frame request on the frame connection, no thread;
// - PlainSocketRead: send the 5-byte request, recv the 153605-byte reply.
// cpu_ms_per_frame is the process's CPU time per frame, the simulated
// camera's serving included (the same in all three).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "corvane_binding.h"
#include "lan_camera.h"
#include "lan_connection.h"
#include "lan_protocol.h"
#include "quvex.h"
#include "quvex/quvex_window.h"

namespace quvex {
namespace {

using sim::SimLanCamera;

constexpr size_t kReplyBytes = kLanFrameHeaderBytes + kLanFrameBytes;

const BuildProfile kProfile{.name = "LanBench",
                            .versionValue = 1,
                            .timing = {388, 320, 0, 263, 240, 5},
                            .ringSlots = 10,
                            .cameraNameStem = u"",
                            .usesLock = false,
                            .denseTables = true,
                            .generation = Generation::Newer,
                            .interpolation = InterpolationVariant::Single,
                            .singlePrecisionPalette = true,
                            .reportsNetworkError = false,
                            .hasCpuInfo = false,
                            .module = nullptr,
                            .frameIds = FrameIdRule::TimePlusRand};

double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Frames counted from where it was made to Report.
class FrameMeter {
 public:
  FrameMeter() : cpuStart_(ProcessCpuMs()) {}
  void Report(benchmark::State& state) const {
    const auto frames = static_cast<int64_t>(state.iterations());
    state.SetItemsProcessed(frames);
    state.SetBytesProcessed(frames * static_cast<int64_t>(kLanFrameBytes));
    state.counters["cpu_ms_per_frame"] = (ProcessCpuMs() - cpuStart_) / static_cast<double>(frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }

 private:
  double cpuStart_;
};

void LanCapture(benchmark::State& state) {
  SimLanCamera camera("127.0.3.1");
  QuvexHwnd window = QuvexWindow_Create();
  auto binding = std::make_unique<CorvaneBinding>();
  CorvaneBinding& lan = *binding;
  {
    CQuvex quvex(kProfile, std::move(binding));
    quvex.Initialize(window);
    quvex.SetParam(QUVEX_PARAM_LOOP_SLEEP, 0);
    const int connected =
        quvex.WithCaptureStopped([&] { return lan.SetIpAddress(127, 0, 3, 1) == 0 ? 0 : quvex.AllocateRing(); });
    if (connected == 0 || quvex.Preview() == 0) {
      state.SkipWithError("the simulated camera did not connect");
    } else {
      QuvexMessage message{};
      QuvexWindow_GetMessage(window, &message, 10000);  // the first frame
      const FrameMeter meter;
      for (auto _ : state) {
        while (QuvexWindow_GetMessage(window, &message, 10000) == 1 && message.message != WM_QUVEX_FRAME) {
        }
      }
      meter.Report(state);
      quvex.Close();
    }
  }
  QuvexWindow_Destroy(window);
}
BENCHMARK(LanCapture)->UseRealTime()->Unit(benchmark::kMicrosecond);

void LanRequestFrame(benchmark::State& state) {
  SimLanCamera camera("127.0.3.2");
  CLanConnection connection("127.0.3.2", QUVEX_LAN_PORT);
  std::vector<uint8_t> frame(kLanFrameBytes);
  const FrameMeter meter;
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
  SimLanCamera camera("127.0.3.3");
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(QUVEX_LAN_PORT);
  inet_pton(AF_INET, "127.0.3.3", &peer.sin_addr);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  const uint8_t request[] = {0, 0, 0, 5, 0};
  std::vector<uint8_t> reply(kReplyBytes);
  const FrameMeter meter;
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
