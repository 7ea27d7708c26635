// The file object: whole-file loads, resources without a copy, and writes
// that report every failure.
#include "imaging/file_buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quvex {
namespace {

using Bytes = std::vector<uint8_t>;

class FileBufferTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    std::string path = "/tmp/quvex_fb_" + std::to_string(::getpid()) + "_" + name;
    created_.push_back(path);
    return path;
  }
  static std::u16string Wide(const std::string& path) { return {path.begin(), path.end()}; }
  static void Put(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  static Bytes Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void TearDown() override {
    for (const std::string& path : created_) std::remove(path.c_str());
  }

 private:
  std::vector<std::string> created_;
};

TEST_F(FileBufferTest, LoadsWholeFilesAndClosesThem) {
  const std::string path = Path("load.bin");
  const Bytes content{1, 2, 3, 4, 5, 250};
  Put(path, content);
  CFileBuffer buffer;
  const uint8_t* data = buffer.Load(Wide(path).c_str());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(buffer.Begin(), data);
  EXPECT_EQ(buffer.End(), data + content.size());
  EXPECT_EQ(buffer.Size(), content.size());
  EXPECT_EQ(buffer.FullSize(), content.size());
  EXPECT_EQ(Bytes(buffer.Begin(), buffer.End()), content);
  EXPECT_FALSE(buffer.IsOpen());
  EXPECT_EQ(buffer.Close(), 0);  // no file was left open
  EXPECT_EQ(buffer.Begin(), nullptr);
  EXPECT_EQ(buffer.Size(), 0u);

  // An empty file loads: a non-null begin equal to its end.
  const std::string empty = Path("empty.bin");
  Put(empty, {});
  ASSERT_NE(buffer.Load(Wide(empty).c_str()), nullptr);
  EXPECT_EQ(buffer.Begin(), buffer.End());
  EXPECT_EQ(buffer.Size(), 0u);

  // A failed load leaves the object empty.
  EXPECT_EQ(buffer.Load(Wide(Path("missing.bin")).c_str()), nullptr);
  EXPECT_EQ(buffer.Load(nullptr), nullptr);
  EXPECT_EQ(buffer.Load(u""), nullptr);
  EXPECT_EQ(buffer.Begin(), nullptr);
  EXPECT_EQ(buffer.Size(), 0u);
}

TEST_F(FileBufferTest, ResourcesAreFoundInPlace) {
  static const uint8_t low[] = {9, 8, 7};
  const platform::ResourceEntry entries[] = {{u"TBL", 114, low, sizeof low}};
  const platform::Module module{entries, 1};
  CFileBuffer buffer;
  EXPECT_EQ(buffer.Load(114, &module, u"TBL"), low);
  EXPECT_EQ(buffer.End(), low + 3);
  EXPECT_EQ(buffer.Size(), 3u);
  buffer.Close();
  EXPECT_EQ(low[0], 9);  // nothing freed

  EXPECT_EQ(buffer.Load(115, &module, u"TBL"), nullptr);
  EXPECT_EQ(buffer.Load(114, &module, u"TB"), nullptr);
  EXPECT_EQ(buffer.Load(114, &module, nullptr), nullptr);
  EXPECT_EQ(buffer.Load(114, nullptr, u"TBL"), nullptr);
}

TEST_F(FileBufferTest, CreateWriteEmptiesOrCreates) {
  const std::string path = Path("create.bin");
  Put(path, Bytes(100, 0x55));
  CFileBuffer buffer;
  ASSERT_TRUE(buffer.CreateWrite(Wide(path).c_str()));
  EXPECT_TRUE(buffer.IsOpen());
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(Get(path).size(), 0u);
  EXPECT_EQ(buffer.Write("abc", 3), 1);
  EXPECT_EQ(buffer.Close(), 1);
  EXPECT_EQ(Get(path), (Bytes{'a', 'b', 'c'}));

  const std::string fresh = Path("fresh.bin");
  ASSERT_TRUE(buffer.CreateWrite(Wide(fresh).c_str()));
  EXPECT_EQ(buffer.Size(), 0u);
  buffer.Close();
  EXPECT_EQ(access(fresh.c_str(), F_OK), 0);

  EXPECT_FALSE(buffer.CreateWrite(u"/nonexistent/dir/file.bin"));
  EXPECT_FALSE(buffer.IsOpen());
}

TEST_F(FileBufferTest, OpenWriteKeepsTheRest) {
  const std::string path = Path("open.bin");
  Put(path, Bytes(100, 0x55));
  CFileBuffer buffer;
  ASSERT_TRUE(buffer.OpenWrite(Wide(path).c_str()));
  EXPECT_EQ(buffer.Size(), 100u);
  EXPECT_EQ(buffer.Write(Bytes(40, 0xAA).data(), 40), 1);
  buffer.Close();
  Bytes expected(100, 0x55);
  std::fill_n(expected.begin(), 40, 0xAA);
  EXPECT_EQ(Get(path), expected);
}

TEST_F(FileBufferTest, ReuseReleasesThePreviousState) {
  const std::string a = Path("a.bin");
  const std::string b = Path("b.bin");
  Put(a, {1, 2});
  CFileBuffer buffer;
  ASSERT_TRUE(buffer.CreateWrite(Wide(b).c_str()));
  ASSERT_NE(buffer.Load(Wide(a).c_str()), nullptr);  // closes b first
  EXPECT_FALSE(buffer.IsOpen());
  ASSERT_TRUE(buffer.OpenWrite(Wide(b).c_str()));  // drops a's bytes
  EXPECT_EQ(buffer.Begin(), nullptr);
  EXPECT_EQ(buffer.Write("z", 1), 1);
}

TEST_F(FileBufferTest, WriteFailuresAreReported) {
  CFileBuffer buffer;
  EXPECT_EQ(buffer.Close(), 0);
  EXPECT_EQ(buffer.Write("x", 1), 0);  // nothing open
  EXPECT_EQ(buffer.Seek(0), 0);
  // A device that takes no bytes: the write fails rather than passing short.
  ASSERT_TRUE(buffer.OpenWrite(u"/dev/full"));
  EXPECT_EQ(buffer.Write("full", 4), 0);
  buffer.Close();

  const std::string path = Path("seek.bin");
  ASSERT_TRUE(buffer.CreateWrite(Wide(path).c_str()));
  EXPECT_EQ(buffer.Write("abcdef", 6), 1);
  EXPECT_EQ(buffer.Seek(2), 1);
  EXPECT_EQ(buffer.Write("XY", 2), 1);
  EXPECT_EQ(buffer.Write(nullptr, 1), 0);
  buffer.Close();
  EXPECT_EQ(Get(path), (Bytes{'a', 'b', 'X', 'Y', 'e', 'f'}));
}

}  // namespace
}  // namespace quvex
