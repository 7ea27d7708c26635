// Recordings through Galdris's exported interface against the simulated
// camera: the movie decoded by ffmpeg shows exactly the colour frames the
// library returned, and a missing folder is reported while capture goes on.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/galdris_session.h"
#include "tests/support/temp_directory.h"

namespace quvex::test {
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kColourBytes = size_t{kWidth} * kHeight * 3;

class GaldrisRecording : public GaldrisSession {
 protected:
  GaldrisRecording() : GaldrisSession(AtFrameRate(20)) {}
  void SetUp() override {
    GaldrisSession::SetUp();
    dir_ = test::MakeTempDirectory("recording");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    GaldrisSession::TearDown();
    std::system(("rm -rf " + dir_).c_str());
  }
  // Waits for the next frame and returns its colour image as the library
  // hands it out (view flip 0: the colour storage as it stands); empty when
  // a slow run found the frame already overwritten.
  std::vector<uint8_t> NextColourFrame(uint32_t timeoutMs = 20000) {
    const int id = messages_.NextFrame(timeoutMs);
    if (id == 0) {
      if (timeoutMs != 0) ADD_FAILURE() << "no frame arrived";
      return {};
    }
    std::vector<uint8_t> colour(kColourBytes);
    if (library_->Quvex_GetColor(handle_, id, colour.data(), static_cast<int>(kColourBytes)) == 0) {
      library_->DrainErrors(handle_);
      return {};
    }
    return colour;
  }

  std::string dir_;
};

TEST_F(GaldrisRecording, TheMovieShowsTheColourFramesTheLibraryReturned) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  NextColourFrame();
  const std::string movie = dir_ + "/movie.avi";
  ASSERT_EQ(q.Quvex_RecA(handle_, movie.c_str(), QUVEX_REC_AVI), 1);
  // Every frame announced from here on, however late the test came here;
  // all but the first two at most are in the movie: the one finished as the
  // request came and the one that opened the movie.
  DrainMessages();
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 8; ++i) frames.push_back(NextColourFrame());
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RECORDING), 1);
  q.Quvex_RecA(handle_, "", QUVEX_REC_NONE);
  // Once the movie is closed, every frame in it has been announced already.
  do {
    frames.push_back(NextColourFrame());
  } while (q.Quvex_GetParam(handle_, QUVEX_PARAM_RECORDING) != 0 && frames.size() < 500);
  // Paused, no new frame is announced: a slow reader empties the queue too.
  ASSERT_EQ(q.Quvex_Pause(handle_), 1);
  while (QuvexWindow_PendingCount(window_) > 0) frames.push_back(NextColourFrame(0));
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RECORDING), 0);
  q.Quvex_Close(handle_);

  const std::string probe = "ffprobe -v error -count_frames -show_entries "
                            "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + movie;
  FILE* pipe = popen(probe.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[128] = {};
  ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  const std::string stream(line);
  ASSERT_EQ(stream.rfind("rawvideo,640,480,", 0), 0u) << stream;
  const int recorded = std::stoi(stream.substr(17));
  EXPECT_GE(recorded, 6);  // the frames between the two requests, at least

  // The movie is bottom-up like the colour image: its top row is the last
  // stored row. Its frames are consecutive frames the library returned.
  const auto matches = [](const std::vector<uint8_t>& decoded, const std::vector<uint8_t>& colour) {
    if (colour.empty()) return false;
    for (int r = 0; r < kHeight; ++r) {
      if (std::memcmp(decoded.data() + static_cast<size_t>(r) * kWidth * 3,
                      colour.data() + static_cast<size_t>(kHeight - 1 - r) * kWidth * 3,
                      kWidth * 3) != 0) {
        return false;
      }
    }
    return true;
  };
  const std::string decode = "ffmpeg -v error -i " + movie + " -f rawvideo -pix_fmt bgr24 -";
  pipe = popen(decode.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<uint8_t> decoded(kColourBytes);
  // Movie frame k is returned frame k + shift: the movie may begin before the
  // first frame the test kept, when the test came late to the drain, or after
  // it. The first movie frame found among those returned fixes the shift;
  // frames a slow run lost are passed over.
  std::optional<ptrdiff_t> shift;
  int compared = 0;
  for (int k = 0; k < recorded; ++k) {
    ASSERT_EQ(std::fread(decoded.data(), 1, decoded.size(), pipe), decoded.size()) << "frame " << k;
    if (!shift) {
      for (size_t n = 0; n < frames.size() && !shift; ++n) {
        if (matches(decoded, frames[n])) shift = static_cast<ptrdiff_t>(n) - k;
      }
      compared += shift ? 1 : 0;
      continue;
    }
    const auto next = static_cast<size_t>(k + *shift);
    ASSERT_LT(next, frames.size());
    if (frames[next].empty()) continue;
    EXPECT_TRUE(matches(decoded, frames[next])) << "movie frame " << k;
    ++compared;
  }
  pclose(pipe);
  ASSERT_TRUE(shift) << "no movie frame is one of the frames returned";
  EXPECT_GE(compared, 4);
}

TEST_F(GaldrisRecording, AMissingFolderIsReportedOnceAndFramesKeepComing) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  NextColourFrame();
  ASSERT_EQ(q.Quvex_RecA(handle_, "/nonexistent/folder/x.raw", QUVEX_REC_RAW), 1);
  // Frames announced before the thread took the request may still be queued:
  // only those after the error count.
  int framesAfter = 0, fileErrors = 0;
  std::optional<QuvexMessage> message;
  while (framesAfter < 5 && (message = messages_.Next())) {
    framesAfter += fileErrors > 0 && message->message == WM_QUVEX_FRAME;
    fileErrors += message->message == WM_QUVEX_ERROR && message->lParam == QUVEX_ERR_FILE;
  }
  EXPECT_EQ(framesAfter, 5);
  EXPECT_EQ(fileErrors, 1);
}

}  // namespace
}  // namespace quvex::test
