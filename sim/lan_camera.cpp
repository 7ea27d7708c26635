// A simulated LAN camera: each connection's thread reads its messages and
// answers them.
#include "sim/lan_camera.h"

#include <algorithm>

#include "sim/lan_frame_replay.h"

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

}  // namespace

SimLanCamera::SimLanCamera(const std::string& address, uint16_t port) : SimServer(address, port) {
  StartAccepting();
}

SimLanCamera::~SimLanCamera() { StopServing(); }

uint16_t SimLanCamera::Sample(uint32_t frame, int row, int column) {
  return static_cast<uint16_t>(6000 + (frame % 64) * 10 + row * 8 + column);
}

uint32_t SimLanCamera::FrameCounterOf(const uint16_t* samples) {
  return (samples[0] - 6000u) / 10u;
}

void SimLanCamera::OverrideReplyLength(int count, uint32_t length) {
  {
    std::lock_guard lock(mutex_);
    replyLength_ = length;
  }
  lengthOverrides_.store(count);
}

void SimLanCamera::Serve(Connection* connection) {
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
}

bool SimLanCamera::Answer(Connection* connection, const std::vector<uint8_t>& message) {
  const uint8_t command = message[4];
  bool swallowed = false;
  {
    std::lock_guard lock(mutex_);
    if (command == kFrameCommand) ++frameRequests_;
    if (command == kRegisterCommand && message.size() >= 8) {
      registerWrites_.push_back({message[5], static_cast<uint16_t>(message[6] << 8 | message[7])});
    }
    // Decided where the request is counted: a test that saw the count and
    // then lifts the stall never has this request answered after all.
    swallowed = stalled_.load();
    Touch();
  }
  if (swallowed) return true;
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

}  // namespace quvex::sim
