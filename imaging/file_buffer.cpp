// Whole-file reads into an owned buffer, resource lookups without a copy, and
// plain writes. Every failure is a result, never an exception.
#include "imaging/file_buffer.h"

#include <limits>
#include <new>
#include <utility>

namespace quvex {

int CFileBuffer::Close() {
  size_ = 0;
  fullSize_ = 0;
  cursor_ = nullptr;
  begin_ = nullptr;
  end_ = nullptr;
  owned_.reset();
  if (!file_.IsOpen()) return 0;
  return file_.Close() ? 1 : 0;
}

int CFileBuffer::QuerySize() {
  if (!file_.IsOpen()) return 0;
  const std::optional<uint64_t> size = file_.Size();
  if (!size) return 0;
  fullSize_ = *size;
  size_ = static_cast<uint32_t>(*size);
  return 1;
}

const uint8_t* CFileBuffer::Load(const char16_t* path) {
  Close();
  try {
    file_ = platform::File::OpenRead(path);
  } catch (...) {
    return nullptr;
  }
  if (!file_.IsOpen()) return nullptr;
  // A file whose size does not fit the 32-bit size would be read only in
  // part; such a file is refused rather than truncated.
  if (!QuerySize() || fullSize_ > std::numeric_limits<uint32_t>::max()) {
    Close();
    return nullptr;
  }
  // At least one byte, so that an empty file still yields a non-null begin.
  owned_.reset(new (std::nothrow) uint8_t[size_ > 0 ? size_ : 1]);
  if (!owned_ || !file_.ReadAll(owned_.get(), size_)) {
    Close();
    return nullptr;
  }
  file_.Close();
  begin_ = owned_.get();
  end_ = begin_ + size_;
  cursor_ = begin_;
  return begin_;
}

const uint8_t* CFileBuffer::Load(int id, const platform::Module* module, const char16_t* type) {
  Close();
  if (type == nullptr) return nullptr;
  const platform::ResourceEntry* entry = platform::FindResource(module, id, type);
  if (entry == nullptr || entry->data == nullptr) return nullptr;
  begin_ = entry->data;
  size_ = entry->size;
  fullSize_ = entry->size;
  end_ = begin_ + size_;
  cursor_ = begin_;
  return begin_;
}

bool CFileBuffer::OpenWrite(const char16_t* path) {
  Close();
  try {
    file_ = platform::File::OpenAlways(path);
  } catch (...) {
    return false;
  }
  if (!file_.IsOpen()) return false;
  QuerySize();
  return true;
}

bool CFileBuffer::CreateWrite(const char16_t* path) {
  Close();
  try {
    file_ = platform::File::CreateTruncate(path);
  } catch (...) {
    return false;
  }
  if (!file_.IsOpen()) return false;
  QuerySize();
  return true;
}

int CFileBuffer::Write(const void* buffer, uint32_t count) {
  if (!file_.IsOpen()) return 0;
  return file_.WriteAll(buffer, count) ? 1 : 0;
}

int CFileBuffer::Seek(uint64_t offset) {
  if (!file_.IsOpen()) return 0;
  return file_.Seek(offset) ? 1 : 0;
}

}  // namespace quvex
