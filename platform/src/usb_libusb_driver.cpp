// The USB camera driver over libusb-1.0 (quvex/quvex_libusb.h). Each device
// path the library opens is an OpenPath on a Camera: one libusb handle per
// physical device with its first interface claimed, shared by every path
// open on it (a second claim of the interface would be refused). Transfers
// are asynchronous libusb bulk transfers that the calling thread waits for
// by handling libusb's events, so that a cancel from another thread ends
// them at once.
#include <libusb-1.0/libusb.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "quvex/quvex_libusb.h"

namespace {

// A transfer that libusb has not ended this long after its own time-out is
// cancelled, so that no caller waits forever.
constexpr auto kCompletionGrace = std::chrono::seconds(1);
constexpr int kEventSliceMs = 100;

struct Camera {
  Camera(libusb_device_handle* h, int number, std::vector<uint8_t> addresses)
      : handle(h), interfaceNumber(number), endpoints(std::move(addresses)) {}
  ~Camera() {
    libusb_release_interface(handle, interfaceNumber);
    libusb_close(handle);
  }
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  libusb_device_handle* const handle;
  const int interfaceNumber;
  const std::vector<uint8_t> endpoints;  // addresses, in descriptor order
};

struct OpenPath {
  explicit OpenPath(std::shared_ptr<Camera> c) : camera(std::move(c)) {}
  const std::shared_ptr<Camera> camera;
  std::mutex mutex;
  bool cancelled = false;
  std::vector<libusb_transfer*> active;  // submitted and not yet ended
};

// Where a device sits: bus number, then the ports from the root hub (port
// numbers start at 1, so the zeros after a shorter path sort it first).
using BusPosition = std::array<uint8_t, 8>;

BusPosition PositionOf(libusb_device* device) {
  BusPosition position{};
  position[0] = libusb_get_bus_number(device);
  libusb_get_port_numbers(device, position.data() + 1, static_cast<int>(position.size() - 1));
  return position;
}

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) {
  *static_cast<int*>(transfer->user_data) = 1;
}

class LibusbDriver {
 public:
  static std::unique_ptr<LibusbDriver> Create(uint16_t vendor, uint16_t product) {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return nullptr;
    return std::unique_ptr<LibusbDriver>(new LibusbDriver(context, vendor, product));
  }
  ~LibusbDriver() { libusb_exit(context_); }
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  QuvexUsbDriver Table() {
    return {this, &OpenThunk, &TransferThunk, &CancelThunk, &CloseThunk};
  }

 private:
  LibusbDriver(libusb_context* context, uint16_t vendor, uint16_t product)
      : context_(context), vendor_(vendor), product_(product) {}

  static void* OpenThunk(void* context, int index) {
    try {
      return static_cast<LibusbDriver*>(context)->Open(index);
    } catch (...) {
      return nullptr;
    }
  }
  static int TransferThunk(void* context, void* device, uint32_t, uint32_t pipe, void* buffer,
                           uint32_t length, uint32_t* moved, uint32_t timeoutMs) {
    uint32_t count = 0;
    bool ok = false;
    try {
      ok = static_cast<LibusbDriver*>(context)->Transfer(*static_cast<OpenPath*>(device), pipe,
                                                         static_cast<uint8_t*>(buffer), length,
                                                         count, timeoutMs);
    } catch (...) {
      ok = false;
    }
    if (moved != nullptr) *moved = count;
    return ok ? 1 : 0;
  }
  static void CancelThunk(void*, void* device) {
    try {
      Cancel(*static_cast<OpenPath*>(device));
    } catch (...) {
    }
  }
  static void CloseThunk(void* context, void* device) {
    try {
      static_cast<LibusbDriver*>(context)->Close(static_cast<OpenPath*>(device));
    } catch (...) {
    }
  }

  OpenPath* Open(int index);
  std::shared_ptr<Camera> OpenCamera(libusb_device* device);
  bool Transfer(OpenPath& path, uint32_t pipe, uint8_t* buffer, uint32_t length, uint32_t& moved,
                uint32_t timeoutMs);
  static void Cancel(OpenPath& path);
  void Close(OpenPath* path);

  libusb_context* const context_;
  const uint16_t vendor_;
  const uint16_t product_;
  std::mutex mutex_;  // opens and closes
  std::map<BusPosition, std::weak_ptr<Camera>> cameras_;
};

OpenPath* LibusbDriver::Open(int index) {
  std::lock_guard lock(mutex_);
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  if (count < 0) return nullptr;
  std::vector<std::pair<BusPosition, libusb_device*>> matching;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
        descriptor.idVendor == vendor_ && descriptor.idProduct == product_) {
      matching.emplace_back(PositionOf(list[i]), list[i]);
    }
  }
  std::sort(matching.begin(), matching.end());
  OpenPath* path = nullptr;
  if (index >= 0 && static_cast<size_t>(index) < matching.size()) {
    if (std::shared_ptr<Camera> camera = OpenCamera(matching[static_cast<size_t>(index)].second)) {
      path = new (std::nothrow) OpenPath(std::move(camera));
    }
  }
  libusb_free_device_list(list, 1);
  return path;
}

