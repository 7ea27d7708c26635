// The camera object's tables: table files into A and/or B, and the four
// conversions of a 16-bit raw image.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include "core/camera_object.h"
#include "tests/support/test_tables.h"

namespace quvex {
namespace {

using test::Bytes;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A dense table (copied into the lookup) with the given temperatures at raw
// 0, 1, 2, ... and fill everywhere else.
TablePoints Dense(const std::vector<float>& first, float fill = 1.0f) {
  TablePoints points(kLookupFilled);
  for (size_t k = 0; k < points.size(); ++k) points[k] = {static_cast<int32_t>(k), fill};
  size_t k = 0;
  for (float t : first) points[k++].temperature = t;
  return points;
}

class QuvexTables : public ::testing::Test {
 protected:
  QuvexTables() : profile_(test::TestProfile(InterpolationVariant::Double, nullptr)) {}

  void SetUp() override {
    camera_ = std::make_unique<CQuvex>(profile_, nullptr);
    ASSERT_EQ(camera_->TableA().Load(QUVEX_TBL_LOW, module_.Module(), u"TBL", 0), 1);
    ASSERT_EQ(camera_->TableB().Load(QUVEX_TBL_HIGH, module_.Module(), u"TBL", 0), 1);
    camera_->TableA().UpdateLut();
    camera_->TableB().UpdateLut();
  }
  void TearDown() override { std::remove(path_.c_str()); }

  int SetTableBytes(const Bytes& bytes) {
    test::WriteBytes(path_, bytes);
    return camera_->SetTable(wide_.c_str());
  }
  // Pops every error; the most recent first.
  std::vector<int> Errors() {
    std::vector<int> codes;
    while (const int code = camera_->GetLastError()) codes.push_back(code);
    return codes;
  }

