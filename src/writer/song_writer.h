// The song layout of the converted file: the whole source song, every event at
// its tick as the same bytes, with the converted XG parameter changes taken out
// of their tracks and their channel messages put on one track per part.
#pragma once

#include <cstdint>
#include <vector>

#include "writer/writer.h"

namespace mertovan {

// A large song is built on two threads (Auto), which share out the list as
// they go. Tests ask for One, or for Two, where each thread takes a fixed
// half of the list, to compare both ways.
enum class SongThreads { Auto, One, Two };

// The song layout of the loaded file (gSourceFile and the analysed gSysEx), as
// it is built: the header, then each chunk in a piece of its own. Throws
// ConvertError, with a text for the user, for a file that cannot be converted
// this way: its reading stopped early (the rest of the song would be lost), it
// is a format 2 file, or the event list was not read from a file.
BuiltFile BuildSongFile(const ConvertOptions& options, SongThreads threads = SongThreads::Auto);
// The same in one piece, from offset 0.
std::vector<uint8_t> BuildSongImage(const ConvertOptions& options, SongThreads threads = SongThreads::Auto);

}  // namespace mertovan
