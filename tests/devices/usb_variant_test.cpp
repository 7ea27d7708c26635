// CUsbDevice's variant entry points against the simulated variant camera:
// the packets on the wire, the window checks and the value reads.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <thread>
#include <vector>

#include "devices/usb/usb_device.h"
#include "sim/usb_camera.h"

namespace {

using namespace quvex;
using Bytes = std::vector<uint8_t>;

constexpr char kPrefix[] = "ZelmorIR640A";

// The first bytes of every packet sent since the log was at mark; the rest of
// each packet must be zero.
std::vector<Bytes> SentSince(const sim::SimUsbCamera& camera, size_t mark, size_t head = 5) {
  std::vector<Bytes> sent;
  const auto commands = camera.Commands();
  for (size_t i = mark; i < commands.size(); ++i) {
    const auto& packet = commands[i].packet;
    for (size_t b = head; b < packet.size(); ++b) EXPECT_EQ(packet[b], 0) << "byte " << b;
    sent.emplace_back(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(head));
  }
  return sent;
}

TEST(UsbVariant, ConstructionOpensIndexZeroWithTheFullWindow) {
  sim::SimUsbCamera camera(sim::VariantCameraOptions());
  CUsbDevice device(kPrefix, CUsbDevice::Variant{});
  EXPECT_EQ(device.IsCurrentPresent(), 1);
  EXPECT_EQ(SentSince(camera, 0), (std::vector<Bytes>{{0x0A, 0, 0, 0, 0},
                                                      {0x06, 0, 0, 0, 0},
                                                      {0x01, 0, 0, 0, 0},
                                                      {0x09, 0x00, 0xB0, 0x04, 0x00},
                                                      {0x25, 0, 0x00, 0, 0},
                                                      {0x25, 1, 0xB0, 0, 0},
                                                      {0x25, 2, 0x04, 0, 0},
                                                      {0x25, 3, 0x00, 0, 0}}));
  EXPECT_EQ(device.TransferSize(), 307200u);
  EXPECT_EQ(device.RingCount(), 4);
  EXPECT_EQ(device.LargeTransferFlag(), 0);
  const auto window = device.Window();
  EXPECT_EQ(window.registers, (std::array<int, 4>{0, 0, 640, 480}));
  EXPECT_EQ(camera.OpenDevices(), 0);
}

TEST(UsbVariant, CommandsPutTheirBytesOnTheWire) {
  sim::SimUsbCamera camera(sim::VariantCameraOptions());
  CUsbDevice device(kPrefix, CUsbDevice::Variant{});
  struct Case {
    const char* what;
    std::function<int()> call;
    int result;
    std::vector<Bytes> sent;
  };
  const Case cases[] = {
      {"pixel mode 0", [&] { return device.SetPixelMode(0); }, 1, {{0x0A, 1, 0, 0, 0}, {0x25, 14, 12, 0, 0}}},
      {"pixel mode 1", [&] { return device.SetPixelMode(1); }, 1, {{0x0A, 1, 0, 0, 0}, {0x25, 14, 13, 0, 0}}},
      {"capture mode 1", [&] { return device.SetCaptureMode(1); }, 1, {{0x25, 11, 1, 0, 0}}},
      {"capture mode 0", [&] { return device.SetCaptureMode(0); }, 1, {{0x25, 11, 0, 0, 0}}},
      {"register", [&] { return device.WriteCameraRegister(0x06, 0x1234, 5); }, 1, {{0x04, 1, 0x06, 0x12, 0x34}}},
      {"sensor byte", [&] { return device.WriteSensorByte(0x30, 0xAB); }, 1, {{0x25, 0x30, 0xAB, 0, 0}}},
      // 101 x 51 samples come to 6144 once rounded up to whole kilo-samples.
      {"window", [&] { return device.SetWindow(3, 5, 101, 51, 17); }, 0,
       {{0x09, 0x00, 0x18, 0, 0}, {0x25, 0, 0x00, 0, 0}, {0x25, 1, 0x18, 0, 0}, {0x25, 2, 0, 0, 0}, {0x25, 3, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    const size_t mark = camera.Commands().size();
    EXPECT_EQ(c.call(), c.result) << c.what;
    EXPECT_EQ(SentSince(camera, mark), c.sent) << c.what;
  }
  EXPECT_EQ(device.SampleWidthFlag(), 1);
  EXPECT_TRUE(camera.SixteenBit(0));
  EXPECT_EQ(device.Window().registers, (std::array<int, 4>{4, 6, 102, 52}));
  EXPECT_EQ(device.Window().mode, 17);
}

TEST(UsbVariant, RejectedWindowsChangeNothing) {
  sim::SimUsbCamera camera(sim::VariantCameraOptions());
  CUsbDevice device(kPrefix, CUsbDevice::Variant{});
  const int rejected[][5] = {{0, 0, 640, 480, 4},  {0, 0, 640, 480, 16}, {0, 0, 640, 480, 19},
                             {0, 0, 640, 480, -1}, {0, 0, 3, 480, 0},    {0, 0, 640, 2, 0},
                             {1, 0, 640, 480, 0},  {0, 1, 640, 480, 0},  {-1, 0, 4, 3, 0}};
  const size_t mark = camera.Commands().size();
  for (const auto& w : rejected) {
    EXPECT_EQ(device.SetWindow(w[0], w[1], w[2], w[3], w[4]), 1) << w[0] << "," << w[2] << "," << w[4];
  }
  EXPECT_TRUE(SentSince(camera, mark).empty());
  EXPECT_EQ(device.Window().registers, (std::array<int, 4>{0, 0, 640, 480}));
  EXPECT_EQ(device.SetWindow(636, 477, 4, 3, 18), 0);  // the smallest window, in the corner
}

TEST(UsbVariant, ValueReadsTakeBothRepliesAndTheValueFromTheLast) {
  sim::SimUsbCamera camera(sim::VariantCameraOptions());
  camera.SetReadValue(1, 0xFF80);
  CUsbDevice device(kPrefix, CUsbDevice::Variant{});
  uint16_t value = 0;
  ASSERT_EQ(device.ReadValue(1, value), 1);
  EXPECT_EQ(value, 0xFF80);
  ASSERT_EQ(device.ReadInternalTemperature(value), 1);
  EXPECT_EQ(value, 0x1FF);

  // The value is in the second reply: a failed first one does not matter.
  camera.SetReadValue(1, 0x1900);
  camera.FailReplyReads(1);
  ASSERT_EQ(device.ReadValue(1, value), 1);
  EXPECT_EQ(value, 0x1900);
  // A failed second reply fails the read; the next one is in step again.
  camera.FailReplyReads(1, 1);
  value = 7;
  EXPECT_EQ(device.ReadValue(1, value), 0);
  EXPECT_EQ(value, 7);
  camera.SetReadValue(1, 0x2A80);
  ASSERT_EQ(device.ReadValue(1, value), 1);
  EXPECT_EQ(value, 0x2A80);

  camera.SetOpenFails(true);
  EXPECT_EQ(device.ReadInternalTemperature(value), 0);
  EXPECT_EQ(device.SetCaptureMode(1), 0);
  EXPECT_EQ(device.CaptureModeFlag(), 0);  // kept: the camera was not told
  EXPECT_EQ(device.WriteCameraRegister(6, 1, 0), 0);
}

TEST(UsbVariant, ThreadsReadingAtOnceNeverTakeEachOthersReplies) {
  sim::SimUsbCamera camera(sim::VariantCameraOptions());
  camera.SetReadValue(0, 0x1111);
  camera.SetReadValue(1, 0x2222);
  CUsbDevice device(kPrefix, CUsbDevice::Variant{});
  auto reader = [&](int selector, uint16_t expected) {
    for (int i = 0; i < 3000; ++i) {
      uint16_t value = 0;
      ASSERT_EQ(device.ReadValue(selector, value), 1);
      ASSERT_EQ(value, expected);
    }
  };
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) readers.emplace_back(reader, i & 1, (i & 1) != 0 ? 0x2222 : 0x1111);
  for (std::thread& thread : readers) thread.join();
}

}  // namespace
