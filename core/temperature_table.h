// Calibration tables: points (raw value, degrees Celsius) and the 65536-entry
// lookup built from them. Points and lookup are immutable snapshots: a new
// lookup is built aside and published whole, so a conversion on another
// thread never sees a half-built lookup or a half-replaced point list.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "core/profile.h"
#include "core/table_file.h"
#include "quvex_platform/resources.h"

namespace quvex {

// Resource ids of the built-in tables (type "TBL").
inline constexpr int QUVEX_TBL_LOW = 114;
inline constexpr int QUVEX_TBL_HIGH = 115;

inline constexpr size_t kLookupEntries = 65536;
inline constexpr size_t kLookupFilled = 16384;
using TemperatureLookup = std::array<float, kLookupEntries>;

// The value of a raw value with no table point below it: the average of an
// empty window is taken as 0.0, like a raw value with no point above it.
inline constexpr float kEmptyWindowTemperature = 0.0f;

// The interpolated temperature of one raw value over the points, taken by
// position (see temperature_table.cpp for the rules of each variant).
float InterpolatePoints(std::span<const TablePoint> points, int raw, InterpolationVariant variant);

class CTemperatureTable {
 public:
  explicit CTemperatureTable(InterpolationVariant variant = InterpolationVariant::Double,
                             LookupSpan span = LookupSpan::First16384);
  CTemperatureTable(const CTemperatureTable&) = delete;
  CTemperatureTable& operator=(const CTemperatureTable&) = delete;

  // Replaces the points from a built-in resource (any of the three forms;
  // tableIndex chooses among several tables); 1, or 0 with the table
  // unchanged. Does not rebuild the lookup.
  int Load(int resourceId, const platform::Module* module, const char16_t* type, int tableIndex);
  // The same from a table file.
  int LoadFile(const char16_t* path, int tableIndex);
  // 1, or 0 for null points (the table is unchanged).
  int ReplacePoints(std::shared_ptr<const TablePoints> points);

  // Rebuilds the lookup: copied from a dense table, else interpolated (over
  // every raw value for LookupSpan::AllRawValues, dense or not). 1, or
  // 0 when memory runs out (the previous lookup stays).
  int UpdateLut();
  // Rebuilds the lookup by interpolation; 1, or 0 as UpdateLut.
  int BuildLut();
  float Interpolate(int raw) const;

  // A lookup built from points as UpdateLut builds it; null when memory runs out.
  static std::shared_ptr<const TemperatureLookup> MakeLookup(
      std::span<const TablePoint> points, InterpolationVariant variant,
      LookupSpan span = LookupSpan::First16384);
  // Publishes points and their lookup together; neither may be null.
  void Install(std::shared_ptr<const TablePoints> points,
               std::shared_ptr<const TemperatureLookup> lookup) noexcept;

  InterpolationVariant Variant() const { return variant_; }
  LookupSpan Span() const { return span_; }
  int PointCount() const { return static_cast<int>(Points()->size()); }
  // The current points; never null.
  std::shared_ptr<const TablePoints> Points() const;
  // The published lookup; null before the first build.
  std::shared_ptr<const TemperatureLookup> Lookup() const;

 private:
  int LoadBytes(std::span<const uint8_t> bytes, int tableIndex);
  int PublishLookup(std::shared_ptr<const TemperatureLookup> lookup);

  const InterpolationVariant variant_;
  const LookupSpan span_;
  mutable std::mutex mutex_;
  std::shared_ptr<const TablePoints> points_;
  std::shared_ptr<const TemperatureLookup> lookup_;
};

}  // namespace quvex
