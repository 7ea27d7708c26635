// CWideString: the UTF-16 copy of a UTF-8 argument of an A export. A null
// argument stays null; text that is not valid UTF-8 becomes an empty name,
// which every caller refuses, so it can never name another file.
#pragma once

#include <string>

#include "quvex_platform/text.h"

namespace quvex {

class CWideString {
 public:
  explicit CWideString(const char* text) : null_(text == nullptr) {
    if (!null_) text_ = platform::Utf8ToUtf16(text).value_or(std::u16string());
  }
  const char16_t* Get() const { return null_ ? nullptr : text_.c_str(); }

 private:
  bool null_;
  std::u16string text_;
};

}  // namespace quvex
