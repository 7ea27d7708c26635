// What the capture threads of a USB device object run on: the frame buffers,
// the device ring's slots and the parameter blocks of the ring-fill thread
// and of the one-shot thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "devices/usb/usb_codes.h"
#include "devices/usb/usb_frame_copy.h"
#include "devices/usb/usb_ring_index.h"
#include "devices/usb/usb_transfer_guard.h"
#include "quvex_platform/sync.h"
#include "quvex_platform/thread.h"

namespace quvex {

struct UsbFreeDeleter {
  void operator()(void* memory) const noexcept { std::free(memory); }
};
using UsbFrameBuffer = std::unique_ptr<uint8_t[], UsbFreeDeleter>;

// One slot of the device ring: room for a 16-bit frame of the transfer size.
struct UsbRingSlot {
  UsbFrameBuffer data;
};

// Parameter block of the ring-fill thread.
struct UsbRingBlock {
  uint32_t bytes = 0;  // per frame transfer
  std::unique_ptr<platform::ManualResetEvent> endEvent;
  std::atomic<int> result{QUVEX_USB_OK};
  std::atomic<int> stopFlag{1};   // 1: not running (or asked to stop)
  std::atomic<int> errorFlag{0};  // 1: the thread ended on a failure
  std::atomic<int> stopAnnounced{0};  // 1: a failed read ends the thread quietly
  int ringCount = 0;
  UsbRingSlot* slots = nullptr;
  UsbRingIndex index;
  int largeTransfer = 0;
  std::array<char, 128> devicePath{};
  UsbFrameLayout layout;  // of the frames in the slots
  UsbTransferGuard transfers;
  platform::Thread thread;
};

// Parameter block of the one-shot thread.
struct UsbOneShotBlock {
  uint8_t* target = nullptr;
  uint32_t bytes = 0;
  std::unique_ptr<platform::ManualResetEvent> endEvent;
  std::atomic<int> result{QUVEX_USB_OK};
  std::atomic<int> idleFlag{1};         // 0 while a one-shot runs
  std::atomic<bool> frameValid{false};  // the target holds a complete frame
  int largeTransfer = 0;
  std::array<char, 128> devicePath{};
  UsbFrameLayout layout;  // of the frame in the target
  UsbTransferGuard transfers;
  platform::Thread thread;
};

}  // namespace quvex
