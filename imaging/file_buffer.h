// The small file class: reads a whole file or a built-in resource into memory
// for parsing, or writes an output file through a plain handle.
#pragma once

#include <cstdint>
#include <memory>

#include "quvex_platform/file.h"
#include "quvex_platform/resources.h"

namespace quvex {

class CFileBuffer {
 public:
  CFileBuffer() = default;
  CFileBuffer(const CFileBuffer&) = delete;
  CFileBuffer& operator=(const CFileBuffer&) = delete;
  ~CFileBuffer() { Close(); }

  // Releases everything; 1 when an open file closed cleanly, 0 when none was
  // open or its close failed.
  int Close();
  // Reads the open file's size into Size()/FullSize(); 1 or 0.
  int QuerySize();
  // Reads a whole file; the data pointer, or null on failure (missing file,
  // short read, allocation failure).
  const uint8_t* Load(const char16_t* path);
  // Finds a built-in resource of the module; its data is not copied.
  const uint8_t* Load(int id, const platform::Module* module, const char16_t* type);
  // The table-file loader's way in: Load of a file.
  const uint8_t* LoadFile(const char16_t* path) { return Load(path); }
  // Opens or creates for writing without truncating; true on success.
  bool OpenWrite(const char16_t* path);
  // Empties an existing file or creates a new one; true on success.
  bool CreateWrite(const char16_t* path);
  // Writes all count bytes at the current position; 1, or 0 on failure or
  // when no file is open.
  int Write(const void* buffer, uint32_t count);
  // Moves the write position (used by the AVI writer); 1 or 0.
  int Seek(uint64_t offset);

  bool IsOpen() const { return file_.IsOpen(); }
  const uint8_t* Begin() const { return begin_; }
  const uint8_t* End() const { return end_; }
  uint32_t Size() const { return size_; }
  uint64_t FullSize() const { return fullSize_; }

 private:
  platform::File file_;
  std::unique_ptr<uint8_t[]> owned_;
  const uint8_t* begin_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* cursor_ = nullptr;
  uint32_t size_ = 0;
  uint64_t fullSize_ = 0;
};

}  // namespace quvex
