#include "sim/lan_frame_replay.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>

#include "sim/lan_camera.h"
#include "sim/sample_cycle.h"

namespace quvex::sim {

namespace {

using Camera = SimLanCamera;

// Sample(frame, row, column) is Sample(0, 0, 0) plus an offset that grows by
// one per column: each row is the ramp from its first sample's offset.
size_t RampStart(uint32_t frame, int row) {
  return static_cast<size_t>(Camera::Sample(frame, row, 0) - Camera::Sample(0, 0, 0));
}

const SampleCycle& Ramp() {
  static const SampleCycle ramp(RampStart(63, Camera::kHeight - 1) + Camera::kWidth,
                                [](size_t i) { return Camera::Sample(0, 0, static_cast<int>(i)); });
  return ramp;
}

// Sends every byte of parts, resuming after partial sends.
bool SendParts(int fd, std::span<iovec> parts) {
  while (!parts.empty()) {
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = std::min<size_t>(parts.size(), IOV_MAX);
    const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    auto done = static_cast<size_t>(sent);
    while (!parts.empty() && done >= parts.front().iov_len) {
      done -= parts.front().iov_len;
      parts = parts.subspan(1);
    }
    if (done > 0) {
      parts.front().iov_base = static_cast<uint8_t*>(parts.front().iov_base) + done;
      parts.front().iov_len -= done;
    }
  }
  return true;
}

}  // namespace

bool SendLanFrame(int fd, const uint8_t* header, size_t headerBytes, uint32_t frame,
                  size_t frameBytes) {
  constexpr size_t kRowBytes = Camera::kWidth * 2;
  std::array<iovec, 1 + Camera::kHeight> parts{};
  parts[0] = {const_cast<uint8_t*>(header), headerBytes};
  size_t count = 1;
  size_t left = std::min(frameBytes, Camera::kFrameBytes);
  for (int row = 0; left > 0; ++row, ++count) {
    const size_t length = std::min(left, kRowBytes);
    parts[count] = {const_cast<uint8_t*>(Ramp().Wide(RampStart(frame, row))), length};
    left -= length;
  }
  return SendParts(fd, std::span(parts).first(count));
}

}  // namespace quvex::sim
