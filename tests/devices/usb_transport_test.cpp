// The driver transport and command packets, against the simulated camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "devices/usb/usb_codes.h"
#include "devices/usb/usb_transport.h"
#include "sim/usb_camera.h"

namespace {

using namespace quvex;
using sim::SimUsbCamera;

constexpr const char* kPath = "\\\\.\\ZelmorX02-0";

TEST(UsbCommandPackets, LayoutOfEachCommand) {
  const UsbCommandPacket reg = MakeRegisterPacket(0x01, 0x02, 0x1234);
  EXPECT_EQ(std::vector<uint8_t>(reg.begin(), reg.begin() + 5),
            (std::vector<uint8_t>{0x04, 0x01, 0x02, 0x12, 0x34}));
  EXPECT_TRUE(std::all_of(reg.begin() + 5, reg.end(), [](uint8_t b) { return b == 0; }));
  const UsbCommandPacket size = MakeTransferSizePacket(378880);
  EXPECT_EQ(std::vector<uint8_t>(size.begin(), size.begin() + 5),
            (std::vector<uint8_t>{0x09, 0x00, 0xC8, 0x05, 0x00}));
  EXPECT_EQ(MakeSampleWidthPacket(true)[1], 1);
  EXPECT_EQ(MakeSampleWidthPacket(false)[1], 0);
}

TEST(UsbTransport, HandlesAndBuffersAreChecked) {
  SimUsbCamera camera;
  platform::UsbHandle handle;
  EXPECT_EQ(OpenDevicePath(handle, nullptr), 0);
  EXPECT_EQ(OpenDevicePath(handle, "\\\\.\\ZelmorX02-1"), 0);  // nobody there
  EXPECT_EQ(CloseDeviceHandle(handle), 0);
  uint8_t buffer[64] = {};
  uint32_t moved = 7;
  EXPECT_EQ(UsbBulkTransfer(handle, 0, 64, buffer, moved, 1), -3);
  EXPECT_EQ(UsbSendPacket(handle, 0, 64, buffer), QUVEX_USB_ERR_OPEN);
  ASSERT_EQ(OpenDevicePath(handle, kPath), 1);
  EXPECT_EQ(UsbBulkTransfer(handle, 0, 64, nullptr, moved, 1), -2);
  EXPECT_EQ(CloseDeviceHandle(handle), 1);
  EXPECT_FALSE(handle);
  EXPECT_EQ(camera.OpenDevices(), 0);
}

TEST(UsbTransport, DirectionChoosesTheRequestCode) {
  SimUsbCamera camera;
  platform::UsbHandle handle;
  ASSERT_EQ(OpenDevicePath(handle, kPath), 1);
  uint8_t packet[64] = {QUVEX_USB_CMD_RESET};
  uint32_t moved = 0;
  EXPECT_EQ(UsbSendPacket(handle, 0, 64, packet), QUVEX_USB_OK);
  EXPECT_EQ(UsbBulkTransfer(handle, 0, 64, packet, moved, 0), 0);
  EXPECT_EQ(UsbBulkTransferAlt(handle, 0, 64, packet, moved, 1), 0);
  EXPECT_EQ(UsbBulkTransferAlt(handle, 0, 64, packet, moved, 0), 0);
  const auto transfers = camera.Transfers();
  ASSERT_EQ(transfers.size(), 4u);
  EXPECT_EQ(transfers[0].requestCode, QUVEX_USB_IOCTL_IN_DIRECT);
  EXPECT_EQ(transfers[1].requestCode, QUVEX_USB_IOCTL_OUT_DIRECT);
  EXPECT_EQ(transfers[2].requestCode, QUVEX_USB_IOCTL_IN_DIRECT_ALT);
  EXPECT_EQ(transfers[3].requestCode, QUVEX_USB_IOCTL_OUT_DIRECT_ALT);
  EXPECT_EQ(camera.Resets(0), 4);  // the camera follows the pipe, whatever the code
}

TEST(UsbTransport, RegisterBlockCarriesAtMost63Bytes) {
  SimUsbCamera camera;
  platform::UsbHandle handle;
  ASSERT_EQ(OpenDevicePath(handle, kPath), 1);
  std::vector<uint8_t> data(70);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(UsbWriteRegisterBlock(handle, 70, data.data()), QUVEX_USB_OK);
  EXPECT_EQ(UsbWriteRegisterBlock(handle, 0, data.data()), QUVEX_USB_OK);
  const auto commands = camera.Commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].packet[0], QUVEX_USB_CMD_WRITE_REGISTER);
  EXPECT_TRUE(std::equal(commands[0].packet.begin() + 1, commands[0].packet.end(), data.begin()));
  EXPECT_TRUE(std::all_of(commands[1].packet.begin() + 1, commands[1].packet.end(),
                          [](uint8_t b) { return b == 0; }));
}

TEST(UsbTransport, RepliesOfReadsAndQueries) {
  SimUsbCamera camera;
  camera.SetQueryAnswer(0x11, 0x5A);
  platform::UsbHandle handle;
  ASSERT_EQ(OpenDevicePath(handle, kPath), 1);
  ASSERT_EQ(UsbSendPacket(handle, 0, 64, MakeRegisterPacket(0, 0x03, 0xABCD).data()), QUVEX_USB_OK);

  std::vector<uint8_t> reply(100, 0xEE);
  EXPECT_EQ(UsbReadRegister(handle, 0x03, reply.data(), 100), QUVEX_USB_OK);
  EXPECT_EQ(reply[0], 0xAB);
  EXPECT_EQ(reply[1], 0xCD);
  EXPECT_EQ(reply[63], 0x00);
  EXPECT_EQ(reply[64], 0xEE);  // 64 bytes at most

  std::fill(reply.begin(), reply.end(), 0xEE);
  EXPECT_EQ(UsbReadRegister(handle, 0x03, reply.data(), 0), QUVEX_USB_OK);
  EXPECT_EQ(reply[0], 0xEE);
  const auto transfers = camera.Transfers();
  const auto replies = std::count_if(transfers.begin(), transfers.end(), [](const auto& t) {
    return t.pipe == QUVEX_USB_PIPE_REPLY && t.requestCode == QUVEX_USB_IOCTL_OUT_DIRECT;
  });
  EXPECT_EQ(replies, 4);  // both replies taken each time

  uint8_t answer = 0;
  EXPECT_EQ(UsbQueryByte(handle, 0x11, answer), QUVEX_USB_OK);
  EXPECT_EQ(answer, 0x5A);

  // A reply shorter than asked for is a failure.
  ASSERT_EQ(UsbSendPacket(handle, 0, 64, MakeCommandPacket(QUVEX_USB_CMD_QUERY).data()), QUVEX_USB_OK);
  EXPECT_EQ(UsbReceivePacket(handle, 1, 100, reply.data()), QUVEX_USB_ERR_IO);
  EXPECT_EQ(camera.ProtocolErrors(), 0);
}

}  // namespace
