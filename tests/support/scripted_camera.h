// A camera object on a scripted device: the device gives the frames a test
// asks for, and can fail a read, end its capture or fail to start or stop.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>

#include "core/camera_object.h"
#include "quvex/quvex_window.h"
#include "tests/support/message_reader.h"
#include "tests/support/test_profile.h"

namespace quvex::test {

inline constexpr int kWidth = 64, kHeight = 48;

// A small sensor, so frames are quick to make and check.
inline const BuildProfile kProfile = [] {
  BuildProfile profile = TestProfile();
  profile.timing = {80, kWidth, 4, 52, kHeight, 2};
  profile.ringSlots = 4;
  profile.behaviour.refusesSelectionDuringCapture = true;  // as a USB device whose ring capture uses
  return profile;
}();

// Frames whose every sample carries the frame number and its row.
inline uint16_t Sample(int frame, int row, int column) {
  return static_cast<uint16_t>(1000 + frame * 100 + row + (column & 1));
}

class ScriptedCamera : public DeviceBinding {
 public:
  std::atomic<int> framesReady{0};  // frames the camera has to give
  std::atomic<int> delivered{0};
  std::atomic<int> failRead{-1};    // frame number whose read fails
  std::atomic<int> endAt{-1};       // frame number at which the device ends
  std::atomic<int> startResult{0};
  std::atomic<int> stopResult{0};
  std::atomic<int> registersWritten{0};
  std::atomic<int> polls{0};

  bool HasDevice() const override { return true; }
  int WriteRegister(unsigned, int) override { return ++registersWritten, 1; }
  int SelectCamera(int) override { return 0; }
  int MaxCameras() const override { return 8; }
  bool IsCameraPresent(int index) override { return index == 0; }
  int StartDevice() override { return startResult.load(); }
  int StopDevice() override { return stopResult.load(); }
  FrameOutcome Poll() override {
    ++polls;
    if (delivered.load() == endAt.load()) return {FrameOutcome::End, QUVEX_ERR_CAPTURE_ENDED};
    return {framesReady.load() > delivered.load() ? FrameOutcome::Frame : FrameOutcome::NoFrame, 0};
  }
  FrameOutcome Read(uint8_t* target, size_t capacity) override {
    const int frame = delivered++;
    if (frame == failRead.load()) return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
    Fill(frame, target, capacity);
    return {FrameOutcome::Frame, 0};
  }
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override {
    Fill(99, target, capacity);
    return {FrameOutcome::Frame, 0};
  }

 private:
  static void Fill(int frame, uint8_t* target, size_t capacity) {
    ASSERT_GE(capacity, size_t{kWidth} * kHeight * 2);
    auto* samples = reinterpret_cast<uint16_t*>(target);
    for (int r = 0; r < kHeight; ++r)
      for (int c = 0; c < kWidth; ++c) samples[r * kWidth + c] = Sample(frame, r, c);
  }
};

class ScriptedCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = QuvexWindow_Create();
    MakeObject();
  }
  // A new camera object on a new scripted camera, with profile_ as it stands.
  void MakeObject() {
    quvex_.reset();
    auto camera = std::make_unique<ScriptedCamera>();
    camera_ = camera.get();
    quvex_ = std::make_unique<CQuvex>(profile_, std::move(camera));
    ASSERT_EQ(quvex_->Initialize(window_), 1);
    quvex_->SetParam(QUVEX_PARAM_LOOP_SLEEP, 1);
  }
  void TearDown() override {
    quvex_.reset();
    QuvexWindow_Destroy(window_);
  }
  // The next message, skipping none; fails the test after a generous wait.
  QuvexMessage Next() {
    const std::optional<QuvexMessage> message = MessageReader(window_).Next();
    EXPECT_TRUE(message.has_value());
    return message.value_or(QuvexMessage{});
  }
  int NextFrameId() {
    const QuvexMessage message = Next();
    EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUVEX_FRAME));
    return static_cast<int>(message.lParam);
  }

  BuildProfile profile_ = kProfile;
  QuvexHwnd window_ = nullptr;
  ScriptedCamera* camera_ = nullptr;
  std::unique_ptr<CQuvex> quvex_;
};

}  // namespace quvex::test
