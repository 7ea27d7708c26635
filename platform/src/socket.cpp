// TCP client sockets over POSIX: non-blocking sockets, poll() on the socket
// together with an eventfd that another thread raises to cancel.
#include "quvex_platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace quvex::platform {

namespace {

using Clock = std::chrono::steady_clock;

// poll() until an event, the deadline or the cancel; EINTR restarts with the
// time that is left. Returns poll's count, 0 on time-out, -1 on failure.
int PollUntil(pollfd* fds, nfds_t count, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const int ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    const int ready = poll(fds, count, ms);
    if (ready >= 0 || errno != EINTR) return ready;
  }
}

Clock::time_point DeadlineIn(uint32_t ms) { return Clock::now() + std::chrono::milliseconds(ms); }

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Milliseconds left until deadline; 0 once it has passed.
uint32_t MsUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

}  // namespace

WaitCancel::WaitCancel() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WaitCancel::~WaitCancel() {
  if (fd_ >= 0) close(fd_);
}

void WaitCancel::Set() {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 raises; a failed write leaves it readable.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void WaitCancel::Reset() {
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
}

bool WaitCancel::IsSet() const { return Wait(0); }

bool WaitCancel::Wait(uint32_t ms) const {
  if (fd_ < 0) return false;
  pollfd fd{fd_, POLLIN, 0};
  return PollUntil(&fd, 1, DeadlineIn(ms)) > 0;
}

std::optional<uint32_t> ParseIpv4(const char* text) {
  in_addr address{};
  if (text == nullptr || inet_pton(AF_INET, text, &address) != 1) return std::nullopt;
  return address.s_addr;
}

SocketResult TcpClient::WaitFor(short events, uint32_t timeoutMs, const WaitCancel& cancel) const {
  if (!cancel.Valid()) return SocketResult::Failed;
  pollfd fds[2] = {{cancel.Descriptor(), POLLIN, 0}, {fd_, events, 0}};
  const int ready = PollUntil(fds, 2, DeadlineIn(timeoutMs));
  if (ready < 0) return SocketResult::Failed;
  if (fds[0].revents != 0) return SocketResult::Cancelled;
  if (ready == 0) return SocketResult::TimedOut;
  return SocketResult::Done;  // readiness or an error: the next call tells which
}

SocketResult TcpClient::Connect(uint32_t address, uint16_t port, uint32_t timeoutMs,
                                const WaitCancel& cancel) {
  if (IsOpen()) return SocketResult::Done;
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return SocketResult::Failed;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  SocketResult result = SocketResult::Done;
  if (connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno == ECONNREFUSED) {
      result = SocketResult::Refused;  // a local address may refuse at once
    } else if (errno != EINPROGRESS) {
      result = SocketResult::Failed;
    } else {
      result = WaitFor(POLLOUT, timeoutMs, cancel);
      if (result == SocketResult::Done) {
        // Writable only says the attempt ended; the pending error says how.
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
          result = SocketResult::Failed;
        } else if (error != 0) {
          result = SocketResult::Refused;
        }
      }
    }
  }
  if (result != SocketResult::Done) Close();
  return result;
}

SocketResult TcpClient::SendAll(const void* bytes, size_t length, uint32_t timeoutMs,
                                const WaitCancel& cancel) {
  if (length == 0) return SocketResult::Done;
  if (!IsOpen()) return SocketResult::Failed;
  const auto deadline = DeadlineIn(timeoutMs);
  const auto* next = static_cast<const uint8_t*>(bytes);
  while (length > 0) {
    const ssize_t sent = send(fd_, next, length, MSG_NOSIGNAL);
    if (sent > 0) {
      next += sent;
      length -= static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent == 0 || !WouldBlock(errno)) return SocketResult::Failed;
    // One bound for the whole call: a peer that trickles never holds it longer.
    const uint32_t left = MsUntil(deadline);
    if (left == 0) return SocketResult::TimedOut;
    const SocketResult waited = WaitFor(POLLOUT, left, cancel);
    if (waited != SocketResult::Done) return waited;
  }
  return SocketResult::Done;
}

SocketResult TcpClient::RecvAll(void* buffer, size_t length, uint32_t timeoutMs,
                                const WaitCancel& cancel) {
  if (length == 0) return SocketResult::Done;
  if (!IsOpen()) return SocketResult::Failed;
  const auto deadline = DeadlineIn(timeoutMs);
  auto* next = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const ssize_t got = recv(fd_, next, length, 0);
    if (got > 0) {
      next += got;
      length -= static_cast<size_t>(got);
      continue;
    }
    if (got == 0) return SocketResult::PeerClosed;
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return SocketResult::Failed;
    // One bound for the whole call: a peer that trickles never holds it longer.
    const uint32_t left = MsUntil(deadline);
    if (left == 0) return SocketResult::TimedOut;
    const SocketResult waited = WaitFor(POLLIN, left, cancel);
    if (waited != SocketResult::Done) return waited;
  }
  return SocketResult::Done;
}

void TcpClient::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

}  // namespace quvex::platform
