// CUsbDevice: enumeration, naming, commands, geometry and the raw copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devices/usb/usb_device.h"
#include "sim/usb_camera.h"
#include "tests/devices/usb_test_support.h"

namespace {

using namespace quvex;
using namespace quvex::test;
using sim::SimUsbCamera;

std::vector<uint8_t> Head(const sim::Packet& packet, size_t count) {
  return {packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(count)};
}

TEST(UsbDeviceNaming, ConstructionEnumeratesAndOpensIndexZero) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0, 2, 7}));
  CUsbDevice device("ZelmorX02");
  EXPECT_EQ(device.GetMaxDevices(), 8);
  for (unsigned i = 0; i < 9; ++i) {
    EXPECT_EQ(device.IsDevicePresent(i), i == 0 || i == 2 || i == 7 ? 1 : 0) << i;
  }
  EXPECT_EQ(device.GetDeviceIndex(), 0);
  EXPECT_STREQ(device.DevicePath(), "\\\\.\\ZelmorX02-0");
  // Opening index 0 selects 8-bit samples, then the reset follows.
  const auto commands = camera.Commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(Head(commands[0].packet, 2), (std::vector<uint8_t>{QUVEX_USB_CMD_SAMPLE_WIDTH, 0}));
  EXPECT_EQ(commands[1].packet[0], QUVEX_USB_CMD_RESET);
  EXPECT_EQ(camera.OpenDevices(), 0);  // no handle outlives an operation
}

TEST(UsbDeviceNaming, WithoutADriverNothingIsPresent) {
  CUsbDevice device("ZelmorX02");
  for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(device.IsDevicePresent(i), 0);
  EXPECT_EQ(device.GetDeviceIndex(), 0);
  EXPECT_EQ(device.WriteRegister16(0x06, 1, 0), 0);
  uint8_t answer = 0;
  EXPECT_EQ(device.QueryByte(0x11, answer), 0);
}

TEST(UsbDeviceNaming, OtherPrefixesAndFailedOpens) {
  SimUsbCamera camera(Cameras("ZelmorIR640A", {1}));
  CUsbDevice device("ZelmorIR640A");
  EXPECT_EQ(device.IsDevicePresent(1), 1);
  EXPECT_EQ(device.IsDevicePresent(0), 0);
  EXPECT_STREQ(device.Prefix(), "ZelmorIR640A");

  SimUsbCamera refusing(Cameras("Refusing", {0}));
  refusing.SetOpenFails(true);
  CUsbDevice absent("Refusing");
  EXPECT_EQ(absent.IsDevicePresent(0), 0);
  EXPECT_EQ(refusing.Resets(0), 0);
}

TEST(UsbDeviceNaming, SelectionAndOpeningByIndex) {
  SimUsbCamera camera(Cameras("ZelmorX02", {0, 3}));
  CUsbDevice device("ZelmorX02");
  EXPECT_EQ(device.SelectDevice(7), QUVEX_USB_OK);
  EXPECT_STREQ(device.DevicePath(), "\\\\.\\ZelmorX02-7");
  EXPECT_EQ(device.SelectDevice(8), QUVEX_USB_ERR_INDEX);
  EXPECT_STREQ(device.DevicePath(), "\\\\.\\ZelmorX02-7");
  EXPECT_EQ(device.GetDeviceIndex(), 7);

  EXPECT_EQ(device.OpenConverter(8), QUVEX_USB_ERR_INDEX);
  EXPECT_EQ(device.OpenConverter(3), QUVEX_USB_OK);
  EXPECT_EQ(device.GetDeviceIndex(), 3);
  EXPECT_EQ(camera.Resets(3), 1);
  EXPECT_EQ(camera.Resets(0), 1);  // from the construction only
  EXPECT_EQ(device.SampleWidthFlag(), 0);
  EXPECT_EQ(device.Layout().pitch, 1339);  // defaults again
}

TEST(UsbDeviceCommands, RegisterWritesAndQueries) {
  SimUsbCamera camera;
  CUsbDevice device("ZelmorX02");
  EXPECT_EQ(device.WriteRegister16(0x06, 1, 0x00), 1);
  EXPECT_EQ(device.WriteRegister16(0x02, 0x1234, 0x01), 1);
  const auto writes = camera.RegisterWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(Head(writes[0].packet, 6), (std::vector<uint8_t>{0x04, 0x00, 0x06, 0x00, 0x01, 0x00}));
  EXPECT_TRUE(std::all_of(writes[0].packet.begin() + 5, writes[0].packet.end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(writes[1].address, 0x0102);
  EXPECT_EQ(writes[1].value, 0x1234);

  camera.SetQueryAnswer(0x21, 0x77);
  uint8_t answer = 0;
  EXPECT_EQ(device.QueryByte(0x21, answer), 1);
  EXPECT_EQ(answer, 0x77);

  camera.Unplug();
  EXPECT_EQ(device.WriteRegister16(0x06, 1, 0x00), 0);
}

TEST(UsbDeviceGeometry, TransferSizesAndTheirPacket) {
  SimUsbCamera camera;
  CUsbDevice device("ZelmorX02");
  EXPECT_EQ(device.SetGeometry(780, 12, 640, 525, 5, 480, 10), QUVEX_USB_OK);
  EXPECT_EQ(device.TransferSize(), 378880u);
  EXPECT_EQ(device.RingCount(), 10);
  EXPECT_EQ(camera.TransferSize(0), 378880u);
  EXPECT_EQ(Head(camera.Commands().back().packet, 5),
            (std::vector<uint8_t>{0x09, 0x00, 0xC8, 0x05, 0x00}));
  EXPECT_EQ(device.SetGeometry(640, 0, 640, 480, 0, 480, 4), QUVEX_USB_OK);
  EXPECT_EQ(device.TransferSize(), 307200u);
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, 0, 10, 2), QUVEX_USB_OK);
  EXPECT_EQ(device.TransferSize(), 1024u);
}

