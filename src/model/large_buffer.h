// Buffers as large as a whole song: the file image, the message list of a
// file of 200 000 SysEx messages, a converted file. They fill page by page,
// and each first touch of a 4 KiB page is a fault into the kernel; asking for
// transparent huge pages turns a few thousand of those into a handful.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace mertovan {

// Advises the kernel to back [data, data + bytes) with huge pages where it
// can. Regions under 2 MiB are left alone; failures are ignored (the memory
// then works as it always does).
void AdviseHugePages(const void* data, size_t bytes);

// Reserves room for `count` elements and advises huge pages for the room.
template <class T, class Allocator>
void ReserveLarge(std::vector<T, Allocator>& buffer, size_t count) {
  buffer.reserve(count);
  AdviseHugePages(buffer.data(), buffer.capacity() * sizeof(T));
}

// An allocator whose resize() leaves new elements of trivial types as they
// are instead of zeroing them: for stores that are written right after they
// grow, where the zeroing would touch every byte twice.
template <class T>
struct NoZeroFillAllocator : std::allocator<T> {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = NoZeroFillAllocator<U>;
  };
  NoZeroFillAllocator() = default;
  template <class U>
  NoZeroFillAllocator(const NoZeroFillAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

}  // namespace mertovan
