// Pops every error code through pop until it yields 0, newest first, as
// "c1,c2,...". Built by appending only: g++ 12 at -O3 misreads a string
// prepended to a temporary as an overlapping copy (-Wrestrict).
#pragma once

#include <string>

namespace quvex::test {

template <typename Pop>
std::string DrainErrorCodes(Pop pop) {
  std::string codes;
  for (int code; (code = pop()) != 0;) {
    if (!codes.empty()) codes += ',';
    codes += std::to_string(code);
  }
  return codes;
}

}  // namespace quvex::test
