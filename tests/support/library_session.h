// A test fixture for one library through its exported interface: the real
// library, a notify window and a camera object with a 1 ms loop sleep.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "quvex/quvex_window.h"
#include "tests/support/message_reader.h"
#include "tests/support/quvex_library.h"

namespace quvex::test {

class LibrarySession : public ::testing::Test {
 protected:
  explicit LibrarySession(std::string name) : name_(std::move(name)) {}

  void SetUp() override {
    library_ = std::make_unique<QuvexLibrary>(name_);
    window_ = QuvexWindow_Create();
    messages_ = MessageReader(window_);
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
  int NextError() { return messages_.NextError(); }
  // The next message's frame id; an error message fails the test.
  int NextFrame() {
    const std::optional<QuvexMessage> message = messages_.Next();
    if (!message) return 0;
    EXPECT_EQ(message->message, static_cast<uint32_t>(WM_QUVEX_FRAME)) << "error " << message->lParam;
    return message->message == WM_QUVEX_FRAME ? static_cast<int>(message->lParam) : 0;
  }
  // The next frame message's id, waiting past error messages, each of which
  // fails the test; 0 when none comes.
  int NextFramePastErrors() {
    return messages_.NextFrame(
        30000, [](const QuvexMessage& error) { ADD_FAILURE() << "error " << error.lParam; });
  }
  // Forgets the messages posted so far.
  void DrainMessages() { messages_.Drain(); }

  std::string name_;
  std::unique_ptr<QuvexLibrary> library_;
  QuvexHwnd window_ = nullptr;
  MessageReader messages_;
  int handle_ = 0;
};

}  // namespace quvex::test
