// In this test program no allocation may exceed 1 GiB, as under a memory
// limit: a size taken from a caller's number instead of from what is needed
// shows as a failed call rather than as seconds of zeroing gigabytes.
#include <cstdlib>
#include <new>

namespace {
constexpr std::size_t kLargestAllocation = std::size_t{1} << 30;
}  // namespace

void* operator new(std::size_t size) {
  if (size <= kLargestAllocation) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  }
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
