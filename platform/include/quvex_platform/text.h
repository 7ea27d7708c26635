// Text conversions between the libraries' UTF-16 names and this platform's
// UTF-8 file names and narrow text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quvex::platform {

// UTF-16 to UTF-8; nullopt when the text holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16; nullopt when the text is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// Length of a NUL-terminated UTF-16 string.
size_t Utf16Length(const char16_t* text);

}  // namespace quvex::platform
