// Reads the messages a camera object posts to a notify window, in order, for
// tests and benchmarks: every wait is bounded, so a message that never comes
// ends the wait instead of the run.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "quvex/quvex.h"
#include "quvex/quvex_window.h"

namespace quvex::test {

// Generous on a loaded machine.
inline constexpr uint32_t kMessageWaitMs = 20000;

class MessageReader {
 public:
  struct SkipSilently {
    void operator()(const QuvexMessage&) const {}
  };

  explicit MessageReader(QuvexHwnd window = nullptr) : window_(window) {}

  // The next message within timeoutMs; none when none comes.
  std::optional<QuvexMessage> Next(uint32_t timeoutMs = kMessageWaitMs) const {
    QuvexMessage message{};
    if (QuvexWindow_GetMessage(window_, &message, timeoutMs) != 1) return std::nullopt;
    return message;
  }

  // The next message of the kind, waiting up to timeoutMs for each message and
  // handing every other one to skipped; none when none comes. A flood of other
  // kinds ends the wait too.
  template <typename Skipped = SkipSilently>
  std::optional<QuvexMessage> NextOf(uint32_t kind, uint32_t timeoutMs = kMessageWaitMs,
                                     Skipped skipped = {}) const {
    for (int skips = 0; skips < kMostSkipped; ++skips) {
      const std::optional<QuvexMessage> message = Next(timeoutMs);
      if (!message || message->message == kind) return message;
      skipped(*message);
    }
    return std::nullopt;
  }
  // The next frame's id, handing the errors on the way to skipped; 0 when none comes.
  template <typename Skipped = SkipSilently>
  int NextFrame(uint32_t timeoutMs = kMessageWaitMs, Skipped skipped = {}) const {
    return ParamOf(NextOf(WM_QUVEX_FRAME, timeoutMs, skipped));
  }
  // The next error's code, skipping frames; 0 when none comes.
  int NextError(uint32_t timeoutMs = kMessageWaitMs) const {
    return ParamOf(NextOf(WM_QUVEX_ERROR, timeoutMs));
  }

  // The messages posted so far, oldest first; the window keeps none of them.
  std::vector<QuvexMessage> Posted() const {
    std::vector<QuvexMessage> messages;
    for (std::optional<QuvexMessage> message; (message = Next(0));) messages.push_back(*message);
    return messages;
  }
  // Forgets the messages posted so far.
  void Drain() const {
    while (Next(0)) {
    }
  }
  // The newest frame's id among the messages posted so far, waiting up to
  // firstWaitMs for the first of them; 0 when there is no frame.
  int NewestFrame(uint32_t firstWaitMs = 0) const {
    int id = 0;
    for (std::optional<QuvexMessage> message = Next(firstWaitMs); message; message = Next(0)) {
      if (message->message == WM_QUVEX_FRAME) id = static_cast<int>(message->lParam);
    }
    return id;
  }

 private:
  static constexpr int kMostSkipped = 100000;

  static int ParamOf(const std::optional<QuvexMessage>& message) {
    return message ? static_cast<int>(message->lParam) : 0;
  }

  QuvexHwnd window_;
};

}  // namespace quvex::test
