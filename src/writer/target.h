// Song conversion for the synthesizer the user owns: the song layout of an XG
// song, made right for a GM synthesizer (or a SoundFont player in its
// default mode) or a Roland GS module, with a report of what the target
// cannot do.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// One event of the song layout's output that a target may change: a SysEx
// message, a part setting of the source (model/song.h, PartSetting) or a
// message converted from SysEx; or the first note-on of a channel, which
// only decides the drum parts. The song layout hands them over in the order
// they play, and writes each as MakeForTarget leaves it.
struct TargetEvent {
  enum class Kind : uint8_t { SysEx, Channel, FirstNote };
  uint32_t tick = 0;  // in the song's own division
  uint8_t port = 0;   // of the track that sends it
  Kind kind = Kind::Channel;
  bool converted = false;            // Channel: a converted message, always written from `out`
  bool fixed = false;                // SysEx: kept as it stands; only followed
  std::array<uint8_t, 3> message{};  // Channel, FirstNote: status and data bytes
  std::span<const uint8_t> sysEx{};  // SysEx: the bytes after F0
  ConstText name{};                  // SysEx: the name of its parameter, for a Yamaha message
  // What it becomes: unless `changed`, the event as it stands (on the channel
  // TargetChanges gives it); else the events in `out`, none when empty.
  bool changed = false;
  ByteRange out{};
  // Which event of the song layout this is.
  uint32_t ref = 0;
  uint8_t sub = 0;
};

// What a target changes beside the events: the bytes of their `out`
// (complete events after their delta times, a 00 delta time between two),
// and the channels that move.
struct TargetChanges {
  std::vector<uint8_t> bytes;
  // The channel each port's channels go out on (port * 16 + channel).
  std::array<uint8_t, 64> channel{};
  // A kit merged with another on channel 10: only its notes go out.
  std::array<bool, 64> merged{};
  // Whether messages on any of `channels` (bit n: channel n + 1), on any port,
  // are moved or taken out.
  bool Moves(uint16_t channels) const;
};

// Makes the events right for `target` and says what became of the song's
// settings in `report`. `countNotes(channels)` gives the note-ons with a
// velocity of each port and channel (port * 16 + channel), at least on
// `channels` (bit n: channel n + 1); it is asked only when kits merge on
// channel 10.
using NoteCounter = std::function<std::array<uint32_t, 64>(uint16_t channels)>;
TargetChanges MakeForTarget(Target target, std::span<TargetEvent> events, const NoteCounter& countNotes,
                            std::vector<TargetReportRow>& report);

// The report as tab-separated rows: bar, beat, tick, part, parameter, value,
// outcome; positions under the song's time signatures.
std::string TargetReportTsv(const Song& song, std::span<const TargetReportRow> rows);

}  // namespace mertovan
