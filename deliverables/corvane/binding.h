// Corvane's camera object reaches its camera over two LAN connections: the
// frame connection (frame requests, register writes) and the status
// connection (internal temperature). Both exist from the first SetIpAddress
// on; the camera object counts as a device once it is initialised, and may
// capture, write registers and allocate its ring once both are connected.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/device_binding.h"
#include "quvex_platform/socket.h"
#include "transports/lan/lan_connection.h"

namespace quvex {

class CorvaneBinding final : public DeviceBinding {
 public:
  explicit CorvaneBinding(uint32_t waitMs = kLanWaitMs) : waitMs_(waitMs) {}
  ~CorvaneBinding() override;

  bool HasDevice() const override { return initialised_.load() != 0; }
  bool CanCapture() const override { return connected_.load() != 0; }
  int WriteRegister(unsigned registerNumber, int value) override;
  // There is no camera choice: any index is accepted.
  int SelectCamera(int) override { return 0; }
  int MaxCameras() const override { return 0; }
  bool IsCameraPresent(int) override { return false; }

  void Initialized() override { initialised_.store(1); }

  int PrepareCapture(const SensorTiming&) override;
  void CancelWaits() override;
  int StopDevice() override;
  // The camera sends a frame on request: every turn asks for one.
  FrameOutcome Poll() override { return {FrameOutcome::Frame, 0}; }
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

  // Replaces both connections with new ones to a.b.c.d, port 8886, connects
  // the frame connection and then the status connection, and writes register
  // 9 with 0. Capture must not run (the caller stops it first). 1 when both
  // connected; 0 leaves the new connections unconnected and cancelled.
  int SetIpAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
  // Degrees Celsius from the status connection; ok (may be null) gets 1 or 0.
  float GetInternalTemperature(int* ok);

 protected:
  // A one-shot holds the frame connection for its whole exchange; an
  // interrupt raises the connection's cancel meanwhile.
  void HoldDevice(bool held) override;
  void CancelOneShot(bool raised) override;

 private:
  std::shared_ptr<CLanConnection> FrameConnection() const;
  std::shared_ptr<CLanConnection> StatusConnection() const;

  const uint32_t waitMs_;
  std::atomic<int> initialised_{0};
  std::atomic<int> connected_{0};

  // Users take their own reference, so a connection replaced meanwhile stays
  // alive until its last user is done with it.
  mutable std::mutex connectionsMutex_;
  std::shared_ptr<CLanConnection> frame_;
  std::shared_ptr<CLanConnection> status_;

  // Raised as a stop begins; ends the capture thread's retry sleep at once.
  platform::WaitCancel stopping_;
  int failures_ = 0;  // failed frame requests in a row (capture thread)

  // The frame connection a one-shot holds, and its use (the one-shot's thread).
  std::shared_ptr<CLanConnection> oneShotFrame_;
  std::unique_lock<std::mutex> oneShotUse_;
};

}  // namespace quvex
