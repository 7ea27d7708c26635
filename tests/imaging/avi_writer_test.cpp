// AVI writer: the header fields at their offsets, the running sizes the
// recording reads, refusals and failed writes; every finished movie is probed
// by ffprobe and decoded by ffmpeg and compared with the frames written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "imaging/avi_writer.h"

namespace quvex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFrame640 = 640 * 480 * 3;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32At(const Bytes& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(offset + i);
  return value;
}

std::string TagAt(const Bytes& bytes, size_t offset) {
  return std::string(bytes.begin() + static_cast<long>(offset),
                     bytes.begin() + static_cast<long>(offset) + 4);
}

// Runs a shell command; its standard output, or nullopt when it failed.
std::optional<Bytes> RunCapturing(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  Bytes output;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.insert(output.end(), buffer, buffer + n);
  if (pclose(pipe) != 0) return std::nullopt;
  return output;
}

// Frames of random bytes, each stored bottom row first.
std::vector<Bytes> MakeFrames(size_t count, size_t frameBytes, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Bytes> frames(count, Bytes(frameBytes));
  for (Bytes& frame : frames)
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
  return frames;
}

// A frame's rows as a player shows them: top row first.
Bytes TopDown(const Bytes& frame, size_t rowBytes) {
  Bytes rows;
  for (size_t end = frame.size(); end >= rowBytes; end -= rowBytes)
    rows.insert(rows.end(), frame.begin() + static_cast<long>(end - rowBytes),
                frame.begin() + static_cast<long>(end));
  return rows;
}

// Sets a geometry and the starting state the recording uses.
void Prepare(CAviWriter& writer, int32_t width, int32_t height) {
  writer.SetWidth(width);
  writer.SetHeight(height);
  writer.SetBitsPerPixel(24);
  writer.SetRate(30);
  writer.SetFrameCount(0);
}

class AviWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quvex_avi_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path File(const std::string& name) const { return dir_ / name; }

  // The whole recording sequence: open, frames, measured rate, finish.
  void Record(const fs::path& path, int32_t width, int32_t height,
              const std::vector<Bytes>& frames, uint32_t measuredRate) {
    Prepare(writer_, width, height);
    ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
    for (const Bytes& frame : frames) {
      ASSERT_EQ(writer_.WriteFrame(frame.data()), 1);
      writer_.SetFrameCount(writer_.FrameCount() + 1);
    }
    writer_.SetRate(measuredRate);
    ASSERT_EQ(writer_.Finish(), 1);
  }

  // ffprobe sees one rawvideo stream of this geometry, frame count and rate,
  // and ffmpeg decodes exactly the given frames, top row first.
  static void ExpectPlayable(const fs::path& path, int width, int height,
                             const std::vector<Bytes>& frames, double framesPerSecond) {
    const auto probe = RunCapturing(
        "ffprobe -v error -count_frames -show_entries "
        "format=nb_streams:stream=codec_name,width,height,nb_read_frames,r_frame_rate "
        "-of default=noprint_wrappers=1 '" + path.string() + "'");
    ASSERT_TRUE(probe) << "ffprobe rejected " << path;
    std::map<std::string, std::string> fields;
    std::string text(probe->begin(), probe->end());
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      const std::string line = text.substr(at, end - at);
      if (const size_t eq = line.find('='); eq != std::string::npos)
        fields[line.substr(0, eq)] = line.substr(eq + 1);
      at = end == std::string::npos ? text.size() : end + 1;
    }
    EXPECT_EQ(fields["nb_streams"], "1");
    EXPECT_EQ(fields["codec_name"], "rawvideo");
    EXPECT_EQ(fields["width"], std::to_string(width));
    EXPECT_EQ(fields["height"], std::to_string(height));
    // An empty movie has no frame to count.
    const std::string& count = fields["nb_read_frames"];
    if (frames.empty())
      EXPECT_TRUE(count == "0" || count == "N/A") << count;
    else
      EXPECT_EQ(count, std::to_string(frames.size()));
    const std::string& rate = fields["r_frame_rate"];
    const size_t slash = rate.find('/');
    ASSERT_NE(slash, std::string::npos) << rate;
    EXPECT_NEAR(std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)),
                framesPerSecond, framesPerSecond * 1e-5);

    if (frames.empty()) return;
    const auto decoded =
        RunCapturing("ffmpeg -v error -i '" + path.string() + "' -f rawvideo -pix_fmt bgr24 -");
    ASSERT_TRUE(decoded) << "ffmpeg could not decode " << path;
    Bytes expected;
    for (const Bytes& frame : frames) {
      const Bytes rows = TopDown(frame, static_cast<size_t>(width) * 3);
      expected.insert(expected.end(), rows.begin(), rows.end());
    }
    EXPECT_TRUE(*decoded == expected) << "decoded frames differ from the frames written";
  }

  fs::path dir_;
  CAviWriter writer_;
};

