// Recordings written by the capture thread: stream contents and row order,
// changes of type and name, stop, roll-over and failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/scripted_camera.h"
#include "tests/support/temp_directory.h"
#include "tests/support/test_tables.h"

namespace quvex {
namespace {

using test::kHeight;
using test::kWidth;
using test::Sample;

constexpr size_t kRawFrame = size_t{kWidth} * kHeight * 2;
constexpr size_t kTemperatureFrame = size_t{kWidth} * kHeight * 4;

std::vector<uint8_t> Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

class Recording : public test::ScriptedCapture {
 protected:
  void SetUp() override {
    ScriptedCapture::SetUp();
    dir_ = test::MakeTempDirectory("rec");
    ASSERT_FALSE(dir_.empty());
    ASSERT_EQ(quvex_->Preview(), 1);
    Frames(1);  // the thread runs: requests from here on take effect at the next frame
  }
  void TearDown() override {
    ScriptedCapture::TearDown();
    if (!getenv("KEEP")) std::system(("rm -rf " + dir_).c_str());
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Lets the camera give n more frames and waits for them; returns their ids.
  std::vector<int> Frames(int n) {
    std::vector<int> ids;
    camera_->framesReady = camera_->framesReady.load() + n;
    while (static_cast<int>(ids.size()) < n) {
      const QuvexMessage message = Next();
      if (message.message == WM_QUVEX_FRAME) ids.push_back(static_cast<int>(message.lParam));
      if (message.message == 0) break;
    }
    return ids;
  }
  int Rec(const std::string& name, int type) {
    return quvex_->Rec(test::Utf16(name.empty() ? name : Path(name)).c_str(), type);
  }
  std::string dir_;
};

TEST_F(Recording, RawStreamsHoldEveryFrameInTheRowOrderOfParameter18) {
  ASSERT_EQ(Rec("a.raw", QUVEX_REC_RAW), 1);
  Frames(1);  // opens the record
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_RECORDING), 1);
  Frames(3);
  quvex_->SetParam(QUVEX_PARAM_FILE_FLIP, 1);
  Rec("b.raw", QUVEX_REC_RAW);  // a new name: a.raw closes, b.raw opens
  Frames(1);
  Frames(2);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_RECORDING), 0);

  const auto a = Contents(Path("a.raw"));
  ASSERT_EQ(a.size(), 3 * kRawFrame);
  uint16_t first;
  std::memcpy(&first, a.data(), 2);
  EXPECT_EQ(first, Sample(2, kHeight - 1, 0));  // flip clear: the last stored row first
  std::memcpy(&first, a.data() + 2 * kRawFrame, 2);
  EXPECT_EQ(first, Sample(4, kHeight - 1, 0));
  const auto b = Contents(Path("b.raw"));
  ASSERT_EQ(b.size(), 2 * kRawFrame);
  std::memcpy(&first, b.data(), 2);
  EXPECT_EQ(first, Sample(6, 0, 0));  // flip set: the first stored row first
}

TEST_F(Recording, TemperatureStreamsMatchTheFramesTemperatures) {
  // A dense table: raw value k reads k / 100 degrees.
  TablePoints points(16384);
  for (int k = 0; k < 16384; ++k) points[k] = {k, k / 100.0f};
  const std::string table = Path("dense.tbl");
  test::WriteBytes(table, test::Headerless(points));
  ASSERT_EQ(quvex_->SetTable(test::Utf16(table).c_str()), 1);

  ASSERT_EQ(Rec("t.f32", QUVEX_REC_TEMPERATURE), 1);
  Frames(1);
  const std::vector<int> ids = Frames(2);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  const auto file = Contents(Path("t.f32"));
  ASSERT_EQ(file.size(), 2 * kTemperatureFrame);
  std::vector<float> expected(kWidth * kHeight);
  ASSERT_EQ(quvex_->GetTemperature(ids[1], expected.data(), kTemperatureFrame), 1);
  EXPECT_EQ(std::memcmp(file.data() + kTemperatureFrame, expected.data(), kTemperatureFrame), 0);
  EXPECT_FLOAT_EQ(expected[0], Sample(3, kHeight - 1, 0) / 100.0f);
}

