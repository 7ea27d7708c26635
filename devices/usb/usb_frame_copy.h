// The layout of a transferred frame and the raw copies of its region of
// interest. Every copy is checked against the frame buffer it reads and the
// target it writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quvex {

struct UsbFrameLayout {
  int32_t pitch = 0;    // samples per line
  int32_t xOffset = 0;  // first column of the region
  int32_t width = 0;    // region columns
  int32_t lines = 0;    // lines of a frame
  int32_t yOffset = 0;  // first region line
  int32_t height = 0;   // region rows
  // Two-field layout: each field's lines, first region line and region rows.
  int32_t fieldLines = 0;
  int32_t fieldYOffset = 0;
  int32_t fieldHeight = 0;
  int32_t sampleBytes = 1;  // 1 or 2 (16-bit little-endian)
  int32_t sourceFamily = 1;  // QUVEX_USB_SOURCE_*: which copy serves the frame
  int32_t twoField = 0;      // 1: the frame carries two video fields
};

// width x height samples from line yOffset, column xOffset on, rows in
// transfer order. 0; 14 for a null buffer; 5 when the region does not lie
// inside sourceBytes or does not fit targetBytes.
int CopyRegion(const UsbFrameLayout& layout, void* target, size_t targetBytes, const void* source,
               size_t sourceBytes) noexcept;

// Rows alternately from field 1 (line fieldYOffset + j) and field 2 (line
// fieldLines + fieldYOffset + j), width samples from column xOffset, for j
// below fieldHeight. Results as CopyRegion.
int CopyFieldsRegion(const UsbFrameLayout& layout, void* target, size_t targetBytes,
                     const void* source, size_t sourceBytes) noexcept;

}  // namespace quvex
