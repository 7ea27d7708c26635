// What differs between the five libraries, in one record per library. The
// core reads it; each deliverable defines its own (deliverables/<name>/).
#pragma once

#include <cstdint>

#include "quvex_platform/resources.h"

namespace quvex {

// Sensor read-out geometry; active width and lines are the image size.
struct SensorTiming {
  int32_t totalWidth, activeWidth, horizontalOffset, totalLines, activeLines, verticalOffset;
};

enum class Generation { Newer, Older };

// How a sparse table is interpolated into the lookup.
enum class InterpolationVariant {
  Double,  // every step in double precision, rounded to single
  Single,  // every step in single precision (the 64-bit LAN build)
  Older,   // scan to the end, shorter windows, no intermediate rounding
};

// How the capture thread and the one-shot stamp a new frame id.
enum class FrameIdRule {
  TimeTimesRand,     // time x rand, plus 1 in the capture thread
  TimePlusRand,      // time + rand
  RandTimesTime,     // rand x time
};

struct BuildProfile {
  const char* name;  // "Galdris"
  int32_t versionValue;
  SensorTiming timing;
  int32_t ringSlots;
  const char16_t* cameraNameStem;  // u"Quvex640"
  bool usesLock;                   // frame slot index read under the object's lock
  bool denseTables;                // the built-in tables hold one point per raw value
  Generation generation;
  InterpolationVariant interpolation;
  bool singlePrecisionPalette;  // palette index quotient in single precision
  bool reportsNetworkError;     // error 11 exists
  bool hasCpuInfo;              // processor record filled at initialisation
  const platform::Module* module;  // built-in resources ("TBL" 114 and 115)
  FrameIdRule frameIds = FrameIdRule::TimeTimesRand;
};

}  // namespace quvex
