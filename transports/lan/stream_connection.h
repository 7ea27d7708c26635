// The streaming connection to an older LAN camera on port 123. Connect sends
// the start message whole; from then on the camera streams frames, which
// ReceiveFrame cuts by count, while commands may be sent from other threads.
// Every wait is bounded and ends at once when its WaitCancel is raised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "quvex_platform/socket.h"
#include "transports/lan/stream_protocol.h"

namespace quvex {

// Longest wait for a connect, for room to send or for stream data.
inline constexpr uint32_t kStreamWaitMs = 3000;
// Longest wait of each step of a status query.
inline constexpr uint32_t kStatusWaitMs = 1000;

enum class StreamConnect {
  Connected,  // connected and the start message sent whole
  Refused,    // the camera refused the connection, or the attempt failed under way
  NoAnswer,   // no answer in time, or the start message did not go out
  Failed,     // the attempt could not even begin
  Cancelled,  // the cancel was raised
};

enum class StreamReceive {
  Frame,      // every byte of the frame arrived
  Idle,       // nothing of the frame arrived in time: the stream is still whole
  Broken,     // the connection failed or closed, or a frame stopped halfway:
              // frame boundaries are lost with it
  Cancelled,  // the cancel was raised
};

class CStreamConnection {
 public:
  // address in network byte order; port in host order.
  CStreamConnection(uint32_t address, uint16_t port = QUVEX_LAN_STREAM_PORT,
                    uint32_t waitMs = kStreamWaitMs, uint32_t statusWaitMs = kStatusWaitMs);
  CStreamConnection(const CStreamConnection&) = delete;
  CStreamConnection& operator=(const CStreamConnection&) = delete;

  // Connects and sends the start message; any failure closes the socket.
  StreamConnect Connect(const platform::WaitCancel& cancel);
  // Sends one command packet whole; false when it could not. Any thread.
  bool SendCommand(uint8_t code, uint16_t value, const platform::WaitCancel& cancel);
  // Receives the next length bytes of the stream into target (one thread at
  // a time).
  StreamReceive ReceiveFrame(uint8_t* target, size_t length, const platform::WaitCancel& cancel);
  // false once a receive ended with part of a frame taken: the rest of that
  // frame is still in the stream, so every later frame would be cut across
  // two of the camera's.
  bool AtFrameBoundary() const { return atFrameBoundary_; }
  // Sends the status command on the stream, then asks on a connection of its
  // own and reads the first word of the reply (least-significant byte first).
  // Every step is bounded; the status connection is always closed.
  std::optional<uint16_t> QueryStatus(const platform::WaitCancel& cancel);

 private:
  const uint32_t address_;
  const uint16_t port_;
  const uint32_t waitMs_;
  const uint32_t statusWaitMs_;
  platform::TcpClient socket_;
  std::mutex sendMutex_;  // one packet at a time goes out whole
  bool atFrameBoundary_ = true;  // the receiving thread's
};

}  // namespace quvex
