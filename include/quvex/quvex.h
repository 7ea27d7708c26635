/*
 * Quvex SDK: the exported interface of the five camera libraries
 * (libGaldris.so, libHesperon.so, libCorvane.so, libDellisk.so, libFenwold.so).
 *
 * Use: create a notify window (quvex_window.h); Quvex_Initialize creates a
 * camera object and returns its handle; make the camera reachable (Corvane,
 * Fenwold: Quvex_SetIpAddress; Dellisk: Quvex_SetDeviceNumber, then
 * Quvex_ConnectToCamera; the USB libraries find theirs themselves);
 * Quvex_Preview starts capture; read WM_QUVEX_FRAME messages and fetch each
 * frame by its id (Quvex_GetRaw, Quvex_GetColor, Quvex_GetTemperature);
 * finish with Quvex_Close and Quvex_Release.
 *
 * Results: every function except Quvex_GetDllVersion takes the handle first
 * and returns 0 (0.0) for a handle that is not registered, pushing nothing
 * (there is no object to hold an error). "1, or 0 with error n" below means:
 * 1 on success; on failure 0, with the error codes named pushed on the
 * object's error stack and posted as WM_QUVEX_ERROR.
 *
 * Text: the W functions take UTF-16 (char16_t), the A functions UTF-8.
 *
 * Threads: every function may be called from any thread, also from several
 * at once on one handle; the library orders what must not overlap (the calls
 * that start, stop or change capture wait for each other), the same way in
 * all five libraries. No function calls back into the host: the library's
 * threads only post messages. Calls that talk to the camera may wait for it,
 * up to the transport's time-out (3000 ms on LAN and GigE): Quvex_Preview,
 * Quvex_OneShot, Quvex_Nuc, setting parameters 15 and 16, Quvex_SetIpAddress,
 * Quvex_ConnectToCamera, Quvex_GetInternalTemperature. Quvex_Close,
 * Quvex_Release and Quvex_SetIpAddress end a one-shot in progress on another
 * thread: that Quvex_OneShot returns 0 without an error. A call in progress
 * when another thread releases its handle completes; later calls with the
 * handle return 0.
 */
#ifndef QUVEX_QUVEX_H
#define QUVEX_QUVEX_H

#include <stdint.h>
#include <uchar.h>

#include "quvex/quvex_window.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUVEX_BUILDING_LIBRARY)
#define QUVEX_API __attribute__((visibility("default")))
#else
#define QUVEX_API
#endif

/*
 * Messages posted to the notify window, wParam always 0, in the order of the
 * events. The library posts them from its own threads; the host reads them
 * on any thread with QuvexWindow_GetMessage.
 * - WM_QUVEX_FRAME, lParam (int)frame id: a new frame is in the ring, as raw
 *   data and colour, and already written to an open recording. One per frame
 *   while capture runs; none while paused (Quvex_Pause), none for the frames
 *   dropped after Quvex_Nuc (parameter 10), none for Quvex_OneShot.
 * - WM_QUVEX_ERROR, lParam error code: one for every code pushed on the error
 *   stack, by the call that failed or by capture (errors 3, 4, 9).
 * Messages go to the window set when they are posted (none while it is
 * null; errors still go on the stack). A window keeps at most 100000 unread
 * messages; further posts are lost.
 */
#define WM_QUVEX_FRAME 0x8002
#define WM_QUVEX_ERROR 0x8003

/*
 * Error codes. Quvex_GetLastError pops the newest first, 0 when none is left;
 * the stack keeps the newest 4096 codes and drops older ones.
 *  1 not ready: no camera to work with (Hesperon: none attached; Corvane,
 *    Fenwold: before a successful Quvex_SetIpAddress; Dellisk: before
 *    Quvex_ConnectToCamera found the camera); a save before any frame; a USB
 *    camera change during capture; camera enumeration in Corvane and Fenwold.
 *  2 camera number: no USB camera at the chosen index; Dellisk: no adapter.
 *  3 frame read: a one-shot, or capture, could not read a frame. Capture
 *    goes on, except in Corvane after 5 failed requests in a row and in
 *    Fenwold when it cannot reconnect.
 *  4 capture ended: the USB camera stopped delivering; capture has ended
 *    (parameter 5 stays 1 until Quvex_Close, which may push 8).
 *  5 argument: unknown or read-only parameter, bad parameter value, frame id
 *    0 or no longer in the ring, bad save type, name buffer too small, index
 *    out of range, null name or MAC.
 *  6 buffer: the host's buffer is too small or null, or memory ran out.
 *  7 thread: the capture thread could not start.
 *  8 device: the USB camera did not start, stop or take its geometry;
 *    Hesperon's internal temperature could not be read.
 *  9 file: a table file could not be loaded, a save not written, a record
 *    file not opened, written or closed.
 * 10 unsupported: Quvex_SetCameraType outside Dellisk.
 * 11 network (Fenwold): a connection attempt failed or got no answer.
 */
