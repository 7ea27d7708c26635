/*
 * Quvex platform library (libquvex_platform.so): what a host program needs of it.
 *
 * Notify windows: a host creates a window object and passes it to
 * Quvex_Initialize or Quvex_SetWindowHandle. The libraries post WM_QUVEX_FRAME
 * and WM_QUVEX_ERROR to it from their own threads; the host reads the messages
 * in the order they were posted, on any thread. Posting never blocks and never
 * runs host code, so a host may call back into a library from wherever it
 * reads its messages. A window is a queue of at most 100000 unread messages;
 * posts to a full one fail. Every function here may be called from any thread.
 *
 * Clock: the libraries read a wrapping 32-bit millisecond clock. Tests may
 * replace it with their own source.
 */
#ifndef QUVEX_QUVEX_WINDOW_H
#define QUVEX_QUVEX_WINDOW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An opaque window handle; a null handle means "no window". A handle stays
 * harmless after its window is destroyed: posting to it simply fails. */
typedef struct QuvexWindowTag* QuvexHwnd;

typedef struct QuvexMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
} QuvexMessage;

#define QUVEX_WAIT_INFINITE 0xFFFFFFFFu

/* A new, empty window; null when it cannot be made. */
QuvexHwnd QuvexWindow_Create(void);
/* Discards the window and its unread messages; a QuvexWindow_GetMessage
 * waiting on it returns 0. Release the camera objects that post to it first,
 * or point them elsewhere (their posts then fail harmlessly). */
void QuvexWindow_Destroy(QuvexHwnd window);

/* Takes the oldest message. Waits up to timeoutMs (0: do not wait,
 * QUVEX_WAIT_INFINITE: no limit). Returns 1 with *out filled, 0 on time-out,
 * for a null out or for a handle that is not a live window. A frame id or an
 * error code arrives in lParam: read it as (int)out->lParam. */
int QuvexWindow_GetMessage(QuvexHwnd window, QuvexMessage* out, uint32_t timeoutMs);

/* Number of messages waiting; 0 for a handle that is not a live window. */
int QuvexWindow_PendingCount(QuvexHwnd window);

/* Posts a message; returns 1, or 0 for a null or destroyed window or a full
 * queue. Never blocks on the reader. */
int QuvexWindow_Post(QuvexHwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam);

/* Replaces the millisecond clock of every library in the process (null
 * restores the system clock); for tests. */
typedef uint32_t (*QuvexClockSource)(void* context);
void QuvexPlatform_SetClock(QuvexClockSource source, void* context);
/* The clock the libraries read: milliseconds, wrapping at 2^32. */
uint32_t QuvexPlatform_TickCount(void);

#ifdef __cplusplus
}
#endif

#endif /* QUVEX_QUVEX_WINDOW_H */
