// CUsbDevice: register maps and the sensor initialisation sequences, with
// their register values, orders and pauses. Transfers that fail do not stop
// a sequence.
#include <initializer_list>

#include "devices/usb/models/usb_register_maps.h"
#include "devices/usb/usb_device.h"
#include "quvex_platform/clock.h"

namespace quvex {

namespace {

constexpr uint8_t kBoardFlagQuery = 5;

struct RegisterStep {
  unsigned reg;
  int value;
};

using SensorWriter = int (CUsbDevice::*)(unsigned, int) noexcept;

// Writes the steps in order, each followed by a pause.
void WriteSteps(CUsbDevice& device, SensorWriter write, std::initializer_list<RegisterStep> steps,
                uint32_t pauseMs) {
  for (const RegisterStep& step : steps) {
    (void)(device.*write)(step.reg, step.value);
    platform::SleepMs(pauseMs);
  }
}

// The analogue settings every 16-bit sensor of types 2, 4 and 7 ends with.
constexpr std::initializer_list<RegisterStep> kAnalogueSettings = {
    {43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14},
    {41, 1},  {63, 0},  {64, 6},  {74, 96}, {78, 12}};

}  // namespace

void CUsbDevice::LoadRegisterMap(const SensorRegisterMap& map) noexcept {
  std::lock_guard lock(control_);
  model_.registerMap = map;
}

int CUsbDevice::InitRegisterMapType14() noexcept {
  LoadRegisterMap(RegisterMapType14());
  return 1;
}

int CUsbDevice::InitRegisterMapType13() noexcept {
  LoadRegisterMap(RegisterMapType13());
  return 1;
}

int CUsbDevice::InitRegisterMapType10() noexcept {
  LoadRegisterMap(RegisterMapType10());
  return 1;
}

// Types 7 and 2: the same sequence with the model's writer. The register-13
// pulse goes through that writer before the map is refilled, so on the first
// initialisation of a device object it reaches the camera only where the
// previous map allowed it.
int CUsbDevice::InitSensorPulsed(int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept {
  (void)(this->*write)(13, 1);
  platform::SleepMs(100);
  (void)(this->*write)(13, 0);
  platform::SleepMs(100);
  LoadRegisterMap(RegisterMapType7());
  WriteSteps(*this, write, kAnalogueSettings, 30);
  return 1;
}

int CUsbDevice::InitSensorType7() noexcept {
  return InitSensorPulsed(&CUsbDevice::WriteSensorRegisterType7);
}

int CUsbDevice::InitSensorType2() noexcept {
  return InitSensorPulsed(&CUsbDevice::WriteSensorRegisterGuarded);
}

int CUsbDevice::InitSensorType3() noexcept {
  (void)WriteSensorRegisterGuarded(13, 0);
  platform::SleepMs(100);
  LoadRegisterMap(RegisterMapType3());
  return 1;
}

int CUsbDevice::InitSensorType4() noexcept {
  (void)WriteSensorRegisterGuarded(13, 0);
  platform::SleepMs(100);
  LoadRegisterMap(RegisterMapType4());
  uint16_t chip = 0;
  (void)ReadSensorRegisterGuarded(0, chip);
  if (chip == 0x1611) {
    WriteSteps(*this, &CUsbDevice::WriteSensorRegisterGuarded, {{32, 0}, {79, 40}, {255, 0x1611}}, 0);
  } else if (chip == 0x1621) {
    WriteSteps(*this, &CUsbDevice::WriteSensorRegisterGuarded, {{32, 0x2000}, {79, 20}, {255, 0x1621}}, 0);
  }
  WriteSteps(*this, &CUsbDevice::WriteSensorRegisterGuarded, kAnalogueSettings, 30);
  return 1;
}

int CUsbDevice::InitSensorType5() noexcept {
  (void)WriteSensorRegister(13, 0);
  platform::SleepMs(100);
  LoadRegisterMap(RegisterMapType5());
  uint16_t chip = 0;
  uint16_t revisionWord = 0;
  (void)ReadSensorRegister(0, chip);
  (void)ReadSensorRegister(253, revisionWord);
  const int revision = (revisionWord >> 5) & 0x3F;
  {
    std::lock_guard lock(control_);
    model_.chipId = chip;
    model_.chipRevisionWord = revisionWord;
    model_.chipRevision = revision;
  }
  if (chip == 0x1801 && revision == 7) {
    for (const RegisterStep& step :
         std::initializer_list<RegisterStep>{{39, 11},   {62, 64},  {63, 4},  {64, 7},
                                             {66, 5},    {67, 1},   {68, 515}, {76, 16},
                                             {78, 8224}, {79, 20},  {81, 7},  {83, 7},
                                             {89, 7},    {90, 4},   {92, 1872}, {127, 65280}}) {
      {
        std::lock_guard lock(control_);
        model_.registerMap[step.reg].writable = 1;
      }
      (void)WriteSensorRegister(step.reg, step.value);
      platform::SleepMs(10);
    }
  }
  WriteSteps(*this, &CUsbDevice::WriteSensorRegister, {{43, 14}, {44, 14}, {45, 14}, {46, 14}, {53, 14}},
             10);
  return 1;
}

int CUsbDevice::InitSensorType6() noexcept {
  {
    std::lock_guard lock(control_);
    model_.setupFlagA = 0;
    model_.setupFlagB = 0;
  }
  (void)WriteSensorRegister(12, 1);
  platform::SleepMs(100);
  (void)WriteSensorRegister(12, 0);
  platform::SleepMs(1);
  LoadRegisterMap(RegisterMapType6());
  uint16_t chip = 0;
  (void)ReadSensorRegister(0, chip);
  {
    std::lock_guard lock(control_);
    model_.chipId = chip;
  }
  WriteChipSetupType6();
  WriteChipSetupType6();
  WriteChipSetupBType6(0);
  WriteChipSetupCType6(0);
  return 1;
}

uint16_t CUsbDevice::ChipId() const noexcept {
  std::lock_guard lock(control_);
  return model_.chipId;
}

// Register 175 of type 6 from the two setup flags: 2, plus 1 with the second
// flag, minus 2 without the first.
int CUsbDevice::SetupValueType6() const noexcept {
  std::lock_guard lock(control_);
  return 2 + (model_.setupFlagB != 0 ? 1 : 0) - (model_.setupFlagA == 0 ? 2 : 0);
}

int CUsbDevice::WriteChipSetupType6() noexcept {
  const SensorWriter write = &CUsbDevice::WriteSensorRegister;
  const uint16_t chip = ChipId();
  if (chip == 0x1300 || chip == 0x1310) {
    if (chip == 0x1300) {
      WriteSteps(*this, write, {{5, 100}}, 1);
    } else {
      WriteSteps(*this, write, {{5, 85}}, 1);
    }
    WriteSteps(*this, write,
               {{32, 17}, {44, 6},  {169, 2}, {71, 0x8081}, {72, 20}, {16, 31}, {112, 4},
                {10, 375}, {28, 3}, {49, 16}, {50, 13},     {51, 4},  {52, 4},  {54, 63}},
               1);
    if (chip == 0x1300) WriteSteps(*this, write, {{7, 836}}, 1);
  } else if (chip == 0x1311) {
    WriteSteps(*this, write, {{7, 904}, {21, 32562}}, 1);
    const int q = QueryBoardFlag();
    WriteSteps(*this, write,
               {{15, q != 0 ? 21 : 17}, {32, 465}, {112, 4}, {115, 759}, {194, 64}, {28, 2},
                {49, 31}, {50, 26}, {51, 18}, {175, SetupValueType6()}, {43, 3}, {16, 42}},
               1);
  } else if (chip == 0x1313) {
    const int q = QueryBoardFlag();
    WriteSteps(*this, write,
               {{7, 904}, {15, q != 0 ? 21 : 17}, {19, 11570}, {28, 2}, {49, 31}, {50, 26},
                {51, 18}, {175, SetupValueType6()}, {43, 3}, {16, 64}},
               1);
  }
  return 1;
}

int CUsbDevice::WriteChipSetupBType6(int flag) noexcept {
  const SensorWriter write = &CUsbDevice::WriteSensorRegister;
  const int q = QueryBoardFlag();
  const int m = flag == 1 ? 3 : 2;
  const uint16_t chip = ChipId();
  if (chip == 0x1311) {
    WriteSteps(*this, write,
               {{15, q != 0 ? 85 : 81}, {16, 28}, {21, 10290}, {28, m}, {43, 0}, {72, 0},
                {112, 4}, {115, 759}, {171, 0}, {191, 20}},
               1);
  } else if (chip == 0x1313) {
    WriteSteps(*this, write,
               {{15, q != 0 ? 85 : 81}, {16, 64}, {21, 32562}, {28, m}, {32, 469}, {43, 0},
                {72, 0}, {112, 4}, {115, 759}, {171, 0}, {191, 20}, {194, 2368}},
               1);
  }
  return 1;
}

int CUsbDevice::WriteChipSetupCType6(int flag) noexcept {
  const SensorWriter write = &CUsbDevice::WriteSensorRegister;
  const int q = QueryBoardFlag();
  const int m = flag == 1 ? 3 : 2;
  const uint16_t chip = ChipId();
  if (chip != 0x1311 && chip != 0x1313) return 1;
  WriteSteps(*this, write, {{15, q != 0 ? 21 : 17}, {21, 32562}}, 1);
  WriteSteps(*this, write, {{28, m}}, 0);  // no pause after it
  if (chip == 0x1313) WriteSteps(*this, write, {{32, 465}, {194, 2112}}, 1);
  return 1;
}

int CUsbDevice::QueryBoardFlag() noexcept {
  uint8_t answer = 0;
  if (QueryByte(kBoardFlagQuery, answer) == 0) return 0;
  const int flag = answer == 0 ? 1 : 0;
  std::lock_guard lock(control_);
  model_.type6Option = flag;
  return flag;
}

}  // namespace quvex
