// Loopback addresses of a test's own for the simulated LAN cameras, and a
// camera started on the next of them.
#pragma once

#include <arpa/inet.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace quvex::test {

// The next address nobody in this process was given: 127.p.q.x, where p.q
// comes from the process id and x counts the addresses handed out, so that
// tests running at the same time, in this process or in others, never meet.
// A test that needs two cameras asks twice.
inline std::string NextLoopbackAddress() {
  static std::atomic<uint32_t> handedOut{0};
  const auto pid = static_cast<uint32_t>(getpid());
  const uint32_t host = 1 + handedOut++ % 254;  // a process needs far fewer
  std::string address = "127";
  for (const uint32_t part : {pid >> 8 & 0xFF, pid & 0xFF, host}) {
    address += '.';
    address += std::to_string(part);
  }
  return address;
}

// The four bytes of a dotted address, in the order Quvex_SetIpAddress takes them.
inline std::array<uint8_t, 4> AddressBytes(const std::string& dotted) {
  in_addr address{};
  inet_pton(AF_INET, dotted.c_str(), &address);
  std::array<uint8_t, 4> bytes{};
  std::memcpy(bytes.data(), &address.s_addr, bytes.size());
  return bytes;
}

// A simulated camera listening on the next address; the test fails at once
// when another socket holds it.
template <typename Camera>
std::unique_ptr<Camera> CameraOnNextAddress() {
  const std::string address = NextLoopbackAddress();
  auto camera = std::make_unique<Camera>(address);
  if (!camera->Listening()) throw std::runtime_error("cannot listen on " + address);
  return camera;
}

}  // namespace quvex::test
