// A test fixture for one library through its exported interface: the real
// library, a notify window and a camera object with a 1 ms loop sleep.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "quvex/quvex_window.h"
#include "tests/support/quvex_library.h"

namespace quvex::test {

class LibrarySession : public ::testing::Test {
 protected:
  explicit LibrarySession(std::string name) : name_(std::move(name)) {}

  void SetUp() override {
    library_ = std::make_unique<QuvexLibrary>(name_);
    window_ = QuvexWindow_Create();
    handle_ = library_->Quvex_Initialize(window_);
    ASSERT_NE(handle_, 0);
    library_->Quvex_SetParam(handle_, QUVEX_PARAM_LOOP_SLEEP, 1);
  }
  void TearDown() override {
    if (handle_ != 0) library_->Quvex_Release(handle_);
    QuvexPlatform_SetClock(nullptr, nullptr);
    QuvexWindow_Destroy(window_);
    library_.reset();
  }

  // The next error posted, skipping frames; 0 when none comes.
  int NextError() {
    QuvexMessage message{};
    while (QuvexWindow_GetMessage(window_, &message, 20000) == 1) {
      if (message.message == WM_QUVEX_ERROR) return static_cast<int>(message.lParam);
    }
    return 0;
  }
  // The next message's frame id; an error message fails the test.
  int NextFrame() {
    QuvexMessage message{};
    if (QuvexWindow_GetMessage(window_, &message, 20000) != 1) return 0;
    EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUVEX_FRAME)) << "error " << message.lParam;
    return message.message == WM_QUVEX_FRAME ? static_cast<int>(message.lParam) : 0;
  }
  // The next frame message's id, waiting past error messages, each of which
  // fails the test; 0 when none comes.
  int NextFramePastErrors() {
    QuvexMessage message{};
    while (QuvexWindow_GetMessage(window_, &message, 30000) == 1) {
      if (message.message == WM_QUVEX_FRAME) return static_cast<int>(message.lParam);
      ADD_FAILURE() << "error " << message.lParam;
    }
    return 0;
  }
  // Forgets the messages posted so far.
  void DrainMessages() {
    QuvexMessage message{};
    while (QuvexWindow_GetMessage(window_, &message, 0) == 1) {
    }
  }

  std::string name_;
  std::unique_ptr<QuvexLibrary> library_;
  QuvexHwnd window_ = nullptr;
  int handle_ = 0;
};

}  // namespace quvex::test
