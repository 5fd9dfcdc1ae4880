// Song conversion for the synthesizer the user owns: the song layout of an XG
// song, made right for a GM synthesizer (or a SoundFont player in its
// default mode) or a Roland GS module, with a report of what the target
// cannot do.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"

namespace mertovan {

enum class Target : uint8_t { Xg, Gm, Gs };

// "xg", "gm", "gs" as the command line names them; "GM" etc. for the user.
std::string_view TargetName(Target target);

// What became of one setting of the song on the target.
struct TargetReportRow {
  uint32_t tick = 0;     // in the song's own division
  uint8_t part = 255;    // 0-63, 255 none
  std::string parameter;
  std::string value;
  std::string outcome;   // "kept", "approximated as ...", "moved to channel 10", "dropped: ..."
  bool lost = false;     // the target cannot do what the song asked
};

// Makes the song-layout file `image` (written by BuildSongImage) right for
// `target`, adding what it did to `report`. Target::Xg returns the file as
// it is.
std::vector<uint8_t> MakeForTarget(std::span<const uint8_t> image, Target target,
                                   std::vector<TargetReportRow>& report);

// The report as tab-separated rows: bar, beat, tick, part, parameter, value,
// outcome; positions under the song's time signatures.
std::string TargetReportTsv(const Song& song, std::span<const TargetReportRow> rows);

}  // namespace mertovan
