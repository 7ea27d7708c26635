// A build profile for tests and benchmarks that construct camera objects
// directly: the reference library's settings unless a test changes them.
#pragma once

#include "core/profile.h"

namespace quvex::test {

inline BuildProfile TestProfile(InterpolationVariant variant = InterpolationVariant::Double,
                                const platform::Module* module = nullptr) {
  BuildProfile profile{};
  profile.name = "Test";
  profile.versionValue = 1;
  profile.timing = {780, 640, 12, 525, 480, 5};
  profile.ringSlots = 10;
  profile.cameraNameStem = u"Quvex640";
  profile.interpolation = variant;
  profile.module = module;
  return profile;
}

}  // namespace quvex::test