TEST_F(AviWriterTest, ThreeFramesOf640x480HaveTheFullLayout) {
  const auto frames = MakeFrames(3, kFrame640, 1);
  const fs::path path = File("three.avi");
  Record(path, 640, 480, frames, 3000);
  const Bytes file = ReadFile(path);
  constexpr uint32_t kChunk = kFrame640 + 8;
  ASSERT_EQ(file.size(), 2765112u);

  const std::map<size_t, std::string> tags = {
      {0, "RIFF"},   {8, "AVI "},   {12, "LIST"},  {20, "hdrl"},  {24, "avih"},
      {88, "LIST"},  {96, "strl"},  {100, "strh"}, {108, "vids"}, {112, "DIB "},
      {172, "strf"}, {220, "LIST"}, {228, "movi"}};
  // The 32-bit fields of the headers; those not listed hold 0.
  const std::map<size_t, uint32_t> fields = {
      {4, 2765104},   {16, 200},      {28, 56},         {32, 33333},  {36, kChunk * 30},
      {44, 0x10010},  {48, 3},        {56, 1},          {60, kChunk}, {64, 640},
      {68, 480},      {92, 124},      {104, 64},        {128, 333333}, {132, 10000000},
      {140, 3},       {144, kChunk},  {176, 40},        {180, 40},    {184, 640},
      {188, 480},     {192, 1 | 24 << 16},  // planes, bits per pixel
      {224, 2764828}};
  for (size_t offset = 0; offset < 232; offset += 4) {
    if (tags.count(offset) != 0) {
      EXPECT_EQ(TagAt(file, offset), tags.at(offset)) << "offset " << offset;
    } else {
      EXPECT_EQ(U32At(file, offset), fields.count(offset) != 0 ? fields.at(offset) : 0u)
          << "offset " << offset;
    }
  }
  for (size_t k = 0; k < 3; ++k) {
    const size_t chunk = 232 + k * kChunk;
    EXPECT_EQ(TagAt(file, chunk), "00db");
    EXPECT_EQ(U32At(file, chunk + 4), kFrame640);
    EXPECT_TRUE(std::equal(frames[k].begin(), frames[k].end(),
                           file.begin() + static_cast<long>(chunk + 8)));
  }

  const size_t index = 232 + 3 * kChunk;
  EXPECT_EQ(TagAt(file, index), "idx1");
  EXPECT_EQ(U32At(file, index + 4), 48u);
  const uint32_t offsets[] = {4, 921612, 1843220};
  for (size_t k = 0; k < 3; ++k) {
    const size_t entry = index + 8 + 16 * k;
    EXPECT_EQ(TagAt(file, entry), "00db");
    EXPECT_EQ(U32At(file, entry + 4), 0x10u);
    EXPECT_EQ(U32At(file, entry + 8), offsets[k]);
    EXPECT_EQ(U32At(file, entry + 12), kFrame640);
  }
  ExpectPlayable(path, 640, 480, frames, 30.0);
}

