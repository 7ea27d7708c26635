// In this test program no allocation may exceed 1 GiB, as under a memory
// limit: a size taken from a caller's number instead of from what is needed
// shows as a failed call rather than as seconds of zeroing gigabytes. Every
// plain form of new and delete is replaced, so that each pair matches.
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargestAllocation = std::size_t{1} << 30;

void* Allocate(std::size_t size) noexcept {
  return size <= kLargestAllocation ? std::malloc(size == 0 ? 1 : size) : nullptr;
}

void* AllocateOrThrow(std::size_t size) {
  if (void* memory = Allocate(size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
