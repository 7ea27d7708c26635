// The port-8886 messages. Every message starts with its total length
// (4 bytes, big-endian, the length field included) and a command byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "transports/lan/lan_link.h"

namespace quvex {

inline constexpr uint16_t QUVEX_LAN_PORT = 8886;
inline constexpr uint8_t QUVEX_LAN_CMD_FRAME = 0;
inline constexpr uint8_t QUVEX_LAN_CMD_WRITE_REGISTER = 1;
inline constexpr uint8_t QUVEX_LAN_CMD_TEMPERATURE = 2;

// A frame reply: a 5-byte header, then 320 x 240 little-endian 16-bit samples.
inline constexpr size_t kLanFrameHeaderBytes = 5;
inline constexpr size_t kLanFrameBytes = 320 * 240 * 2;
inline constexpr size_t kLanTemperatureBytes = 11;

std::array<uint8_t, 5> FrameRequestMessage();
std::array<uint8_t, 8> RegisterWriteMessage(uint8_t registerNumber, uint16_t value);
std::array<uint8_t, kLanTemperatureBytes> TemperatureQueryMessage();

// The length field of a message header, read as signed.
int32_t MessageLength(const uint8_t* header);

// Requests one frame and receives its samples straight into target, which
// must hold kLanFrameBytes. A header whose length is 5 or less fails and
// keeps the connection; a failed send or receive closes it.
bool RequestFrame(LanLink& connection, uint8_t* target, size_t capacity);
// The same for a caller that already holds connection.Use().
bool RequestFrameInUse(LanLink& connection, uint8_t* target, size_t capacity);

enum class RegisterWrite { Sent, NotConnected, SendFailed };
// Sends a register write; no reply comes. A failed send closes the connection.
RegisterWrite WriteRegister(LanLink& connection, uint8_t registerNumber, uint16_t value);

// The camera's 16-bit sensor value of an internal-temperature query (its
// reading in degrees is the camera object's business), or none. A failed send
// or receive closes the connection.
std::optional<uint16_t> QueryTemperature(LanLink& connection);

}  // namespace quvex