TEST_F(Recording, AviRollsOverToNumberedFilesAtTheSizeLimit) {
  // A 64 x 48 colour chunk is 9224 bytes: a 1 MB limit is reached by the
  // 114th frame (224 + 114 x 9224 >= 1048576), which stays in its file.
  quvex_->SetParam(QUVEX_PARAM_AVI_SIZE_LIMIT, 1);
  ASSERT_EQ(Rec("run.avi", QUVEX_REC_AVI), 1);
  Frames(1 + 114 * 2 + 5);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  const size_t chunk = 9224;
  EXPECT_EQ(Contents(Path("run.avi")).size(), 232 + 114 * chunk + 8 + 114 * 16);
  EXPECT_EQ(Contents(Path("run_1.avi")).size(), 232 + 114 * chunk + 8 + 114 * 16);
  EXPECT_EQ(Contents(Path("run_2.avi")).size(), 232 + 5 * chunk + 8 + 5 * 16);
  EXPECT_FALSE(Exists(Path("run_3.avi")));
  const std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames -of csv=p=0 " + Path("run_2.avi");
  FILE* pipe = popen(probe.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  EXPECT_EQ(std::stoi(line), 5);
}

TEST_F(Recording, StreamsRollOverEveryFrameWithALimitOfZero) {
  quvex_->SetParam(QUVEX_PARAM_AVI_SIZE_LIMIT, 0);
  ASSERT_EQ(Rec("z.raw", QUVEX_REC_RAW), 1);
  Frames(4);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  EXPECT_EQ(Contents(Path("z.raw")).size(), kRawFrame);
  EXPECT_EQ(Contents(Path("z_1.raw")).size(), kRawFrame);
  EXPECT_EQ(Contents(Path("z_2.raw")).size(), kRawFrame);
  EXPECT_EQ(Contents(Path("z_3.raw")).size(), 0u);  // opened by the last roll-over, then stopped
  EXPECT_FALSE(Exists(Path("z_4.raw")));
}

TEST_F(Recording, AFileThatCannotBeMadeOrWrittenIsErrorNineAndCaptureGoesOn) {
  // A missing folder fails the open; a full disk fails the first frame's write.
  for (const char16_t* name : {u"/nonexistent/folder/x.raw", u"/dev/full"}) {
    ASSERT_EQ(quvex_->Rec(name, QUVEX_REC_RAW), 1);
    camera_->framesReady = camera_->framesReady.load() + 3;
    int frames = 0, errors = 0;
    while (frames < 3) {
      const QuvexMessage message = Next();
      if (message.message == 0) break;
      frames += message.message == WM_QUVEX_FRAME;
      errors += message.message == WM_QUVEX_ERROR && message.lParam == QUVEX_ERR_FILE;
    }
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(errors, 1);  // one attempt: the type stays selected until it changes
    EXPECT_EQ(quvex_->GetParam(QUVEX_PARAM_RECORDING), 0);  // no record file is open
    Rec("", QUVEX_REC_NONE);
    Frames(1);
  }
}

TEST_F(Recording, ANewRecordingEmptiesAnOlderLongerFile) {
  test::WriteBytes(Path("old.raw"), test::Bytes(10 * kRawFrame, 0xAB));
  ASSERT_EQ(Rec("old.raw", QUVEX_REC_RAW), 1);
  Frames(2);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  EXPECT_EQ(Contents(Path("old.raw")).size(), kRawFrame);
}

TEST_F(Recording, AnAviStoppedBeforeItsFirstFrameIsStillValid) {
  ASSERT_EQ(Rec("empty.avi", QUVEX_REC_AVI), 1);
  Frames(1);
  Rec("", QUVEX_REC_NONE);
  Frames(1);
  const auto movie = Contents(Path("empty.avi"));
  ASSERT_EQ(movie.size(), 240u);
  uint32_t microseconds;
  std::memcpy(&microseconds, movie.data() + 32, 4);
  EXPECT_EQ(microseconds, 33333u);  // the nominal 30 frames per second
}

}  // namespace
}  // namespace quvex