TEST_F(AviWriterTest, RunningSizesFollowEveryStep) {
  const auto frames = MakeFrames(2, 16 * 8 * 3, 2);
  const fs::path path = File("steps.avi");
  Prepare(writer_, 16, 8);
  EXPECT_EQ(writer_.RiffSize(), 0u);
  ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
  EXPECT_TRUE(writer_.IsOpen());
  EXPECT_EQ(writer_.RiffSize(), 224u);

  // Right after opening: the headers only, with zero sizes and counts.
  const Bytes opened = ReadFile(path);
  ASSERT_EQ(opened.size(), 232u);
  for (size_t offset : {4, 48, 140, 224}) EXPECT_EQ(U32At(opened, offset), 0u) << offset;
  EXPECT_EQ(U32At(opened, 32), 33333u);
  EXPECT_EQ(U32At(opened, 128), 333333u);

  constexpr uint32_t kChunk = 16 * 8 * 3 + 8;
  EXPECT_EQ(writer_.FrameBytes(), kChunk - 8);
  EXPECT_EQ(writer_.RiffSizeWithNextFrame(), 224u + kChunk + 8 + 16);
  for (size_t k = 0; k < frames.size(); ++k) {
    ASSERT_EQ(writer_.WriteFrame(frames[k].data()), 1);
    writer_.SetFrameCount(writer_.FrameCount() + 1);
    EXPECT_EQ(writer_.RiffSize(), 224 + (k + 1) * kChunk);
  }
  EXPECT_EQ(writer_.RiffSizeWithNextFrame(), 224u + 3 * kChunk + 8 + 3 * 16);
  writer_.SetRate(2500);
  ASSERT_EQ(writer_.Finish(), 1);
  EXPECT_FALSE(writer_.IsOpen());
  EXPECT_EQ(writer_.RiffSize(), 224u + 2 * kChunk + 8 + 32);
  EXPECT_EQ(ReadFile(path).size(), writer_.RiffSize() + 8u);

  // Closing reads as an empty file to the roll-over test; the geometry, rate
  // and count stay for the next file.
  writer_.Close();
  EXPECT_EQ(writer_.RiffSize(), 0u);
  EXPECT_EQ(writer_.Width(), 16);
  EXPECT_EQ(writer_.FrameCount(), 2u);
  EXPECT_EQ(writer_.Rate(), 2500u);
  ExpectPlayable(path, 16, 8, frames, 25.0);
}

TEST_F(AviWriterTest, MeasuredRatesSetTheTiming) {
  struct Case {
    uint32_t rate, microSecPerFrame, scale;
    double framesPerSecond;
  };
  // A zero rate (stopped before the first frame or within a millisecond)
  // keeps the nominal 30 frames per second.
  for (const Case c : {Case{3000, 33333, 333333, 30.0}, Case{2997, 33366, 333667, 29.97},
                       Case{0, 33333, 333333, 30.0}, Case{100, 1000000, 10000000, 1.0}}) {
    SCOPED_TRACE(c.rate);
    const auto frames = MakeFrames(2, 8 * 4 * 3, c.rate);
    const fs::path path = File("rate" + std::to_string(c.rate) + ".avi");
    Record(path, 8, 4, frames, c.rate);
    const Bytes file = ReadFile(path);
    EXPECT_EQ(U32At(file, 32), c.microSecPerFrame);
    EXPECT_EQ(U32At(file, 128), c.scale);
    EXPECT_EQ(U32At(file, 132), 10000000u);
    ExpectPlayable(path, 8, 4, frames, c.framesPerSecond);
  }
}

