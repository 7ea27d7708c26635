/*
 * Quvex platform library (libquvex_platform.so): a USB camera driver over
 * libusb-1.0, for hosts with a real camera.
 *
 * A host installs it for the device-name prefix its library opens (see
 * quvex_usb.h) and the camera's USB vendor and product ids, before it
 * initialises a camera object:
 * - camera index n is the n-th attached device with those ids in bus order
 *   (bus number, then the path of ports to it);
 * - pipe i is the i-th endpoint of the device's first interface, in the order
 *   of its descriptor;
 * - every transfer is a bulk transfer on that endpoint with the library's
 *   time-out; a cancel ends the transfers in progress at once;
 * - a device that is unplugged fails its transfers.
 * The device is opened and its first interface claimed (a kernel driver
 * bound to it is detached) while the library holds a path to it open; the
 * user running the host needs write access to the device.
 */
#ifndef QUVEX_QUVEX_LIBUSB_H
#define QUVEX_QUVEX_LIBUSB_H

#include "quvex/quvex_usb.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Installs the driver for prefix (as QuvexUsb_InstallDriver) serving the
 * devices with vendorId (1 to 0xFFFF) and productId (0 to 0xFFFF). Returns 1,
 * or 0 for a bad argument, when libusb cannot start, or when a driver is
 * already installed for that prefix. */
QUVEX_USB_API int QuvexUsb_InstallLibusbDriver(const char* prefix, int vendorId, int productId);

/* Removes the driver installed by QuvexUsb_InstallLibusbDriver for prefix
 * (devices still open are cancelled and closed first) and releases libusb;
 * after a QuvexUsb_RemoveDriver of the prefix it only releases libusb.
 * Returns 1, or 0 when none was installed. */
QUVEX_USB_API int QuvexUsb_RemoveLibusbDriver(const char* prefix);

#ifdef __cplusplus
}
#endif

#endif /* QUVEX_QUVEX_LIBUSB_H */
