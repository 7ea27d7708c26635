// Data built into a library at build time, found by type and id the way the
// libraries look up their calibration tables ("TBL" 114 and 115).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quvex::platform {

struct ResourceEntry {
  const char16_t* type;
  int id;
  const uint8_t* data;
  uint32_t size;
};

// The resources of one module (one library).
struct Module {
  const ResourceEntry* entries;
  size_t count;
};

// The entry of that type and id, or null (also for a null module or type).
const ResourceEntry* FindResource(const Module* module, int id, std::u16string_view type);

}  // namespace quvex::platform