std::shared_ptr<Camera> LibusbDriver::OpenCamera(libusb_device* device) {
  const BusPosition position = PositionOf(device);
  if (const auto found = cameras_.find(position); found != cameras_.end()) {
    if (std::shared_ptr<Camera> open = found->second.lock()) return open;
  }

  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0) return nullptr;
  int interfaceNumber = -1;
  std::vector<uint8_t> endpoints;
  if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
    const libusb_interface_descriptor& first = config->interface[0].altsetting[0];
    interfaceNumber = first.bInterfaceNumber;
    for (int e = 0; e < first.bNumEndpoints; ++e) endpoints.push_back(first.endpoint[e].bEndpointAddress);
  }
  libusb_free_config_descriptor(config);
  if (interfaceNumber < 0) return nullptr;

  libusb_device_handle* handle = nullptr;
  if (libusb_open(device, &handle) != 0) return nullptr;
  libusb_set_auto_detach_kernel_driver(handle, 1);  // not supported everywhere: then claim decides
  if (libusb_claim_interface(handle, interfaceNumber) != 0) {
    libusb_close(handle);
    return nullptr;
  }
  std::shared_ptr<Camera> camera;
  try {
    camera = std::make_shared<Camera>(handle, interfaceNumber, std::move(endpoints));
  } catch (...) {
    libusb_release_interface(handle, interfaceNumber);
    libusb_close(handle);
    throw;
  }
  cameras_[position] = camera;
  return camera;
}

bool LibusbDriver::Transfer(OpenPath& path, uint32_t pipe, uint8_t* buffer, uint32_t length,
                            uint32_t& moved, uint32_t timeoutMs) {
  const Camera& camera = *path.camera;
  if (buffer == nullptr || pipe >= camera.endpoints.size() || length > INT_MAX) return false;
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (transfer == nullptr) return false;
  int completed = 0;
  // libusb reads a time-out of 0 as none at all.
  const unsigned int timeout = std::max<uint32_t>(timeoutMs, 1);
  libusb_fill_bulk_transfer(transfer, camera.handle, camera.endpoints[pipe], buffer,
                            static_cast<int>(length), &MarkCompleted, &completed, timeout);
  {
    std::lock_guard lock(path.mutex);
    if (path.cancelled || libusb_submit_transfer(transfer) != 0) {
      libusb_free_transfer(transfer);
      return false;
    }
    path.active.push_back(transfer);
  }
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout) +
                      kCompletionGrace;
  bool cancelledHere = false;
  while (completed == 0) {
    timeval slice{0, kEventSliceMs * 1000};
    libusb_handle_events_timeout_completed(context_, &slice, &completed);
    if (completed == 0 && !cancelledHere && std::chrono::steady_clock::now() > giveUp) {
      std::lock_guard lock(path.mutex);
      libusb_cancel_transfer(transfer);
      cancelledHere = true;
    }
  }
  {
    std::lock_guard lock(path.mutex);
    std::erase(path.active, transfer);
  }
  const bool ok = transfer->status == LIBUSB_TRANSFER_COMPLETED;
  moved = static_cast<uint32_t>(std::max(transfer->actual_length, 0));
  libusb_free_transfer(transfer);
  return ok;
}

void LibusbDriver::Cancel(OpenPath& path) {
  std::lock_guard lock(path.mutex);
  path.cancelled = true;
  for (libusb_transfer* transfer : path.active) libusb_cancel_transfer(transfer);
}

void LibusbDriver::Close(OpenPath* path) {
  // Under the lock: a camera released here is closed before another open
  // claims it again.
  std::lock_guard lock(mutex_);
  delete path;
  std::erase_if(cameras_, [](const auto& entry) { return entry.second.expired(); });
}

struct Installed {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<LibusbDriver>, std::less<>> drivers;
};

Installed& InstalledDrivers() {
  static Installed* installed = new Installed;  // outlives every static user
  return *installed;
}

}  // namespace

extern "C" {

QUVEX_USB_API int QuvexUsb_InstallLibusbDriver(const char* prefix, int vendorId, int productId) {
  if (prefix == nullptr || vendorId < 1 || vendorId > 0xFFFF || productId < 0 ||
      productId > 0xFFFF) {
    return 0;
  }
  try {
    Installed& installed = InstalledDrivers();
    std::lock_guard lock(installed.mutex);
    const auto [slot, fresh] = installed.drivers.try_emplace(prefix);
    if (!fresh) return 0;
    slot->second =
        LibusbDriver::Create(static_cast<uint16_t>(vendorId), static_cast<uint16_t>(productId));
    const QuvexUsbDriver table = slot->second ? slot->second->Table() : QuvexUsbDriver{};
    if (!slot->second || QuvexUsb_InstallDriver(prefix, &table) != 1) {
      installed.drivers.erase(slot);
      return 0;
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

QUVEX_USB_API int QuvexUsb_RemoveLibusbDriver(const char* prefix) {
  if (prefix == nullptr) return 0;
  try {
    Installed& installed = InstalledDrivers();
    std::lock_guard lock(installed.mutex);
    const auto found = installed.drivers.find(std::string_view(prefix));
    if (found == installed.drivers.end()) return 0;
    // Every open device is cancelled and closed before this returns.
    QuvexUsb_RemoveDriver(prefix);
    installed.drivers.erase(found);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
