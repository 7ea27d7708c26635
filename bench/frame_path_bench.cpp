// The whole frame path of Galdris at 640 x 480 against the simulated camera
// without its pacing: frames per second and CPU time per frame (the
// process's, and the SDK's own without the simulated camera's, to hold next
// to BM_CopyRawAndMap/640/480) through the ring-fill thread, the capture
// thread and the frame message, without and
// with each record type (next to plain file writes of the same bytes), and
// the frame-access calls next to a memcpy of the same bytes. Hesperon's
// variant camera runs the same path without recording, next to Galdris.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/sdk_cpu_meter.h"
#include "quvex/quvex.h"
#include "quvex/quvex_window.h"
#include "sim/usb_camera.h"
#include "tests/support/message_reader.h"

namespace {

constexpr size_t kPixels = 640 * 480;

// One of the libraries, loaded.
struct Library {
  explicit Library(const std::string& name = "Galdris")
      : module(dlopen((QUVEX_LIBRARY_DIR "/lib" + name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  void* module;
  template <class Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(module, name));
  }
  ~Library() {
    if (module != nullptr) dlclose(module);
  }
};

std::string Scratch(const char* name) {
  return "/tmp/quvex_bench_" + std::to_string(getpid()) + "_" + name;
}

// Frames per second of the capture thread of library while recording recordType.
void CaptureWhileRecording(benchmark::State& state, int recordType, const char* file,
                           const std::string& library = "Galdris") {
  quvex::sim::SimCameraOptions options =
      library == "Hesperon" ? quvex::sim::VariantCameraOptions() : quvex::sim::SimCameraOptions{};
  options.framesPerSecond = 0;  // no pacing: the library sets the pace
  quvex::sim::SimUsbCamera camera(options);
  Library loaded(library);
  auto initialize = loaded.Get<decltype(&Quvex_Initialize)>("Quvex_Initialize");
  auto setParam = loaded.Get<decltype(&Quvex_SetParam)>("Quvex_SetParam");
  auto rec = loaded.Get<decltype(&Quvex_RecA)>("Quvex_RecA");
  auto preview = loaded.Get<decltype(&Quvex_Preview)>("Quvex_Preview");
  auto release = loaded.Get<decltype(&Quvex_Release)>("Quvex_Release");
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = initialize(window);
  setParam(handle, QUVEX_PARAM_LOOP_SLEEP, 0);
  const std::string path = Scratch(file);
  if (recordType != QUVEX_REC_NONE) rec(handle, path.c_str(), recordType);
  if (preview(handle) == 0) state.SkipWithError("capture did not start");
  const quvex::test::MessageReader messages(window);
  const quvex::bench::SdkCpuMeter meter;
  for (auto _ : state) {
    if (messages.NextFrame(20000) == 0) {
      state.SkipWithError("no frame");
      break;
    }
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
  // Ring fill, capture and this thread, with and without the simulator.
  meter.Report(state, static_cast<int64_t>(state.iterations()));
  // The unpaced ring fill reads frames the capture thread never takes; each
  // costs the SDK a transfer.
  state.counters["camera_frames/frame"] = static_cast<double>(camera.FramesDelivered(0)) /
                                          static_cast<double>(state.iterations());
  release(handle);
  QuvexWindow_Destroy(window);
  std::remove(path.c_str());
}

void BM_CaptureWithoutRecording(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_NONE, "none");
}
void BM_HesperonCaptureWithoutRecording(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_NONE, "hesperon", "Hesperon");
}
void BM_CaptureRecordingAvi(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_AVI, "movie.avi");
}
void BM_CaptureRecordingRaw(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_RAW, "stream.raw");
}
void BM_CaptureRecordingTemperature(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_TEMPERATURE, "stream.f32");
}

// One frame taken with a one-shot, then fetched again and again.
class FetchedFrame {
 public:
  FetchedFrame() {
    initialize_ = galdris_.Get<decltype(&Quvex_Initialize)>("Quvex_Initialize");
    release_ = galdris_.Get<decltype(&Quvex_Release)>("Quvex_Release");
    handle_ = initialize_(nullptr);
    id_ = galdris_.Get<decltype(&Quvex_OneShot)>("Quvex_OneShot")(handle_);
  }
  ~FetchedFrame() { release_(handle_); }
  template <class Fn>
  Fn Get(const char* name) const {
    return galdris_.Get<Fn>(name);
  }
  int Handle() const { return handle_; }
  int Id() const { return id_; }

 private:
  quvex::sim::SimUsbCamera camera_;
  Library galdris_;
  decltype(&Quvex_Initialize) initialize_;
  decltype(&Quvex_Release) release_;
  int handle_ = 0;
  int id_ = 0;
};

// One access call fetching the frame into a buffer of Element, again and again.
template <class Element, class Fetch>
void FetchRepeatedly(benchmark::State& state, const char* name, size_t elementsPerPixel) {
  FetchedFrame frame;
  const auto fetch = frame.Get<Fetch>(name);
  std::vector<Element> out(kPixels * elementsPerPixel);
  const auto bytes = static_cast<int>(out.size() * sizeof(Element));
  for (auto _ : state) {
    if (fetch(frame.Handle(), frame.Id(), out.data(), bytes) == 0) {
      state.SkipWithError("frame not found");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void BM_GetRaw(benchmark::State& state) {
  FetchRepeatedly<uint8_t, decltype(&Quvex_GetRaw)>(state, "Quvex_GetRaw", 2);
}
void BM_GetColor(benchmark::State& state) {
  FetchRepeatedly<uint8_t, decltype(&Quvex_GetColor)>(state, "Quvex_GetColor", 3);
}
void BM_GetTemperature(benchmark::State& state) {
  FetchRepeatedly<float, decltype(&Quvex_GetTemperature)>(state, "Quvex_GetTemperature", 1);
}

// A plain copy of the bytes each access call hands out.
void BM_MemcpyOfAFrame(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Plain writes of one frame's bytes per iteration: the rate a file takes.
void BM_PlainFileWrite(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0));
  std::vector<char> frame(bytes, 7);
  const std::string path = Scratch("plain");
  FILE* file = std::fopen(path.c_str(), "wb");
  for (auto _ : state) {
    if (std::fwrite(frame.data(), 1, bytes, file) != bytes) state.SkipWithError("write failed");
    if (std::ftell(file) > (1L << 30)) std::rewind(file);
  }
  std::fclose(file);
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_CaptureWithoutRecording)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_HesperonCaptureWithoutRecording)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->UseRealTime();
BENCHMARK(BM_CaptureRecordingAvi)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_CaptureRecordingRaw)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_CaptureRecordingTemperature)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->UseRealTime();
BENCHMARK(BM_GetRaw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetColor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetTemperature)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyOfAFrame)->Arg(kPixels * 2)->Arg(kPixels * 3)->Arg(kPixels * 4)->Unit(benchmark::kMicrosecond);
// One AVI chunk (24-bit frame), one raw frame, one temperature frame.
BENCHMARK(BM_PlainFileWrite)
    ->Arg(kPixels * 3 + 8)
    ->Arg(kPixels * 2)
    ->Arg(kPixels * 4)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
