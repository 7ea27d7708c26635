// The port-123 stream of the older LAN camera. After a 4-byte start message
// the camera streams raw frames back to back, with no header: the receiver
// cuts them by count. Commands go the other way as 6-byte packets carrying a
// camera register and its 16-bit value, big-endian. A second, short-lived
// connection carries the status query.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quvex {

inline constexpr uint16_t QUVEX_LAN_STREAM_PORT = 123;
inline constexpr uint8_t QUVEX_LAN_STREAM_START = 0x01;
inline constexpr uint8_t QUVEX_LAN_STREAM_COMMAND = 0x20;
inline constexpr uint8_t QUVEX_LAN_STREAM_STATUS = 0x10;

// One frame: 320 x 240 samples of 16 bits, least-significant byte first.
inline constexpr size_t kStreamFrameBytes = size_t{320} * 240 * 2;
inline constexpr size_t kStreamStatusReplyBytes = 16;

using LanStartPacket = std::array<uint8_t, 4>;
using LanCommandPacket = std::array<uint8_t, 6>;
using LanStatusRequest = std::array<uint8_t, 4>;

constexpr LanStartPacket StartPacket() { return {QUVEX_LAN_STREAM_START, 0, 0, 0}; }

constexpr LanCommandPacket CommandPacket(uint8_t code, uint16_t value) {
  return {QUVEX_LAN_STREAM_COMMAND, code, static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value & 0xFF), 0, 0};
}

constexpr LanStatusRequest StatusRequest() { return {QUVEX_LAN_STREAM_STATUS, 0, 0, 0}; }

}  // namespace quvex
