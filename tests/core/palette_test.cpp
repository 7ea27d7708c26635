// The 360-colour palette and its channel function.
#include "core/palette.h"

#include <gtest/gtest.h>

#include <array>

#include "core/camera_object.h"
#include "tests/support/test_tables.h"

namespace quvex {
namespace {

struct Rgb {
  int index, red, green, blue;
};

Rgb Unpack(int index, int32_t entry) {
  return {index, entry & 0xFF, (entry >> 8) & 0xFF, (entry >> 16) & 0xFF};
}

TEST(Palette, KnownEntriesFromNearBlackToNearWhite) {
  Palette360 palette{};
  EXPECT_EQ(BuildPalette360(palette.data()), 1);
  const Rgb expected[] = {{0, 5, 0, 6},        {1, 9, 0, 10},    {59, 0, 0, 254},
                          {119, 0, 254, 254},  {179, 0, 254, 0}, {239, 254, 254, 0},
                          {299, 254, 0, 0},    {300, 255, 3, 7}, {358, 255, 247, 254},
                          {359, 255, 253, 255}};
  for (const Rgb& row : expected) {
    const Rgb got = Unpack(row.index, palette[static_cast<size_t>(row.index)]);
    EXPECT_EQ(got.red, row.red) << "index " << row.index;
    EXPECT_EQ(got.green, row.green) << "index " << row.index;
    EXPECT_EQ(got.blue, row.blue) << "index " << row.index;
  }
  for (int32_t entry : palette) EXPECT_EQ(entry & ~0xFFFFFF, 0);
}

TEST(Palette, TheCameraObjectBuildsItOnConstruction) {
  const BuildProfile profile = test::TestProfile(InterpolationVariant::Double, nullptr);
  const CQuvex camera(profile, nullptr);
  Palette360 expected{};
  BuildPalette360(expected.data());
  EXPECT_EQ(camera.Palette(), expected);
}

TEST(HueComponent, WrapsAtAFullTurnAndGivesM1ForNegativeHues) {
  EXPECT_EQ(HueComponent(10, 250, 390), HueComponent(10, 250, 30));
  EXPECT_EQ(HueComponent(10, 250, 720 + 200), HueComponent(10, 250, 200));
  EXPECT_EQ(HueComponent(10, 250, -300), 10);  // remainder -300, not 60
  EXPECT_EQ(HueComponent(10, 250, -360), 10);  // remainder 0: the start of the rise
}

TEST(HueComponent, ExtremeArgumentsStayBetweenM1AndM2) {
  const int low = -2000000000;
  const int high = 2000000000;
  for (int hue = 0; hue < 360; ++hue) {
    const int value = HueComponent(low, high, hue);
    EXPECT_GE(value, low) << hue;
    EXPECT_LE(value, high) << hue;
  }
}

}  // namespace
}  // namespace quvex
