// The universal System Exclusive messages of the MIDI 1.0 list, by sub-ID #1
// and #2. Names follow the list; a sub-ID #1 whose messages the list does not
// split (sample dump, MIDI Show Control, Machine Control) is one row.
#include "analysis/universal_params.h"

#include <iterator>

#include "analysis/value_text.h"

namespace mertovan {
namespace {

constexpr uint8_t kNonRealTime = 0x7E;
constexpr uint8_t kRealTime = 0x7F;
constexpr uint8_t kAny = kAnySubId;

using V = UniversalValueKind;

// clang-format off
constexpr UniversalParameter kUniversal[] = {
  // type  sub1  sub2  name                                     value
  // 7E: non-real time
  {0x7E, 0x01, kAny, "Sample Dump Header",                     V::kNothing},
  {0x7E, 0x02, kAny, "Sample Data Packet",                     V::kNothing},
  {0x7E, 0x03, kAny, "Sample Dump Request",                    V::kNothing},
  {0x7E, 0x04, 0x00, "MTC Special",                            V::kNothing},  // 04: MIDI Time Code setup
  {0x7E, 0x04, 0x01, "MTC Punch In Points",                    V::kNothing},
  {0x7E, 0x04, 0x02, "MTC Punch Out Points",                   V::kNothing},
  {0x7E, 0x04, 0x03, "MTC Delete Punch In Point",              V::kNothing},
  {0x7E, 0x04, 0x04, "MTC Delete Punch Out Point",             V::kNothing},
  {0x7E, 0x04, 0x05, "MTC Event Start Point",                  V::kNothing},
  {0x7E, 0x04, 0x06, "MTC Event Stop Point",                   V::kNothing},
  {0x7E, 0x04, 0x07, "MTC Event Start Point With Info",        V::kNothing},
  {0x7E, 0x04, 0x08, "MTC Event Stop Point With Info",         V::kNothing},
  {0x7E, 0x04, 0x09, "MTC Delete Event Start Point",           V::kNothing},
  {0x7E, 0x04, 0x0A, "MTC Delete Event Stop Point",            V::kNothing},
  {0x7E, 0x04, 0x0B, "MTC Cue Points",                         V::kNothing},
  {0x7E, 0x04, 0x0C, "MTC Cue Points With Info",               V::kNothing},
  {0x7E, 0x04, 0x0D, "MTC Delete Cue Point",                   V::kNothing},
  {0x7E, 0x04, 0x0E, "MTC Event Name In Info",                 V::kNothing},
  {0x7E, 0x05, 0x01, "Sample Dump Loop Points",                V::kNothing},  // 05: sample dump extensions
  {0x7E, 0x05, 0x02, "Sample Dump Loop Points Request",        V::kNothing},
  {0x7E, 0x05, 0x03, "Sample Name",                            V::kNothing},
  {0x7E, 0x05, 0x04, "Sample Name Request",                    V::kNothing},
  {0x7E, 0x05, 0x05, "Extended Sample Dump Header",            V::kNothing},
  {0x7E, 0x05, 0x06, "Extended Loop Points",                   V::kNothing},
  {0x7E, 0x05, 0x07, "Extended Loop Points Request",           V::kNothing},
  {0x7E, 0x06, 0x01, "Identity Request",                       V::kNothing},  // 06: general information
  {0x7E, 0x06, 0x02, "Identity Reply",                         V::kNothing},
  {0x7E, 0x07, 0x01, "File Dump Header",                       V::kNothing},  // 07: file dump
  {0x7E, 0x07, 0x02, "File Dump Data Packet",                  V::kNothing},
  {0x7E, 0x07, 0x03, "File Dump Request",                      V::kNothing},
  {0x7E, 0x08, 0x00, "Bulk Tuning Dump Request",               V::kNothing},  // 08: MIDI Tuning Standard
  {0x7E, 0x08, 0x01, "Bulk Tuning Dump",                       V::kNothing},
  {0x7E, 0x08, 0x03, "Tuning Dump Request",                    V::kNothing},
  {0x7E, 0x08, 0x04, "Key-Based Tuning Dump",                  V::kNothing},
  {0x7E, 0x08, 0x05, "Scale/Octave Tuning Dump, 1 Byte",       V::kNothing},
  {0x7E, 0x08, 0x06, "Scale/Octave Tuning Dump, 2 Bytes",      V::kNothing},
  {0x7E, 0x08, 0x07, "Single Note Tuning Change With Bank",    V::kNothing},
  {0x7E, 0x08, 0x08, "Scale/Octave Tuning, 1 Byte",            V::kNothing},
  {0x7E, 0x08, 0x09, "Scale/Octave Tuning, 2 Bytes",           V::kNothing},
  {0x7E, 0x09, 0x01, "GM System On",                           V::kGmOn},  // 09: General MIDI
  {0x7E, 0x09, 0x02, "GM System Off",                          V::kGmOff},
  {0x7E, 0x09, 0x03, "GM2 System On",                          V::kGm2On},
  {0x7E, 0x0A, 0x01, "DLS On",                                 V::kNothing},  // 0A: downloadable sounds
  {0x7E, 0x0A, 0x02, "DLS Off",                                V::kNothing},
  {0x7E, 0x0A, 0x03, "DLS Voice Allocation Off",               V::kNothing},
  {0x7E, 0x0A, 0x04, "DLS Voice Allocation On",                V::kNothing},
  {0x7E, 0x0B, 0x01, "File Reference Open File",               V::kNothing},  // 0B: file reference
  {0x7E, 0x0B, 0x02, "File Reference Select Contents",         V::kNothing},
  {0x7E, 0x0B, 0x03, "File Reference Open And Select",         V::kNothing},
  {0x7E, 0x0B, 0x04, "File Reference Close File",              V::kNothing},
  {0x7E, 0x0C, kAny, "MIDI Visual Control",                    V::kNothing},
  {0x7E, 0x0D, kAny, "MIDI Capability Inquiry",                V::kNothing},
  {0x7E, 0x7B, kAny, "End Of File",                            V::kNothing},  // 7B-7F: handshaking
  {0x7E, 0x7C, kAny, "Wait",                                   V::kNothing},
  {0x7E, 0x7D, kAny, "Cancel",                                 V::kNothing},
  {0x7E, 0x7E, kAny, "NAK",                                    V::kNothing},
  {0x7E, 0x7F, kAny, "ACK",                                    V::kNothing},
  // 7F: real time
  {0x7F, 0x01, 0x01, "MTC Full Message",                       V::kTimeCode},  // 01: MIDI Time Code
  {0x7F, 0x01, 0x02, "MTC User Bits",                          V::kNothing},
  {0x7F, 0x02, kAny, "MIDI Show Control",                      V::kNothing},
  {0x7F, 0x03, 0x01, "Bar Number",                             V::kNothing},  // 03: notation information
  {0x7F, 0x03, 0x02, "Time Signature (Immediate)",             V::kNothing},
  {0x7F, 0x03, 0x42, "Time Signature (Delayed)",               V::kNothing},
  {0x7F, 0x04, 0x01, "Master Volume",                          V::kVolume},  // 04: device control
  {0x7F, 0x04, 0x02, "Master Balance",                         V::kBalance},
  {0x7F, 0x04, 0x03, "Master Fine Tuning",                     V::kFineTuning},
  {0x7F, 0x04, 0x04, "Master Coarse Tuning",                   V::kCoarseTuning},
  {0x7F, 0x04, 0x05, "Global Parameter Control",               V::kNothing},
  {0x7F, 0x05, 0x00, "MTC Cueing Special",                     V::kNothing},  // 05: real time MTC cueing
  {0x7F, 0x05, 0x01, "MTC Cueing Punch In Points",             V::kNothing},
  {0x7F, 0x05, 0x02, "MTC Cueing Punch Out Points",            V::kNothing},
  {0x7F, 0x05, 0x05, "MTC Cueing Event Start Points",          V::kNothing},
  {0x7F, 0x05, 0x06, "MTC Cueing Event Stop Points",           V::kNothing},
  {0x7F, 0x05, 0x07, "MTC Cueing Event Start Points With Info", V::kNothing},
  {0x7F, 0x05, 0x08, "MTC Cueing Event Stop Points With Info", V::kNothing},
  {0x7F, 0x05, 0x0B, "MTC Cueing Cue Points",                  V::kNothing},
  {0x7F, 0x05, 0x0C, "MTC Cueing Cue Points With Info",        V::kNothing},
  {0x7F, 0x05, 0x0E, "MTC Cueing Event Name In Info",          V::kNothing},
  {0x7F, 0x06, kAny, "MIDI Machine Control Command",           V::kNothing},
  {0x7F, 0x07, kAny, "MIDI Machine Control Response",          V::kNothing},
  {0x7F, 0x08, 0x02, "Single Note Tuning Change",              V::kNothing},  // 08: MIDI Tuning Standard
  {0x7F, 0x08, 0x07, "Single Note Tuning Change With Bank",    V::kNothing},
  {0x7F, 0x08, 0x08, "Scale/Octave Tuning, 1 Byte",            V::kNothing},
  {0x7F, 0x08, 0x09, "Scale/Octave Tuning, 2 Bytes",           V::kNothing},
  {0x7F, 0x09, 0x01, "Channel Pressure Destination",           V::kNothing},  // 09: controller destination
  {0x7F, 0x09, 0x02, "Poly Pressure Destination",              V::kNothing},
  {0x7F, 0x09, 0x03, "Control Change Destination",             V::kNothing},
  {0x7F, 0x0A, 0x01, "Key-Based Instrument Control",           V::kNothing},
  {0x7F, 0x0B, 0x01, "Scalable Polyphony MIP",                 V::kNothing},
  {0x7F, 0x0C, 0x00, "Mobile Phone Control",                   V::kNothing},
};
// clang-format on

// The MTC frame rates by the two rate bits of the hours byte (0rrhhhhh).
constexpr std::string_view kFrameRates[] = {"24 fps", "25 fps", "29.97 fps drop frame", "30 fps"};

std::string TwoDigits(unsigned v) { return std::string(1, char('0' + v / 10 % 10)) + char('0' + v % 10); }

std::string Meaning(UniversalValueKind kind, std::span<const uint8_t> data) {
  switch (kind) {
    case V::kGmOn:
      return "GM reset";
    case V::kGmOff:
      return "GM off";
    case V::kGm2On:
      return "GM2 reset";
    case V::kNothing:
      return "";
    default:
      break;
  }
  if (data.size() < 2) return "";
  const unsigned value = unsigned(data[1]) << 7 | data[0];  // LSB first
  const int offset = int(value) - 0x2000;
  switch (kind) {
    case V::kVolume:
      return Percent(value, 0x3FFF);
    case V::kBalance:
      if (offset == 0) return "C";
      return offset < 0 ? "L" + Percent(unsigned(-offset), 0x2000) : "R" + Percent(unsigned(offset), 0x1FFF);
    case V::kFineTuning:
      // 0x2000 steps to 100 cents: tenths of a cent, rounded.
      return Tenths((offset * 1000 + (offset < 0 ? -4096 : 4096)) / 8192, "cents");
    case V::kCoarseTuning: {
      const int semitones = int(data[1]) - 64;
      return (semitones > 0 ? "+" : "") + std::to_string(semitones) + " semitones";
    }
    case V::kTimeCode:
      if (data.size() < 4) return "";
      return TwoDigits(data[0] & 0x1Fu) + ":" + TwoDigits(data[1]) + ":" + TwoDigits(data[2]) + ":" +
             TwoDigits(data[3]) + " (" + std::string(kFrameRates[data[0] >> 5 & 3]) + ")";
    default:
      return "";
  }
}

}  // namespace

std::span<const UniversalParameter> UniversalParameterTable() { return kUniversal; }

UniversalMessage ParseUniversal(std::span<const uint8_t> d) {
  UniversalMessage m;
  if (d.size() < 3 || (d[0] != kNonRealTime && d[0] != kRealTime) || d[1] >= 0x80 || d[2] >= 0x80) return m;
  m.device = d[1];
  // Sub-ID #2, when the message carries one.
  const int sub2 = d.size() > 3 && d[3] < 0x80 ? d[3] : -1;
  for (size_t i = 0; i < std::size(kUniversal); ++i) {
    const UniversalParameter& u = kUniversal[i];
    if (u.type == d[0] && u.subId1 == d[2] && (u.subId2 == kAny || u.subId2 == sub2)) {
      m.row = int(i);
      break;
    }
  }
  if (sub2 >= 0) {
    size_t end = 4;
    while (end < d.size() && d[end] < 0x80) ++end;
    m.data = d.subspan(4, end - 4);
  }
  return m;
}

std::string_view UniversalName(const UniversalMessage& m) {
  return m.row < 0 ? std::string_view() : kUniversal[m.row].name;
}

std::string UniversalMeaning(const UniversalMessage& m) {
  return m.row < 0 ? std::string() : Meaning(kUniversal[m.row].value, m.data);
}

}  // namespace mertovan
