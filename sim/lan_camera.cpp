// A simulated LAN camera: one thread accepts connections, one thread per
// connection reads its messages and answers them with blocking sockets.
// Shutting down wakes them all through shutdown() and an eventfd.
#include "lan_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "lan_frame_replay.h"
#include "simulator_cpu.h"

namespace quvex::sim {

namespace {

constexpr uint8_t kFrameCommand = 0;
constexpr uint8_t kRegisterCommand = 1;
constexpr uint8_t kTemperatureCommand = 2;
constexpr uint32_t kLongestMessage = 1024;
constexpr size_t kHeaderBytes = 5;

uint32_t BigEndian32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
         uint32_t{bytes[3]};
}

void PutBigEndian32(uint32_t value, uint8_t* bytes) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

// Takes one from a positive count; false when it is 0.
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

SimLanCamera::SimLanCamera(const std::string& address, uint16_t port)
    : address_(address), port_(port), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  listening_ = OpenListener();
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

SimLanCamera::~SimLanCamera() {
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
    connection->thread.join();
    close(connection->fd);
  }
  if (listener_ >= 0) close(listener_);
  if (wake_ >= 0) close(wake_);
}

bool SimLanCamera::Listening() const {
  std::lock_guard lock(mutex_);
  return listening_;
}

uint16_t SimLanCamera::Sample(uint32_t frame, int row, int column) {
  return static_cast<uint16_t>(6000 + (frame % 64) * 10 + row * 8 + column);
}

uint32_t SimLanCamera::FrameCounterOf(const uint16_t* samples) {
  return (samples[0] - 6000u) / 10u;
}

bool SimLanCamera::OpenListener() {
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

void SimLanCamera::Touch() {
  ++version_;
  changed_.notify_all();
}

void SimLanCamera::SetRefusing(bool refusing) {
  std::unique_lock lock(mutex_);
  refusing_ = refusing;
  Wake(wake_);
  // Bounded: reopening fails while another socket holds the address.
  changed_.wait_for(lock, std::chrono::seconds(10),
                    [&] { return shutdown_ || listening_ != refusing_; });
}

void SimLanCamera::OverrideReplyLength(int count, uint32_t length) {
  {
    std::lock_guard lock(mutex_);
    replyLength_ = length;
  }
  lengthOverrides_.store(count);
}

void SimLanCamera::AcceptLoop() {
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
    std::lock_guard lock(mutex_);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection* served = connection.get();
    connections_.push_back(std::move(connection));
    served->thread = std::thread([this, served] { Serve(served); });
    Touch();
  }
}

bool SimLanCamera::Log(Connection* connection, const uint8_t* bytes, size_t length) {
  std::lock_guard lock(mutex_);
  connection->received.insert(connection->received.end(), bytes, bytes + length);
  Touch();
  return !shutdown_;
}

bool SimLanCamera::Receive(Connection* connection, uint8_t* buffer, size_t length) {
  while (length > 0) {
    const ssize_t got = recv(connection->fd, buffer, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (!Log(connection, buffer, static_cast<size_t>(got))) return false;
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

void SimLanCamera::Serve(Connection* connection) {
  const SimulatorThread counted;
  std::vector<uint8_t> message;
  for (;;) {
    uint8_t prefix[4];
    if (!Receive(connection, prefix, sizeof prefix)) break;
    const uint32_t length = BigEndian32(prefix);
    if (length < kHeaderBytes || length > kLongestMessage) break;
    message.assign(prefix, prefix + 4);
    message.resize(length);
    if (!Receive(connection, message.data() + 4, length - 4)) break;
    if (!Answer(connection, message)) break;
  }
  // The descriptor is closed only once this thread has been joined.
  shutdown(connection->fd, SHUT_RDWR);
  std::lock_guard lock(mutex_);
  Touch();
}

bool SimLanCamera::Nap(uint32_t ms) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return shutdown_; });
}

