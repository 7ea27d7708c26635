// Temperature tables: interpolation against a reference written from the
// rules, lookup builds, loads from resources and files, and published snapshots.
#include "core/temperature_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "tests/support/test_tables.h"

namespace quvex {
namespace {

using test::Bytes;

float F(double value) { return static_cast<float>(value); }
double D(int32_t value) { return static_cast<double>(value); }

// The rules, step by step, without the structure of the implementation.
float Reference(const TablePoints& p, int a, InterpolationVariant variant) {
  const bool older = variant == InterpolationVariant::Older;
  const size_t n = p.size();
  if (static_cast<long>(n) - 10 <= 0) return 0.0f;
  std::vector<TablePoint> met;  // points below a, in scan order
  long stop = -1;
  for (size_t i = 0; i < (older ? n : n - 10); ++i) {
    if (p[i].raw > a) {
      stop = static_cast<long>(i);
      break;
    }
    if (p[i].raw < a) met.push_back(p[i]);
  }
  if (stop < 0) return 0.0f;
  std::reverse(met.begin(), met.end());
  met.resize(std::max<size_t>(met.size(), 10), TablePoint{0, 0.0f});
  if (met[0].raw == 0 && met[0].temperature == 0.0f) return 0.0f;  // empty window
  const size_t pairs = older ? std::min<size_t>(10, n - static_cast<size_t>(stop)) : 10;

  if (variant == InterpolationVariant::Older) {
    double sum = 0.0;
    for (size_t j = 0; j < pairs; ++j) {
      const TablePoint lo = met[j], up = p[static_cast<size_t>(stop) + j];
      sum = sum +
            (double{up.temperature} - lo.temperature) / (D(up.raw) - lo.raw) * (D(a) - lo.raw) +
            lo.temperature;
    }
    return F(sum / static_cast<double>(pairs));
  }
  if (variant == InterpolationVariant::Single) {
    float sum = 0.0f;
    for (size_t j = 0; j < pairs; ++j) {
      const TablePoint lo = met[j], up = p[static_cast<size_t>(stop) + j];
      const float d = up.temperature - lo.temperature;
      const float s = d / static_cast<float>(up.raw - lo.raw);
      sum = sum + s * static_cast<float>(a - lo.raw) + lo.temperature;
    }
    return sum / 10.0f;
  }
  float sum = 0.0f;
  for (size_t j = 0; j < pairs; ++j) {
    const TablePoint lo = met[j], up = p[static_cast<size_t>(stop) + j];
    const float d = F(double{up.temperature} - double{lo.temperature});
    const float s = F(double{d} / (D(up.raw) - D(lo.raw)));
    sum = F(double{sum} + double{s} * (D(a) - D(lo.raw)) + double{lo.temperature});
  }
  return F(double{sum} / 10.0);
}

constexpr InterpolationVariant kVariants[] = {
    InterpolationVariant::Double, InterpolationVariant::Single, InterpolationVariant::Older};

bool SameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Checks the lookup of points against the reference for every filled entry
// and zeros beyond.
void ExpectLookupMatchesReference(const TablePoints& points, InterpolationVariant variant) {
  CTemperatureTable table(variant);
  ASSERT_EQ(table.ReplacePoints(std::make_shared<const TablePoints>(points)), 1);
  ASSERT_EQ(table.UpdateLut(), 1);
  const auto lookup = table.Lookup();
  ASSERT_TRUE(lookup);
  int mismatches = 0;
  for (int raw = 0; raw < static_cast<int>(kLookupFilled); ++raw) {
    const float expected = Reference(points, raw, variant);
    if (!SameFloat((*lookup)[raw], expected) && ++mismatches <= 5) {
      ADD_FAILURE() << "raw " << raw << ": " << (*lookup)[raw] << " expected " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(std::all_of(lookup->begin() + kLookupFilled, lookup->end(),
                          [](float t) { return t == 0.0f; }));
}

TEST(TemperatureTableInterpolation, ShippedSparseTablesMatchReferenceInEveryVariant) {
  for (const char* name : {"sparse_114", "sparse_115"}) {
    const TablePoints points = test::PointsOf(test::ShippedTable(name));
    for (InterpolationVariant variant : kVariants) {
      SCOPED_TRACE(std::string(name) + " variant " + std::to_string(static_cast<int>(variant)));
      ExpectLookupMatchesReference(points, variant);
    }
  }
}

TEST(TemperatureTableInterpolation, IrregularTablesMatchReference) {
  std::mt19937 random(20240607);
  for (size_t count : {11u, 12u, 15u, 40u}) {
    TablePoints points;
    for (size_t i = 0; i < count; ++i) {
      // Repeats, an occasional step back, and one negative raw value.
      const int raw = static_cast<int>(random() % 16000) - (i == 3 ? 20000 : 0);
      const float temperature =
          static_cast<float>(static_cast<int>(random() % 4000) - 1000) / 10.0f;
      points.push_back({raw, temperature});
      if (i % 5 == 1) points.push_back({raw, temperature + 1.5f});
    }
    std::sort(points.begin(), points.begin() + static_cast<long>(points.size() / 2),
              [](const TablePoint& a, const TablePoint& b) { return a.raw < b.raw; });
    TablePoints rising = points;  // repeats in rising order: the lookup searches instead
    std::stable_sort(rising.begin(), rising.end(),
                     [](const TablePoint& a, const TablePoint& b) { return a.raw < b.raw; });
    for (InterpolationVariant variant : kVariants) {
      SCOPED_TRACE("count " + std::to_string(count));
      ExpectLookupMatchesReference(points, variant);
      ExpectLookupMatchesReference(rising, variant);
    }
  }
}

TEST(TemperatureTableInterpolation, ShippedTableAEdges) {
  const TablePoints a = test::PointsOf(test::ShippedTable("sparse_114"));
  CTemperatureTable table;
  table.ReplacePoints(std::make_shared<const TablePoints>(a));

  // Raw 5300: one real lower point (5299, -0.8), nine empty slots (0, 0.0).
  double sum = 0.0;
  for (int j = 0; j < 10; ++j) {
    const TablePoint lo = j == 0 ? TablePoint{5299, -0.8f} : TablePoint{0, 0.0f};
    const TablePoint up = a[1 + j];
    sum +=
        lo.temperature + (up.temperature - lo.temperature) * (5300.0 - lo.raw) / (up.raw - lo.raw);
  }
  EXPECT_NEAR(table.Interpolate(5300), sum / 10.0, 1e-3);

  // Raw 8062 takes its upper neighbours from (8063, 95.3) on: changing the
  // point after the window leaves it alone, changing the first one does not.
  ASSERT_EQ(a[a.size() - 11].raw, 8063);
  const float at8062 = table.Interpolate(8062);
  EXPECT_NEAR(at8062, 95.3f, 1.0f);
  TablePoints moved = a;
  moved.back().temperature = 500.0f;
  table.ReplacePoints(std::make_shared<const TablePoints>(moved));
  EXPECT_EQ(table.Interpolate(8062), at8062);
  moved[moved.size() - 11].temperature = 500.0f;
  table.ReplacePoints(std::make_shared<const TablePoints>(moved));
  EXPECT_NE(table.Interpolate(8062), at8062);

  // A point whose raw equals the value is ignored, as is every repeat of it.
  table.ReplacePoints(std::make_shared<const TablePoints>(a));
  const float at5317 = table.Interpolate(5317);
  TablePoints repeats = a;
  for (TablePoint& point : repeats) {
    if (point.raw == 5317) point.temperature = -300.0f;
  }
  table.ReplacePoints(std::make_shared<const TablePoints>(repeats));
  EXPECT_EQ(table.Interpolate(5317), at5317);

  table.ReplacePoints(std::make_shared<const TablePoints>(a));
  table.UpdateLut();
  const auto lookup = table.Lookup();
  EXPECT_NE((*lookup)[8062], 0.0f);
  for (int raw : {8063, 8064, 8166, 9000, 16383, 16384, 65535})
    EXPECT_EQ((*lookup)[raw], 0.0f) << raw;
  // At or below the first raw value no point lies below: the empty window.
  for (int raw : {0, 1000, 5299}) EXPECT_EQ((*lookup)[raw], kEmptyWindowTemperature) << raw;
}

TEST(TemperatureTableInterpolation, TenPointsOrFewerGiveZeros) {
  for (size_t count : {0u, 1u, 10u}) {
    CTemperatureTable table;
    table.ReplacePoints(std::make_shared<const TablePoints>(test::Ramp(count, 5.0f)));
    table.UpdateLut();
    const auto lookup = table.Lookup();
    EXPECT_TRUE(std::all_of(lookup->begin(), lookup->end(), [](float t) { return t == 0.0f; }))
        << count;
  }
  // Eleven points scan only the first point, which is never above a raw
  // value with a point below it; twelve give values.
  CTemperatureTable table;
  table.ReplacePoints(std::make_shared<const TablePoints>(test::Ramp(11, 5.0f)));
  EXPECT_EQ(table.Interpolate(105), 0.0f);
  table.ReplacePoints(std::make_shared<const TablePoints>(test::Ramp(12, 5.0f)));
  EXPECT_NE(table.Interpolate(105), 0.0f);
}

TEST(TemperatureTableInterpolation, OlderVariantScansToTheEndWithShorterWindows) {
  const TablePoints points = test::Ramp(20, 1.0f);  // raw 100 .. 290
  CTemperatureTable newer(InterpolationVariant::Double);
  CTemperatureTable older(InterpolationVariant::Older);
  newer.ReplacePoints(std::make_shared<const TablePoints>(points));
  older.ReplacePoints(std::make_shared<const TablePoints>(points));
  EXPECT_EQ(newer.Interpolate(285), 0.0f);  // the last ten points are never above
  EXPECT_NE(older.Interpolate(285), 0.0f);  // one pair: (280, 10.0) to (290, 10.5)
  EXPECT_EQ(older.Interpolate(290), 0.0f);  // nothing above the last point
}

TEST(TemperatureTableLookup, DenseTableIsCopiedByPosition) {
  TablePoints dense(kLookupFilled);
  for (size_t k = 0; k < dense.size(); ++k) {
    dense[k] = {static_cast<int32_t>(99999 - k), static_cast<float>(k) * 0.25f};
  }
  CTemperatureTable table;
  table.ReplacePoints(std::make_shared<const TablePoints>(dense));
  table.UpdateLut();
  const auto lookup = table.Lookup();
  for (size_t k = 0; k < kLookupFilled; k += 997) EXPECT_EQ((*lookup)[k], dense[k].temperature);
  EXPECT_EQ((*lookup)[kLookupFilled - 1], dense.back().temperature);
  EXPECT_EQ((*lookup)[kLookupFilled], 0.0f);
}

// Ascending raw 1 .. count, temperatures on a parabola, so that the chords of
// an interpolation differ from the points themselves.
TablePoints Parabola(size_t count) {
  TablePoints points(count);
  for (size_t k = 0; k < count; ++k) {
    points[k] = {static_cast<int32_t>(k + 1), 3.0f + static_cast<float>(k * k) * 1e-3f};
  }
  return points;
}

TEST(TemperatureTableLookup, BuildLutInterpolatesEvenADenseTable) {
  const TablePoints points = Parabola(kLookupFilled);
  CTemperatureTable table;
  table.ReplacePoints(std::make_shared<const TablePoints>(points));
  table.BuildLut();
  const auto lookup = table.Lookup();
  for (int raw : {0, 1, 2, 100, 8000, 16372, 16373, 16383}) {
    EXPECT_TRUE(SameFloat((*lookup)[raw], Reference(points, raw, InterpolationVariant::Double)))
        << raw;
  }
  EXPECT_NE((*lookup)[100], points[100].temperature);
}

TEST(TemperatureTableLookup, TableOneShortOfDenseIsInterpolated) {
  const TablePoints points = Parabola(kLookupFilled - 1);
  CTemperatureTable table;
  table.ReplacePoints(std::make_shared<const TablePoints>(points));
  table.UpdateLut();
  const auto lookup = table.Lookup();
  for (int raw : {0, 1, 2, 100, 8000, 16371, 16372, 16383}) {
    EXPECT_TRUE(SameFloat((*lookup)[raw], Reference(points, raw, InterpolationVariant::Double)))
        << raw;
  }
  EXPECT_NE((*lookup)[100], points[100].temperature);  // not a copy
}

TEST(TemperatureTableShipped, SparseTablesHoldTheirCalibrationBounds) {
  struct Expect {
    const char* name;
    size_t bytes, count;
    TablePoint first, last, lastScanned;
    float coldest, warmest;
  };
  for (const Expect& e :
       {Expect{"sparse_114", 2244, 280, {5299, -0.8f}, {8166, 99.0f}, {8063, 95.3f}, -0.8f, 99.6f},
        Expect{"sparse_115", 2252, 281, {2046, 14.5f}, {3722, 209.0f}, {3499, 184.7f}, 12.0f,
               209.0f}}) {
    SCOPED_TRACE(e.name);
    const Bytes bytes = test::ShippedTable(e.name);
    ASSERT_EQ(bytes.size(), e.bytes);
    const TablePoints p = test::PointsOf(bytes);
    ASSERT_EQ(p.size(), e.count);
    EXPECT_TRUE(SameFloat(p.front().temperature, e.first.temperature));
    EXPECT_EQ(p.front().raw, e.first.raw);
    EXPECT_EQ(p.back().raw, e.last.raw);
    EXPECT_EQ(p.back().temperature, e.last.temperature);
    EXPECT_EQ(p[p.size() - 11].raw, e.lastScanned.raw);
    EXPECT_EQ(p[p.size() - 11].temperature, e.lastScanned.temperature);
    EXPECT_LT(p[p.size() - 12].raw, e.lastScanned.raw);
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end(), [](const TablePoint& a, const TablePoint& b) {
      return a.raw < b.raw;
    }));
    const auto [cold, warm] = std::minmax_element(
        p.begin(), p.end(),
        [](const TablePoint& a, const TablePoint& b) { return a.temperature < b.temperature; });
    EXPECT_EQ(cold->temperature, e.coldest);
    EXPECT_EQ(warm->temperature, e.warmest);
  }
  const TablePoints a = test::PointsOf(test::ShippedTable("sparse_114"));
  int repeats = 0;
  for (size_t i = 1; i < a.size(); ++i) repeats += a[i].raw == a[i - 1].raw;
  EXPECT_EQ(repeats, 31);
  EXPECT_EQ(a[4].raw, 5317);
  EXPECT_EQ(a[4].temperature, 4.1f);
}

TEST(TemperatureTableLookup, ShippedDenseTablesCopyTheirValues) {
  struct Expect {
    const char* name;
    float atOne, atTen, atTop;
  };
  for (const Expect& e : {Expect{"dense_114", -68.3f, -270.7f, 178.2f},
                          Expect{"dense_115", -55.3f, -219.1f, 825.9f}}) {
    const Bytes bytes = test::ShippedTable(e.name);
    EXPECT_EQ(bytes.size(), 131076u);
    CTemperatureTable table;
    ASSERT_EQ(table.ReplacePoints(std::make_shared<const TablePoints>(test::PointsOf(bytes))), 1);
    table.UpdateLut();
    const TemperatureLookup& lookup = *table.Lookup();
    EXPECT_EQ(lookup[0], -999.0f);
    EXPECT_EQ(lookup[16383], -999.0f);
    EXPECT_EQ(lookup[1], e.atOne);
    EXPECT_NEAR(lookup[10], e.atTen, 0.5f);
    EXPECT_NEAR(lookup[16382], e.atTop, 0.5f);
    for (int raw = 1; raw < 10; ++raw) EXPECT_GT(lookup[raw], lookup[raw + 1]) << e.name << raw;
    for (int raw = 10; raw < 16382; ++raw) ASSERT_LE(lookup[raw], lookup[raw + 1]) << e.name << raw;
  }
}

TEST(TemperatureTableLookup, RebuildPublishesANewSnapshot) {
  CTemperatureTable table;
  EXPECT_EQ(table.Lookup(), nullptr);
  EXPECT_EQ(table.Interpolate(100), 0.0f);
  table.ReplacePoints(std::make_shared<const TablePoints>(test::Ramp(30, 1.0f)));
  table.UpdateLut();
  const auto before = table.Lookup();
  const float value = (*before)[155];
  EXPECT_NE(value, 0.0f);

  table.ReplacePoints(std::make_shared<const TablePoints>(test::Ramp(30, 50.0f)));
  EXPECT_EQ(table.Lookup(), before);  // points alone do not rebuild
  table.UpdateLut();
  const auto after = table.Lookup();
  EXPECT_NE(after, before);
  EXPECT_EQ((*before)[155], value);  // a reader's snapshot stays whole
  EXPECT_NE((*after)[155], value);
}

TEST(TemperatureTableLoad, BuiltInResourcesAndTheirFailures) {
  const test::TableModule sparse("sparse");
  CTemperatureTable table;
  EXPECT_EQ(table.PointCount(), 1);
  EXPECT_EQ(table.Points()->at(0).raw, 0);

  ASSERT_EQ(table.Load(QUVEX_TBL_LOW, sparse.Module(), u"TBL", 0), 1);
  EXPECT_EQ(table.PointCount(), 280);
  EXPECT_EQ(table.Points()->front().raw, 5299);
  EXPECT_EQ(table.Lookup(), nullptr);  // loading does not build

  // Missing resource, wrong type, no type, no module: unchanged.
  EXPECT_EQ(table.Load(116, sparse.Module(), u"TBL", 0), 0);
  EXPECT_EQ(table.Load(QUVEX_TBL_HIGH, sparse.Module(), u"BIN", 0), 0);
  EXPECT_EQ(table.Load(QUVEX_TBL_HIGH, sparse.Module(), nullptr, 0), 0);
  EXPECT_EQ(table.Load(QUVEX_TBL_HIGH, nullptr, u"TBL", 0), 0);
  EXPECT_EQ(table.PointCount(), 280);

  ASSERT_EQ(table.Load(QUVEX_TBL_HIGH, sparse.Module(), u"TBL", 0), 1);
  EXPECT_EQ(table.PointCount(), 281);
}

TEST(TemperatureTableLoad, MultiTableResourceByIndex) {
  const Bytes multi = test::MultiTable({test::Ramp(12), test::Ramp(13), test::Ramp(14)});
  const platform::ResourceEntry entry{u"TBL", 200, multi.data(),
                                      static_cast<uint32_t>(multi.size())};
  const platform::Module module{&entry, 1};
  CTemperatureTable table;
  for (int index : {0, 1, 2}) {
    ASSERT_EQ(table.Load(200, &module, u"TBL", index), 1);
    EXPECT_EQ(table.PointCount(), 12 + index);
  }
  EXPECT_EQ(table.Load(200, &module, u"TBL", 3), 0);
  EXPECT_EQ(table.Load(200, &module, u"TBL", -1), 0);
  EXPECT_EQ(table.PointCount(), 14);
}

TEST(TemperatureTableLoad, FilesOfEveryForm) {
  const std::string path = test::TempPath("table_load.tbl");
  const std::u16string wide = test::Utf16(path);
  CTemperatureTable table;

  test::WriteBytes(path, test::SingleTable(test::Ramp(17)));
  ASSERT_EQ(table.LoadFile(wide.c_str(), 0), 1);
  EXPECT_EQ(table.PointCount(), 17);

  Bytes headerless = test::Headerless(test::Ramp(21));
  headerless.push_back(0);  // one byte of slack is tolerated
  test::WriteBytes(path, headerless);
  ASSERT_EQ(table.LoadFile(wide.c_str(), 0), 1);
  EXPECT_EQ(table.PointCount(), 21);
  EXPECT_EQ(table.Points()->back().raw, 300);

  // A single table whose count reaches past the end: unchanged.
  Bytes truncated = test::SingleTable(test::Ramp(17));
  truncated.resize(truncated.size() - 1);
  test::WriteBytes(path, truncated);
  EXPECT_EQ(table.LoadFile(wide.c_str(), 0), 0);
  EXPECT_EQ(table.LoadFile(u"/nonexistent/table.tbl", 0), 0);
  EXPECT_EQ(table.PointCount(), 21);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace quvex
