// CUsbDevice: frame geometry, the device ring with its ring-fill thread, the
// one-shot thread and the frame copies.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "devices/usb/usb_device.h"
#include "devices/usb/usb_transport.h"

namespace quvex {

namespace {

constexpr int64_t kTransferGranule = 1024;  // samples
// Frame buffers hold two bytes per sample and transfers count bytes in 32 bits.
constexpr int64_t kMaxTransferSamples = std::numeric_limits<int32_t>::max() / 2;

UsbFrameBuffer AllocateUsbFrameBuffer(size_t bytes) noexcept {
  return UsbFrameBuffer(static_cast<uint8_t*>(std::calloc(bytes, 1)));
}

// The capture command ahead of every frame; the read that follows tells
// whether the camera took it.
void SendCaptureCommand(const platform::UsbHandle& handle) {
  UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_CAPTURE);
  uint32_t moved = 0;
  (void)UsbBulkTransfer(handle, QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data(), moved, 0);
}

// One whole frame of bytes from pipe 2 into target.
bool ReadWholeFrame(const platform::UsbHandle& handle, uint8_t* target, uint32_t bytes,
                    bool largeTransfer) {
  uint32_t moved = 0;
  const int result =
      largeTransfer
          ? UsbBulkTransferAlt(handle, QUVEX_USB_PIPE_FRAME, bytes, target, moved, 1,
                               platform::kUsbFrameTimeoutMs)
          : UsbBulkTransfer(handle, QUVEX_USB_PIPE_FRAME, bytes, target, moved, 1,
                            platform::kUsbFrameTimeoutMs);
  return result == 0 && moved == bytes;
}

void UsbCaptureThreadProc(UsbRingBlock& block) {
  platform::UsbHandle handle;
  int result = QUVEX_USB_OK;
  if (!OpenDevicePath(handle, block.devicePath.data())) {
    result = QUVEX_USB_ERR_OPEN;
  } else if (block.transfers.Publish(handle)) {
    while (block.stopFlag.load() != 1 && result == QUVEX_USB_OK) {
      const int slot = block.index.BeginFill();
      if (slot < 0) break;
      uint8_t* target = block.slots[slot].data.get();
      SendCaptureCommand(handle);
      const bool complete = ReadWholeFrame(handle, target, block.bytes, block.largeTransfer != 0);
      block.index.EndFill(slot, complete);
      if (complete) continue;
      // A read cut short by a stop, or failed while one comes, is no failure
      // of the camera.
      if (block.stopFlag.load() == 1 || block.stopAnnounced.load() == 1) break;
      result = QUVEX_USB_ERR_READ;
    }
    block.transfers.Withdraw();
  }
  CloseDeviceHandle(handle);
  block.result.store(result);
  block.errorFlag.store(result != QUVEX_USB_OK ? 1 : 0);
  block.stopFlag.store(1);
  block.endEvent->Set();
}

void UsbOneShotThreadProc(UsbOneShotBlock& block) {
  platform::UsbHandle handle;
  int result = QUVEX_USB_OK;
  if (!OpenDevicePath(handle, block.devicePath.data())) {
    result = QUVEX_USB_ERR_OPEN;
  } else if (!block.transfers.Publish(handle)) {
    result = QUVEX_USB_ERR_READ;  // cancelled before it began
  } else {
    if (block.largeTransfer != 0) {
      const UsbCommandPacket packet = MakeCommandPacket(QUVEX_USB_CMD_CAPTURE);
      if (UsbSendPacket(handle, QUVEX_USB_PIPE_COMMAND, QUVEX_USB_PACKET_SIZE, packet.data()) !=
          QUVEX_USB_OK) {
        result = QUVEX_USB_ERR_SEND;
      }
    } else {
      SendCaptureCommand(handle);
      if (ReadWholeFrame(handle, block.target, block.bytes, false)) {
        block.frameValid.store(true);
      } else {
        result = QUVEX_USB_ERR_READ;
      }
    }
    block.transfers.Withdraw();
  }
  CloseDeviceHandle(handle);
  block.result.store(result);
  block.idleFlag.store(1);
  block.endEvent->Set();
}

std::unique_ptr<platform::ManualResetEvent> CreateEndEvent() noexcept {
  try {
    return std::make_unique<platform::ManualResetEvent>(false);
  } catch (...) {
    return nullptr;
  }
}

template <typename Block, typename Proc>
bool StartThread(Block& block, Proc proc) noexcept {
  try {
    return block.thread.Start([&block, proc] { proc(block); }, platform::ThreadPriority::Highest);
  } catch (...) {
    return false;
  }
}

}  // namespace

