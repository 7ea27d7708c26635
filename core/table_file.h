// The three forms of a calibration table, as a file or a built-in resource
// (all little-endian):
//   headerless: int32 N, then N points; N must equal (size - 4) / 8;
//   single:     24-byte magic "...1000", int32 N, then N points;
//   multi:      24-byte magic "...2000", int32 n, n int32 offsets from the
//               start, and at each offset int32 N followed by N points.
// Every count and offset is checked against the loaded bytes before use.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quvex {

struct TablePoint {
  int32_t raw;
  float temperature;
};
static_assert(sizeof(TablePoint) == 8);
using TablePoints = std::vector<TablePoint>;

inline constexpr std::string_view QUVEX_TABLE_MAGIC_SINGLE{"MORVAX VANTOR TABLE 1000"};
inline constexpr std::string_view QUVEX_TABLE_MAGIC_MULTI{"MORVAX VANTOR TABLE 2000"};

enum class TableForm { Headerless, Single, Multi };

// Where one table's points lie in the loaded bytes.
struct TableSpan {
  const uint8_t* records;
  uint32_t count;  // 0 for a count of 0 or less
};

// The form by the first 24 bytes; shorter data is headerless.
TableForm RecogniseTableForm(std::span<const uint8_t> bytes);
// The number of tables n of a multi-table file (may be 0 or negative); none
// when the bytes are too short to hold it.
std::optional<int32_t> MultiTableCount(std::span<const uint8_t> bytes);
// The table of a headerless or single-table file (index ignored), or the
// index-th table of a multi-table file; none when the bytes do not hold it.
std::optional<TableSpan> LocateTable(std::span<const uint8_t> bytes, int index);
// The table of a headerless file, whatever its first bytes say; none unless N
// equals (size - 4) / 8.
std::optional<TableSpan> LocateHeaderless(std::span<const uint8_t> bytes);
// Copies the points in file order; null when memory runs out.
std::shared_ptr<const TablePoints> ReadPoints(const TableSpan& span);

}  // namespace quvex
