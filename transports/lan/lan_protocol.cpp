// The port-8886 messages. Each exchange holds the connection's use lock from
// its request to the end of its reply, so concurrent users never interleave.
#include "transports/lan/lan_protocol.h"

namespace quvex {

std::array<uint8_t, 5> FrameRequestMessage() { return {0, 0, 0, 5, QUVEX_LAN_CMD_FRAME}; }

std::array<uint8_t, 8> RegisterWriteMessage(uint8_t registerNumber, uint16_t value) {
  const auto high = static_cast<uint8_t>(value >> 8);
  const auto low = static_cast<uint8_t>(value & 0xFF);
  return {0, 0, 0, 8, QUVEX_LAN_CMD_WRITE_REGISTER, registerNumber, high, low};
}

std::array<uint8_t, kLanTemperatureBytes> TemperatureQueryMessage() {
  return {0, 0, 0, kLanTemperatureBytes, QUVEX_LAN_CMD_TEMPERATURE, 0, 0, 0, 0, 0, 0};
}

int32_t MessageLength(const uint8_t* header) {
  const uint32_t length = uint32_t{header[0]} << 24 | uint32_t{header[1]} << 16 |
                          uint32_t{header[2]} << 8 | uint32_t{header[3]};
  return static_cast<int32_t>(length);
}

bool RequestFrame(LanLink& connection, uint8_t* target, size_t capacity) {
  const auto use = connection.Use();
  return RequestFrameInUse(connection, target, capacity);
}

bool RequestFrameInUse(LanLink& connection, uint8_t* target, size_t capacity) {
  if (target == nullptr || capacity < kLanFrameBytes) return false;
  if (connection.Connect() == 0) return false;
  const auto request = FrameRequestMessage();
  uint8_t header[kLanFrameHeaderBytes];
  if (connection.SendAll(request.data(), request.size()) == 0 ||
      connection.RecvAll(header, sizeof header) == 0) {
    connection.Close();
    return false;
  }
  // Only the length is examined; whatever it says above 5, one frame follows.
  if (MessageLength(header) <= static_cast<int32_t>(kLanFrameHeaderBytes)) return false;
  if (connection.RecvAll(target, kLanFrameBytes) == 0) {
    connection.Close();
    return false;
  }
  return true;
}

RegisterWrite WriteRegister(LanLink& connection, uint8_t registerNumber, uint16_t value) {
  const auto use = connection.Use();
  if (connection.Connect() == 0) return RegisterWrite::NotConnected;
  const auto message = RegisterWriteMessage(registerNumber, value);
  if (connection.SendAll(message.data(), message.size()) == 0) {
    connection.Close();
    return RegisterWrite::SendFailed;
  }
  return RegisterWrite::Sent;
}

std::optional<uint16_t> QueryTemperature(LanLink& connection) {
  auto message = TemperatureQueryMessage();
  const auto use = connection.Use();
  if (connection.Connect() == 0) return std::nullopt;
  if (connection.SendAll(message.data(), message.size()) == 0 ||
      connection.RecvAll(message.data(), message.size()) == 0) {
    connection.Close();
    return std::nullopt;
  }
  return static_cast<uint16_t>(message[9] << 8 | message[10]);
}

}  // namespace quvex
