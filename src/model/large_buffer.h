// Buffers as large as a whole song: the file image, the message list of a
// file of 200 000 SysEx messages, a converted file. Every block of 1 MiB and
// more is backed by huge pages where the system has them (large_buffer.cpp):
// the reservations need nothing of their own. What is here is the allocator
// for stores that are written right after they grow.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace mertovan {

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

// A vector whose growth leaves its new elements unwritten, for the caller
// to fill.
template <class T>
using UnzeroedVector = std::vector<T, NoZeroFillAllocator<T>>;

}  // namespace mertovan
