#include "transports/gige/gige_device.h"

#include <cstring>
#include <new>
#include <utility>

#include "quvex_platform/clock.h"
#include "quvex_platform/debug.h"
#include "transports/gige/gige_camera_types.h"
#include "transports/gige/gige_packet.h"

namespace quvex {

namespace {

constexpr size_t kDescriptionBytes = 127;
constexpr int64_t kSilenceAfterPacketsUs = 2'000'000;
constexpr int64_t kSilenceAfterRequestUs = 50'000;
// A failing adapter is read again after this pause instead of at once.
constexpr uint32_t kFailurePauseMs = 10;

bool StartAtHighestPriority(platform::Thread& thread, std::function<void()> body) {
  return thread.Start(std::move(body), platform::ThreadPriority::Highest);
}

int64_t Micros(platform::PacketTime t) { return t.seconds * 1'000'000 + t.microseconds; }

// At most limit bytes, never cutting a UTF-8 sequence.
std::string CutText(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

bool QuietTurnReRequests(platform::PacketTime lastPacket, platform::PacketTime lastRequest,
                         platform::PacketTime now) {
  if (Micros(lastPacket) > Micros(lastRequest)) {
    return Micros(now) - Micros(lastPacket) > kSilenceAfterPacketsUs;
  }
  return Micros(now) - Micros(lastRequest) > kSilenceAfterRequestUs;
}

CGigEDevice::CGigEDevice(uint32_t replyWaitMs, TimeSource now, ThreadStarter startThread)
    : replyWaitMs_(replyWaitMs),
      now_(now),
      startThread_(startThread != nullptr ? startThread : StartAtHighestPriority),
      cameraMac_(command_.CameraMac()) {
  lastPacketTime_ = lastRequestTime_ = now_();
  for (platform::NetworkAdapter& adapter : platform::ListNetworkAdapters(kMaxAdapters)) {
    adapter.description = CutText(std::move(adapter.description), kDescriptionBytes);
    adapters_.push_back(std::move(adapter));
  }
  if (const auto geometry = GigECameraGeometry(6, false)) {
    stream_.Configure(geometry->width, geometry->height, geometry->bits, geometry->headerGap,
                      geometry->trailer);
  }
}

CGigEDevice::~CGigEDevice() { CloseAdapter(); }

std::vector<std::string> CGigEDevice::GetAdapterDescriptions() const {
  std::vector<std::string> descriptions;
  for (const auto& adapter : adapters_) descriptions.push_back(adapter.description);
  return descriptions;
}

std::string CGigEDevice::OpenError() const {
  std::lock_guard lock(adapterMutex_);
  return openError_;
}

int CGigEDevice::OpenAdapter(int index) {
  CloseAdapter();
  std::lock_guard adapter(adapterMutex_);
  openError_.clear();
  if (index < 0 || index >= AdapterCount()) {
    openError_ = "no adapter " + std::to_string(index);
    return 0;
  }
  std::string error;
  auto port = platform::OpenPacketPort(adapters_[static_cast<size_t>(index)].name, error);
  if (!port) {
    openError_ = error;
    platform::OutputDebugText(("GigE adapter not opened: " + error + "\r\n").c_str());
    return 0;
  }
  {
    std::lock_guard send(sendMutex_);
    port_ = std::move(port);
    // The base of the discovery probe; nothing is sent yet.
    command_.SetCommand(QUVEX_GIGE_CMD_STOP);
  }
  adapterOpen_.store(1);
  receiveRun_.store(1);
  if (!startThread_(receiveThread_, [this] { GigEReceiveThreadProc(this); })) {
    CloseAdapterLocked();  // nothing stays half open
    openError_ = "no receive thread";
    return 0;
  }
  std::lock_guard send(sendMutex_);
  active_ = true;
  return 1;
}

void CGigEDevice::CloseAdapter() {
  std::lock_guard adapter(adapterMutex_);
  CloseAdapterLocked();
}

void CGigEDevice::CloseAdapterLocked() {
  // The thread ends within one read wait; the port closes only after it.
  receiveRun_.store(0);
  receiveThread_.Join();
  {
    std::lock_guard send(sendMutex_);
    active_ = false;
    port_.reset();
  }
  {
    std::lock_guard lock(mutex_);
    FreeBuffers();
  }
  adapterOpen_.store(0);
}

int CGigEDevice::DiscoverCamera(const MacAddress& mac) {
  std::lock_guard adapter(adapterMutex_);
  if (adapterOpen_.load() == 0) return 0;
  {
    std::lock_guard lock(mutex_);
    cameraFound_.store(0);
    discoveryPending_ = true;
  }
  Send([&mac](GigECommandFrame& frame) {
    frame.SetDiscovery();
    frame.SetDestination(mac);
  });
  bool found = false;
  {
    std::unique_lock lock(mutex_);
    found = replied_.wait_for(lock, std::chrono::milliseconds(replyWaitMs_),
                              [this] { return cameraFound_.load() != 0; });
    discoveryPending_ = false;
    if (found) cameraMac_ = mac;
  }
  if (found) {
    std::lock_guard send(sendMutex_);
    command_.SetCameraMac(mac);
  }
  return found ? 1 : 0;
}

bool CGigEDevice::Send(const std::function<void(GigECommandFrame&)>& build) {
  std::lock_guard send(sendMutex_);
  build(command_);
  if (!active_ || !port_) return false;
  return port_->Send(command_.Frame().data(), GigECommandFrame::kSize);
}

bool CGigEDevice::SendAck(uint16_t sequence) {
  return Send([sequence](GigECommandFrame& frame) { frame.SetAckNumber(sequence); });
}

void CGigEDevice::FreeBuffers() {
  stream_.Attach(nullptr, 0);
  for (auto& buffer : buffers_) buffer.reset();
  buffersReady_ = false;
}

bool CGigEDevice::AllocateBuffers() {
  FreeBuffers();
  const size_t bytes =
      static_cast<size_t>(imageWidth_) * static_cast<size_t>(imageHeight_) * (sixteenBit_ ? 2 : 1);
  for (auto& buffer : buffers_) {
    buffer.reset(new (std::nothrow) uint8_t[bytes]());
    if (!buffer) {
      FreeBuffers();
      return false;
    }
  }
  slotBytes_ = bytes;
  buffersReady_ = true;
  writeIndex_ = 0;
  lastReadIndex_ = kRingSlots - 1;  // nothing counts as new before the first frame
  capturedSlot_ = -1;
  return true;
}

int CGigEDevice::SetImageSize(int width, int height, int sixteenBit) {
  if (width <= 0 || height <= 0 || width > 5000 || height > 5000) return 0;
  std::lock_guard lock(mutex_);
  imageWidth_ = width;
  imageHeight_ = height;
  sixteenBit_ = sixteenBit != 0;
  return AllocateBuffers() ? 1 : 0;
}

size_t CGigEDevice::SlotBytes() const {
  std::lock_guard lock(mutex_);
  return slotBytes_;
}

int CGigEDevice::SetCameraType(unsigned type) {
  if (type >= kGigECameraTypes) return 0;
  std::lock_guard lock(mutex_);
  if (const auto geometry = GigECameraGeometry(type, sixteenBit_)) {
    stream_.Configure(geometry->width, geometry->height, geometry->bits, geometry->headerGap,
                      geometry->trailer);
  }
  // Allocated again by the next start or single capture; nothing is filled
  // until then.
  FreeBuffers();
  return 1;
}

void CGigEDevice::RequestFrame() {
  if (!buffersReady_) return;
  stream_.Attach(buffers_[static_cast<size_t>(writeIndex_)].get(), slotBytes_);
  expectedSequence_ = 1;
  requestPending_ = true;
  SendCommand(QUVEX_GIGE_CMD_STOP);
  SendCommand(QUVEX_GIGE_CMD_REQUEST_FRAME);
}

void CGigEDevice::ReRequest(platform::PacketTime now) {
  stream_.Rearm();
  RequestFrame();
  lastRequestTime_ = now;
  expectedSequence_ = 1;
}

int CGigEDevice::StartStream() {
  std::lock_guard lock(mutex_);
  if (!buffersReady_) AllocateBuffers();  // a failure shows as no frames
  expectedSequence_ = 1;
  mode_ = kContinuous;
  RequestFrame();
  return 1;
}

int CGigEDevice::StopStream() {
  std::lock_guard lock(mutex_);
  mode_ = kStopped;
  stream_.Attach(nullptr, 0);
  SendStop();
  return 1;
}

int CGigEDevice::CaptureOne() {
  std::unique_lock lock(mutex_);
  if (capturesInterrupted_ || (!buffersReady_ && !AllocateBuffers())) return 0;
  const uint64_t before = singleFrames_;
  expectedSequence_ = 1;
  mode_ = kSingle;
  capturedSlot_ = -1;
  RequestFrame();
  replied_.wait_for(lock, std::chrono::milliseconds(replyWaitMs_),
                    [&] { return singleFrames_ != before || capturesInterrupted_; });
  return singleFrames_ != before && capturedSlot_ >= 0 ? 1 : 0;
}

void CGigEDevice::InterruptCaptures(bool raised) {
  {
    std::lock_guard lock(mutex_);
    capturesInterrupted_ = raised;
  }
  replied_.notify_all();
}

int CGigEDevice::IsNewFrame() const {
  std::lock_guard lock(mutex_);
  if (!buffersReady_) return 2;
  const int newest = (writeIndex_ + kRingSlots - 1) % kRingSlots;
  return lastReadIndex_ == newest ? 2 : 1;
}

int CGigEDevice::ReadSlotLocked(int slot, uint8_t* destination, size_t size) {
  if (!buffersReady_ || destination == nullptr || size < slotBytes_ || slot < 0 ||
      slot >= kRingSlots) {
    return 0;
  }
  std::memcpy(destination, buffers_[static_cast<size_t>(slot)].get(), slotBytes_);
  lastReadIndex_ = slot;
  return 1;
}

int CGigEDevice::ReadSlot(int slot, uint8_t* destination, size_t size) {
  std::lock_guard lock(mutex_);
  return ReadSlotLocked(slot, destination, size);
}

int CGigEDevice::ReadLatestFrame(uint8_t* destination, size_t size) {
  std::lock_guard lock(mutex_);
  return ReadSlotLocked((writeIndex_ + kRingSlots - 1) % kRingSlots, destination, size);
}

int CGigEDevice::ReadCapturedFrame(uint8_t* destination, size_t size) {
  std::lock_guard lock(mutex_);
  return capturedSlot_ < 0 ? 0 : ReadSlotLocked(capturedSlot_, destination, size);
}

uint64_t CGigEDevice::FramesCompleted() const {
  std::lock_guard lock(mutex_);
  return continuousFrames_;
}

int CGigEDevice::QueueRegisterWrite(int registerNumber, int value) {
  writes_.Push(registerNumber, value);
  return 1;
}

void CGigEDevice::FrameComplete() {
  SendStop();
  // Detached before it is announced: nothing writes the frame until a
  // request attaches its slot again, nine frames later.
  stream_.Attach(nullptr, 0);
  if (mode_ == kContinuous) {
    requestPending_ = true;
    writeIndex_ = (writeIndex_ + 1) % kRingSlots;
    ++continuousFrames_;
  } else {
    capturedSlot_ = writeIndex_;
    ++singleFrames_;
    replied_.notify_all();
  }
}

void CGigEDevice::OnPacket(const uint8_t* data, uint32_t wireLength, platform::PacketTime time) {
  if (wireLength != kGigEPacketBytes) return;
  std::lock_guard lock(mutex_);
  if (discoveryPending_) {
    cameraFound_.store(1);
    replied_.notify_all();
    return;
  }
  if (!PacketFrom(data, cameraMac_) || cameraFound_.load() == 0) return;
  if (mode_ != kContinuous && mode_ != kSingle) return;
  lastPacketTime_ = time;
  const uint16_t sequence = PacketSequence(data);
  const uint8_t* payload = data + kGigEPayloadOffset;
  switch (ClassifySequence(sequence, expectedSequence_)) {
    case SequenceAction::AcceptAndAck:
      SendAck(sequence);
      [[fallthrough]];
    case SequenceAction::Accept:
      expectedSequence_ = static_cast<uint16_t>(sequence + 1);
      if (stream_.Feed(payload, kGigEPayloadBytes)) FrameComplete();
      break;
    case SequenceAction::AckAgain:
      SendAck(sequence);
      break;
    case SequenceAction::Ignore:
      break;
    case SequenceAction::Resync:
      expectedSequence_ = static_cast<uint16_t>(sequence + 1);
      stream_.Rearm();
      stream_.Feed(payload, kGigEPayloadBytes);
      break;
  }
}

void CGigEDevice::OnIdle() {
  {
    std::lock_guard lock(mutex_);
    if (mode_ == kContinuous) {
      const platform::PacketTime now = now_();
      if (QuietTurnReRequests(lastPacketTime_, lastRequestTime_, now)) {
        ReRequest(now);  // requestPending stays: the next quiet turn asks once more
      } else if (requestPending_) {
        ReRequest(now);
        requestPending_ = false;
      }
    }
  }
  for (int handled = 0; handled < kMaxWritesPerTurn; ++handled) {
    const auto write = writes_.PopFront();
    if (!write) break;
    Send([&write](GigECommandFrame& frame) {
      frame.SetRegisterWrite(kGigERegisterWriteKind, static_cast<uint16_t>(write->registerNumber),
                             static_cast<uint32_t>(write->value));
    });
    platform::SleepMs(1);
  }
}

int GigEReceiveThreadProc(CGigEDevice* device) {
  device->ReceiveLoop();
  return 0;
}

void CGigEDevice::ReceiveLoop() {
  platform::PacketPort* port = nullptr;
  {
    std::lock_guard send(sendMutex_);
    port = port_.get();  // stays until this thread has been joined
  }
  platform::ReceivedPacket packet;
  while (receiveRun_.load() != 0) {
    switch (port->Read(packet, kReadWaitMs)) {
      case platform::PacketRead::Packet:
        // A packet cut short by the snapshot length counts as too long.
        OnPacket(packet.data, packet.captured < packet.length ? 0 : packet.length, packet.time);
        break;
      case platform::PacketRead::Quiet:
        OnIdle();
        break;
      case platform::PacketRead::Failed:
        platform::SleepMs(kFailurePauseMs);
        break;
    }
  }
}

}  // namespace quvex
