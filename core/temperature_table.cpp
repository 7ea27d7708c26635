// Calibration points and the lookup of raw value -> degrees Celsius.
//
// Interpolation of a raw value a over the points P[0..N-1], by position:
// scan the points in order, skipping those whose raw equals a, keeping the ten
// nearest points below a met so far (L[0] the nearest; slots never filled are
// (0, 0.0)), and stop at the first point above a; U[j] = P[i + j]. The result
// is the average of the ten lines through (L[j], U[j]) taken at a. With ten
// points or fewer, or no point above a within the scan, the result is 0.0.
// Variants:
//   Double: scan while i < N - 10; each step of a line is computed in double
//           and rounded to float;
//   Single: the same scan, every step in single precision;
//   Older:  scan while i < N; min(10, N - i) pairs; all in double, rounded to
//           float only at the end.
#include "core/temperature_table.h"

#include <algorithm>
#include <new>
#include <optional>

#include "imaging/file_buffer.h"

namespace quvex {
namespace {

constexpr size_t kPairs = 10;

// The lower neighbours of a raw value and where its upper neighbours begin.
class Neighbours {
 public:
  void AddLower(const TablePoint& point) { ring_[seen_++ % kPairs] = point; }
  // L[j]; (0, 0.0) for a slot that was never filled.
  TablePoint Lower(size_t j) const {
    return j < seen_ ? ring_[(seen_ - 1 - j) % kPairs] : TablePoint{0, 0.0f};
  }
  // No point below was met: L[0] is still (0, 0.0). A real point (0, 0.0)
  // reads the same, as the window test compares values.
  bool Empty() const {
    const TablePoint nearest = Lower(0);
    return nearest.raw == 0 && nearest.temperature == 0.0f;
  }
  size_t upper = 0;

