// XG parameter changes turned into their channel-message equivalents: Control
// Change, NRPN, RPN and Program Change, from a table of 42 rules.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "analysis/analyse.h"
#include "analysis/stored_message.h"
#include "model/song.h"

namespace mertovan {

struct ConversionRule {
  uint8_t addrHigh;  // bit 7 set: drum setup rule (address high 3n)
  uint8_t addrLow;
  struct Pair {
    uint8_t controller;  // 0-127 control change, kProgramChange, kNone
    uint8_t valueCode;   // kOffsetCode, kNoteCode, kDataCode, kSwitchCode, else literal
  } pairs[4];
};

// Value codes of a rule's pairs; any other code is the value itself.
inline constexpr uint8_t kOffsetCode = 251;  // dd - 64 (pitch bend range)
inline constexpr uint8_t kNoteCode = 252;    // the address mid: the drum note of a drum setup message
inline constexpr uint8_t kDataCode = 253;    // dd
inline constexpr uint8_t kSwitchCode = 254;  // dd as an on/off switch

std::span<const ConversionRule> ConversionRules();

// Value a rule's value code gives for address mid `am` and data byte `dd`.
uint8_t ApplyValueCode(uint8_t valueCode, uint8_t am, uint8_t dd);

// No part, or a drum setup message whose part is decided by AssignDrumPart.
inline constexpr uint8_t kNoDrumSetup = 255;

// Converts one event at its place in the list: a part mode message updates
// the drum setup part map; a message that converts gets its controller
// slots and is counted for its part in `usage`. A message that matches a rule gets its
// part, converted or not, except a drum setup message: its part is the one
// that plays its kit once the whole list has been read, so it is left to
// AssignDrumPart, and the function returns the map entry it reads (else
// kNoDrumSetup).
uint8_t ConvertEvent(const SysExList& list, Tsys& e, const MessageExtent& extent, DrumSetupPartMap& map,
                     std::array<int32_t, 32>& usage);
// Gives a drum setup message the part that the map entry holds now. Parts
// 33-64 are converted for the song layout only.
void AssignDrumPart(Tsys& e, uint8_t mapEntry, const DrumSetupPartMap& map);

// A GS part parameter change with a channel-message equivalent gets its part
// and controller slots, for the song layout only (the setup layers pass GS
// messages through). Every GS part message gets its part for the listing.
void ConvertGsEvent(const SysExList& list, Tsys& e);

// Where an XG parameter change addresses a part: a multi part (08 pp, 0A pp)
// names it, a drum setup (3n rr) belongs to the part that plays its kit,
// which the map entry `drumMapEntry` tells.
struct XgPartAddress {
  uint8_t part = kNone;
  uint8_t drumMapEntry = kNone;
};
XgPartAddress XgPartAddressOf(const SysExList& list, const Tsys& e, const MessageExtent& extent);

// Parts of a module with four ports.
inline constexpr uint8_t kMostParts = 64;

}  // namespace mertovan
