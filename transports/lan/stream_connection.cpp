// The port-123 streaming connection over the platform's sockets.
#include "transports/lan/stream_connection.h"

#include "quvex/quvex.h"

namespace quvex {

using platform::SocketResult;
using platform::TcpClient;
using platform::WaitCancel;

CStreamConnection::CStreamConnection(uint32_t address, uint16_t port, uint32_t waitMs,
                                     uint32_t statusWaitMs)
    : address_(address), port_(port), waitMs_(waitMs), statusWaitMs_(statusWaitMs) {}

StreamConnect CStreamConnection::Connect(const WaitCancel& cancel) {
  switch (socket_.Connect(address_, port_, waitMs_, cancel)) {
    case SocketResult::Done: break;
    case SocketResult::Cancelled: return StreamConnect::Cancelled;
    case SocketResult::TimedOut: return StreamConnect::NoAnswer;
    case SocketResult::Refused: return StreamConnect::Refused;
    case SocketResult::Failed:
    case SocketResult::PeerClosed: return StreamConnect::Failed;
  }
  const LanStartPacket start = StartPacket();
  const SocketResult sent = socket_.SendAll(start.data(), start.size(), waitMs_, cancel);
  if (sent == SocketResult::Done) return StreamConnect::Connected;
  socket_.Close();
  return sent == SocketResult::Cancelled ? StreamConnect::Cancelled : StreamConnect::NoAnswer;
}

bool CStreamConnection::SendCommand(uint8_t code, uint16_t value, const WaitCancel& cancel) {
  const LanCommandPacket packet = CommandPacket(code, value);
  std::lock_guard lock(sendMutex_);
  return socket_.SendAll(packet.data(), packet.size(), waitMs_, cancel) == SocketResult::Done;
}

StreamReceive CStreamConnection::ReceiveFrame(uint8_t* target, size_t length,
                                              const WaitCancel& cancel) {
  if (length == 0) return StreamReceive::Frame;
  // The first byte alone: a time-out before it leaves the stream whole.
  switch (socket_.RecvAll(target, 1, waitMs_, cancel)) {
    case SocketResult::Done: break;
    case SocketResult::Cancelled: return StreamReceive::Cancelled;
    case SocketResult::TimedOut: return StreamReceive::Idle;
    default: return StreamReceive::Broken;
  }
  const SocketResult rest = socket_.RecvAll(target + 1, length - 1, waitMs_, cancel);
  if (rest == SocketResult::Done) return StreamReceive::Frame;
  atFrameBoundary_ = false;
  return rest == SocketResult::Cancelled ? StreamReceive::Cancelled : StreamReceive::Broken;
}

std::optional<uint16_t> CStreamConnection::QueryStatus(const WaitCancel& cancel) {
  SendCommand(QUVEX_REG_STATUS, 1, cancel);
  TcpClient status;  // closed when it goes out of scope, whatever happened
  if (status.Connect(address_, port_, statusWaitMs_, cancel) != SocketResult::Done) {
    return std::nullopt;
  }
  const LanStatusRequest request = StatusRequest();
  if (status.SendAll(request.data(), request.size(), statusWaitMs_, cancel) != SocketResult::Done) {
    return std::nullopt;
  }
  uint8_t word[2];
  if (status.RecvAll(word, sizeof word, statusWaitMs_, cancel) != SocketResult::Done) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(word[0] | word[1] << 8);
}

}  // namespace quvex
