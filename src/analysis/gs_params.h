// Roland GS parameter changes: the GS parameter address map as one table
// (system, effects, the parts of both ports, the drum setups), a data set
// message read from its bytes, what its value means, and the channel messages
// that a part parameter equals. Plain constant data and small functions; the
// listing and the conversion call them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace mertovan {

// What a row's address mid stands for.
enum class GsScope : uint8_t {
  kSystem,  // the address mid itself: a setting of the whole module (or port)
  kPart,    // the high nibble; the low nibble is the part's block (block 0 is part 10)
  kDrum,    // the low nibble; the high nibble is the drum map (0 map 1, 1 map 2), the address low a note
};

// How the value of a parameter reads.
enum class GsValueKind : uint8_t {
  kNumber,       // the number says it all
  kOffset,       // signed offset from 64 within [min, max], with an optional unit
  kPercent,      // a level as a share of 127
  kPan,          // 1-127: L63 ... C ... R63
  kPanOrRandom,  // the same, and 0 Random
  kNames,        // names[value - min]
  kNote,         // a note number
  kRxChannel,    // 00-0F: Ch 1 ... Ch 16, 10: Off
  kMasterTune,   // four nibbles 0018-07E8: -100.0 ... +100.0 cents around 0400
  kOffsetFine,   // two nibbles 08-F8: -12.0 ... +12.0 Hz around 80
  kFineTune,     // two bytes of 14 bits: -100 ... +100 cents around 40 00
  kToneNumber,   // bank select MSB, and the program when the message carries it
  kText,         // ASCII characters
};

struct GsValueRule {
  GsValueKind kind = GsValueKind::kNumber;
  uint8_t min = 0;  // kOffset: the lowest value; kNames: the value of names[0]
  uint8_t max = 127;
  std::string_view unit = {};
  std::span<const std::string_view> names = {};
};

// The channel messages a part parameter equals.
enum class GsChannelKind : uint8_t {
  kNoEquivalent,  // the message stays SysEx
  kControl,     // control change `number`
  kNrpn,        // NRPN number/lsb, then data entry
  kRpn,         // RPN number/lsb, then data entry
  kToneNumber,  // CC 0 = bank select MSB, then a program change when the message carries one
};

struct GsChannelRule {
  GsChannelKind kind = GsChannelKind::kNoEquivalent;
  uint8_t number = 0;  // controller, or the NRPN/RPN MSB
  uint8_t lsb = 0;     // the NRPN/RPN LSB
  uint8_t zero = 0;    // the value that sends 0 (a range counted from 64); a value below it converts to nothing
};

// One row of the GS address map: the address lows lowFirst to lowLast at one
// address high and mid (as the scope reads it).
struct GsParameter {
  uint8_t addrHigh;  // 00, 40 or 41; a port B message (50, 51) reads as 40, 41
  uint8_t addrMid;   // by scope: the mid, its high nibble (10, 20, 40), or its low nibble (0-9)
  uint8_t lowFirst;
  uint8_t lowLast;
  GsScope scope;
  std::string_view name;
  GsValueRule value;
  GsChannelRule channel;
};

// The rows in address order; no two share an address.
std::span<const GsParameter> GsParameterTable();

// A GS message as the listing and the conversion read it. The view it is read
// from is the message after F0: 41 dd 42 12 a1 a2 a3 vv ... sum F7.
struct GsMessage {
  bool valid = false;                // a GS data set (41 dd 42 12 ...) with an address of three data bytes
  int row = -1;                      // row in GsParameterTable(), -1 when the address is not named
  uint8_t part = 255;                // 0-31 for a part message (port B: parts 16-31), 255 none
  uint8_t drumMap = 255;             // 0-1 for a drum setup message (port B: 2-3), 255 none
  uint8_t port = 0;                  // 0 for address high 4x and below, 1 for port B (5x)
  std::array<uint8_t, 3> address{};  // as the message gives it
  std::span<const uint8_t> values;   // the data bytes between the address and the checksum
  bool checksumOk = true;
  uint8_t expectedChecksum = 0;
  bool whole = false;  // the checksum is followed by F7, the last byte of the view
};

GsMessage ParseGs(std::span<const uint8_t> afterF0);

// The Roland checksum of the address and data bytes: the number that brings
// their sum to a multiple of 128.
uint8_t RolandChecksum(std::span<const uint8_t> addressAndData);

// The parameter's name, "" when the address is not named.
std::string_view GsName(const GsMessage& m);

// What the value means ("" where the number says it all); a drum setup
// message starts with its note. A wrong checksum is said after it:
// "Map 2; checksum wrong (should be 18)".
std::string GsMeaning(const GsMessage& m);

// The channel-message pairs of a GS part parameter that has an equivalent:
// controller (0-127, kProgramChange, kNone) and value for up to 4 messages,
// as Tsys::ccNumber/ccValue hold them (see conversion.cpp), or nothing. Only a
// whole message with a right checksum and the value of one parameter
// converts.
std::optional<std::array<std::pair<uint8_t, uint8_t>, 4>> GsChannelMessages(const GsMessage& m);

}  // namespace mertovan
