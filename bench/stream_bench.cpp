// Fenwold's frames from the unpaced simulated port-123 camera over loopback,
// next to a plain blocking socket that reads the same stream in the same run:
// - FenwoldCapture: libFenwold.so capturing without pacing (loop sleep 0),
//   each frame received into its slot, mapped to colour and announced;
// - StreamReceiveFrame: the streaming connection alone, no thread;
// - PlainStreamRead: recv of 153600 bytes with MSG_WAITALL.
// cpu_us/frame is the process's CPU time per frame, the simulated camera's
// sending included; sdk_cpu_us/frame leaves the camera's threads out.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/frame_meter.h"
#include "quvex/quvex.h"
#include "quvex/quvex_window.h"
#include "sim/stream_camera.h"
#include "tests/support/loopback_address.h"
#include "tests/support/message_reader.h"
#include "transports/lan/stream_connection.h"

namespace quvex {
namespace {

using bench::FrameMeter;
using sim::SimStreamCamera;

struct Fenwold {
  void* module = dlopen(QUVEX_LIBRARY_DIR "/libFenwold.so", RTLD_NOW | RTLD_LOCAL);
  template <class Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(module, name));
  }
  ~Fenwold() {
    if (module != nullptr) dlclose(module);
  }
};

void FenwoldCapture(benchmark::State& state) {
  SimStreamCamera camera(test::NextLoopbackAddress());
  const auto address = test::AddressBytes(camera.Address());
  const Fenwold library;
  const auto initialize = library.Get<decltype(&::Quvex_Initialize)>("Quvex_Initialize");
  const auto setIpAddress = library.Get<decltype(&::Quvex_SetIpAddress)>("Quvex_SetIpAddress");
  const auto setParam = library.Get<decltype(&::Quvex_SetParam)>("Quvex_SetParam");
  const auto preview = library.Get<decltype(&::Quvex_Preview)>("Quvex_Preview");
  const auto release = library.Get<decltype(&::Quvex_Release)>("Quvex_Release");
  if (initialize == nullptr || setIpAddress == nullptr || setParam == nullptr ||
      preview == nullptr || release == nullptr) {
    state.SkipWithError("libFenwold.so is missing or incomplete");
    return;
  }
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = initialize(window);
  setParam(handle, QUVEX_PARAM_LOOP_SLEEP, 0);
  if (setIpAddress(handle, address[0], address[1], address[2], address[3]) == 0 ||
      preview(handle) == 0) {
    state.SkipWithError("the simulated camera did not connect");
  } else {
    const test::MessageReader messages(window);
    messages.Next(10000);  // the first frame
    const FrameMeter meter(kStreamFrameBytes);
    for (auto _ : state) messages.NextFrame(10000);
    meter.Report(state);
  }
  release(handle);
  QuvexWindow_Destroy(window);
}
BENCHMARK(FenwoldCapture)->UseRealTime()->Unit(benchmark::kMicrosecond);

void StreamReceiveFrame(benchmark::State& state) {
  SimStreamCamera camera(test::NextLoopbackAddress());
  CStreamConnection connection(*platform::ParseIpv4(camera.Address().c_str()));
  const platform::WaitCancel cancel;
  if (connection.Connect(cancel) != StreamConnect::Connected) {
    state.SkipWithError("connect failed");
    return;
  }
  std::vector<uint8_t> frame(kStreamFrameBytes);
  const FrameMeter meter(kStreamFrameBytes);
  for (auto _ : state) {
    if (connection.ReceiveFrame(frame.data(), frame.size(), cancel) != StreamReceive::Frame) {
      state.SkipWithError("receive failed");
      break;
    }
    benchmark::DoNotOptimize(frame.data());
  }
  meter.Report(state);
}
BENCHMARK(StreamReceiveFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

void PlainStreamRead(benchmark::State& state) {
  SimStreamCamera camera(test::NextLoopbackAddress());
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(QUVEX_LAN_STREAM_PORT);
  inet_pton(AF_INET, camera.Address().c_str(), &peer.sin_addr);
  const LanStartPacket start = StartPacket();
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 ||
      send(fd, start.data(), start.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(start.size())) {
    state.SkipWithError("connect failed");
    close(fd);
    return;
  }
  std::vector<uint8_t> frame(kStreamFrameBytes);
  const FrameMeter meter(kStreamFrameBytes);
  for (auto _ : state) {
    if (recv(fd, frame.data(), frame.size(), MSG_WAITALL) != static_cast<ssize_t>(frame.size())) {
      state.SkipWithError("plain read failed");
      break;
    }
    benchmark::DoNotOptimize(frame.data());
  }
  meter.Report(state);
  close(fd);
}
BENCHMARK(PlainStreamRead)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quvex
