// MIDI bytes used throughout the program: status bytes, meta event types,
// controller numbers, the codes of the program's own tables, the one builder
// that turns a converted controller pair into channel-message bytes, whether
// it goes into a file or out of a MIDI port, and the one test for the
// messages that reset a module.
#pragma once

#include <array>
#include <cstdint>
#include <span>

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

// The messages that reset a whole module:
//   XG System On   F0 43 1n 4C 00 00 7E 00 F7   (n: the module's device number)
//   GM System On   F0 7E dd 09 01 F7            (dd: device ID, 7F for all)
//   GM2 System On  F0 7E dd 09 03 F7
// Each caller decides which devices it answers to: the formal layout's pause
// follows device number 0 only, the listing names the broadcast GM System On.
enum class SystemOn : uint8_t { None, Xg, Gm, Gm2 };
struct SystemOnMessage {
  SystemOn kind = SystemOn::None;
  uint8_t device = 0;  // XG: n, GM and GM2: dd
};
// `message` is the bytes after F0; what follows the bytes above is not read.
constexpr SystemOnMessage SystemOnOf(std::span<const uint8_t> message) {
  const auto at = [&](size_t i) { return i < message.size() ? message[i] : uint8_t{0xFF}; };
  if (at(0) == 0x43 && (at(1) & 0xF0) == 0x10 && at(2) == 0x4C && at(3) == 0x00 && at(4) == 0x00 &&
      at(5) == 0x7E && at(6) == 0x00) {
    return {SystemOn::Xg, uint8_t(at(1) & 0x0F)};
  }
  if (at(0) == 0x7E && at(2) == 0x09 && (at(3) == 0x01 || at(3) == 0x03)) {
    return {at(3) == 0x01 ? SystemOn::Gm : SystemOn::Gm2, at(1)};
  }
  return {};
}

}  // namespace mertovan
