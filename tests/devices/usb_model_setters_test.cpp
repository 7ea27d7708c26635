// Region, binning and mode setters of the per-model device types.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "devices/usb/usb_device.h"
#include "tests/devices/sensor_chip_rig.h"

namespace {

using namespace quvex;
using namespace quvex::test;

using Writes = ChipWrites;

using RegionSetter = int (CUsbDevice::*)(int, int, int, int, int) noexcept;

struct Model {
  int type;
  RegionSetter set;
  int sensorWidth, sensorHeight;
};

const std::vector<Model> kModels{{2, &CUsbDevice::SetRegionType2, 1280, 1024},
                                 {3, &CUsbDevice::SetRegionType3, 1600, 1200},
                                 {4, &CUsbDevice::SetRegionType4, 2048, 1536},
                                 {5, &CUsbDevice::SetRegionType5, 2560, 1920},
                                 {6, &CUsbDevice::SetRegionType6, 640, 480},
                                 {7, &CUsbDevice::SetRegionType7, 1280, 1024}};

// Every accepted region and binning leaves a geometry inside the frame, and
// every refusal changes nothing.
TEST(UsbModelSetters, RegionSweepKeepsTheGeometryInsideTheFrame) {
  for (const Model& m : kModels) {
    ChipRig rig(m.type);
    for (int x : {0, 3}) {
      for (int y : {0, 1}) {
        for (int width : {3, 4, 7, 301, m.sensorWidth - x, m.sensorWidth - x + 1}) {
          for (int height : {2, 3, 5, 241, m.sensorHeight - y, m.sensorHeight - y + 1}) {
            for (int binning : {0, 1, 2, 3, 4, -1}) {
              const UsbFrameLayout before = rig.device.Layout();
              const int result = (rig.device.*m.set)(x, y, width, height, binning);
              const UsbFrameLayout& l = rig.device.Layout();
              const bool fits = width > 3 && height > 2 && binning >= 0 && binning <= 3 &&
                                x + width <= m.sensorWidth && y + height <= m.sensorHeight;
              SCOPED_TRACE(testing::Message() << "type " << m.type << " " << x << "," << y << " "
                                              << width << "x" << height << " bin " << binning);
              if (!fits) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(l.pitch, before.pitch);
                continue;
              }
              if (result != 0) continue;  // a binned size of nothing
              EXPECT_GE(l.width, 1);
              EXPECT_GE(l.height, 1);
              EXPECT_LE(l.xOffset + l.width, l.pitch);
              EXPECT_LE(l.yOffset + l.height, l.lines);
              EXPECT_GE(static_cast<int64_t>(rig.device.TransferSize()),
                        static_cast<int64_t>(l.pitch) * (l.yOffset + l.height));
            }
          }
        }
      }
    }
  }
}

TEST(UsbModelSetters, BinningBitsOfEachModel) {
  using Init = int (CUsbDevice::*)() noexcept;
  struct Case {
    int type;
    Init init;
    RegionSetter set;
    unsigned reg;
    uint16_t before;
    std::vector<int> binnings;
    uint16_t after;
  };
  // Type 7 only adds bit groups; type 3 replaces one by the other. Types 4
  // and 5 set bits 0 to 2 of register 34; only type 4 also clears bits 4, 5.
  const Case cases[] = {
      {7, &CUsbDevice::InitSensorType7, &CUsbDevice::SetRegionType7, 30, 0, {3, 2}, 0x3C},
      {3, &CUsbDevice::InitSensorType3, &CUsbDevice::SetRegionType3, 30, 0, {3, 2}, 0x0C},
      {4, &CUsbDevice::InitSensorType4, &CUsbDevice::SetRegionType4, 34, 0x0030, {1}, 0x0001},
      {5, &CUsbDevice::InitSensorType5, &CUsbDevice::SetRegionType5, 34, 0x0030, {1}, 0x0031},
  };
  for (const Case& c : cases) {
    ChipRig rig(c.type);
    (void)(rig.device.*c.init)();
    rig.chip->SetRegister(c.reg, c.before);
    for (int binning : c.binnings) ASSERT_EQ((rig.device.*c.set)(0, 0, 1280, 1024, binning), 0);
    EXPECT_EQ(rig.chip->Register(c.reg), c.after) << c.type;
  }
}

