// Frames per second and CPU time per frame of a benchmark that takes one frame
// per iteration: the whole process's, and the SDK's own share without the
// simulated camera's (sdk_cpu_meter.h).
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "bench/sdk_cpu_meter.h"

namespace quvex::bench {

// Frames counted from where it was made to Report.
class FrameMeter {
 public:
  explicit FrameMeter(size_t frameBytes) : frameBytes_(frameBytes) {}
  void Report(benchmark::State& state) const {
    const auto frames = static_cast<int64_t>(state.iterations());
    if (frames == 0) return;
    state.SetItemsProcessed(frames);
    state.SetBytesProcessed(frames * static_cast<int64_t>(frameBytes_));
    cpu_.Report(state, frames);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }

 private:
  size_t frameBytes_;
  SdkCpuMeter cpu_;
};

}  // namespace quvex::bench
