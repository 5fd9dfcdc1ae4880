// The song layout of the converted file: the whole source song, every event at
// its tick as the same bytes, with the converted XG parameter changes taken out
// of their tracks and their channel messages put on one track per part.
#pragma once

#include <cstdint>
#include <vector>

#include "writer/writer.h"

namespace mertovan {

// The song layout of an analysed song; what it did goes to `report` when
// given. Throws ConvertError, with a text for
// the user, for a song that cannot be converted this way: its reading stopped
// early (the rest of the song would be lost), it is a format 2 file, or its
// messages were not read from a file.
std::vector<uint8_t> BuildSongImage(const Song& song, const ConvertOptions& options, ConvertReport* report = nullptr);

// Which messages of the song, by record, go out as channel messages in the
// song layout: converted ones whose part receives on a channel of its own at
// their tick (a part that receives nothing, or a layer of parts on one
// channel, keeps its SysEx).
std::vector<bool> RoutedMessages(const SysExList& list);

}  // namespace mertovan
