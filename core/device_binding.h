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
  // false for a build that has no camera enumeration: naming a camera by
  // index is then refused as not ready.
  virtual bool EnumeratesCameras() const { return true; }
  // true when the camera cannot be changed while capturing: the ring thread
  // fills buffers of the selected camera, so a selection is refused (error 1).
  virtual bool RefusesSelectionDuringCapture() const { return false; }
  // true when a NUC stamps its time first and reports the register write's
  // result; false when it writes first and always reports success.
  virtual bool NucReportsWrite() const { return false; }
  // true when frames are still read (and dropped) during the NUC settle
  // window, and the NUC time is cleared at the first frame after it.
  virtual bool ReadsThroughNucSettle() const { return false; }
  // true when a one-shot sets the range and creates the frame images anew, as
  // a capture start does; false when it fills the next slot of the ring as it
  // stands, so that earlier one-shot frames stay findable.
  virtual bool OneShotRenewsRing() const { return true; }
  // false when the camera is chosen by other means (an adapter and an
  // address): naming a camera by number then succeeds and does nothing.
  virtual bool SelectsCameraByNumber() const { return true; }
  // true when every index has a camera name, without a range check or a
  // probe, and the name's buffer need only hold the name and its terminator.
  virtual bool NamesAnyIndex() const { return false; }
  // Camera types select the camera's geometry where a device has them.
  virtual bool HasCameraTypes() const { return false; }
  // 1 when the type was accepted, 0 (nothing to report) when not.
  virtual int SetCameraType(int) { return 0; }
  // Quvex_Start after a pause: the device may have to resume delivery.
  virtual void Resume() {}

  // Capture start: checks the selected camera and sets the device up for
  // frames of timing's active size; 0, or the error code to report.
  virtual int PrepareCapture(const SensorTiming&) { return 0; }
  // Starts delivery once the capture thread runs; 0, or the error code.
  virtual int StartDevice() { return 0; }
  // true when the device starts before the capture start writes the switch
  // flag and the range mode, so that those writes follow the start on the
  // wire; false when they go out first.
  virtual bool StartsBeforeRegisterWrites() const { return false; }
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
