// Files opened by UTF-16 path. Reads and writes move the whole count or
// report failure: partial transfers are continued, short ones are errors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

namespace quvex::platform {

class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  // Existing file for reading.
  static File OpenRead(const char16_t* path);
  // For writing; creates a missing file, keeps an existing file's bytes.
  static File OpenAlways(const char16_t* path);
  // For writing; empties an existing file or creates a new one.
  static File CreateTruncate(const char16_t* path);

  bool IsOpen() const { return fd_ >= 0; }
  std::optional<uint64_t> Size() const;
  bool ReadAll(void* buffer, size_t count);
  bool WriteAll(const void* buffer, size_t count);
  bool Seek(uint64_t offset);
  // Closes; false when the close reported an error (data may be lost).
  bool Close();

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// fopen by UTF-16 path for the image libraries that take a stdio stream;
// null when the path cannot be converted or opened.
FILE* OpenStdio(const char16_t* path, const char* mode);

}  // namespace quvex::platform