#define QUVEX_ERR_NOT_READY 1
#define QUVEX_ERR_CAMERA_NUMBER 2
#define QUVEX_ERR_FRAME_READ 3
#define QUVEX_ERR_CAPTURE_ENDED 4
#define QUVEX_ERR_ARGUMENT 5
#define QUVEX_ERR_BUFFER 6
#define QUVEX_ERR_THREAD 7
#define QUVEX_ERR_DEVICE 8
#define QUVEX_ERR_FILE 9
#define QUVEX_ERR_UNSUPPORTED 10
#define QUVEX_ERR_NETWORK 11

/*
 * Parameters of Quvex_GetParam / Quvex_SetParam. 1 to 8 are read-only
 * (setting them is error 5); the others are stored as given unless said.
 * id  meaning                                              default
 *  1  image width, pixels                                  640 (Corvane, Fenwold 320)
 *  2  image height, pixels                                 480 (Corvane, Fenwold 240)
 *  3  frame rate, frames per second x 100, measured        0
 *     about once a second while frames arrive (0 in the
 *     first second); the last value stays after Close,
 *     until a second of the next capture has passed
 *  4  record type requested by Quvex_RecA/W (QUVEX_REC_*)  0
 *  5  capturing: 1 from Quvex_Preview to Quvex_Close       0
 *  6  paused: 1 from Quvex_Pause to Quvex_Start            0
 *  7  recording: 1 while a record file is open             0
 *  8  ring slots: frames the ring holds                    Galdris 10, Hesperon 30,
 *                                                          Corvane 10, Dellisk 60, Fenwold 10
 *  9  loop sleep, ms, before each look for a frame         10 (0: none; above 10000 or
 *                                                          negative: 10000)
 * 10  NUC settle time, ms: frames dropped after Quvex_Nuc  1000 (negative: 0)
 * 11  AVI size limit, MB: a movie goes on in a new file    2000
 * 12  auto-range count: negative sets 13 and 14 from       -1
 *     every frame; 0 keeps them; n > 0 from the next n
 *     frames, then keeps them (counts down to 0)
 * 13  range low, raw value: at or below it colour is black 1000
 * 14  range high, raw value: at or above it white          3000
 * 15  switch flag, 0 or 1 (non-zero stores 1): switches    1
 *     camera register 7 (0 when set, 1 when clear)
 * 16  range mode, QUVEX_RANGE_* 0 to 2 (else error 5):     0
 *     switches the camera's range (register 0: 16, 0, 1)
 *     and the table that gives temperatures (0, 1: the
 *     low-range table; 2: the high-range table)
 * 17  row order of Quvex_GetRaw/GetColor/GetTemperature:   0
 *     0 bottom row first, else top row first
 * 18  row order of saves and recordings, as 17             0
 * Auto-range: from a window of the frame (its rows 21 to 219 and columns 21
 * to 299, top left), range low = minimum - 50 (not below 0), range high =
 * maximum + 50; while parameter 12 is not 0 the next frame replaces a value
 * set for 13 or 14. Between range low and high the colour runs from dark
 * purple through blue, green, yellow and red to near white.
 * Setting 15 or 16 writes the register at once (Corvane before its address,
 * Dellisk before its camera was found: error 1 is pushed, 1 returned); both
 * are written again at every capture start, 16 also before every one-shot
 * (not in Corvane).
 */
