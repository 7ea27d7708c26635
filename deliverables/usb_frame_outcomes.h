// What the USB libraries' capture steps give the core: the device layer's
// poll statuses and read results as frame outcomes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_binding.h"
#include "devices/usb/usb_device.h"
#include "quvex/quvex.h"

namespace quvex {

inline FrameOutcome UsbPollOutcome(int status) {
  switch (status) {
    case QUVEX_USB_POLL_ERROR:
      return {FrameOutcome::End, QUVEX_ERR_CAPTURE_ENDED};
    case QUVEX_USB_POLL_NEW:
      return {FrameOutcome::Frame, 0};
    default:
      return {FrameOutcome::NoFrame, 0};
  }
}

// The frame the last poll announced, copied into target.
inline FrameOutcome UsbReadOutcome(CUsbDevice& device, uint8_t* target, size_t capacity) {
  if (device.ReadFrame(target, capacity, 0, 0, 1) != 0) {
    return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
  }
  return {FrameOutcome::Frame, 0};
}

// One frame captured on the one-shot thread and copied into target; a failed
// capture reports nothing, a failed copy error 3.
inline FrameOutcome UsbOneShotOutcome(CUsbDevice& device, uint8_t* target, size_t capacity) {
  if (device.CaptureOneShot() != 0) return {FrameOutcome::NoFrame, 0};
  if (device.GetImage(target, capacity, 0, 0, 1) != 0) {
    return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
  }
  return {FrameOutcome::Frame, 0};
}

}  // namespace quvex
