// Fenwold end to end through its exported interface, against the simulated
// port-123 camera on a loopback address of each test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "sim/stream_camera.h"
#include "tests/support/interrupted_one_shot.h"
#include "tests/support/library_session.h"
#include "tests/support/loopback_address.h"

namespace quvex::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Command = sim::SimStreamCamera::Command;
using sim::SimStreamCamera;

constexpr int kWidth = 320, kHeight = 240;

class Fenwold : public LibrarySession {
 protected:
  using SetIpAddressFn = decltype(&::Quvex_SetIpAddress);
  static_assert(std::is_same_v<SetIpAddressFn, int (*)(int, int, int, int, int)>);

  Fenwold() : LibrarySession("Fenwold") {}
  void SetUp() override {
    LibrarySession::SetUp();
    SetIpAddress = reinterpret_cast<SetIpAddressFn>(library_->Optional("Quvex_SetIpAddress"));
    ASSERT_NE(SetIpAddress, nullptr);
  }
  void TearDown() override {
    LibrarySession::TearDown();
    cameras_.clear();
  }
  SimStreamCamera& StartCamera() {
    cameras_.push_back(CameraOnNextAddress<SimStreamCamera>());
    cameras_.back()->SetFrameDelay(2);  // keeps the machine usable; capture still outruns it
    return *cameras_.back();
  }
  int Connect(const std::string& address) {
    const auto b = AddressBytes(address);
    return SetIpAddress(handle_, b[0], b[1], b[2], b[3]);
  }
  // The next frame message; errors on the way are skipped.
  int NextFrame() { return messages_.NextFrame(30000); }
  // The frame's samples in stored order, and whether they are one whole frame.
  bool WholeFrame(int id, uint32_t* counter = nullptr) {
    library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
    std::vector<uint16_t> raw(kWidth * kHeight);
    if (library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2) != 1) return false;
    return sim::IsWholeFrame(raw.data(), kWidth, kHeight, counter);
  }

  // Waits for a frame, then checks the newest while capture is paused, so
  // that the ring keeps it meanwhile.
  bool NextWholeFrame(uint32_t* counter = nullptr) {
    if (NextFrame() == 0 || library_->Quvex_Pause(handle_) != 1) return false;
    const bool whole = WholeFrame(library_->Quvex_GetNewID(handle_), counter);
    library_->Quvex_Start(handle_);
    DrainMessages();
    return whole;
  }

  SetIpAddressFn SetIpAddress = nullptr;
  std::vector<std::unique_ptr<SimStreamCamera>> cameras_;
};

