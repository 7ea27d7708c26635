#include "deliverables/dellisk/binding.h"

#include "quvex/quvex.h"

namespace quvex {

int DelliskBinding::WriteRegister(unsigned registerNumber, int value) {
  if (device_->IsCameraFound() == 0) return ReportError(QUVEX_ERR_NOT_READY), 0;
  return device_->QueueRegisterWrite(static_cast<int>(registerNumber), value);
}

int DelliskBinding::PrepareCapture(const SensorTiming& timing) {
  if (device_->SetImageSize(timing.activeWidth, timing.activeLines, 1) == 0) {
    return QUVEX_ERR_BUFFER;
  }
  return 0;
}

int DelliskBinding::StartDevice() {
  std::lock_guard lock(streamMutex_);
  capturing_ = true;
  device_->StartStream();
  return 0;
}

void DelliskBinding::Resume() {
  // Only a running capture has a stream to take up again.
  std::lock_guard lock(streamMutex_);
  if (capturing_) device_->StartStream();
}

int DelliskBinding::StopDevice() {
  std::lock_guard lock(streamMutex_);
  capturing_ = false;
  device_->StopStream();
  return 0;
}

FrameOutcome DelliskBinding::Poll() {
  return {device_->IsNewFrame() == 1 ? FrameOutcome::Frame : FrameOutcome::NoFrame, 0};
}

FrameOutcome DelliskBinding::Read(uint8_t* target, size_t capacity) {
  // The buffers were given up meanwhile (a camera-type change): no frame.
  if (device_->ReadLatestFrame(target, capacity) == 0) return {FrameOutcome::NoFrame, 0};
  return {FrameOutcome::Frame, 0};
}

FrameOutcome DelliskBinding::OneShot(uint8_t* target, size_t capacity) {
  const int captured = device_->CaptureOne();
  if (captured == 1 && device_->ReadCapturedFrame(target, capacity) == 1) {
    return {FrameOutcome::Frame, 0};
  }
  // A one-shot that a host call ended is no failure of the camera.
  if (captured == 0 && OneShotHit()) return {FrameOutcome::NoFrame, 0};
  return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
}

}  // namespace quvex
