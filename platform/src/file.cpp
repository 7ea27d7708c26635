// Files by UTF-16 path over POSIX descriptors. Reads and writes continue
// after partial transfers and interruptions; anything short is a failure.
#include "quvex_platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "quvex_platform/text.h"

namespace quvex::platform {
namespace {

int OpenUtf16(const char16_t* path, int flags) {
  if (path == nullptr) return -1;
  const auto name = Utf16ToUtf8(std::u16string_view(path, Utf16Length(path)));
  if (!name || name->empty()) return -1;
  int fd;
  do {
    fd = ::open(name->c_str(), flags | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

File::~File() { Close(); }

File File::OpenRead(const char16_t* path) { return File(OpenUtf16(path, O_RDONLY)); }
File File::OpenAlways(const char16_t* path) { return File(OpenUtf16(path, O_WRONLY | O_CREAT)); }
File File::CreateTruncate(const char16_t* path) {
  return File(OpenUtf16(path, O_WRONLY | O_CREAT | O_TRUNC));
}

std::optional<uint64_t> File::Size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

bool File::ReadAll(void* buffer, size_t count) {
  if (fd_ < 0 || (buffer == nullptr && count > 0)) return false;
  auto* at = static_cast<char*>(buffer);
  while (count > 0) {
    const ssize_t n = ::read(fd_, at, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // error, or the file ended early
    at += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool File::WriteAll(const void* buffer, size_t count) {
  if (fd_ < 0 || (buffer == nullptr && count > 0)) return false;
  const auto* at = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t n = ::write(fd_, at, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool File::Seek(uint64_t offset) {
  return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::Close() {
  if (fd_ < 0) return false;
  const int fd = std::exchange(fd_, -1);
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried; the error still means data may not have reached the file.
  return ::close(fd) == 0;
}

FILE* OpenStdio(const char16_t* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  const auto name = Utf16ToUtf8(std::u16string_view(path, Utf16Length(path)));
  if (!name || name->empty()) return nullptr;
  return std::fopen(name->c_str(), mode);
}

}  // namespace quvex::platform
