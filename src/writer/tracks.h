// The track builders of the converted file and the setup tables of the formal
// layout. A builder appends a track's events, without the end-of-track event,
// to an empty body and returns 0, or returns -1 when the channel has no track.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

// Per entry and channel index: whether the formal layout writes it and with
// which value. Rebuilt by every conversion.
struct SetupWork {
  SetupKind kind;
  uint8_t number;
  uint8_t lsb;
  std::array<int32_t, 32> usage;  // 0 unused; 1 used; drum entries: events of the channel
  std::array<uint8_t, 32> value;
};
extern std::array<SetupWork, kSetupEntries> gSetupTable;

void InitSetupTable();
// Fills usage and value from the event list (in tick order, so the latest
// setting of a parameter wins) and the channel usage counters.
void MarkSetupUsage(const TickOrder& order);

int BuildConductorTrack(ByteBuffer& body);
int BuildSysExTrack(const TickOrder& order, const ConvertOptions& options, ByteBuffer& body);
int BuildPlainTrack(uint8_t channel, const TickOrder& order, ByteBuffer& body);
int BuildFormalTrack(uint8_t channel, const TickOrder& order, ByteBuffer& body);

// True for the XG System On message of device number 0.
bool IsXgSystemOn(const SysExList& list, const Tsys& e);

}  // namespace mertovan
