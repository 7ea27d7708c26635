// The older libraries' one-shot on a camera that does not answer, ended by
// Close or a new address long before the device's own wait, which these
// bindings are given as minutes: the GigE single capture and the port-123
// receive.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

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

using Command = sim::SimStreamCamera::Command;

std::string Errors(CQuvex& quvex) {
  return DrainErrorCodes([&] { return quvex.GetLastError(); });
}

// Dellisk's camera: 640 x 480 in a ring of 60 that every one-shot builds anew.
BuildProfile GigEProfile() {
  BuildProfile profile = TestProfile(InterpolationVariant::Older);
  profile.ringSlots = 60;
  profile.tables = TableSet::ReloadedSingle;
  profile.behaviour = {
      .selectsCameraByNumber = false, .namesAnyIndex = true, .hasCameraTypes = true};
  return profile;
}

class DelliskOneShot : public ::testing::Test {
 protected:
  void SetUp() override {
    auto binding = std::make_unique<DelliskBinding>(std::make_unique<CGigEDevice>(kDeviceWaitMs));
    CGigEDevice& device = binding->Device();
    quvex_ = std::make_unique<CQuvex>(profile_, std::move(binding));
    ASSERT_EQ(quvex_->Initialize(nullptr), 1);
    ASSERT_EQ(device.OpenAdapter(0), 1);
    ASSERT_EQ(device.DiscoverCamera(camera_.Mac()), 1);
    camera_.SetSilent(true);
  }
  // Until a frame request after the last one seen arrives: a one-shot first
  // builds its ring of 60 frames, which takes seconds under a sanitiser.
  bool NextRequest() {
    return camera_.WaitFor([&] { return camera_.FrameRequests() > requests_; }, 120000) &&
           (requests_ = camera_.FrameRequests(), true);
  }

  sim::SimGigECamera camera_{std::make_unique<sim::InProcessGigELink>()};
  const BuildProfile profile_ = GigEProfile();
  std::unique_ptr<CQuvex> quvex_;
  uint32_t requests_ = 0;
};

TEST_F(DelliskOneShot, CloseEndsItOnASilentCameraPromptly) {
  ExpectEndedPromptly(InterruptOneShot([&] { return quvex_->OneShot(); },
                                       [&] { return NextRequest(); },
                                       [&] { return quvex_->Close(); }));
  EXPECT_EQ(Errors(*quvex_), "");  // no failure of the camera
  camera_.SetSilent(false);
  EXPECT_NE(quvex_->OneShot(), 0);
}

// Each one-shot builds the ring of 60 frames anew: a close must not wait for that either.
TEST_F(DelliskOneShot, ClosesPassOneShotsThatTwoThreadsTakeBackToBack) {
  ExpectClosesPassLoopingOneShots({
      .oneShot = [&] { return quvex_->OneShot(); },
      .waiting = [&] { return NextRequest(); },
      .close = [&] { return quvex_->Close(); },
      .answer = [&] { camera_.SetSilent(false); },
  }, 6);
  EXPECT_EQ(Errors(*quvex_), "");
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
    camera->SetStalled(true);  // before it streams anything
    ASSERT_EQ(connect(), 1);
    // The one-shot's range command, not a late one of the connect's status query.
    const auto ranges = [&] { return std::ranges::count(camera->Commands(), Command{0, 16}); };
    const auto before = ranges();
    ExpectEndedPromptly(InterruptOneShot(
        [&] { return quvex.OneShot(); },
        [&] { return camera->WaitFor([&] { return ranges() > before; }); },
        [&] { return reconnect ? connect() : quvex.Close(); }));
    camera->SetStalled(false);
    EXPECT_EQ(Errors(quvex), "");
  }
}

}  // namespace
}  // namespace quvex::test
