// The USB driver registry and device-path handles, over a scripted driver.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quvex/quvex_usb.h"
#include "quvex_platform/usb.h"

namespace {

using quvex::platform::UsbHandle;

// A driver whose cameras answer at chosen indexes; a transfer can be made to
// block until it is cancelled.
class ScriptedDriver {
 public:
  struct Device {
    int index;
    bool cancelled = false;
  };

  explicit ScriptedDriver(std::string prefix, std::set<int> answering = {0})
      : prefix_(std::move(prefix)), answering_(std::move(answering)) {
    const QuvexUsbDriver table{this, &Open, &Transfer, &Cancel, &Close};
    installed = QuvexUsb_InstallDriver(prefix_.c_str(), &table) == 1;
  }
  ~ScriptedDriver() {
    if (installed) QuvexUsb_RemoveDriver(prefix_.c_str());
  }

  bool WaitForBlockedTransfer() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(30), [this] { return blocked > 0; });
  }

  bool installed = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> opens;  // indexes asked for
  int transfers = 0, cancels = 0, closes = 0, blocked = 0;
  bool blockTransfers = false;
  bool endedByCancel = false;
  bool removeInTransfer = false;  // a transfer that notices an unplug removes the driver
  int removal = -1;               // what that removal returned
  int closesAtRemoval = -1;
  int64_t reportExtra = 0;  // bytes reported beyond the length
  uint32_t lastCode = 0, lastPipe = 0, lastLength = 0, lastTimeout = 0;

 private:
  static void* Open(void* context, int index) {
    auto* self = static_cast<ScriptedDriver*>(context);
    std::lock_guard lock(self->mutex);
    self->opens.push_back(index);
    return self->answering_.contains(index) ? new Device{index} : nullptr;
  }
  static int Transfer(void* context, void* device, uint32_t code, uint32_t pipe, void*,
                      uint32_t length, uint32_t* moved, uint32_t timeoutMs) {
    auto* self = static_cast<ScriptedDriver*>(context);
    auto* dev = static_cast<Device*>(device);
    std::unique_lock lock(self->mutex);
    if (self->removeInTransfer) {
      lock.unlock();
      const int removal = QuvexUsb_RemoveDriver(self->prefix_.c_str());
      lock.lock();
      self->removal = removal;
      self->closesAtRemoval = self->closes;
      self->installed = false;
      return 0;
    }
    ++self->transfers;
    self->lastCode = code;
    self->lastPipe = pipe;
    self->lastLength = length;
    self->lastTimeout = timeoutMs;
    if (self->blockTransfers) {
      ++self->blocked;
      self->changed.notify_all();
      self->endedByCancel = self->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                   [dev] { return dev->cancelled; });
      --self->blocked;
      return 0;
    }
    *moved = static_cast<uint32_t>(length + self->reportExtra);
    return dev->cancelled ? 0 : 1;
  }
  static void Cancel(void* context, void* device) {
    auto* self = static_cast<ScriptedDriver*>(context);
    {
      std::lock_guard lock(self->mutex);
      static_cast<Device*>(device)->cancelled = true;
      ++self->cancels;
    }
    self->changed.notify_all();
  }
  static void Close(void* context, void* device) {
    auto* self = static_cast<ScriptedDriver*>(context);
    std::lock_guard lock(self->mutex);
    ++self->closes;
    delete static_cast<Device*>(device);
  }

  std::string prefix_;
  std::set<int> answering_;
};

constexpr uint32_t kLongTimeout = 60000;

