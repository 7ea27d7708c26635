// One TCP connection to a LAN camera.
#include "transports/lan/lan_connection.h"

namespace quvex {

using platform::SocketResult;

CLanConnection::CLanConnection(const char* addressText, uint16_t port, uint32_t waitMs)
    : address_(platform::ParseIpv4(addressText)), port_(port), waitMs_(waitMs) {}

int CLanConnection::Connect() {
  if (socket_.IsOpen()) return 1;
  if (!address_) return 0;
  return socket_.Connect(*address_, port_, waitMs_, cancel_) == SocketResult::Done ? 1 : 0;
}

int CLanConnection::SendAll(const void* bytes, size_t length) {
  return socket_.SendAll(bytes, length, waitMs_, cancel_) == SocketResult::Done ? 1 : 0;
}

int CLanConnection::RecvAll(void* buffer, size_t length) {
  return socket_.RecvAll(buffer, length, waitMs_, cancel_) == SocketResult::Done ? 1 : 0;
}

void CLanConnection::Close() { socket_.Close(); }

int CLanConnection::ResetCancel() {
  cancel_.Reset();
  return 1;
}

void CLanConnection::SetCancel() { cancel_.Set(); }

}  // namespace quvex
