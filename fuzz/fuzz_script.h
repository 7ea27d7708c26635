// The input of a fuzz target read as a script: step codes, their arguments
// and the bytes they carry. Past the end every byte reads as 0 and every
// piece comes out short.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace quvex::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

class Script {
 public:
  Script(const uint8_t* data, size_t size) : bytes_(data, size) {}
  bool Ended() const { return bytes_.empty(); }
  uint8_t Next() {
    if (bytes_.empty()) return 0;
    const uint8_t value = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return value;
  }
  // The next count bytes, or as many as are left.
  std::span<const uint8_t> Take(size_t count) {
    const auto piece = bytes_.first(std::min(count, bytes_.size()));
    bytes_ = bytes_.subspan(piece.size());
    return piece;
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace quvex::fuzz
