// Frames per second and the process's CPU time per frame of a benchmark that
// takes one frame per iteration.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstddef>
#include <cstdint>

namespace quvex::bench {

inline double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Frames counted from where it was made to Report.
class FrameMeter {
 public:
  explicit FrameMeter(size_t frameBytes) : frameBytes_(frameBytes), cpuStart_(ProcessCpuMs()) {}
  void Report(benchmark::State& state) const {
    const auto frames = static_cast<int64_t>(state.iterations());
    if (frames == 0) return;
    state.SetItemsProcessed(frames);
    state.SetBytesProcessed(frames * static_cast<int64_t>(frameBytes_));
    state.counters["cpu_ms_per_frame"] = (ProcessCpuMs() - cpuStart_) / static_cast<double>(frames);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }

 private:
  size_t frameBytes_;
  double cpuStart_;
};

}  // namespace quvex::bench
