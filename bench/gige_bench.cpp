// Assembly of the GigE camera's packets into frames, in-process, next to a
// plain memcpy of the same payloads in the same run:
// - GigEAssembly: the packet handler of the device fed the 640 packets of
//   one 640 x 480 16-bit frame (sequence checks, acknowledgements through the
//   in-process port, stream assembly into the ring), with the quiet turn that
//   asks for the next frame between frames; lost_frames counts frames fed
//   that did not complete;
// - PlainPayloadCopy: memcpy of the same 640 payloads of 1024 bytes.
// items_per_second is packets per second of 1066 bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "sim/frame_pattern.h"
#include "sim/gige_camera.h"
#include "transports/gige/gige_device.h"
#include "transports/gige/gige_packet.h"

namespace quvex {
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kPackets = 640;
constexpr size_t kStreamBytes = kPackets * kGigEPayloadBytes;

// The 640 packets of one frame of camera type 6 from the camera's address.
std::vector<uint8_t> FramePackets() {
  std::vector<uint8_t> stream(kStreamBytes, 0);
  std::memset(stream.data(), 0xAA, 50);
  sim::FillFrame(stream.data() + 50 + 1102, size_t{kWidth} * kHeight * 2, true,
                 {kWidth, 0, kWidth, 0, kHeight}, 1);
  std::vector<uint8_t> packets(kPackets * kGigEPacketBytes, 0);
  for (size_t p = 0; p < kPackets; ++p) {
    uint8_t* packet = packets.data() + p * kGigEPacketBytes;
    std::copy(sim::kSimGigEMac.begin(), sim::kSimGigEMac.end(), packet + kGigESourceMacOffset);
    packet[kGigESequenceOffset] = static_cast<uint8_t>((p + 1) >> 8);
    packet[kGigESequenceOffset + 1] = static_cast<uint8_t>(p + 1);
    std::memcpy(packet + kGigEPayloadOffset, stream.data() + p * kGigEPayloadBytes,
                kGigEPayloadBytes);
  }
  return packets;
}

void GigEAssembly(benchmark::State& state) {
  // The camera answers discovery, then keeps silent: the benchmark feeds the
  // packets itself.
  sim::SimGigECamera camera(std::make_unique<sim::InProcessGigELink>());
  CGigEDevice device;
  if (device.OpenAdapter(0) != 1 || device.DiscoverCamera(sim::kSimGigEMac) != 1 ||
      device.SetImageSize(kWidth, kHeight, 1) != 1) {
    state.SkipWithError("the simulated camera was not found");
    return;
  }
  camera.SetSilent(true);
  const std::vector<uint8_t> packets = FramePackets();
  device.StartStream();
  const uint64_t before = device.FramesCompleted();
  uint64_t fed = 0;
  for (auto _ : state) {
    device.OnIdle();  // the quiet turn between frames: the next request
    const platform::PacketTime now = platform::GetTimeOfDay();
    for (size_t p = 0; p < kPackets; ++p) {
      device.OnPacket(packets.data() + p * kGigEPacketBytes, kGigEPacketBytes, now);
    }
    ++fed;
  }
  device.StopStream();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPackets));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPackets * kGigEPacketBytes));
  state.counters["lost_frames"] = static_cast<double>(fed - (device.FramesCompleted() - before));
  std::vector<uint8_t> frame(size_t{kWidth} * kHeight * 2);
  const bool whole = device.ReadLatestFrame(frame.data(), frame.size()) == 1 &&
                     sim::IsWholeFrame(reinterpret_cast<const uint16_t*>(frame.data()), kWidth,
                                       kHeight);
  state.counters["last_frame_whole"] = whole ? 1 : 0;
}
BENCHMARK(GigEAssembly)->Unit(benchmark::kMicrosecond)->UseRealTime();

void PlainPayloadCopy(benchmark::State& state) {
  const std::vector<uint8_t> packets = FramePackets();
  std::vector<uint8_t> frame(kStreamBytes);
  for (auto _ : state) {
    for (size_t p = 0; p < kPackets; ++p) {
      std::memcpy(frame.data() + p * kGigEPayloadBytes,
                  packets.data() + p * kGigEPacketBytes + kGigEPayloadOffset, kGigEPayloadBytes);
    }
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPackets));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPackets * kGigEPacketBytes));
}
BENCHMARK(PlainPayloadCopy)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace quvex
