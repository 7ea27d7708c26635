// The simulated sensor and converter chips.
#include "sim/sensor_chip.h"

namespace quvex::sim {

namespace {

constexpr uint8_t kWriteRegister = 0x04;
constexpr uint8_t kReadRegister = 0x0C;

enum class Format { Sensor16, Byte8, SerialWord, Wide };

Format FormatOf(int deviceType) {
  switch (deviceType) {
    case 9:
    case 11:
    case 15:
    case 16:
      return Format::SerialWord;
    case 17:
    case 18:
      return Format::Wide;
    case 20:
      return Format::Byte8;
    default:
      return Format::Sensor16;
  }
}

}  // namespace

SimSensorChip::SimSensorChip(int deviceType) : deviceType_(deviceType) {}

bool SimSensorChip::TakeCommand(const std::array<uint8_t, QUVEX_USB_PACKET_SIZE>& p,
                                std::array<uint8_t, QUVEX_USB_PACKET_SIZE>& reply) {
  std::lock_guard lock(mutex_);
  const Format format = FormatOf(deviceType_);
  if (p[0] == kReadRegister) {
    reply.fill(0);
    const uint32_t value = registers_.contains(p[1]) ? registers_[p[1]] : 0;
    if (format == Format::Byte8) {
      reply[0] = static_cast<uint8_t>(value);
    } else {
      reply[0] = static_cast<uint8_t>(value >> 8);
      reply[1] = static_cast<uint8_t>(value);
    }
    return true;
  }
  if (p[0] != kWriteRegister) return false;
  unsigned reg = 0;
  uint32_t value = 0;
  switch (format) {
    case Format::Sensor16:
      reg = p[1];
      value = static_cast<uint32_t>(p[2] << 8 | p[3]);
      break;
    case Format::Byte8:
      reg = p[1];
      value = p[2];
      break;
    case Format::SerialWord: {
      // n + 10 bits: the register number in the low 10, the value above.
      const uint32_t word = static_cast<uint32_t>(p[2]) | static_cast<uint32_t>(p[3]) << 8 |
                            static_cast<uint32_t>(p[4]) << 16 | static_cast<uint32_t>(p[5]) << 24;
      const unsigned bits = p[1] >= 10 ? p[1] - 10u : 0u;
      reg = word & 0x3FF;
      value = (word >> 10) & (bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
      break;
    }
    case Format::Wide:
      if (p[1] != 0x30 || p[2] != 0xFE) return false;
      reg = static_cast<unsigned>(p[3] | p[4] << 8);
      value = static_cast<uint32_t>(p[5]) | static_cast<uint32_t>(p[6]) << 8 |
              static_cast<uint32_t>(p[7]) << 16;
      break;
  }
  registers_[reg] = value;
  writes_.push_back(ChipWrite{reg, value, std::chrono::steady_clock::now()});
  return true;
}

void SimSensorChip::SetRegister(unsigned reg, uint32_t value) {
  std::lock_guard lock(mutex_);
  registers_[reg] = value;
}

uint32_t SimSensorChip::Register(unsigned reg) const {
  std::lock_guard lock(mutex_);
  const auto found = registers_.find(reg);
  return found == registers_.end() ? 0 : found->second;
}

std::vector<ChipWrite> SimSensorChip::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void SimSensorChip::ClearWrites() {
  std::lock_guard lock(mutex_);
  writes_.clear();
}

void SimSensorChip::SetPicture(int pitch, FramePicture picture) {
  std::lock_guard lock(mutex_);
  pitch_ = pitch;
  picture_ = std::move(picture);
}

bool SimSensorChip::FillFrame(uint8_t* target, size_t bytes, bool sixteenBit) const {
  std::lock_guard lock(mutex_);
  if (!picture_ || pitch_ <= 0) return false;
  const size_t sampleBytes = sixteenBit ? 2 : 1;
  for (size_t i = 0; i < bytes / sampleBytes; ++i) {
    const auto index = static_cast<int>(i);
    const uint16_t sample = picture_(index % pitch_, index / pitch_);
    if (sixteenBit) {
      target[2 * i] = static_cast<uint8_t>(sample);
      target[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
    } else {
      target[i] = static_cast<uint8_t>(sample);
    }
  }
  return true;
}

}  // namespace quvex::sim