TEST(UsbDriverRegistry, InstallRulesAndRemoval) {
  const QuvexUsbDriver none{};
  EXPECT_EQ(QuvexUsb_InstallDriver("Cam", &none), 0);  // no functions
  EXPECT_EQ(QuvexUsb_InstallDriver("Cam", nullptr), 0);
  EXPECT_EQ(QuvexUsb_RemoveDriver("Cam"), 0);
  {
    ScriptedDriver first("Cam");
    ASSERT_TRUE(first.installed);
    ScriptedDriver second("Cam");
    EXPECT_FALSE(second.installed);  // one driver per prefix
    ScriptedDriver empty("");
    EXPECT_FALSE(empty.installed);
    ScriptedDriver longest(std::string(QUVEX_USB_PREFIX_MAX, 'p'));
    EXPECT_TRUE(longest.installed);
    ScriptedDriver tooLong(std::string(QUVEX_USB_PREFIX_MAX + 1, 'p'));
    EXPECT_FALSE(tooLong.installed);
  }
  ScriptedDriver again("Cam");  // removed with the first, so free again
  EXPECT_TRUE(again.installed);
}

TEST(UsbDriverRegistry, PathsReachTheDriverOfTheirPrefix) {
  EXPECT_FALSE(UsbHandle::Open("\\\\.\\Cam-0"));  // no driver: no camera
  ScriptedDriver driver("Cam", {0, 3, 7});
  ScriptedDriver hyphenated("Zel-mor", {2});
  EXPECT_TRUE(UsbHandle::Open("\\\\.\\Cam-0"));
  EXPECT_TRUE(UsbHandle::Open("\\\\.\\Cam-7"));
  EXPECT_FALSE(UsbHandle::Open("\\\\.\\Cam-1"));  // the driver refuses
  EXPECT_TRUE(UsbHandle::Open("\\\\.\\Zel-mor-2"));
  for (const char* bad : {"Cam-0", "\\\\.\\Cam-8", "\\\\.\\Cam-", "\\\\.\\-0", "\\\\.\\Cam-03",
                          "\\\\.\\Cam0", "\\\\.\\Other-0", "\\\\.\\cam-0"}) {
    EXPECT_FALSE(UsbHandle::Open(bad)) << bad;
  }
  EXPECT_FALSE(UsbHandle::Open(nullptr));
  std::lock_guard lock(driver.mutex);
  EXPECT_EQ(driver.opens, (std::vector<int>{0, 7, 1}));  // malformed paths never reach it
  EXPECT_EQ(driver.closes, 2);                            // temporaries closed their devices
}

TEST(UsbHandle, ControlPassesTheExchangeAndChecksTheCount) {
  ScriptedDriver driver("Cam");
  UsbHandle handle = UsbHandle::Open("\\\\.\\Cam-0");
  ASSERT_TRUE(handle);
  uint8_t buffer[64] = {};
  uint32_t moved = 99;
  EXPECT_TRUE(handle.Control(QUVEX_USB_IOCTL_IN_DIRECT, 2, buffer, 64, moved, 1234));
  EXPECT_EQ(moved, 64u);
  EXPECT_EQ(driver.lastCode, QUVEX_USB_IOCTL_IN_DIRECT);
  EXPECT_EQ(driver.lastPipe, 2u);
  EXPECT_EQ(driver.lastLength, 64u);
  EXPECT_EQ(driver.lastTimeout, 1234u);

  driver.reportExtra = 1;  // a driver claiming more than the buffer holds
  EXPECT_FALSE(handle.Control(QUVEX_USB_IOCTL_OUT_DIRECT, 1, buffer, 64, moved, 1000));
  EXPECT_EQ(moved, 64u);

  EXPECT_FALSE(UsbHandle().Control(QUVEX_USB_IOCTL_IN_DIRECT, 0, buffer, 64, moved, 1000));
}

TEST(UsbHandle, CancelEndsABlockedTransferAndEveryLaterOne) {
  ScriptedDriver driver("Cam");
  const UsbHandle handle = UsbHandle::Open("\\\\.\\Cam-0");
  driver.blockTransfers = true;
  bool result = true;
  std::thread transfer([&] {
    uint8_t buffer[16];
    uint32_t moved = 0;
    result = handle.Control(QUVEX_USB_IOCTL_IN_DIRECT, 2, buffer, 16, moved, kLongTimeout);
  });
  ASSERT_TRUE(driver.WaitForBlockedTransfer());
  handle.Cancel();
  transfer.join();
  EXPECT_FALSE(result);
  EXPECT_TRUE(driver.endedByCancel);

  const int before = driver.transfers;
  uint8_t buffer[16];
  uint32_t moved = 0;
  EXPECT_FALSE(handle.Control(QUVEX_USB_IOCTL_IN_DIRECT, 0, buffer, 16, moved, kLongTimeout));
  EXPECT_EQ(driver.transfers, before);  // refused without reaching the driver
  handle.Cancel();
  EXPECT_EQ(driver.cancels, 1);
}

