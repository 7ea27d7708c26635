// quvex_interrupt_latency: how long Quvex_Close takes when one-shots wait on
// a camera that does not answer, for each library against its simulated
// camera: behind a single one-shot, and behind two host threads that take
// one-shots back to back. Prints the median and the slowest close.
//
//   quvex_interrupt_latency [--closes N] [LIBRARY...]   (default: every library)
//
// Fenwold's camera listens on port 123, which needs root.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/gige_camera.h"
#include "sim/lan_camera.h"
#include "sim/stream_camera.h"
#include "sim/usb_camera.h"
#include "tests/support/quvex_library.h"

namespace {

using Clock = std::chrono::steady_clock;
using quvex::test::QuvexLibrary;
constexpr uint32_t kSilentMs = 600000;  // a stalled USB transfer ends only by a cancel
constexpr uint32_t kWaitMs = 20000;

// A library's simulated camera, made silent: connect() binds the camera
// object to it, waiting() tells that a one-shot waits on it, answer() lets
// the one-shots complete again.
struct SilentCamera {
  std::shared_ptr<void> camera;
  std::function<bool(QuvexLibrary&, int)> connect;
  std::function<bool()> waiting;
  std::function<void()> answer;
};

// Waits, on the camera's own wait, until count() passes the value it had
// when last seen: a one-shot sent its request.
template <class Camera>
std::function<bool()> NextOf(std::shared_ptr<Camera> camera, std::function<uint32_t()> count) {
  auto seen = std::make_shared<uint32_t>(count());
  return [=] {
    if (!camera->WaitFor([&] { return count() > *seen; }, kWaitMs)) return false;
    *seen = count();
    return true;
  };
}

// Quvex_SetIpAddress to 127.0.0.1, where the LAN libraries have it.
bool ConnectLan(QuvexLibrary& q, int handle) {
  const auto setIpAddress =
      reinterpret_cast<decltype(&Quvex_SetIpAddress)>(q.Optional("Quvex_SetIpAddress"));
  return setIpAddress != nullptr && setIpAddress(handle, 127, 0, 0, 1) == 1;
}

SilentCamera MakeCamera(const std::string& library) {
  if (library == "Galdris" || library == "Hesperon") {
    auto usb = std::make_shared<quvex::sim::SimUsbCamera>(
        library == "Galdris" ? quvex::sim::SimCameraOptions{} : quvex::sim::VariantCameraOptions());
    // Stalled once the library has opened and reset it at Quvex_Initialize.
    const auto stall = [usb](QuvexLibrary&, int) {
      usb->SetLeastTimeOut(kSilentMs);
      usb->SetStalled(true);
      return true;
    };
    return {usb, stall, [usb] { return usb->WaitForStalledTransfer(kWaitMs); },
            [usb] { usb->SetStalled(false); }};
  }
  if (library == "Corvane") {
    auto lan = std::make_shared<quvex::sim::SimLanCamera>("127.0.0.1");
    const auto connect = [lan](QuvexLibrary& q, int handle) {
      const bool connected = ConnectLan(q, handle);
      lan->SetStalled(true);
      return connected;
    };
    return {lan, connect, NextOf(lan, [lan] { return lan->FrameRequests(); }),
            [lan] { lan->SetStalled(false); }};
  }
  if (library == "Dellisk") {
    auto gige = std::make_shared<quvex::sim::SimGigECamera>(
        std::make_unique<quvex::sim::InProcessGigELink>());
    const auto connect = [gige](QuvexLibrary& q, int handle) {
      const auto setDevice = reinterpret_cast<decltype(&Quvex_SetDeviceNumber)>(
          q.Optional("Quvex_SetDeviceNumber"));
      const auto find = reinterpret_cast<decltype(&Quvex_ConnectToCamera)>(
          q.Optional("Quvex_ConnectToCamera"));
      const bool connected = setDevice && find && setDevice(handle, 0) == 1 &&
                             find(handle, gige->Mac().data()) == 1;
      gige->SetSilent(true);
      return connected;
    };
    return {gige, connect, NextOf(gige, [gige] { return gige->FrameRequests(); }),
            [gige] { gige->SetSilent(false); }};
  }
  if (library == "Fenwold") {
    auto stream = std::make_shared<quvex::sim::SimStreamCamera>("127.0.0.1");
    stream->SetStalled(true);  // before it streams anything
    // The range command that every one-shot sends first.
    const auto ranges = [stream] {
      const auto commands = stream->Commands();
      const quvex::sim::SimStreamCamera::Command range{0, 16};
      return static_cast<uint32_t>(std::count(commands.begin(), commands.end(), range));
    };
    return {stream, ConnectLan, NextOf(stream, ranges), [stream] { stream->SetStalled(false); }};
  }
  return {};
}

// Times one close; its result must be 1.
bool TimeClose(QuvexLibrary& q, int handle, std::vector<double>& took) {
  const Clock::time_point start = Clock::now();
  const int closed = q.Quvex_Close(handle);
  took.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  return closed == 1;
}

void Report(const char* what, std::vector<double> took) {
  if (took.empty()) return;
  std::sort(took.begin(), took.end());
  std::printf("  %-26s %3zu closes: median %8.2f ms, slowest %8.2f ms\n", what, took.size(),
              took[took.size() / 2], took.back());
}

bool Measure(QuvexLibrary& q, int closes) {
  SilentCamera camera = MakeCamera(q.Name());
  if (!camera.camera) return std::printf("%s: no simulated camera\n", q.Name().c_str()), false;
  const int handle = q.Quvex_Initialize(nullptr);
  if (handle == 0 || !camera.connect(q, handle)) {
    std::printf("%s: the camera object cannot reach its camera\n", q.Name().c_str());
    return false;
  }
  std::printf("%s\n", q.Name().c_str());
  bool ok = true;
  std::vector<double> single;
  for (int i = 0; i < closes && ok; ++i) {
    std::thread shot([&] { q.Quvex_OneShot(handle); });
    ok = camera.waiting() && TimeClose(q, handle, single);
    if (!ok) camera.answer();
    shot.join();
  }
  Report("behind one one-shot", single);

  std::vector<double> looping;
  std::atomic<bool> done{false};
  const auto loop = [&] {
    while (!done.load()) q.Quvex_OneShot(handle);
  };
  std::thread first(loop), second(loop);
  for (int i = 0; i < closes && ok; ++i) ok = camera.waiting() && TimeClose(q, handle, looping);
  done.store(true);
  camera.answer();
  first.join();
  second.join();
  Report("behind looping one-shots", looping);
  q.Quvex_Release(handle);
  if (!ok) std::printf("  a one-shot never waited, or a close failed\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int closes = 50;
  std::vector<std::string> libraries;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--closes" && i + 1 < argc) {
      closes = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--help") {
      std::printf("Usage: quvex_interrupt_latency [--closes N] [LIBRARY...]\n");
      return 0;
    } else {
      libraries.push_back(arg);
    }
  }
  if (libraries.empty()) libraries = quvex::test::kLibraryNames;
  bool ok = true;
  for (const std::string& name : libraries) {
    try {
      QuvexLibrary library(name);
      ok = Measure(library, closes) && ok;
    } catch (const std::exception& failure) {
      std::printf("%s: %s\n", name.c_str(), failure.what());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
