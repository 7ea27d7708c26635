// A simulated port-123 camera: one thread accepts connections, one thread per
// connection reads what arrives, and one more per streaming connection sends
// frames, all with blocking sockets. Shutting down wakes them all through
// shutdown() and an eventfd.
#include "stream_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace quvex::sim {

namespace {

constexpr uint8_t kStart = 0x01;
constexpr uint8_t kCommand = 0x20;
constexpr uint8_t kStatus = 0x10;
constexpr size_t kCommandBytes = 6;
constexpr size_t kStatusReplyBytes = 16;
constexpr uint16_t kStatusWord = 0x0001;  // "running"

bool TakeOne(std::atomic<int>& count) {
  int value = count.load();
  while (value > 0) {
    if (count.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}

bool SendAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, bytes, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

void Wake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

}  // namespace

SimStreamCamera::SimStreamCamera(const std::string& address, uint16_t port)
    : address_(address), port_(port), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  listening_ = OpenListener();
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

SimStreamCamera::~SimStreamCamera() {
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    ++version_;
  }
  changed_.notify_all();
  Wake(wake_);
  acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) shutdown(connection->fd, SHUT_RDWR);
  }
  for (const auto& connection : connections_) {
    connection->reader.join();
    if (connection->streamer.joinable()) connection->streamer.join();
    close(connection->fd);
  }
  if (listener_ >= 0) close(listener_);
  if (wake_ >= 0) close(wake_);
}

bool SimStreamCamera::Listening() const {
  std::lock_guard lock(mutex_);
  return listening_;
}

bool SimStreamCamera::OpenListener() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_port = htons(port_);
  if (inet_pton(AF_INET, address_.c_str(), &self.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return false;
  }
  listener_ = fd;
  return true;
}

void SimStreamCamera::Touch() {
  ++version_;
  changed_.notify_all();
}

void SimStreamCamera::SetRefusing(bool refusing) {
  std::unique_lock lock(mutex_);
  refusing_ = refusing;
  Wake(wake_);
  changed_.wait_for(lock, std::chrono::seconds(10),
                    [&] { return shutdown_ || listening_ != refusing_; });
}

void SimStreamCamera::SetStalled(bool stalled) {
  std::lock_guard lock(mutex_);
  stalled_ = stalled;
  Touch();
}

void SimStreamCamera::AcceptLoop() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (shutdown_) return;
      if (refusing_ && listener_ >= 0) {
        close(listener_);
        listener_ = -1;
      } else if (!refusing_ && listener_ < 0) {
        OpenListener();
      }
      listening_ = listener_ >= 0;
      Touch();
    }
    pollfd fds[2] = {{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
    if (poll(fds, listener_ >= 0 ? 2 : 1, -1) < 0) continue;
    if (fds[0].revents != 0) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = read(wake_, &count, sizeof count);
      continue;
    }
    if ((fds[1].revents & POLLIN) == 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);  // pieces go out as pieces
    std::lock_guard lock(mutex_);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection* served = connection.get();
    connections_.push_back(std::move(connection));
    served->reader = std::thread([this, served] { Serve(served); });
    Touch();
  }
}

bool SimStreamCamera::Receive(Connection* connection, uint8_t* buffer, size_t length) {
  while (length > 0) {
    const ssize_t got = recv(connection->fd, buffer, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    std::lock_guard lock(mutex_);
    connection->received.insert(connection->received.end(), buffer, buffer + got);
    Touch();
    if (shutdown_) return false;
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

void SimStreamCamera::Serve(Connection* connection) {
  uint8_t first[4];
  if (Receive(connection, first, sizeof first)) {
    if (first[0] == kStart) {
      ++streamsStarted_;
      {
        std::lock_guard lock(mutex_);
        connection->streamer = std::thread([this, fd = connection->fd] { Stream(fd); });
      }
      uint8_t packet[kCommandBytes];
      while (Receive(connection, packet, sizeof packet)) {
        if (packet[0] != kCommand) continue;
        std::lock_guard lock(mutex_);
        commands_.push_back({packet[1], static_cast<uint16_t>(packet[2] << 8 | packet[3])});
        Touch();
      }
    } else if (first[0] == kStatus) {
      ++statusQueries_;
      if (!statusSilent_.load()) {
        uint8_t reply[kStatusReplyBytes] = {kStatusWord & 0xFF, kStatusWord >> 8};
        SendAll(connection->fd, reply, sizeof reply);
      }
      uint8_t rest;
      while (Receive(connection, &rest, 1)) {
      }
    }
  }
  // The descriptor is closed only once both threads have been joined.
  shutdown(connection->fd, SHUT_RDWR);
  std::lock_guard lock(mutex_);
  ++closed_;
  Touch();
}

bool SimStreamCamera::Nap(uint32_t ms) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return shutdown_; });
}

void SimStreamCamera::Stream(int fd) {
  std::vector<uint8_t> frame(kFrameBytes);
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return shutdown_ || !stalled_; });
      if (shutdown_) return;
    }
    if (const uint32_t delay = frameDelayMs_.load(); delay > 0 && !Nap(delay)) return;
    if (!SendFrame(fd, frame)) return;
  }
}

bool SimStreamCamera::SendFrame(int fd, std::vector<uint8_t>& frame) {
  FillFrame(frame.data(), frame.size(), true, kWindow, nextFrame_++);
  if (TakeOne(closeMidFrame_)) {
    SendAll(fd, frame.data(), frame.size() / 2);
    shutdown(fd, SHUT_RDWR);  // the connection closes halfway through the frame
    return false;
  }
  const size_t piece = pieceBytes_.load();
  const size_t step = piece == 0 ? frame.size() : piece;
  for (size_t at = 0; at < frame.size(); at += step) {
    if (!SendAll(fd, frame.data() + at, std::min(step, frame.size() - at))) return false;
  }
  ++framesSent_;
  std::lock_guard lock(mutex_);
  Touch();
  return true;
}

size_t SimStreamCamera::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::vector<uint8_t> SimStreamCamera::Received(size_t connection) const {
  std::lock_guard lock(mutex_);
  if (connection >= connections_.size()) return {};
  return connections_[connection]->received;
}

std::vector<SimStreamCamera::Command> SimStreamCamera::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool SimStreamCamera::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    uint64_t seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = version_;
    }
    if (done()) return true;
    std::unique_lock lock(mutex_);
    if (!changed_.wait_until(lock, deadline, [&] { return version_ != seen; })) {
      lock.unlock();
      return done();
    }
  }
}

}  // namespace quvex::sim
