#include "model/events.h"

#include <cstring>

namespace mertovan {

SysExList gSysEx;
std::vector<TimeSignature> gTimeSignatures;
SourceFile gSourceFile;
std::array<int32_t, 32> gChannelUsage{};

// Flattened: the reader calls it once per message, and the growth of the
// byte store must not cost a call of its own.
[[gnu::flatten]] Tsys& SysExList::Append(uint32_t tick, std::span<const uint8_t> raw) {
  Tsys& e = events.emplace_back();
  e.tick = tick;
  e.length = static_cast<uint32_t>(raw.size());
  e.offset = static_cast<uint32_t>(bytes.size());
  const size_t n = raw.size();
  bytes.resize(bytes.size() + 2 * n);
  uint8_t* rawOut = bytes.data() + e.offset;
  uint8_t* dataOut = rawOut + n;
  if (n == 0) return e;
  std::memcpy(rawOut, raw.data(), n);
  if (!std::memchr(raw.data(), 0xF0, n)) {
    std::memcpy(dataOut, raw.data(), n);
    return e;
  }
  // The data view: an F0 inside the message is overwritten by the byte after
  // it, so repeated or packed F0 bytes vanish; a final F0 stays stored.
  std::memset(dataOut, 0, n);
  size_t w = 0;
  for (uint8_t b : raw) {
    dataOut[w] = b;
    if (b != 0xF0) ++w;
  }
  return e;
}

void ClearEventTables() {
  gSysEx.events.clear();
  gSysEx.bytes.clear();
  gSysEx.places.clear();
  gSysEx.continuations.clear();
  gSourceFile = SourceFile{};
  // Dropping the entries also forgets numerator and denominator, so the
  // positions of a file never depend on the file loaded before it.
  gTimeSignatures.clear();
  gChannelUsage.fill(0);
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
