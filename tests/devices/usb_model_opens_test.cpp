// Per-model open sequences, the video converter and the holder's routing of
// device types 2 to 20, against simulated cameras.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>
#include <memory>
#include <vector>

#include "devices/usb/device_holder.h"
#include "tests/devices/sensor_chip_rig.h"

namespace {

using namespace quvex;
using namespace quvex::test;

using Geometry = std::array<int32_t, 6>;  // pitch, x offset, width, lines, y offset, height

Geometry GeometryOf(const UsbFrameLayout& l) {
  return {l.pitch, l.xOffset, l.width, l.lines, l.yOffset, l.height};
}

// A holder carrying the rig's device object as the given type.
struct HolderRig : ChipRig {
  explicit HolderRig(int type) : ChipRig(type) {
    holder.Attach(std::make_unique<CUsbDevice>("ZelmorX02"));
    holder.SetType(type);
  }
  CDeviceHolder holder;
  CUsbDevice& Device() { return *holder.Device(); }
};

TEST(UsbModelOpens, FixedGeometryTypes) {
  struct Case {
    int type;
    Geometry geometry;
    std::array<int32_t, 2> region;
    int phase;
    bool resetEveryOpen;
  };
  for (const Case& c : {Case{18, {1600, 221, 1280, 976, 1, 960}, {1280, 960}, 2, true},
                        // Types 17 and 16 clipped to their lines.
                        Case{17, {3848, 1412, 2436, 2070, 11, 2058}, {2456, 2058}, 0, true},
                        Case{16, {1921, 308, 1613, 1225, 5, 1220}, {1620, 1220}, 0, true},
                        Case{15, {1791, 418, 1360, 1060, 14, 1024}, {1360, 1024}, 0, true},
                        Case{14, {2894, 0, 2894, 2028, 0, 2027}, {2560, 1920}, 0, true},
                        Case{13, {2288, 0, 2288, 1701, 0, 1700}, {2288, 1700}, 0, true},
                        Case{12, {2280, 430, 1600, 1290, 3, 1282}, {1600, 1282}, 2, false},
                        Case{11, {1791, 418, 1360, 1060, 14, 1024}, {1360, 1024}, 0, true},
                        Case{10, {1790, 418, 1360, 1060, 13, 1024}, {1360, 1024}, 0, true},
                        Case{9, {781, 145, 636, 508, 14, 494}, {636, 494}, 0, true},
                        Case{8, {780, 140, 640, 504, 14, 480}, {640, 480}, 2, false}}) {
    SCOPED_TRACE(c.type);
    HolderRig rig(c.type);
    const size_t sent = rig.camera.Commands().size();
    EXPECT_EQ(rig.holder.Open(8, 1), QUVEX_USB_ERR_INDEX);
    EXPECT_EQ(rig.camera.Commands().size(), sent);  // nothing sent
    const int resets = rig.camera.Resets(1);
    EXPECT_EQ(rig.holder.Open(1, 1), 0);
    EXPECT_EQ(GeometryOf(rig.Device().Layout()), c.geometry);
    EXPECT_EQ(rig.Device().RingCount(), 10);
    const UsbModelState state = rig.Device().ModelState();
    EXPECT_EQ((std::array<int32_t, 4>{state.region.x, state.region.y, state.region.width,
                                      state.region.height}),
              (std::array<int32_t, 4>{0, 0, c.region[0], c.region[1]}));
    EXPECT_EQ(rig.Device().ColourSettings().bayerPhase, c.phase);
    EXPECT_EQ(rig.Device().ColourSettings().binningCode, 0);
    EXPECT_EQ(rig.holder.Open(1, 1), 0);
    EXPECT_EQ(rig.camera.Resets(1) - resets, c.resetEveryOpen ? 2 : 1);
  }
}

std::vector<std::vector<uint8_t>> PacketsFrom(const ChipRig& rig, size_t from, size_t bytes) {
  std::vector<std::vector<uint8_t>> out;
  const auto commands = rig.camera.Commands();
  for (size_t i = from; i < commands.size(); ++i) {
    out.emplace_back(commands[i].packet.begin(),
                     commands[i].packet.begin() + static_cast<std::ptrdiff_t>(bytes));
  }
  return out;
}

TEST(UsbModelOpens, PacketSequencesOfSerialTypes) {
  {
    // Type 8: reset, serial block, serial field, control word, once per index.
    HolderRig rig(8);
    const size_t from = rig.camera.Commands().size();
    ASSERT_EQ(rig.holder.Open(0, 1), 0);
    const auto packets = PacketsFrom(rig, from, 10);
    ASSERT_GE(packets.size(), 6u);
    EXPECT_EQ(packets[0][0], QUVEX_USB_CMD_SAMPLE_WIDTH);
    EXPECT_EQ(packets[1][0], QUVEX_USB_CMD_RESET);
    EXPECT_EQ(packets[2], (std::vector<uint8_t>{0x31, 0x81, 0, 0x80, 0, 0, 0, 0x12, 0, 0}));
    EXPECT_EQ(packets[3], (std::vector<uint8_t>{0x31, 0x81, 0, 0x80, 0, 0, 0, 0x12, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(packets[4].begin(), packets[4].begin() + 3),
              (std::vector<uint8_t>{0x32, 0x04, 0x00}));
    EXPECT_EQ(packets[5][0], QUVEX_USB_CMD_TRANSFER_SIZE);
  }
  {
    // Type 9: continuous capture after the geometry, registers 32 and 33.
    HolderRig rig(9);
    ASSERT_EQ(rig.holder.Open(0, 1), 0);
    EXPECT_EQ(rig.LastPacket(2), (std::vector<uint8_t>{0x04, 16}));
    EXPECT_EQ(rig.Logged(), (ChipWrites{{32, 0x10}, {33, 0x01}}));
  }
}

TEST(UsbModelOpens, RegisterSequenceOfType6) {
  HolderRig rig(6);
  rig.chip->SetRegister(0, 0x1300);
  rig.chip->SetRegister(13, 0x0330);
  ASSERT_EQ(rig.holder.Open(0, 1), 0);
  const auto writes = rig.Logged();
  const ChipWrites tail{{13, 0x0330}, {1, 0},       {2, 0},       {3, 486},  {4, 648},
                        {5, 80},      {6, 48},      {13, 0x0310}, {13, 0x0300}, {7, 904},
                        {32, 17},     {175, 0},     {71, 0x8080}};
  ASSERT_GE(writes.size(), tail.size());
  EXPECT_EQ(ChipWrites(writes.end() - static_cast<std::ptrdiff_t>(tail.size()), writes.end()), tail);
  EXPECT_EQ(GeometryOf(rig.Device().Layout()), (Geometry{728, 56, 640, 484, 4, 480}));
  EXPECT_EQ(rig.Device().ColourSettings().bayerPhase, 3);
}

ChipWrites Join(std::initializer_list<ChipWrites> parts) {
  ChipWrites out;
  for (const ChipWrites& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Types 2 to 5 and 7: initialisation, region, read-out fix-up and mode
// register, write by write.
TEST(UsbModelOpens, RegisterSequencesOfTheRegionTypes) {
  const ChipWrites analogue{{43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14},
                            {41, 1},  {63, 0},  {64, 6},  {74, 96}, {78, 12}};
  const ChipWrites revision7{{39, 11}, {62, 64}, {63, 4},    {64, 7},  {66, 5},  {67, 1},
                             {68, 515}, {76, 16}, {78, 8224}, {79, 20}, {81, 7},  {83, 7},
                             {89, 7},  {90, 4},  {92, 1872}, {127, 65280}};
  struct Case {
    int type;
    std::vector<std::pair<unsigned, uint32_t>> chip;  // registers before the open
    ChipWrites first;
    ChipWrites second;  // a second open of the index
    Geometry geometry;
    int ring;
  };
  const std::vector<Case> cases{
      {7, {{30, 0x8100}, {32, 0x9184}},
       Join({analogue, {{30, 0x8100}, {32, 0x9184}, {32, 0x1104}, {30, 0x8000}}}),
       {{30, 0x8000}, {32, 0x1104}, {32, 0x1104}, {30, 0x8000}},
       {1524, 241, 1280, 1044, 0, 1024}, 10},
      {2, {{30, 0x8100}, {32, 0x9184}},
       Join({analogue, {{1, 12}, {2, 20}, {3, 1023}, {4, 1279}, {30, 0x8100}, {32, 0x9184},
                        {32, 0x1104}, {30, 0x8000}}}),
       {{1, 12}, {2, 20}, {3, 1023}, {4, 1279}, {30, 0x8000}, {32, 0x1104}, {32, 0x1104},
        {30, 0x8000}},
       {1524, 241, 1280, 1044, 0, 1024}, 10},
      // Type 3's register-13 write meets an empty map at the first open.
      {3, {{30, 0x8140}, {32, 0x9184}},
       {{1, 12}, {2, 20}, {3, 1199}, {4, 1599}, {5, 53}, {6, 36}, {30, 0x8140}, {32, 0x9184},
        {32, 0x1104}, {30, 0x8040}},
       {}, {1958, 321, 1600, 1220, 0, 1200}, 10},
      {4, {{0, 0x1611}, {30, 0x0700}, {34, 0x35}, {35, 0x10}},
       Join({{{32, 0}, {79, 40}, {255, 0x1611}}, analogue,
             {{1, 20}, {2, 32}, {3, 1535}, {4, 2047}, {5, 42}, {6, 48}, {34, 0}, {35, 0},
              {32, 0}, {30, 0}}}),
       {}, {2461, 388, 2048, 1556, 0, 1536}, 10},
      {5, {{0, 0x1801}, {253, 7 << 5}, {30, 0x8300}, {34, 7}},
       Join({{{13, 0}}, revision7, {{43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14}},
             {{1, 54}, {2, 16}, {3, 1919}, {4, 2559}, {34, 0}, {35, 0}, {32, 0}, {30, 0x8000}}}),
       {}, {3184, 608, 2560, 1924, 0, 1920}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    HolderRig rig(c.type);
    for (const auto& [reg, value] : c.chip) rig.chip->SetRegister(reg, value);
    rig.Device().SetCaptureMode(1);
    ASSERT_EQ(rig.holder.Open(0, 1), 0);
    EXPECT_EQ(rig.Logged(), c.first);
    EXPECT_EQ(GeometryOf(rig.Device().Layout()), c.geometry);
    EXPECT_EQ(rig.Device().RingCount(), c.ring);
    EXPECT_EQ(rig.Device().ColourSettings().bayerPhase, 0);
    if (c.second.empty()) continue;
    rig.chip->ClearWrites();
    ASSERT_EQ(rig.holder.Open(0, 1), 0);  // the one-time part is skipped
    EXPECT_EQ(rig.Logged(), c.second);
  }
}

TEST(UsbVideoConverter, StandardFromEveryStatus) {
  ChipRig rig(20);
  rig.device.LoadConverterRegisterMap();
  EXPECT_EQ(rig.Logged(), (ChipWrites{{127, 0}}));
  for (uint32_t status = 0; status < 256; ++status) {
    rig.chip->SetRegister(136, status);
    const int low = static_cast<int>(status & 0x0F);
    const int expected = low == 2 || low == 3 ? 1 : low == 4 || low == 5 ? 2 : low == 10 || low == 11 ? 3 : 0;
    EXPECT_EQ(rig.device.DetectVideoStandard(), expected) << status;
  }
}

TEST(UsbVideoConverter, OpenPicksTheFieldGeometry) {
  struct Case {
    uint32_t status;
    int mode;
    bool unplugged;
    std::array<int32_t, 6> row;  // x offset, width, pitch, y offset, field height, field lines
  };
  for (const Case& c : {Case{0x03, 1, false, {81, 720, 864, 16, 280, 313}},
                        Case{0x02, 1, false, {104, 768, 944, 16, 280, 313}},
                        Case{0x00, 0, false, {88, 640, 780, 12, 240, 263}},
                        Case{0x04, 1, false, {0, 858, 858, 10, 240, 263}},  // clipped to the pitch
                        Case{0x00, 1, true, {88, 720, 858, 12, 235, 263}}}) {
    SCOPED_TRACE(c.status);
    HolderRig rig(20);
    rig.chip->SetRegister(136, c.status);
    if (c.unplugged) rig.camera.Unplug();
    ASSERT_EQ(rig.holder.Open(0, c.mode), 0);
    const UsbFrameLayout& l = rig.Device().Layout();
    EXPECT_EQ((std::array<int32_t, 6>{l.xOffset, l.width, l.pitch, l.fieldYOffset, l.fieldHeight,
                                      l.fieldLines}),
              c.row);
    EXPECT_EQ(l.height, 2 * c.row[4]);
    EXPECT_EQ(rig.Device().ModelState().region.height, 2 * c.row[4]);
    EXPECT_EQ(rig.Device().RingCount(), 10);  // a ring even before the first geometry
    EXPECT_EQ(rig.Device().SourceFamily(), QUVEX_USB_SOURCE_FIELDS);
  }
  // A type opened afterwards does not inherit the two-field copy.
  HolderRig rig(20);
  ASSERT_EQ(rig.holder.Open(0, 1), 0);
  rig.holder.SetType(18);
  ASSERT_EQ(rig.holder.Open(0, 1), 0);
  EXPECT_EQ(rig.Device().SourceFamily(), QUVEX_USB_SOURCE_SENSOR);
}

// A phase-0 mosaic of one colour from the region's first sample, in the
// 10-bit range of 16-bit sensor samples: red 200, green 100, blue 50.
uint16_t MosaicSample(int column, int line) {
  const BayerColour c = BayerColourAt(0, column - 145, line - 14);
  return c == BayerColour::Red ? 800 : c == BayerColour::Blue ? 200 : 400;
}

TEST(UsbModelOpens, FramesInRawAndColourForm) {
  {
    HolderRig rig(9);
    rig.chip->SetPicture(781, MosaicSample);
    ASSERT_EQ(rig.holder.Open(0, 1), 0);
    ASSERT_EQ(rig.Device().SetSampleWidth(1), 1);
    ASSERT_EQ(rig.holder.Start(), 0);
    ASSERT_EQ(PollUntil(rig.Device(), QUVEX_USB_POLL_NEW), QUVEX_USB_POLL_NEW);
    // The region in colour.
    std::vector<uint8_t> rgb(636 * 494 * 3 + 1, 0xEE);
    ASSERT_EQ(rig.Device().ReadFrame(rgb.data(), rgb.size() - 1, 1, 0, 0), QUVEX_USB_OK);
    const size_t at = (100 * 636 + 100) * 3;
    EXPECT_EQ((std::vector<int>{rgb[at], rgb[at + 1], rgb[at + 2]}),
              (std::vector<int>{0x32, 0x64, 0xC8}));
    EXPECT_EQ(rgb.back(), 0xEE);
    // Larger than a 640 x 480 slot of 16-bit samples: refused, not overrun.
    ASSERT_EQ(PollUntil(rig.Device(), QUVEX_USB_POLL_NEW), QUVEX_USB_POLL_NEW);
    std::vector<uint16_t> slot(640 * 480 + 1, 0xEEEE);
    EXPECT_EQ(rig.Device().ReadFrame(slot.data(), 640 * 480 * 2, 0, 0, 1), QUVEX_USB_ERR_ROI);
    EXPECT_EQ(slot.back(), 0xEEEE);
    EXPECT_EQ(rig.Device().StopCapture(), 0);
  }
  {
    HolderRig rig(20);
    rig.chip->SetPicture(864, [](int, int) { return static_cast<uint16_t>(138 << 8 | 100); });
    rig.chip->SetRegister(136, 0x03);
    ASSERT_EQ(rig.holder.Open(0, 1), 0);
    ASSERT_EQ(rig.Device().SetSampleWidth(1), 1);
    ASSERT_EQ(rig.Device().CaptureOneShot(), 0);
    std::vector<uint8_t> rgb(720 * 560 * 3);
    ASSERT_EQ(rig.Device().GetImage(rgb.data(), rgb.size(), 1, 0, 0), QUVEX_USB_OK);
    EXPECT_EQ((std::vector<int>{rgb[300], rgb[301], rgb[302]}), (std::vector<int>{120, 90, 111}));
  }
}

TEST(UsbDeviceHolderRouting, OperationsByType) {
  struct Case {
    int type;
    int registerResult;
    uint8_t registerPacketByte1;  // second byte of the register packet sent
    int modeResult;
  };
  for (const Case& c : {Case{9, 1, 16, 1}, Case{17, 1, 0x30, 1}, Case{18, 1, 0x30, 1},
                        Case{19, 1, 0x00, 0},
                        Case{2, 0, 0, 0}, Case{12, 0, 0, 0}, Case{13, 0, 0, 1},
                        Case{20, 0, 0, 0}, Case{21, 0, 0, 0}}) {
    SCOPED_TRACE(c.type);
    HolderRig rig(c.type);
    EXPECT_EQ(rig.holder.Type(), c.type);
    const size_t sent = rig.camera.Commands().size();
    EXPECT_EQ(rig.holder.WriteRegister(0x20, 5), c.registerResult);
    if (c.registerResult == 1) {
      EXPECT_EQ(rig.LastPacket(2)[1], c.registerPacketByte1);
    } else {
      EXPECT_EQ(rig.camera.Commands().size(), sent);
    }
    EXPECT_EQ(rig.holder.SetMode(0), c.modeResult);
    const bool inRange = c.type >= 2 && c.type <= 20;
    EXPECT_EQ(rig.holder.IsDevicePresent(0), inRange ? 1 : 0);
    // 16-bit samples are told to the camera and remembered, 17 and 18 included.
    EXPECT_EQ(rig.holder.SelectSixteenBitSamples(), inRange ? 1 : 0);
    EXPECT_EQ(rig.Device().SampleWidthFlag(), inRange ? 1 : 0);
    EXPECT_EQ(rig.camera.SixteenBit(0), inRange);
    if (!inRange) {
      EXPECT_EQ(rig.holder.Open(0, 1), 1);
      EXPECT_EQ(rig.holder.Start(), 1);
    }
    EXPECT_EQ(rig.holder.Reset(), 1);
    EXPECT_EQ(rig.holder.Type(), 0);
    EXPECT_EQ(rig.holder.Open(0, 1), 1);
  }
}

}  // namespace
