// A simulated port-123 camera: each connection is served on its own thread,
// and a streaming connection gets one more thread that sends its frames.
#include "sim/stream_camera.h"

#include "sim/simulator_cpu.h"

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

void SimStreamCamera::HoldMidFrame(bool hold) {
  std::lock_guard lock(mutex_);
  holdMidFrame_ = hold;
  Touch();
}

std::optional<uint32_t> SimStreamCamera::FrameBeforeTheHeld() const {
  std::lock_guard lock(mutex_);
  return beforeTheHeld_;
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
  std::optional<uint32_t> previous;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return shutdown_ || !stalled_; });
      if (shutdown_) return;
    }
    if (const uint32_t delay = frameDelayMs_.load(); delay > 0 && !Nap(delay)) return;
    if (!SendFrame(fd, frame, previous)) return;
  }
}

bool SimStreamCamera::SendFrame(int fd, std::vector<uint8_t>& frame,
                                std::optional<uint32_t>& previous) {
  const uint32_t counter = nextFrame_++;
  FillFrame(frame.data(), frame.size(), true, kWindow, counter);
  const size_t half = frame.size() / 2;
  if (TakeOne(closeMidFrame_)) {
    SendAll(fd, frame.data(), half);
    shutdown(fd, SHUT_RDWR);  // the connection closes halfway through the frame
    return false;
  }
  if (!SendPieces(fd, frame, 0, half) || !HoldHalfway(previous) ||
      !SendPieces(fd, frame, half, frame.size())) {
    return false;
  }
  previous = counter;
  ++framesSent_;
  std::lock_guard lock(mutex_);
  Touch();
  return true;
}

bool SimStreamCamera::SendPieces(int fd, const std::vector<uint8_t>& frame, size_t from,
                                 size_t to) {
  const size_t piece = pieceBytes_.load();
  const size_t step = piece == 0 ? frame.size() : piece;
  for (size_t at = from; at < to; at += step) {
    if (!SendAll(fd, frame.data() + at, std::min(step, to - at))) return false;
  }
  return true;
}

bool SimStreamCamera::HoldHalfway(const std::optional<uint32_t>& previous) {
  std::unique_lock lock(mutex_);
  if (!holdMidFrame_ || !previous) return true;
  beforeTheHeld_ = previous;
  Touch();
  changed_.wait(lock, [&] { return shutdown_ || !holdMidFrame_; });
  beforeTheHeld_.reset();
  return !shutdown_;
}

std::vector<SimStreamCamera::Command> SimStreamCamera::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

}  // namespace quvex::sim
