// TCP client sockets that never block outside their waits. Every wait is
// bounded and also ends at once when its WaitCancel is raised by another
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quvex::platform {

// How a socket operation ended.
enum class SocketResult {
  Done,        // connected, or every byte went out or came in
  Failed,      // a socket error, or the cancel object does not exist
  Refused,     // a connect was refused, or failed once under way
  PeerClosed,  // the peer closed the connection during a receive
  Cancelled,   // the WaitCancel was raised during a wait
  TimedOut,    // a wait lasted its whole bound
};

// A flag that any thread can raise to end the waits that watch it. It stays
// raised until Reset.
class WaitCancel {
 public:
  WaitCancel();
  ~WaitCancel();
  WaitCancel(const WaitCancel&) = delete;
  WaitCancel& operator=(const WaitCancel&) = delete;

  // false when the system object could not be created; every wait then fails.
  bool Valid() const { return fd_ >= 0; }
  void Set();
  void Reset();
  bool IsSet() const;
  // Sleeps up to ms; true at once when the flag is (or becomes) raised.
  bool Wait(uint32_t ms) const;
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

// The IPv4 address of dotted decimal text, in network byte order.
std::optional<uint32_t> ParseIpv4(const char* text);

class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient() { Close(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Opens a socket and connects it to address (network order) and port (host
  // order), waiting at most timeoutMs. Success only once the socket reports
  // no pending error; any failure closes the socket again. An attempt that
  // was refused or failed once under way is Refused; Failed means it could
  // not begin.
  SocketResult Connect(uint32_t address, uint16_t port, uint32_t timeoutMs,
                       const WaitCancel& cancel);
  // Sends every byte within timeoutMs in all, however the peer paces it.
  SocketResult SendAll(const void* bytes, size_t length, uint32_t timeoutMs,
                       const WaitCancel& cancel);
  // Receives exactly length bytes within timeoutMs in all.
  SocketResult RecvAll(void* buffer, size_t length, uint32_t timeoutMs, const WaitCancel& cancel);
  void Close();

 private:
  // Waits for events on the socket; Done when they (or an error) arrived.
  SocketResult WaitFor(short events, uint32_t timeoutMs, const WaitCancel& cancel) const;

  int fd_ = -1;
};

}  // namespace quvex::platform
