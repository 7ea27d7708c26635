// Result codes and poll statuses of the USB device layer. 0 is success; the
// camera object turns failures into its own error codes.
#pragma once

namespace quvex {

inline constexpr int QUVEX_USB_OK = 0;
inline constexpr int QUVEX_USB_ERR_RING = 1;       // ring count below 2, or no ring
inline constexpr int QUVEX_USB_ERR_GEOMETRY = 4;   // frame geometry rejected
inline constexpr int QUVEX_USB_ERR_ROI = 5;        // region does not fit, or cannot be converted
inline constexpr int QUVEX_USB_ERR_ALLOC = 7;      // buffer, event or thread could not be created
inline constexpr int QUVEX_USB_ERR_OPEN = 10;      // the device path did not open
inline constexpr int QUVEX_USB_ERR_IO = 12;        // a packet failed or moved less than its length
inline constexpr int QUVEX_USB_ERR_NO_BUFFER = 14; // null target or no buffer
inline constexpr int QUVEX_USB_ERR_SEND = 18;      // capture command of a large one-shot failed
inline constexpr int QUVEX_USB_ERR_READ = 19;      // frame read failed or short; no frame
inline constexpr int QUVEX_USB_ERR_BUSY = 21;      // a capture thread runs
inline constexpr int QUVEX_USB_ERR_INDEX = 22;     // device index out of range

// PollFrame.
inline constexpr int QUVEX_USB_POLL_STOPPED = 0;  // no capture running
inline constexpr int QUVEX_USB_POLL_ERROR = 1;    // capture ended on an error
inline constexpr int QUVEX_USB_POLL_NONE = 2;     // nothing new since the last read
inline constexpr int QUVEX_USB_POLL_NEW = 3;      // the newest frame is ready to read

// Source families: which copy serves a frame.
inline constexpr int QUVEX_USB_SOURCE_SENSOR = 1;  // progressive sensor frames
inline constexpr int QUVEX_USB_SOURCE_FIELDS = 3;  // two video fields per frame

}  // namespace quvex
