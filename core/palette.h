// The 360-colour false-colour palette: entry k holds red in bits 0-7, green in
// bits 8-15 and blue in bits 16-23.
#pragma once

#include <array>
#include <cstdint>

namespace quvex {

using Palette360 = std::array<int32_t, 360>;

// One colour channel of a lightness/saturation pair at a hue in degrees.
int HueComponent(int m1, int m2, int hue);
// Fills the 360 entries; returns 1.
int BuildPalette360(int32_t* entries);

}  // namespace quvex
