// Each library exports exactly its build's functions and reports its version.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "tests/support/quvex_library.h"

namespace quvex::test {
namespace {

// The common interface, from the list the libraries' export lists are made of.
std::set<std::string> CommonExports() {
  std::set<std::string> names;
  std::ifstream list(std::string(QUVEX_SOURCE_DIR) + "/deliverables/common_exports.txt");
  for (std::string line; std::getline(list, line);) {
    if (line.starts_with("Quvex_")) names.insert(line);
  }
  return names;
}

// The defined names in the library's dynamic symbol table.
std::set<std::string> DynamicSymbols(const std::string& path) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only --format=posix " + path;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    const auto space = text.find(' ');
    if (space != std::string::npos) names.insert(text.substr(0, space));
  }
  pclose(pipe);
  return names;
}

class EachLibrary : public ::testing::TestWithParam<std::string> {};

// The exports a build has beyond the common interface.
std::set<std::string> BuildSpecific(const std::string& name) {
  if (name == "Corvane") return {"Quvex_GetInternalTemperature", "Quvex_SetIpAddress"};
  if (name == "Hesperon") return {"Quvex_GetInternalTemperature"};
  if (name == "Fenwold") return {"Quvex_SetIpAddress"};
  if (name == "Dellisk") {
    return {"Quvex_ConnectToCamera", "Quvex_EnumDeviceA",    "Quvex_EnumDeviceW",
            "Quvex_GetDeviceNameA",  "Quvex_GetDeviceNameW", "Quvex_SetDeviceNumber"};
  }
  return {};
}

TEST_P(EachLibrary, ExportsExactlyTheCommonInterfaceAndItsBuildsOwn) {
  const std::set<std::string> names = DynamicSymbols(LibraryPath(GetParam()));
  ASSERT_FALSE(names.empty());
  std::set<std::string> expected = CommonExports();
  expected.merge(BuildSpecific(GetParam()));
  EXPECT_EQ(names, expected);
  const std::string name = GetParam();
  const std::map<std::string, size_t> counts = {
      {"Corvane", 29}, {"Hesperon", 28}, {"Fenwold", 28}, {"Dellisk", 33}};
  EXPECT_EQ(names.size(), counts.contains(name) ? counts.at(name) : 27u);
}

TEST_P(EachLibrary, ReportsItsVersion) {
  const std::string name = GetParam();
  const int expected = name == "Galdris"    ? 0x203E8
                       : name == "Hesperon" ? 0x8044C
                       : name == "Corvane"  ? 0xB044C
                       : name == "Dellisk"  ? 0x603E8
                                            : 0x303E8;
  QuvexLibrary library(name);
  EXPECT_EQ(library.Quvex_GetDllVersion(), expected);
}

INSTANTIATE_TEST_SUITE_P(Libraries, EachLibrary, ::testing::ValuesIn(kLibraryNames),
                         [](const ::testing::TestParamInfo<std::string>& library) {
                           return library.param;
                         });

}  // namespace
}  // namespace quvex::test