bool SimLanCamera::Answer(Connection* connection, const std::vector<uint8_t>& message) {
  const uint8_t command = message[4];
  {
    std::lock_guard lock(mutex_);
    if (command == kFrameCommand) ++frameRequests_;
    if (command == kRegisterCommand && message.size() >= 8) {
      registerWrites_.push_back({message[5], static_cast<uint16_t>(message[6] << 8 | message[7])});
    }
    Touch();
  }
  if (stalled_.load()) return true;
  if (command == kTemperatureCommand) {
    uint8_t reply[11] = {0, 0, 0, 11, kTemperatureCommand};
    const uint16_t value = temperature_.load();
    reply[9] = static_cast<uint8_t>(value >> 8);
    reply[10] = static_cast<uint8_t>(value);
    return SendAll(connection->fd, reply, sizeof reply);
  }
  if (command != kFrameCommand) return true;
  if (const uint32_t delay = frameDelayMs_.load(); delay > 0 && !Nap(delay)) return false;
  uint32_t headerLength = static_cast<uint32_t>(kHeaderBytes + kFrameBytes);
  if (TakeOne(lengthOverrides_)) {
    std::lock_guard lock(mutex_);
    headerLength = replyLength_;
  }
  if (static_cast<int32_t>(headerLength) <= static_cast<int32_t>(kHeaderBytes)) {
    uint8_t header[kHeaderBytes] = {0, 0, 0, 0, kFrameCommand};
    PutBigEndian32(headerLength, header);
    return SendAll(connection->fd, header, sizeof header);
  }
  return SendFrame(connection->fd, headerLength);
}

bool SimLanCamera::SendFrame(int fd, uint32_t headerLength) {
  const uint32_t frame = framesServed_.load();
  uint8_t header[kHeaderBytes] = {0, 0, 0, 0, kFrameCommand};
  PutBigEndian32(headerLength, header);
  if (TakeOne(closeMidFrame_)) {
    SendLanFrame(fd, header, kHeaderBytes, frame, kFrameBytes / 2);
    return false;  // the connection closes halfway through the frame
  }
  if (const uint32_t interval = trickleMs_.load(); interval > 0) {
    // A trickling camera: the header, then one byte of the frame at a time.
    if (!SendAll(fd, header, kHeaderBytes)) return false;
    for (size_t at = 0; at < kFrameBytes; ++at) {
      const size_t sample = at / 2;
      const uint16_t value = Sample(frame, static_cast<int>(sample / kWidth),
                                    static_cast<int>(sample % kWidth));
      const auto byte = static_cast<uint8_t>(at % 2 == 0 ? value : value >> 8);
      if (!Nap(interval) || !SendAll(fd, &byte, 1)) return false;
    }
  } else if (!SendLanFrame(fd, header, kHeaderBytes, frame, kFrameBytes)) {
    return false;
  }
  ++framesServed_;
  std::lock_guard lock(mutex_);
  Touch();
  return true;
}

size_t SimLanCamera::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::vector<uint8_t> SimLanCamera::Received(size_t connection) const {
  std::lock_guard lock(mutex_);
  if (connection >= connections_.size()) return {};
  return connections_[connection]->received;
}

std::vector<std::vector<uint8_t>> SimLanCamera::Messages(size_t connection) const {
  const std::vector<uint8_t> bytes = Received(connection);
  std::vector<std::vector<uint8_t>> messages;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const uint32_t length = BigEndian32(&bytes[at]);
    // Only whole messages: the rest of the last one may still be on its way.
    if (length < 4 || length > bytes.size() - at) break;
    const size_t end = at + length;
    messages.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
  }
  return messages;
}

std::vector<SimLanCamera::RegisterWrite> SimLanCamera::RegisterWrites() const {
  std::lock_guard lock(mutex_);
  return registerWrites_;
}

bool SimLanCamera::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) const {
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
