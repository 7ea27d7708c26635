#include "core/recorder.h"

#include <string>

namespace quvex {

RecordNameParts RecordNameParts::Split(const std::u16string& name) {
  RecordNameParts parts;
  const size_t slash = name.find_last_of(u"/\\");
  const size_t fileStart = slash == std::u16string::npos ? 0 : slash + 1;
  parts.folder = name.substr(0, fileStart);
  const std::u16string file = name.substr(fileStart);
  const size_t dot = file.find_last_of(u'.');
  parts.base = dot == std::u16string::npos ? file : file.substr(0, dot);
  parts.extension = dot == std::u16string::npos ? std::u16string() : file.substr(dot);
  return parts;
}

std::u16string RecordNameParts::FileName(const std::u16string& name, int n) const {
  if (n == 0) return name;
  const std::string number = std::to_string(n);
  return folder + base + u"_" + std::u16string(number.begin(), number.end()) + extension;
}

}  // namespace quvex
