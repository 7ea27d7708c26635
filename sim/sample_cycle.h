// A repeating run of 16-bit samples rendered once, in both sample widths.
// The simulated cameras build their frames line by line from such runs with
// memcpy instead of computing every sample of every frame, so that a
// benchmark of the capture path measures the SDK and not the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quvex::sim {

class SampleCycle {
 public:
  // period samples (at least 1): sample i is value(i).
  template <typename Value>
  SampleCycle(size_t period, Value value) : period_(period < 1 ? 1 : period) {
    wide_.resize(4 * period_);
    narrow_.resize(2 * period_);
    for (size_t i = 0; i < 2 * period_; ++i) {
      const auto sample = static_cast<uint16_t>(value(i % period_));
      wide_[2 * i] = static_cast<uint8_t>(sample & 0xFF);
      wide_[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
      narrow_[i] = static_cast<uint8_t>(sample & 0xFF);
    }
  }

  size_t Period() const { return period_; }

  // Writes count samples of the cycle beginning at position start (taken
  // modulo the period): 16-bit little-endian or the low bytes. Returns the
  // byte after the last one written.
  uint8_t* Write(uint8_t* out, size_t start, size_t count, bool sixteenBit) const;

  // The little-endian bytes of Period() samples beginning at position start,
  // contiguous.
  const uint8_t* Wide(size_t start) const { return wide_.data() + 2 * (start % period_); }

 private:
  size_t period_;
  std::vector<uint8_t> wide_;    // two periods, so that any period-long run is contiguous
  std::vector<uint8_t> narrow_;  // the same, low bytes only
};

}  // namespace quvex::sim
