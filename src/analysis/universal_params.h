// Universal System Exclusive messages (F0 7E dd ... non-real time, F0 7F dd
// ... real time): their names by sub-IDs, one table row each, and what the
// values of the device control and General MIDI messages mean.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mertovan {

// How the data of a universal message reads.
enum class UniversalValueKind : uint8_t {
  kNothing,       // nothing to add
  kGmOn,          // "GM reset"
  kGmOff,         // "GM off"
  kGm2On,         // "GM2 reset"
  kVolume,        // 14 bits (LSB, MSB) as a share of the whole
  kBalance,       // 14 bits (LSB, MSB) around 0x2000: L, C, R
  kFineTuning,    // 14 bits (LSB, MSB) around 0x2000: -100 ... +100 cents
  kCoarseTuning,  // the MSB around 64, in semitones
  kTimeCode,      // hr mn sc fr: hh:mm:ss:ff and the frame rate
};

// One row: a message by its sub-IDs.
struct UniversalParameter {
  uint8_t type;  // 7E non-real time, 7F real time
  uint8_t subId1;
  uint8_t subId2;  // kAnySubId: the message has none, or the row names them all
  std::string_view name;
  UniversalValueKind value;
};

inline constexpr uint8_t kAnySubId = 255;

// The rows, by type and sub-IDs; no two name the same message.
std::span<const UniversalParameter> UniversalParameterTable();

// A universal message as the listing reads it, from the view after F0.
struct UniversalMessage {
  int row = -1;                   // row in UniversalParameterTable(), -1 when not named
  uint8_t device = 0;             // device ID, 7F: all
  std::span<const uint8_t> data;  // the data bytes after the fourth (sub-ID #2 where there is one), up to F7
};

UniversalMessage ParseUniversal(std::span<const uint8_t> afterF0);

// The message's name, "" when it is not named.
std::string_view UniversalName(const UniversalMessage& m);

// What the message's values mean, "" where there is nothing to add.
std::string UniversalMeaning(const UniversalMessage& m);

}  // namespace mertovan