 private:
  TablePoint ring_[kPairs]{};
  size_t seen_ = 0;
};

std::optional<Neighbours> Scan(std::span<const TablePoint> points, int raw, size_t end) {
  Neighbours found;
  for (size_t i = 0; i < end; ++i) {
    const TablePoint& point = points[i];
    if (point.raw == raw) continue;
    if (point.raw < raw) {
      found.AddLower(point);
      continue;
    }
    found.upper = i;
    return found;
  }
  return std::nullopt;
}

// The same outcome as Scan for points in rising order of raw, by binary
// search: the points below raw are those before the first one not below it,
// and the scan stops at the first point above it.
std::optional<Neighbours> ScanSorted(std::span<const TablePoint> points, int raw, size_t end) {
  const auto above = std::upper_bound(points.begin(), points.end(), raw,
                                      [](int value, const TablePoint& p) { return value < p.raw; });
  const auto upper = static_cast<size_t>(above - points.begin());
  if (upper >= end) return std::nullopt;
  const auto notBelow =
      std::lower_bound(points.begin(), above, raw,
                       [](const TablePoint& p, int value) { return p.raw < value; });
  const auto below = static_cast<size_t>(notBelow - points.begin());
  Neighbours found;
  for (size_t i = below > kPairs ? below - kPairs : 0; i < below; ++i) found.AddLower(points[i]);
  found.upper = upper;
  return found;
}

bool RisingRaw(std::span<const TablePoint> points) {
  return std::is_sorted(points.begin(), points.end(),
                        [](const TablePoint& a, const TablePoint& b) { return a.raw < b.raw; });
}

double RawDistance(int64_t to, int64_t from) { return static_cast<double>(to - from); }

float LinesDouble(std::span<const TablePoint> points, const Neighbours& window, int raw) {
  float sum = 0.0f;
  for (size_t j = 0; j < kPairs; ++j) {
    const TablePoint lower = window.Lower(j);
    const TablePoint& upper = points[window.upper + j];
    const auto difference = static_cast<float>(static_cast<double>(upper.temperature) -
                                               static_cast<double>(lower.temperature));
    const auto slope =
        static_cast<float>(static_cast<double>(difference) / RawDistance(upper.raw, lower.raw));
    sum = static_cast<float>(static_cast<double>(sum) +
                             static_cast<double>(slope) * RawDistance(raw, lower.raw) +
                             static_cast<double>(lower.temperature));
  }
  return static_cast<float>(static_cast<double>(sum) / static_cast<double>(kPairs));
}

float LinesSingle(std::span<const TablePoint> points, const Neighbours& window, int raw) {
  float sum = 0.0f;
  for (size_t j = 0; j < kPairs; ++j) {
    const TablePoint lower = window.Lower(j);
    const TablePoint& upper = points[window.upper + j];
    const float difference = upper.temperature - lower.temperature;
    const float slope = difference / static_cast<float>(int64_t{upper.raw} - lower.raw);
    sum = sum + slope * static_cast<float>(int64_t{raw} - lower.raw) + lower.temperature;
  }
  return sum / static_cast<float>(kPairs);
}

float LinesOlder(std::span<const TablePoint> points, const Neighbours& window, int raw) {
  const size_t pairs = std::min(kPairs, points.size() - window.upper);
  double sum = 0.0;
  for (size_t j = 0; j < pairs; ++j) {
    const TablePoint lower = window.Lower(j);
    const TablePoint& upper = points[window.upper + j];
    const double slope =
        (static_cast<double>(upper.temperature) - static_cast<double>(lower.temperature)) /
        RawDistance(upper.raw, lower.raw);
    sum = sum + slope * RawDistance(raw, lower.raw) + static_cast<double>(lower.temperature);
  }
  return static_cast<float>(sum / static_cast<double>(pairs));
}

// The interpolation of one raw value; rising: the points are in rising
// order of raw, so the scan may search instead.
float Interpolate(std::span<const TablePoint> points, int raw, InterpolationVariant variant,
                  bool rising);

std::shared_ptr<TemperatureLookup> NewLookup() {
  try {
    return std::make_shared<TemperatureLookup>();  // all 0.0
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<const TemperatureLookup> Interpolated(std::span<const TablePoint> points,
                                                      InterpolationVariant variant,
                                                      size_t filled = kLookupFilled) {
  auto lookup = NewLookup();
  if (!lookup) return nullptr;
  const bool rising = RisingRaw(points);
  for (size_t raw = 0; raw < filled; ++raw) {
    (*lookup)[raw] = Interpolate(points, static_cast<int>(raw), variant, rising);
  }
  return lookup;
}

}  // namespace

float InterpolatePoints(std::span<const TablePoint> points, int raw, InterpolationVariant variant) {
  return Interpolate(points, raw, variant, false);
}

namespace {

float Interpolate(std::span<const TablePoint> points, int raw, InterpolationVariant variant,
                  bool rising) {
  if (points.size() <= kPairs) return 0.0f;
  const size_t end =
      variant == InterpolationVariant::Older ? points.size() : points.size() - kPairs;
  const std::optional<Neighbours> window =
      rising ? ScanSorted(points, raw, end) : Scan(points, raw, end);
  if (!window) return 0.0f;
  if (window->Empty()) return kEmptyWindowTemperature;
  switch (variant) {
    case InterpolationVariant::Single:
      return LinesSingle(points, *window, raw);
    case InterpolationVariant::Older:
      return LinesOlder(points, *window, raw);
    case InterpolationVariant::Double:
      break;
  }
  return LinesDouble(points, *window, raw);
}

}  // namespace

CTemperatureTable::CTemperatureTable(InterpolationVariant variant, LookupSpan span)
    : variant_(variant),
      span_(span),
      points_(std::make_shared<const TablePoints>(TablePoints{{0, 0.0f}})) {}

int CTemperatureTable::Load(int resourceId, const platform::Module* module, const char16_t* type,
                            int tableIndex) {
  CFileBuffer buffer;
  if (buffer.Load(resourceId, module, type) == nullptr) return 0;
  return LoadBytes({buffer.Begin(), buffer.Size()}, tableIndex);
}

int CTemperatureTable::LoadFile(const char16_t* path, int tableIndex) {
  CFileBuffer buffer;
  if (buffer.Load(path) == nullptr) return 0;
  return LoadBytes({buffer.Begin(), buffer.Size()}, tableIndex);
}

int CTemperatureTable::LoadBytes(std::span<const uint8_t> bytes, int tableIndex) {
  const std::optional<TableSpan> table = LocateTable(bytes, tableIndex);
  if (!table) return 0;
  return ReplacePoints(ReadPoints(*table));
}

int CTemperatureTable::ReplacePoints(std::shared_ptr<const TablePoints> points) {
  if (!points) return 0;
  std::lock_guard lock(mutex_);
  points_ = std::move(points);
  return 1;
}

int CTemperatureTable::UpdateLut() {
  return PublishLookup(MakeLookup(*Points(), variant_, span_));
}

int CTemperatureTable::BuildLut() { return PublishLookup(Interpolated(*Points(), variant_)); }

float CTemperatureTable::Interpolate(int raw) const {
  return InterpolatePoints(*Points(), raw, variant_);
}

std::shared_ptr<const TemperatureLookup> CTemperatureTable::MakeLookup(
    std::span<const TablePoint> points, InterpolationVariant variant, LookupSpan span) {
  if (span == LookupSpan::AllRawValues) return Interpolated(points, variant, kLookupEntries);
  if (points.size() < kLookupFilled) return Interpolated(points, variant);
  // A dense table: entry k is the temperature of point k, whatever its raw.
  auto lookup = NewLookup();
  if (!lookup) return nullptr;
  for (size_t k = 0; k < kLookupFilled; ++k) (*lookup)[k] = points[k].temperature;
  return lookup;
}

void CTemperatureTable::Install(std::shared_ptr<const TablePoints> points,
                                std::shared_ptr<const TemperatureLookup> lookup) noexcept {
  std::lock_guard lock(mutex_);
  points_ = std::move(points);
  lookup_ = std::move(lookup);
}

std::shared_ptr<const TablePoints> CTemperatureTable::Points() const {
  std::lock_guard lock(mutex_);
  return points_;
}

std::shared_ptr<const TemperatureLookup> CTemperatureTable::Lookup() const {
  std::lock_guard lock(mutex_);
  return lookup_;
}

int CTemperatureTable::PublishLookup(std::shared_ptr<const TemperatureLookup> lookup) {
  if (!lookup) return 0;
  std::lock_guard lock(mutex_);
  lookup_ = std::move(lookup);
  return 1;
}

}  // namespace quvex
