// A simulated LAN camera on port 8886 for tests and benchmarks. It accepts
// any number of connections, answers the length-prefixed messages of the
// port, logs every byte it receives per connection and can be told to
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

namespace quvex::sim {

class SimLanCamera {
 public:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 240;
  static constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 2;

  struct RegisterWrite {
    uint8_t registerNumber;
    uint16_t value;
    bool operator==(const RegisterWrite&) const = default;
  };

  // Listens on address (dotted decimal, e.g. a 127.0.0.x of its own) and port.
  explicit SimLanCamera(const std::string& address, uint16_t port = 8886);
  ~SimLanCamera();
  SimLanCamera(const SimLanCamera&) = delete;
  SimLanCamera& operator=(const SimLanCamera&) = delete;

  bool Listening() const;
  const std::string& Address() const { return address_; }

  // The sample at row, column of the n-th frame served (n from 0): a frame
  // counter and a row/column pattern, all within 6000..8861.
  static uint16_t Sample(uint32_t frame, int row, int column);
  // The frame counter (frame number modulo 64) carried by a frame's samples.
  static uint32_t FrameCounterOf(const uint16_t* samples);

  // What arrived: connections in the order accepted, their bytes, and the
  // messages those bytes form (split at each length prefix).
  size_t ConnectionCount() const;
  std::vector<uint8_t> Received(size_t connection) const;
  std::vector<std::vector<uint8_t>> Messages(size_t connection) const;
  std::vector<RegisterWrite> RegisterWrites() const;
  uint32_t FrameRequests() const { return frameRequests_.load(); }
  uint32_t FramesServed() const { return framesServed_.load(); }
  // Waits until done() holds, re-checking at every change; false after timeoutMs.
  bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs = 30000) const;

  // Behaviour.
  void SetTemperature(uint16_t sensorValue) { temperature_.store(sensorValue); }
  // The next count frame replies stop halfway and close their connection.
  void CloseMidFrame(int count) { closeMidFrame_.store(count); }
  // The next count frame replies carry length in their header; the frame
  // follows only when length, read as signed, is above 5.
  void OverrideReplyLength(int count, uint32_t length);
  // Requests are still read and logged, but none is answered.
  void SetStalled(bool stalled) { stalled_.store(stalled); }
  // Waits this long before every frame reply.
  void SetFrameDelay(uint32_t ms) { frameDelayMs_.store(ms); }
  // Frame replies send their header, then one byte of frame every ms (0: all
  // at once).
  void SetTrickle(uint32_t ms) { trickleMs_.store(ms); }
  // Closes the listening socket (connection attempts are refused) or opens
  // it again; connections already made stay. Returns once in effect.
  void SetRefusing(bool refusing);

 private:
  struct Connection {
    int fd = -1;
    std::vector<uint8_t> received;
    std::thread thread;
  };

  void AcceptLoop();
  void Serve(Connection* connection);
  bool Answer(Connection* connection, const std::vector<uint8_t>& message);
  bool SendFrame(int fd, uint32_t headerLength);
  bool Log(Connection* connection, const uint8_t* bytes, size_t length);
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
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<RegisterWrite> registerWrites_;
  uint32_t replyLength_ = 0;

  std::atomic<uint16_t> temperature_{0x1900};
  std::atomic<int> closeMidFrame_{0};
  std::atomic<int> lengthOverrides_{0};
  std::atomic<bool> stalled_{false};
  std::atomic<uint32_t> frameDelayMs_{0};
  std::atomic<uint32_t> frameRequests_{0};
  std::atomic<uint32_t> framesServed_{0};
  std::atomic<uint32_t> trickleMs_{0};
};

}  // namespace quvex::sim
