// A simulated USB camera. It installs itself as the driver of a device-name
// prefix and answers the command packets and frame transfers of a real one:
// capture (0x02) queues one frame that the next read on pipe 2 delivers at the
// camera's frame rate, transfer size (0x09), sample width (0x0A), reset (0x06),
// register writes (0x04), register reads (0x0C) and queries (0x21) with their
// two replies on pipe 1, and the variant camera's commands. One camera answers
// at each present index; what it receives is recorded for tests. Fault
// switches make opens fail, cut a frame short, fail replies, stall transfers
// or unplug the camera.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "quvex/quvex_usb.h"
#include "sim/frame_pattern.h"
#include "sim/sensor_chip.h"

namespace quvex::sim {

using Packet = std::array<uint8_t, QUVEX_USB_PACKET_SIZE>;

struct CommandRecord {
  int index;      // camera index the packet went to
  Packet packet;  // the bytes received, zero-padded to 64
};

struct RegisterWrite {
  int index;
  uint16_t address;
  uint16_t value;
  Packet packet;
};

struct TransferRecord {
  int index;
  uint32_t requestCode;
  uint32_t pipe;
  uint32_t length;
};

struct SimCameraOptions {
  std::string prefix = "ZelmorX02";
  std::vector<int> present{0};    // indexes 0 to 7 where a camera answers
  double framesPerSecond = 30.0;  // 0 or less: as fast as asked
  SensorWindow window;
};

// The variant camera: its device-name prefix and a 640 x 480 sensor read out
// whole (the frame is the window).
SimCameraOptions VariantCameraOptions(double framesPerSecond = 30.0);

class SimUsbCamera {
 public:
  SimUsbCamera() : SimUsbCamera(SimCameraOptions{}) {}
  explicit SimUsbCamera(SimCameraOptions options);
  // Removes the driver: open devices are cancelled and closed first.
  ~SimUsbCamera();
  SimUsbCamera(const SimUsbCamera&) = delete;
  SimUsbCamera& operator=(const SimUsbCamera&) = delete;

  // false when another driver already served the prefix.
  bool Installed() const { return installed_; }

  // Settings and fault switches.
  void SetPresent(int index, bool present);
  void SetFrameRate(double framesPerSecond);
  void SetOpenFails(bool fails);
  // Frame number n (1 = the first frame a camera delivers) moves only half its
  // bytes; 0 switches it off.
  void SetShortReadOnFrame(uint32_t frameNumber);
  // While stalled every transfer (or, with Stall::Replies, every reply read:
  // the camera takes commands but does not answer) blocks until its time-out
  // or a cancel.
  enum class Stall { Transfers, Replies };
  void SetStalled(bool stalled, Stall what = Stall::Transfers);
  // Transfers begun from now on time out after at least ms, whatever time-out
  // they were given: where a cancel has to come first, a busy machine gets
  // all the time it may need.
  void SetLeastTimeOut(uint32_t ms);
  // From now on every transfer and open fails; blocked transfers fail at once.
  void Unplug();
  void SetQueryAnswer(uint8_t code, uint8_t answer);
  // The chip of a per-model device type: it takes the register packets of
  // every index and may paint the frames. Null detaches it.
  void AttachChip(std::shared_ptr<SimSensorChip> chip);

  // What the cameras received. The command and transfer logs keep the most
  // recent 4096 entries.
  std::vector<CommandRecord> Commands() const;
  std::vector<RegisterWrite> RegisterWrites() const;
  std::vector<TransferRecord> Transfers() const;
  int Resets(int index) const;
  uint32_t TransferSize(int index) const;  // samples, as told by 0x09
  bool SixteenBit(int index) const;
  uint32_t FramesDelivered(int index) const;  // whole frames
  int OpenDevices() const;
  // Reads on pipe 2 without a capture command or of another length than the
  // frame, packets that are not 64 bytes.
  int ProtocolErrors() const;
  int CancelledTransfers() const;
  int TimedOutTransfers() const;