  const test::TableModule module_{"sparse"};
  BuildProfile profile_;
  std::unique_ptr<CQuvex> camera_;
  const std::string path_ = test::TempPath("quvex_tables.tbl");
  const std::u16string wide_ = test::Utf16(path_);
};

TEST_F(QuvexTables, FailuresPushFileErrorAndLeaveBothTables) {
  const auto lookupA = camera_->TableA().Lookup();
  const auto lookupB = camera_->TableB().Lookup();
  EXPECT_EQ(camera_->SetTable(nullptr), 0);
  EXPECT_EQ(camera_->SetTable(u""), 0);
  EXPECT_EQ(camera_->SetTable(u"/nonexistent/quvex.tbl"), 0);
  EXPECT_EQ(Errors(), (std::vector<int>{9, 9, 9}));

  Bytes slack = test::Headerless(test::Ramp(20));
  slack.resize(slack.size() + 8);
  Bytes cut = test::SingleTable(test::Ramp(20));
  cut.resize(cut.size() - 8);
  // The second table of this file is damaged; the first must not be taken.
  Bytes halfGood = test::MultiTable({test::Ramp(20), test::Ramp(30)});
  halfGood.resize(halfGood.size() - 1);
  for (const Bytes& bad : {slack, cut, halfGood, test::MultiTable({}), Bytes{1, 2}}) {
    EXPECT_EQ(SetTableBytes(bad), 0);
    EXPECT_EQ(Errors(), std::vector<int>{9});
  }
  EXPECT_EQ(camera_->TableA().PointCount(), 280);
  EXPECT_EQ(camera_->TableB().PointCount(), 281);
  EXPECT_EQ(camera_->TableA().Lookup(), lookupA);
  EXPECT_EQ(camera_->TableB().Lookup(), lookupB);
}

TEST_F(QuvexTables, SingleAndHeaderlessTablesFollowTheRangeMode) {
  const auto lookupA = camera_->TableA().Lookup();
  camera_->SetRangeMode(QUVEX_RANGE_HIGH);
  ASSERT_EQ(SetTableBytes(test::SingleTable(test::Ramp(25))), 1);
  EXPECT_EQ(camera_->TableB().PointCount(), 25);
  EXPECT_EQ(camera_->TableA().PointCount(), 280);
  EXPECT_EQ(&camera_->ActiveTable(), &camera_->TableB());
  EXPECT_EQ((*camera_->TableB().Lookup())[155], camera_->TableB().Interpolate(155));
  EXPECT_NE((*camera_->TableB().Lookup())[155], 0.0f);

  // Back to range mode 0: the old table A serves again.
  camera_->SetRangeMode(QUVEX_RANGE_DEFAULT);
  EXPECT_EQ(&camera_->ActiveTable(), &camera_->TableA());
  EXPECT_EQ(camera_->TableA().Lookup(), lookupA);

  Bytes headerless = test::Headerless(test::Ramp(33));
  headerless.resize(headerless.size() + 7);
  ASSERT_EQ(SetTableBytes(headerless), 1);
  EXPECT_EQ(camera_->TableA().PointCount(), 33);
  EXPECT_EQ(camera_->TableB().PointCount(), 25);
  camera_->SetRangeMode(QUVEX_RANGE_LOW);
  EXPECT_EQ(&camera_->ActiveTable(), &camera_->TableA());
  EXPECT_TRUE(Errors().empty());
}

TEST_F(QuvexTables, MultiTableFileFillsAThenB) {
  camera_->SetRangeMode(QUVEX_RANGE_HIGH);  // plays no part
  ASSERT_EQ(SetTableBytes(test::MultiTable({test::Ramp(12), test::Ramp(13), test::Ramp(14)})), 1);
  EXPECT_EQ(camera_->TableA().PointCount(), 12);
  EXPECT_EQ(camera_->TableB().PointCount(), 13);

  const auto lookupB = camera_->TableB().Lookup();
  ASSERT_EQ(SetTableBytes(test::MultiTable({test::Ramp(40)})), 1);
  EXPECT_EQ(camera_->TableA().PointCount(), 40);
  EXPECT_EQ(camera_->TableB().PointCount(), 13);
  EXPECT_EQ(camera_->TableB().Lookup(), lookupB);
}

class Image16 {
 public:
  Image16(int32_t width, int32_t height) { EXPECT_EQ(image.CreateMemory(width, height, 16), 1); }
  void Set(int32_t x, int32_t storedRow, uint16_t value) {
    std::memcpy(image.Bits() + storedRow * image.Stride() + 2 * x, &value, 2);
  }
  CDibImage image;
};

TEST_F(QuvexTables, ConversionsClampTruncateAndFollowRowOrder) {
  const float samples[] = {-5.3f,  37.9f,  300.0f,  -5.9f,  -200.0f,       kNaN,          1e10f,
                           -1e10f, 127.5f, -128.0f, 255.0f, 2147483648.0f, -2147483648.0f};
  constexpr int kCount = 13;
  ASSERT_EQ(SetTableBytes(test::SingleTable(Dense({samples, samples + kCount}))), 1);

  // One stored row per sample set: row 0 holds raw 0..12, row 1 raw 40000
  // (beyond the filled entries) and raw 16383 (fill 1.0).
  Image16 raw(kCount, 2);
  for (int x = 0; x < kCount; ++x) {
    raw.Set(x, 0, static_cast<uint16_t>(x));
    raw.Set(x, 1, x % 2 ? 40000 : 16383);
  }

  const int8_t int8[] = {-5, 37, 127, -5, -128, 0, 127, -128, 127, -128, 127, 127, -128};
  const uint8_t uint8[] = {0, 37, 255, 0, 0, 0, 255, 0, 127, 0, 255, 255, 0};
  const int32_t int32[] = {-5,
                           37,
                           300,
                           -5,
                           -200,
                           0,
                           std::numeric_limits<int32_t>::max(),
                           std::numeric_limits<int32_t>::min(),
                           127,
                           -128,
                           255,
                           std::numeric_limits<int32_t>::max(),
                           std::numeric_limits<int32_t>::min()};

  for (int flag : {0, 1, 7}) {
    SCOPED_TRACE(flag);
    const int first = flag ? 0 : kCount;  // output offset of stored row 0
    const int second = flag ? kCount : 0;
    std::vector<int8_t> i8(2 * kCount);
    std::vector<uint8_t> u8(2 * kCount);
    std::vector<int32_t> i32(2 * kCount);
    std::vector<float> f32(2 * kCount);
    ASSERT_EQ(camera_->ToTemperatureInt8(&raw.image, i8.data(), flag), 1);
    ASSERT_EQ(camera_->ToTemperatureUInt8(&raw.image, u8.data(), flag), 1);
    ASSERT_EQ(camera_->ToTemperatureInt32(&raw.image, i32.data(), flag), 1);
    ASSERT_EQ(camera_->ToTemperatureFloat(&raw.image, f32.data(), flag), 1);
    for (int x = 0; x < kCount; ++x) {
      EXPECT_EQ(i8[first + x], int8[x]) << x;
      EXPECT_EQ(u8[first + x], uint8[x]) << x;
      EXPECT_EQ(i32[first + x], int32[x]) << x;
      if (std::isnan(samples[x])) {
        EXPECT_TRUE(std::isnan(f32[first + x]));
      } else {
        EXPECT_EQ(f32[first + x], samples[x]) << x;
      }
      const float beyond = x % 2 ? 0.0f : 1.0f;
      EXPECT_EQ(f32[second + x], beyond) << x;
      EXPECT_EQ(i32[second + x], static_cast<int32_t>(beyond)) << x;
    }
  }
}

TEST_F(QuvexTables, ConversionsRefuseWhatTheyCannotRead) {
  Image16 raw(4, 3);
  std::vector<float> out(12, -7.0f);
  EXPECT_EQ(camera_->ToTemperatureFloat(nullptr, out.data(), 0), 0);
  EXPECT_EQ(camera_->ToTemperatureFloat(&raw.image, nullptr, 0), 0);
  const CDibImage empty;
  EXPECT_EQ(camera_->ToTemperatureFloat(&empty, out.data(), 0), 0);
  CDibImage eightBit;
  ASSERT_EQ(eightBit.CreateMemory(4, 3, 8), 1);
  int8_t bytes[12] = {};
  EXPECT_EQ(camera_->ToTemperatureInt8(&eightBit, bytes, 0), 0);
  EXPECT_EQ(out, std::vector<float>(12, -7.0f));
}

TEST(QuvexTablesUnbuilt, ConversionBeforeAnyTableGivesZeros) {
  const BuildProfile profile = test::TestProfile(InterpolationVariant::Double, nullptr);
  CQuvex camera(profile, nullptr);
  Image16 raw(3, 2);
  raw.Set(1, 1, 5000);
  std::vector<float> out(6, -7.0f);
  ASSERT_EQ(camera.ToTemperatureFloat(&raw.image, out.data(), 0), 1);
  EXPECT_EQ(out, std::vector<float>(6, 0.0f));
}

// A conversion running while table files are loaded sees one whole lookup:
// every frame holds the values of a single table.
TEST_F(QuvexTables, ConversionNeverSeesAHalfBuiltLookup) {
  const std::string second = test::TempPath("quvex_tables_2.tbl");
  test::WriteBytes(path_, test::SingleTable(Dense({}, 10.0f)));
  test::WriteBytes(second, test::SingleTable(Dense({}, 20.0f)));
  const std::u16string paths[2] = {wide_, test::Utf16(second)};
  ASSERT_EQ(camera_->SetTable(paths[0].c_str()), 1);

  Image16 raw(64, 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) raw.Set(x, y, static_cast<uint16_t>((x * 64 + y) * 4));
  }
  std::atomic<bool> stop{false};
  std::atomic<int> mixedFrames{0};
  std::thread converter([&] {
    std::vector<float> out(64 * 64);
    while (!stop.load()) {
      camera_->ToTemperatureFloat(&raw.image, out.data(), 1);
      for (float t : out) {
        if (t != out[0]) {
          ++mixedFrames;
          break;
        }
      }
    }
  });
  for (int i = 0; i < 200; ++i) ASSERT_EQ(camera_->SetTable(paths[i % 2].c_str()), 1);
  stop.store(true);
  converter.join();
  EXPECT_EQ(mixedFrames.load(), 0);
  std::remove(second.c_str());
}

}  // namespace
}  // namespace quvex
