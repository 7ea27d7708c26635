/*
 * Quvex SDK: the exported interface of the five camera libraries
 * (libGaldris.so, libHesperon.so, libCorvane.so, libDellisk.so, libFenwold.so).
 *
 * Every function except Quvex_GetDllVersion takes the camera handle returned by
 * Quvex_Initialize first and returns 0 for a handle that is not registered.
 * Details of a failure are pushed on the camera object's error stack
 * (Quvex_GetLastError) and posted as WM_QUVEX_ERROR to its notify window.
 *
 * Text: the W functions take UTF-16 (char16_t), the A functions UTF-8.
 * Notify windows come from the platform library (quvex_window.h).
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

/* Messages posted to the notify window (wParam is always 0). */
#define WM_QUVEX_FRAME 0x8002 /* lParam: frame id of the new current slot */
#define WM_QUVEX_ERROR 0x8003 /* lParam: error code */

/* Error codes. */
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

/* Parameter ids of Quvex_GetParam / Quvex_SetParam; 1 to 7 are read-only. */
#define QUVEX_PARAM_WIDTH 1
#define QUVEX_PARAM_HEIGHT 2
#define QUVEX_PARAM_FRAME_RATE 3 /* frames per second x 100 */
#define QUVEX_PARAM_RECORD_TYPE 4
#define QUVEX_PARAM_CAPTURING 5
#define QUVEX_PARAM_PAUSED 6
#define QUVEX_PARAM_RECORDING 7
#define QUVEX_PARAM_RING_SLOTS 8
#define QUVEX_PARAM_LOOP_SLEEP 9      /* ms */
#define QUVEX_PARAM_NUC_SETTLE 10     /* ms */
#define QUVEX_PARAM_AVI_SIZE_LIMIT 11 /* MB */
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

/* Camera registers, written as (register, 16-bit value). */
#define QUVEX_REG_RANGE 0
#define QUVEX_REG_NUC 6
#define QUVEX_REG_SWITCH 7
#define QUVEX_REG_CONNECT 9
#define QUVEX_REG_STATUS 15

/* Save types of Quvex_SaveA / Quvex_SaveW. */
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

/* Record types of Quvex_RecA / Quvex_RecW. */
#define QUVEX_REC_NONE 0
#define QUVEX_REC_RAW 1
#define QUVEX_REC_AVI 2
#define QUVEX_REC_TEMPERATURE 3

/* Lifecycle. */
QUVEX_API int Quvex_GetDllVersion(void);
QUVEX_API int Quvex_Initialize(QuvexHwnd window);
QUVEX_API int Quvex_Release(int handle);

/* Window and camera selection. */
QUVEX_API int Quvex_SetWindowHandle(int handle, QuvexHwnd window);
QUVEX_API int Quvex_SetCameraNumber(int handle, int cameraIndex);
QUVEX_API int Quvex_IsCameraEnableA(int handle, int cameraIndex, char* name, int sizeInChars);
QUVEX_API int Quvex_IsCameraEnableW(int handle, int cameraIndex, char16_t* name, int sizeInChars);
QUVEX_API int Quvex_SetCameraType(int handle, int cameraType);

/* Capture control. */
QUVEX_API int Quvex_Preview(int handle);
QUVEX_API int Quvex_Start(int handle);
QUVEX_API int Quvex_Pause(int handle);
QUVEX_API int Quvex_OneShot(int handle);
QUVEX_API int Quvex_Close(int handle);
QUVEX_API int Quvex_Nuc(int handle);

/* Frame access; sizes are byte counts. */
QUVEX_API int Quvex_GetNewID(int handle);
QUVEX_API int Quvex_GetRaw(int handle, int frameId, void* buffer, int size);
QUVEX_API int Quvex_GetTemperature(int handle, int frameId, float* buffer, int size);
QUVEX_API int Quvex_GetColor(int handle, int frameId, void* buffer, int size);

/* Files. */
QUVEX_API int Quvex_SaveA(int handle, const char* fileName, int saveType);
QUVEX_API int Quvex_SaveW(int handle, const char16_t* fileName, int saveType);
QUVEX_API int Quvex_RecA(int handle, const char* fileName, int recordType);
QUVEX_API int Quvex_RecW(int handle, const char16_t* fileName, int recordType);

/* Settings and errors. */
QUVEX_API int Quvex_GetParam(int handle, int parameterId);
QUVEX_API int Quvex_SetParam(int handle, int parameterId, int value);
QUVEX_API int Quvex_SetTableA(int handle, const char* fileName);
QUVEX_API int Quvex_SetTableW(int handle, const char16_t* fileName);
QUVEX_API int Quvex_GetLastError(int handle);

/* Build-specific exports: only the libraries named export them. */
/* Corvane, Hesperon. */
QUVEX_API float Quvex_GetInternalTemperature(int handle, int* ok);
/* Corvane, Fenwold: the camera at a.b.c.d, of which only the low byte of each
 * counts. Corvane stops a running capture first (as Quvex_Close does), then
 * connects anew; Quvex_Preview starts capture again. */
QUVEX_API int Quvex_SetIpAddress(int handle, int a, int b, int c, int d);
/* Dellisk: a GigE camera on a network adapter. The host names the adapters
 * (their names fill at most 127 bytes; buffers hold at least 256 characters),
 * opens one with Quvex_SetDeviceNumber and finds the camera by its 6-byte MAC
 * address with Quvex_ConnectToCamera before it captures. Quvex_EnumDeviceA/W
 * always return 0. Quvex_SetCameraType takes camera types 0 to 6. */
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
