// quvex_interrupt_latency: how long Quvex_Close takes when one-shots wait on
// a camera that does not answer, for each library against its simulated
// camera: behind a single one-shot, and behind two host threads that take
// one-shots back to back. Prints the median and the slowest close.
//
//   quvex_interrupt_latency [--closes N] [--library-dir DIR] [LIBRARY...]
//
// Fenwold's camera listens on port 123, which needs root.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "quvex/quvex.h"
#include "sim/gige_camera.h"
#include "sim/lan_camera.h"
#include "sim/stream_camera.h"
#include "sim/usb_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSilentMs = 600000;  // a stalled USB transfer ends only by a cancel
constexpr uint32_t kWaitMs = 20000;

// The exports this program calls, from the library loaded with dlopen.
struct Library {
  void* module = nullptr;
  decltype(&Quvex_Initialize) initialize = nullptr;
  decltype(&Quvex_Release) release = nullptr;
  decltype(&Quvex_OneShot) oneShot = nullptr;
  decltype(&Quvex_Close) close = nullptr;
  decltype(&Quvex_SetIpAddress) setIpAddress = nullptr;
  decltype(&Quvex_SetDeviceNumber) setDeviceNumber = nullptr;
  decltype(&Quvex_ConnectToCamera) connectToCamera = nullptr;

  bool Load(const std::string& path) {
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return false;
    const auto find = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(module, name));
    };
    find(initialize, "Quvex_Initialize");
    find(release, "Quvex_Release");
    find(oneShot, "Quvex_OneShot");
    find(close, "Quvex_Close");
    find(setIpAddress, "Quvex_SetIpAddress");  // the LAN libraries only
    find(setDeviceNumber, "Quvex_SetDeviceNumber");  // Dellisk only
    find(connectToCamera, "Quvex_ConnectToCamera");
    return initialize && release && oneShot && close;
  }
  ~Library() {
    if (module != nullptr) dlclose(module);
  }
};

// A library's simulated camera, made silent: connect() binds the camera
// object to it, waiting() tells that a one-shot waits on it, answer() lets
// the one-shots complete again.
struct SilentCamera {
  std::shared_ptr<void> camera;
  std::function<bool(Library&, int)> connect;
  std::function<bool()> waiting;
  std::function<void()> answer;
};

// Waits until count() grows past the value it had last time.
std::function<bool()> Grows(std::function<uint32_t()> count) {
  auto seen = std::make_shared<uint32_t>(count());
  return [count, seen] {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (count() <= *seen) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    *seen = count();
    return true;
  };
}

