// Fenwold's device binding: the streaming connection, its commands, frames
// and status queries.
#include "deliverables/fenwold/binding.h"

#include <cstring>
#include <new>

#include "quvex/quvex.h"
#include "quvex_platform/clock.h"

namespace quvex {

using platform::WaitCancel;

namespace {
constexpr uint32_t kStatusPeriodMs = 1000;
}  // namespace

FenwoldBinding::~FenwoldBinding() {
  // The capture thread is joined before the binding goes; this only ends a
  // host call that still waits.
  host_.Set();
  stopping_.Set();
}

std::shared_ptr<CStreamConnection> FenwoldBinding::Connection() const {
  std::lock_guard lock(mutex_);
  return connection_;
}

void FenwoldBinding::Initialized() {
  // The cancel objects are all the start-up sockets need on this platform.
  if (!stopping_.Valid() || !host_.Valid() || !oneShots_.Valid()) ReportError(QUVEX_ERR_NETWORK);
}

int FenwoldBinding::WriteRegister(unsigned registerNumber, int value) {
  if (registerNumber > 0xFF) return 0;
  const auto connection = Connection();
  if (!connection) return 0;
  return connection->SendCommand(static_cast<uint8_t>(registerNumber),
                                 static_cast<uint16_t>(value), host_)
             ? 1
             : 0;
}

int FenwoldBinding::PrepareCapture(const SensorTiming&) {
  if (!connected_.load()) return QUVEX_ERR_NOT_READY;
  // No capture thread runs here: the cancel of an earlier stop is lowered.
  stopping_.Reset();
  lastStatus_ = platform::TickCount();
  return 0;
}

FrameOutcome FenwoldBinding::Read(uint8_t* target, size_t capacity) {
  const FrameOutcome got = Receive(target, capacity, stopping_, true);
  if (got.kind == FrameOutcome::Frame) QueryStatusEverySecond();
  return got;
}

FrameOutcome FenwoldBinding::OneShot(uint8_t* target, size_t capacity) {
  return Receive(target, capacity, oneShots_, false);
}

FrameOutcome FenwoldBinding::Receive(uint8_t* target, size_t capacity, const WaitCancel& cancel,
                                     bool lostIsEnd) {
  auto connection = Connection();
  if (!connection) return {FrameOutcome::Error, QUVEX_ERR_NOT_READY};
  if (capacity < kStreamFrameBytes) return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
  const FrameOutcome lost{lostIsEnd ? FrameOutcome::End : FrameOutcome::Error,
                          QUVEX_ERR_FRAME_READ};
  // A stop or an interrupt cut the last receive short: no failure of the
  // camera, so only a new connection that cannot be made is reported.
  if (!connection->AtFrameBoundary()) {
    switch (Reconnect(connection, cancel)) {
      case StreamConnect::Connected: break;
      case StreamConnect::Cancelled: return {FrameOutcome::NoFrame, 0};
      default: return ReportError(QUVEX_ERR_FRAME_READ), lost;
    }
  }
  switch (connection->ReceiveFrame(target, kStreamFrameBytes, cancel)) {
    case StreamReceive::Frame: return {FrameOutcome::Frame, 0};
    case StreamReceive::Cancelled: return {FrameOutcome::NoFrame, 0};
    case StreamReceive::Idle:
      ReportError(QUVEX_ERR_FRAME_READ);  // the receive's own report; the caller reports again
      return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
    case StreamReceive::Broken: break;
  }
  ReportError(QUVEX_ERR_FRAME_READ);
  switch (Reconnect(connection, cancel)) {
    case StreamConnect::Connected: return {FrameOutcome::Error, QUVEX_ERR_FRAME_READ};
    case StreamConnect::Cancelled: return {FrameOutcome::NoFrame, 0};
    default: return lost;
  }
}

StreamConnect FenwoldBinding::Reconnect(std::shared_ptr<CStreamConnection>& connection,
                                        const WaitCancel& cancel) {
  if (cancel.IsSet()) return StreamConnect::Cancelled;
  uint32_t address;
  {
    std::lock_guard lock(mutex_);
    address = address_;
  }
  std::shared_ptr<CStreamConnection> fresh;
  try {
    fresh = std::make_shared<CStreamConnection>(address, port_, waitMs_);
  } catch (const std::bad_alloc&) {
    return StreamConnect::Failed;
  }
  const StreamConnect result = fresh->Connect(cancel);
  if (result != StreamConnect::Connected) return result;
  connection = fresh;
  std::lock_guard lock(mutex_);
  connection_ = std::move(fresh);
  return result;
}

void FenwoldBinding::QueryStatusEverySecond() {
  const uint32_t now = platform::TickCount();
  if (now - lastStatus_ <= kStatusPeriodMs) return;
  lastStatus_ = now;
  // The reply is only a sign of life; nothing uses it.
  if (const auto connection = Connection()) connection->QueryStatus(stopping_);
}

int FenwoldBinding::SetIpAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);  // network byte order as it stands
  connected_.store(false);
  {
    // The earlier connection closes once its last user lets it go.
    std::lock_guard lock(mutex_);
    connection_.reset();
    address_ = address;
  }
  std::shared_ptr<CStreamConnection> fresh;
  try {
    fresh = std::make_shared<CStreamConnection>(address, port_, waitMs_);
  } catch (const std::bad_alloc&) {
    return ReportError(QUVEX_ERR_NETWORK), 0;
  }
  switch (fresh->Connect(host_)) {
    case StreamConnect::Connected: break;
    case StreamConnect::NoAnswer:
    case StreamConnect::Failed: return ReportError(QUVEX_ERR_NETWORK), 0;
    case StreamConnect::Refused:
    case StreamConnect::Cancelled: return 0;
  }
  {
    std::lock_guard lock(mutex_);
    connection_ = fresh;
  }
  connected_.store(true);
  fresh->QueryStatus(host_);
  return 1;
}

}  // namespace quvex
