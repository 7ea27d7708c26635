// A test fixture for Galdris through its exported interface: the simulated
// USB camera installed before the camera object is made.
#pragma once

#include <memory>

#include "library_session.h"
#include "usb_camera.h"

namespace quvex::test {

class GaldrisSession : public LibrarySession {
 protected:
  explicit GaldrisSession(sim::SimCameraOptions options = {})
      : LibrarySession("Galdris"), options_(std::move(options)) {}

  void SetUp() override {
    camera_ = std::make_unique<sim::SimUsbCamera>(options_);
    ASSERT_TRUE(camera_->Installed());
    LibrarySession::SetUp();
  }
  void TearDown() override {
    LibrarySession::TearDown();
    camera_.reset();
  }

  // The next message's frame id; an error message fails the test.
  int NextFrame() {
    QuvexMessage message{};
    if (QuvexWindow_GetMessage(window_, &message, 20000) != 1) return 0;
    EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUVEX_FRAME)) << "error " << message.lParam;
    return message.message == WM_QUVEX_FRAME ? static_cast<int>(message.lParam) : 0;
  }

  sim::SimCameraOptions options_;
  std::unique_ptr<sim::SimUsbCamera> camera_;
};

// The simulated camera's options with a frame rate.
inline sim::SimCameraOptions AtFrameRate(double framesPerSecond) {
  sim::SimCameraOptions options;
  options.framesPerSecond = framesPerSecond;
  return options;
}

}  // namespace quvex::test