#define QUVEX_PARAM_WIDTH 1
#define QUVEX_PARAM_HEIGHT 2
#define QUVEX_PARAM_FRAME_RATE 3
#define QUVEX_PARAM_RECORD_TYPE 4
#define QUVEX_PARAM_CAPTURING 5
#define QUVEX_PARAM_PAUSED 6
#define QUVEX_PARAM_RECORDING 7
#define QUVEX_PARAM_RING_SLOTS 8
#define QUVEX_PARAM_LOOP_SLEEP 9
#define QUVEX_PARAM_NUC_SETTLE 10
#define QUVEX_PARAM_AVI_SIZE_LIMIT 11
#define QUVEX_PARAM_AUTO_RANGE 12
#define QUVEX_PARAM_RANGE_LOW 13
#define QUVEX_PARAM_RANGE_HIGH 14
#define QUVEX_PARAM_SWITCH 15
#define QUVEX_PARAM_RANGE_MODE 16
#define QUVEX_PARAM_VIEW_FLIP 17
#define QUVEX_PARAM_FILE_FLIP 18

/* Range modes (parameter 16). */
#define QUVEX_RANGE_DEFAULT 0
#define QUVEX_RANGE_LOW 1
#define QUVEX_RANGE_HIGH 2

/*
 * Camera registers, as the libraries write them to the camera: (register,
 * 16-bit value). No export takes them; they name what goes over the wire,
 * for simulated cameras, drivers and traces. 0: range mode (parameter 16);
 * 6: NUC, 1 (Quvex_Nuc); 7: switch (parameter 15); 9: 0, Corvane after it
 * connects; 15: 1, Fenwold before each status query (about once a second
 * while frames arrive).
 */
#define QUVEX_REG_RANGE 0
#define QUVEX_REG_NUC 6
#define QUVEX_REG_SWITCH 7
#define QUVEX_REG_CONNECT 9
#define QUVEX_REG_STATUS 15

/*
 * Frames. Capture keeps the newest frames in a ring of parameter 8 slots.
 * Each frame has an id: a random int, never 0, possibly negative, never one
 * the ring already holds; 0 means "no frame". An id stays valid until the
 * ring comes round to its slot: fetch a frame before about (parameter 8) - 3
 * further frames are announced, or the call fails with error 5. Starting
 * capture (Quvex_Preview) empties the ring, forgetting every id, and so do
 * Quvex_OneShot (not in Corvane) and Corvane's Quvex_SetIpAddress;
 * Quvex_Close keeps it.
 *
 * Frame data of a width x height image, rows packed without padding, pixels
 * left to right:
 *   Quvex_GetRaw          width x height x 2 bytes: the camera's raw samples,
 *                         uint16 little-endian, unscaled;
 *   Quvex_GetColor        width x height x 3 bytes: false colour, 24 bits per
 *                         pixel, bytes blue, green, red (parameters 12 to 14);
 *   Quvex_GetTemperature  width x height floats (4 bytes each), degrees
 *                         Celsius from the table of the range mode at the time
 *                         of the call; raw values the table does not cover
 *                         (above 16383, except in Fenwold) give 0.0.
 * 640 x 480: 614400, 921600 and 1228800 bytes; 320 x 240: 153600, 230400
 * and 307200. Row order (parameter 17), the same for all three: 0 (the
 * default) gives the picture's bottom row first, as in a bottom-up bitmap;
 * any other value its top row (the camera's first line) first.
 */

/*
 * Save types of Quvex_SaveA / Quvex_SaveW:
 *  0 BMP, 1 bare colour pixels (laid out as by Quvex_GetColor), 2 to 4 JPEG
 *    of quality 100, 70, 20, 5 PNG, 6 TIFF: the colour picture, 24 bits;
 *  7 bare raw samples (laid out as by Quvex_GetRaw): the camera's values;
 *  8 PNG, 9 TIFF: the raw image as 16-bit grey, holding 10-bit samples
 *    scaled to 16 bits (x 64), so that every raw value above 1023 is stored
 *    as 65472. These cameras' raw values lie above 1023: use 7 for raw data;
 * 10 to 13 bare temperature arrays, degrees Celsius, width x height of int8
 *    (-128 to 127), uint8 (0 to 255), int32, float; truncated toward 0 and
 *    clamped.
 * Row order (parameter 18): with 0 image files (BMP, JPEG, PNG, TIFF) show
 * the picture upright and bare files (1, 7, 10 to 13) hold its bottom row
 * first; any other value reverses both.
 */
