// Dellisk's camera object reaches its camera through the GigE device: the
// host picks a network adapter and finds the camera by its MAC address (the
// device exports), and from then on the camera object captures, writes
// registers and selects camera types through it. Before the camera was found
// the camera object has no device to speak of (error 1).
#pragma once

#include <memory>
#include <mutex>

#include "core/device_binding.h"
#include "transports/gige/gige_device.h"

namespace quvex {

class DelliskBinding final : public DeviceBinding {
 public:
  explicit DelliskBinding(std::unique_ptr<CGigEDevice> device = std::make_unique<CGigEDevice>())
      : device_(std::move(device)) {}

  CGigEDevice& Device() { return *device_; }

  bool HasDevice() const override { return device_->IsCameraFound() != 0; }
  // Register writes wait in the device's queue for a quiet turn.
  int WriteRegister(unsigned registerNumber, int value) override;
  int SelectCamera(int) override { return 0; }
  int MaxCameras() const override { return 0; }
  bool IsCameraPresent(int) override { return true; }

  int SetCameraType(int type) override {
    return device_->SetCameraType(static_cast<unsigned>(type));
  }
  void Initialized() override { device_->SetCameraType(6); }
  void Resume() override;

  // The device's frame buffers take the camera object's frame size.
  int PrepareCapture(const SensorTiming& timing) override;
  int StartDevice() override;
  int StopDevice() override;
  FrameOutcome Poll() override;
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

 protected:
  // An interrupt ends the one-shot's wait for its frame.
  void CancelOneShot(bool raised) override { device_->InterruptCaptures(raised); }

 private:
  std::unique_ptr<CGigEDevice> device_;
  // Orders the capturing flag with the stream's starts and stops, so that no
  // start follows the stop of the capture it belonged to.
  std::mutex streamMutex_;
  bool capturing_ = false;  // under streamMutex_
};

}  // namespace quvex
