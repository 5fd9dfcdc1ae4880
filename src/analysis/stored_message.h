// How much of a stored SysEx message the analysis may read. The file's length
// field is no guide: a message can be cut short, repeat its F0, end early with
// F7, or carry a second message packed behind the first in the same event.
#pragma once

#include <cstdint>
#include <cstring>

#include "model/song.h"
#include "model/midi_bytes.h"

namespace mertovan {

// The analysis reads at most seven message bytes: 43 1n model ah am al dd.
inline constexpr uint32_t kReadBytes = 7;

struct MessageExtent {
  // Message bytes of the data view before its first F7 (a repeated F0 is no
  // message byte, and whatever follows the F7 belongs to no parameter),
  // counted up to kReadBytes.
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
  for (; i < n && p[i] != kStatusSysExEnd; ++i) {
    if (p[i] != kStatusSysEx && x.size < kReadBytes) ++x.size;
  }
  if (i + 1 < n) x.packed = std::memchr(p + i + 1, kStatusSysEx, n - i - 1) != nullptr;
  return x;
}

}  // namespace mertovan
