// How a camera object reaches its device. Each library binds its own device
// (USB, LAN, GigE); a camera object without a device uses NoDevice. The core
// owns the capture thread, the frame ring and every error code; a binding
// only answers for its device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/one_shot_interrupts.h"
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
  // Host calls that stop or replace the device (Close, Release, a new
  // address) raise an interrupt while they wait for the control lock: a
  // one-shot that holds the lock ends at once, and none begins meanwhile.
  void InterruptOneShots() { interrupts_.Begin(); }
  void ResumeOneShots() { interrupts_.End(); }
  bool OneShotsInterrupted() const { return interrupts_.Pending(); }
  // A one-shot runs between these two, under the control lock. Begin is
  // false while an interrupt is raised: the one-shot must not start.
  bool BeginOneShot() {
    HoldDevice(true);
    if (interrupts_.Enter()) return true;
    HoldDevice(false);
    return false;
  }
  void EndOneShot() {
    interrupts_.Leave();
    HoldDevice(false);
  }
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
  // Takes (true) or lets go (false) the device for a one-shot, so that no
  // other host call's command comes between the one-shot's own.
  virtual void HoldDevice(bool) {}
  // Ends (true) the waits of the one-shot on the held device at once, or
  // takes that back (false) before the device is let go.
  virtual void CancelOneShot(bool) {}
  // true when an interrupt ended the one-shot in progress: what failed then
  // is no failure of the camera.
  bool OneShotHit() const { return interrupts_.Hit(); }

 private:
  std::function<void(int)> report_;
  OneShotInterrupts interrupts_{[this](bool raised) { CancelOneShot(raised); }};
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
