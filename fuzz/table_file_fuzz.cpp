// Table files in every form (headerless, single table, several tables by
// offset), as a table file or a built-in table is read: the form, each table
// it may hold, its points, and the temperatures the lookup would give. A
// table the parser accepts must lie wholly inside the input.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/table_file.h"
#include "core/temperature_table.h"

namespace {

using quvex::InterpolationVariant;
using quvex::TablePoint;

constexpr InterpolationVariant kVariants[] = {
    InterpolationVariant::Double, InterpolationVariant::Single, InterpolationVariant::Older};
// A whole lookup costs 16384 interpolations; per input only the raw values
// around the first points and at the ends of the lookup are taken.
constexpr size_t kSampledPoints = 32;

void Require(bool condition) {
  if (!condition) std::abort();
}

void Temperatures(std::span<const TablePoint> points) {
  for (const InterpolationVariant variant : kVariants) {
    if (points.size() >= quvex::kLookupFilled) {  // dense: copied, not interpolated
      Require(quvex::CTemperatureTable::MakeLookup(points, variant) != nullptr);
      continue;
    }
    for (const int raw : {0, 16383, 16384, -1}) quvex::InterpolatePoints(points, raw, variant);
    for (size_t i = 0; i < points.size() && i < kSampledPoints; ++i) {
      const int64_t raw = points[i].raw;
      for (const int64_t near : {raw - 1, raw, raw + 1}) {
        if (near >= INT32_MIN && near <= INT32_MAX) {
          quvex::InterpolatePoints(points, static_cast<int>(near), variant);
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const quvex::TableForm form = quvex::RecogniseTableForm(bytes);
  const int32_t tables = quvex::MultiTableCount(bytes).value_or(1);
  Require(form == quvex::TableForm::Multi || tables == 1);
  for (const int64_t index : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{tables} - 1}) {
    if (index < INT32_MIN || index > INT32_MAX) continue;
    const auto table = quvex::LocateTable(bytes, static_cast<int>(index));
    if (!table) continue;
    const uint8_t* end = data + size;
    Require(table->records >= data && table->records <= end);
    Require(table->count <= static_cast<size_t>(end - table->records) / sizeof(TablePoint));
    const auto points = quvex::ReadPoints(*table);
    Require(points != nullptr && points->size() == table->count);
    Temperatures(*points);
  }
  return 0;
}
