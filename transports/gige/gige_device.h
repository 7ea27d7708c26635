// The GigE camera device: lists the network adapters, opens one, finds the
// camera by its MAC address, and runs a receive thread that hands every
// packet to the packet handler and, whenever the line has been quiet for one
// read wait, re-requests frames and sends queued register writes. Complete
// frames land in a ring of ten buffers from which the newest is copied out.
//
// Locking: mutex_ guards the stream, the buffers, the mode, the sequencing
// and the camera state; sendMutex_ guards the command frame and the port, so
// that building a frame and sending it is one step. mutex_ is taken before
// sendMutex_, never the other way round. adapterMutex_ serialises opening,
// closing and discovery. Frames are copied out under mutex_, so a frame is
// never read while it is written.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "quvex_platform/packet_port.h"
#include "quvex_platform/thread.h"
#include "transports/gige/gige_command_frame.h"
#include "transports/gige/gige_register_queue.h"
#include "transports/gige/gige_stream.h"

namespace quvex {

// true when a quiet turn re-requests by one of the time rules: more than 2 s
// since the last packet, when one came since the last request, or else more
// than 50 ms since the last request.
bool QuietTurnReRequests(platform::PacketTime lastPacket, platform::PacketTime lastRequest,
                         platform::PacketTime now);

class CGigEDevice;

// The receive thread's start routine: runs the device's receive loop, then 0.
int GigEReceiveThreadProc(CGigEDevice* device);

class CGigEDevice {
 public:
  using TimeSource = platform::PacketTime (*)();
  // Starts the receive thread's body on thread; false when it did not start.
  using ThreadStarter = bool (*)(platform::Thread& thread, std::function<void()> body);
  static constexpr int kMaxAdapters = 8;
  static constexpr int kRingSlots = 10;
  static constexpr int kMaxWritesPerTurn = 99;
  static constexpr uint32_t kReadWaitMs = 10;

  // Lists the adapters. replyWaitMs bounds discovery and single capture;
  // startThread (null: at the highest priority) lets a test fail the start.
  explicit CGigEDevice(uint32_t replyWaitMs = 3000, TimeSource now = platform::GetTimeOfDay,
                       ThreadStarter startThread = nullptr);
  ~CGigEDevice();
  CGigEDevice(const CGigEDevice&) = delete;
  CGigEDevice& operator=(const CGigEDevice&) = delete;

  // Adapters: descriptions of at most 127 bytes, at most eight of them.
  int AdapterCount() const { return static_cast<int>(adapters_.size()); }
  std::vector<std::string> GetAdapterDescriptions() const;
  // Closes the adapter that is open, then opens adapter index and starts the
  // receive thread; 1 opened, 0 not (OpenError tells why).
  int OpenAdapter(int index);
  void CloseAdapter();
  std::string OpenError() const;

  // Sends the discovery probe to mac and waits for a reply; 1 found.
  int DiscoverCamera(const MacAddress& mac);
  int IsCameraFound() const { return cameraFound_.load(); }

  // Frame buffers of width x height samples of one or two bytes; 1 allocated.
  int SetImageSize(int width, int height, int sixteenBit);
  // Camera types 0 to 6; 0 for any other value, nothing changed.
  int SetCameraType(unsigned type);
  int StartStream();
  int StopStream();
  // Requests one frame and waits for it; 1 when it is complete.
  int CaptureOne();
  // While raised, CaptureOne returns 0 at once: the one in progress ends and
  // none begins.
  void InterruptCaptures(bool raised);
  // 1 when a frame completed since the last read, else 2.
  int IsNewFrame() const;
  // Copies the newest complete frame (size at least SlotBytes); 1 copied.
  int ReadLatestFrame(uint8_t* destination, size_t size);
  int ReadSlot(int slot, uint8_t* destination, size_t size);
  // Copies the frame of the last single capture; 1 copied.
  int ReadCapturedFrame(uint8_t* destination, size_t size);
  int QueueRegisterWrite(int registerNumber, int value);
  size_t SlotBytes() const;
  size_t PendingRegisterWrites() const { return writes_.Size(); }
  // Frames completed in continuous mode since construction.
  uint64_t FramesCompleted() const;

  // The receive thread's turns; public so that benchmarks can drive them.
  void OnPacket(const uint8_t* data, uint32_t wireLength, platform::PacketTime time);
  void OnIdle();

 private:
  enum Mode { kStopped = 0, kContinuous = 1, kSingle = 2 };

  friend int GigEReceiveThreadProc(CGigEDevice* device);
  void ReceiveLoop();
  // With adapterMutex_ held: ends the receive thread, then closes the port.
  void CloseAdapterLocked();
  // With mutex_ held.
  bool AllocateBuffers();
  void FreeBuffers();
  void RequestFrame();
  void ReRequest(platform::PacketTime now);
  void FrameComplete();
  int ReadSlotLocked(int slot, uint8_t* destination, size_t size);
  // Builds a frame on the command frame and sends it, as one step.
  bool Send(const std::function<void(GigECommandFrame&)>& build);
  void SendCommand(uint8_t code) {
    Send([code](GigECommandFrame& frame) { frame.SetCommand(code); });
  }
  // Command 29 alone: at the end of a frame and at a stop.
  void SendStop() { SendCommand(QUVEX_GIGE_CMD_STOP); }
  bool SendAck(uint16_t sequence);

  const uint32_t replyWaitMs_;
  const TimeSource now_;
  const ThreadStarter startThread_;
  std::vector<platform::NetworkAdapter> adapters_;
  RegisterWriteQueue writes_;

  mutable std::mutex adapterMutex_;
  platform::Thread receiveThread_;
  std::atomic<int> receiveRun_{0};
  std::atomic<int> adapterOpen_{0};
  std::string openError_;  // under adapterMutex_

  std::mutex sendMutex_;
  GigECommandFrame command_;
  std::unique_ptr<platform::PacketPort> port_;
  bool active_ = false;

  mutable std::mutex mutex_;
  std::condition_variable replied_;  // a discovery reply or a single frame came
  std::atomic<int> cameraFound_{0};
  bool discoveryPending_ = false;
  MacAddress cameraMac_{};
  CGigEStream stream_;
  int mode_ = kStopped;
  bool requestPending_ = false;
  uint16_t expectedSequence_ = 0;
  std::array<std::unique_ptr<uint8_t[]>, kRingSlots> buffers_;
  bool buffersReady_ = false;
  size_t slotBytes_ = 1310720;
  int writeIndex_ = 0;
  int lastReadIndex_ = 0;
  int capturedSlot_ = -1;
  bool capturesInterrupted_ = false;
  uint64_t singleFrames_ = 0;
  uint64_t continuousFrames_ = 0;
  platform::PacketTime lastPacketTime_;
  platform::PacketTime lastRequestTime_;
  int imageWidth_ = 1280;
  int imageHeight_ = 1024;
  bool sixteenBit_ = false;
};

}  // namespace quvex
