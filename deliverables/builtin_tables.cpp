// The module record of this library: its built-in tables, found by type and
// id without reference to the library's file name.
#include "core/deliverable.h"

extern "C" {
extern const uint8_t quvex_tbl_114_begin[];
extern const uint8_t quvex_tbl_114_end[];
extern const uint8_t quvex_tbl_115_begin[];
extern const uint8_t quvex_tbl_115_end[];
}

namespace quvex {

const platform::Module* BuiltInModule() {
  static const platform::ResourceEntry entries[] = {
      {u"TBL", 114, quvex_tbl_114_begin,
       static_cast<uint32_t>(quvex_tbl_114_end - quvex_tbl_114_begin)},
      {u"TBL", 115, quvex_tbl_115_begin,
       static_cast<uint32_t>(quvex_tbl_115_end - quvex_tbl_115_begin)},
  };
  static const platform::Module module{entries, sizeof(entries) / sizeof(entries[0])};
  return &module;
}

}  // namespace quvex
