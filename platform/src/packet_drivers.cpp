// The registry of in-process packet ports. Every call into a driver is
// counted, so that removing a driver returns only when no call runs, and
// closes the ports still open; their owners then read failures.
#include <sys/time.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "quvex/quvex_packet.h"
#include "quvex_platform/packet_port.h"

namespace quvex::platform {

namespace {

struct DriverEntry;

struct OpenPort {
  void* port = nullptr;
  bool open = true;
};

struct DriverEntry {
  DriverEntry(std::string n, std::string d, const QuvexPacketDriver& t)
      : name(std::move(n)), description(std::move(d)), table(t) {}
  const std::string name;
  const std::string description;
  const QuvexPacketDriver table;
  std::mutex mutex;
  std::condition_variable idle;
  int calls = 0;
  bool removed = false;
  std::vector<std::shared_ptr<OpenPort>> ports;

  // Runs call with the driver unless it was removed or the port closed.
  template <class Call>
  bool Enter(const OpenPort& port, Call&& call) {
    {
      std::lock_guard lock(mutex);
      if (removed || !port.open) return false;
      ++calls;
    }
    call();
    {
      std::lock_guard lock(mutex);
      --calls;
    }
    idle.notify_all();
    return true;
  }
};

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<DriverEntry>> drivers;  // in the order installed
};

Registry& Drivers() {
  static Registry* registry = new Registry;  // outlives every static user
  return *registry;
}

std::shared_ptr<DriverEntry> Find(std::string_view name) {
  Registry& registry = Drivers();
  std::lock_guard lock(registry.mutex);
  for (const auto& entry : registry.drivers) {
    if (entry->name == name) return entry;
  }
  return nullptr;
}

class DriverPort final : public PacketPort {
 public:
  DriverPort(std::shared_ptr<DriverEntry> entry, std::shared_ptr<OpenPort> port)
      : entry_(std::move(entry)), port_(std::move(port)) {}
  ~DriverPort() override {
    DriverEntry& entry = *entry_;
    std::unique_lock lock(entry.mutex);
    entry.idle.wait(lock, [&] { return entry.calls == 0; });
    if (!port_->open) return;  // the driver's removal closed it
    port_->open = false;
    std::erase(entry.ports, port_);
    entry.table.close(entry.table.context, port_->port);
  }

  PacketRead Read(ReceivedPacket& packet, uint32_t waitMs) override {
    int result = -1;
    uint32_t length = 0;
    int64_t seconds = 0;
    int32_t microseconds = 0;
    const bool entered = entry_->Enter(*port_, [&] {
      result = entry_->table.receive(entry_->table.context, port_->port, buffer_, sizeof buffer_,
                                     &length, &seconds, &microseconds, waitMs);
    });
    if (!entered || result < 0) return PacketRead::Failed;
    if (result == 0) return PacketRead::Quiet;
    packet = {buffer_, length, std::min<uint32_t>(length, sizeof buffer_),
              {seconds, microseconds}};
    return PacketRead::Packet;
  }

  bool Send(const uint8_t* frame, size_t length) override {
    int sent = 0;
    entry_->Enter(*port_, [&] {
      sent = entry_->table.send(entry_->table.context, port_->port, frame,
                                static_cast<uint32_t>(length));
    });
    return sent == 1;
  }

 private:
  std::shared_ptr<DriverEntry> entry_;
  std::shared_ptr<OpenPort> port_;
  uint8_t buffer_[kMaxPacketBytes];
};

}  // namespace

PacketTime GetTimeOfDay() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return {static_cast<int64_t>(now.tv_sec), static_cast<int32_t>(now.tv_usec)};
}

namespace detail {

std::vector<NetworkAdapter> InstalledPacketDrivers() {
  Registry& registry = Drivers();
  std::lock_guard lock(registry.mutex);
  std::vector<NetworkAdapter> adapters;
  for (const auto& entry : registry.drivers) adapters.push_back({entry->name, entry->description});
  return adapters;
}

std::unique_ptr<PacketPort> OpenPacketDriver(const std::string& name) {
  const std::shared_ptr<DriverEntry> entry = Find(name);
  if (!entry) return nullptr;
  auto port = std::make_shared<OpenPort>();
  if (!entry->Enter(*port, [&] { port->port = entry->table.open(entry->table.context); })) {
    return nullptr;
  }
  if (port->port == nullptr) return nullptr;
  std::lock_guard lock(entry->mutex);
  if (entry->removed) {  // removed meanwhile: close what it opened
    entry->table.close(entry->table.context, port->port);
    return nullptr;
  }
  entry->ports.push_back(port);
  return std::make_unique<DriverPort>(entry, port);
}

}  // namespace detail

}  // namespace quvex::platform

using quvex::platform::DriverEntry;
using quvex::platform::Drivers;

extern "C" {

QUVEX_PACKET_API int QuvexPacket_InstallDriver(const char* adapterName, const char* description,
                                               const QuvexPacketDriver* driver) {
  if (adapterName == nullptr || driver == nullptr || driver->open == nullptr ||
      driver->receive == nullptr || driver->send == nullptr || driver->close == nullptr) {
    return 0;
  }
  const size_t length = strnlen(adapterName, QUVEX_PACKET_NAME_MAX + 1);
  if (length == 0 || length > QUVEX_PACKET_NAME_MAX) return 0;
  try {
    std::string text = description != nullptr ? description : adapterName;
    text.resize(std::min<size_t>(text.size(), QUVEX_PACKET_NAME_MAX));
    auto entry = std::make_shared<DriverEntry>(std::string(adapterName, length), text, *driver);
    auto& registry = Drivers();
    std::lock_guard lock(registry.mutex);
    for (const auto& other : registry.drivers) {
      if (other->name == entry->name) return 0;
    }
    registry.drivers.push_back(std::move(entry));
    return 1;
  } catch (...) {
    return 0;
  }
}

QUVEX_PACKET_API int QuvexPacket_RemoveDriver(const char* adapterName) {
  if (adapterName == nullptr) return 0;
  std::shared_ptr<DriverEntry> entry;
  {
    auto& registry = Drivers();
    std::lock_guard lock(registry.mutex);
    const auto found = std::find_if(registry.drivers.begin(), registry.drivers.end(),
                                    [&](const auto& e) { return e->name == adapterName; });
    if (found == registry.drivers.end()) return 0;
    entry = *found;
    registry.drivers.erase(found);
  }
  std::unique_lock lock(entry->mutex);
  entry->removed = true;
  entry->idle.wait(lock, [&] { return entry->calls == 0; });
  for (const auto& port : entry->ports) {
    port->open = false;
    entry->table.close(entry->table.context, port->port);
  }
  entry->ports.clear();
  return 1;
}

}  // extern "C"
