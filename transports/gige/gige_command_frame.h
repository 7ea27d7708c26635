// The one 256-byte raw 802.3 frame that carries everything sent to a GigE
// camera: commands, register writes, the discovery probe and
// acknowledgements. Only a command resets it; every other operation changes
// a few bytes of whatever frame was built last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quvex {

inline constexpr uint8_t QUVEX_GIGE_CMD_REQUEST_FRAME = 26;
inline constexpr uint8_t QUVEX_GIGE_CMD_STOP = 29;
inline constexpr uint8_t kGigERegisterWriteKind = 1;

using MacAddress = std::array<uint8_t, 6>;

class GigECommandFrame {
 public:
  static constexpr size_t kSize = 256;
  using Bytes = std::array<uint8_t, kSize>;

  GigECommandFrame() { Init(); }

  // Camera address "MORVA" and a 0 byte, then Reset.
  void Init();
  // All zero, then destination, source "MORVAQ", length 256, flags 0xFF and
  // the fixed text "MORVAX".
  void Reset();
  // Reset, then a command: flags bit 7 cleared, 0x80, the command code.
  void SetCommand(uint8_t code);
  // On the current frame: flags keep bits 7, 5 and 4; kind, register, value.
  void SetRegisterWrite(uint8_t kind, uint16_t registerNumber, uint32_t value);
  void SetDiscovery() { frame_[41] = 1; }
  void SetDestination(const MacAddress& mac);
  void SetAckNumber(uint16_t sequence);
  // The camera address becomes mac, in the frame too.
  void SetCameraMac(const MacAddress& mac);

  const MacAddress& CameraMac() const { return cameraMac_; }
  const Bytes& Frame() const { return frame_; }

 private:
  MacAddress cameraMac_{};
  Bytes frame_{};
};

}  // namespace quvex
