// Sensor register accessors, register maps and initialisation sequences,
// checked against the simulated chip's log of writes.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "devices/usb/usb_device.h"
#include "tests/devices/sensor_chip_rig.h"

namespace {

using namespace quvex;
using namespace quvex::test;

using Writes = ChipWrites;


// Every write from the first with a pause after it came at least that late.
void ExpectPausesAfter(const std::vector<sim::ChipWrite>& writes, size_t from, int pauseMs) {
  for (size_t i = from + 1; i < writes.size(); ++i) {
    EXPECT_GE(writes[i].at - writes[i - 1].at, std::chrono::milliseconds(pauseMs)) << i;
  }
}

TEST(UsbSensorRegisters, SerialWordWriterOfType9) {
  ChipRig rig(9);
  const size_t sent = rig.camera.Commands().size();
  EXPECT_EQ(rig.device.WriteRegisterType9(200, 1), 0);
  EXPECT_EQ(rig.device.WriteRegisterType9(1024, 1), 0);
  EXPECT_EQ(rig.camera.Commands().size(), sent);  // refused: nothing sent

  struct Case {
    unsigned reg;
    int value;
    std::vector<uint8_t> packet;
    uint32_t chipValue;
  };
  for (const Case& c : {Case{256, 0x1234, {0x04, 26, 0x00, 0xD1, 0x48, 0x00}, 0x1234},
                        Case{10, 0x7F, {0x04, 16, 0x0A, 0xFC, 0x00, 0x00}, 0x3F},
                        Case{400, 0x3FFFFF, {0x04, 32, 0x90, 0xFD, 0xFF, 0xFF}, 0x3FFFFF}}) {
    EXPECT_EQ(rig.device.WriteRegisterType9(c.reg, c.value), 1);
    EXPECT_EQ(rig.LastPacket(6), c.packet) << c.reg;
    EXPECT_EQ(rig.chip->Register(c.reg), c.chipValue);
    int32_t cached = 0;
    EXPECT_EQ(rig.device.GetCachedRegister(c.reg, cached), 1);
    EXPECT_EQ(cached, c.value);  // unmasked
  }
  int32_t cached = 0;
  EXPECT_EQ(rig.device.GetCachedRegister(192, cached), 0);
  rig.camera.Unplug();
  EXPECT_EQ(rig.device.WriteRegisterType9(11, 5), 0);
  EXPECT_EQ(rig.device.GetCachedRegister(11, cached), 1);
  EXPECT_EQ(cached, 0);  // a failed write is not cached
}

TEST(UsbSensorRegisters, PacketsOfTheOtherWriters) {
  ChipRig rig(17);
  EXPECT_EQ(rig.device.WriteRegisterType17(0x0181, 0x123456), 1);
  EXPECT_EQ(rig.LastPacket(8), (std::vector<uint8_t>{0x04, 0x30, 0xFE, 0x81, 0x01, 0x56, 0x34, 0x12}));
  EXPECT_EQ(rig.chip->Register(0x181), 0x123456u);
  EXPECT_EQ(rig.device.WriteSensorRegister(7, 0xABCD), 1);
  EXPECT_EQ(rig.LastPacket(5), (std::vector<uint8_t>{0x04, 7, 0xAB, 0xCD, 0}));
  EXPECT_EQ(rig.device.SendSampleWidth(5), 1);
  EXPECT_EQ(rig.LastPacket(2), (std::vector<uint8_t>{0x0A, 1}));
  EXPECT_EQ(rig.device.SampleWidthFlag(), 0);  // not remembered
  EXPECT_EQ(rig.device.SendControlWord(1024), 1);
  EXPECT_EQ(rig.LastPacket(3), (std::vector<uint8_t>{0x32, 0x04, 0x00}));

  // Serial field (1, 0): bit 21 of the reversed field, bit 5 of byte 2.
  EXPECT_EQ(rig.device.SetSerialBlock({0x81, 0x00, 0x80, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00}), 1);
  EXPECT_EQ(rig.device.SetSerialField(1, 0), 1);
  EXPECT_EQ(rig.LastPacket(10),
            (std::vector<uint8_t>{0x31, 0x81, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00}));
  EXPECT_EQ(rig.device.SetSerialField(0xFF, 0x3FF), 1);  // all 18 bits: bits 4 to 21
  EXPECT_EQ(rig.LastPacket(6), (std::vector<uint8_t>{0x31, 0x81, 0x00, 0xBF, 0xFF, 0xFF}));
}

TEST(UsbSensorRegisters, ReadersAndTheMapGuard) {
  ChipRig rig(10);
  rig.chip->SetRegister(5, 0x1234);
  uint16_t value = 7;
  EXPECT_EQ(rig.device.ReadSensorRegister(5, value), 1);
  EXPECT_EQ(value, 0x1234);

  // Write-only after the type-10 map: the guarded read refuses, value kept.
  rig.device.InitRegisterMapType10();
  value = 7;
  EXPECT_EQ(rig.device.ReadSensorRegisterGuarded(0, value), 0);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(rig.device.WriteSensorRegisterGuarded(3, 1), 1);
  EXPECT_EQ(rig.device.WriteSensorRegisterGuarded(4, 1), 0);
  // Type 7's writer refuses registers 0 to 4 even where the map allows them.
  EXPECT_EQ(rig.device.WriteSensorRegisterType7(3, 1), 0);

  rig.camera.Unplug();
  value = 7;
  EXPECT_EQ(rig.device.ReadSensorRegister(5, value), 0);
  EXPECT_EQ(value, 0);  // a failed read stores 0
}

const Writes kAnalogue{{43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14},
                       {41, 1},  {63, 0},  {64, 6},  {74, 96}, {78, 12}};

Writes Join(Writes head, const Writes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(UsbSensorInit, PulsedSensorsOfTypes7And2) {
  for (int type : {7, 2}) {
    ChipRig rig(type);
    // First initialisation: the map does not yet allow register 13.
    EXPECT_EQ(type == 7 ? rig.device.InitSensorType7() : rig.device.InitSensorType2(), 1);
    EXPECT_EQ(rig.Logged(), kAnalogue) << type;
    ExpectPausesAfter(rig.chip->Writes(), 0, 30);
    rig.chip->ClearWrites();
    (void)(type == 7 ? rig.device.InitSensorType7() : rig.device.InitSensorType2());
    EXPECT_EQ(rig.Logged(), Join({{13, 1}, {13, 0}}, kAnalogue)) << type;
    ExpectPausesAfter(rig.chip->Writes(), 0, 30);
  }
}

TEST(UsbSensorInit, SensorsOfTypes3And4) {
  {
    ChipRig three(3);
    three.device.InitSensorType3();
    EXPECT_EQ(three.Logged(), Writes{});
    three.device.InitSensorType3();
    EXPECT_EQ(three.Logged(), (Writes{{13, 0}}));
  }

  for (const auto& [chip, fix] : {std::pair{0x1611u, Writes{{32, 0}, {79, 40}, {255, 0x1611}}},
                                  std::pair{0x1621u, Writes{{32, 0x2000}, {79, 20}, {255, 0x1621}}},
                                  std::pair{0x1234u, Writes{}}}) {
    ChipRig four(4);
    four.chip->SetRegister(0, chip);
    four.device.InitSensorType4();
    EXPECT_EQ(four.Logged(), Join(fix, kAnalogue)) << chip;
    ExpectPausesAfter(four.chip->Writes(), fix.size(), 30);
  }
}

TEST(UsbSensorInit, SensorOfType5ByChipRevision) {
  const Writes revision7{{39, 11}, {62, 64}, {63, 4},    {64, 7},  {66, 5},  {67, 1},
                         {68, 515}, {76, 16}, {78, 8224}, {79, 20}, {81, 7},  {83, 7},
                         {89, 7},  {90, 4},  {92, 1872}, {127, 65280}};
  const Writes tail{{43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14}};
  for (const auto& [revisionWord, extra] : {std::pair{uint32_t{7u << 5}, revision7},
                                            std::pair{uint32_t{6u << 5}, Writes{}}}) {
    ChipRig rig(5);
    rig.chip->SetRegister(0, 0x1801);
    rig.chip->SetRegister(253, revisionWord);
    rig.device.InitSensorType5();
    EXPECT_EQ(rig.Logged(), Join(Join({{13, 0}}, extra), tail));
    ExpectPausesAfter(rig.chip->Writes(), 0, 10);
    const UsbModelState state = rig.device.ModelState();
    EXPECT_EQ(state.chipId, 0x1801);
    EXPECT_EQ(state.chipRevision, static_cast<int>(revisionWord >> 5));
    EXPECT_EQ(state.registerMap[127].writable, extra.empty() ? 0 : 1);
  }
}

TEST(UsbSensorInit, SensorOfType6ByChip) {
  const Writes setup1311{{7, 904},  {21, 32562}, {15, 21}, {32, 465}, {112, 4}, {115, 759},
                         {194, 64}, {28, 2},     {49, 31}, {50, 26},  {51, 18}, {175, 0},
                         {43, 3},   {16, 42}};
  const Writes setupB1311{{15, 85}, {16, 28},  {21, 10290}, {28, 2},  {43, 0},
                          {72, 0},  {112, 4},  {115, 759},  {171, 0}, {191, 20}};
  const Writes setupC1311{{15, 21}, {21, 32562}, {28, 2}};
  {
    ChipRig rig(6);
    rig.chip->SetRegister(0, 0x1311);
    rig.camera.SetQueryAnswer(5, 0);  // board flag 1
    rig.device.InitSensorType6();
    EXPECT_EQ(rig.Logged(), Join(Join(Join(Join({{12, 1}, {12, 0}}, setup1311), setup1311),
                                      setupB1311),
                                 setupC1311));
    EXPECT_EQ(rig.device.ModelState().type6Option, 1);
  }

  const Writes setup1300{{5, 100}, {32, 17},    {44, 6},  {169, 2}, {71, 0x8081}, {72, 20},
                         {16, 31}, {112, 4},    {10, 375}, {28, 3},  {49, 16},     {50, 13},
                         {51, 4},  {52, 4},     {54, 63}, {7, 836}};
  ChipRig older(6);
  older.chip->SetRegister(0, 0x1300);
  older.camera.SetQueryAnswer(5, 1);
  older.device.InitSensorType6();
  EXPECT_EQ(older.Logged(), Join(Join({{12, 1}, {12, 0}}, setup1300), setup1300));
  EXPECT_EQ(older.device.ModelState().type6Option, 0);
}

}  // namespace
