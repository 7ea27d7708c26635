// The camera's image packets: 1066 bytes on the wire, an Ethernet, IPv4 and
// UDP header, and 1024 bytes of the image stream. The IPv4 Identification is
// the packet's sequence number; blocks of 64 packets are acknowledged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transports/gige/gige_command_frame.h"

namespace quvex {

inline constexpr size_t kGigEPacketBytes = 1066;
inline constexpr size_t kGigEPayloadOffset = 42;
inline constexpr size_t kGigEPayloadBytes = 1024;
inline constexpr size_t kGigESourceMacOffset = 6;
inline constexpr size_t kGigESequenceOffset = 18;
inline constexpr uint16_t kGigEBlockPackets = 64;

inline uint16_t PacketSequence(const uint8_t* packet) {
  return static_cast<uint16_t>(packet[kGigESequenceOffset] << 8 | packet[kGigESequenceOffset + 1]);
}

inline bool PacketFrom(const uint8_t* packet, const MacAddress& mac) {
  return std::memcmp(packet + kGigESourceMacOffset, mac.data(), mac.size()) == 0;
}

// The block a sequence number belongs to: 1 to 64 give 64, 65 to 128 give
// 128, 0 gives 0 (16-bit arithmetic).
inline uint16_t SequenceBlock(uint16_t sequence) {
  return static_cast<uint16_t>((sequence + 63) & 0xFFC0);
}

// What the packet handler does with a packet of the found camera.
enum class SequenceAction {
  Accept,        // the expected packet: feed it
  AcceptAndAck,  // the expected packet that ends a block: acknowledge, then feed
  Ignore,        // out of order within the current block, or of the last block
  AckAgain,      // the last block's final packet again: acknowledge it again
  Resync,        // another block: start over from this packet
};

inline SequenceAction ClassifySequence(uint16_t sequence, uint16_t expected) {
  if (sequence == expected) {
    return sequence % kGigEBlockPackets == 0 ? SequenceAction::AcceptAndAck
                                             : SequenceAction::Accept;
  }
  const uint16_t block = SequenceBlock(sequence);
  const uint16_t expectedBlock = SequenceBlock(expected);
  if (block == expectedBlock) return SequenceAction::Ignore;
  if (expected % kGigEBlockPackets == 1 &&
      block == static_cast<uint16_t>(expectedBlock - kGigEBlockPackets)) {
    return sequence % kGigEBlockPackets == 0 ? SequenceAction::AckAgain : SequenceAction::Ignore;
  }
  return SequenceAction::Resync;
}

}  // namespace quvex
