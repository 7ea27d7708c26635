#include "sim/gige_camera.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "sim/frame_pattern.h"

namespace quvex::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPacketBytes = 1066;
constexpr size_t kHeaderBytes = 42;
constexpr size_t kPayloadBytes = 1024;
constexpr uint16_t kBlock = 64;
constexpr int kPreamble = 50;
constexpr int kMaxResends = 200;  // then the host is taken to be gone
constexpr size_t kReceivedKept = 4096;
constexpr GigEMac kForeignMac = {0x02, 0x66, 0x6F, 0x72, 0x65, 0x69};

constexpr uint8_t kCommandStop = 29;
constexpr uint8_t kCommandRequestFrame = 26;

void PutBigEndian16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

// An IPv4/UDP packet of length bytes carrying sequence in its identification.
void BuildHeader(uint8_t* packet, uint32_t length, uint16_t sequence, const GigEMac& source) {
  std::fill(packet, packet + 6, 0xFF);
  std::copy(source.begin(), source.end(), packet + 6);
  packet[12] = 0x08;
  packet[13] = 0x00;
  uint8_t* ip = packet + 14;
  ip[0] = 0x45;
  PutBigEndian16(ip + 2, length - 14);
  PutBigEndian16(ip + 4, sequence);
  ip[6] = 0x40;  // do not fragment
  ip[8] = 64;
  ip[9] = 17;  // UDP
  const uint8_t addresses[8] = {192, 168, 77, 2, 192, 168, 77, 1};
  std::copy(addresses, addresses + 8, ip + 12);
  uint32_t sum = 0;
  for (int i = 0; i < 20; i += 2) sum += static_cast<uint32_t>(ip[i] << 8 | ip[i + 1]);
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  PutBigEndian16(ip + 10, ~sum & 0xFFFF);
  uint8_t* udp = ip + 20;
  PutBigEndian16(udp, 0x5151);
  PutBigEndian16(udp + 2, 0x5152);
  PutBigEndian16(udp + 4, length - 34);
}

}  // namespace

SimGigECamera::SimGigECamera(std::unique_ptr<GigELink> link, GigEMac mac)
    : link_(std::move(link)), mac_(mac) {
  thread_ = std::thread([this] { Run(); });
}

SimGigECamera::~SimGigECamera() {
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
  }
  thread_.join();
}

uint16_t SimGigECamera::Sample(uint32_t frame, int row, int column) {
  return ActiveSample(frame, row, column);
}

void SimGigECamera::SetCameraType(int type, bool sixteenBit) {
  static constexpr Geometry kTypes[] = {
      {1280, 1024, 16, 1102, 64384}, {1600, 1200, 16, 1102, 25472}, {2456, 2056, 8, 1102, 56208},
      {640, 480, 16, 1102, 39808},   {2560, 1920, 8, 1102, 25472},  {320, 240, 16, 1102, 41856},
      {640, 480, 16, 1102, 39808}};
  if (type < 0 || type > 6 || type == 3) return;
  std::lock_guard lock(mutex_);
  geometry_ = kTypes[type];
  if (type == 0 && !sixteenBit) geometry_.bits = 8;
}

void SimGigECamera::SetFrameRate(double framesPerSecond) {
  std::lock_guard lock(mutex_);
  framesPerSecond_ = framesPerSecond;
}

void SimGigECamera::AddFault(Fault fault, uint16_t sequence) {
  std::lock_guard lock(mutex_);
  faults_.emplace_back(fault, sequence);
}

void SimGigECamera::Inject(const Injection& injection) {
  std::lock_guard lock(mutex_);
  injections_.push_back(injection);
}

void SimGigECamera::IgnoreAcks(int count) {
  std::lock_guard lock(mutex_);
  ignoreAcks_ = count;
}

void SimGigECamera::SetResendWait(std::chrono::milliseconds wait) {
  std::lock_guard lock(mutex_);
  resendWait_ = wait;
}

void SimGigECamera::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

uint32_t SimGigECamera::FramesServed() const {
  std::lock_guard lock(mutex_);
  return framesServed_;
}

uint32_t SimGigECamera::FrameRequests() const {
  std::lock_guard lock(mutex_);
  return frameRequests_;
}

uint32_t SimGigECamera::BlocksResent() const {
  std::lock_guard lock(mutex_);
  return blocksResent_;
}

uint32_t SimGigECamera::DiscoveryReplies() const {
  std::lock_guard lock(mutex_);
  return discoveryReplies_;
}

std::vector<uint16_t> SimGigECamera::Acks() const {
  std::lock_guard lock(mutex_);
  return acks_;
}

