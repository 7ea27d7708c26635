// The false-colour palette: a lightness ramp over a hue circle at full
// saturation, dark purple at index 0 through blue, green, yellow and red to
// near white at index 359.
#include "core/palette.h"

#include <algorithm>

namespace quvex {

int HueComponent(int m1, int m2, int hue) {
  hue %= 360;
  if (hue < 0) return m1;
  // 64-bit products: the result lies between m1 and m2, the product may not.
  const int64_t span = static_cast<int64_t>(m2) - m1;
  if (hue < 60) return static_cast<int>(m1 + span * hue / 60);
  if (hue < 180) return m2;
  if (hue < 240) return static_cast<int>(m1 + span * (240 - hue) / 60);
  return m1;
}

int BuildPalette360(int32_t* entries) {
  // n = 38100 - 127 i drives the lightness: 254 falling to 129 over the first
  // 60 steps, 127 in the middle, 125 falling to 3 over the last 59.
  for (int i = 0, n = 38100; n > -7620; ++i, n -= 127) {
    int lightness = 127;
    if (i < 60) lightness = (n - 30480) / 60 + 127;
    if (i > 300) lightness += n / 60;
    const int m2 =
        lightness < 128 ? lightness * 510 / 255 : lightness - lightness * 255 / 255 + 255;
    const int m1 = 2 * lightness - m2;
    const int red = std::clamp(HueComponent(m1, m2, i + 420), 0, 255);
    const int green = std::clamp(HueComponent(m1, m2, i + 300), 0, 255);
    const int blue = std::clamp(HueComponent(m1, m2, i + 180), 0, 255);
    entries[359 - i] = red + green * 256 + blue * 65536;
  }
  return 1;
}

}  // namespace quvex