TEST(UsbModelSetters, Type6BinsTheWholeSensor) {
  ChipRig rig(6);
  rig.chip->SetRegister(13, 0x0300);
  ASSERT_EQ(rig.device.SetRegionType6(10, 10, 100, 100, 2), 0);
  const UsbFrameLayout& l = rig.device.Layout();
  EXPECT_EQ((std::vector<int>{l.pitch, l.xOffset, l.width, l.lines, l.yOffset, l.height}),
            (std::vector<int>{182, 7, 160, 120, 0, 120}));
  EXPECT_EQ(rig.Logged(),
            (Writes{{13, 0x030A}, {1, 0}, {2, 0}, {3, 486}, {4, 648}, {5, 80}, {6, 12}}));
  EXPECT_EQ(rig.device.ColourSettings().bayerPhase, 3);
  EXPECT_EQ(rig.device.ColourSettings().binningCode, 2);
}

TEST(UsbModelSetters, ModePacketsAndTriggerRegisters) {
  {
    ChipRig rig(13);
    EXPECT_EQ(rig.device.SetModeType10(0), 1);
    EXPECT_EQ(rig.LastPacket(2), (std::vector<uint8_t>{0x28, 1}));
    EXPECT_EQ(rig.device.SetModeType13(0), 1);
    EXPECT_EQ(rig.LastPacket(2), (std::vector<uint8_t>{0x28, 0}));
    EXPECT_EQ(rig.device.SetModeType8(0x101), 1);
    EXPECT_EQ(rig.LastPacket(2), (std::vector<uint8_t>{0x28, 0x01}));
  }
  {
    ChipRig rig(18);
    EXPECT_EQ(rig.device.SetModeType18(1), 1);
    EXPECT_EQ(rig.device.SetModeType18(0), 1);
    EXPECT_EQ(rig.Logged(), (Writes{{1, 4}, {129, 13}, {32, 0}, {33, 0x0E},
                                    {1, 6}, {129, 0}, {32, 0x10}, {33, 0x01}}));
  }
  {
    // Type 9 takes registers 32 and 33 from what it last wrote.
    ChipRig rig(9);
    rig.device.WriteRegisterType9(32, 0x13);
    rig.device.WriteRegisterType9(33, 0x25);
    rig.chip->ClearWrites();
    EXPECT_EQ(rig.device.SetModeType9(1), 1);
    EXPECT_EQ(rig.Logged(), (Writes{{32, 0x03}, {33, 0x2E}}));
    rig.camera.Unplug();
    EXPECT_EQ(rig.device.SetModeType9(1), 0);
  }
}

TEST(UsbModelSetters, RegisterModesNeedTheirRead) {
  ChipRig rig(5);
  rig.chip->SetRegister(30, 0x8000);
  EXPECT_EQ(rig.device.SetModeType5(1), 1);
  EXPECT_EQ(rig.chip->Register(30), 0x8300u);
  EXPECT_EQ(rig.device.SetModeType5(0), 1);
  EXPECT_EQ(rig.chip->Register(30), 0x8000u);

  // Without a register map the guarded read of type 2 is refused: nothing is
  // written from an unknown value.
  rig.chip->ClearWrites();
  EXPECT_EQ(rig.device.SetModeType2(1), 0);
  EXPECT_EQ(rig.Logged(), Writes{});

  // Type 5's row flip reads the flag back and derives the phase from it.
  rig.chip->SetRegister(32, 0x0001);
  EXPECT_EQ(rig.device.SetRowFlipType5(1), 0);
  EXPECT_EQ(rig.chip->Register(32), 0x8001u);
  EXPECT_EQ(rig.device.ModelState().rowMirror, 1);
  EXPECT_EQ(rig.device.ColourSettings().bayerPhase, 1);
}

}  // namespace
