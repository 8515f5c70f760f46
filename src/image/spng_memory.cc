#include "image/spng_memory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace tessarn {
namespace {

// A block keeps its size before it, for realloc.
constexpr size_t kBlockHeader = alignof(std::max_align_t);

// Whether an allocation failed on this thread since it was last asked.
thread_local bool ranOut = false;

void* allocate(size_t size) {
  auto* block = size > SIZE_MAX - kBlockHeader
                    ? nullptr
                    : static_cast<unsigned char*>(::operator new(size + kBlockHeader, std::nothrow));
  if (block == nullptr) {
    ranOut = true;
    return nullptr;
  }
  std::memcpy(block, &size, sizeof size);
  return block + kBlockHeader;
}

void release(void* memory) {
  if (memory != nullptr) ::operator delete(static_cast<unsigned char*>(memory) - kBlockHeader);
}

void* reallocate(void* memory, size_t size) {
  if (memory == nullptr) return allocate(size);
  void* moved = allocate(size);
  if (moved == nullptr) return nullptr;
  size_t old_size;
  std::memcpy(&old_size, static_cast<unsigned char*>(memory) - kBlockHeader, sizeof old_size);
  std::memcpy(moved, memory, std::min(old_size, size));
  release(memory);
  return moved;
}

void* allocateZeroed(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  void* memory = allocate(count * size);
  if (memory != nullptr) std::memset(memory, 0, count * size);
  return memory;
}

spng_alloc allocator = {allocate, reallocate, allocateZeroed, release};

}  // namespace

spng_alloc* spngAllocator() { return &allocator; }

bool spngRanOutOfMemory() {
  const bool ran_out = ranOut;
  ranOut = false;
  return ran_out;
}

}  // namespace tessarn
