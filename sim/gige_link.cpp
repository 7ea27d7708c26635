#include "sim/gige_link.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "quvex/quvex_packet.h"
#include "quvex_platform/packet_port.h"

namespace quvex::sim {

namespace {
std::atomic<int> linkCount{0};
constexpr auto kFullQueueWait = std::chrono::milliseconds(200);
}  // namespace

InProcessGigELink::InProcessGigELink()
    : name_("quvex-sim-gige-" + std::to_string(linkCount.fetch_add(1))) {
  const QuvexPacketDriver driver{this, &Open, &ReceiveFromCamera, &SendToCamera, &Close};
  installed_ = QuvexPacket_InstallDriver(name_.c_str(), kDescription, &driver) == 1;
}

InProcessGigELink::~InProcessGigELink() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (installed_) QuvexPacket_RemoveDriver(name_.c_str());
}

int InProcessGigELink::OpenPorts() const {
  std::lock_guard lock(mutex_);
  return openPorts_;
}

void* InProcessGigELink::Open(void* context) {
  auto* link = static_cast<InProcessGigELink*>(context);
  std::lock_guard lock(link->mutex_);
  ++link->openPorts_;
  link->toHost_.clear();  // what was sent before nobody heard
  return link;
}

void InProcessGigELink::Close(void* context, void*) {
  auto* link = static_cast<InProcessGigELink*>(context);
  {
    std::lock_guard lock(link->mutex_);
    --link->openPorts_;
    if (link->openPorts_ == 0) link->toHost_.clear();
  }
  link->changed_.notify_all();
}

int InProcessGigELink::ReceiveFromCamera(void* context, void*, uint8_t* buffer, uint32_t capacity,
                                         uint32_t* length, int64_t* seconds,
                                         int32_t* microseconds, uint32_t waitMs) {
  auto* link = static_cast<InProcessGigELink*>(context);
  std::unique_lock lock(link->mutex_);
  if (!link->changed_.wait_for(lock, std::chrono::milliseconds(waitMs),
                               [link] { return !link->toHost_.empty() || link->closing_; })) {
    return 0;
  }
  if (link->toHost_.empty()) return -1;  // closing
  Queued packet = std::move(link->toHost_.front());
  link->toHost_.pop_front();
  lock.unlock();
  link->changed_.notify_all();
  *length = static_cast<uint32_t>(packet.bytes.size());
  std::memcpy(buffer, packet.bytes.data(), std::min<size_t>(capacity, packet.bytes.size()));
  *seconds = packet.seconds;
  *microseconds = packet.microseconds;
  return 1;
}

int InProcessGigELink::SendToCamera(void* context, void*, const uint8_t* frame, uint32_t length) {
  auto* link = static_cast<InProcessGigELink*>(context);
  {
    std::lock_guard lock(link->mutex_);
    link->toCamera_.emplace_back(frame, frame + length);
  }
  link->changed_.notify_all();
  return 1;
}

bool InProcessGigELink::Receive(std::vector<uint8_t>& frame, uint32_t waitMs) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(waitMs),
                         [this] { return !toCamera_.empty() || closing_; }) ||
      toCamera_.empty()) {
    return false;
  }
  frame = std::move(toCamera_.front());
  toCamera_.pop_front();
  return true;
}

void InProcessGigELink::Send(const uint8_t* packet, size_t length) {
  const platform::PacketTime now = platform::GetTimeOfDay();
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kFullQueueWait,
                    [this] { return toHost_.size() < kQueueLimit || openPorts_ == 0 || closing_; });
  if (openPorts_ == 0 || closing_ || toHost_.size() >= kQueueLimit) return;
  toHost_.push_back({std::vector<uint8_t>(packet, packet + length), now.seconds, now.microseconds});
  lock.unlock();
  changed_.notify_all();
}

RawSocketGigELink::RawSocketGigELink(const std::string& interfaceName) {
  const unsigned index = if_nametoindex(interfaceName.c_str());
  if (index == 0) {
    error_ = "no interface " + interfaceName;
    return;
  }
  fd_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
  if (fd_ < 0) {
    error_ = std::string("packet socket: ") + std::strerror(errno);
    return;
  }
  sockaddr_ll address{};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(ETH_P_ALL);
  address.sll_ifindex = static_cast<int>(index);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error_ = std::string("bind: ") + std::strerror(errno);
    close(fd_);
    fd_ = -1;
  }
}

RawSocketGigELink::~RawSocketGigELink() {
  if (fd_ >= 0) close(fd_);
}

bool RawSocketGigELink::Receive(std::vector<uint8_t>& frame, uint32_t waitMs) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  uint8_t buffer[2048];
  for (;;) {
    sockaddr_ll from{};
    socklen_t size = sizeof from;
    const ssize_t got = recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &size);
    if (got > 0 && from.sll_pkttype != PACKET_OUTGOING) {
      frame.assign(buffer, buffer + got);
      return true;
    }
    if (got > 0) continue;  // its own packets going out
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
  }
}

void RawSocketGigELink::Send(const uint8_t* packet, size_t length) {
  if (fd_ < 0) return;
  for (;;) {
    if (send(fd_, packet, length, 0) >= 0 || errno != ENOBUFS) return;
    usleep(100);  // the queue of the interface is full: wait for room
  }
}

}  // namespace quvex::sim
