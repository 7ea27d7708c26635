// The simulated cameras' TCP server: one thread accepts connections, one
// thread per connection serves it, all with blocking sockets. Shutting down
// wakes them all through shutdown() and an eventfd.
#include "sim/sim_server.h"

#include "sim/simulator_cpu.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace quvex::sim {

namespace {

void Wake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
}

}  // namespace

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

bool TakeOne(std::atomic<int>& count) {
  int value = count.load();
  while (value > 0) {
    if (count.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}

SimServer::SimServer(std::string address, uint16_t port)
    : address_(std::move(address)), port_(port), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  listening_ = OpenListener();
}

SimServer::~SimServer() { StopServing(); }

void SimServer::StartAccepting() {
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void SimServer::StopServing() {
  if (stopped_) return;
  stopped_ = true;
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    Touch();
  }
  Wake(wake_);
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) shutdown(connection->fd, SHUT_RDWR);
  }
  for (const auto& connection : connections_) {
    connection->serving.join();
    if (connection->sending.joinable()) connection->sending.join();
    close(connection->fd);
  }
  if (listener_ >= 0) close(listener_);
  if (wake_ >= 0) close(wake_);
}

bool SimServer::Listening() const {
  std::lock_guard lock(mutex_);
  return listening_;
}

bool SimServer::OpenListener() {
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

void SimServer::Touch() {
  ++version_;
  changed_.notify_all();
}

void SimServer::SetRefusing(bool refusing) {
  std::unique_lock lock(mutex_);
  refusing_ = refusing;
  Wake(wake_);
  // Bounded: reopening fails while another socket holds the address.
  changed_.wait_for(lock, std::chrono::seconds(10),
                    [&] { return shutdown_ || listening_ != refusing_; });
}

void SimServer::AcceptLoop() {
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
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);  // small sends go out as sent
    std::lock_guard lock(mutex_);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection* served = connection.get();
    connections_.push_back(std::move(connection));
    served->serving = std::thread([this, served] {
      const SimulatorThread counted;  // the camera's own CPU, not the SDK's
      Serve(served);
      // The descriptor is closed only once the connection's threads are joined.
      shutdown(served->fd, SHUT_RDWR);
      std::lock_guard done(mutex_);
      ++closed_;
      Touch();
    });
    Touch();
  }
}

bool SimServer::Receive(Connection* connection, uint8_t* buffer, size_t length) {
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

bool SimServer::Nap(uint32_t ms) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return shutdown_; });
}

size_t SimServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::vector<uint8_t> SimServer::Received(size_t connection) const {
  std::lock_guard lock(mutex_);
  if (connection >= connections_.size()) return {};
  return connections_[connection]->received;
}

bool SimServer::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) const {
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
