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

// How a library's camera object treats its device where the libraries
// differ; the device binding itself carries only the operations.
struct DeviceBehaviour {
  // false: no camera enumeration; naming a camera by index is refused as not
  // ready.
  bool enumeratesCameras = true;
  // true: the camera cannot change while capturing, since the ring thread
  // fills buffers of the selected camera (error 1 until Quvex_Close).
  bool refusesSelectionDuringCapture = false;
  // true: a NUC stamps its time first and reports the register write's
  // result; false: it writes first and always reports success.
  bool nucReportsWrite = false;
  // true: frames are still read (and dropped) during the NUC settle window,
  // and the NUC time is cleared at the first frame after it.
  bool readsThroughNucSettle = false;
  // true: a one-shot applies the range mode and creates the frame images
  // anew, as a capture start does; false: it fills the next slot of the ring
  // as it stands, so that earlier one-shot frames stay findable.
  bool oneShotRenewsRing = true;
  // false: the camera is chosen by other means (an adapter and an address):
  // naming a camera by number succeeds and does nothing.
  bool selectsCameraByNumber = true;
  // true: every index has a camera name, without a range check or a probe,
  // and the name's buffer need only hold the name and its terminator.
  bool namesAnyIndex = false;
  // true: camera types select the camera's geometry (the binding's
  // SetCameraType); false: every type is unsupported (error 10).
  bool hasCameraTypes = false;
  // true: the device starts before the capture start writes the switch flag
  // and the range mode, so that those writes follow the start on the wire.
  bool startsBeforeRegisterWrites = false;
};

struct BuildProfile {
  const char* name;  // "Galdris"
  int32_t versionValue;
  SensorTiming timing;
  int32_t ringSlots;
  const char16_t* cameraNameStem;  // u"Quvex640"
  InterpolationVariant interpolation;
  bool singlePrecisionPalette;  // palette index quotient in single precision
  bool hasCpuInfo;              // processor record filled at initialisation
  const platform::Module* module;  // built-in resources ("TBL" 114 and 115)
  FrameIdRule frameIds = FrameIdRule::TimeTimesRand;
  TableSet tables = TableSet::RangePair;
  TableFileLoader tableFiles = TableFileLoader::AllFormsByRange;
  LookupSpan lookupSpan = LookupSpan::First16384;
  DeviceBehaviour behaviour{};
};

}  // namespace quvex
