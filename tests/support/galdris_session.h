// A test fixture for Galdris through its exported interface: the simulated
// USB camera installed before the camera object is made.
#pragma once

#include <memory>

#include "sim/usb_camera.h"
#include "tests/support/library_session.h"

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

  sim::SimCameraOptions options_;
  std::unique_ptr<sim::SimUsbCamera> camera_;
};

// Frames taken but not yet announced at any moment: the one being read and
// the two being finished. A pause or a NUC may still see them announced.
inline constexpr int kFramesInFlight = 3;

// The simulated camera's options with a frame rate.
inline sim::SimCameraOptions AtFrameRate(double framesPerSecond) {
  sim::SimCameraOptions options;
  options.framesPerSecond = framesPerSecond;
  return options;
}

}  // namespace quvex::test
