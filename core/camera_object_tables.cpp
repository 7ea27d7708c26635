// The camera object's temperature tables: loading a table file into table A
// and/or B, and converting a 16-bit raw image to temperatures.
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "core/camera_object.h"
#include "core/table_file.h"
#include "imaging/file_buffer.h"

namespace quvex {
namespace {

// A table of the file, read and given its lookup, ready to be installed.
struct PreparedTable {
  std::shared_ptr<const TablePoints> points;
  std::shared_ptr<const TemperatureLookup> lookup;
};

std::optional<PreparedTable> Prepare(const std::optional<TableSpan>& table,
                                     const CTemperatureTable& target) {
  if (!table) return std::nullopt;
  PreparedTable prepared{ReadPoints(*table), nullptr};
  if (!prepared.points) return std::nullopt;
  prepared.lookup =
      CTemperatureTable::MakeLookup(*prepared.points, target.Variant(), target.Span());
  if (!prepared.lookup) return std::nullopt;
  return prepared;
}

// The table a single-table camera object takes from a table file.
std::optional<TableSpan> LocateFileTable(std::span<const uint8_t> bytes, TableFileLoader loader) {
  if (loader == TableFileLoader::HeaderlessOnly) return LocateHeaderless(bytes);
  std::optional<TableSpan> table = LocateTable(bytes, 0);
  if (loader == TableFileLoader::AllFormsIndexed && table &&
      (table->count < 1 || table->count > kLookupFilled)) {
    return std::nullopt;
  }
  return table;
}

int8_t ToInt8(float t) {
  if (std::isnan(t)) return 0;
  if (t <= -128.0f) return -128;
  if (t >= 127.0f) return 127;
  return static_cast<int8_t>(t);
}

uint8_t ToUInt8(float t) {
  if (std::isnan(t)) return 0;
  if (t <= 0.0f) return 0;
  if (t >= 255.0f) return 255;
  return static_cast<uint8_t>(t);
}

int32_t ToInt32(float t) {
  if (std::isnan(t)) return 0;
  if (t >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (t < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(t);
}

// Writes width x height converted temperatures of a 16-bit raw image, rows
// from the last stored row first when rowOrderFlag is 0.
template <typename T, typename Store>
int ConvertImage(const CTemperatureTable& table, const CDibImage* raw, T* out, int rowOrderFlag,
                 Store store) {
  if (raw == nullptr || out == nullptr || raw->Bits() == nullptr) return 0;
  const int32_t width = raw->Width();
  const int32_t height = raw->Height();
  const int64_t stride = raw->Stride();
  if (raw->BitsPerPixel() != 16 || width < 0 || height < 0 || stride < int64_t{width} * 2) return 0;
  const std::shared_ptr<const TemperatureLookup> lookup = table.Lookup();
  const uint8_t* bits = raw->Bits();
  for (int32_t r = 0; r < height; ++r) {
    const int64_t row = rowOrderFlag != 0 ? r : height - 1 - r;
    const uint8_t* samples = bits + row * stride;
    T* line = out + int64_t{r} * width;
    if (!lookup) {  // never built: 0.0 everywhere
      for (int32_t x = 0; x < width; ++x) line[x] = store(0.0f);
      continue;
    }
    const float* temperatures = lookup->data();
    // Unrolled: the loop is bound by its two loads per pixel, not its branches.
#pragma GCC unroll 8
    for (int32_t x = 0; x < width; ++x) {
      uint16_t sample;
      std::memcpy(&sample, samples + 2 * x, sizeof sample);
      line[x] = store(temperatures[sample]);
    }
  }
  return 1;
}

}  // namespace

const CTemperatureTable& CQuvex::ActiveTable() const {
  if (profile_.tables == TableSet::ReloadedSingle) return tableA_;
  return rangeMode_.load(std::memory_order_relaxed) == QUVEX_RANGE_HIGH ? tableB_ : tableA_;
}

bool CQuvex::UserTableLoaded() const {
  std::lock_guard lock(tableMutex_);
  return userTable_;
}

void CQuvex::ReloadBuiltInTable(int mode) {
  const int id = mode == QUVEX_RANGE_HIGH ? QUVEX_TBL_HIGH : QUVEX_TBL_LOW;
  std::lock_guard lock(tableMutex_);
  // The built-in tables never change: one already in place is kept.
  if (userTable_ || builtInTable_ == id) return;
  std::shared_ptr<const TablePoints> points;
  CFileBuffer resource;
  if (resource.Load(id, profile_.module, u"TBL") != nullptr) {
    const std::optional<TableSpan> table = LocateHeaderless({resource.Begin(), resource.Size()});
    if (table) points = ReadPoints(*table);
  }
  // A table that cannot be read leaves the points as they were; the lookup
  // is built from them all the same.
  const bool loaded = points != nullptr;
  if (!loaded) points = tableA_.Points();
  auto lookup = CTemperatureTable::MakeLookup(*points, tableA_.Variant(), tableA_.Span());
  if (!lookup) return;
  tableA_.Install(std::move(points), std::move(lookup));
  if (loaded) builtInTable_ = id;
}

int CQuvex::SetSingleTable(const char16_t* name) {
  // No name applies the range mode again: its built-in table, unless a file
  // was loaded before.
  if (name == nullptr || name[0] == 0) return SetRangeMode(rangeMode_.load());
  CFileBuffer file;
  if (file.LoadFile(name) == nullptr) return PushError(QUVEX_ERR_FILE), 0;
  const std::span<const uint8_t> bytes{file.Begin(), file.Size()};
  const std::optional<PreparedTable> prepared =
      Prepare(LocateFileTable(bytes, profile_.tableFiles), tableA_);
  if (!prepared) return PushError(QUVEX_ERR_FILE), 0;
  std::lock_guard lock(tableMutex_);
  tableA_.Install(prepared->points, prepared->lookup);
  userTable_ = true;
  builtInTable_ = 0;
  return 1;
}

int CQuvex::SetTable(const char16_t* name) {
  if (profile_.tables == TableSet::ReloadedSingle) return SetSingleTable(name);
  if (name == nullptr || name[0] == 0) return PushError(QUVEX_ERR_FILE), 0;
  CFileBuffer file;
  if (file.LoadFile(name) == nullptr) return PushError(QUVEX_ERR_FILE), 0;
  const std::span<const uint8_t> bytes{file.Begin(), file.Size()};

  // Every table is read and given its lookup before any is installed, so a
  // failure leaves both tables as they were.
  CTemperatureTable& byRange = rangeMode_.load() == QUVEX_RANGE_HIGH ? tableB_ : tableA_;
  CTemperatureTable* targets[2] = {&byRange, nullptr};
  std::optional<PreparedTable> prepared[2];
  if (RecogniseTableForm(bytes) == TableForm::Multi) {
    const int32_t tables = MultiTableCount(bytes).value_or(0);
    if (tables <= 0) return PushError(QUVEX_ERR_FILE), 0;
    targets[0] = &tableA_;
    if (tables >= 2) targets[1] = &tableB_;
  }
  for (int i = 0; i < 2; ++i) {
    if (targets[i] == nullptr) continue;
    prepared[i] = Prepare(LocateTable(bytes, i), *targets[i]);
    if (!prepared[i]) return PushError(QUVEX_ERR_FILE), 0;
  }
  for (int i = 0; i < 2; ++i) {
    if (targets[i] != nullptr) targets[i]->Install(prepared[i]->points, prepared[i]->lookup);
  }
  return 1;
}

int CQuvex::ToTemperatureInt8(const CDibImage* raw, int8_t* out, int rowOrderFlag) const {
  return ConvertImage(ActiveTable(), raw, out, rowOrderFlag, ToInt8);
}

int CQuvex::ToTemperatureUInt8(const CDibImage* raw, uint8_t* out, int rowOrderFlag) const {
  return ConvertImage(ActiveTable(), raw, out, rowOrderFlag, ToUInt8);
}

int CQuvex::ToTemperatureInt32(const CDibImage* raw, int32_t* out, int rowOrderFlag) const {
  return ConvertImage(ActiveTable(), raw, out, rowOrderFlag, ToInt32);
}

int CQuvex::ToTemperatureFloat(const CDibImage* raw, float* out, int rowOrderFlag) const {
  return ConvertImage(ActiveTable(), raw, out, rowOrderFlag, [](float t) { return t; });
}

}  // namespace quvex
