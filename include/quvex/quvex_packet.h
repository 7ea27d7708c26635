/*
 * Quvex platform library (libquvex_platform.so): in-process packet ports.
 *
 * Dellisk reaches its camera through a network adapter: it receives raw
 * packets and sends raw Ethernet frames. Besides the machine's Ethernet
 * interfaces, a host may install an in-process port under an adapter name;
 * it is listed before the interfaces and opened instead of live capture.
 * Dellisk lists the adapters at Quvex_Initialize, so the port is installed
 * before. Install and remove from any thread.
 *
 * Driver rules (receive runs on the library's receive thread, send on that
 * thread and on the host's, at the same time):
 * - open(context) returns the driver's port, or null.
 * - receive(...) waits up to waitMs for the next packet that the adapter's
 *   capture filter ("ip and udp") would pass, copies at most capacity bytes
 *   of it into buffer, stores its whole length and its time stamp (seconds
 *   and microseconds since 1970) and returns 1; 0 when none came in time, -1
 *   on failure. It must return within waitMs.
 * - send(context, port, frame, length) transmits one raw frame; 1 sent, 0 not.
 * - close(context, port) releases the port; no call on it follows.
 * After QuvexPacket_RemoveDriver returns, the library calls none of the
 * table's functions again: calls in progress end first, open ports are closed.
 */
#ifndef QUVEX_QUVEX_PACKET_H
#define QUVEX_QUVEX_PACKET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUVEX_PACKET_NAME_MAX 63 /* characters of an adapter name or description */

typedef struct QuvexPacketDriver {
  void* context; /* passed to every function */
  void* (*open)(void* context);
  int (*receive)(void* context, void* port, uint8_t* buffer, uint32_t capacity, uint32_t* length,
                 int64_t* seconds, int32_t* microseconds, uint32_t waitMs);
  int (*send)(void* context, void* port, const uint8_t* frame, uint32_t length);
  void (*close)(void* context, void* port);
} QuvexPacketDriver;

#if defined(__GNUC__)
#define QUVEX_PACKET_API __attribute__((visibility("default")))
#else
#define QUVEX_PACKET_API
#endif

/* Installs the driver as the adapter name (1 to QUVEX_PACKET_NAME_MAX
 * characters) with its description; the table is copied. Returns 1, or 0 for
 * a bad argument or a name already installed. */
QUVEX_PACKET_API int QuvexPacket_InstallDriver(const char* adapterName, const char* description,
                                               const QuvexPacketDriver* driver);

/* Removes the adapter; returns 1, or 0 when none was installed under name. */
QUVEX_PACKET_API int QuvexPacket_RemoveDriver(const char* adapterName);

#ifdef __cplusplus
}
#endif

#endif /* QUVEX_QUVEX_PACKET_H */
