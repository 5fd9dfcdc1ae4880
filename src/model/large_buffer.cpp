#include "model/large_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Blocks of 1 MiB and more (a song's file image, its message list and byte
// store, the tick order, a converted file) start on a 2 MiB boundary and fill
// whole 2 MiB pages, all advised for huge pages: a block from malloc starts
// just past a page boundary, so that only its inner 2 MiB stretches could be
// huge pages, and every other 4 KiB page of it would cost a fault of its own.
// On a virtual machine each of those faults is dear: for a 5 MB song they were
// a third of a conversion. Smaller blocks come from malloc as they always do,
// and every block goes back with free. Builds with AddressSanitizer keep its
// own allocator, which checks that each block is released as it was taken
// (so do the other sanitizers).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MERTOVAN_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MERTOVAN_SANITIZER_ALLOCATOR 1
#endif
#endif

#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(MERTOVAN_SANITIZER_ALLOCATOR)
namespace {
constexpr std::size_t kHugePageSize = std::size_t(2) << 20;
constexpr std::size_t kLargeBlock = std::size_t(1) << 20;
}  // namespace

void* operator new(std::size_t size) {
  if (size >= kLargeBlock && size <= SIZE_MAX - kHugePageSize) {
    const std::size_t whole = (size + kHugePageSize - 1) & ~(kHugePageSize - 1);
    void* block = nullptr;
    if (::posix_memalign(&block, kHugePageSize, whole) == 0) {
      ::madvise(block, whole, MADV_HUGEPAGE);  // a refusal leaves ordinary pages
      return block;
    }
  }
  for (;;) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#endif