TEST(UsbHandle, CopiesShareOneDeviceThatClosesOnce) {
  ScriptedDriver driver("Cam");
  UsbHandle handle = UsbHandle::Open("\\\\.\\Cam-0");
  {
    UsbHandle copy = handle;
    handle.Close();
    EXPECT_FALSE(handle);
    EXPECT_EQ(driver.closes, 1);
    uint8_t buffer[4];
    uint32_t moved = 0;
    EXPECT_FALSE(copy.Control(QUVEX_USB_IOCTL_IN_DIRECT, 0, buffer, 4, moved, 1000));
  }
  EXPECT_EQ(driver.closes, 1);
  { const UsbHandle dropped = UsbHandle::Open("\\\\.\\Cam-0"); }
  EXPECT_EQ(driver.closes, 2);  // the last copy going closes the device
}

TEST(UsbDriverRegistry, RemovalCancelsAndClosesWhatIsOpen) {
  auto driver = std::make_unique<ScriptedDriver>("Cam");
  UsbHandle busy = UsbHandle::Open("\\\\.\\Cam-0");
  UsbHandle idle = UsbHandle::Open("\\\\.\\Cam-0");
  driver->blockTransfers = true;
  bool result = true;
  std::thread transfer([&] {
    uint8_t buffer[16];
    uint32_t moved = 0;
    result = busy.Control(QUVEX_USB_IOCTL_IN_DIRECT, 2, buffer, 16, moved, kLongTimeout);
  });
  ASSERT_TRUE(driver->WaitForBlockedTransfer());
  EXPECT_EQ(QuvexUsb_RemoveDriver("Cam"), 1);  // returns once the transfer is over
  EXPECT_TRUE(driver->endedByCancel);
  EXPECT_EQ(driver->closes, 2);
  transfer.join();
  EXPECT_FALSE(result);

  const int transfers = driver->transfers;
  uint8_t buffer[16];
  uint32_t moved = 0;
  EXPECT_FALSE(idle.Control(QUVEX_USB_IOCTL_IN_DIRECT, 0, buffer, 16, moved, 1000));
  busy.Close();
  idle.Close();
  EXPECT_EQ(driver->transfers, transfers);
  EXPECT_EQ(driver->closes, 2);  // never twice
  EXPECT_FALSE(UsbHandle::Open("\\\\.\\Cam-0"));
  driver.reset();
}

TEST(UsbDriverRegistry, ADriverMayRemoveItselfFromInsideATransfer) {
  ScriptedDriver driver("Cam");
  UsbHandle unplugging = UsbHandle::Open("\\\\.\\Cam-0");
  UsbHandle other = UsbHandle::Open("\\\\.\\Cam-0");
  driver.removeInTransfer = true;
  uint8_t buffer[16];
  uint32_t moved = 0;
  EXPECT_FALSE(unplugging.Control(QUVEX_USB_IOCTL_IN_DIRECT, 2, buffer, 16, moved, kLongTimeout));
  EXPECT_EQ(driver.removal, 1);
  EXPECT_EQ(driver.closesAtRemoval, 1);  // the other device; the calling one once it returned
  EXPECT_EQ(driver.closes, 2);
  EXPECT_FALSE(other.Control(QUVEX_USB_IOCTL_IN_DIRECT, 2, buffer, 16, moved, kLongTimeout));
  unplugging.Close();
  other.Close();
  EXPECT_EQ(driver.closes, 2);
  EXPECT_FALSE(UsbHandle::Open("\\\\.\\Cam-0"));
}

}  // namespace
