// A simulated GigE camera. It answers the discovery probe sent to its MAC
// address, and on each frame request streams one frame of its camera type's
// geometry as numbered 1066-byte IPv4/UDP packets, 64 to a block: after each
// full block it waits for the host's acknowledgement and sends the block
// again when none comes. It logs register writes and has fault switches for
// lost, duplicated and reordered packets, foreign packets and silence.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/gige_link.h"

namespace quvex::sim {

using GigEMac = std::array<uint8_t, 6>;

inline constexpr GigEMac kSimGigEMac = {0x02, 0x51, 0x56, 0x58, 0x00, 0x01};

class SimGigECamera {
 public:
  struct RegisterWrite {
    uint16_t registerNumber;
    uint32_t value;
    bool operator==(const RegisterWrite&) const = default;
  };
  // A packet that goes out once, right after the camera's packet `after` of
  // the next frame.
  struct Injection {
    uint16_t after;
    uint16_t sequence;
    bool foreignSource = false;  // from another MAC address
    uint32_t length = 1066;
  };
  enum class Fault { Drop, Duplicate, SwapWithNext };

  explicit SimGigECamera(std::unique_ptr<GigELink> link, GigEMac mac = kSimGigEMac);
  ~SimGigECamera();
  SimGigECamera(const SimGigECamera&) = delete;
  SimGigECamera& operator=(const SimGigECamera&) = delete;

  GigELink& Link() { return *link_; }
  const GigEMac& Mac() const { return mac_; }

  // The geometry of the frames it streams (0 to 6, as the host's types).
  void SetCameraType(int type, bool sixteenBit = true);
  // At most this many frames a second (0: as fast as requested).
  void SetFrameRate(double framesPerSecond);
  // Applies fault to packet sequence of the next frame, on its first sending.
  void AddFault(Fault fault, uint16_t sequence);
  void Inject(const Injection& injection);
  // The next `count` acknowledgements are not heard.
  void IgnoreAcks(int count);
  // How long it waits for an acknowledgement before it sends a block again.
  void SetResendWait(std::chrono::milliseconds wait);
  // Hears and logs everything but sends nothing.
  void SetSilent(bool silent);

  uint32_t FramesServed() const;
  uint32_t FrameRequests() const;
  uint32_t BlocksResent() const;
  uint32_t DiscoveryReplies() const;
  std::vector<uint16_t> Acks() const;
  std::vector<RegisterWrite> RegisterWrites() const;
  // Every frame the host sent, in order (the last 4096).
  std::vector<std::vector<uint8_t>> Received() const;
  // Waits until done() holds, re-checking at every change; false after timeoutMs.
  bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs = 30000) const;

  // The 16-bit sample at (row, column) of frame n (n from 1) of a 640 x 480
  // 16-bit camera: the pattern of sim/frame_pattern.h with counter n.
  static uint16_t Sample(uint32_t frame, int row, int column);

 private:
  struct Geometry {
    int width, height, bits, headerGap, trailer;
  };
  void Run();
  void Handle(const std::vector<uint8_t>& frame);
  // With mutex_ held.
  void TakeAck(uint16_t ack);
  void BeginFrame();
  // Sends packets first to last of the current frame.
  void SendBlock(uint16_t first, uint16_t last);
  void SendPacket(uint16_t sequence, const uint8_t* payload, const GigEMac& source,
                  uint32_t length);
  void Changed();

  std::unique_ptr<GigELink> link_;
  const GigEMac mac_;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool shutdown_ = false;
  Geometry geometry_{640, 480, 16, 1102, 39808};
  double framesPerSecond_ = 0;
  bool silent_ = false;
  int ignoreAcks_ = 0;
  std::chrono::milliseconds resendWait_{5};
  std::vector<std::pair<Fault, uint16_t>> faults_;
  std::vector<Injection> injections_;
  uint32_t framesServed_ = 0;
  uint32_t frameRequests_ = 0;
  uint32_t blocksResent_ = 0;
  uint32_t discoveryReplies_ = 0;
  std::vector<uint16_t> acks_;
  std::vector<RegisterWrite> registerWrites_;
  std::vector<std::vector<uint8_t>> received_;

  // Camera thread only.
  std::vector<uint8_t> previous_;  // the host's frame before this one
  bool requested_ = false;
  bool streaming_ = false;
  std::vector<uint8_t> stream_;  // the frame's bytes, padded to whole packets
  uint32_t streamCounter_ = 0;   // the frame stream_ holds
  Geometry streamGeometry_{};
  uint16_t packets_ = 0;
  uint16_t nextBlock_ = 1;       // first packet of the block to send
  uint16_t awaitedAck_ = 0;      // last packet of a block sent, not yet acknowledged
  bool acked_ = false;
  std::chrono::steady_clock::time_point blockSent_{};
  std::chrono::steady_clock::time_point lastFrameStart_{};
  std::vector<std::pair<Fault, uint16_t>> frameFaults_;
  std::vector<Injection> frameInjections_;
};

}  // namespace quvex::sim
