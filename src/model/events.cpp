#include "model/events.h"

#include <cstring>

namespace mertovan {

SysExList gSysEx;
std::vector<TimeSignature> gTimeSignatures;
SourceFile gSourceFile;
std::array<int32_t, 32> gChannelUsage{};

namespace {

// Whether any of the eight bytes of `word` is F0: the bytes that are F0 become
// zero, and a zero byte is the one whose borrow reaches its top bit.
constexpr bool HasByteF0(uint64_t word) {
  const uint64_t x = word ^ 0xF0F0F0F0F0F0F0F0ull;
  return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}
static_assert(HasByteF0(0x00000000000000F0ull) && HasByteF0(0xF000000000000000ull) &&
              !HasByteF0(0xF7434C10F1EF7F00ull) && !HasByteF0(0x0101010101010101ull));

}  // namespace

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
  if (n >= 8 && n <= 16) {
    // Nearly every message: an XG parameter change is 8 bytes after its F0.
    // Two overlapping words copy it and tell whether it holds an F0 byte.
    uint64_t head, tail;
    std::memcpy(&head, raw.data(), 8);
    std::memcpy(&tail, raw.data() + n - 8, 8);
    std::memcpy(rawOut, &head, 8);
    std::memcpy(rawOut + n - 8, &tail, 8);
    if (!HasByteF0(head) && !HasByteF0(tail)) {
      std::memcpy(dataOut, &head, 8);
      std::memcpy(dataOut + n - 8, &tail, 8);
      return e;
    }
  } else {
    std::memcpy(rawOut, raw.data(), n);
    if (!std::memchr(raw.data(), 0xF0, n)) {
      std::memcpy(dataOut, raw.data(), n);
      return e;
    }
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
