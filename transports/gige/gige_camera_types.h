// The stream geometry of each camera type (0 to 6; type 3 changes nothing).
#pragma once

#include <optional>

namespace quvex {

struct GigEGeometry {
  int width, height, bits, headerGap, trailer;
};

inline constexpr int kGigECameraTypes = 7;

// The geometry of type, or nullopt for type 3 and for unknown types;
// sixteenBit chooses type 0's sample width.
inline std::optional<GigEGeometry> GigECameraGeometry(unsigned type, bool sixteenBit) {
  switch (type) {
    case 0: return GigEGeometry{1280, 1024, sixteenBit ? 16 : 8, 1102, 64384};
    case 1: return GigEGeometry{1600, 1200, 16, 1102, 25472};
    case 2: return GigEGeometry{2456, 2056, 8, 1102, 56208};
    case 4: return GigEGeometry{2560, 1920, 8, 1102, 25472};
    case 5: return GigEGeometry{320, 240, 16, 1102, 41856};
    case 6: return GigEGeometry{640, 480, 16, 1102, 39808};
    default: return std::nullopt;
  }
}

}  // namespace quvex
