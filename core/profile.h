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

// Which temperature tables a camera object keeps, and when it loads them.
enum class TableSet {
  RangePair,      // tables A and B from the built-in tables at initialisation
  ReloadedSingle, // one table, reloaded from the built-in table of the range
                  // mode whenever the range mode is applied, until a table
                  // file has been loaded (that table then serves every mode)
};

// Which table files SetTable reads.
enum class TableFileLoader {
  AllFormsByRange,   // all three forms; a multi-table file fills A (and B),
                     // any other the table of the range mode
  HeaderlessOnly,    // int32 N and N points only; no magic forms
  AllFormsIndexed,   // all three forms, the first table of a multi-table
                     // file; 1 to 16384 points
};

// Which raw values the lookup gives a temperature.
enum class LookupSpan {
  First16384,    // 0 to 16383; the rest read 0.0
  AllRawValues,  // every raw value gets its interpolated temperature
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
  TableSet tables = TableSet::RangePair;
  TableFileLoader tableFiles = TableFileLoader::AllFormsByRange;
  LookupSpan lookupSpan = LookupSpan::First16384;
};

}  // namespace quvex
