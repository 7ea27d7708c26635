// A simulated older LAN camera on port 123 for tests, benchmarks and the
// sample host. A connection that opens with the start message gets frames
// streamed back to back (320 x 240, the frame pattern of frame_pattern.h,
// raw values inside the built-in tables) and may send 6-byte commands; a
// connection that opens with the status request gets a 16-byte reply. Every
// byte received is logged per connection, and the camera can be told to
// misbehave.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame_pattern.h"
#include "sim/sim_server.h"

namespace quvex::sim {

class SimStreamCamera final : public SimServer {
 public:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 240;
  static constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 2;
  static constexpr SensorWindow kWindow{kWidth, 0, kWidth, 0, kHeight};

  struct Command {
    uint8_t code;
    uint16_t value;
    bool operator==(const Command&) const = default;
  };

  // Listens on address (dotted decimal, a 127.0.0.x of its own) and port.
  explicit SimStreamCamera(const std::string& address, uint16_t port = 123);
  ~SimStreamCamera() override;

  // The commands of every streaming connection in arrival order.
  std::vector<Command> Commands() const;
  uint32_t StatusQueries() const { return statusQueries_.load(); }
  uint32_t StreamsStarted() const { return streamsStarted_.load(); }
  // Whole frames sent; each carries the counter of its place in the
  // camera's sequence (frames cut short take a number too).
  uint32_t FramesSent() const { return framesSent_.load(); }

  // Behaviour.
  // The next count frames stop halfway and their connection closes.
  void CloseMidFrame(int count) { closeMidFrame_.store(count); }
  // No frame goes out while stalled; connections stay open.
  void SetStalled(bool stalled);
  // While set, each stream's next frame after its first stops halfway, and
  // the stream holds there.
  void HoldMidFrame(bool hold);
  // While a stream holds: the counter of the frame it sent whole before.
  std::optional<uint32_t> FrameBeforeTheHeld() const;
  // Status requests are read and logged but never answered.
  void SetStatusSilent(bool silent) { statusSilent_.store(silent); }
  // Frames go out in pieces of this many bytes (0: whole frames).
  void SetPieceBytes(size_t bytes) { pieceBytes_.store(bytes); }
  // Waits this long before every frame.
  void SetFrameDelay(uint32_t ms) { frameDelayMs_.store(ms); }

 private:
  void Serve(Connection* connection) override;
  void Stream(int fd);
  // previous: the stream's last whole frame; the frame sent becomes it.
  bool SendFrame(int fd, std::vector<uint8_t>& frame, std::optional<uint32_t>& previous);
  // Sends bytes from to to of frame in pieces; false when the peer is gone.
  bool SendPieces(int fd, const std::vector<uint8_t>& frame, size_t from, size_t to);
  // Waits while frames are held; false when the camera shuts down.
  bool HoldHalfway(const std::optional<uint32_t>& previous);

  bool stalled_ = false;  // under mutex_
  bool holdMidFrame_ = false;  // under mutex_
  std::optional<uint32_t> beforeTheHeld_;  // under mutex_
  std::vector<Command> commands_;  // under mutex_

  std::atomic<int> closeMidFrame_{0};
  std::atomic<bool> statusSilent_{false};
  std::atomic<size_t> pieceBytes_{0};
  std::atomic<uint32_t> frameDelayMs_{0};
  std::atomic<uint32_t> statusQueries_{0};
  std::atomic<uint32_t> streamsStarted_{0};
  std::atomic<uint32_t> framesSent_{0};
  std::atomic<uint32_t> nextFrame_{0};
};

}  // namespace quvex::sim
