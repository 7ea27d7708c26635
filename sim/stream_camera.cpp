// A simulated port-123 camera: each connection is served on its own thread,
// and a streaming connection gets one more thread that sends its frames.
#include "stream_camera.h"

#include "simulator_cpu.h"

#include <sys/socket.h>

#include <algorithm>

namespace quvex::sim {

namespace {

constexpr uint8_t kStart = 0x01;
constexpr uint8_t kCommand = 0x20;
constexpr uint8_t kStatus = 0x10;
constexpr size_t kCommandBytes = 6;
constexpr size_t kStatusReplyBytes = 16;
constexpr uint16_t kStatusWord = 0x0001;  // "running"

}  // namespace

SimStreamCamera::SimStreamCamera(const std::string& address, uint16_t port)
    : SimServer(address, port) {
  StartAccepting();
}

SimStreamCamera::~SimStreamCamera() { StopServing(); }

void SimStreamCamera::SetStalled(bool stalled) {
  std::lock_guard lock(mutex_);
  stalled_ = stalled;
  Touch();
}

void SimStreamCamera::Serve(Connection* connection) {
  uint8_t first[4];
  if (!Receive(connection, first, sizeof first)) return;
  if (first[0] == kStart) {
    ++streamsStarted_;
    {
      std::lock_guard lock(mutex_);
      connection->sending = std::thread([this, fd = connection->fd] {
        const SimulatorThread counted;
        Stream(fd);
      });
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

std::vector<SimStreamCamera::Command> SimStreamCamera::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

}  // namespace quvex::sim
