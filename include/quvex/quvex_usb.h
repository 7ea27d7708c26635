/*
 * Quvex platform library (libquvex_platform.so): USB camera drivers.
 *
 * The libraries reach a USB camera through a device path "\\.\<prefix>-<n>"
 * (n = 0 to 7) and a synchronous exchange of buffers on numbered pipes. A host
 * provides the driver behind a prefix: it installs a table of functions, and
 * every open of a path with that prefix goes to it. Without a driver for the
 * prefix no camera is present. Galdris opens prefix "ZelmorX02", Hesperon
 * "ZelmorIR640A"; both look for their cameras at Quvex_Initialize, so the
 * driver is installed before. Install and remove from any thread.
 *
 * Driver rules (the libraries call the table from their own threads, several
 * at once):
 * - open(context, index) returns the driver's device for camera index, or
 *   null when no camera answers there.
 * - transfer(...) moves up to length bytes on pipe: pipe 0 carries data to the
 *   camera, pipes 1 and 2 carry data from it. It stores the bytes moved and
 *   returns 1, or returns 0 on failure. It must return within timeoutMs.
 * - cancel(context, device) makes every transfer on that device, in progress
 *   or started later, fail at once until the device is closed. It may be called
 *   from any thread while a transfer runs, and more than once.
 * - close(context, device) releases the device; no call on it follows.
 * After QuvexUsb_RemoveDriver returns, the library calls none of the table's
 * functions again: devices still open are cancelled and closed first.
 * A driver may remove itself from inside one of its own functions (a transfer
 * that notices an unplug, say), as long as it holds no lock there that its
 * cancel or close take: the removal then waits only for the calls of other
 * threads, and a device that the calling function works on is closed as soon
 * as that function has returned.
 */
#ifndef QUVEX_QUVEX_USB_H
#define QUVEX_QUVEX_USB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUVEX_USB_MAX_DEVICES 8
#define QUVEX_USB_PREFIX_MAX 63 /* characters of a device-name prefix */
#define QUVEX_USB_PACKET_SIZE 64

/* Pipes. */
#define QUVEX_USB_PIPE_COMMAND 0 /* command packets to the camera */
#define QUVEX_USB_PIPE_REPLY 1   /* 64-byte replies from the camera */
#define QUVEX_USB_PIPE_FRAME 2   /* frames from the camera */

/* Request codes (the direction follows the pipe, not the code). */
#define QUVEX_USB_IOCTL_IN_DIRECT 0x222051u
#define QUVEX_USB_IOCTL_OUT_DIRECT 0x22204Eu
#define QUVEX_USB_IOCTL_IN_DIRECT_ALT 0x2220A9u
#define QUVEX_USB_IOCTL_OUT_DIRECT_ALT 0x2220A6u

/* Command codes, byte 0 of a 64-byte packet on pipe 0. */
#define QUVEX_USB_CMD_CAPTURE 0x02        /* one frame follows on pipe 2 */
#define QUVEX_USB_CMD_WRITE_REGISTER 0x04 /* address hi, lo, value hi, lo */
#define QUVEX_USB_CMD_RESET 0x06
#define QUVEX_USB_CMD_TRANSFER_SIZE 0x09 /* samples per frame, 4 bytes LE */
#define QUVEX_USB_CMD_SAMPLE_WIDTH 0x0A  /* 0: 8-bit, 1: 16-bit samples */
#define QUVEX_USB_CMD_READ_REGISTER 0x0C /* two 64-byte replies on pipe 1 */
#define QUVEX_USB_CMD_QUERY 0x21         /* two 64-byte replies on pipe 1 */

/* The variant camera's commands and its sensor registers (command 0x25). */
#define QUVEX_USB_CMD_INIT 0x01            /* no data */
#define QUVEX_USB_CMD_READ_VALUE 0x05      /* selector; two 64-byte replies on pipe 1 */
#define QUVEX_USB_CMD_SENSOR_REGISTER 0x25 /* sensor register, value byte */
#define QUVEX_SENSOR_REG_SIZE 0            /* 0 to 3: samples per transfer, LSB first */
#define QUVEX_SENSOR_REG_CAPTURE_MODE 11   /* 0 or 1 */
#define QUVEX_SENSOR_REG_PIXEL_MODE 14     /* 13: 16-bit samples, 12: 8-bit */

typedef struct QuvexUsbDriver {
  void* context; /* passed to every function */
  void* (*open)(void* context, int index);
  int (*transfer)(void* context, void* device, uint32_t requestCode, uint32_t pipe,
                  void* buffer, uint32_t length, uint32_t* moved, uint32_t timeoutMs);
  void (*cancel)(void* context, void* device); /* may be null: nothing to cancel */
  void (*close)(void* context, void* device);
} QuvexUsbDriver;

#if defined(__GNUC__)
#define QUVEX_USB_API __attribute__((visibility("default")))
#else
#define QUVEX_USB_API
#endif

/* Installs the driver for prefix (1 to QUVEX_USB_PREFIX_MAX characters); the
 * table is copied. Returns 1, or 0 for a bad argument or when a driver is
 * already installed for that prefix. */
QUVEX_USB_API int QuvexUsb_InstallDriver(const char* prefix, const QuvexUsbDriver* driver);

/* Removes the driver of prefix; returns 1, or 0 when none was installed.
 * Transfers in progress are cancelled and their devices closed before it
 * returns (from inside a driver function: see the driver rules above). */
QUVEX_USB_API int QuvexUsb_RemoveDriver(const char* prefix);

#ifdef __cplusplus
}
#endif

#endif /* QUVEX_QUVEX_USB_H */
