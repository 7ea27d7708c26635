// The cameras' internal temperature, as the LAN camera and the variant USB
// camera report it.
#include "core/sensor_temperature.h"

#include <gtest/gtest.h>

namespace quvex::test {
namespace {

TEST(SensorTemperature, InternalTemperatureIsNineBitsOfHalfDegrees) {
  EXPECT_EQ(TemperatureFromSensor(0x1900), 25.0f);
  EXPECT_EQ(TemperatureFromSensor(0xFF80), -0.5f);
  EXPECT_EQ(TemperatureFromSensor(0x8000), -128.0f);
  EXPECT_EQ(TemperatureFromSensor(0x7F80), 127.5f);
  EXPECT_EQ(TemperatureFromSensor(0x0000), 0.0f);
  EXPECT_EQ(TemperatureFromSensor(0x197F), 25.0f);  // the lowest seven bits never matter
  EXPECT_EQ(TemperatureFromSensor(0xFFFF), -0.5f);
}

}  // namespace
}  // namespace quvex::test