std::vector<SimGigECamera::RegisterWrite> SimGigECamera::RegisterWrites() const {
  std::lock_guard lock(mutex_);
  return registerWrites_;
}

std::vector<std::vector<uint8_t>> SimGigECamera::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool SimGigECamera::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  for (;;) {
    lock.unlock();
    if (done()) return true;
    lock.lock();
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      lock.unlock();
      return done();
    }
  }
}

void SimGigECamera::Changed() { changed_.notify_all(); }

void SimGigECamera::Handle(const std::vector<uint8_t>& frame) {
  std::unique_lock lock(mutex_);
  if (received_.size() >= kReceivedKept) received_.erase(received_.begin());
  received_.push_back(frame);
  lock.unlock();
  Changed();
  if (frame.size() < 51 || !std::equal(mac_.begin(), mac_.end(), frame.begin())) return;
  // The host builds each frame on the one it sent before: a command resets
  // it, anything else changes a few bytes and sends it again. So each frame
  // is read against the one before it:
  // - a command: nothing set but its code;
  // - a register write: bytes 20 to 32 changed; applied once, since the
  //   frames after it repeat those bytes until the next command;
  // - an acknowledgement: the number in bytes 43 and 44 of any frame that is
  //   no new write (a frame repeated whole is one sent again), and of a new
  //   write when it is the number awaited: the host acknowledged that block
  //   before, unheard, and the write carries the number on;
  // - the discovery probe: byte 41 on a frame with no write and no number.
  const uint16_t ack = static_cast<uint16_t>(frame[43] << 8 | frame[44]);
  const bool write = frame[26] == 1;
  const bool discovery = frame[41] == 1;
  const bool newWrite = write && (previous_.size() < 33 ||
                                  !std::equal(frame.begin() + 20, frame.begin() + 33,
                                              previous_.begin() + 20));
  previous_ = frame;
  lock.lock();
  if (frame[21] == 0x80 && ack == 0 && !write && !discovery) {
    if (frame[22] == kCommandStop) {
      requested_ = streaming_ = false;
    } else if (frame[22] == kCommandRequestFrame) {
      ++frameRequests_;
      requested_ = true;
      streaming_ = false;
    }
  }
  if (newWrite) {
    registerWrites_.push_back({static_cast<uint16_t>(frame[27] << 8 | frame[28]),
                               static_cast<uint32_t>(frame[30] << 16 | frame[31] << 8 | frame[32])});
  }
  if (ack != 0 && (!newWrite || ack == awaitedAck_)) TakeAck(ack);
  if (discovery && !write && ack == 0 && !silent_) {
    ++discoveryReplies_;
    lock.unlock();
    const uint8_t zeros[kPayloadBytes] = {};
    SendPacket(0, zeros, mac_, kPacketBytes);
  }
  if (lock.owns_lock()) lock.unlock();
  Changed();
}

void SimGigECamera::TakeAck(uint16_t ack) {
  if (ignoreAcks_ > 0) {
    --ignoreAcks_;
    return;
  }
  acks_.push_back(ack);
  if (ack == awaitedAck_) acked_ = true;
  if (acked_ && streaming_ && awaitedAck_ == packets_) {  // the frame's last block
    streaming_ = requested_ = false;
    awaitedAck_ = 0;
    ++framesServed_;
  }
}

void SimGigECamera::BeginFrame() {
  std::unique_lock lock(mutex_);
  const Geometry g = geometry_;
  frameFaults_ = std::move(faults_);
  faults_.clear();
  frameInjections_ = std::move(injections_);
  injections_.clear();
  const uint32_t counter = framesServed_ + 1;
  lock.unlock();

  // A request again before the frame was served restarts the same frame:
  // its picture is built once.
  if (counter != streamCounter_ || std::memcmp(&g, &streamGeometry_, sizeof g) != 0) {
    const size_t lineBytes = (static_cast<size_t>(g.width) * g.bits + 7) / 8;
    const size_t imageBytes = lineBytes * g.height;
    const size_t total = kPreamble + g.headerGap + imageBytes + g.trailer;
    stream_.assign((total + kPayloadBytes - 1) / kPayloadBytes * kPayloadBytes, 0);
    std::fill(stream_.begin(), stream_.begin() + kPreamble, 0xAA);
    const SensorWindow window{g.width, 0, g.width, 0, g.height};
    FillFrame(stream_.data() + kPreamble + g.headerGap, imageBytes, g.bits > 8, window, counter);
    streamCounter_ = counter;
    streamGeometry_ = g;
  }
  packets_ = static_cast<uint16_t>(stream_.size() / kPayloadBytes);
  nextBlock_ = 1;
  awaitedAck_ = 0;
  acked_ = false;
  streaming_ = true;
  lastFrameStart_ = Clock::now();
}

