// CPU time per frame of a capture benchmark: the whole process's, and the
// SDK's own share, which leaves out what the simulated cameras spent making
// and sending frames. The SDK's share is the figure to hold next to a memcpy
// of the frame's bytes plus its colour mapping (BM_CopyRawAndMap).
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>

#include "sim/simulator_cpu.h"

namespace quvex::bench {

class SdkCpuMeter {
 public:
  SdkCpuMeter() : processStart_(ProcessNs()), simulatorStart_(sim::SimulatorCpuNanoseconds()) {}

  // Sets cpu_us/frame and sdk_cpu_us/frame for frames since construction.
  void Report(benchmark::State& state, int64_t frames) const {
    if (frames <= 0) return;
    const double process = static_cast<double>(ProcessNs() - processStart_);
    const double simulator =
        static_cast<double>(sim::SimulatorCpuNanoseconds() - simulatorStart_);
    state.counters["cpu_us/frame"] = process / 1e3 / static_cast<double>(frames);
    state.counters["sdk_cpu_us/frame"] = (process - simulator) / 1e3 / static_cast<double>(frames);
  }

 private:
  static uint64_t ProcessNs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
  }

  uint64_t processStart_;
  uint64_t simulatorStart_;
};

}  // namespace quvex::bench