TEST_F(AviWriterTest, ZeroRatesNeverLeaveAnInvalidHeader) {
  const fs::path path = File("empty.avi");
  Prepare(writer_, 8, 4);
  writer_.SetRate(0);
  ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
  const Bytes opened = ReadFile(path);
  EXPECT_EQ(U32At(opened, 32), 33333u);
  EXPECT_EQ(U32At(opened, 128), 333333u);

  // Stopped before the first frame: an empty but valid movie.
  ASSERT_EQ(writer_.Finish(), 1);
  const Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 240u);
  EXPECT_EQ(U32At(file, 4), 232u);
  EXPECT_EQ(U32At(file, 224), 4u);
  EXPECT_EQ(TagAt(file, 232), "idx1");
  EXPECT_EQ(U32At(file, 236), 0u);
  EXPECT_EQ(U32At(file, 32), 33333u);
  EXPECT_EQ(U32At(file, 128), 333333u);
  ExpectPlayable(path, 8, 4, {}, 30.0);

  // A rate beyond the tick resolution still leaves a non-zero scale.
  const fs::path fast = File("fast.avi");
  Record(fast, 8, 4, MakeFrames(1, 96, 3), 4000000000u);
  EXPECT_EQ(U32At(ReadFile(fast), 128), 1u);
}

TEST_F(AviWriterTest, NewMovieReplacesALongerFileEntirely) {
  const fs::path path = File("reused.avi");
  const auto longFrames = MakeFrames(5, 32 * 16 * 3, 4);
  Record(path, 32, 16, longFrames, 3000);
  writer_.Close();
  const auto shortFrames = MakeFrames(1, 8 * 4 * 3, 5);
  Record(path, 8, 4, shortFrames, 3000);
  const Bytes file = ReadFile(path);
  EXPECT_EQ(file.size(), U32At(file, 4) + 8u);
  EXPECT_EQ(file.size(), 232u + 104 + 8 + 16);
  ExpectPlayable(path, 8, 4, shortFrames, 30.0);
}

TEST_F(AviWriterTest, RefusesWhatItCannotWrite) {
  const Bytes frame(96);
  Prepare(writer_, 8, 4);
  // Nothing open: no frame, no finish.
  EXPECT_EQ(writer_.WriteFrame(frame.data()), 0);
  EXPECT_EQ(writer_.Finish(), 0);
  EXPECT_FALSE(writer_.NextFrameFits());

  const fs::path missingDir = File("missing") / "movie.avi";
  EXPECT_EQ(writer_.Open(missingDir.u16string().c_str()), 0);
  EXPECT_EQ(writer_.Open(nullptr), 0);
  EXPECT_FALSE(writer_.IsOpen());
  EXPECT_EQ(writer_.WriteFrame(frame.data()), 0);
  EXPECT_EQ(writer_.RiffSize(), 0u);

  // The headers cannot be written to a full device.
  EXPECT_EQ(writer_.Open(u"/dev/full"), 0);
  EXPECT_FALSE(writer_.IsOpen());

  // A null frame writes nothing.
  const fs::path path = File("null.avi");
  ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
  EXPECT_EQ(writer_.WriteFrame(nullptr), 0);
  EXPECT_EQ(writer_.RiffSize(), 224u);
  EXPECT_EQ(fs::file_size(path), 232u);

  // A frame count above the frames written describes only those written.
  const auto frames = MakeFrames(2, 96, 6);
  for (const Bytes& f : frames) ASSERT_EQ(writer_.WriteFrame(f.data()), 1);
  writer_.SetFrameCount(5);
  writer_.SetRate(3000);
  ASSERT_EQ(writer_.Finish(), 1);
  const Bytes file = ReadFile(path);
  EXPECT_EQ(U32At(file, 48), 2u);
  EXPECT_EQ(U32At(file, 140), 2u);
  EXPECT_EQ(U32At(file, 232 + 2 * 104 + 4), 32u);
  ExpectPlayable(path, 8, 4, frames, 30.0);
}