TEST_F(Fenwold, CaptureSendsItsCommandsAndDeliversWholeFramesInOrder) {
  SimStreamCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.StatusQueries() == 1; }));
  ASSERT_EQ(library_->Quvex_SetParam(handle_, QUVEX_PARAM_SWITCH, 0), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  uint32_t previous = 0;
  for (int i = 0; i < 5; ++i) {
    uint32_t counter = 0;
    ASSERT_TRUE(NextWholeFrame(&counter));
    if (i > 0) {
      EXPECT_GT(counter, previous);
    }
    previous = counter;
  }
  ASSERT_EQ(library_->Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, 2), 1);
  ASSERT_EQ(library_->Quvex_Nuc(handle_), 1);
  ASSERT_EQ(library_->Quvex_Close(handle_), 1);
  // Status query, switch (flag clear: 1), capture start (switch, range), range 2, NUC.
  const std::vector<Command> expected = {{15, 1}, {7, 1}, {7, 1}, {0, 16}, {0, 1}, {6, 1}};
  const auto commands = [&] {
    std::vector<Command> sent = camera.Commands();
    std::erase(sent, Command{15, 1});  // status queries once a second meanwhile
    sent.insert(sent.begin(), Command{15, 1});
    return sent;
  };
  ASSERT_TRUE(camera.WaitFor([&] { return commands().size() >= expected.size(); }));
  EXPECT_EQ(commands(), expected);
  const Bytes received = camera.Received(0);
  ASSERT_GE(received.size(), 4u + 6u);
  EXPECT_EQ(Bytes(received.begin(), received.begin() + 10),
            (Bytes{0x01, 0, 0, 0, 0x20, 0x0F, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Fenwold, TemperaturesInterpolateEverySampleOfTheFrame) {
  // Every line between two points of t = raw / 100 is that line: a hand-worked
  // table whose interpolation is known exactly.
  std::string bytes;
  const int32_t count = 60;
  bytes.append(reinterpret_cast<const char*>(&count), 4);
  for (int32_t k = 0; k < count; ++k) {
    const int32_t raw = 5000 + 100 * k;
    const float degrees = static_cast<float>(raw) / 100.0f;
    bytes.append(reinterpret_cast<const char*>(&raw), 4);
    bytes.append(reinterpret_cast<const char*>(&degrees), 4);
  }
  const std::string path = "/tmp/quvex_fenwold_" + std::to_string(getpid()) + ".tbl";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  ASSERT_EQ(library_->Quvex_SetTableA(handle_, path.c_str()), 1);
  std::remove(path.c_str());

  SimStreamCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  const int id = library_->Quvex_OneShot(handle_);
  ASSERT_NE(id, 0);
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  std::vector<uint16_t> raw(kWidth * kHeight);
  std::vector<float> degrees(kWidth * kHeight);
  ASSERT_EQ(library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2), 1);
  ASSERT_EQ(library_->Quvex_GetTemperature(handle_, id, degrees.data(), kWidth * kHeight * 4), 1);
  EXPECT_TRUE(sim::IsWholeFrame(raw.data(), kWidth, kHeight));
  for (const int at : {0, 1, 2, kWidth * 100 + 7, kWidth * kHeight - 1}) {
    EXPECT_NEAR(degrees[at], raw[at] / 100.0, 1e-3) << "raw " << raw[at];
  }
  // The one-shot applied the range mode: a table file stays in use.
  ASSERT_TRUE(camera.WaitFor([&] { return camera.Commands().size() >= 2; }));
  EXPECT_EQ(camera.Commands()[1], (Command{0, 16}));
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(Fenwold, WithoutAConnectionCaptureIsNotReadyOnce) {
  EXPECT_EQ(library_->Quvex_Preview(handle_), 0);
  EXPECT_EQ(library_->Quvex_OneShot(handle_), 0);
  EXPECT_EQ(library_->Quvex_Nuc(handle_), 1);  // a command that cannot go out is no error
  EXPECT_EQ(library_->DrainErrors(handle_), "1,1");
  EXPECT_EQ(library_->Quvex_SetCameraType(handle_, 1), 0);
  EXPECT_EQ(library_->Quvex_IsCameraEnableA(handle_, 0, nullptr, 0), 0);
  EXPECT_EQ(library_->DrainErrors(handle_), "1,10");
  EXPECT_EQ(SetIpAddress(handle_ + 1, 127, 0, 0, 1), 0);  // unregistered handle
}

TEST_F(Fenwold, ARefusedConnectIsNoErrorOneThatFailsAtOnceIsErrorElevenNeitherConnects) {
  SimStreamCamera& camera = StartCamera();
  const auto b = AddressBytes(camera.Address());
  // Only the low byte of each part counts.
  ASSERT_EQ(SetIpAddress(handle_, b[0] | 0x100, b[1] | ~0xFF, b[2] | 0x7F00, b[3] | 0x1000), 1);
  camera.SetRefusing(true);
  // The kernel rejects a stream to a multicast group at once.
  for (const auto& [to, errors] : {std::pair{b, ""}, {std::array<uint8_t, 4>{224, 0, 0, 1}, "11"}}) {
    EXPECT_EQ(SetIpAddress(handle_, to[0], to[1], to[2], to[3]), 0);
    EXPECT_EQ(library_->DrainErrors(handle_), errors);
    EXPECT_EQ(library_->Quvex_Preview(handle_), 0);
    EXPECT_EQ(library_->DrainErrors(handle_), "1");
  }
}

TEST_F(Fenwold, ACloseMidFrameIsReportedAndTheStreamStartsAgainWhole) {
  SimStreamCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  ASSERT_TRUE(NextWholeFrame());
  camera.CloseMidFrame(1);
  ASSERT_TRUE(camera.WaitFor([&] { return camera.StreamsStarted() == 2; }));
  DrainMessages();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(NextWholeFrame());
  ASSERT_EQ(library_->Quvex_Close(handle_), 1);
  EXPECT_EQ(library_->DrainErrors(handle_), "3,3");
}

TEST_F(Fenwold, AfterACloseMidFrameEveryFrameIsOneWholeFrameOfTheCamera) {
  SimStreamCamera& camera = StartCamera();
  camera.SetPieceBytes(4096);
  ASSERT_EQ(Connect(camera.Address()), 1);
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_LOOP_SLEEP, 0);  // on to the next frame at once
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  std::vector<uint16_t> raw(kWidth * kHeight);
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
    // Once the frame before the held one is delivered, capture waits in that one.
    std::optional<uint32_t> before;
    for (uint32_t counter = 0; !before || counter < *before;) {
      const int id = NextFrame();
      ASSERT_NE(id, 0);
      if (library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2) != 1) continue;
      ASSERT_TRUE(sim::IsWholeFrame(raw.data(), kWidth, kHeight, &counter)) << round;
      if (before) continue;
      camera.HoldMidFrame(true);
      ASSERT_TRUE(camera.WaitFor(
          [&] { return (before = camera.FrameBeforeTheHeld()).has_value(); }));
    }
    ASSERT_EQ(library_->Quvex_Close(handle_), 1);  // cuts the held frame
    camera.HoldMidFrame(false);
  }
  // The host's own close is no failure; only fetches of frames already replaced fail.
  EXPECT_EQ(library_->DrainErrors(handle_).find('3'), std::string::npos);
}

