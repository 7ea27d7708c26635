// Frame access, saves and capture switches of Galdris through its exported
// interface against the simulated USB camera. Saved pictures are read back
// with Pillow, pngcheck and tiffinfo, never with the library's own code.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/galdris_session.h"

namespace quvex::test {
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kPixels = kWidth * kHeight;
constexpr int kRawBytes = kPixels * 2, kColourBytes = kPixels * 3, kFloatBytes = kPixels * 4;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class T>
void WriteFile(const std::string& path, const std::vector<T>& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()),
             static_cast<std::streamsize>(data.size() * sizeof(T)));
}

template <class T>
std::vector<uint8_t> Bytes(const std::vector<T>& data) {
  const auto* begin = reinterpret_cast<const uint8_t*>(data.data());
  return {begin, begin + data.size() * sizeof(T)};
}

// The image's rows (elements per row given), in reverse order when asked.
template <class T>
std::vector<T> Rows(const std::vector<T>& image, size_t rowLength, bool reversed) {
  if (!reversed) return image;
  std::vector<T> out;
  for (size_t row = image.size() / rowLength; row-- > 0;) {
    out.insert(out.end(), image.begin() + row * rowLength, image.begin() + (row + 1) * rowLength);
  }
  return out;
}

// Runs a command; empty on exit status 0, else its output and status.
std::string Fails(const std::string& command) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = pclose(pipe);
  return status == 0 ? "" : command + " -> " + std::to_string(status) + ": " + output;
}

// A headerless table: N, then N points (raw, temperature).
std::vector<uint8_t> HeaderlessTable(int first, int step, int count, float degreesPerUnit) {
  std::vector<uint8_t> bytes(4 + 8 * static_cast<size_t>(count));
  std::memcpy(bytes.data(), &count, 4);
  for (int i = 0; i < count; ++i) {
    const int32_t raw = first + i * step;
    const float temperature = static_cast<float>(raw) * degreesPerUnit;
    std::memcpy(&bytes[4 + 8 * static_cast<size_t>(i)], &raw, 4);
    std::memcpy(&bytes[8 + 8 * static_cast<size_t>(i)], &temperature, 4);
  }
  return bytes;
}

class GaldrisAccess : public GaldrisSession {
 protected:
  GaldrisAccess() : GaldrisSession(AtFrameRate(200)) {}
  void SetUp() override {
    GaldrisSession::SetUp();
    char folder[] = "/tmp/quvex_access_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir_ = folder;
  }
  void TearDown() override {
    GaldrisSession::TearDown();
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }
  std::vector<float> Temperatures(int id) {
    std::vector<float> values(kPixels);
    EXPECT_EQ(library_->Quvex_GetTemperature(handle_, id, values.data(), kFloatBytes), 1);
    return values;
  }
  std::string Save(const std::string& name, int type) {
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(library_->Quvex_SaveA(handle_, path.c_str(), type), 1) << name;
    return path;
  }
  // Empty when Pillow shows the file as the expected picture (top row first).
  std::string PictureMismatch(const std::string& file, const char* kind,
                              const std::string& expected) {
    return Fails(std::string(QUVEX_PYTHON) + " " + QUVEX_SOURCE_DIR +
                 "/tests/interface/check_saved_rows.py " + file + " " + kind + " " + expected +
                 " " + std::to_string(kWidth) + " " + std::to_string(kHeight));
  }

  std::string dir_;
};

template <class T>
std::vector<T> Clamped(const std::vector<float>& temperatures, float low, float high) {
  std::vector<T> out;
  for (float t : temperatures) {
    out.push_back(t <= low    ? static_cast<T>(low)
                  : t >= high ? static_cast<T>(high)
                              : static_cast<T>(t));
  }
  return out;
}

