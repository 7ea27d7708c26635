// The libusb driver where no camera is attached: arguments, installation and
// the absence of a camera.
#include <gtest/gtest.h>

#include <string>

#include "quvex/quvex_libusb.h"
#include "quvex_platform/usb.h"

namespace {

using quvex::platform::UsbHandle;

// Ids that no device answers to here: the test machines have no camera.
constexpr int kVendor = 0xFFFE;
constexpr int kProduct = 0xFFFE;

TEST(LibusbDriver, RefusesBadArguments) {
  const std::string tooLong(QUVEX_USB_PREFIX_MAX + 1, 'x');
  struct Case {
    const char* name;
    const char* prefix;
    int vendor;
    int product;
  };
  const Case cases[] = {
      {"null prefix", nullptr, kVendor, kProduct},
      {"empty prefix", "", kVendor, kProduct},
      {"prefix too long", tooLong.c_str(), kVendor, kProduct},
      {"vendor 0", "LibusbBad", 0, kProduct},
      {"vendor negative", "LibusbBad", -1, kProduct},
      {"vendor above 16 bits", "LibusbBad", 0x10000, kProduct},
      {"product negative", "LibusbBad", kVendor, -1},
      {"product above 16 bits", "LibusbBad", kVendor, 0x10000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QuvexUsb_InstallLibusbDriver(c.prefix, c.vendor, c.product), 0) << c.name;
  }
  // Nothing of the refused installs stayed behind.
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver("LibusbBad"), 0);
  EXPECT_EQ(QuvexUsb_RemoveDriver("LibusbBad"), 0);
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver(nullptr), 0);
}

TEST(LibusbDriver, NoMatchingDeviceMeansNoCamera) {
  if (QuvexUsb_InstallLibusbDriver("LibusbNone", kVendor, kProduct) != 1) {
    GTEST_SKIP() << "libusb cannot start here";
  }
  // One driver per prefix, whichever kind.
  EXPECT_EQ(QuvexUsb_InstallLibusbDriver("LibusbNone", kVendor, 0), 0);
  for (int index = 0; index < QUVEX_USB_MAX_DEVICES; ++index) {
    const std::string path = "\\\\.\\LibusbNone-" + std::to_string(index);
    EXPECT_FALSE(UsbHandle::Open(path.c_str())) << path;
  }
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver("LibusbNone"), 1);
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver("LibusbNone"), 0);
  EXPECT_FALSE(UsbHandle::Open("\\\\.\\LibusbNone-0"));
  // The prefix is free again; a driver a host removed the generic way is
  // still released by its own remove.
  ASSERT_EQ(QuvexUsb_InstallLibusbDriver("LibusbNone", kVendor, kProduct), 1);
  EXPECT_EQ(QuvexUsb_RemoveDriver("LibusbNone"), 1);
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver("LibusbNone"), 1);
  ASSERT_EQ(QuvexUsb_InstallLibusbDriver("LibusbNone", kVendor, kProduct), 1);
  EXPECT_EQ(QuvexUsb_RemoveLibusbDriver("LibusbNone"), 1);
}

}  // namespace
