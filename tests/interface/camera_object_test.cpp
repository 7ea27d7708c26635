// Camera objects through the exported interface of every library: handles,
// parameters, errors and their messages, before any camera is bound.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "quvex/quvex_window.h"
#include "tests/support/message_reader.h"
#include "tests/support/quvex_library.h"

namespace quvex::test {
namespace {

// Which table files a build reads: all three forms into A and B, the
// headerless form only, or all three forms by index into its one table.
enum class TableFiles { AllForms, HeaderlessOnly, Indexed };

struct BuildDefaults {
  const char* name;
  int width, height, ringSlots;
  TableFiles tableFiles;
};

// Test listings show the library, not the bytes of the record.
void PrintTo(const BuildDefaults& build, std::ostream* out) { *out << build.name; }

constexpr BuildDefaults kBuilds[] = {{"Galdris", 640, 480, 10, TableFiles::AllForms},
                                     {"Hesperon", 640, 480, 30, TableFiles::AllForms},
                                     {"Corvane", 320, 240, 10, TableFiles::AllForms},
                                     {"Dellisk", 640, 480, 60, TableFiles::HeaderlessOnly},
                                     {"Fenwold", 320, 240, 10, TableFiles::Indexed}};

// The defaults of each library the build lists; one missing here has none,
// and its tests fail on every default.
std::vector<BuildDefaults> BuildsUnderTest() {
  std::vector<BuildDefaults> builds;
  for (const std::string& name : kLibraryNames) {
    const auto* found = std::find_if(std::begin(kBuilds), std::end(kBuilds),
                                     [&](const BuildDefaults& b) { return b.name == name; });
    builds.push_back(found != std::end(kBuilds)
                         ? *found
                         : BuildDefaults{name.c_str(), 0, 0, 0, TableFiles::AllForms});
  }
  return builds;
}

class CameraObject : public ::testing::TestWithParam<BuildDefaults> {
 protected:
  void SetUp() override {
    library_ = std::make_unique<QuvexLibrary>(GetParam().name);
    window_ = QuvexWindow_Create();
    handle_ = library_->Quvex_Initialize(window_);
    ASSERT_NE(handle_, 0);
  }
  void TearDown() override {
    if (handle_ != 0) {
      EXPECT_EQ(library_->Quvex_Release(handle_), 1);
    }
    QuvexWindow_Destroy(window_);
  }
  // The error codes posted to the window since the last call, oldest first.
  std::vector<intptr_t> PostedErrors() {
    std::vector<intptr_t> codes;
    for (const QuvexMessage& message : MessageReader(window_).Posted()) {
      EXPECT_EQ(message.message, static_cast<uint32_t>(WM_QUVEX_ERROR));
      EXPECT_EQ(message.wParam, 0u);
      codes.push_back(message.lParam);
    }
    return codes;
  }

  std::unique_ptr<QuvexLibrary> library_;
  QuvexHwnd window_ = nullptr;
  int handle_ = 0;
};

TEST_P(CameraObject, FreshObjectHasTheDefaultsOfItsBuild) {
  const BuildDefaults& build = GetParam();
  const std::array<int, 18> expected = {build.width, build.height, 0, 0, 0, 0, 0, build.ringSlots,
                                        10, 1000, 2000, -1, 1000, 3000, 1, 0, 0, 0};
  for (int id = 1; id <= 18; ++id) {
    EXPECT_EQ(library_->Quvex_GetParam(handle_, id), expected[id - 1]) << "parameter " << id;
  }
  EXPECT_EQ(library_->DrainErrors(handle_), "");
}

TEST_P(CameraObject, RefusedParametersPushErrorFiveAndChangeNothing) {
  auto& q = *library_;
  EXPECT_EQ(q.Quvex_GetParam(handle_, 0), 0);
  EXPECT_EQ(q.Quvex_GetParam(handle_, 19), 0);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RING_SLOTS, 20), 0);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_WIDTH, 100), 0);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, 3), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "5,5,5,5,5");
  EXPECT_EQ(PostedErrors(), (std::vector<intptr_t>{5, 5, 5, 5, 5}));
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RING_SLOTS), GetParam().ringSlots);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RANGE_MODE), 0);
}

