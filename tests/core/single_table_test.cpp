// The single temperature table of the older generation: reloaded from the
// built-in table of the range mode until a table file replaces it for good,
// and the two table-file loaders (headerless only; all forms by index).
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "core/camera_object.h"
#include "tests/support/test_tables.h"

namespace quvex {
namespace {

using test::Bytes;

// Records every register write.
class RegisterLog : public DeviceBinding {
 public:
  explicit RegisterLog(std::vector<std::pair<unsigned, int>>* log) : log_(log) {}
  int WriteRegister(unsigned number, int value) override {
    log_->emplace_back(number, value);
    return 1;
  }
  bool HasDevice() const override { return false; }
  int SelectCamera(int) override { return 2; }
  int MaxCameras() const override { return 0; }
  bool IsCameraPresent(int) override { return false; }

 private:
  std::vector<std::pair<unsigned, int>>* log_;
};

class SingleTable : public ::testing::TestWithParam<TableFileLoader> {
 protected:
  SingleTable() : profile_(test::TestProfile(InterpolationVariant::Older, module_.Module())) {
    profile_.tables = TableSet::ReloadedSingle;
    profile_.tableFiles = GetParam();
    camera_ = std::make_unique<CQuvex>(profile_, std::make_unique<RegisterLog>(&registers_));
    camera_->Initialize(nullptr);
  }
  ~SingleTable() override { std::remove(path_.c_str()); }

  int SetTableBytes(const Bytes& bytes) {
    test::WriteBytes(path_, bytes);
    return camera_->SetTable(test::Utf16(path_).c_str());
  }
  const CTemperatureTable& Table() { return camera_->ActiveTable(); }

  const test::TableModule module_{"sparse"};
  BuildProfile profile_;
  std::vector<std::pair<unsigned, int>> registers_;
  std::unique_ptr<CQuvex> camera_;
  const std::string path_ = test::TempPath("single_table.tbl");
};

TEST_P(SingleTable, RangeModeReloadsTheBuiltInTableUntilAFileIsLoaded) {
  EXPECT_EQ(Table().PointCount(), 1);  // nothing loaded at initialisation
  EXPECT_EQ(Table().Lookup(), nullptr);

  struct Step {
    int mode;
    int points;
    int registerValue;
  };
  for (const Step step : {Step{2, 281, 1}, Step{1, 280, 0}, Step{2, 281, 1}, Step{0, 280, 16}}) {
    registers_.clear();
    EXPECT_EQ(camera_->SetParam(QUVEX_PARAM_RANGE_MODE, step.mode), 1);
    EXPECT_EQ(Table().PointCount(), step.points) << step.mode;
    EXPECT_NE(Table().Lookup(), nullptr);
    const std::vector<std::pair<unsigned, int>> written = {{QUVEX_REG_RANGE, step.registerValue}};
    EXPECT_EQ(registers_, written);
  }
  // No name applies the range mode again.
  EXPECT_EQ(camera_->SetParam(QUVEX_PARAM_RANGE_MODE, 2), 1);
  EXPECT_EQ(camera_->SetTable(u""), 1);
  EXPECT_EQ(Table().PointCount(), 281);

  ASSERT_EQ(SetTableBytes(test::Headerless(test::Ramp(30))), 1);
  EXPECT_TRUE(camera_->UserTableLoaded());
  for (const int mode : {0, 2}) {
    registers_.clear();
    EXPECT_EQ(camera_->SetParam(QUVEX_PARAM_RANGE_MODE, mode), 1);
    EXPECT_EQ(camera_->SetTable(nullptr), 1);
    EXPECT_EQ(Table().PointCount(), 30);
    EXPECT_EQ(registers_.size(), 2u);  // the register is still written each time
  }
  EXPECT_EQ(camera_->SetParam(QUVEX_PARAM_RANGE_MODE, 3), 0);
  EXPECT_EQ(camera_->GetLastError(), QUVEX_ERR_ARGUMENT);
}

TEST_P(SingleTable, LoaderTakesItsFormsAndRefusesTheRestUnchanged) {
  const bool indexed = GetParam() == TableFileLoader::AllFormsIndexed;
  Bytes sparse = test::Headerless(test::Ramp(280));
  ASSERT_EQ(sparse.size(), 2244u);
  Bytes slack = sparse;
  slack.resize(slack.size() + 7);
  Bytes cut = sparse;
  cut.pop_back();
  Bytes farOffset = test::MultiTable({test::Ramp(12)});
  farOffset[28] = 0xF0;  // the first table's offset beyond the end
  Bytes longCount = test::SingleTable(test::Ramp(12));
  longCount[24] = 13;  // one point more than the file holds

  struct Case {
    const char* what;
    Bytes bytes;
    int headerlessPoints;  // -1: refused
    int indexedPoints;
  };
  const std::vector<Case> cases = {
      {"headerless", sparse, 280, 280},
      {"headerless with slack", slack, 280, 280},
      {"headerless one byte short", cut, -1, -1},
      {"headerless of no points", test::Headerless({}), 0, -1},
      {"shorter than its count", Bytes{1, 2}, -1, -1},
      {"single", test::SingleTable(test::Ramp(20)), -1, 20},
      {"single of 16384", test::SingleTable(test::Ramp(16384)), -1, 16384},
      {"single of 16385", test::SingleTable(test::Ramp(16385)), -1, -1},
      {"single, count past the end", longCount, -1, -1},
      {"multi of three", test::MultiTable({test::Ramp(12), test::Ramp(13), test::Ramp(14)}), -1,
       12},
      {"multi of none", test::MultiTable({}), -1, -1},
      {"multi, offset past the end", farOffset, -1, -1},
  };
  for (const Case& c : cases) {
    // Each file goes to a camera holding the built-in table of range mode 0.
    camera_ = std::make_unique<CQuvex>(profile_, std::make_unique<RegisterLog>(&registers_));
    camera_->Initialize(nullptr);
    ASSERT_EQ(camera_->SetTable(u""), 1);
    const auto before = Table().Points();
    const int expected = indexed ? c.indexedPoints : c.headerlessPoints;
    EXPECT_EQ(SetTableBytes(c.bytes), expected >= 0 ? 1 : 0) << c.what;
    EXPECT_EQ(camera_->UserTableLoaded(), expected >= 0) << c.what;
    if (expected >= 0) {
      EXPECT_EQ(Table().PointCount(), expected) << c.what;
    } else {
      EXPECT_EQ(Table().Points(), before) << c.what;
      EXPECT_EQ(camera_->GetLastError(), QUVEX_ERR_FILE) << c.what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Loaders, SingleTable,
                         ::testing::Values(TableFileLoader::HeaderlessOnly,
                                           TableFileLoader::AllFormsIndexed));

TEST(LookupSpan, AllRawValuesInterpolatesAboveTheFirst16384) {
  TablePoints points = test::Ramp(30);
  for (TablePoint& point : points) point.raw += 20000;
  CTemperatureTable table(InterpolationVariant::Older, LookupSpan::AllRawValues);
  ASSERT_EQ(table.ReplacePoints(std::make_shared<const TablePoints>(points)), 1);
  ASSERT_EQ(table.UpdateLut(), 1);
  for (const int raw : {20105, 20200, 20333, 20388}) {
    EXPECT_EQ((*table.Lookup())[static_cast<size_t>(raw)], table.Interpolate(raw)) << raw;
    EXPECT_NE((*table.Lookup())[static_cast<size_t>(raw)], 0.0f) << raw;
  }
}

}  // namespace
}  // namespace quvex
