// Fenwold's camera object reaches its camera over one streaming connection on
// TCP port 123, made by SetIpAddress. The camera streams frames once
// connected; every capture turn receives the next one. Register writes go out
// as command packets on the same connection, from the host's threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/device_binding.h"
#include "quvex_platform/socket.h"
#include "transports/lan/stream_connection.h"

namespace quvex {

class FenwoldBinding final : public DeviceBinding {
 public:
  // waitMs bounds each connect and frame receive (tests make it long).
  explicit FenwoldBinding(uint16_t port = QUVEX_LAN_STREAM_PORT, uint32_t waitMs = kStreamWaitMs)
      : port_(port), waitMs_(waitMs) {}
  ~FenwoldBinding() override;

  // The camera object itself is the device: capture needs a connection.
  bool HasDevice() const override { return true; }
  bool CanCapture() const override { return connected_.load(); }
  // A command packet; 0 without a connection or when it could not be sent.
  int WriteRegister(unsigned registerNumber, int value) override;
  // There is no camera choice: any index is accepted.
  int SelectCamera(int) override { return 0; }
  int MaxCameras() const override { return 0; }
  bool IsCameraPresent(int) override { return false; }
  void Initialized() override;

  int PrepareCapture(const SensorTiming&) override;
  void CancelWaits() override { stopping_.Set(); }
  // Frames stream without being asked for: every turn receives one.
  FrameOutcome Poll() override { return {FrameOutcome::Frame, 0}; }
  FrameOutcome Read(uint8_t* target, size_t capacity) override;
  FrameOutcome OneShot(uint8_t* target, size_t capacity) override;

  // Connects to a.b.c.d in place of any earlier connection and sends the
  // start message; capture must not run (the caller stops it first). 1 when
  // connected; 0 when refused, or with error 11 when the attempt failed at
  // once or the camera did not answer in time. A failure leaves the object
  // unconnected.
  int SetIpAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

 protected:
  // An interrupt ends the one-shot's waits: they watch a cancel of their own.
  void CancelOneShot(bool raised) override { raised ? oneShots_.Set() : oneShots_.Reset(); }

 private:
  std::shared_ptr<CStreamConnection> Connection() const;
  // Receives one frame, waiting on cancel. A stream that lost its frame
  // boundaries is replaced by a new connection, on which the camera starts
  // at a frame: a broken stream at once and reported, a receive cut short by
  // a stop or an interrupt silently before the next frame. lostIsEnd: a
  // connection that cannot be made again ends capture.
  FrameOutcome Receive(uint8_t* target, size_t capacity, const platform::WaitCancel& cancel,
                       bool lostIsEnd);
  // Puts a new connection to the same address in place of connection; none
  // is begun while cancel is raised.
  StreamConnect Reconnect(std::shared_ptr<CStreamConnection>& connection,
                          const platform::WaitCancel& cancel);
  // About once a second while frames arrive (capture thread).
  void QueryStatusEverySecond();

  const uint16_t port_;
  const uint32_t waitMs_;
  // Set by a successful SetIpAddress, cleared by a failed one; a connection
  // lost during capture leaves it set, so that a stop always goes through.
  std::atomic<bool> connected_{false};
  mutable std::mutex mutex_;
  std::shared_ptr<CStreamConnection> connection_;  // users take their own reference
  uint32_t address_ = 0;                           // network byte order

  platform::WaitCancel stopping_;  // ends the waits of the capture thread
  platform::WaitCancel host_;      // ends the waits of host calls; raised at destruction
  platform::WaitCancel oneShots_;  // ends the waits of a one-shot
  uint32_t lastStatus_ = 0;  // capture thread
};

}  // namespace quvex
