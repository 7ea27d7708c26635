// Corvane's device binding: frame requests with retries, register writes, the
// one-shot, the internal temperature and (re)connecting to a camera address.
#include "deliverables/corvane/binding.h"

#include <cstdio>
#include <new>

#include "core/sensor_temperature.h"
#include "quvex/quvex.h"
#include "quvex_platform/debug.h"
#include "transports/lan/lan_protocol.h"

namespace quvex {

namespace {
constexpr int kMaxFailures = 5;
// Sleep after the n-th failed request in a row: 600, 1100, 1600, 2100 ms.
uint32_t RetryDelayMs(int failures) { return 500u * static_cast<uint32_t>(failures) + 100u; }
}  // namespace

CorvaneBinding::~CorvaneBinding() {
  // The camera object joined its capture thread before its binding goes;
  // this only wakes a host call that still waits on a connection.
  std::lock_guard lock(connectionsMutex_);
  if (frame_) frame_->SetCancel();
  if (status_) status_->SetCancel();
}

std::shared_ptr<CLanConnection> CorvaneBinding::FrameConnection() const {
  std::lock_guard lock(connectionsMutex_);
  return frame_;
}

std::shared_ptr<CLanConnection> CorvaneBinding::StatusConnection() const {
  std::lock_guard lock(connectionsMutex_);
  return status_;
}

int CorvaneBinding::WriteRegister(unsigned registerNumber, int value) {
  if (connected_.load() == 0) return ReportError(QUVEX_ERR_NOT_READY), 0;
  if (registerNumber > 0xFF) return 0;
  const auto frame = FrameConnection();
  if (!frame) return ReportError(QUVEX_ERR_NOT_READY), 0;
  switch (quvex::WriteRegister(*frame, static_cast<uint8_t>(registerNumber),
                               static_cast<uint16_t>(value))) {
    case RegisterWrite::Sent: return 1;
    case RegisterWrite::NotConnected: return ReportError(QUVEX_ERR_NOT_READY), 0;
    case RegisterWrite::SendFailed: return 0;
  }
  return 0;
}

int CorvaneBinding::PrepareCapture(const SensorTiming&) {
  if (connected_.load() == 0) return QUVEX_ERR_NOT_READY;
  // No capture thread runs here: the cancels of an earlier stop are lowered.
  stopping_.Reset();
  if (const auto frame = FrameConnection()) frame->ResetCancel();
  failures_ = 0;
  return 0;
}

void CorvaneBinding::CancelWaits() {
  stopping_.Set();
  if (const auto frame = FrameConnection()) frame->SetCancel();
}

int CorvaneBinding::StopDevice() {
  // The capture thread has ended: the host's requests go out again.
  if (const auto frame = FrameConnection()) frame->ResetCancel();
  return 0;
}

void CorvaneBinding::HoldDevice(bool held) {
  if (!held) {
    oneShotUse_ = {};
    oneShotFrame_.reset();
    return;
  }
  oneShotFrame_ = FrameConnection();
  if (!oneShotFrame_) return;
  oneShotUse_ = oneShotFrame_->Use();
  oneShotFrame_->ResetCancel();  // no capture runs, and the one-shot's own begins now
}

void CorvaneBinding::CancelOneShot(bool raised) {
  if (!oneShotFrame_) return;
  if (raised) {
    oneShotFrame_->SetCancel();
  } else {
    oneShotFrame_->ResetCancel();
  }
}

FrameOutcome CorvaneBinding::Read(uint8_t* target, size_t capacity) {
  if (stopping_.IsSet()) return {FrameOutcome::NoFrame, 0};
  const auto frame = FrameConnection();
  if (frame && RequestFrame(*frame, target, capacity)) {
    failures_ = 0;
    return {FrameOutcome::Frame, 0};
  }
  // A request that a stop cancelled is no failure of the camera.
  if (stopping_.IsSet()) return {FrameOutcome::NoFrame, 0};
  if (++failures_ >= kMaxFailures) return {FrameOutcome::End, QUVEX_ERR_FRAME_READ};
  platform::OutputDebugText("retry --------\r\n");
  stopping_.Wait(RetryDelayMs(failures_));
  return {FrameOutcome::NoFrame, 0};
}

FrameOutcome CorvaneBinding::OneShot(uint8_t* target, size_t capacity) {
  // The frame connection is held (HoldDevice) from the start of the one-shot.
  if (!oneShotFrame_) return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
  if (RequestFrameInUse(*oneShotFrame_, target, capacity)) return {FrameOutcome::Frame, 0};
  // A one-shot that a host call interrupted is no failure of the camera.
  if (OneShotHit()) return {FrameOutcome::NoFrame, 0};
  return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
}

int CorvaneBinding::SetIpAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  connected_.store(0);
  std::shared_ptr<CLanConnection> frame, status;
  {
    std::lock_guard lock(connectionsMutex_);
    if (frame_) frame_->SetCancel();
    if (status_) status_->SetCancel();
    frame_.reset();
    status_.reset();
  }
  char address[16];
  std::snprintf(address, sizeof address, "%d.%d.%d.%d", a, b, c, d);
  try {
    frame = std::make_shared<CLanConnection>(address, QUVEX_LAN_PORT, waitMs_);
    status = std::make_shared<CLanConnection>(address, QUVEX_LAN_PORT, waitMs_);
  } catch (const std::bad_alloc&) {
    if (frame) frame->SetCancel();
  }
  {
    std::lock_guard lock(connectionsMutex_);
    frame_ = frame;
    status_ = status;
  }
  if (!frame || !status) return 0;
  frame->ResetCancel();
  status->ResetCancel();
  bool connected = false;
  {
    const auto frameUse = frame->Use();
    if (frame->Connect() != 0) {
      const auto statusUse = status->Use();
      connected = status->Connect() != 0;
    }
  }
  if (!connected) {
    frame->SetCancel();
    status->SetCancel();
    return 0;
  }
  connected_.store(1);
  WriteRegister(QUVEX_REG_CONNECT, 0);
  return 1;
}

float CorvaneBinding::GetInternalTemperature(int* ok) {
  if (ok != nullptr) *ok = 0;
  const auto status = StatusConnection();
  if (!status || connected_.load() == 0) return ReportError(QUVEX_ERR_NOT_READY), 0.0f;
  const auto value = QueryTemperature(*status);
  if (!value) return 0.0f;
  if (ok != nullptr) *ok = 1;
  return TemperatureFromSensor(*value);
}

}  // namespace quvex
