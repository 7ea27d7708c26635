#include "transports/gige/gige_command_frame.h"

#include <algorithm>
#include <cstring>

namespace quvex {

namespace {
constexpr uint8_t kPlaceholderMac[6] = {'M', 'O', 'R', 'V', 'A', 0};
constexpr char kSourceText[] = "MORVAQ";
constexpr char kFixedText[] = "MORVAX";
}  // namespace

void GigECommandFrame::Init() {
  std::copy(std::begin(kPlaceholderMac), std::end(kPlaceholderMac), cameraMac_.begin());
  Reset();
}

void GigECommandFrame::Reset() {
  frame_.fill(0);
  SetDestination(cameraMac_);
  std::memcpy(&frame_[6], kSourceText, 6);
  frame_[12] = 0x01;  // 802.3 length field: 256
  frame_[13] = 0x00;
  frame_[20] = 0xFF;
  std::memcpy(&frame_[45], kFixedText, 6);
}

void GigECommandFrame::SetCommand(uint8_t code) {
  Reset();
  frame_[20] &= 0x7F;
  frame_[21] = 0x80;
  frame_[22] = code;
}

void GigECommandFrame::SetRegisterWrite(uint8_t kind, uint16_t registerNumber, uint32_t value) {
  frame_[20] &= 0xB0;
  frame_[25] = 0;
  frame_[26] = kind;
  frame_[27] = static_cast<uint8_t>(registerNumber >> 8);
  frame_[28] = static_cast<uint8_t>(registerNumber);
  frame_[29] = 0;
  frame_[30] = static_cast<uint8_t>(value >> 16);
  frame_[31] = static_cast<uint8_t>(value >> 8);
  frame_[32] = static_cast<uint8_t>(value);
}

void GigECommandFrame::SetDestination(const MacAddress& mac) {
  std::copy(mac.begin(), mac.end(), frame_.begin());
}

void GigECommandFrame::SetAckNumber(uint16_t sequence) {
  frame_[43] = static_cast<uint8_t>(sequence >> 8);
  frame_[44] = static_cast<uint8_t>(sequence);
}

void GigECommandFrame::SetCameraMac(const MacAddress& mac) {
  cameraMac_ = mac;
  SetDestination(mac);
}

}  // namespace quvex