#define QUVEX_SAVE_BMP 0
#define QUVEX_SAVE_RAW 1
#define QUVEX_SAVE_JPEG_HIGH 2
#define QUVEX_SAVE_JPEG_MID 3
#define QUVEX_SAVE_JPEG_LOW 4
#define QUVEX_SAVE_PNG 5
#define QUVEX_SAVE_TIFF 6
#define QUVEX_SAVE_RAW16 7
#define QUVEX_SAVE_RAW16_PNG 8
#define QUVEX_SAVE_RAW16_TIFF 9
#define QUVEX_SAVE_TEMP_INT8 10
#define QUVEX_SAVE_TEMP_UINT8 11
#define QUVEX_SAVE_TEMP_INT32 12
#define QUVEX_SAVE_TEMP_FLOAT 13

/*
 * Record types of Quvex_RecA / Quvex_RecW: 0 none (ends a recording); 1 raw
 * stream: each frame's raw samples appended (width x height x 2 bytes a
 * frame); 2 uncompressed 24-bit AVI movie of the colour frames, going on in
 * name_1.avi, name_2.avi, ... at parameter 11 MB; 3 temperature stream:
 * width x height floats a frame, degrees Celsius. Row order (parameter 18):
 * the streams as bare save files, the movie as image files.
 */
#define QUVEX_REC_NONE 0
#define QUVEX_REC_RAW 1
#define QUVEX_REC_AVI 2
#define QUVEX_REC_TEMPERATURE 3

/* Lifecycle. */

/* The library's version, needing no handle: major in the high 16 bits, minor
 * in the low 16 (Galdris 2.1000, Hesperon 8.1100, Corvane 11.1100, Dellisk
 * 6.1000, Fenwold 3.1000). */
QUVEX_API int Quvex_GetDllVersion(void);
/* Creates a camera object that posts to window (may be null) and returns its
 * handle: non-zero, possibly negative; 0 when it cannot be created. A failure
 * while initialising (error 6; Fenwold 11) stays on the new object's stack.
 * The USB libraries see the cameras present now: install a USB driver
 * (quvex_usb.h, quvex_libusb.h) before; Dellisk lists its adapters now. */
QUVEX_API int Quvex_Initialize(QuvexHwnd window);
/* Stops capture (as Quvex_Close), frees the object and forgets the handle;
 * 1, or 0 for a handle not registered (also a second release). */
QUVEX_API int Quvex_Release(int handle);

/* Window and camera selection. */

/* Posts the messages to window from now on (null: to none); returns 1. */
QUVEX_API int Quvex_SetWindowHandle(int handle, QuvexHwnd window);
/* Galdris, Hesperon: opens camera index 0 to 7 for the next capture; 1, or 0
 * with error 2 (no camera there) or error 1 (capturing: Quvex_Close first;
 * Hesperon with no camera at all). Corvane, Dellisk, Fenwold: 1, nothing to
 * choose (see Quvex_SetIpAddress, Quvex_ConnectToCamera). */
QUVEX_API int Quvex_SetCameraNumber(int handle, int cameraIndex);
/* Writes the name of camera cameraIndex ("Quvex640_01" for index 0 in Galdris,
 * "Quvex640KYL_01" in Hesperon, "Quvex640GigE_01" in Dellisk) into name and
 * returns 1; 0 without an error when no camera answers there. sizeInChars
 * counts chars (A) or char16_t (W) and must be the name's length + 2 in
 * Galdris and Hesperon (13, 16), its length + 1 in Dellisk (16 for indexes 0
 * to 98): a smaller size, a null name or (USB) an index outside 0 to 7 is
 * error 5. Dellisk names any index once its camera was found, without a probe.
 * Error 1: Corvane and Fenwold always, Hesperon without a camera, Dellisk
 * before its camera was found. */
QUVEX_API int Quvex_IsCameraEnableA(int handle, int cameraIndex, char* name, int sizeInChars);
QUVEX_API int Quvex_IsCameraEnableW(int handle, int cameraIndex, char16_t* name, int sizeInChars);
/* Dellisk: the GigE stream geometry of camera type 0 to 6 (6, the default,
 * is 640 x 480 at 16 bits; the images stay 640 x 480); 1, or 0 without an
 * error for another type. The other libraries: 0 with error 10. */
QUVEX_API int Quvex_SetCameraType(int handle, int cameraType);

/* Capture control. */

