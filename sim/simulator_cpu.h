// The CPU time the simulated cameras spend, so that a benchmark can tell the
// SDK's share of the process's CPU time from theirs.
#pragma once

#include <time.h>

#include <cstdint>

namespace quvex::sim {

// Nanoseconds spent so far by the simulators' threads and by simulator work
// done on other threads.
uint64_t SimulatorCpuNanoseconds();

// Counts the calling thread's CPU time from construction to destruction:
// simulator work on a thread of the SDK's (a driver callback).
class SimulatorWork {
 public:
  SimulatorWork();
  ~SimulatorWork();
  SimulatorWork(const SimulatorWork&) = delete;
  SimulatorWork& operator=(const SimulatorWork&) = delete;

 private:
  uint64_t start_;
};

// Counts all of the calling thread's CPU time while it lives, readable at any
// moment: made first thing on a simulator's own thread.
class SimulatorThread {
 public:
  SimulatorThread();
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

 private:
  clockid_t clock_{};
  bool counted_ = false;
};

}  // namespace quvex::sim
