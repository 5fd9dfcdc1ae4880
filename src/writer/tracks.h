// The classic layouts of the converted file, formal and plain: a setup layer
// of a conductor track, a pass-through SysEx track and one channel track per
// part, at 480 ticks per quarter. A track builder appends a track's events,
// without the end-of-track event, to an empty body and returns 0, or returns
// -1 when the part has no track.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "model/midi_bytes.h"
#include "writer/file_image.h"

namespace mertovan {

// What one setup entry writes.
enum class SetupKind : uint8_t {
  Controller = 0,  // one control change, or a program change when `number` is kProgramChange
  Nrpn = 1,        // 99 number, 98 lsb, 6 value
  Rpn = 2,         // 101 number, 100 lsb, 6 value
  DrumNrpn = 3,    // 99 number, 98 drum note, 6 value, once per drum event
};

struct SetupController {
  SetupKind kind;
  uint8_t number;
  uint8_t lsb;
  uint8_t defaultValue;
  std::string_view source;  // the XG parameter whose conversion yields it
};

inline constexpr int kSetupEntries = 38;
extern const std::array<SetupController, kSetupEntries> kSetupControllers;

// Per entry and part: whether the formal layout writes it and with which
// value. Built anew for every conversion.
struct SetupWork {
  SetupKind kind;
  uint8_t number;
  uint8_t lsb;
  std::array<int32_t, 32> usage;  // 0 unused; 1 used; drum entries: events of the part
  std::array<uint8_t, 32> value;
};
using SetupTable = std::array<SetupWork, kSetupEntries>;

// The entries with their defaults, nothing used.
SetupTable InitSetupTable();
// Fills usage and value from the song's events (in tick order, so the latest
// setting of a parameter wins) and its channel usage counters.
void MarkSetupUsage(SetupTable& table, const Song& song, const TickOrder& order);

int BuildConductorTrack(ByteBuffer& body);
int BuildSysExTrack(const Song& song, const TickOrder& order, const ConvertOptions& options, ByteBuffer& body);
int BuildPlainTrack(uint8_t channel, const Song& song, const TickOrder& order, ByteBuffer& body);
int BuildFormalTrack(uint8_t channel, const SetupTable& table, const Song& song, const TickOrder& order,
                     ByteBuffer& body);

// The formal or plain layout of an analysed song; what it did goes to
// `report` when given.
std::vector<uint8_t> BuildClassicImage(const Song& song, const ConvertOptions& options, ConvertReport* report);

}  // namespace mertovan
