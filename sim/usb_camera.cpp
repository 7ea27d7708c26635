// The simulated USB camera: driver callbacks, packets, paced frames, faults.
#include "sim/usb_camera.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sim/simulator_cpu.h"

namespace quvex::sim {

namespace {

constexpr size_t kLogLimit = 4096;

template <typename T>
void Append(std::deque<T>& log, T entry) {
  if (log.size() == kLogLimit) log.pop_front();
  log.push_back(std::move(entry));
}

}  // namespace

SimUsbCamera::SimUsbCamera(SimCameraOptions options)
    : prefix_(std::move(options.prefix)),
      window_(options.window),
      framesPerSecond_(options.framesPerSecond) {
  for (int index : options.present) {
    if (index >= 0 && index < QUVEX_USB_MAX_DEVICES) cameras_[static_cast<size_t>(index)].present = true;
  }
  const QuvexUsbDriver table{this, &OpenThunk, &TransferThunk, &CancelThunk, &CloseThunk};
  installed_ = QuvexUsb_InstallDriver(prefix_.c_str(), &table) == 1;
}

SimUsbCamera::~SimUsbCamera() {
  if (installed_) QuvexUsb_RemoveDriver(prefix_.c_str());
}

void* SimUsbCamera::OpenThunk(void* context, int index) {
  return static_cast<SimUsbCamera*>(context)->Open(index);
}

int SimUsbCamera::TransferThunk(void* context, void* device, uint32_t requestCode, uint32_t pipe,
                                void* buffer, uint32_t length, uint32_t* moved,
                                uint32_t timeoutMs) {
  const SimulatorWork counted;  // on the SDK's thread
  uint32_t count = 0;
  const bool ok = static_cast<SimUsbCamera*>(context)->Transfer(
      *static_cast<Device*>(device), requestCode, pipe, static_cast<uint8_t*>(buffer), length,
      count, timeoutMs);
  if (moved != nullptr) *moved = count;
  return ok ? 1 : 0;
}

void SimUsbCamera::CancelThunk(void* context, void* device) {
  static_cast<SimUsbCamera*>(context)->Cancel(*static_cast<Device*>(device));
}

void SimUsbCamera::CloseThunk(void* context, void* device) {
  static_cast<SimUsbCamera*>(context)->Close(static_cast<Device*>(device));
}

void* SimUsbCamera::Open(int index) {
  std::lock_guard lock(mutex_);
  if (openFails_ || unplugged_ || index < 0 || index >= QUVEX_USB_MAX_DEVICES ||
      !cameras_[static_cast<size_t>(index)].present) {
    return nullptr;
  }
  Device* device = new (std::nothrow) Device{index};
  if (device != nullptr) ++openDevices_;
  return device;
}

void SimUsbCamera::Cancel(Device& device) {
  {
    std::lock_guard lock(mutex_);
    device.cancelled = true;
  }
  changed_.notify_all();
}

void SimUsbCamera::Close(Device* device) {
  std::lock_guard lock(mutex_);
  --openDevices_;
  delete device;
}

template <typename Ready>
bool SimUsbCamera::WaitUntil(std::unique_lock<std::mutex>& lock, Device& device,
                             Clock::time_point deadline, Ready ready) {
  for (;;) {
    if (device.cancelled) {
      ++cancelledTransfers_;
      return false;
    }
    if (unplugged_) return false;
    if (ready()) return true;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (!device.cancelled && !unplugged_ && ready()) return true;
      if (!device.cancelled && !unplugged_) ++timedOutTransfers_;
      if (device.cancelled) ++cancelledTransfers_;
      return false;
    }
  }
}

