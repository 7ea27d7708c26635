// The older libraries' one-shot on a camera that does not answer, ended by
// Close or a new address long before the device's own wait, which these
// bindings are given as minutes: the GigE single capture and the port-123
// receive.
#include <gtest/gtest.h>

#include <memory>

#include "core/camera_object.h"
#include "deliverables/dellisk/binding.h"
#include "deliverables/fenwold/binding.h"
#include "sim/gige_camera.h"
#include "sim/gige_link.h"
#include "sim/stream_camera.h"
#include "tests/support/drain_errors.h"
#include "tests/support/interrupted_one_shot.h"
#include "tests/support/loopback_address.h"
#include "tests/support/test_profile.h"

namespace quvex::test {
namespace {

std::string Errors(CQuvex& quvex) {
  return DrainErrorCodes([&] { return quvex.GetLastError(); });
}

// Dellisk's camera: 640 x 480 in a ring of 60 that every one-shot builds anew.
BuildProfile GigEProfile() {
  BuildProfile profile = TestProfile(InterpolationVariant::Older);
  profile.ringSlots = 60;
  profile.tables = TableSet::ReloadedSingle;
  profile.behaviour = {.selectsCameraByNumber = false, .namesAnyIndex = true, .hasCameraTypes = true};
  return profile;
}

TEST(DelliskOneShot, CloseEndsItOnASilentCameraPromptly) {
  sim::SimGigECamera camera(std::make_unique<sim::InProcessGigELink>());
  auto binding = std::make_unique<DelliskBinding>(std::make_unique<CGigEDevice>(kDeviceWaitMs));
  CGigEDevice& device = binding->Device();
  const BuildProfile profile = GigEProfile();
  CQuvex quvex(profile, std::move(binding));
  ASSERT_EQ(quvex.Initialize(nullptr), 1);
  ASSERT_EQ(device.OpenAdapter(0), 1);
  ASSERT_EQ(device.DiscoverCamera(camera.Mac()), 1);
  camera.SetSilent(true);
  const uint32_t requests = camera.FrameRequests();
  ExpectEndedPromptly(InterruptOneShot(
      [&] { return quvex.OneShot(); },
      [&] { return camera.WaitFor([&] { return camera.FrameRequests() > requests; }); },
      [&] { return quvex.Close(); }));
  EXPECT_EQ(Errors(quvex), "");  // no failure of the camera
  camera.SetSilent(false);
  EXPECT_NE(quvex.OneShot(), 0);
}

TEST(FenwoldOneShot, CloseOrANewAddressEndsItOnASilentCameraPromptly) {
  const auto camera = CameraOnNextAddress<sim::SimStreamCamera>();
  const BuildProfile profile = [] {
    BuildProfile p = TestProfile(InterpolationVariant::Older);
    p.timing = {388, 320, 0, 263, 240, 5};
    p.tables = TableSet::ReloadedSingle;
    p.behaviour = {.enumeratesCameras = false};
    return p;
  }();
  auto binding = std::make_unique<FenwoldBinding>(QUVEX_LAN_STREAM_PORT, kDeviceWaitMs);
  FenwoldBinding& stream = *binding;
  CQuvex quvex(profile, std::move(binding));
  ASSERT_EQ(quvex.Initialize(nullptr), 1);
  const auto b = AddressBytes(camera->Address());
  const auto connect = [&] {
    return quvex.WithCaptureStopped([&] { return stream.SetIpAddress(b[0], b[1], b[2], b[3]); });
  };
  for (const bool reconnect : {false, true}) {
    SCOPED_TRACE(reconnect ? "new address" : "close");
    ASSERT_EQ(connect(), 1);
    camera->SetStalled(true);
    const size_t commands = camera->Commands().size();
    ExpectEndedPromptly(InterruptOneShot(
        [&] { return quvex.OneShot(); },
        [&] { return camera->WaitFor([&] { return camera->Commands().size() > commands; }); },
        [&] { return reconnect ? connect() : quvex.Close(); }));
    camera->SetStalled(false);
    EXPECT_EQ(Errors(quvex), "");
  }
}

}  // namespace
}  // namespace quvex::test
