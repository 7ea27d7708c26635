// CWideString: the UTF-16 copy of a UTF-8 argument of an A export. A null
// argument stays null; text that is not valid UTF-8 becomes an empty name
// and is marked invalid, so it can never name another file.
#pragma once

#include <string>

#include "quvex_platform/text.h"

namespace quvex {

class CWideString {
 public:
  explicit CWideString(const char* text) : null_(text == nullptr) {
    if (null_) return;
    auto wide = platform::Utf8ToUtf16(text);
    invalid_ = !wide;
    text_ = std::move(wide).value_or(std::u16string());
  }
  const char16_t* Get() const { return null_ ? nullptr : text_.c_str(); }
  // true when the text could not be converted (Get then gives an empty text).
  bool Invalid() const { return invalid_; }

 private:
  bool null_;
  bool invalid_ = false;
  std::u16string text_;
};

}  // namespace quvex