TEST_P(CameraObject, SettableParametersAreStoredAsGiven) {
  auto& q = *library_;
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_SWITCH, 5), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_SWITCH), 1);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_SWITCH, 0), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_SWITCH), 0);
  EXPECT_EQ(q.Quvex_SetParam(handle_, QUVEX_PARAM_RANGE_MODE, 2), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RANGE_MODE), 2);
  for (int id : {9, 10, 11, 12, 13, 14, 17, 18}) {
    EXPECT_EQ(q.Quvex_SetParam(handle_, id, -7), 1);
    EXPECT_EQ(q.Quvex_GetParam(handle_, id), -7) << "parameter " << id;
  }
  // Corvane and Dellisk report each register write that has no camera to go to.
  const std::string name = GetParam().name;
  EXPECT_EQ(q.DrainErrors(handle_), name == "Corvane" || name == "Dellisk" ? "1,1,1" : "");
}

TEST_P(CameraObject, ErrorsComeOutNewestFirstAndAreAlsoPosted) {
  auto& q = *library_;
  q.Quvex_GetParam(handle_, 0);          // 5
  // Dellisk has camera types: its Quvex_Start, before a camera was found, errs instead.
  const bool cameraTypes = std::string(GetParam().name) == "Dellisk";
  if (cameraTypes) {
    q.Quvex_Start(handle_);  // 1
  } else {
    q.Quvex_SetCameraType(handle_, 1);  // 10
  }
  const int middle = cameraTypes ? 1 : 10;
  q.Quvex_SetTableA(handle_, "/nonexistent/table.tbl");  // 9
  EXPECT_EQ(q.Quvex_GetLastError(handle_), 9);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), middle);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), 5);
  EXPECT_EQ(q.Quvex_GetLastError(handle_), 0);
  EXPECT_EQ(PostedErrors(), (std::vector<intptr_t>{5, middle, 9}));
}

TEST_P(CameraObject, WithoutAWindowErrorsAreKeptButNotPosted) {
  auto& q = *library_;
  ASSERT_EQ(q.Quvex_SetWindowHandle(handle_, nullptr), 1);
  q.Quvex_GetParam(handle_, 42);
  EXPECT_TRUE(PostedErrors().empty());
  EXPECT_EQ(q.DrainErrors(handle_), "5");
}

TEST_P(CameraObject, WithoutACameraDeviceCallsReportNotReady) {
  const std::string name = GetParam().name;
  if (name == "Galdris" || name == "Corvane" || name == "Fenwold" || name == "Dellisk") {
    GTEST_SKIP() << "binds a camera device";
  }
  auto& q = *library_;
  char16_t wide[32] = {};
  char narrow[32] = "untouched";
  EXPECT_EQ(q.Quvex_SetCameraNumber(handle_, 0), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableW(handle_, 0, wide, 32), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableA(handle_, 0, narrow, 32), 0);
  EXPECT_EQ(q.Quvex_Start(handle_), 0);
  EXPECT_EQ(q.Quvex_Pause(handle_), 0);
  EXPECT_EQ(q.Quvex_Preview(handle_), 0);
  EXPECT_EQ(q.Quvex_OneShot(handle_), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "1,1,1,1,1,1,1");
  EXPECT_EQ(std::string(narrow), "untouched");
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(q.Quvex_Close(handle_), 1);  // nothing to stop: no error either
  EXPECT_EQ(q.Quvex_Nuc(handle_), 1);  // stamps the NUC time even without a device
  EXPECT_EQ(q.DrainErrors(handle_), "");
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_PAUSED), 0);
}

TEST_P(CameraObject, RecordRequestsRefuseMissingAndOverlongNames) {
  auto& q = *library_;
  EXPECT_EQ(q.Quvex_RecW(handle_, nullptr, QUVEX_REC_RAW), 0);
  const std::u16string longName(260, u'a');
  EXPECT_EQ(q.Quvex_RecW(handle_, longName.c_str(), QUVEX_REC_RAW), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "5,5");
  EXPECT_EQ(q.Quvex_RecW(handle_, longName.substr(1).c_str(), QUVEX_REC_RAW), 1);
  EXPECT_EQ(q.Quvex_RecA(handle_, "run.raw", QUVEX_REC_AVI), 1);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RECORD_TYPE), QUVEX_REC_AVI);
  EXPECT_EQ(q.Quvex_GetParam(handle_, QUVEX_PARAM_RECORDING), 0);
}

