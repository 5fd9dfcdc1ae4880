#include "model/song.h"

#include <algorithm>

namespace mertovan {

Tsys& SysExList::Append(uint32_t tick, std::span<const uint8_t> raw) {
  Tsys& e = events.emplace_back();
  e.tick = tick;
  e.length = static_cast<uint32_t>(raw.size());
  e.offset = static_cast<uint32_t>(bytes.size());
  bytes.insert(bytes.end(), raw.begin(), raw.end());
  // The data view: an F0 inside the message is overwritten by the byte after
  // it, so repeated or packed F0 bytes vanish; a final F0 stays stored.
  const size_t data = bytes.size();
  bytes.resize(data + raw.size(), 0);
  size_t w = 0;
  for (uint8_t b : raw) {
    bytes[data + w] = b;
    if (b != 0xF0) ++w;
  }
  return e;
}

uint32_t ReverseBytes(uint32_t value, uint8_t width) {
  switch (width) {
    case 2:
      return ((value & 0xFFu) << 8) | ((value >> 8) & 0xFFu);
    case 3:
      return ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu);
    case 4:
      return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
             (value >> 24);
    default:
      return value;
  }
}

}  // namespace mertovan
