// Helpers for table tests: the shipped tables read from the source tree, a
// module holding them as "TBL" 114 and 115, table files of the three forms,
// and a camera profile of a chosen interpolation variant.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/table_file.h"
#include "quvex_platform/resources.h"
#include "tests/support/test_profile.h"

namespace quvex::test {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// "sparse_114" and so on, from data/tables.
inline Bytes ShippedTable(const std::string& name) {
  return ReadBytes(std::string(QUVEX_SOURCE_DIR) + "/data/tables/" + name + ".tbl");
}

inline std::u16string Utf16(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// A path of its own for each test process, as test cases may run in parallel.
inline std::string TempPath(const std::string& name) {
  return "/tmp/quvex_test_" + std::to_string(::getpid()) + "_" + name;
}

inline void AppendInt32(Bytes& bytes, int32_t value) {
  uint8_t raw[4];
  std::memcpy(raw, &value, 4);
  bytes.insert(bytes.end(), raw, raw + 4);
}

inline void AppendPoints(Bytes& bytes, const TablePoints& points) {
  for (const TablePoint& point : points) {
    AppendInt32(bytes, point.raw);
    uint8_t raw[4];
    std::memcpy(raw, &point.temperature, 4);
    bytes.insert(bytes.end(), raw, raw + 4);
  }
}

inline Bytes Headerless(const TablePoints& points) {
  Bytes bytes;
  AppendInt32(bytes, static_cast<int32_t>(points.size()));
  AppendPoints(bytes, points);
  return bytes;
}

inline Bytes WithMagic(std::string_view magic) { return Bytes(magic.begin(), magic.end()); }

inline Bytes SingleTable(const TablePoints& points) {
  Bytes bytes = WithMagic(QUVEX_TABLE_MAGIC_SINGLE);
  AppendInt32(bytes, static_cast<int32_t>(points.size()));
  AppendPoints(bytes, points);
  return bytes;
}

inline Bytes MultiTable(const std::vector<TablePoints>& tables) {
  Bytes bytes = WithMagic(QUVEX_TABLE_MAGIC_MULTI);
  AppendInt32(bytes, static_cast<int32_t>(tables.size()));
  int32_t offset = static_cast<int32_t>(bytes.size() + 4 * tables.size());
  for (const TablePoints& table : tables) {
    AppendInt32(bytes, offset);
    offset += static_cast<int32_t>(4 + 8 * table.size());
  }
  for (const TablePoints& table : tables) {
    AppendInt32(bytes, static_cast<int32_t>(table.size()));
    AppendPoints(bytes, table);
  }
  return bytes;
}

inline TablePoints PointsOf(const Bytes& headerless) {
  int32_t count;
  std::memcpy(&count, headerless.data(), 4);
  TablePoints points(static_cast<size_t>(count));
  std::memcpy(points.data(), headerless.data() + 4, points.size() * sizeof(TablePoint));
  return points;
}

// A rising table of count points, raw 100 + 10 i, temperature i / 2.
inline TablePoints Ramp(size_t count, float offset = 0.0f) {
  TablePoints points;
  for (size_t i = 0; i < count; ++i) {
    points.push_back({static_cast<int32_t>(100 + 10 * i), offset + static_cast<float>(i) / 2.0f});
  }
  return points;
}

// The shipped tables of one kind ("sparse" or "dense") as a module.
class TableModule {
 public:
  explicit TableModule(const std::string& kind)
      : low_(ShippedTable(kind + "_114")), high_(ShippedTable(kind + "_115")) {
    entries_[0] = {u"TBL", 114, low_.data(), static_cast<uint32_t>(low_.size())};
    entries_[1] = {u"TBL", 115, high_.data(), static_cast<uint32_t>(high_.size())};
  }
  TableModule(const TableModule&) = delete;
  TableModule& operator=(const TableModule&) = delete;

  const platform::Module* Module() const { return &module_; }
  const Bytes& Low() const { return low_; }
  const Bytes& High() const { return high_; }

 private:
  Bytes low_, high_;
  platform::ResourceEntry entries_[2]{};
  platform::Module module_{entries_, 2};
};

// A camera profile of the newer generation without device or processor record.

}  // namespace quvex::test