UsbFrameLayout CUsbDevice::CurrentLayout() const noexcept {
  UsbFrameLayout layout = layout_;
  layout.sampleBytes = sampleWidthFlag_ == 1 ? 2 : 1;
  layout.sourceFamily = sourceFamily_;
  layout.twoField = twoFieldFlag_;
  return layout;
}

bool CUsbDevice::ThreadsRunning() const noexcept {
  return ring_.stopFlag.load() == 0 || oneShot_.idleFlag.load() == 0;
}

int CUsbDevice::SetGeometry(int32_t pitch, int32_t xOffset, int32_t width, int32_t lines,
                            int32_t yOffset, int32_t height, int32_t ringCount) noexcept {
  std::lock_guard lock(control_);
  if (lines <= 0 || height <= 0 || static_cast<int64_t>(yOffset) + height > lines ||
      yOffset < 0 || pitch <= 0 || width <= 0 || xOffset < 0 ||
      static_cast<int64_t>(xOffset) + width > pitch) {
    return QUVEX_USB_ERR_GEOMETRY;
  }
  if (ringCount < 2) return QUVEX_USB_ERR_RING;
  // The frame size follows from the geometry; it must also fit a transfer.
  const int64_t frameLines = twoFieldFlag_ != 0 ? static_cast<int64_t>(lines) + yOffset + height
                                                : static_cast<int64_t>(yOffset) + height;
  const int64_t samples = static_cast<int64_t>(pitch) * frameLines;
  const int64_t transfer = (samples + kTransferGranule - 1) / kTransferGranule * kTransferGranule;
  if (transfer > kMaxTransferSamples) return QUVEX_USB_ERR_GEOMETRY;
  if (ThreadsRunning()) return QUVEX_USB_ERR_BUSY;
  JoinOneShot();  // an asynchronous one-shot that has ended
  std::unique_lock buffers(buffers_);

  FreeBuffersLocked();
  ringCount_ = ringCount;
  layout_.xOffset = xOffset;
  layout_.pitch = pitch;
  layout_.width = width;
  if (twoFieldFlag_ == 0) {
    layout_.lines = lines;
    layout_.height = height;
    layout_.yOffset = yOffset;
  } else {
    layout_.fieldLines = lines;
    layout_.fieldYOffset = yOffset;
    layout_.fieldHeight = height;
    layout_.lines = lines + yOffset + height;
    layout_.height = 2 * height;
    layout_.yOffset = lines + yOffset - height;
  }
  transferSize_ = static_cast<uint32_t>(transfer);

  rawBuffer_ = AllocateUsbFrameBuffer(FrameBufferBytes());
  if (!rawBuffer_) return QUVEX_USB_ERR_ALLOC;
  slots_.reset(new (std::nothrow) UsbRingSlot[static_cast<size_t>(ringCount)]);
  if (!slots_) {
    FreeBuffersLocked();
    return QUVEX_USB_ERR_ALLOC;
  }
  for (int32_t i = 0; i < ringCount; ++i) {
    slots_[static_cast<size_t>(i)].data = AllocateUsbFrameBuffer(FrameBufferBytes());
    if (!slots_[static_cast<size_t>(i)].data) {
      FreeBuffersLocked();
      return QUVEX_USB_ERR_ALLOC;
    }
  }
  buffers.unlock();
  SendTransferSize();
  return QUVEX_USB_OK;
}

