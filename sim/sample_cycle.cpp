#include "sim/sample_cycle.h"

#include <algorithm>
#include <cstring>

namespace quvex::sim {

uint8_t* SampleCycle::Write(uint8_t* out, size_t start, size_t count, bool sixteenBit) const {
  const size_t sampleBytes = sixteenBit ? 2 : 1;
  const uint8_t* source = sixteenBit ? wide_.data() : narrow_.data();
  size_t at = start % period_;
  while (count > 0) {
    const size_t run = std::min(count, period_);
    std::memcpy(out, source + at * sampleBytes, run * sampleBytes);
    out += run * sampleBytes;
    count -= run;
    at = (at + run) % period_;
  }
  return out;
}

}  // namespace quvex::sim