TEST(UsbDeviceGeometry, RejectionsChangeNothing) {
  CUsbDevice device("ZelmorX02");
  ASSERT_EQ(device.SetGeometry(780, 12, 640, 525, 5, 480, 10), QUVEX_USB_OK);
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, 0, 10, 2), QUVEX_USB_OK);    // Y + H = L
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, 1, 10, 2), QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, 0, 0, 1), QUVEX_USB_ERR_GEOMETRY);  // 4 before 1
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 0, 0, 10, 2), QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, 0, 10, 1), QUVEX_USB_ERR_RING);
  // Windows that would reach outside the frame.
  EXPECT_EQ(device.SetGeometry(100, 1, 100, 10, 0, 10, 2), QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.SetGeometry(100, 0, 100, 10, -1, 10, 2), QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.SetGeometry(0, 0, 0, 10, 0, 10, 2), QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.SetGeometry(0x7FFFFFFF, 0, 1, 0x7FFFFFFF, 0, 0x7FFFFFFF, 2),
            QUVEX_USB_ERR_GEOMETRY);
  EXPECT_EQ(device.TransferSize(), 1024u);
  EXPECT_EQ(device.Layout().pitch, 100);
}

TEST(UsbDeviceGeometry, TwoFieldLayout) {
  CUsbDevice device("ZelmorX02");
  device.SetTwoFieldLayout(1);
  ASSERT_EQ(device.SetGeometry(780, 0, 720, 262, 10, 240, 2), QUVEX_USB_OK);
  EXPECT_EQ(device.Layout().lines, 512);
  EXPECT_EQ(device.Layout().height, 480);
  EXPECT_EQ(device.Layout().yOffset, 32);
  EXPECT_EQ(device.TransferSize(), 780u * 512u);  // already a multiple of 1024
}

TEST(UsbDeviceCopies, RegionCopiesStayInsideSourceAndTarget) {
  CUsbDevice device("ZelmorX02");
  ASSERT_EQ(device.SetGeometry(8, 1, 4, 6, 2, 3, 2), QUVEX_USB_OK);
  std::vector<uint8_t> frame(8 * 6);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i / 8) * 10 + i % 8);
  std::vector<uint8_t> out(12 + 4, 0xEE);
  EXPECT_EQ(device.CopyRoi(out.data(), 12, frame.data(), frame.size()), QUVEX_USB_OK);
  EXPECT_EQ(out, (std::vector<uint8_t>{21, 22, 23, 24, 31, 32, 33, 34, 41, 42, 43, 44, 0xEE, 0xEE,
                                       0xEE, 0xEE}));
  EXPECT_EQ(device.CopyRoi(out.data(), 11, frame.data(), frame.size()), QUVEX_USB_ERR_ROI);
  EXPECT_EQ(device.CopyRoi(out.data(), 12, frame.data(), 8 * 4 + 4), QUVEX_USB_ERR_ROI);
  EXPECT_EQ(device.CopyRoi(nullptr, 12, frame.data(), frame.size()), QUVEX_USB_ERR_NO_BUFFER);

  // 16-bit samples: width x height x 2 bytes, in 16-bit units of the pitch.
  device.SetSampleWidth(1);
  std::vector<uint16_t> wide(8 * 6);
  for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint16_t>(1000 + i);
  std::vector<uint16_t> wideOut(12 + 1, 0xEEEE);
  EXPECT_EQ(device.CopyRoi(wideOut.data(), 24, wide.data(), wide.size() * 2), QUVEX_USB_OK);
  EXPECT_EQ(wideOut[0], 1017);
  EXPECT_EQ(wideOut[11], 1036);
  EXPECT_EQ(wideOut[12], 0xEEEE);
}

TEST(UsbDeviceCopies, FieldsInterleaveLineByLine) {
  CUsbDevice device("ZelmorX02");
  device.SetTwoFieldLayout(1);
  device.SetSourceFamily(QUVEX_USB_SOURCE_FIELDS);
  ASSERT_EQ(device.SetGeometry(8, 1, 4, 6, 1, 2, 2), QUVEX_USB_OK);  // 9 lines
  std::vector<uint8_t> frame(8 * 9);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i / 8) * 10 + i % 8);
  std::vector<uint8_t> out(16);
  EXPECT_EQ(device.CopyFieldsRoi(out.data(), out.size(), frame.data(), frame.size()), QUVEX_USB_OK);
  // Field 1 lines 1 and 2, field 2 (from line 6) lines 7 and 8, interleaved.
  EXPECT_EQ(out, (std::vector<uint8_t>{11, 12, 13, 14, 71, 72, 73, 74, 21, 22, 23, 24, 81, 82, 83,
                                       84}));
  EXPECT_EQ(device.CopyFieldsRoi(out.data(), out.size(), frame.data(), 8 * 8 + 4),
            QUVEX_USB_ERR_ROI);
}

}  // namespace
