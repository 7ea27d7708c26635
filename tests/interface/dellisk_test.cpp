// Dellisk end to end through its exported interface, against the simulated
// GigE camera behind an in-process packet port (listed as the first adapter).
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "sim/frame_pattern.h"
#include "sim/gige_camera.h"
#include "tests/support/interrupted_one_shot.h"
#include "tests/support/library_session.h"

namespace quvex::test {
namespace {

constexpr int kWidth = 640, kHeight = 480;

class Dellisk : public LibrarySession {
 protected:
  Dellisk() : LibrarySession("Dellisk") {}
  void SetUp() override {
    // The camera is there before the library lists the adapters.
    auto link = std::make_unique<sim::InProcessGigELink>();
    ASSERT_TRUE(link->Installed());
    camera_ = std::make_unique<sim::SimGigECamera>(std::move(link));
    LibrarySession::SetUp();
#define QUVEX_OPTIONAL(fn) fn = reinterpret_cast<decltype(&::fn)>(library_->Optional(#fn))
    QUVEX_OPTIONAL(Quvex_SetDeviceNumber);
    QUVEX_OPTIONAL(Quvex_EnumDeviceA);
    QUVEX_OPTIONAL(Quvex_EnumDeviceW);
    QUVEX_OPTIONAL(Quvex_GetDeviceNameA);
    QUVEX_OPTIONAL(Quvex_GetDeviceNameW);
    QUVEX_OPTIONAL(Quvex_ConnectToCamera);
#undef QUVEX_OPTIONAL
    ASSERT_TRUE(Quvex_SetDeviceNumber && Quvex_EnumDeviceA && Quvex_EnumDeviceW &&
                Quvex_GetDeviceNameA && Quvex_GetDeviceNameW && Quvex_ConnectToCamera);
  }
  void TearDown() override {
    LibrarySession::TearDown();
    camera_.reset();
  }
  void Connect() {
    ASSERT_EQ(Quvex_SetDeviceNumber(handle_, 0), 1);
    ASSERT_EQ(Quvex_ConnectToCamera(handle_, camera_->Mac().data()), 1);
  }
  int NextFrame() { return NextFramePastErrors(); }
  bool IsWholeFrame(int frameId) {
    std::vector<uint16_t> raw(size_t{kWidth} * kHeight);
    if (library_->Quvex_GetRaw(handle_, frameId, raw.data(), static_cast<int>(raw.size() * 2)) != 1) {
      return false;
    }
    return sim::IsWholeFrame(raw.data(), kWidth, kHeight);
  }

  std::unique_ptr<sim::SimGigECamera> camera_;
  decltype(&::Quvex_SetDeviceNumber) Quvex_SetDeviceNumber = nullptr;
  decltype(&::Quvex_EnumDeviceA) Quvex_EnumDeviceA = nullptr;
  decltype(&::Quvex_EnumDeviceW) Quvex_EnumDeviceW = nullptr;
  decltype(&::Quvex_GetDeviceNameA) Quvex_GetDeviceNameA = nullptr;
  decltype(&::Quvex_GetDeviceNameW) Quvex_GetDeviceNameW = nullptr;
  decltype(&::Quvex_ConnectToCamera) Quvex_ConnectToCamera = nullptr;
};

TEST_F(Dellisk, NamesAdaptersAndRefusesCameraCallsBeforeTheCameraIsFound) {
  auto& q = *library_;
  char narrow[256] = {};
  char16_t wide[256] = {};
  EXPECT_EQ(Quvex_GetDeviceNameA(handle_, 0, narrow, 255), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "5");
  EXPECT_EQ(Quvex_GetDeviceNameA(handle_, 8, narrow, 256), 0);
  EXPECT_EQ(Quvex_GetDeviceNameA(handle_, 0, narrow, 256), 1);
  EXPECT_EQ(std::string(narrow), sim::InProcessGigELink::kDescription);
  EXPECT_EQ(Quvex_GetDeviceNameW(handle_, 0, wide, 256), 1);
  EXPECT_EQ(wide[0], u'Q');
  // A row past the adapters: no name in the ANSI form, an empty one in the wide form.
  EXPECT_EQ(Quvex_GetDeviceNameA(handle_, 7, narrow, 256), 0);
  EXPECT_EQ(Quvex_GetDeviceNameW(handle_, 7, wide, 256), 1);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(Quvex_EnumDeviceA(handle_, nullptr), 0);
  EXPECT_EQ(Quvex_EnumDeviceW(handle_, nullptr), 0);
  EXPECT_EQ(Quvex_ConnectToCamera(handle_, camera_->Mac().data()), 0);  // no adapter open
  EXPECT_EQ(q.DrainErrors(handle_), "");

  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 3), 1);
  for (int type = 0; type <= 6; ++type) EXPECT_EQ(q.Quvex_SetCameraType(handle_, type), 1);
  EXPECT_EQ(q.Quvex_SetCameraType(handle_, 7), 0);
  EXPECT_EQ(q.Quvex_SetCameraType(handle_, -1), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "");
  EXPECT_EQ(q.Quvex_Preview(handle_), 0);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, 2), 1);  // the write cannot go
  EXPECT_EQ(q.DrainErrors(handle_), "1,1");
}