bool SimUsbCamera::Transfer(Device& device, uint32_t requestCode, uint32_t pipe, uint8_t* buffer,
                            uint32_t length, uint32_t& moved, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, leastTimeOutMs_));
  Append(transfers_, TransferRecord{device.index, requestCode, pipe, length});
  Camera& camera = cameras_[static_cast<size_t>(device.index)];

  if (stalled_ && (stallWhat_ == Stall::Transfers || pipe == QUVEX_USB_PIPE_REPLY)) {
    ++stalledTransfers_;
    changed_.notify_all();
    const bool flowing = WaitUntil(lock, device, deadline, [this] { return !stalled_; });
    --stalledTransfers_;
    if (!flowing) return false;
  }
  if (device.cancelled || unplugged_ || buffer == nullptr) {
    if (device.cancelled) ++cancelledTransfers_;
    return false;
  }

  switch (pipe) {
    case QUVEX_USB_PIPE_COMMAND:
      TakeCommand(camera, device.index, buffer, length);
      moved = length;
      changed_.notify_all();
      return true;
    case QUVEX_USB_PIPE_REPLY: {
      if (!WaitUntil(lock, device, deadline, [&] { return !camera.replies.empty(); })) return false;
      const Packet reply = camera.replies.front();
      camera.replies.pop_front();
      if (passingReplyReads_ > 0) {
        --passingReplyReads_;
      } else if (failingReplyReads_ > 0) {
        --failingReplyReads_;
        return false;
      }
      moved = std::min<uint32_t>(length, QUVEX_USB_PACKET_SIZE);
      std::memcpy(buffer, reply.data(), moved);
      return true;
    }
    case QUVEX_USB_PIPE_FRAME:
      return ReadFrame(lock, device, camera, buffer, length, moved, deadline);
    default:
      return false;
  }
}

void SimUsbCamera::TakeCommand(Camera& camera, int index, const uint8_t* bytes, uint32_t length) {
  Packet packet{};
  std::memcpy(packet.data(), bytes, std::min<size_t>(length, packet.size()));
  if (length != QUVEX_USB_PACKET_SIZE) ++protocolErrors_;
  Append(commands_, CommandRecord{index, packet});
  if (Packet reply{}; chip_ && chip_->TakeCommand(packet, reply)) {
    if (packet[0] == QUVEX_USB_CMD_READ_REGISTER) camera.replies.insert(camera.replies.end(), 2, reply);
    return;
  }
  switch (packet[0]) {
    case QUVEX_USB_CMD_CAPTURE:
      ++camera.pendingCaptures;
      break;
    case QUVEX_USB_CMD_WRITE_REGISTER: {
      const auto address = static_cast<uint16_t>(packet[1] << 8 | packet[2]);
      const auto value = static_cast<uint16_t>(packet[3] << 8 | packet[4]);
      registerWrites_.push_back(RegisterWrite{index, address, value, packet});
      camera.registers[packet[2]] = value;
      break;
    }
    case QUVEX_USB_CMD_RESET:
      ++camera.resets;
      break;
    case QUVEX_USB_CMD_TRANSFER_SIZE:
      camera.transferSize = static_cast<uint32_t>(packet[1]) | static_cast<uint32_t>(packet[2]) << 8 |
                            static_cast<uint32_t>(packet[3]) << 16 |
                            static_cast<uint32_t>(packet[4]) << 24;
      break;
    case QUVEX_USB_CMD_SAMPLE_WIDTH:
      camera.sixteenBit = packet[1] != 0;
      break;
    case QUVEX_USB_CMD_READ_REGISTER:
    case QUVEX_USB_CMD_QUERY: {
      Packet reply{};
      if (packet[0] == QUVEX_USB_CMD_QUERY) {
        reply[0] = queryAnswers_.contains(packet[1]) ? queryAnswers_[packet[1]] : 0;
      } else {
        const uint16_t value = camera.registers.contains(packet[1]) ? camera.registers[packet[1]] : 0;
        reply[0] = static_cast<uint8_t>(value >> 8);
        reply[1] = static_cast<uint8_t>(value & 0xFF);
      }
      camera.replies.push_back(reply);
      camera.replies.push_back(reply);
      break;
    }
    default:
      (void)TakeVariantCommand(camera, packet);
      break;
  }
}

