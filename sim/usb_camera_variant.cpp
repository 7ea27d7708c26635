// The simulated camera's variant commands: init, value reads with their two
// replies, and the sensor registers that carry the transfer size, the
// capture mode and the pixel mode.
#include "sim/usb_camera.h"

namespace quvex::sim {

namespace {
constexpr uint8_t kPixelMode16 = 13;
}  // namespace

SimCameraOptions VariantCameraOptions(double framesPerSecond) {
  SimCameraOptions options;
  options.prefix = "ZelmorIR640A";
  options.framesPerSecond = framesPerSecond;
  options.window = SensorWindow{640, 0, 640, 0, 480};
  return options;
}

bool SimUsbCamera::TakeVariantCommand(Camera& camera, const Packet& packet) {
  switch (packet[0]) {
    case QUVEX_USB_CMD_INIT:
      ++camera.inits;
      return true;
    case QUVEX_USB_CMD_READ_VALUE: {
      // Replies nobody took stay queued ahead of these, as on a real endpoint.
      Packet echo{};
      echo[0] = packet[0];
      echo[1] = packet[1];
      const uint16_t value = readValues_.contains(packet[1]) ? readValues_[packet[1]] : 0;
      Packet answer{};
      answer[0] = static_cast<uint8_t>(value & 0xFF);
      answer[1] = static_cast<uint8_t>(value >> 8);
      camera.replies.push_back(echo);
      camera.replies.push_back(answer);
      return true;
    }
    case QUVEX_USB_CMD_SENSOR_REGISTER: {
      const uint8_t reg = packet[1];
      camera.sensorRegisters[reg] = packet[2];
      if (reg < QUVEX_SENSOR_REG_SIZE + 4) {
        const int shift = 8 * (reg - QUVEX_SENSOR_REG_SIZE);
        camera.transferSize = (camera.transferSize & ~(0xFFu << shift)) |
                              static_cast<uint32_t>(packet[2]) << shift;
      } else if (reg == QUVEX_SENSOR_REG_PIXEL_MODE) {
        camera.sixteenBit = packet[2] == kPixelMode16;
      }
      return true;
    }
    default:
      return false;
  }
}

void SimUsbCamera::SetReadValue(uint8_t selector, uint16_t value) {
  std::lock_guard lock(mutex_);
  readValues_[selector] = value;
}

uint8_t SimUsbCamera::SensorRegister(int index, uint8_t sensorRegister) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).sensorRegisters[sensorRegister];
}

int SimUsbCamera::Inits(int index) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).inits;
}

void SimUsbCamera::FailReplyReads(uint32_t count, uint32_t after) {
  std::lock_guard lock(mutex_);
  passingReplyReads_ = after;
  failingReplyReads_ = count;
}

}  // namespace quvex::sim
