// Standard MIDI File bytes built in memory, for tests, fuzz seeds and
// benchmarks: small pieces (variable-length numbers, chunks, events) that
// compose into any file, valid or damaged, and a builder for the common case
// of one track written the way a sequencer writes it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace mertovan::test {

using Bytes = std::vector<uint8_t>;
using ByteVec = Bytes;

// A variable-length quantity, most significant group first.
inline void PutVarLen(Bytes& out, uint32_t v) {
  uint8_t buf[5];
  int n = 0;
  buf[n++] = uint8_t(v & 0x7F);
  while (v >>= 7) buf[n++] = uint8_t(0x80 | (v & 0x7F));
  while (n) out.push_back(buf[--n]);
}

inline Bytes VarLen(uint32_t v) {
  Bytes out;
  PutVarLen(out, v);
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

inline Bytes Header(uint16_t tracks = 1, uint16_t division = 480, uint16_t format = 1) {
  return Cat({{'M', 'T', 'h', 'd'},
              Be32(6),
              {uint8_t(format >> 8), uint8_t(format)},
              {uint8_t(tracks >> 8), uint8_t(tracks)},
              {uint8_t(division >> 8), uint8_t(division)}});
}

// A track chunk around `body`, whose length field is the body's size.
inline Bytes Track(const Bytes& body) { return Cat({{'M', 'T', 'r', 'k'}, Be32(uint32_t(body.size())), body}); }

// Delta time, F0, length, then the message bytes after F0.
inline Bytes SysExEvent(uint32_t delta, const Bytes& afterF0) {
  return Cat({VarLen(delta), {0xF0}, VarLen(uint32_t(afterF0.size())), afterF0});
}

inline Bytes Meta(uint32_t delta, uint8_t type, const Bytes& body) {
  return Cat({VarLen(delta), {0xFF, type}, VarLen(uint32_t(body.size())), body});
}

// An XG parameter change F0 43 10 <model> <high> <mid> <low> <value> F7.
// An XG parameter change as its bytes after F0: 43 10 4C ah am al dd F7.
inline Bytes XgMessage(uint8_t ah, uint8_t am, uint8_t al, uint8_t dd) { return {0x43, 0x10, 0x4C, ah, am, al, dd, 0xF7}; }

inline Bytes Xg(uint32_t delta, uint8_t high, uint8_t mid, uint8_t low, uint8_t value, uint8_t model = 0x4C) {
  return SysExEvent(delta, {0x43, 0x10, model, high, mid, low, value, 0xF7});
}

inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

// A format-1 file of the given track bodies, each closed by an end of track.
inline Bytes Smf(const std::vector<Bytes>& trackBodies, uint16_t division = 480) {
  Bytes out = Header(uint16_t(trackBodies.size()), division);
  for (const Bytes& t : trackBodies) out = Cat({out, Track(Cat({t, kEndOfTrack}))});
  return out;
}

// One track, event by event, as a sequencer writes it; Bytes() gives the
// whole single-track file.
class SmfBuilder {
 public:
  SmfBuilder& SysEx(uint32_t delta, const test::Bytes& bodyAfterF0) {
    Append(SysExEvent(delta, bodyAfterF0));
    return *this;
  }
  SmfBuilder& FourFour(uint32_t delta) {
    Append(Meta(delta, 0x58, {0x04, 0x02, 0x18, 0x08}));
    return *this;
  }
  SmfBuilder& Note(uint32_t delta, uint8_t key) {
    Append(Cat({VarLen(delta), {0x90, key, 100}}));
    return *this;
  }
  // An XG parameter change for part `part` (0-based), address 08 part al.
  SmfBuilder& PartParameter(uint32_t delta, uint8_t part, uint8_t al, uint8_t value) {
    Append(Xg(delta, 0x08, part, al, value));
    return *this;
  }
  // Format 0, 480 ticks per quarter note.
  test::Bytes Bytes() const { return Cat({Header(1, 480, 0), Track(Cat({track_, kEndOfTrack}))}); }

 private:
  void Append(const test::Bytes& b) { track_.insert(track_.end(), b.begin(), b.end()); }
  test::Bytes track_;
};

}  // namespace mertovan::test
