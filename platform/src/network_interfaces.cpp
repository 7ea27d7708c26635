// The machine's Ethernet interfaces, up or down, in the order of their
// interface indexes, and the dispatch of an adapter name to an in-process
// port or live capture.
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "quvex_platform/packet_port.h"

namespace quvex::platform {

namespace detail {

std::vector<NetworkAdapter> EthernetInterfaces() {
  std::vector<NetworkAdapter> adapters;
  struct if_nameindex* names = if_nameindex();
  if (names == nullptr) return adapters;
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  for (const struct if_nameindex* i = names; probe >= 0 && i->if_index != 0; ++i) {
    ifreq request{};
    std::strncpy(request.ifr_name, i->if_name, IFNAMSIZ - 1);
    if (ioctl(probe, SIOCGIFHWADDR, &request) == 0 &&
        request.ifr_hwaddr.sa_family == ARPHRD_ETHER) {
      adapters.push_back({i->if_name, i->if_name});
    }
  }
  if (probe >= 0) close(probe);
  if_freenameindex(names);
  return adapters;
}

}  // namespace detail

std::vector<NetworkAdapter> ListNetworkAdapters(size_t max) {
  std::vector<NetworkAdapter> adapters = detail::InstalledPacketDrivers();
  for (NetworkAdapter& adapter : detail::EthernetInterfaces()) adapters.push_back(std::move(adapter));
  if (adapters.size() > max) adapters.resize(max);
  return adapters;
}

std::unique_ptr<PacketPort> OpenPacketPort(const std::string& name, std::string& error) {
  if (auto port = detail::OpenPacketDriver(name)) return port;
  for (const NetworkAdapter& adapter : detail::InstalledPacketDrivers()) {
    if (adapter.name == name) {
      error = "the in-process port " + name + " did not open";
      return nullptr;
    }
  }
  return detail::OpenLiveCapture(name, error);
}

}  // namespace quvex::platform
