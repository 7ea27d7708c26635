// Each library exports exactly its build's functions and reports its version.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "quvex/quvex_window.h"
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

// The C functions the public headers declare.
std::set<std::string> DeclaredFunctions() {
  std::set<std::string> names;
  const std::regex declaration(R"(\b(Quvex\w*_\w+)\s*\()");
  for (const auto& header :
       std::filesystem::directory_iterator(std::string(QUVEX_SOURCE_DIR) + "/include/quvex")) {
    std::ifstream file(header.path());
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    for (std::sregex_iterator m(text.begin(), text.end(), declaration), end; m != end; ++m)
      names.insert((*m)[1]);
  }
  return names;
}

// A C name a host could collide with is one no public header declares; C++
// names are the SDK's own namespace or the standard library's (template and
// inline code the compiler emits, such as placement new in a debug build),
// in any other scope they are a collision too.
bool IsPublicOrScoped(const std::string& name, const std::set<std::string>& declared) {
  if (!name.starts_with("_Z")) return declared.contains(name);
  static const std::set<std::string> placement = {"_ZnwmPv", "_ZnamPv", "_ZdlPvS_", "_ZdaPvS_"};
  static const std::regex scoped("_Z(T[IVS]|GV|Z)?N?[KVr]*(5quvex|S[tabsiod]|9__gnu_cxx)");
  return placement.contains(name) ||
         std::regex_search(name, scoped, std::regex_constants::match_continuous);
}

TEST(SharedLibraries, ExportNoNameOutsideThePublicInterfaceAndTheirNamespace) {
  Dl_info platform{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&QuvexPlatform_TickCount), &platform), 0);
  std::vector<std::string> paths = {platform.dli_fname};
  for (const std::string& name : kLibraryNames) paths.push_back(LibraryPath(name));
  const std::set<std::string> declared = DeclaredFunctions();
  for (const std::string& path : paths) {
    const std::set<std::string> names = DynamicSymbols(path);
    EXPECT_FALSE(names.empty()) << path;
    for (const std::string& name : names)
      EXPECT_TRUE(IsPublicOrScoped(name, declared)) << path << ": " << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Libraries, EachLibrary, ::testing::ValuesIn(kLibraryNames),
                         [](const ::testing::TestParamInfo<std::string>& library) {
                           return library.param;
                         });

}  // namespace
}  // namespace quvex::test
