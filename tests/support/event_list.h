// Event lists set up field by field, as the analysis would leave them, for
// the writer's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "model/song.h"

namespace mertovan::test {

// One record of `song` as the analysis would leave it; `messages` are the
// converted (controller, value) pairs, none for an unconverted message.
inline Tsys& AddEvent(Song& song, uint32_t tick, const std::vector<uint8_t>& afterF0, uint8_t channel,
                      std::initializer_list<std::pair<uint8_t, uint8_t>> messages = {}) {
  Tsys& e = song.sysEx.Append(tick, afterF0);
  e.channel = channel;
  int i = 0;
  for (const auto& [number, value] : messages) {
    e.ccNumber[i] = number;
    e.ccValue[i] = value;
    ++i;
  }
  if (i < 4) e.ccNumber[i] = 255;
  return e;
}

// A stand-in for a converted parameter change: the SysEx bytes do not matter
// to the channel tracks.
inline const std::vector<uint8_t> kSomeXg = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7};

// A converted parameter change of `part` (under 32), counted in the song's
// usage as the analysis counts it.
inline Tsys& AddConverted(Song& song, uint32_t tick, uint8_t part,
                          std::initializer_list<std::pair<uint8_t, uint8_t>> messages) {
  ++song.channelUsage[part];
  return AddEvent(song, tick, kSomeXg, part, messages);
}

}  // namespace mertovan::test
