// Packets of the GigE camera, fed to the device's real packet handler and
// stream assembler. The first byte picks a camera type and a frame buffer
// size (smaller, equal or larger than the image); the rest is a script of
// steps: packets of a faithful camera (the 1024 stream bytes that belong to
// their sequence number) sent in order, in bursts or from any sequence
// number, packets of arbitrary bytes and length, and quiet turns with the
// clock moved on. The frame buffers are allocated to their exact size, so a
// write past one is caught; a frame that completes from faithful packets
// alone must hold exactly the image of the stream.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "fuzz/fuzz_script.h"
#include "quvex/quvex_packet.h"
#include "transports/gige/gige_camera_types.h"
#include "transports/gige/gige_device.h"
#include "transports/gige/gige_packet.h"

namespace {

using quvex::fuzz::Require;
using quvex::fuzz::Script;
using quvex::CGigEDevice;
using quvex::kGigEPacketBytes;
using quvex::kGigEPayloadBytes;
using quvex::kGigEPayloadOffset;

constexpr quvex::MacAddress kCameraMac = {0x02, 0x51, 0x56, 0x58, 0x00, 0x01};
constexpr size_t kPreamble = 50;

struct ImageSize {
  int width, height, sixteenBit;
};
constexpr ImageSize kSizes[] = {{640, 480, 1}, {320, 240, 1}, {1280, 1024, 0}, {64, 48, 0}};
constexpr unsigned kConfigs = quvex::kGigECameraTypes * std::size(kSizes);

quvex::platform::PacketTime clockNow{1'000'000, 0};
quvex::platform::PacketTime Now() { return clockNow; }

// An in-process adapter that answers the discovery probe once, so that the
// device knows its camera; it is closed again before any input is fed.
struct ProbeAnswer {
  std::atomic<bool> probed{false};
};

void* OpenPort(void* context) { return context; }
int Receive(void* context, void*, uint8_t* buffer, uint32_t capacity, uint32_t* length,
            int64_t* seconds, int32_t* microseconds, uint32_t waitMs) {
  auto* answer = static_cast<ProbeAnswer*>(context);
  if (!answer->probed.exchange(false)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return 0;
  }
  std::memset(buffer, 0, capacity);
  *length = kGigEPacketBytes;
  *seconds = 0;
  *microseconds = 0;
  return 1;
}
int Send(void* context, void*, const uint8_t*, uint32_t) {
  static_cast<ProbeAnswer*>(context)->probed = true;
  return 1;
}
void ClosePort(void*, void*) {}

// A device that has found the camera through the adapter above, which it
// then closed: the packet handler is driven from here alone.
std::unique_ptr<CGigEDevice> FoundDevice() {
  static ProbeAnswer answer;
  static const bool installed = [] {
    const QuvexPacketDriver driver{&answer, OpenPort, Receive, Send, ClosePort};
    return QuvexPacket_InstallDriver("fuzz", "fuzz", &driver) == 1;
  }();
  Require(installed);
  auto device = std::make_unique<CGigEDevice>(10'000, Now);
  Require(device->OpenAdapter(0) == 1 && device->DiscoverCamera(kCameraMac) == 1);
  device->CloseAdapter();
  return device;
}

// Stream bytes without the sync byte 0xAA, so that only the preamble syncs.
uint8_t PatternByte(size_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13 & 0x7F); }

// One whole frame of the camera's stream for a geometry, made once.
const std::vector<uint8_t>& CameraStream(const quvex::GigEGeometry& geometry, size_t imageBytes) {
  static std::map<std::tuple<int, int, int>, std::vector<uint8_t>> streams;
  std::vector<uint8_t>& stream = streams[{geometry.width, geometry.height, geometry.bits}];
  if (stream.empty()) {
    stream.resize(kPreamble + static_cast<size_t>(geometry.headerGap) + imageBytes +
                  static_cast<size_t>(geometry.trailer));
    std::fill_n(stream.begin(), kPreamble, 0xAA);
    for (size_t i = kPreamble; i < stream.size(); ++i) stream[i] = PatternByte(i);
  }
  return stream;
}

struct Setup {
  std::unique_ptr<CGigEDevice> device;
  const std::vector<uint8_t>* stream = nullptr;
  size_t imageOffset = 0, imageBytes = 0;
};

// The device of config, made at its first use (allocating its buffers is
// most of the work), with the stream started and a frame asked for at a
// fresh time.
Setup& Configure(uint8_t config) {
  static std::array<Setup, kConfigs> setups;
  Setup& setup = setups[config % kConfigs];
  if (!setup.device) {
    const unsigned type = config % quvex::kGigECameraTypes;
    const ImageSize size = kSizes[config / quvex::kGigECameraTypes % std::size(kSizes)];
    setup.device = FoundDevice();
    Require(setup.device->SetImageSize(size.width, size.height, size.sixteenBit) == 1);
    setup.device->SetCameraType(type);  // type 3 keeps the geometry of type 6
    const auto geometry = quvex::GigECameraGeometry(type, size.sixteenBit != 0)
                              .value_or(*quvex::GigECameraGeometry(6, false));
    setup.imageOffset = kPreamble + static_cast<size_t>(geometry.headerGap);
    setup.imageBytes = static_cast<size_t>(geometry.height) *
                       ((static_cast<size_t>(geometry.width) * geometry.bits + 7) / 8);
    setup.stream = &CameraStream(geometry, setup.imageBytes);
  }
  setup.device->StopStream();
  setup.device->StartStream();
  // Quiet turns long after the last input: the request goes out again and
  // the time rules start from here.
  clockNow.seconds += 100;
  setup.device->OnIdle();
  setup.device->OnIdle();
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Script script(data, size);
  const Setup& setup = Configure(script.Next());
  CGigEDevice& device = *setup.device;
  const std::vector<uint8_t>& stream = *setup.stream;
  std::vector<uint8_t> packet(kGigEPacketBytes + 1);
  uint16_t next = 1;     // the sequence number of the next faithful packet
  // Faithful packets: three frames of the largest camera type: enough to complete frames,
  // few enough that no input runs long.
  int budget = 3 * 5200;
  bool foreign = false;  // bytes not of the camera's stream reached the handler
  uint64_t completed = device.FramesCompleted();

  const auto faithful = [&](uint16_t sequence) {
    if (budget == 0) return;
    --budget;
    std::fill(packet.begin(), packet.end(), 0);
    std::copy(kCameraMac.begin(), kCameraMac.end(), packet.begin() + quvex::kGigESourceMacOffset);
    packet[quvex::kGigESequenceOffset] = static_cast<uint8_t>(sequence >> 8);
    packet[quvex::kGigESequenceOffset + 1] = static_cast<uint8_t>(sequence);
    const size_t start = (static_cast<size_t>(sequence) + 0xFFFF) % 0x10000 * kGigEPayloadBytes;
    if (start < stream.size()) {
      std::copy_n(stream.begin() + static_cast<ptrdiff_t>(start),
                  std::min(kGigEPayloadBytes, stream.size() - start),
                  packet.begin() + kGigEPayloadOffset);
    }
    device.OnPacket(packet.data(), kGigEPacketBytes, clockNow);
  };

  while (!script.Ended()) {
    switch (script.Next() % 6) {
      case 0: faithful(next++); break;
      case 1:  // a burst of 8 to 2048 packets in order
        for (int n = (script.Next() + 1) * 8; n > 0; --n) faithful(next++);
        break;
      case 2: next = static_cast<uint16_t>(script.Next() << 8 | script.Next()); break;
      case 3: {  // 1058 to 1073 bytes (mostly 1066), up to 2040 of them from the script
        const uint8_t form = script.Next();
        const size_t length = form < 0xF0 ? kGigEPacketBytes : kGigEPacketBytes - 8 + form % 16;
        std::fill(packet.begin(), packet.end(), 0);
        const auto bytes = script.Take(size_t{script.Next()} * 8);
        std::copy_n(bytes.begin(), std::min(bytes.size(), packet.size()), packet.begin());
        if (form & 1) {
          std::copy(kCameraMac.begin(), kCameraMac.end(),
                    packet.begin() + quvex::kGigESourceMacOffset);
        }
        if (length == kGigEPacketBytes && quvex::PacketFrom(packet.data(), kCameraMac)) {
          foreign = true;
        }
        device.OnPacket(packet.data(), static_cast<uint32_t>(length), clockNow);
        break;
      }
      case 4: {  // a quiet turn, up to 2.55 s later
        const int64_t micros = clockNow.microseconds + int64_t{script.Next()} * 10'000;
        clockNow.seconds += micros / 1'000'000;
        clockNow.microseconds = static_cast<int32_t>(micros % 1'000'000);
        device.OnIdle();
        break;
      }
      default: device.StartStream(); break;
    }
    const uint64_t now = device.FramesCompleted();
    Require(now - completed <= 1);  // the stream stays detached until a request
    if (now != completed && !foreign) {
      std::vector<uint8_t> frame(device.SlotBytes());
      Require(device.ReadLatestFrame(frame.data(), frame.size()) == 1);
      const size_t whole = std::min(setup.imageBytes, frame.size());
      Require(std::equal(frame.begin(), frame.begin() + static_cast<ptrdiff_t>(whole),
                         stream.begin() + static_cast<ptrdiff_t>(setup.imageOffset)));
    }
    completed = now;
  }
  device.StopStream();
  return 0;
}
