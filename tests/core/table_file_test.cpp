// Table forms: recognition, the headerless length check, and counts and
// offsets that point past the loaded bytes.
#include "core/table_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/test_tables.h"

namespace quvex {
namespace {

using test::Bytes;

std::span<const uint8_t> View(const Bytes& bytes) { return {bytes.data(), bytes.size()}; }

void PutInt32(Bytes& bytes, size_t offset, int32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

TEST(TableFileForm, RecognisedByAllTwentyFourBytes) {
  EXPECT_EQ(RecogniseTableForm(View(test::SingleTable({}))), TableForm::Single);
  EXPECT_EQ(RecogniseTableForm(View(test::MultiTable({}))), TableForm::Multi);
  EXPECT_EQ(RecogniseTableForm(View(test::Headerless(test::Ramp(3)))), TableForm::Headerless);

  Bytes almost = test::SingleTable(test::Ramp(3));
  almost[23] = '1';  // "...1001"
  EXPECT_EQ(RecogniseTableForm(View(almost)), TableForm::Headerless);
  Bytes magicOnly = test::WithMagic(QUVEX_TABLE_MAGIC_SINGLE);
  magicOnly.pop_back();  // 23 bytes cannot carry a magic
  EXPECT_EQ(RecogniseTableForm(View(magicOnly)), TableForm::Headerless);
}

TEST(TableFileHeaderless, LengthCheckToleratesUpToSevenBytes) {
  const TablePoints points = test::Ramp(5);
  Bytes bytes = test::Headerless(points);
  for (int extra = 0; extra <= 8; ++extra) {
    const auto table = LocateTable(View(bytes), 0);
    if (extra < 8) {
      ASSERT_TRUE(table) << extra;
      EXPECT_EQ(table->count, 5u);
      EXPECT_EQ(table->records, bytes.data() + 4);
    } else {
      EXPECT_FALSE(table);
    }
    bytes.push_back(0xEE);
  }
  Bytes shortOne = test::Headerless(points);
  shortOne.pop_back();
  EXPECT_FALSE(LocateTable(View(shortOne), 0));

  // Count 0 in exactly four bytes is a table of no points.
  const auto empty = LocateTable(View(test::Headerless({})), 0);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->count, 0u);

  // Fewer than four bytes, a negative count, a count near the int32 limit.
  EXPECT_FALSE(LocateTable(View(Bytes{1, 0, 0}), 0));
  EXPECT_FALSE(LocateTable(std::span<const uint8_t>(), 0));
  Bytes negative = test::Headerless(points);
  PutInt32(negative, 0, -1);
  EXPECT_FALSE(LocateTable(View(negative), 0));
  PutInt32(negative, 0, 0x7FFFFFFF);
  EXPECT_FALSE(LocateTable(View(negative), 0));
}

TEST(TableFileSingle, CountMustFitTheBytes) {
  const Bytes good = test::SingleTable(test::Ramp(4));
  const auto table = LocateTable(View(good), 7);  // the index plays no part
  ASSERT_TRUE(table);
  EXPECT_EQ(table->count, 4u);
  EXPECT_EQ(table->records, good.data() + 28);

  Bytes cut = good;
  cut.pop_back();
  EXPECT_FALSE(LocateTable(View(cut), 0));

  Bytes huge = good;
  PutInt32(huge, 24, 0x7FFFFFFF);  // 8 x N overflows 32 bits
  EXPECT_FALSE(LocateTable(View(huge), 0));

  Bytes negative = good;
  PutInt32(negative, 24, -3);  // no points
  ASSERT_TRUE(LocateTable(View(negative), 0));
  EXPECT_EQ(LocateTable(View(negative), 0)->count, 0u);

  const Bytes noCount = test::WithMagic(QUVEX_TABLE_MAGIC_SINGLE);
  EXPECT_FALSE(LocateTable(View(noCount), 0));
}

TEST(TableFileMulti, TablesByIndexWithEveryOffsetChecked) {
  const Bytes good = test::MultiTable({test::Ramp(2), test::Ramp(3), test::Ramp(4)});
  EXPECT_EQ(MultiTableCount(View(good)), 3);
  for (int index = 0; index < 3; ++index) {
    const auto table = LocateTable(View(good), index);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count, static_cast<uint32_t>(2 + index));
  }
  EXPECT_FALSE(LocateTable(View(good), 3));
  EXPECT_FALSE(LocateTable(View(good), -1));

  Bytes pastEnd = good;
  PutInt32(pastEnd, 28 + 4 * 1, static_cast<int32_t>(good.size()) - 3);
  EXPECT_FALSE(LocateTable(View(pastEnd), 1));
  EXPECT_TRUE(LocateTable(View(pastEnd), 0));
  PutInt32(pastEnd, 28, -8);
  EXPECT_FALSE(LocateTable(View(pastEnd), 0));
  PutInt32(pastEnd, 28, 0x7FFFFFFF);
  EXPECT_FALSE(LocateTable(View(pastEnd), 0));

  // A count at an offset that leaves too few bytes for its points.
  Bytes longTable = good;
  int32_t lastOffset;
  std::memcpy(&lastOffset, good.data() + 28 + 8, 4);
  PutInt32(longTable, static_cast<size_t>(lastOffset), 5);
  EXPECT_FALSE(LocateTable(View(longTable), 2));

  // More tables announced than offsets present.
  Bytes fewOffsets = test::WithMagic(QUVEX_TABLE_MAGIC_MULTI);
  test::AppendInt32(fewOffsets, 1000);
  test::AppendInt32(fewOffsets, 32);
  test::AppendInt32(fewOffsets, 0);
  EXPECT_TRUE(LocateTable(View(fewOffsets), 0));
  EXPECT_FALSE(LocateTable(View(fewOffsets), 1));
  EXPECT_FALSE(LocateTable(View(fewOffsets), 999));

  EXPECT_EQ(MultiTableCount(View(test::WithMagic(QUVEX_TABLE_MAGIC_MULTI))), std::nullopt);
  EXPECT_EQ(MultiTableCount(View(test::SingleTable({}))), std::nullopt);
}

TEST(TableFilePoints, CopiedInFileOrderFromUnalignedOffsets) {
  const TablePoints points{{7, 1.5f}, {3, -2.25f}, {7, 0.0f}};
  Bytes bytes = test::WithMagic(QUVEX_TABLE_MAGIC_MULTI);
  test::AppendInt32(bytes, 1);
  test::AppendInt32(bytes, 33);  // odd offset
  bytes.push_back(0xAB);
  test::AppendInt32(bytes, 3);
  test::AppendPoints(bytes, points);
  const auto table = LocateTable(View(bytes), 0);
  ASSERT_TRUE(table);
  const auto read = ReadPoints(*table);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ((*read)[i].raw, points[i].raw);
    EXPECT_EQ((*read)[i].temperature, points[i].temperature);
  }
}

}  // namespace
}  // namespace quvex
