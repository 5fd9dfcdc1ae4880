// MIDI bytes used throughout the program: status bytes, meta event types,
// controller numbers, the codes of the program's own tables, and the one
// builder that turns a converted controller pair into channel-message bytes,
// whether it goes into a file or out of a MIDI port.
#pragma once

#include <array>
#include <cstdint>

namespace mertovan {

// Codes of the program's tables (events, conversion rules, setup entries).
inline constexpr uint8_t kNone = 255;           // no part, no controller, end of a pair list
inline constexpr uint8_t kProgramChange = 224;  // a controller slot that is a program change

// Status bytes.
inline constexpr uint8_t kStatusControlChange = 0xB0;
inline constexpr uint8_t kStatusProgramChange = 0xC0;
inline constexpr uint8_t kStatusSysEx = 0xF0;
inline constexpr uint8_t kStatusSysExEnd = 0xF7;  // also the SysEx continuation/escape event
inline constexpr uint8_t kStatusMeta = 0xFF;

// Meta event types.
inline constexpr uint8_t kMetaText = 0x01;
inline constexpr uint8_t kMetaTrackName = 0x03;
inline constexpr uint8_t kMetaPort = 0x21;
inline constexpr uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr uint8_t kMetaTempo = 0x51;
inline constexpr uint8_t kMetaTimeSignature = 0x58;

// Controller numbers.
inline constexpr uint8_t kCcBankSelectMsb = 0;
inline constexpr uint8_t kCcDataEntry = 6;
inline constexpr uint8_t kCcBankSelectLsb = 32;
inline constexpr uint8_t kCcSustain = 64;
inline constexpr uint8_t kCcNrpnLsb = 98;
inline constexpr uint8_t kCcNrpnMsb = 99;
inline constexpr uint8_t kCcRpnLsb = 100;
inline constexpr uint8_t kCcRpnMsb = 101;
inline constexpr uint8_t kCcAllNotesOff = 123;

// One channel message: a control change (3 bytes) or a program change (2).
struct ChannelMessage {
  std::array<uint8_t, 3> bytes{};
  uint8_t size = 0;
};

// The message of one converted controller pair for a part (0-31): the part
// plays on MIDI channel (part AND 15); controller 224 is a program change.
// Data bytes are kept to 7 bits, so a stored value can never become a status.
constexpr ChannelMessage ChannelMessageOf(uint8_t part, uint8_t controller, uint8_t value) {
  const uint8_t channel = part & 0x0F;
  if (controller == kProgramChange) {
    return {{uint8_t(kStatusProgramChange | channel), uint8_t(value & 0x7F), 0}, 2};
  }
  return {{uint8_t(kStatusControlChange | channel), uint8_t(controller & 0x7F), uint8_t(value & 0x7F)}, 3};
}

}  // namespace mertovan