  // The variant camera (usb_camera_variant.cpp): init (0x01), value reads
  // (0x05: an echo of the command, then the value) and sensor registers
  // (0x25: transfer size, capture mode, pixel mode).
  void SetReadValue(uint8_t selector, uint16_t value);  // selector 1: internal temperature
  uint8_t SensorRegister(int index, uint8_t sensorRegister) const;
  int Inits(int index) const;
  // After the next `after` replies read on pipe 1, the next count reads fail;
  // like a real endpoint's, a failed read takes the reply it failed on.
  void FailReplyReads(uint32_t count, uint32_t after = 0);

  // Waits up to timeoutMs until index delivered count whole frames.
  bool WaitForFrames(int index, uint32_t count, uint32_t timeoutMs) const;
  // Waits up to timeoutMs until count transfers are blocked by the stall at once.
  bool WaitForStalledTransfer(uint32_t timeoutMs, int count = 1) const;

 private:
  using Clock = std::chrono::steady_clock;

  struct Camera {
    bool present = false;
    uint32_t transferSize = 0;
    bool sixteenBit = false;
    int resets = 0;
    uint32_t pendingCaptures = 0;
    uint32_t framesBegun = 0;
    uint32_t framesDelivered = 0;
    bool delivered = false;
    Clock::time_point lastDelivery{};
    std::deque<Packet> replies;
    std::map<uint8_t, uint16_t> registers;  // by low address byte, for 0x0C
    std::array<uint8_t, 256> sensorRegisters{};  // variant: by 0x25
    int inits = 0;                               // variant: 0x01 received
  };
  struct Device {
    int index;
    bool cancelled = false;
  };

  static void* OpenThunk(void* context, int index);
  static int TransferThunk(void* context, void* device, uint32_t requestCode, uint32_t pipe,
                           void* buffer, uint32_t length, uint32_t* moved, uint32_t timeoutMs);
  static void CancelThunk(void* context, void* device);
  static void CloseThunk(void* context, void* device);

  void* Open(int index);
  bool Transfer(Device& device, uint32_t requestCode, uint32_t pipe, uint8_t* buffer,
                uint32_t length, uint32_t& moved, uint32_t timeoutMs);
  void Cancel(Device& device);
  void Close(Device* device);

  // Holding the lock: waits until ready() or the deadline, a cancel or the
  // unplug; true when ready() came first.
  template <typename Ready>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Device& device, Clock::time_point deadline,
                 Ready ready);
  void TakeCommand(Camera& camera, int index, const uint8_t* bytes, uint32_t length);
  // The variant camera's commands; false for a code it does not know.
  bool TakeVariantCommand(Camera& camera, const Packet& packet);
  bool ReadFrame(std::unique_lock<std::mutex>& lock, Device& device, Camera& camera,
                 uint8_t* buffer, uint32_t length, uint32_t& moved, Clock::time_point deadline);

  const std::string prefix_;
  const SensorWindow window_;
  bool installed_ = false;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::array<Camera, QUVEX_USB_MAX_DEVICES> cameras_;
  double framesPerSecond_;
  bool openFails_ = false;
  uint32_t shortFrame_ = 0;
  bool stalled_ = false;
  Stall stallWhat_ = Stall::Transfers;
  uint32_t leastTimeOutMs_ = 0;
  bool unplugged_ = false;
  std::map<uint8_t, uint8_t> queryAnswers_;
  std::map<uint8_t, uint16_t> readValues_;  // variant: answers of 0x05 by selector
  uint32_t passingReplyReads_ = 0;
  uint32_t failingReplyReads_ = 0;
  std::shared_ptr<SimSensorChip> chip_;
  std::deque<CommandRecord> commands_;
  std::vector<RegisterWrite> registerWrites_;
  std::deque<TransferRecord> transfers_;
  int openDevices_ = 0;
  int protocolErrors_ = 0;
  int cancelledTransfers_ = 0;
  int timedOutTransfers_ = 0;
  int stalledTransfers_ = 0;  // blocked by the stall now
};

}  // namespace quvex::sim
