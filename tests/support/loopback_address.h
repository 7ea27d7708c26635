// Loopback addresses of a test's own for the simulated LAN cameras.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>

namespace quvex::test {

// The bytes of 127.p.q.index, where p.q comes from the process id: every test
// starts its simulated camera on an address of its own, so that tests running
// at the same time, in this process or in others, never meet.
inline std::array<uint8_t, 4> LoopbackBytes(int index) {
  const auto pid = static_cast<uint32_t>(getpid());
  return {127, static_cast<uint8_t>(pid >> 8), static_cast<uint8_t>(pid),
          static_cast<uint8_t>(index)};
}

inline std::string LoopbackAddress(int index) {
  const auto b = LoopbackBytes(index);
  return "127." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace quvex::test
