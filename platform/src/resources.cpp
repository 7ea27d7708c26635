// Lookup of the data built into a library.
#include "quvex_platform/resources.h"

namespace quvex::platform {

const ResourceEntry* FindResource(const Module* module, int id, std::u16string_view type) {
  if (module == nullptr || module->entries == nullptr) return nullptr;
  for (size_t i = 0; i < module->count; ++i) {
    const ResourceEntry& entry = module->entries[i];
    if (entry.id == id && entry.type != nullptr && type == entry.type) return &entry;
  }
  return nullptr;
}

}  // namespace quvex::platform
