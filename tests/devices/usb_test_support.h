// Helpers of the device tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/usb/usb_device.h"
#include "quvex_platform/clock.h"
#include "sim/usb_camera.h"

namespace quvex::test {

inline constexpr int kActiveWidth = 640;
inline constexpr int kActiveLines = 480;
inline constexpr size_t kRawImageBytes = kActiveWidth * kActiveLines * 2;

// Simulated cameras of prefix at the present indexes.
inline sim::SimCameraOptions Cameras(std::string prefix, std::vector<int> present,
                                     double framesPerSecond = 30) {
  sim::SimCameraOptions options;
  options.prefix = std::move(prefix);
  options.present = std::move(present);
  options.framesPerSecond = framesPerSecond;
  return options;
}

// The camera object's set-up for capture: sensor timing and 16-bit samples.
inline void ConfigureReferenceGeometry(CUsbDevice& device, int ringCount = 10) {
  device.SetConverterGeometry(780, 12, 640, 525, 5, 480, ringCount);
  device.SetSampleWidth(1);
}

// Polls until the status, an error or a generous limit; the last status seen.
inline int PollUntil(CUsbDevice& device, int wanted, uint32_t limitMs = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  int status = device.PollFrame();
  while (status != wanted && status != QUVEX_USB_POLL_ERROR &&
         std::chrono::steady_clock::now() < end) {
    platform::SleepMs(1);
    status = device.PollFrame();
  }
  return status;
}

inline std::vector<uint16_t> RawImage() {
  return std::vector<uint16_t>(kActiveWidth * kActiveLines, 0);
}

}  // namespace quvex::test
