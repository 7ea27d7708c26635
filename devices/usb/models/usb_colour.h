// Raw frames to 24-bit colour: grey, Bayer demosaicing with an optional
// grey-world white balance, and YUV 4:2:2 of two-field video. Every output is
// packed rows of blue, green, red bytes, first region row first, no padding.
// Each conversion is checked against the frame it reads and the target it
// writes before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/usb/usb_frame_copy.h"

namespace quvex {

// The colour settings a conversion reads; the white balance writes the gains.
struct UsbColourSettings {
  double gainRed = 1.0;
  double gainGreen = 1.0;
  double gainBlue = 1.0;
  int32_t bayerPhase = 0;   // 0 to 3, see BayerColourAt
  int32_t binningCode = 0;  // 0: interpolate; other: one pixel per 2 x 2 cell
};

// Parameter record of the demosaic and the white-balance estimate.
struct BayerConvertParams {
  int32_t xOffset = 0;
  int32_t width = 0;
  int32_t pitch = 0;
  int32_t yOffset = 0;
  int32_t height = 0;
  int32_t lines = 0;
  int32_t phase = 0;
  const void* source = nullptr;  // the frame, lines of pitch samples
  uint8_t* target = nullptr;     // width x height x 3 bytes
  double gainRed = 1.0;
  double gainGreen = 1.0;
  double gainBlue = 1.0;
  int32_t interpolationMode = 0;  // the binning code
  // Estimation window in region coordinates.
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
};

enum class BayerColour { Red, Green, Blue };

// Colour of the filter at region position (x, y). Phase bit 0 shifts the
// mosaic by a row, bit 1 by a column; phase 0 is G R over B G.
BayerColour BayerColourAt(int32_t phase, int64_t x, int64_t y) noexcept;

// Phase of a sensor region read out with the given mirror flags: bit 1 when
// the first column read (the last one when mirrored) is odd; bit 0 when the
// first row is odd, or, mirrored, when the last row is even.
int32_t BayerPhaseOf(int32_t regionX, int32_t regionY, int32_t regionWidth, int32_t regionHeight,
                     int columnMirror, int rowMirror) noexcept;

// Demosaics rows and columns 2 to size - 3 of the region (the two outer rows
// and columns of the target stay as they were): 1, or 0 when width or height
// is not positive. The caller has checked source and target.
int DemosaicBayer16(const BayerConvertParams& params) noexcept;
int DemosaicBayer8(const BayerConvertParams& params) noexcept;

// Grey-world gains over the estimation window: red and blue make their
// channel's mean equal the green mean; green is 1.0. A colour with no samples
// or a zero mean keeps a gain of 1.0. Returns 1.
int EstimateWhiteBalance16(BayerConvertParams& params) noexcept;
int EstimateWhiteBalance8(BayerConvertParams& params) noexcept;

// A rectangle of the region, inclusive corners.
struct UsbRoiRect {
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
};

// 0, or QUVEX_USB_ERR_ROI unless the rectangle is 1 to pitch columns and 1 to
// lines rows and lies inside the region.
int CheckRoiRect(const UsbFrameLayout& layout, const UsbRoiRect& rect) noexcept;

// Sensor frames: colour 0 gives grey from the rectangle (the high byte of
// 16-bit samples); any other colour demosaics the whole region, after a white
// balance that updates settings' gains when whiteBalance is non-zero.
// 0; 5 when the rectangle, the frame or the target does not fit; 14 for a
// null buffer.
int ConvertSensorToRgb(const UsbFrameLayout& layout, UsbColourSettings& settings,
                       const UsbRoiRect& rect, void* target, size_t targetBytes,
                       const void* source, size_t sourceBytes, int colour,
                       int whiteBalance) noexcept;

// Two-field video: colour with 16-bit samples (luma low byte, chroma high
// byte) converts YUV 4:2:2; otherwise grey from the luma bytes. Results as
// ConvertSensorToRgb.
int ConvertFieldsToRgb(const UsbFrameLayout& layout, const UsbRoiRect& rect, void* target,
                       size_t targetBytes, const void* source, size_t sourceBytes,
                       int colour) noexcept;

// The whole region as a rectangle.
inline UsbRoiRect WholeRegion(const UsbFrameLayout& layout) noexcept {
  return {0, 0, layout.width - 1, layout.height - 1};
}

}  // namespace quvex
