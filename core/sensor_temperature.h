// The cameras' internal temperature, as the LAN camera and the variant USB
// camera both report it: a 9-bit two's-complement count of half degrees in the
// upper nine bits of a 16-bit sensor value.
#pragma once

#include <cstdint>

namespace quvex {

// Degrees Celsius of a 16-bit sensor value.
inline float TemperatureFromSensor(uint16_t value) {
  const unsigned halfDegrees = value >> 7;  // nine bits
  const int low = static_cast<int>(halfDegrees & 0xFF);
  return static_cast<float>((halfDegrees & 0x100) != 0 ? low - 256 : low) * 0.5f;
}

}  // namespace quvex