int CUsbDevice::FreeBuffers() noexcept {
  std::lock_guard lock(control_);
  if (ThreadsRunning()) return QUVEX_USB_ERR_BUSY;
  JoinOneShot();
  std::unique_lock buffers(buffers_);
  FreeBuffersLocked();
  return QUVEX_USB_OK;
}

void CUsbDevice::FreeBuffersLocked() noexcept {
  rawBuffer_.reset();
  slots_.reset();
  ring_.slots = nullptr;
  ring_.ringCount = 0;
  oneShot_.target = nullptr;
  oneShot_.frameValid.store(false);
}

int CUsbDevice::StartCapture() noexcept {
  std::lock_guard lock(control_);
  if (ring_.stopFlag.load() == 0) return QUVEX_USB_ERR_BUSY;
  if (!slots_ || ringCount_ < 2) return QUVEX_USB_ERR_RING;
  // A thread that ended by itself and was never stopped is collected first.
  if (ring_.thread.Joinable()) (void)StopCapture();

  ring_.endEvent = CreateEndEvent();
  if (!ring_.endEvent) return QUVEX_USB_ERR_ALLOC;
  {
    std::unique_lock buffers(buffers_);  // no copy out of the ring meanwhile
    if (!ring_.index.Reset(ringCount_)) {
      ring_.endEvent.reset();
      return QUVEX_USB_ERR_ALLOC;
    }
    ring_.ringCount = ringCount_;
    ring_.slots = slots_.get();
    ring_.layout = CurrentLayout();
  }
  ring_.bytes = transferSize_ * static_cast<uint32_t>(ring_.layout.sampleBytes);
  ring_.largeTransfer = largeTransferFlag_;
  ring_.devicePath = devicePath_;
  ring_.transfers.Rearm();
  ring_.result.store(QUVEX_USB_OK);
  ring_.errorFlag.store(0);
  ring_.stopAnnounced.store(0);
  ring_.stopFlag.store(0);
  if (!StartThread(ring_, UsbCaptureThreadProc)) {
    ring_.stopFlag.store(1);
    ring_.endEvent.reset();
    return QUVEX_USB_ERR_ALLOC;
  }
  return QUVEX_USB_OK;
}

int CUsbDevice::StopCapture() noexcept {
  std::lock_guard lock(control_);
  if (!ring_.thread.Joinable()) {
    ring_.stopFlag.store(1);
    ring_.errorFlag.store(0);
    return QUVEX_USB_OK;
  }
  ring_.stopFlag.store(1);
  ring_.transfers.Cancel();  // a stalled transfer ends now, not at its time-out
  ring_.endEvent->Wait(platform::kInfinite);
  ring_.thread.Join();
  const int result = ring_.result.load();
  ring_.endEvent.reset();
  ring_.errorFlag.store(0);
  return result;
}

void CUsbDevice::AnnounceStop() noexcept { ring_.stopAnnounced.store(1); }

int CUsbDevice::PollFrame() noexcept {
  if (ring_.errorFlag.load() == 1) return QUVEX_USB_POLL_ERROR;
  if (ring_.stopFlag.load() == 1) return QUVEX_USB_POLL_STOPPED;
  return ring_.index.PollNewest() ? QUVEX_USB_POLL_NEW : QUVEX_USB_POLL_NONE;
}

int CUsbDevice::ReadSlot(const UsbFrameLayout& layout, const uint8_t* source, size_t sourceBytes,
                         void* target, size_t targetBytes, int colour, int whiteBalance,
                         int raw) noexcept {
  if (raw != 1) {
    return ConvertSlot(layout, WholeRegion(layout), source, sourceBytes, target, targetBytes,
                       colour, whiteBalance);
  }
  switch (layout.sourceFamily) {
    case QUVEX_USB_SOURCE_SENSOR:
      return CopyRegion(layout, target, targetBytes, source, sourceBytes);
    case QUVEX_USB_SOURCE_FIELDS:
      return CopyFieldsRegion(layout, target, targetBytes, source, sourceBytes);
    default:
      return QUVEX_USB_OK;
  }
}

