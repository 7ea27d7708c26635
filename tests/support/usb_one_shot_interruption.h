// Both USB libraries: a Close, then a Release, while a one-shot waits on the
// stalled simulated camera. Each returns at once, the one-shot with 0; after
// the Close the flowing camera takes a one-shot again. handle is 0 at the end.
#pragma once

#include <gtest/gtest.h>

#include "sim/usb_camera.h"
#include "tests/support/interrupted_one_shot.h"
#include "tests/support/quvex_library.h"

namespace quvex::test {

inline void ExpectCloseAndReleaseEndAStalledOneShot(QuvexLibrary& q, int& handle,
                                                    sim::SimUsbCamera& camera) {
  for (const bool release : {false, true}) {
    SCOPED_TRACE(release ? "release" : "close");
    camera.SetStalled(true, kDeviceWaitMs);  // no transfer ends but by a cancel
    const OneShotInterruption ended = InterruptOneShot(
        [&] { return q.Quvex_OneShot(handle); },
        [&] { return camera.WaitForStalledTransfer(20000); },
        [&] { return release ? q.Quvex_Release(handle) : q.Quvex_Close(handle); });
    ExpectEndedPromptly(ended);
    EXPECT_EQ(camera.OpenDevices(), 0);  // nothing waits on the camera any more
    camera.SetStalled(false);
    if (release) {
      handle = 0;
    } else {
      // Neither the one-shot nor the set-up commands it lost report an error.
      EXPECT_EQ(q.DrainErrors(handle), "");
      EXPECT_NE(q.Quvex_OneShot(handle), 0);
    }
  }
}

}  // namespace quvex::test