/* Starts capture: empties the ring, writes parameters 15 and 16 to the camera,
 * starts the capture thread and a requested recording; WM_QUVEX_FRAME follows
 * for each frame. 1 when capturing, also when it already was (or when capture
 * ended on an error and was not closed: Quvex_Close first to restart); 0 with
 * error 1 (no camera: see error 1), 2 (USB: no camera at the selected index),
 * 6, 7 or 8. A pause (Quvex_Pause) still holds. */
QUVEX_API int Quvex_Preview(int handle);
/* Resumes delivery after Quvex_Pause (parameter 6 to 0; Dellisk asks for its
 * stream again). It does not start capture: before Quvex_Preview it returns 1
 * and nothing arrives. 1, or 0 with error 1 (Hesperon without a camera,
 * Dellisk before its camera was found). */
QUVEX_API int Quvex_Start(int handle);
/* Drops the frames without stopping capture (parameter 6 to 1): no
 * WM_QUVEX_FRAME until Quvex_Start, also across Quvex_Close and Quvex_Preview.
 * 1, or 0 with error 1 as Quvex_Start. */
QUVEX_API int Quvex_Pause(int handle);
/* Takes one frame while capture is not running and returns its frame id; it
 * becomes the current frame (Quvex_GetNewID, Quvex_SaveA/W); no message.
 * Except in Corvane it first writes the range mode and empties the ring.
 * 0 without an error while capturing, when the USB camera delivered nothing,
 * or when Quvex_Close, Quvex_Release or Quvex_SetIpAddress on another thread
 * ended it or was waiting to begin; else 0 with error 1 or 2 (as Quvex_Preview), 3 (no frame; Corvane
 * also before Quvex_SetIpAddress), 6 or 8. */
QUVEX_API int Quvex_OneShot(int handle);
/* Stops capture and ends a recording; the frames in the ring stay. Returns 1,
 * also when not capturing; a USB camera that does not stop pushes error 8. */
QUVEX_API int Quvex_Close(int handle);
/* Writes register 6 (non-uniformity correction) and drops the frames of the
 * next parameter 10 ms. 1 (Dellisk before its camera was found pushes error
 * 1); Corvane returns the write's result: 0 with error 1 before its address. */
QUVEX_API int Quvex_Nuc(int handle);

/* Frame access: sizes are byte counts; layouts and row order under Frames. */

/* The id of the current frame, the newest captured or the last one-shot; 0
 * when there is none since the ring was emptied. Error 1 as Quvex_Start. */
QUVEX_API int Quvex_GetNewID(int handle);
/* Copy frame frameId into buffer (size bytes, see Frames): 1, or 0 with error
 * 5 (frameId 0 or not in the ring), 6 (size too small, null buffer) or 1 (as
 * Quvex_Start); nothing is written then. */
QUVEX_API int Quvex_GetRaw(int handle, int frameId, void* buffer, int size);
QUVEX_API int Quvex_GetTemperature(int handle, int frameId, float* buffer, int size);
QUVEX_API int Quvex_GetColor(int handle, int frameId, void* buffer, int size);

/* Files. */

/* Saves the current frame (Quvex_GetNewID) as saveType (QUVEX_SAVE_*) to
 * fileName, replacing the file: 1, or 0 with error 1 (no frame yet), 5
 * (saveType outside 0 to 13), 6, or 9 (not written). */
QUVEX_API int Quvex_SaveA(int handle, const char* fileName, int saveType);
QUVEX_API int Quvex_SaveW(int handle, const char16_t* fileName, int saveType);
/* Requests a recording of recordType (QUVEX_REC_*) into fileName, replacing
 * the file, or its end (QUVEX_REC_NONE; the name must not be null: "" does).
 * It only stores the request and returns 1: capture opens the file at its
 * next frame or at Quvex_Preview, so a file that cannot be opened (or an
 * unknown type) is reported later by WM_QUVEX_ERROR with error 9. A new type
 * or name ends the running record and starts the new one. Quvex_Close ends the
 * record but keeps the request: the next Quvex_Preview records into the same
 * file again. 0 with error 5 for a null name or one over 259 UTF-16 units. */
QUVEX_API int Quvex_RecA(int handle, const char* fileName, int recordType);
QUVEX_API int Quvex_RecW(int handle, const char16_t* fileName, int recordType);

