// A new, empty directory under /tmp for one test: never one that a killed
// earlier process of the same id left behind.
#pragma once

#include <stdlib.h>

#include <string>

namespace quvex::test {

// The directory's path, or "" when none could be made.
inline std::string MakeTempDirectory(const std::string& name) {
  std::string path = "/tmp/quvex_test_" + name + "_XXXXXX";
  return mkdtemp(path.data()) != nullptr ? path : std::string();
}

}  // namespace quvex::test
