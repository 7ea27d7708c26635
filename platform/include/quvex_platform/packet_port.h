// Network adapters and packet ports: the raw packets of one adapter in,
// raw Ethernet frames out. An adapter is an in-process port a host installed
// (quvex/quvex_packet.h) or one of the machine's Ethernet interfaces, opened
// for live capture with the filter "ip and udp".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quvex::platform {

// Seconds and microseconds since 1970-01-01 UTC.
struct PacketTime {
  int64_t seconds = 0;
  int32_t microseconds = 0;
};

// The system time, in the form packets are stamped with.
PacketTime GetTimeOfDay();

struct NetworkAdapter {
  std::string name;         // what OpenPacketPort takes
  std::string description;  // what a host is shown
};

// The installed in-process ports, then the Ethernet interfaces (up or down),
// in that order, at most max in all.
std::vector<NetworkAdapter> ListNetworkAdapters(size_t max);

struct ReceivedPacket {
  const uint8_t* data = nullptr;  // valid until the next Read
  uint32_t length = 0;            // length on the wire
  uint32_t captured = 0;          // bytes at data (at most kMaxPacketBytes)
  PacketTime time;
};

enum class PacketRead { Packet, Quiet, Failed };

class PacketPort {
 public:
  // The largest packet a port keeps whole.
  static constexpr uint32_t kMaxPacketBytes = 2048;

  virtual ~PacketPort() = default;
  // The next packet, or Quiet when none arrived within waitMs; Failed when
  // the adapter failed (it may have gone). Returns within about waitMs.
  virtual PacketRead Read(ReceivedPacket& packet, uint32_t waitMs) = 0;
  // Sends one raw frame; true when it went out.
  virtual bool Send(const uint8_t* frame, size_t length) = 0;
};

// Opens the adapter of that name; null with error set when it cannot be
// opened (no such adapter, or missing privileges for live capture).
std::unique_ptr<PacketPort> OpenPacketPort(const std::string& name, std::string& error);

namespace detail {
// Live capture on a network interface (pcap_port.cpp).
std::unique_ptr<PacketPort> OpenLiveCapture(const std::string& interfaceName, std::string& error);
// The Ethernet interfaces of this machine (network_interfaces.cpp).
std::vector<NetworkAdapter> EthernetInterfaces();
// The installed in-process ports (packet_drivers.cpp).
std::vector<NetworkAdapter> InstalledPacketDrivers();
std::unique_ptr<PacketPort> OpenPacketDriver(const std::string& name);
}  // namespace detail

}  // namespace quvex::platform
