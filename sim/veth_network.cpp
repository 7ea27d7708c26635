#include "sim/veth_network.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace quvex::sim {

namespace {

std::atomic<int> networkCount{0};

std::string MacText(const std::array<uint8_t, 6>& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

}  // namespace

bool VethNetwork::Permitted() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    const unsigned long long effective = std::strtoull(line.c_str() + 7, nullptr, 16);
    constexpr int kCapNetAdmin = 12;
    return (effective >> kCapNetAdmin & 1) != 0 && std::system("ip -V >/dev/null 2>&1") == 0;
  }
  return false;
}

VethNetwork::VethNetwork(const std::array<uint8_t, 6>& cameraMac) {
  // Names unique to this process and this network: qv<pid>h<n> and so on,
  // at most 15 characters.
  const std::string stem = "qv" + std::to_string(getpid() % 10000000);
  const std::string n = std::to_string(networkCount.fetch_add(1) % 10);
  hostNamespace_ = stem + "h" + n;
  cameraNamespace_ = stem + "c" + n;
  hostInterface_ = stem + "a" + n;
  cameraInterface_ = stem + "b" + n;
  ok_ = Run("ip netns add " + hostNamespace_) && Run("ip netns add " + cameraNamespace_) &&
        Run("ip link add " + hostInterface_ + " netns " + hostNamespace_ + " type veth peer name " +
            cameraInterface_ + " netns " + cameraNamespace_ + " address " + MacText(cameraMac)) &&
        Run("ip -n " + hostNamespace_ + " link set " + hostInterface_ + " up") &&
        Run("ip -n " + cameraNamespace_ + " link set " + cameraInterface_ + " up");
}

VethNetwork::~VethNetwork() {
  // Deleting the namespaces deletes the pair with them.
  std::system(("ip netns del " + hostNamespace_ + " >/dev/null 2>&1").c_str());
  std::system(("ip netns del " + cameraNamespace_ + " >/dev/null 2>&1").c_str());
}

bool VethNetwork::Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) == 0) return true;
  error_ = "failed: " + command;
  return false;
}

bool VethNetwork::RunIn(const std::string& name, const std::function<void()>& body) {
  bool entered = false;
  std::thread thread([&] {
    const int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    entered = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    if (entered) body();
  });
  thread.join();
  return entered;
}

}  // namespace quvex::sim
