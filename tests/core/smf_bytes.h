// Small helpers that build Standard MIDI File bytes for tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace mertovan::test {

using Bytes = std::vector<uint8_t>;

inline Bytes VarLen(uint32_t v) {
  Bytes out{uint8_t(v & 0x7F)};
  while (v >>= 7) out.insert(out.begin(), uint8_t(0x80 | (v & 0x7F)));
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

inline Bytes Header(uint16_t tracks = 1, uint16_t division = 480, uint16_t format = 1) {
  return Cat({{'M', 'T', 'h', 'd'}, Be32(6), {uint8_t(format >> 8), uint8_t(format)},
              {uint8_t(tracks >> 8), uint8_t(tracks)}, {uint8_t(division >> 8), uint8_t(division)}});
}

// A track chunk around `body`, whose length field is the body's size.
inline Bytes Track(const Bytes& body) { return Cat({{'M', 'T', 'r', 'k'}, Be32(uint32_t(body.size())), body}); }

// Delta time, F0, length, then the message bytes after F0.
inline Bytes SysExEvent(uint32_t delta, const Bytes& afterF0) {
  return Cat({VarLen(delta), {0xF0}, VarLen(uint32_t(afterF0.size())), afterF0});
}

inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

}  // namespace mertovan::test