int CUsbDevice::ReadFrame(void* target, size_t targetBytes, int colour, int whiteBalance,
                          int raw) noexcept {
  if (target == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  std::shared_lock buffers(buffers_);
  if (ring_.slots == nullptr) return QUVEX_USB_ERR_RING;
  const int slot = ring_.index.BeginRead();
  if (slot < 0) return QUVEX_USB_ERR_READ;
  const int result = ReadSlot(ring_.layout, ring_.slots[slot].data.get(), FrameBufferBytes(),
                              target, targetBytes, colour, whiteBalance, raw);
  ring_.index.EndRead(slot);
  return result;
}

void CUsbDevice::JoinOneShot() noexcept {
  if (!oneShot_.thread.Joinable()) return;
  oneShot_.endEvent->Wait(platform::kInfinite);
  oneShot_.thread.Join();
}

int CUsbDevice::CaptureOneShot() noexcept {
  std::lock_guard lock(control_);
  if (oneShot_.idleFlag.load() == 0) return QUVEX_USB_ERR_BUSY;
  JoinOneShot();
  if (!rawBuffer_) return QUVEX_USB_ERR_NO_BUFFER;

  oneShot_.endEvent = CreateEndEvent();
  if (!oneShot_.endEvent) return QUVEX_USB_ERR_ALLOC;
  oneShot_.layout = CurrentLayout();
  oneShot_.bytes = transferSize_ * static_cast<uint32_t>(oneShot_.layout.sampleBytes);
  oneShot_.target = rawBuffer_.get();
  oneShot_.largeTransfer = largeTransferFlag_;
  oneShot_.devicePath = devicePath_;
  oneShot_.frameValid.store(false);
  oneShot_.transfers.Rearm();
  oneShot_.result.store(QUVEX_USB_OK);
  oneShot_.idleFlag.store(0);
  if (!StartThread(oneShot_, UsbOneShotThreadProc)) {
    oneShot_.idleFlag.store(1);
    oneShot_.endEvent.reset();
    return QUVEX_USB_ERR_ALLOC;
  }
  if (captureModeFlag_ != 0) return QUVEX_USB_OK;
  JoinOneShot();
  return oneShot_.result.load();
}

int CUsbDevice::GetImage(void* target, size_t targetBytes, int colour, int whiteBalance,
                         int raw) noexcept {
  if (target == nullptr) return QUVEX_USB_ERR_NO_BUFFER;
  std::lock_guard lock(control_);
  if (oneShot_.idleFlag.load() == 0) return QUVEX_USB_ERR_BUSY;  // the frame is still arriving
  if (!rawBuffer_) return QUVEX_USB_ERR_NO_BUFFER;
  if (!oneShot_.frameValid.load()) return QUVEX_USB_ERR_READ;
  return ReadSlot(oneShot_.layout, rawBuffer_.get(), FrameBufferBytes(), target, targetBytes,
                  colour, whiteBalance, raw);
}

int CUsbDevice::CopyRoi(void* target, size_t targetBytes, const void* source,
                        size_t sourceBytes) const noexcept {
  std::lock_guard lock(control_);
  return CopyRegion(CurrentLayout(), target, targetBytes, source, sourceBytes);
}

int CUsbDevice::CopyFieldsRoi(void* target, size_t targetBytes, const void* source,
                              size_t sourceBytes) const noexcept {
  std::lock_guard lock(control_);
  return CopyFieldsRegion(CurrentLayout(), target, targetBytes, source, sourceBytes);
}

}  // namespace quvex
