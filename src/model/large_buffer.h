// Buffers as large as a whole song: the file image, the message list of a
// file of 200 000 SysEx messages, a converted file. They fill page by page,
// and each first touch of a 4 KiB page is a fault into the kernel; asking for
// transparent huge pages turns a few thousand of those into a handful.
#pragma once

#include <cstddef>
#include <vector>

namespace mertovan {

// Advises the kernel to back [data, data + bytes) with huge pages where it
// can. Regions under 2 MiB are left alone; failures are ignored (the memory
// then works as it always does).
void AdviseHugePages(const void* data, size_t bytes);

// Reserves room for `count` elements and advises huge pages for the room.
template <class T>
void ReserveLarge(std::vector<T>& buffer, size_t count) {
  buffer.reserve(count);
  AdviseHugePages(buffer.data(), buffer.capacity() * sizeof(T));
}

}  // namespace mertovan
