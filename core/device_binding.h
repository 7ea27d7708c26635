// How a camera object reaches its device. Each library binds its own device
// (USB, LAN, GigE); a camera object without a device uses NoDevice. The core
// owns the capture thread, the frame ring and every error code; a binding
// only answers for its device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/profile.h"

namespace quvex {

// What one step of frame acquisition gave.
struct FrameOutcome {
  enum Kind {
    Frame,    // a frame is ready (Poll) or is in the target (Read)
    NoFrame,  // nothing this turn; nothing to report
    Error,    // a failure to report with error; capture goes on
    End,      // capture cannot go on: report error and leave the capture loop
  };
  Kind kind = NoFrame;
  int error = 0;
};

class DeviceBinding {
 public:
  virtual ~DeviceBinding() = default;

  // The camera object's device check: false means no device (error 1).
  virtual bool HasDevice() const = 0;
  // Whether capture may start or stop (a LAN camera must be connected too).
  virtual bool CanCapture() const { return HasDevice(); }
  // Writes a camera register (register number, 16-bit value); 1 when sent.
  virtual int WriteRegister(unsigned registerNumber, int value) = 0;
  // Selects and opens the camera at index; 0 on success, else an error code.
  virtual int SelectCamera(int index) = 0;
  // Number of camera indexes that can be probed.
  virtual int MaxCameras() const = 0;
  // true when a camera answers at index.
  virtual bool IsCameraPresent(int index) = 0;

  // Told once the camera object is initialised.
  virtual void Initialized() {}
  // Selects the camera geometry of a camera type, where the behaviour says
  // the device has them; 1 when the type was accepted, 0 (nothing to
  // report) when not.
  virtual int SetCameraType(int) { return 0; }
  // Quvex_Start after a pause: the device may have to resume delivery.
  virtual void Resume() {}

  // Capture start: checks the selected camera and sets the device up for
  // frames of timing's active size; 0, or the error code to report.
  virtual int PrepareCapture(const SensorTiming&) { return 0; }
  // Starts delivery (once the capture thread runs); 0, or the error code.
  virtual int StartDevice() { return 0; }
  // Ends any wait of the capture thread on the device; called as a stop begins.
  virtual void CancelWaits() {}
  // A host call that stops or replaces the device is about to wait for the
  // control lock: a one-shot in progress on another thread ends at once, and
  // none waits on the device until the matching ResumeOneShots.
  virtual void InterruptOneShots() {}
  virtual void ResumeOneShots() {}
  // true between the two for a device that refuses its commands meanwhile:
  // what it set up then is of no use, and the refusals are no failure.
  virtual bool OneShotsInterrupted() const { return false; }
  // Stops the device after the capture thread has ended; 0, or the error code.
  virtual int StopDevice() { return 0; }
  // Asks for a new frame (capture thread).
  virtual FrameOutcome Poll() { return {FrameOutcome::NoFrame, 0}; }
  // Moves the frame that Poll announced into target (capture thread).
  virtual FrameOutcome Read(uint8_t*, size_t) { return {FrameOutcome::Error, 3}; }
  // Captures one frame into target while no capture runs; Frame, or NoFrame
  // (failed, nothing to report), or Error with the code to report.
  virtual FrameOutcome OneShot(uint8_t*, size_t) { return {FrameOutcome::NoFrame, 0}; }

  // Where the binding reports an error of its own; set by the camera object.
  void SetErrorReporter(std::function<void(int)> report) { report_ = std::move(report); }

 protected:
  void ReportError(int code) const {
    if (report_) report_(code);
  }

 private:
  std::function<void(int)> report_;
};

// The binding of a camera object that has no device.
class NoDevice final : public DeviceBinding {
 public:
  bool HasDevice() const override { return false; }
  int WriteRegister(unsigned, int) override { return 0; }
  int SelectCamera(int) override { return 2; }
  int MaxCameras() const override { return 0; }
  bool IsCameraPresent(int) override { return false; }
};

}  // namespace quvex
