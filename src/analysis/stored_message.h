// How much of a stored SysEx message the analysis may read. The file's length
// field is no guide: a message can be cut short, repeat its F0, end early with
// F7, or carry a second message packed behind the first in the same event.
#pragma once

#include <cstdint>
#include <cstring>

#include "model/events.h"

namespace mertovan {

struct MessageExtent {
  // Message bytes of the data view before its first F7: a repeated F0 is no
  // message byte, and whatever follows the F7 belongs to no parameter.
  uint32_t size = 0;
  // The event holds more than one F0…F7 message (an F0 after an F7). Such an
  // event is never converted: it passes through whole, as the file held it.
  bool packed = false;
};

inline MessageExtent ExtentOf(const SysExList& list, const Tsys& e) {
  const auto raw = list.Raw(e);
  const uint8_t* p = raw.data();
  const size_t n = raw.size();
  MessageExtent x;
  size_t i = 0;
  for (; i < n && p[i] != 0xF7; ++i) {
    if (p[i] != 0xF0) ++x.size;
  }
  // Nearly every message ends with its F7: nothing is left to search.
  if (i + 1 < n) x.packed = std::memchr(p + i + 1, 0xF0, n - i - 1) != nullptr;
  return x;
}

}  // namespace mertovan
