// The analysis pass run once after every load: each SysEx message of a song
// gets its musical position, its channel-message equivalent and part, and the
// name and value texts of the listing.
#pragma once

#include <array>
#include <cstdint>

#include "model/song.h"

namespace mertovan {

// Which part plays each XG part mode (0-6): drum setup 1 (address high 30)
// belongs to the part of mode 2, drum setup 2 to mode 3, and so on. Before any
// Part Mode message, part 10 (index 9) plays both kits and parts 11-14 the
// later ones.
using DrumSetupPartMap = std::array<uint8_t, 7>;
inline constexpr DrumSetupPartMap kInitialDrumSetupPartMap = {0, 9, 9, 10, 11, 12, 13};

// What carries over from one file to the next in one run of the program, as
// it does on a module that is not reset between songs: an XG part mode met in
// one file still decides which part a later file's drum setup belongs to.
struct Session {
  DrumSetupPartMap drumSetupPartMap = kInitialDrumSetupPartMap;
};

// What the pass fills in. A conversion reads only the parts and controller
// pairs: converting alone skips the names, value texts and musical positions,
// which are left empty. Either way the parts and pairs come out the same.
enum class Analysis { ForListing, ForConverting };

// Conversion and parts, and for a listing the positions, names and values, of
// every message of the song, in list order; counts the converted messages of
// each part in song.channelUsage.
void AnalyseEvents(Song& song, Session& session, Analysis what = Analysis::ForListing);

}  // namespace mertovan