bool SimUsbCamera::ReadFrame(std::unique_lock<std::mutex>& lock, Device& device, Camera& camera,
                             uint8_t* buffer, uint32_t length, uint32_t& moved,
                             Clock::time_point deadline) {
  if (camera.pendingCaptures == 0) {
    ++protocolErrors_;  // a camera sends nothing it was not asked for
    if (!WaitUntil(lock, device, deadline, [&] { return camera.pendingCaptures > 0; })) return false;
  }
  --camera.pendingCaptures;
  const uint32_t frameBytes = camera.transferSize * (camera.sixteenBit ? 2u : 1u);
  if (length != frameBytes) ++protocolErrors_;

  // The sensor delivers one frame per period, however fast it is asked.
  Clock::time_point due = Clock::now();
  if (framesPerSecond_ > 0 && camera.delivered) {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / framesPerSecond_));
    due = std::max(due, camera.lastDelivery + period);
  }
  if (due > deadline) {
    WaitUntil(lock, device, deadline, [] { return false; });
    return false;
  }
  if (!WaitUntil(lock, device, due, [due] { return Clock::now() >= due; })) return false;
  camera.lastDelivery = Clock::now();
  camera.delivered = true;

  const uint32_t counter = ++camera.framesBegun;
  const bool cut = counter == shortFrame_;
  uint32_t count = std::min(length, frameBytes);
  if (cut) count /= 2;
  const bool sixteenBit = camera.sixteenBit;
  const std::shared_ptr<SimSensorChip> chip = chip_;
  lock.unlock();
  if (!chip || !chip->FillFrame(buffer, count, sixteenBit)) {
    FillFrame(buffer, count, sixteenBit, window_, counter);
  }
  lock.lock();
  if (!cut && count == length) ++camera.framesDelivered;
  moved = count;
  changed_.notify_all();
  return true;
}

void SimUsbCamera::SetPresent(int index, bool present) {
  std::lock_guard lock(mutex_);
  if (index >= 0 && index < QUVEX_USB_MAX_DEVICES) cameras_[static_cast<size_t>(index)].present = present;
}

void SimUsbCamera::SetFrameRate(double framesPerSecond) {
  std::lock_guard lock(mutex_);
  framesPerSecond_ = framesPerSecond;
}

void SimUsbCamera::SetOpenFails(bool fails) {
  std::lock_guard lock(mutex_);
  openFails_ = fails;
}

void SimUsbCamera::SetShortReadOnFrame(uint32_t frameNumber) {
  std::lock_guard lock(mutex_);
  shortFrame_ = frameNumber;
}

void SimUsbCamera::SetStalled(bool stalled, Stall what) {
  {
    std::lock_guard lock(mutex_);
    stalled_ = stalled;
    stallWhat_ = what;
  }
  changed_.notify_all();
}

void SimUsbCamera::SetLeastTimeOut(uint32_t ms) {
  std::lock_guard lock(mutex_);
  leastTimeOutMs_ = ms;
}

void SimUsbCamera::Unplug() {
  {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
  }
  changed_.notify_all();
}

void SimUsbCamera::SetQueryAnswer(uint8_t code, uint8_t answer) {
  std::lock_guard lock(mutex_);
  queryAnswers_[code] = answer;
}

void SimUsbCamera::AttachChip(std::shared_ptr<SimSensorChip> chip) {
  std::lock_guard lock(mutex_);
  chip_ = std::move(chip);
}

std::vector<CommandRecord> SimUsbCamera::Commands() const {
  std::lock_guard lock(mutex_);
  return {commands_.begin(), commands_.end()};
}

std::vector<RegisterWrite> SimUsbCamera::RegisterWrites() const {
  std::lock_guard lock(mutex_);
  return registerWrites_;
}

std::vector<TransferRecord> SimUsbCamera::Transfers() const {
  std::lock_guard lock(mutex_);
  return {transfers_.begin(), transfers_.end()};
}

int SimUsbCamera::Resets(int index) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).resets;
}

uint32_t SimUsbCamera::TransferSize(int index) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).transferSize;
}

bool SimUsbCamera::SixteenBit(int index) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).sixteenBit;
}

uint32_t SimUsbCamera::FramesDelivered(int index) const {
  std::lock_guard lock(mutex_);
  return cameras_.at(static_cast<size_t>(index)).framesDelivered;
}

int SimUsbCamera::OpenDevices() const {
  std::lock_guard lock(mutex_);
  return openDevices_;
}

int SimUsbCamera::ProtocolErrors() const {
  std::lock_guard lock(mutex_);
  return protocolErrors_;
}

int SimUsbCamera::CancelledTransfers() const {
  std::lock_guard lock(mutex_);
  return cancelledTransfers_;
}

int SimUsbCamera::TimedOutTransfers() const {
  std::lock_guard lock(mutex_);
  return timedOutTransfers_;
}

bool SimUsbCamera::WaitForFrames(int index, uint32_t count, uint32_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  const Camera& camera = cameras_.at(static_cast<size_t>(index));
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return camera.framesDelivered >= count; });
}

bool SimUsbCamera::WaitForStalledTransfer(uint32_t timeoutMs, int count) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return stalled_ && stalledTransfers_ >= count; });
}

}  // namespace quvex::sim
