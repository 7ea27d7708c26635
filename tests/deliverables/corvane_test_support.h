// Shared by the tests and benchmarks of Corvane's binding: loopback addresses
// of their own, the build profile of its camera object and a count of the
// retry lines of the debug channel.
#pragma once

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/profile.h"
#include "quvex_platform/debug.h"
#include "tests/support/loopback_address.h"
#include "tests/support/test_profile.h"

namespace quvex::test {

// The LAN camera's settings: 320 x 240, ring of 10, time + rand frame ids, and
// the behaviour of its binding.
inline BuildProfile LanProfile() {
  BuildProfile profile = TestProfile(InterpolationVariant::Single);
  profile.timing = {388, 320, 0, 263, 240, 5};
  profile.cameraNameStem = u"";
  profile.frameIds = FrameIdRule::TimePlusRand;
  profile.behaviour = {.enumeratesCameras = false,
                       .nucReportsWrite = true,
                       .readsThroughNucSettle = true,
                       .oneShotRenewsRing = false};
  return profile;
}

inline const BuildProfile kLanProfile = LanProfile();

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
