// Songs for the synthesizer tests: written event by event at absolute ticks,
// converted by mertovan-cli for a target synthesizer, and read back as one
// stream of events in time order, the way a sequencer plays them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/files.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "support/strict_smf_reader.h"

namespace mertovan::test {

// One event of a song: a channel message, or a SysEx message from F0 to F7.
struct Timed {
  uint32_t tick;
  Bytes bytes;
};
using Events = std::vector<Timed>;

inline const Bytes kXgSystemOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
inline const Bytes kGmSystemOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// An XG multi part parameter 08 <part> <al> for part `part` (0-based).
inline Timed XgPart(uint32_t tick, uint8_t part, uint8_t al, uint8_t value) {
  return {tick, {0xF0, 0x43, 0x10, 0x4C, 0x08, part, al, value, 0xF7}};
}

// Channel messages on channel `ch` (0-based).
inline Timed Cc(uint32_t tick, uint8_t ch, uint8_t number, uint8_t value) {
  return {tick, {uint8_t(0xB0 | ch), number, value}};
}
inline Timed Program(uint32_t tick, uint8_t ch, uint8_t program) { return {tick, {uint8_t(0xC0 | ch), program}}; }

// `keys` on channel `ch`, one every `step` ticks from `start`, each held for
// three quarters of the step; the velocity tells the notes of a part apart.
inline Events Notes(uint8_t ch, const std::vector<uint8_t>& keys, uint8_t velocity, uint32_t start = 240,
                    uint32_t step = 240) {
  Events out;
  for (size_t i = 0; i < keys.size(); ++i) {
    const uint32_t at = start + uint32_t(i) * step;
    out.push_back({at, {uint8_t(0x90 | ch), keys[i], velocity}});
    out.push_back({at + step * 3 / 4, {uint8_t(0x80 | ch), keys[i], 0}});
  }
  return out;
}

inline Events operator+(Events a, const Events& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A format 0 file at 480 ticks per quarter note (120 bpm by default); events
// at the same tick keep the order given.
inline Bytes SongFile(Events events) {
  std::stable_sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
  Bytes body;
  uint32_t now = 0;
  for (const Timed& e : events) {
    if (e.bytes.front() == 0xF0) {
      body = Cat({body, SysExEvent(e.tick - now, Bytes(e.bytes.begin() + 1, e.bytes.end()))});
    } else {
      body = Cat({body, VarLen(e.tick - now), e.bytes});
    }
    now = e.tick;
  }
  return Cat({Header(1, 480, 0), Track(Cat({body, kEndOfTrack}))});
}

// The file `mertovan-cli convert --song --target <target>` writes for `song`,
// in `dir`; empty (and the test failed) when the program refused.
inline std::string ConvertedFor(const ScratchDir& dir, const Bytes& song, const std::string& target) {
  WriteAll(dir.File("song.mid"), song);
  const std::string out = "song_" + target + ".mid";
  const CliRun r = RunCli(dir.path(), {"convert", "--song", "--target", target, "-o", out, "song.mid"});
  EXPECT_EQ(r.status, 0) << target << ": " << r.err;
  return r.status == 0 ? dir.File(out) : std::string();
}

// Every event of every track of `file` in time order; at the same tick the
// earlier track first, as a sequencer merges the tracks of a format 1 file.
inline Events PlayedInOrder(const std::string& file) {
  ParsedSmf parsed;
  if (file.empty() || !ParseStrict(ReadAll(file), parsed, /*song=*/true)) return {};
  Events all;
  for (const auto& track : parsed.tracks) {
    for (const SmfEvent& e : track) all.push_back({e.tick, e.bytes});
  }
  std::stable_sort(all.begin(), all.end(), [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
  return all;
}

}  // namespace mertovan::test
