// A simulated LAN camera on port 8886 for tests and benchmarks. It accepts
// any number of connections, answers the length-prefixed messages of the
// port, logs every byte it receives per connection and can be told to
// misbehave.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_server.h"

namespace quvex::sim {

class SimLanCamera final : public SimServer {
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
  ~SimLanCamera() override;

  // The sample at row, column of the n-th frame served (n from 0): a frame
  // counter and a row/column pattern, all within 6000..8861.
  static uint16_t Sample(uint32_t frame, int row, int column);
  // The frame counter (frame number modulo 64) carried by a frame's samples.
  static uint32_t FrameCounterOf(const uint16_t* samples);

  // The messages each connection's bytes form (split at each length prefix).
  std::vector<std::vector<uint8_t>> Messages(size_t connection) const;
  std::vector<RegisterWrite> RegisterWrites() const;
  uint32_t FrameRequests() const { return frameRequests_.load(); }
  uint32_t FramesServed() const { return framesServed_.load(); }

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

 private:
  void Serve(Connection* connection) override;
  bool Answer(Connection* connection, const std::vector<uint8_t>& message);
  bool SendFrame(int fd, uint32_t headerLength);

  std::vector<RegisterWrite> registerWrites_;  // under mutex_
  uint32_t replyLength_ = 0;                   // under mutex_

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
