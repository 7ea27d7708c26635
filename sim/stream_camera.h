// A simulated older LAN camera on port 123 for tests, benchmarks and the
// sample host. A connection that opens with the start message gets frames
// streamed back to back (320 x 240, the frame pattern of frame_pattern.h,
// raw values inside the built-in tables) and may send 6-byte commands; a
// connection that opens with the status request gets a 16-byte reply. Every
// byte received is logged per connection, and the camera can be told to
// misbehave.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_pattern.h"

namespace quvex::sim {

class SimStreamCamera {
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
  ~SimStreamCamera();
  SimStreamCamera(const SimStreamCamera&) = delete;
  SimStreamCamera& operator=(const SimStreamCamera&) = delete;

  bool Listening() const;
  const std::string& Address() const { return address_; }

  // What arrived: connections in the order accepted and their bytes; the
  // commands of every streaming connection in arrival order.
  size_t ConnectionCount() const;
  std::vector<uint8_t> Received(size_t connection) const;
  std::vector<Command> Commands() const;
  uint32_t StatusQueries() const { return statusQueries_.load(); }
  // Connections that the client (or a fault) has closed.
  uint32_t ClosedConnections() const { return closed_.load(); }
  uint32_t StreamsStarted() const { return streamsStarted_.load(); }
  // Whole frames sent; each carries the counter of its place in the
  // camera's sequence (frames cut short take a number too).
  uint32_t FramesSent() const { return framesSent_.load(); }
  // Waits until done() holds, re-checking at every change; false after timeoutMs.
  bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs = 30000) const;

  // Behaviour.
  // The next count frames stop halfway and their connection closes.
  void CloseMidFrame(int count) { closeMidFrame_.store(count); }
  // No frame goes out while stalled; connections stay open.
  void SetStalled(bool stalled);
  // Status requests are read and logged but never answered.
  void SetStatusSilent(bool silent) { statusSilent_.store(silent); }
  // Frames go out in pieces of this many bytes (0: whole frames).
  void SetPieceBytes(size_t bytes) { pieceBytes_.store(bytes); }
  // Waits this long before every frame.
  void SetFrameDelay(uint32_t ms) { frameDelayMs_.store(ms); }
  // Closes the listening socket (connection attempts are refused) or opens
  // it again; connections already made stay. Returns once in effect.
  void SetRefusing(bool refusing);

 private:
  struct Connection {
    int fd = -1;
    std::vector<uint8_t> received;
    std::thread reader;
    std::thread streamer;
  };

  void AcceptLoop();
  void Serve(Connection* connection);
  void Stream(int fd);
  bool SendFrame(int fd, std::vector<uint8_t>& frame);
  // Receives exactly length bytes and logs them; false when the peer is gone.
  bool Receive(Connection* connection, uint8_t* buffer, size_t length);
  bool OpenListener();
  void Touch();
  // Sleeps ms unless the camera is shut down meanwhile; false when it is.
  bool Nap(uint32_t ms);

  const std::string address_;
  const uint16_t port_;
  int listener_ = -1;  // accept thread (and constructor) only
  int wake_ = -1;      // eventfd that wakes the accept thread
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  uint64_t version_ = 0;  // counts every change, for WaitFor
  bool shutdown_ = false;
  bool refusing_ = false;
  bool listening_ = false;
  bool stalled_ = false;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<Command> commands_;

  std::atomic<int> closeMidFrame_{0};
  std::atomic<bool> statusSilent_{false};
  std::atomic<size_t> pieceBytes_{0};
  std::atomic<uint32_t> frameDelayMs_{0};
  std::atomic<uint32_t> statusQueries_{0};
  std::atomic<uint32_t> closed_{0};
  std::atomic<uint32_t> streamsStarted_{0};
  std::atomic<uint32_t> framesSent_{0};
  std::atomic<uint32_t> nextFrame_{0};
};

}  // namespace quvex::sim