TEST_F(AviWriterTest, RefusesGeometriesBeyond32Bits) {
  const fs::path path = File("huge.avi");
  for (auto [width, height] : {std::pair{-8, 4}, std::pair{8, -4}, std::pair{40000, 40000},
                               std::pair{std::numeric_limits<int32_t>::max(),
                                         std::numeric_limits<int32_t>::max()}}) {
    Prepare(writer_, width, height);
    EXPECT_EQ(writer_.Open(path.u16string().c_str()), 0) << width << "x" << height;
    EXPECT_FALSE(fs::exists(path));
  }
}

// Caps the size of files this process may write, for the duration of a scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

TEST_F(AviWriterTest, FailedFrameWriteLeavesNoTrace) {
  const fs::path path = File("failed_frame.avi");
  const auto frames = MakeFrames(3, 96, 7);
  Prepare(writer_, 8, 4);
  ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
  ASSERT_EQ(writer_.WriteFrame(frames[0].data()), 1);
  {
    // The second frame breaks off in the middle of its pixels.
    FileSizeLimit limit(232 + 104 + 50);
    EXPECT_EQ(writer_.WriteFrame(frames[1].data()), 0);
    EXPECT_EQ(writer_.RiffSize(), 224u + 104);
  }
  // The next frame takes the failed one's place.
  ASSERT_EQ(writer_.WriteFrame(frames[2].data()), 1);
  writer_.SetFrameCount(2);
  writer_.SetRate(3000);
  ASSERT_EQ(writer_.Finish(), 1);
  const Bytes file = ReadFile(path);
  EXPECT_EQ(file.size(), U32At(file, 4) + 8u);
  ExpectPlayable(path, 8, 4, {frames[0], frames[2]}, 30.0);
}

TEST_F(AviWriterTest, FinishReportsAFailedIndexWrite) {
  const fs::path path = File("failed_index.avi");
  const auto frames = MakeFrames(2, 96, 8);
  Prepare(writer_, 8, 4);
  ASSERT_EQ(writer_.Open(path.u16string().c_str()), 1);
  for (const Bytes& f : frames) ASSERT_EQ(writer_.WriteFrame(f.data()), 1);
  writer_.SetFrameCount(2);
  FileSizeLimit limit(232 + 2 * 104 + 12);
  EXPECT_EQ(writer_.Finish(), 0);
  EXPECT_FALSE(writer_.IsOpen());
}

TEST_F(AviWriterTest, RefusesTheFrameThatWouldOverflowTheRiffSize) {
  // Frames of about 2 GiB, read from untouched zero pages and written to
  // /dev/null: the first fits, the second would pass 4 GiB.
  constexpr int32_t kWidth = 32768, kHeight = 21846;
  constexpr uint64_t kFrameBytes = uint64_t{kWidth} * kHeight * 3;
  void* pixels =
      mmap(nullptr, kFrameBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(pixels, MAP_FAILED);
  Prepare(writer_, kWidth, kHeight);
  ASSERT_EQ(writer_.Open(u"/dev/null"), 1);
  EXPECT_TRUE(writer_.NextFrameFits());
  ASSERT_EQ(writer_.WriteFrame(static_cast<const uint8_t*>(pixels)), 1);
  EXPECT_EQ(writer_.RiffSize(), 224 + kFrameBytes + 8);

  EXPECT_EQ(writer_.RiffSizeWithNextFrame(), 224 + 2 * (kFrameBytes + 8) + 8 + 32);
  EXPECT_FALSE(writer_.NextFrameFits());
  EXPECT_EQ(writer_.WriteFrame(static_cast<const uint8_t*>(pixels)), 0);
  EXPECT_EQ(writer_.RiffSize(), 224 + kFrameBytes + 8);
  writer_.SetFrameCount(2);
  EXPECT_EQ(writer_.Finish(), 1);
  munmap(pixels, kFrameBytes);
}

}  // namespace
}  // namespace quvex