TEST_P(CameraObject, TableNamesThatCannotBeReadAreFileErrors) {
  auto& q = *library_;
  EXPECT_EQ(q.Quvex_SetTableA(handle_, "/nonexistent/table.tbl"), 0);
  EXPECT_EQ(q.Quvex_SetTableA(handle_, "bad\xff" "name.tbl"), 0);  // not UTF-8
  EXPECT_EQ(q.DrainErrors(handle_), "9,9");
  // No name: a file error, or, with one table, the range mode applied again.
  const int noName = GetParam().tableFiles == TableFiles::AllForms ? 0 : 1;
  EXPECT_EQ(q.Quvex_SetTableW(handle_, nullptr), noName);
  EXPECT_EQ(q.Quvex_SetTableW(handle_, u""), noName);
  if (noName == 0) {
    EXPECT_EQ(q.DrainErrors(handle_), "9,9");
  }
}

// A table file: optional 24-byte magic, then the count and the points.
std::string WriteTableFile(const std::string& name, const std::string& magic, int points,
                           int extraBytes = 0) {
  std::string bytes = magic;
  auto append = [&bytes](const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
  };
  append(&points, 4);
  for (int k = 0; k < points; ++k) {
    const int32_t raw = 5000 + 10 * k;
    const float temperature = 0.5f * static_cast<float>(k);
    append(&raw, 4);
    append(&temperature, 4);
  }
  bytes.append(static_cast<size_t>(extraBytes), '\0');
  const std::string path = "/tmp/quvex_table_" + std::to_string(getpid()) + "_" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

TEST_P(CameraObject, LoadsTableFilesInEveryForm) {
  auto& q = *library_;
  const std::string headerless = WriteTableFile("plain.tbl", "", 40, 7);
  const std::string single = WriteTableFile("single.tbl", "MORVAX VANTOR TABLE 1000", 40);
  const std::string truncated = WriteTableFile("short.tbl", "", 40, 8);
  const TableFiles forms = GetParam().tableFiles;
  const int magic = forms == TableFiles::HeaderlessOnly ? 0 : 1;
  EXPECT_EQ(q.Quvex_SetTableA(handle_, headerless.c_str()), 1);
  EXPECT_EQ(q.Quvex_SetTableA(handle_, single.c_str()), magic);
  EXPECT_EQ(q.Quvex_SetTableA(handle_, truncated.c_str()), 0);  // eight bytes too many
  // Two tables by offset: each at its own place in the file.
  std::string multi = "MORVAX VANTOR TABLE 2000";
  const int32_t count = 2, first = 36, second = 36 + 4 + 8 * 12;
  multi.append(reinterpret_cast<const char*>(&count), 4);
  multi.append(reinterpret_cast<const char*>(&first), 4);
  multi.append(reinterpret_cast<const char*>(&second), 4);
  for (int table = 0; table < 2; ++table) {
    const int32_t points = 12;
    multi.append(reinterpret_cast<const char*>(&points), 4);
    for (int k = 0; k < points; ++k) {
      const int32_t raw = 3000 + k;
      const float temperature = static_cast<float>(k + table);
      multi.append(reinterpret_cast<const char*>(&raw), 4);
      multi.append(reinterpret_cast<const char*>(&temperature), 4);
    }
  }
  const std::string multiPath = "/tmp/quvex_table_" + std::to_string(getpid()) + "_multi.tbl";
  FILE* file = std::fopen(multiPath.c_str(), "wb");
  std::fwrite(multi.data(), 1, multi.size(), file);
  std::fclose(file);
  EXPECT_EQ(q.Quvex_SetTableA(handle_, multiPath.c_str()), magic);
  // Offsets that point past the end are refused, not read; a build that takes
  // only the first table reads only the first table's.
  multi.resize(multi.size() - 8);
  file = std::fopen(multiPath.c_str(), "wb");
  std::fwrite(multi.data(), 1, multi.size(), file);
  std::fclose(file);
  EXPECT_EQ(q.Quvex_SetTableA(handle_, multiPath.c_str()), forms == TableFiles::Indexed ? 1 : 0);
  const char* errors[] = {"9,9", "9,9,9,9", "9"};
  EXPECT_EQ(q.DrainErrors(handle_), errors[static_cast<int>(forms)]);
  for (const auto& path : {headerless, single, truncated, multiPath}) std::remove(path.c_str());
}

TEST_P(CameraObject, UnregisteredHandlesYieldZeroEverywhere) {
  auto& q = *library_;
  const int stranger = handle_ + 1;
  char16_t wide[32];
  char narrow[32];
  std::vector<unsigned char> buffer(16);
  float temperatures[4];
  EXPECT_EQ(q.Quvex_Release(stranger), 0);
  EXPECT_EQ(q.Quvex_SetWindowHandle(stranger, window_), 0);
  EXPECT_EQ(q.Quvex_SetCameraNumber(stranger, 0), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableW(stranger, 0, wide, 32), 0);
  EXPECT_EQ(q.Quvex_IsCameraEnableA(stranger, 0, narrow, 32), 0);
  EXPECT_EQ(q.Quvex_SetCameraType(stranger, 0), 0);
  EXPECT_EQ(q.Quvex_Preview(stranger), 0);
  EXPECT_EQ(q.Quvex_Start(stranger), 0);
  EXPECT_EQ(q.Quvex_Pause(stranger), 0);
  EXPECT_EQ(q.Quvex_OneShot(stranger), 0);
  EXPECT_EQ(q.Quvex_Close(stranger), 0);
  EXPECT_EQ(q.Quvex_Nuc(stranger), 0);
  EXPECT_EQ(q.Quvex_GetNewID(stranger), 0);
  EXPECT_EQ(q.Quvex_GetRaw(stranger, 1, buffer.data(), 16), 0);
  EXPECT_EQ(q.Quvex_GetTemperature(stranger, 1, temperatures, 16), 0);
  EXPECT_EQ(q.Quvex_GetColor(stranger, 1, buffer.data(), 16), 0);
  EXPECT_EQ(q.Quvex_SaveA(stranger, "x.bmp", 0), 0);
  EXPECT_EQ(q.Quvex_SaveW(stranger, u"x.bmp", 0), 0);
  EXPECT_EQ(q.Quvex_RecA(stranger, "x.raw", 1), 0);
  EXPECT_EQ(q.Quvex_RecW(stranger, u"x.raw", 1), 0);
  EXPECT_EQ(q.Quvex_GetParam(stranger, 1), 0);
  EXPECT_EQ(q.Quvex_SetParam(stranger, 9, 1), 0);
  EXPECT_EQ(q.Quvex_SetTableA(stranger, "x"), 0);
  EXPECT_EQ(q.Quvex_SetTableW(stranger, u"x"), 0);
  EXPECT_EQ(q.Quvex_GetLastError(stranger), 0);
  EXPECT_EQ(q.Quvex_GetLastError(0), 0);
  EXPECT_EQ(q.DrainErrors(handle_), "");  // nothing landed on the real object
}

TEST_P(CameraObject, HandlesStayDistinctAndReleaseOnlyOnce) {
  auto& q = *library_;
  const int a = handle_;
  const int b = q.Quvex_Initialize(nullptr);
  const int c = q.Quvex_Initialize(nullptr);
  ASSERT_NE(b, 0);
  ASSERT_NE(c, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  EXPECT_NE(a, c);
  EXPECT_EQ(q.Quvex_Release(b), 1);
  EXPECT_EQ(q.Quvex_Release(b), 0);
  EXPECT_EQ(q.Quvex_GetParam(a, QUVEX_PARAM_WIDTH), GetParam().width);
  EXPECT_EQ(q.Quvex_GetParam(c, QUVEX_PARAM_WIDTH), GetParam().width);
  EXPECT_EQ(q.Quvex_Release(c), 1);
}

INSTANTIATE_TEST_SUITE_P(Libraries, CameraObject, ::testing::ValuesIn(BuildsUnderTest()),
                         [](const ::testing::TestParamInfo<BuildDefaults>& build) {
                           return std::string(build.param.name);
                         });

}  // namespace
}  // namespace quvex::test