TEST_F(Fenwold, ALostCameraEndsCaptureWithOneReportInsteadOfAFlood) {
  SimStreamCamera& camera = StartCamera();
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  NextFrame();
  camera.SetRefusing(true);
  camera.CloseMidFrame(1);
  EXPECT_EQ(NextError(), 3);
  EXPECT_EQ(NextError(), 3);
  EXPECT_TRUE(camera.WaitFor([&] { return camera.ClosedConnections() >= 1; }));
  EXPECT_EQ(library_->Quvex_Close(handle_), 1);
  EXPECT_EQ(library_->DrainErrors(handle_), "3,3");
}

TEST_F(Fenwold, StopSetIpAddressAndReleaseEndCaptureWhileTheCameraStalls) {
  SimStreamCamera& first = StartCamera();
  SimStreamCamera& second = StartCamera();
  ASSERT_EQ(Connect(first.Address()), 1);
  for (int round = 0; round < 3; ++round) {
    first.SetStalled(false);
    DrainMessages();
    ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
    NextFrame();
    first.SetStalled(true);
    if (round == 0) {
      EXPECT_EQ(library_->Quvex_Close(handle_), 1);
      EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 0);
    } else if (round == 1) {
      // Capture stops first; the new connection is the only one in use.
      EXPECT_EQ(Connect(second.Address()), 1);
      EXPECT_EQ(library_->Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 0);
      EXPECT_TRUE(second.WaitFor([&] { return second.StreamsStarted() == 1; }));
      ASSERT_EQ(Connect(first.Address()), 1);
    } else {
      EXPECT_EQ(library_->Quvex_Release(handle_), 1);
      handle_ = 0;
    }
  }
}

TEST_F(Fenwold, CloseReleaseOrANewAddressEndsAOneShotOnASilentCamera) {
  SimStreamCamera& camera = StartCamera();
  const auto ranges = [&] { return std::ranges::count(camera.Commands(), Command{0, 16}); };
  for (const std::string call : {"close", "release", "new address"}) {
    SCOPED_TRACE(call);
    camera.SetStalled(true);
    ASSERT_EQ(Connect(camera.Address()), 1);
    const int handle = handle_;
    const auto before = ranges();
    const OneShotInterruption cut = InterruptOneShot(
        [&] { return library_->Quvex_OneShot(handle); },
        [&] { return camera.WaitFor([&] { return ranges() > before; }); },  // its range command
        [&] {
          if (call == "close") return library_->Quvex_Close(handle);
          return call == "release" ? library_->Quvex_Release(handle) : Connect(camera.Address());
        });
    ExpectEnded(cut);  // promptly: tests/deliverables, where the wait is long
    camera.SetStalled(false);
    if (call == "release") {
      handle_ = library_->Quvex_Initialize(window_);
      ASSERT_EQ(Connect(camera.Address()), 1);
    }
    EXPECT_EQ(library_->DrainErrors(handle_), "");  // an interrupted one-shot is no failure
    EXPECT_TRUE(WholeFrame(library_->Quvex_OneShot(handle_)));
  }
}

TEST_F(Fenwold, HostCallsOnOtherThreadsDuringCaptureAreSafe) {
  SimStreamCamera& camera = StartCamera();
  camera.SetPieceBytes(1000);
  ASSERT_EQ(Connect(camera.Address()), 1);
  ASSERT_EQ(library_->Quvex_Preview(handle_), 1);
  NextFrame();
  library_->Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);  // rows as they arrived
  std::thread writer([&] {
    for (int i = 0; i < 50; ++i) {
      library_->Quvex_SetParam(handle_, QUVEX_PARAM_SWITCH, i & 1);
      library_->Quvex_Nuc(handle_);
    }
  });
  std::thread reader([&] {
    std::vector<uint16_t> raw(kWidth * kHeight);
    for (int i = 0; i < 50; ++i) {
      const int id = library_->Quvex_GetNewID(handle_);
      if (library_->Quvex_GetRaw(handle_, id, raw.data(), kWidth * kHeight * 2) == 1) {
        EXPECT_TRUE(sim::IsWholeFrame(raw.data(), kWidth, kHeight));
      }
    }
  });
  writer.join();
  reader.join();
  // Every command arrived whole: all 50 NUC packets, the writer's last, among
  // its switch packets and the status queries of every second.
  const auto nucs = [&] {
    const std::vector<Command> commands = camera.Commands();
    return std::count(commands.begin(), commands.end(), Command{6, 1});
  };
  EXPECT_TRUE(camera.WaitFor([&] { return nucs() >= 50; }));
  EXPECT_EQ(library_->Quvex_Release(handle_), 1);
  handle_ = 0;
  EXPECT_EQ(nucs(), 50);
}

}  // namespace
}  // namespace quvex::test