TEST_F(Dellisk, CapturesFramesFromTheCameraAndWritesItsRegisters) {
  auto& q = *library_;
  Connect();
  char16_t name[16] = {};
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 0, name, 15), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 0, name, 16), 1);
  EXPECT_EQ(std::u16string(name), u"Quvex640GigE_01");
  EXPECT_EQ(q.DrainErrors(handle_), "5");
  DrainMessages();

  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);  // rows in the order the camera sent them
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  int frameId = 0;
  for (int i = 0; i < 5; ++i) frameId = NextFrame();
  ASSERT_NE(frameId, 0);
  q.Quvex_Pause(handle_);  // the newest frame stays in the ring while it is read
  EXPECT_TRUE(IsWholeFrame(q.Quvex_GetNewID(handle_)));
  EXPECT_EQ(q.Quvex_Nuc(handle_), 1);
  using Write = sim::SimGigECamera::RegisterWrite;
  const std::vector<Write> expected = {{7, 0}, {0, 16}, {6, 1}};
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->RegisterWrites() == expected; }));
  // The start's request, 29 then 26, goes out before the start's writes.
  const auto sent = camera_->Received();
  const auto request = std::find_if(sent.begin() + 1, sent.end(), [](auto& f) { return f[22] == 26; });
  EXPECT_EQ((*(request - 1))[22], 29);
  EXPECT_LT(request, std::find_if(sent.begin(), sent.end(), [](auto& f) { return f[26] == 1; }));
  EXPECT_EQ(q.Quvex_Close(handle_), 1);

  const int shot = q.Quvex_OneShot(handle_);
  ASSERT_NE(shot, 0);
  EXPECT_TRUE(IsWholeFrame(shot));
  EXPECT_EQ(q.DrainErrors(handle_), "");
}

TEST_F(Dellisk, ClosesAndReleasesPromptlyWhenTheCameraFallsSilentOrGoes) {
  auto& q = *library_;
  Connect();
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_->SetSilent(true);
  EXPECT_TRUE(camera_->WaitFor([&] { return camera_->FrameRequests() >= 4; }));
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  camera_->SetSilent(false);
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  camera_.reset();  // the adapter disappears
  EXPECT_EQ(q.Quvex_Release(handle_), 1);
  handle_ = 0;
}

TEST_F(Dellisk, NoFrameIsRequestedOnceACloseThatRacedAStartReturned) {
  auto& q = *library_;
  Connect();
  for (int round = 1; round <= 10; ++round) {
    ASSERT_EQ(q.Quvex_Preview(handle_), 1);
    auto start = std::async(std::launch::async, [&] { return q.Quvex_Start(handle_); });
    EXPECT_EQ(q.Quvex_Close(handle_), 1);
    EXPECT_EQ(start.get(), 1);
    // A write goes out in a later quiet turn, on the frame of the last
    // command: the stop's 29, unless a request (26) followed it.
    const auto before = static_cast<ptrdiff_t>(camera_->Received().size());
    q.Quvex_Nuc(handle_);
    ASSERT_TRUE(camera_->WaitFor([&] {
      const auto w = camera_->RegisterWrites();
      return std::count(w.begin(), w.end(), sim::SimGigECamera::RegisterWrite{6, 1}) == round;
    }));
    const auto sent = camera_->Received();
    const auto nuc = std::find_if(sent.begin() + before, sent.end(), [](auto& f) { return f[28] == 6; });
    EXPECT_TRUE(nuc != sent.end() && (*nuc)[22] == 29) << "round " << round;
  }
}

TEST_F(Dellisk, CloseOrReleaseEndsAOneShotThatWaitsOnASilentCamera) {
  auto& q = *library_;
  Connect();
  camera_->SetSilent(true);
  for (const bool release : {false, true}) {
    SCOPED_TRACE(release ? "release" : "close");
    const uint32_t requests = camera_->FrameRequests();
    const OneShotInterruption round = InterruptOneShot(
        [&] { return q.Quvex_OneShot(handle_); },
        [&] {
          // After the ring of 60 frames is built anew: seconds under a sanitiser.
          return camera_->WaitFor([&] { return camera_->FrameRequests() > requests; }, 120000);
        },
        [&] { return release ? q.Quvex_Release(handle_) : q.Quvex_Close(handle_); });
    ExpectEnded(round);  // promptly: tests/deliverables, where the wait is long
    if (!release) {
      EXPECT_EQ(q.DrainErrors(handle_), "");  // no failure of the camera
    }
  }
  handle_ = 0;
}

}  // namespace
}  // namespace quvex::test
