// Capture control and the capture thread: each new frame is read into the
// next slot of the ring; the finisher then maps it to colour, counts it for
// the frame rate, records it, publishes it as the current slot and announces
// it to the host while the capture thread reads the next.
#include <algorithm>

#include "core/camera_object.h"
#include "core/frame_finisher.h"
#include "quvex_platform/clock.h"
#include "quvex_platform/text.h"

namespace quvex {

namespace {
// Record names hold at most 259 UTF-16 units and their terminator.
constexpr size_t kMaxRecordName = 259;
// Longest pause between two polls, whatever parameter 9 says: a stop wakes the
// thread at once anyway, this only keeps a huge value from meaning "never".
constexpr uint32_t kMaxLoopSleep = 10000;
constexpr uint32_t kPausedSleep = 10;
}  // namespace

bool CQuvex::CaptureCheck() {
  if (device_->CanCapture()) return true;
  PushError(QUVEX_ERR_NOT_READY);
  return false;
}

int CQuvex::CurrentIndex() const {
  std::lock_guard lock(lock_);
  return currentIndex_.load();
}

void CQuvex::PublishIndex(int index) {
  std::lock_guard lock(lock_);
  currentIndex_.store(index);
}

int CQuvex::Preview() {
  std::lock_guard control(controlMutex_);
  if (StartCapture() != 0) return 1;
  StopCapture();
  return 0;
}

int CQuvex::Close() {
  return Interrupting([this] { return StopCapture(), 1; });
}

int CQuvex::Interrupting(const std::function<int()>& change) {
  // The device ends a one-shot that holds the control lock, so the lock
  // comes as soon as the device notices; once it is held, no one-shot runs.
  std::unique_lock<std::mutex> control;
  {
    device_->InterruptOneShots();
    struct Resume {
      DeviceBinding& device;
      ~Resume() { device.ResumeOneShots(); }
    } resume{*device_};
    control = std::unique_lock(controlMutex_);
  }
  return change();
}

int CQuvex::AllocateRing() { return BuildRing(false); }

int CQuvex::BuildRing(bool forOneShot) {
  const int error = device_->PrepareCapture(profile_.timing);
  // A one-shot that a host call ended gives up without an error: its device
  // was set up while its commands failed, and a large ring takes long.
  const auto ended = [&] { return forOneShot && device_->OneShotsInterrupted(); };
  if (ended()) return 0;
  if (error != 0) return PushError(error), 0;
  const int width = profile_.timing.activeWidth;
  const int height = profile_.timing.activeLines;
  for (int i = 0; i < ring_.Size(); ++i) {
    if (ended()) return 0;
    FrameSlot& slot = ring_[i];
    std::lock_guard lock(slot.mutex);
    slot.frameId.store(0);
    if (slot.raw.Create(width, height, 16) == 0 || slot.colour.Create(width, height, 24) == 0) {
      return PushError(QUVEX_ERR_BUFFER), 0;
    }
  }
  return 1;
}

int CQuvex::StartCapture() {
  if (!CaptureCheck()) return 0;
  if (captureState_.load() == 1) return 1;
  if (AllocateRing() == 0) return 0;
  runFlag_.store(1);
  stopping_.Reset();
  if (!captureThread_.Start([this] { CaptureThreadProc(*this); })) {
    StopCapture();
    return PushError(QUVEX_ERR_THREAD), 0;
  }
  const bool startFirst = profile_.behaviour.startsBeforeRegisterWrites;
  int error = startFirst ? device_->StartDevice() : 0;
  if (error == 0) {
    SetRegister7Flag(switchFlag_.load());
    SetRangeMode(rangeMode_.load());
    if (!startFirst) error = device_->StartDevice();
  }
  if (error != 0) {
    StopCapture();
    return PushError(error), 0;
  }
  captureState_.store(1);
  return 1;
}

int CQuvex::WithCaptureStopped(const std::function<int()>& change) {
  return Interrupting([&] { return StopCapture(), change(); });
}

int CQuvex::StopCapture() {
  // Nothing started, nothing to stop: a close or release of an idle object,
  // or the undoing of a start that failed early, reports nothing.
  if (captureState_.load() == 0 && !captureThread_.Joinable()) return 1;
  if (!CaptureCheck()) return 0;
  runFlag_.store(0);
  stopping_.Set();
  device_->CancelWaits();
  captureThread_.Join();  // every wait of the thread ends on the cancel above
  if (captureState_.load() == 0) return 1;
  captureState_.store(0);
  const int error = device_->StopDevice();
  if (error != 0) return PushError(error), 0;
  return 1;
}

void CQuvex::Nap(uint32_t ms) {
  if (ms == 0) return platform::SleepMs(0);
  stopping_.Wait(std::min(ms, kMaxLoopSleep));
}

void CQuvex::CountFrameForRate() {
  ++frameCount_;
  const uint32_t elapsed = platform::TickCount() - rateTime_;
  if (elapsed > 1000) {
    const uint32_t now = platform::TickCount();
    const double rate = frameCount_ * 100000.0 / static_cast<double>(now - rateTime_);
    frameRate_.store(static_cast<int>(rate));
    frameCount_ = 0;
    rateTime_ = now;
  }
}

bool CQuvex::NucSettling() {
  uint32_t nucTime = nucTime_.load();
  if (nucTime == 0) return false;
  const int settle = std::max(0, nucSettle_.load());
  if (platform::TickCount() - nucTime < static_cast<uint32_t>(settle)) return true;
  // A device read through the window: its first frame after it ends the NUC.
  if (profile_.behaviour.readsThroughNucSettle) nucTime_.compare_exchange_strong(nucTime, 0);
  return false;
}

void CQuvex::CaptureLoop() {
  // A capture's rate window starts with it, not with an earlier capture.
  frameCount_ = 0;
  rateTime_ = platform::TickCount();
  int endError = 0;
  RecordBegin();
  {
    FrameFinisher finisher([this](int index) { FinishFrame(index); },
                           ring_.Size() >= FrameFinisher::kRingSlotsNeeded);
    int index = -1;  // the slot to read into; the one after the current at first
    while (runFlag_.load() != 0) {
      Nap(static_cast<uint32_t>(loopSleep_.load()));
      if (runFlag_.load() != 1) continue;
      const FrameOutcome poll = device_->Poll();
      if (poll.kind == FrameOutcome::End) {
        endError = poll.error;
        break;
      }
      if (poll.kind != FrameOutcome::Frame) continue;
      if (paused_.load() != 0) {
        Nap(kPausedSleep);
        continue;
      }
      const bool readsThroughNuc = profile_.behaviour.readsThroughNucSettle;
      if (!readsThroughNuc && NucSettling()) continue;

      if (index < 0) index = (CurrentIndex() + 1) % ring_.Size();
      FrameSlot& slot = ring_[index];
      BeginFill(slot);
      const FrameOutcome read = device_->Read(slot.raw.Bits(), slot.raw.ByteSize());
      if (read.kind == FrameOutcome::End) {
        EndFill(slot, 0);
        endError = read.error;
        break;
      }
      if (read.kind == FrameOutcome::Error) PushError(read.error);
      // Dropped during the NUC settle window: the slot is taken again next turn.
      if (read.kind != FrameOutcome::Frame || (readsThroughNuc && NucSettling())) {
        EndFill(slot, 0);
        continue;
      }
      finisher.HandOver(index);
      index = (index + 1) % ring_.Size();
    }
  }  // the finisher finishes the frames in flight before it goes
  if (endError != 0) {
    runFlag_.store(0);
    PushError(endError);
  }
  RecordEnd();
}

void CQuvex::FinishFrame(int index) {
  FrameSlot& slot = ring_[index];
  MapRawToColor(slot.raw, slot.colour);
  const int frameId = ring_.NewFrameId(profile_.frameIds, true);
  EndFill(slot, frameId);
  PublishIndex(index);
  CountFrameForRate();
  RecordStep(slot);  // no other thread writes this slot now: no lock needed to read it
  if (const QuvexHwnd window = Window()) {
    QuvexWindow_Post(window, WM_QUVEX_FRAME, 0, frameId);
  }
}

int CQuvex::OneShot() {
  // A host call waiting to stop or replace the device goes first: a one-shot
  // does not even queue for the control lock meanwhile.
  if (device_->OneShotsInterrupted()) return 0;
  std::lock_guard control(controlMutex_);
  if (!DeviceCheck()) return 0;
  if (captureState_.load() == 1) return 0;
  if (!device_->BeginOneShot()) return 0;
  struct End {
    DeviceBinding& device;
    ~End() { device.EndOneShot(); }
  } end{*device_};
  if (profile_.behaviour.oneShotRenewsRing) {
    SetRangeMode(rangeMode_.load());
    if (BuildRing(true) == 0) return 0;
  }
  if (ring_.Size() == 0) return 0;
  const int index = (CurrentIndex() + 1) % ring_.Size();
  FrameSlot& slot = ring_[index];
  BeginFill(slot);
  const FrameOutcome shot = device_->OneShot(slot.raw.Bits(), slot.raw.ByteSize());
  if (shot.kind == FrameOutcome::Error) PushError(shot.error);
  if (shot.kind != FrameOutcome::Frame) return EndFill(slot, 0), 0;
  MapRawToColor(slot.raw, slot.colour);
  const int frameId = ring_.NewFrameId(profile_.frameIds, false);
  EndFill(slot, frameId);
  PublishIndex(index);
  return frameId;
}

void CQuvex::BeginFill(FrameSlot& slot) {
  std::lock_guard lock(slot.mutex);
  slot.frameId.store(0);  // the old frame is gone from here on
  slot.filling = true;
}

void CQuvex::EndFill(FrameSlot& slot, int frameId) {
  std::lock_guard lock(slot.mutex);
  slot.filling = false;
  slot.frameId.store(frameId);
}

int CQuvex::Rec(const char16_t* name, int recordType) {
  if (name == nullptr) return PushError(QUVEX_ERR_ARGUMENT), 0;
  const size_t length = platform::Utf16Length(name);
  if (length > kMaxRecordName) return PushError(QUVEX_ERR_ARGUMENT), 0;
  std::lock_guard lock(recordMutex_);
  recordName_.assign(name, length);
  recordType_.store(recordType);
  return 1;
}

}  // namespace quvex
