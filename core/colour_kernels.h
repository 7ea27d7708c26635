// Vector kernels of the colour lookup, used when the processor has them.
#pragma once

#include <cstdint>

#include "core/colour_lookup.h"

namespace quvex {

// true when the kernels below may run on this processor.
bool HasAvx2Kernels();

// The narrowest frame MapFrameAvx2 maps.
constexpr int kAvx2MinimumWidth = 8;

// Maps every row of frame through a table of the samples first to last
// (samples outside take the nearest end's colour); the samples in window
// (within the frame) widen extremes.
void MapFrameAvx2(const FrameRows& frame, const SampleWindow& window, const uint32_t* table,
                  uint32_t first, uint32_t last, SampleExtremes& extremes);

}  // namespace quvex