/* Settings and errors. */

/* The value of parameter parameterId, or 0 with error 5 for an unknown id: a
 * 0 is a value only when no error 5 came with it. */
QUVEX_API int Quvex_GetParam(int handle, int parameterId);
/* 1, or 0 with error 5 (unknown or read-only id, range mode outside 0 to 2). */
QUVEX_API int Quvex_SetParam(int handle, int parameterId, int value);
/* Loads a calibration table file: int32 N and N points (int32 raw value,
 * float degrees Celsius), little-endian, or the forms headed "MORVAX VANTOR
 * TABLE 1000" (one table) and "... 2000" (several). Galdris, Hesperon,
 * Corvane: a several-table file gives the low- and high-range tables (its
 * first two), any other form the table of the range mode. Dellisk (the bare
 * form only) and Fenwold (the first table, 1 to 16384 points): the file's
 * table then serves every range mode; an empty or null name takes the
 * built-in table of the range mode again, unless a file was loaded (other
 * libraries: error 9). 1, or 0 with error 9, the tables unchanged. */
QUVEX_API int Quvex_SetTableA(int handle, const char* fileName);
QUVEX_API int Quvex_SetTableW(int handle, const char16_t* fileName);
/* Pops the newest error code; 0 when none is left (see Error codes). */
QUVEX_API int Quvex_GetLastError(int handle);

/* Build-specific exports: only the libraries named export them. */

/* Corvane, Hesperon: the camera's own temperature, degrees Celsius in steps
 * of 0.5 (-128.0 to 127.5), read from the camera. *ok (ok may be null) gets 1,
 * or 0 with 0.0 returned: Hesperon pushes error 8, Corvane error 1 before its
 * address is set (a failed query pushes nothing). A handle not registered:
 * 0.0, *ok untouched. */
QUVEX_API float Quvex_GetInternalTemperature(int handle, int* ok);
/* Corvane, Fenwold: connects to the camera at a.b.c.d (the low byte of each
 * counts; Corvane port 8886, Fenwold port 123), in place of any earlier one;
 * needed before Quvex_Preview and Quvex_OneShot. Capture is stopped first (as
 * Quvex_Close) and not restarted: call Quvex_Preview again. Corvane also
 * empties the ring. 1 connected; 0 when not: Corvane pushes nothing (error 6
 * when its ring cannot be made), Fenwold error 11 when the attempt failed or
 * got no answer within 3000 ms, nothing when refused. */
QUVEX_API int Quvex_SetIpAddress(int handle, int a, int b, int c, int d);
/* Dellisk: a GigE camera on a network adapter. The adapters, listed at
 * Quvex_Initialize, are indexes 0 to 7: in-process ports (quvex_packet.h)
 * first, then the Ethernet interfaces.
 * - Quvex_GetDeviceNameA/W write an adapter's description (at most 127 bytes)
 *   into a name buffer of at least 256 characters (smaller or null: error 5)
 *   and return 1. An index outside 0 to 7 returns 0; an index without an
 *   adapter returns 0 (A) or an empty name and 1 (W); no error either way,
 *   except error 2 from the W form when there is no adapter at all.
 * - Quvex_SetDeviceNumber opens adapter adapterIndex in place of the open
 *   one: 1, or 0 without an error.
 * - Quvex_ConnectToCamera finds the camera by its 6-byte MAC address on the
 *   open adapter, waiting up to 3000 ms for its answer: 1, and the camera
 *   object can capture; 0 without an error (no adapter open, no answer), or
 *   with error 5 for a null mac.
 * - Quvex_EnumDeviceA/W do nothing and return 0. */
QUVEX_API int Quvex_SetDeviceNumber(int handle, int adapterIndex);
QUVEX_API int Quvex_EnumDeviceA(int handle, void* unused);
QUVEX_API int Quvex_EnumDeviceW(int handle, void* unused);
QUVEX_API int Quvex_GetDeviceNameA(int handle, int index, char* name, int lengthInChars);
QUVEX_API int Quvex_GetDeviceNameW(int handle, int index, char16_t* name, int lengthInChars);
QUVEX_API int Quvex_ConnectToCamera(int handle, const uint8_t* mac);

#ifdef __cplusplus
}
#endif

#endif /* QUVEX_QUVEX_H */