void SimGigECamera::SendPacket(uint16_t sequence, const uint8_t* payload, const GigEMac& source,
                               uint32_t length) {
  uint8_t packet[2048] = {};
  length = std::min<uint32_t>(length, sizeof packet);
  BuildHeader(packet, length, sequence, source);
  if (length > kHeaderBytes) {
    std::copy(payload, payload + std::min<size_t>(kPayloadBytes, length - kHeaderBytes),
              packet + kHeaderBytes);
  }
  link_->Send(packet, length);
}

void SimGigECamera::SendBlock(uint16_t first, uint16_t last) {
  const auto payload = [this](uint16_t sequence) {
    return stream_.data() + (static_cast<size_t>(sequence) - 1) * kPayloadBytes;
  };
  const auto takeFault = [this](uint16_t sequence) -> std::optional<Fault> {
    const auto found = std::find_if(frameFaults_.begin(), frameFaults_.end(),
                                    [&](const auto& f) { return f.second == sequence; });
    if (found == frameFaults_.end()) return std::nullopt;
    const Fault fault = found->first;
    frameFaults_.erase(found);
    return fault;
  };
  for (uint32_t s = first; s <= last; ++s) {
    const auto sequence = static_cast<uint16_t>(s);
    const std::optional<Fault> fault = takeFault(sequence);
    if (fault == Fault::SwapWithNext && s < last) {
      SendPacket(static_cast<uint16_t>(s + 1), payload(static_cast<uint16_t>(s + 1)), mac_,
                 kPacketBytes);
      SendPacket(sequence, payload(sequence), mac_, kPacketBytes);
      ++s;
    } else if (fault != Fault::Drop) {
      SendPacket(sequence, payload(sequence), mac_, kPacketBytes);
      if (fault == Fault::Duplicate) SendPacket(sequence, payload(sequence), mac_, kPacketBytes);
    }
    for (auto i = frameInjections_.begin(); i != frameInjections_.end();) {
      if (i->after != sequence) {
        ++i;
        continue;
      }
      SendPacket(i->sequence, payload(sequence), i->foreignSource ? kForeignMac : mac_, i->length);
      i = frameInjections_.erase(i);
    }
  }
}

void SimGigECamera::Run() {
  std::vector<uint8_t> frame;
  int resends = 0;
  for (;;) {
    bool silent = false;
    double framesPerSecond = 0;
    {
      std::lock_guard lock(mutex_);
      if (shutdown_) return;
      silent = silent_;
      framesPerSecond = framesPerSecond_;
    }
    // Wait for the host only when there is nothing to send.
    const bool busy = !silent && streaming_ && awaitedAck_ == 0;
    for (uint32_t wait = busy ? 0 : 1; link_->Receive(frame, wait); wait = 0) Handle(frame);
    if (silent) continue;

    std::unique_lock lock(mutex_);
    if (requested_ && !streaming_) {
      const auto interval = std::chrono::duration<double>(
          framesPerSecond > 0 ? 1.0 / framesPerSecond : 0.0);
      if (Clock::now() - lastFrameStart_ < interval) continue;
      lock.unlock();
      BeginFrame();
      resends = 0;
      continue;
    }
    if (!streaming_) continue;
    if (awaitedAck_ != 0) {
      if (acked_) {
        nextBlock_ = static_cast<uint16_t>(awaitedAck_ + 1);
        awaitedAck_ = 0;
        resends = 0;
        if (nextBlock_ > packets_ || nextBlock_ == 0) {
          streaming_ = requested_ = false;
          ++framesServed_;
          lock.unlock();
          Changed();
        }
      } else if (Clock::now() - blockSent_ > resendWait_) {
        if (++resends > kMaxResends) {
          streaming_ = requested_ = false;
          continue;
        }
        ++blocksResent_;
        const auto first = static_cast<uint16_t>(awaitedAck_ - kBlock + 1);
        const uint16_t last = awaitedAck_;
        lock.unlock();
        SendBlock(first, last);
        blockSent_ = Clock::now();
      }
      continue;
    }
    const uint16_t first = nextBlock_;
    const auto last = static_cast<uint16_t>(std::min<uint32_t>(first + kBlock - 1u, packets_));
    lock.unlock();
    SendBlock(first, last);
    lock.lock();
    if (last % kBlock == 0) {
      awaitedAck_ = last;
      acked_ = false;
      blockSent_ = Clock::now();
    } else {  // a partial block ends the frame: nothing acknowledges it
      streaming_ = requested_ = false;
      ++framesServed_;
      lock.unlock();
      Changed();
    }
  }
}

}  // namespace quvex::sim
