// The recording step per frame: Galdris capturing 640 x 480 frames from the
// simulated camera as fast as it delivers them, with each record type, next
// to plain file writes of the same bytes per frame in the same run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "quvex/quvex.h"
#include "quvex/quvex_window.h"
#include "usb_camera.h"

namespace {

constexpr size_t kPixels = 640 * 480;

struct Galdris {
  void* module = dlopen(QUVEX_LIBRARY_DIR "/libGaldris.so", RTLD_NOW | RTLD_LOCAL);
  template <class Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(module, name));
  }
  ~Galdris() {
    if (module != nullptr) dlclose(module);
  }
};

std::string Scratch(const char* name) {
  return "/tmp/quvex_bench_" + std::to_string(getpid()) + "_" + name;
}

// Frames per second of the capture thread while recording recordType.
void CaptureWhileRecording(benchmark::State& state, int recordType, const char* file) {
  quvex::sim::SimCameraOptions options;
  options.framesPerSecond = 0;  // no pacing: the library sets the pace
  quvex::sim::SimUsbCamera camera(options);
  Galdris galdris;
  auto initialize = galdris.Get<decltype(&Quvex_Initialize)>("Quvex_Initialize");
  auto setParam = galdris.Get<decltype(&Quvex_SetParam)>("Quvex_SetParam");
  auto rec = galdris.Get<decltype(&Quvex_RecA)>("Quvex_RecA");
  auto preview = galdris.Get<decltype(&Quvex_Preview)>("Quvex_Preview");
  auto release = galdris.Get<decltype(&Quvex_Release)>("Quvex_Release");
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = initialize(window);
  setParam(handle, QUVEX_PARAM_LOOP_SLEEP, 0);
  const std::string path = Scratch(file);
  if (recordType != QUVEX_REC_NONE) rec(handle, path.c_str(), recordType);
  if (preview(handle) == 0) state.SkipWithError("capture did not start");
  QuvexMessage message{};
  for (auto _ : state) {
    do {
      if (QuvexWindow_GetMessage(window, &message, 20000) == 0) {
        state.SkipWithError("no frame");
        break;
      }
    } while (message.message != WM_QUVEX_FRAME);
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
  release(handle);
  QuvexWindow_Destroy(window);
  std::remove(path.c_str());
}

void BM_CaptureWithoutRecording(benchmark::State& state) {
  CaptureWhileRecording(state, QUVEX_REC_NONE, "none");
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
BENCHMARK(BM_CaptureRecordingAvi)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_CaptureRecordingRaw)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_CaptureRecordingTemperature)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->UseRealTime();
// One AVI chunk (24-bit frame), one raw frame, one temperature frame.
BENCHMARK(BM_PlainFileWrite)
    ->Arg(kPixels * 3 + 8)
    ->Arg(kPixels * 2)
    ->Arg(kPixels * 4)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