TEST_F(GaldrisAccess, EverySaveTypeFollowsTheFileFlip) {
  auto& q = *library_;
  // Fixed bounds: column 2 carries the row number, so it is black in raw rows
  // 0 to 239 and coloured below; the picture shows which way up it is.
  q.Quvex_SetParam(handle_, QUVEX_PARAM_AUTO_RANGE, 0);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_LOW, sim::kActiveBase + 239);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_HIGH, 8100);
  const int id = q.Quvex_OneShot(handle_);
  ASSERT_NE(id, 0);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);  // stored raw order
  std::vector<uint16_t> raw(kPixels);
  ASSERT_EQ(q.Quvex_GetRaw(handle_, id, raw.data(), kRawBytes), 1);
  ASSERT_TRUE(sim::IsWholeFrame(raw.data(), kWidth, kHeight));
  const std::vector<float> temperatures = Temperatures(id);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 0);  // colour storage order
  std::vector<uint8_t> colour(kColourBytes);
  ASSERT_EQ(q.Quvex_GetColor(handle_, id, colour.data(), kColourBytes), 1);
  const auto pixel = [&](int row, int column) {
    return &colour[(size_t{kWidth} * row + column) * 3];
  };
  ASSERT_EQ(std::memcmp(pixel(kHeight - 1, 2), "\0\0\0", 3), 0) << "colour row H-1 is raw row 0";
  ASSERT_NE(std::memcmp(pixel(0, 2), "\0\0\0", 3), 0) << "colour row 0 is raw row 479";

  std::vector<uint8_t> rgb = colour;  // the colour storage with red first
  for (size_t i = 0; i < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
  // Raw samples (5400 and up) shifted left by 6 saturate at 0xFFC0.
  WriteFile(dir_ + "/expected_raw16", std::vector<uint16_t>(kPixels, 0xFFC0));

  for (int flip : {0, 1}) {
    SCOPED_TRACE("file flip " + std::to_string(flip));
    ASSERT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_FILE_FLIP, flip), 1);
    const std::string tag = std::to_string(flip);
    // Pictures: with flip 0 the top row is raw row 0 (colour row H-1), with 1 raw row 479.
    const std::string expectedColour = dir_ + "/expected_colour" + tag;
    WriteFile(expectedColour, Rows(rgb, kWidth * 3, flip == 0));
    for (const auto& [type, name] : {std::pair{0, "bmp"}, {5, "png"}, {6, "tiff"}}) {
      const std::string file = Save("colour" + tag + "." + name, type);
      EXPECT_EQ(PictureMismatch(file, "rgb", expectedColour), "");
    }
    for (const auto& [type, name] : {std::pair{8, "png"}, {9, "tiff"}}) {
      const std::string file = Save("raw" + tag + "." + name, type);
      EXPECT_EQ(PictureMismatch(file, "grey16", dir_ + "/expected_raw16"), "");
    }
    for (const char* name : {"colour", "raw"}) {
      EXPECT_EQ(Fails("pngcheck -q " + dir_ + "/" + name + tag + ".png"), "");
      EXPECT_EQ(Fails("tiffinfo " + dir_ + "/" + name + tag + ".tiff"), "");
    }
    // Bare files begin with raw row 479 with flip 0 and with raw row 0 with flip 1.
    EXPECT_EQ(ReadFile(Save("raw16" + tag, QUVEX_SAVE_RAW16)), Bytes(Rows(raw, kWidth, flip == 0)));
    const std::vector<float> rows = Rows(temperatures, kWidth, flip == 0);
    EXPECT_EQ(ReadFile(Save("int8" + tag, QUVEX_SAVE_TEMP_INT8)),
              Bytes(Clamped<int8_t>(rows, -128, 127)));
    EXPECT_EQ(ReadFile(Save("uint8" + tag, QUVEX_SAVE_TEMP_UINT8)),
              Bytes(Clamped<uint8_t>(rows, 0, 255)));
    EXPECT_EQ(ReadFile(Save("int32" + tag, QUVEX_SAVE_TEMP_INT32)),
              Bytes(Clamped<int32_t>(rows, -1e9f, 1e9f)));
    EXPECT_EQ(ReadFile(Save("float" + tag, QUVEX_SAVE_TEMP_FLOAT)), Bytes(rows));
  }
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(GaldrisAccess, RangeModeTwoConvertsThroughTableB) {
  auto& q = *library_;
  const int id = q.Quvex_OneShot(handle_);
  ASSERT_NE(id, 0);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);
  q.Quvex_SetParam(handle_, QUVEX_PARAM_FILE_FLIP, 1);
  std::vector<uint16_t> raw(kPixels);
  ASSERT_EQ(q.Quvex_GetRaw(handle_, id, raw.data(), kRawBytes), 1);
  const std::vector<float> tableA = Temperatures(id);
  for (float t : tableA) ASSERT_TRUE(t > -1.0f && t < 100.0f) << t;  // the scene lies in table A
  EXPECT_NE(tableA[0], 0.0f);

  ASSERT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, QUVEX_RANGE_HIGH), 1);
  const std::vector<float> builtInB = Temperatures(id);
  EXPECT_EQ(builtInB, std::vector<float>(kPixels, 0.0f));  // above table B's range
  EXPECT_EQ(ReadFile(Save("builtin_b", QUVEX_SAVE_TEMP_FLOAT)), Bytes(builtInB));

  // A table loaded in range mode 2 replaces table B: t = raw / 100.
  const std::string table = dir_ + "/b.tbl";
  WriteFile(table, HeaderlessTable(5000, 100, 50, 0.01f));
  ASSERT_EQ(q.Quvex_SetTableA(handle_, table.c_str()), 1);
  const std::vector<float> loadedB = Temperatures(id);
  for (int i = 0; i < kPixels; i += 997) {
    EXPECT_NEAR(loadedB[i], raw[i] / 100.0f, 0.01f) << "pixel " << i;
  }
  EXPECT_EQ(ReadFile(Save("loaded_b", QUVEX_SAVE_TEMP_FLOAT)), Bytes(loadedB));

  ASSERT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, QUVEX_RANGE_DEFAULT), 1);
  EXPECT_EQ(Temperatures(id), tableA);  // table A was left alone
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(GaldrisAccess, PauseHoldsFramesBackAndStartResumesThem) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);
  ASSERT_EQ(q.Quvex_Pause(handle_), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_PAUSED), 1);
  // However many frames a slow test left unread before the pause, after it
  // only those in flight may still be announced, however slowly they are
  // finished.
  DrainMessages();
  const uint32_t before = camera_->FramesDelivered(0);
  ASSERT_TRUE(camera_->WaitForFrames(0, before + 80, 20000));
  EXPECT_LE(QuvexWindow_PendingCount(window_), kFramesInFlight);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_CAPTURING), 1);

  DrainMessages();
  ASSERT_EQ(q.Quvex_Start(handle_), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_PAUSED), 0);
  // More frames than were in flight: at least one was taken after the start.
  for (int i = 0; i <= kFramesInFlight; ++i) ASSERT_NE(NextFrame(), 0);
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(GaldrisAccess, StaleIdsAndShortBuffersAreRefused) {
  auto& q = *library_;
  const int slots = q.Quvex_GetParam(handle_, QUVEX_PARAM_RING_SLOTS);
  EXPECT_EQ(slots, 10);
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  const int stale = NextFrame();
  ASSERT_NE(stale, 0);
  for (int i = 0; i <= slots; ++i) ASSERT_NE(NextFrame(), 0);  // the ring has wrapped
  std::vector<uint8_t> buffer(kFloatBytes);
  EXPECT_EQ(q.Quvex_GetRaw(handle_, stale, buffer.data(), kRawBytes), 0);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), QUVEX_ERR_ARGUMENT);
  ASSERT_EQ(q.Quvex_Close(handle_), 1);
  library_->DrainErrors(handle_);

  const int id = q.Quvex_OneShot(handle_);  // stays in the ring: no capture thread
  ASSERT_NE(id, 0);
  const auto getRaw = [&](void* out, int size) { return q.Quvex_GetRaw(handle_, id, out, size); };
  const auto getColour = [&](void* out, int size) {
    return q.Quvex_GetColor(handle_, id, out, size);
  };
  const auto getTemperature = [&](void* out, int size) {
    return q.Quvex_GetTemperature(handle_, id, static_cast<float*>(out), size);
  };
  const std::vector<std::pair<std::function<int(void*, int)>, int>> calls = {
      {getRaw, kRawBytes}, {getColour, kColourBytes}, {getTemperature, kFloatBytes}};
  for (const auto& [call, needed] : calls) {
    SCOPED_TRACE("needs " + std::to_string(needed));
    EXPECT_EQ(call(buffer.data(), needed), 1);
    EXPECT_EQ(call(buffer.data(), needed - 1), 0);
    EXPECT_EQ(q.Quvex_GetLastError(handle_), QUVEX_ERR_BUFFER);
    std::fill(buffer.begin(), buffer.end(), 0xA5);
    EXPECT_EQ(call(buffer.data(), -1), 0);
    EXPECT_EQ(q.Quvex_GetLastError(handle_), QUVEX_ERR_BUFFER);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xA5), kFloatBytes) << "refused, yet wrote";
    EXPECT_EQ(call(nullptr, needed), 0);
    EXPECT_EQ(q.Quvex_GetLastError(handle_), QUVEX_ERR_BUFFER);
  }
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_F(GaldrisAccess, HostThreadsRaceTheCaptureThreadSafely) {
  auto& q = *library_;
  const std::string table = dir_ + "/a.tbl";
  WriteFile(table, HeaderlessTable(5000, 100, 50, 0.01f));
  q.Quvex_SetParam(handle_, QUVEX_PARAM_VIEW_FLIP, 1);  // fixed for the whole test
  ASSERT_EQ(q.Quvex_Preview(handle_), 1);
  ASSERT_NE(NextFrame(), 0);

  constexpr int kIterations = 200;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto inTime = [&] { return std::chrono::steady_clock::now() < deadline; };
  std::atomic<int> whole{0}, broken{0}, failures{0};
  const auto expect = [&](bool ok) { failures += ok ? 0 : 1; };

  std::thread fetcher([&] {
    std::vector<uint16_t> raw(kPixels);
    std::vector<uint8_t> colour(kColourBytes);
    std::vector<float> temperatures(kPixels);
    for (int i = 0; i < kIterations && inTime(); ++i) {
      // The newest frame announced so far; error messages are skipped.
      const int id = messages_.NewestFrame(1000);
      if (id == 0) continue;
      // A frame overwritten meanwhile is refused with error 5, never torn.
      if (q.Quvex_GetRaw(handle_, id, raw.data(), kRawBytes) == 1) {
        (sim::IsWholeFrame(raw.data(), kWidth, kHeight) ? whole : broken)++;
      }
      q.Quvex_GetColor(handle_, id, colour.data(), kColourBytes);
      q.Quvex_GetTemperature(handle_, id, temperatures.data(), kFloatBytes);
    }
  });
  std::thread saver([&] {
    const int types[] = {QUVEX_SAVE_RAW, QUVEX_SAVE_RAW16, QUVEX_SAVE_TEMP_FLOAT};
    for (int i = 0; i < kIterations && inTime(); ++i) {
      const std::string path = dir_ + "/save" + std::to_string(i % 3);
      expect(q.Quvex_SaveA(handle_, path.c_str(), types[i % 3]) == 1);
    }
  });
  std::thread setter([&] {
    for (int i = 0; i < kIterations && inTime(); ++i) {
      expect(q.Quvex_SetParam(handle_, QUVEX_PARAM_AUTO_RANGE, i % 3 - 1) == 1);
      expect(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_LOW, 5000 + i) == 1);
      expect(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_HIGH, 8000 - i) == 1);
      expect(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, i % 3) == 1);
      expect(q.Quvex_SetParam(handle_, QUVEX_PARAM_LOOP_SLEEP, 1 + i % 2) == 1);
    }
  });
  std::thread loader([&] {
    for (int i = 0; i < kIterations && inTime(); ++i) {
      expect(q.Quvex_SetTableA(handle_, table.c_str()) == 1);
    }
  });
  for (std::thread* thread : {&fetcher, &saver, &setter, &loader}) thread->join();

  EXPECT_EQ(broken.load(), 0);
  EXPECT_GT(whole.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(q.Quvex_Close(handle_), 1);
  for (int code; (code = q.Quvex_GetLastError(handle_)) != 0;) EXPECT_EQ(code, QUVEX_ERR_ARGUMENT);
  EXPECT_EQ(q.Quvex_Release(handle_), 1);
  handle_ = 0;
}

}  // namespace
}  // namespace quvex::test
