// The sensor or converter chip behind a simulated USB camera of device types
// 2 to 18 and 20. It decodes the register-write packets of its type, answers
// register reads from its register file, records every write with the time
// it arrived, and can paint the frames the camera delivers (Bayer mosaics,
// two-field video) in place of the camera's own picture.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "quvex/quvex_usb.h"

namespace quvex::sim {

struct ChipWrite {
  unsigned reg;
  uint32_t value;
  std::chrono::steady_clock::time_point at;
};

// The 16-bit sample at (column, line) of a frame.
using FramePicture = std::function<uint16_t(int column, int line)>;

class SimSensorChip {
 public:
  explicit SimSensorChip(int deviceType);

  int DeviceType() const { return deviceType_; }

  // A register-write (0x04) or register-read (0x0C) packet of this chip's
  // type: true when taken; a read leaves its reply in reply.
  bool TakeCommand(const std::array<uint8_t, QUVEX_USB_PACKET_SIZE>& packet,
                   std::array<uint8_t, QUVEX_USB_PACKET_SIZE>& reply);

  // Sets a register as the chip itself would (an id, a status); not logged.
  void SetRegister(unsigned reg, uint32_t value);
  uint32_t Register(unsigned reg) const;
  std::vector<ChipWrite> Writes() const;
  void ClearWrites();

  // Paints frames with pitch samples per line; without one the camera's own
  // picture is delivered.
  void SetPicture(int pitch, FramePicture picture);
  // Fills bytes of a frame from the picture: false when there is none.
  bool FillFrame(uint8_t* target, size_t bytes, bool sixteenBit) const;

 private:
  const int deviceType_;
  mutable std::mutex mutex_;
  std::map<unsigned, uint32_t> registers_;
  std::vector<ChipWrite> writes_;
  int pitch_ = 0;
  FramePicture picture_;
};

}  // namespace quvex::sim
