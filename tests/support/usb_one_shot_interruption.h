// Both USB libraries: what a Close on another thread does while a call waits
// on the stalled simulated camera. It ends a one-shot at once, and nothing
// else: any other call's commands still reach the camera.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "sim/usb_camera.h"
#include "tests/support/interrupted_one_shot.h"
#include "tests/support/quvex_library.h"

namespace quvex::test {

// Runs call until it waits on the camera, stalled as what says, then a Close
// on another thread; the stall ends once the Close has had ample time to
// begin waiting for the call. The call's result and the Close's.
inline std::pair<int, int> CloseWhileStalled(QuvexLibrary& q, int handle, sim::SimUsbCamera& camera,
                                             const std::function<int()>& call,
                                             sim::SimUsbCamera::Stall what) {
  camera.SetLeastTimeOut(kDeviceWaitMs);  // no transfer ends but by a cancel or the test
  camera.SetStalled(true, what);
  std::future<int> called = std::async(std::launch::async, call);
  EXPECT_TRUE(camera.WaitForStalledTransfer(20000));
  std::future<int> closed = std::async(std::launch::async, [&] { return q.Quvex_Close(handle); });
  // Only how likely a fault shows depends on this pause, never the outcome.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  camera.SetStalled(false);
  const int result = called.get();
  return {result, closed.get()};
}

// A camera selection racing a Close opens the camera whole: its reset
// reaches the camera, and it reports 1.
inline void ExpectASelectionRacingACloseReachesTheCamera(QuvexLibrary& q, int handle,
                                                         sim::SimUsbCamera& camera) {
  const int resets = camera.Resets(0);
  const auto [selected, closed] =
      CloseWhileStalled(q, handle, camera, [&] { return q.Quvex_SetCameraNumber(handle, 0); },
                        sim::SimUsbCamera::Stall::Transfers);
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(camera.Resets(0), resets + 1);
  EXPECT_EQ(q.DrainErrors(handle), "");
  ASSERT_EQ(q.Quvex_Preview(handle), 1);
  EXPECT_TRUE(camera.WaitForFrames(0, 1, 20000));
  EXPECT_EQ(q.Quvex_Close(handle), 1);
}

// A Close, then a Release, while a one-shot waits on the stalled camera. Each
// returns at once, the one-shot with 0; after the Close the flowing camera
// takes a one-shot again. handle is 0 at the end.
inline void ExpectCloseAndReleaseEndAStalledOneShot(QuvexLibrary& q, int& handle,
                                                    sim::SimUsbCamera& camera) {
  for (const bool release : {false, true}) {
    SCOPED_TRACE(release ? "release" : "close");
    camera.SetLeastTimeOut(kDeviceWaitMs);  // no transfer ends but by a cancel
    camera.SetStalled(true);
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