SilentCamera MakeCamera(const std::string& library) {
  SilentCamera silent;
  if (library == "Galdris" || library == "Hesperon") {
    auto usb = std::make_shared<quvex::sim::SimUsbCamera>(
        library == "Galdris" ? quvex::sim::SimCameraOptions{} : quvex::sim::VariantCameraOptions());
    // Stalled once the library has opened and reset it at Quvex_Initialize.
    silent = {usb,
              [usb](Library&, int) {
                usb->SetLeastTimeOut(kSilentMs);
                usb->SetStalled(true);
                return true;
              },
              [usb] { return usb->WaitForStalledTransfer(kWaitMs); },
              [usb] { usb->SetStalled(false); }};
  } else if (library == "Corvane") {
    auto lan = std::make_shared<quvex::sim::SimLanCamera>("127.0.0.1");
    silent = {lan,
              [lan](Library& q, int h) {
                const bool connected = q.setIpAddress && q.setIpAddress(h, 127, 0, 0, 1) == 1;
                lan->SetStalled(true);
                return connected;
              },
              Grows([lan] { return lan->FrameRequests(); }), [lan] { lan->SetStalled(false); }};
  } else if (library == "Dellisk") {
    auto gige = std::make_shared<quvex::sim::SimGigECamera>(
        std::make_unique<quvex::sim::InProcessGigELink>());
    silent = {gige,
              [gige](Library& q, int h) {
                const bool connected = q.setDeviceNumber && q.setDeviceNumber(h, 0) == 1 &&
                                       q.connectToCamera(h, gige->Mac().data()) == 1;
                gige->SetSilent(true);
                return connected;
              },
              Grows([gige] { return gige->FrameRequests(); }), [gige] { gige->SetSilent(false); }};
  } else if (library == "Fenwold") {
    auto stream = std::make_shared<quvex::sim::SimStreamCamera>("127.0.0.1");
    stream->SetStalled(true);
    // The range command that every one-shot sends first.
    const auto ranges = [stream] {
      const auto commands = stream->Commands();
      const quvex::sim::SimStreamCamera::Command range{0, 16};
      return static_cast<uint32_t>(std::count(commands.begin(), commands.end(), range));
    };
    silent = {stream,
              [](Library& q, int h) {
                return q.setIpAddress && q.setIpAddress(h, 127, 0, 0, 1) == 1;
              },
              Grows(ranges), [stream] { stream->SetStalled(false); }};
  }
  return silent;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Times one close; its result must be 1.
bool TimeClose(Library& q, int handle, std::vector<double>& took) {
  const Clock::time_point start = Clock::now();
  const int closed = q.close(handle);
  took.push_back(Ms(Clock::now() - start));
  return closed == 1;
}

void Report(const char* what, std::vector<double> took) {
  if (took.empty()) return;
  std::sort(took.begin(), took.end());
  std::printf("  %-26s %3zu closes: median %8.2f ms, slowest %8.2f ms\n", what, took.size(),
              took[took.size() / 2], took.back());
}

bool Measure(const std::string& dir, const std::string& name, int closes) {
  Library q;
  if (!q.Load(dir + "/lib" + name + ".so")) {
    const char* why = dlerror();
    std::printf("%s: cannot load (%s)\n", name.c_str(), why != nullptr ? why : "exports missing");
    return false;
  }
  SilentCamera camera = MakeCamera(name);
  if (!camera.camera) return std::printf("%s: no simulated camera\n", name.c_str()), false;
  const int handle = q.initialize(nullptr);
  if (handle == 0 || !camera.connect(q, handle)) {
    std::printf("%s: the camera object cannot reach its camera\n", name.c_str());
    return false;
  }
  std::printf("%s\n", name.c_str());
  bool ok = true;
  std::vector<double> single;
  for (int i = 0; i < closes && ok; ++i) {
    std::thread shot([&] { q.oneShot(handle); });
    ok = camera.waiting() && TimeClose(q, handle, single);
    if (!ok) camera.answer();
    shot.join();
  }
  Report("behind one one-shot", single);

  std::vector<double> looping;
  std::atomic<bool> done{false};
  const auto loop = [&] {
    while (!done.load()) q.oneShot(handle);
  };
  std::thread first(loop), second(loop);
  for (int i = 0; i < closes && ok; ++i) ok = camera.waiting() && TimeClose(q, handle, looping);
  done.store(true);
  camera.answer();
  first.join();
  second.join();
  Report("behind looping one-shots", looping);
  q.release(handle);
  if (!ok) std::printf("  a one-shot never waited, or a close failed\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int closes = 50;
  std::string dir = QUVEX_LIBRARY_DIR;
  std::vector<std::string> libraries;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--closes" && i + 1 < argc) {
      closes = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--library-dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--help") {
      std::printf("Usage: quvex_interrupt_latency [--closes N] [--library-dir DIR] [LIBRARY...]\n");
      return 0;
    } else {
      libraries.push_back(arg);
    }
  }
  if (libraries.empty()) libraries = {"Galdris", "Hesperon", "Corvane", "Dellisk", "Fenwold"};
  bool ok = true;
  for (const std::string& name : libraries) ok = Measure(dir, name, closes) && ok;
  return ok ? 0 : 1;
}
