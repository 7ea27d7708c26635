// Replays a fuzz target's corpus without libFuzzer: every file of the folders
// (or the files) named on the command line goes to LLVMFuzzerTestOneInput
// once, in name order. A crash or sanitizer report fails the run, and so does
// a corpus with no inputs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (!fs::is_directory(argv[i], error)) {
      inputs.emplace_back(argv[i]);
      continue;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<fs::path> inputs = Inputs(argc, argv);
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> read{std::istreambuf_iterator<char>(file), {}};
    if (!file.good() && !file.eof()) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    // An allocation of exactly the input's size, as libFuzzer gives, so that
    // a read past its end is caught by AddressSanitizer.
    const auto bytes = std::make_unique<uint8_t[]>(std::max<size_t>(read.size(), 1));
    std::copy(read.begin(), read.end(), bytes.get());
    LLVMFuzzerTestOneInput(bytes.get(), read.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
