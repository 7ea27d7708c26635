// Parsing of the table forms. Sizes and offsets are compared in 64-bit
// arithmetic so that no count or offset in a file can wrap past the check.
#include "core/table_file.h"

#include <bit>
#include <cstring>
#include <new>

namespace quvex {
namespace {

static_assert(std::endian::native == std::endian::little, "points are copied as stored");

constexpr size_t kMagicSize = 24;
constexpr uint64_t kPointSize = sizeof(TablePoint);

// The int32 at offset, when four bytes are there.
std::optional<int32_t> ReadInt32(std::span<const uint8_t> bytes, uint64_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
  int32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// The table whose count N is at offset, with its points right after it;
// none when the points would reach past the end.
std::optional<TableSpan> TableAt(std::span<const uint8_t> bytes, uint64_t offset) {
  const std::optional<int32_t> count = ReadInt32(bytes, offset);
  if (!count) return std::nullopt;
  const uint32_t points = *count > 0 ? static_cast<uint32_t>(*count) : 0;
  const uint64_t first = offset + 4;
  if (points * kPointSize > bytes.size() - first) return std::nullopt;
  return TableSpan{bytes.data() + first, points};
}

bool StartsWith(std::span<const uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= kMagicSize && std::memcmp(bytes.data(), magic.data(), kMagicSize) == 0;
}

}  // namespace

TableForm RecogniseTableForm(std::span<const uint8_t> bytes) {
  if (StartsWith(bytes, QUVEX_TABLE_MAGIC_SINGLE)) return TableForm::Single;
  if (StartsWith(bytes, QUVEX_TABLE_MAGIC_MULTI)) return TableForm::Multi;
  return TableForm::Headerless;
}

std::optional<int32_t> MultiTableCount(std::span<const uint8_t> bytes) {
  if (RecogniseTableForm(bytes) != TableForm::Multi) return std::nullopt;
  return ReadInt32(bytes, kMagicSize);
}

std::optional<TableSpan> LocateTable(std::span<const uint8_t> bytes, int index) {
  switch (RecogniseTableForm(bytes)) {
    case TableForm::Single:
      return TableAt(bytes, kMagicSize);
    case TableForm::Multi: {
      const std::optional<int32_t> tables = MultiTableCount(bytes);
      if (!tables || index < 0 || index >= *tables) return std::nullopt;
      const auto offset = ReadInt32(bytes, kMagicSize + 4 + 4 * static_cast<uint64_t>(index));
      if (!offset || *offset < 0) return std::nullopt;
      return TableAt(bytes, static_cast<uint64_t>(*offset));
    }
    case TableForm::Headerless:
      break;
  }
  return LocateHeaderless(bytes);
}

std::optional<TableSpan> LocateHeaderless(std::span<const uint8_t> bytes) {
  // The length check: N equals (size - 4) / 8, the remainder dropped; a file
  // shorter than its count has no table.
  const std::optional<int32_t> count = ReadInt32(bytes, 0);
  if (!count || *count < 0) return std::nullopt;
  if (static_cast<uint64_t>(*count) != (bytes.size() - 4) / kPointSize) return std::nullopt;
  return TableAt(bytes, 0);
}

std::shared_ptr<const TablePoints> ReadPoints(const TableSpan& span) {
  try {
    auto points = std::make_shared<TablePoints>(span.count);
    if (span.count > 0) std::memcpy(points->data(), span.records, span.count * kPointSize);
    return points;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace quvex
