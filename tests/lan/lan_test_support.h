// Shared by the LAN tests: loopback addresses of their own, the build profile
// of the LAN camera and a count of the retry lines of the debug channel.
#pragma once

#include <atomic>
#include <cstring>
#include <string>

#include "profile.h"
#include "quvex_platform/debug.h"

namespace quvex::test {

// 127.0.1.index: every test starts its simulated camera on an address of its
// own, so that tests running in parallel never meet.
inline std::string LoopbackAddress(int index) { return "127.0.1." + std::to_string(index); }

inline const BuildProfile kLanProfile{.name = "LanTest",
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

inline std::atomic<int> retryLines{0};
inline std::atomic<int> otherDebugLines{0};

inline void CountDebugLine(const char* text) {
  if (std::strcmp(text, "retry --------\r\n") == 0) {
    ++retryLines;
  } else {
    ++otherDebugLines;
  }
}

// Counts the debug channel's lines while it lives.
class DebugLineCounter {
 public:
  DebugLineCounter() {
    retryLines = 0;
    otherDebugLines = 0;
    platform::SetDebugSink(CountDebugLine);
  }
  ~DebugLineCounter() { platform::SetDebugSink(nullptr); }
  DebugLineCounter(const DebugLineCounter&) = delete;
  DebugLineCounter& operator=(const DebugLineCounter&) = delete;
};

}  // namespace quvex::test
