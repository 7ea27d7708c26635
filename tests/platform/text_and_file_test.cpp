// UTF conversions, files by UTF-16 path, resources and CPUID.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "quvex_platform/cpuid.h"
#include "quvex_platform/file.h"
#include "quvex_platform/resources.h"
#include "quvex_platform/text.h"

namespace {

using namespace quvex::platform;

TEST(Text, ConvertsEveryPlaneBothWays) {
  const std::u16string wide = u"a\u00e9\u6e29\U0001F321";
  const auto narrow = Utf16ToUtf8(wide);
  ASSERT_TRUE(narrow);
  EXPECT_EQ(*narrow, "a\xC3\xA9\xE6\xB8\xA9\xF0\x9F\x8C\xA1");
  EXPECT_EQ(Utf8ToUtf16(*narrow), wide);
}

TEST(Text, RefusesMalformedInput) {
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
  EXPECT_FALSE(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}));
  EXPECT_FALSE(Utf16ToUtf8(std::u16string{char16_t(0xD800), u'a'}));
  EXPECT_FALSE(Utf8ToUtf16("\xFF"));
  EXPECT_FALSE(Utf8ToUtf16("\xC3"));          // cut short
  EXPECT_FALSE(Utf8ToUtf16("\xC0\x80"));      // overlong
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));  // encoded surrogate
  EXPECT_EQ(Utf16Length(nullptr), 0u);
}

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quvex_platform_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::u16string Path(const std::string& name) { return *Utf8ToUtf16(dir_ + "/" + name); }
  std::string dir_;
};

TEST_F(FileTest, WritesReadsAndTruncates) {
  const std::u16string path = Path("t\u00e4ble.bin");
  {
    File out = File::CreateTruncate(path.c_str());
    ASSERT_TRUE(out.IsOpen());
    ASSERT_TRUE(out.WriteAll("0123456789", 10));
    EXPECT_TRUE(out.Close());
  }
  {
    File keep = File::OpenAlways(path.c_str());
    ASSERT_TRUE(keep.WriteAll("ab", 2));
    EXPECT_EQ(keep.Size(), 10u);
  }
  File in = File::OpenRead(path.c_str());
  char bytes[11] = {};
  ASSERT_TRUE(in.ReadAll(bytes, 10));
  EXPECT_STREQ(bytes, "ab23456789");
  EXPECT_FALSE(in.ReadAll(bytes, 1));  // past the end is a failure, not a short read
  File again = File::CreateTruncate(path.c_str());
  EXPECT_EQ(again.Size(), 0u);
  ASSERT_TRUE(access((dir_ + "/t\xC3\xA4" "ble.bin").c_str(), F_OK) == 0);
}

TEST_F(FileTest, FailuresAreReported) {
  EXPECT_FALSE(File::OpenRead(Path("missing").c_str()).IsOpen());
  EXPECT_FALSE(File::CreateTruncate(Path("no/such/dir").c_str()).IsOpen());
  const std::u16string unpaired = Path("x") + char16_t(0xD800);
  EXPECT_FALSE(File::CreateTruncate(unpaired.c_str()).IsOpen());
  EXPECT_EQ(OpenStdio(unpaired.c_str(), "wb"), nullptr);
  File full = File::OpenAlways(u"/dev/full");
  ASSERT_TRUE(full.IsOpen());
  EXPECT_FALSE(full.WriteAll("x", 1));
  File closed;
  EXPECT_FALSE(closed.WriteAll("x", 1));
  EXPECT_FALSE(closed.Close());
}

TEST(Resources, AreFoundByTypeAndId) {
  static const uint8_t data[] = {1, 2, 3};
  const ResourceEntry entries[] = {{u"TBL", 114, data, 3}, {u"BIN", 115, data, 2}};
  const Module module{entries, 2};
  EXPECT_EQ(FindResource(&module, 114, u"TBL"), &entries[0]);
  EXPECT_EQ(FindResource(&module, 115, u"TBL"), nullptr);
  EXPECT_EQ(FindResource(nullptr, 114, u"TBL"), nullptr);
}

TEST(Cpuid, AnswersOnThisMachine) {
#if defined(__x86_64__)
  CpuidRegisters leaf0{};
  ASSERT_TRUE(Cpuid(0, leaf0));
  EXPECT_GE(leaf0.eax, 1u);
  EXPECT_TRUE(ProbeInstruction(CpuProbe::Sse2));  // part of every x86-64 processor
#else
  EXPECT_FALSE(IsCpuidSupported());
#endif
}

}  // namespace
