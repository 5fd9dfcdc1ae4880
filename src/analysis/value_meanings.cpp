#include "analysis/value_meanings.h"

#include <string_view>

#include "analysis/gs_params.h"
#include "analysis/param_names.h"
#include "analysis/universal_params.h"
#include "analysis/value_text.h"
#include "model/midi_bytes.h"

namespace mertovan {
namespace {

// Address mid that matches any part or drum note, as in the name table.
constexpr uint8_t kAny = 255;

enum class Kind : uint8_t {
  kPan,          // 1-127: L63 ... L1, C, R1 ... R63
  kPanOrRandom,  // the same, and 0 Random
  kOffset,       // signed offset from 64, within [min, max], with an optional unit
  kNames,        // names[value - min]
  kNote,         // a note number
  kEffectMsb,    // Type MSB of an effect (with the LSB when the message carries it)
  kEffectLsb,    // Type LSB of an effect, named with the MSB sent before it
  kBankMsb,      // bank select of a part: nothing to add, but the voice depends on it
  kBankLsb,      // the same for the LSB
  kProgram,      // Program Number of a part: the voice in the part's bank
  kMasterTune,   // four nibbles 0x000-0x7FF, -102.4 ... +102.3 cents around 0x400
  kDetune,       // two nibbles, -12.8 ... +12.7 Hz around 0x80
  kPercent,      // a level as a share of 127
  kXgReset,      // XG System On
  kDisplayText,  // Display Letters: the characters from the address on, quoted
  kBitmap,       // Display Bitmap: a picture, not a number
  kAllReset,     // All Parameter Reset: nothing to add, but the parts return to their banks
};

// The effects whose Type MSB the context follows, one slot per Type MSB/LSB pair.
enum Slot : uint8_t {
  kXgReverb,
  kXgChorus,
  kXgVariation,
  kXgInsertion1,
  kXgInsertion2,
  k49Chorus,
  k49Variation,
  k49Insertion1,
  k59Reverb,
  k59Chorus,
  k59Variation,
  k59Insertion1,
  k59Insertion2,
  k59PartReverb,
  k59PartChorus,
  k59PartVariation,
  k59PartInsertion,
  kSlotCount,
};
static_assert(kSlotCount == MeaningContext::kEffectSlots);

struct ValueRule {
  Kind kind;
  uint8_t min = 0;  // kOffset: the lowest value the parameter takes; kNames: the value of names[0]
  uint8_t max = 127;
  std::string_view unit = {};
  std::span<const std::string_view> names = {};
  std::span<const EffectType> effects = {};
  uint8_t slot = 0;
};

constexpr ValueRule Rule(Kind kind) { return {kind}; }
// Offsets from 64 over the whole data range, or over the range the XG charts
// give: the pitch controls (note shift, transpose, bend and controller pitch
// depth) 40-88 = -24 ... +24 semitones, the EQ gains 52-76 = -12 ... +12 dB.
constexpr ValueRule Offset(std::string_view unit = {}) { return {Kind::kOffset, 0, 127, unit}; }
constexpr ValueRule Semitones24() { return {Kind::kOffset, 40, 88, "semitones"}; }
constexpr ValueRule Decibels12() { return {Kind::kOffset, 52, 76, "dB"}; }
constexpr ValueRule Names(std::span<const std::string_view> names) {
  return {Kind::kNames, 0, uint8_t(names.size() - 1), {}, names};
}
constexpr ValueRule Switch() { return Names(kSwitchNames); }
constexpr ValueRule Msb(std::span<const EffectType> types, Slot slot) {
  return {Kind::kEffectMsb, 0, 127, {}, {}, types, slot};
}
constexpr ValueRule Lsb(std::span<const EffectType> types, Slot slot) {
  return {Kind::kEffectLsb, 0, 127, {}, {}, types, slot};
}

// One row: the value rule of the parameters at address lows lowFirst to
// lowLast of a block of the parameter name table (same model, address high and
// address mid as the table's entries, B0 = a drum setup or part block 3n).
struct RuleRow {
  uint8_t model, addrHigh, addrMid, lowFirst, lowLast;
  ValueRule rule;
};

// clang-format off
constexpr RuleRow kValueRules[] = {
  // model addrHigh addrMid lows        rule
  // 4C 00 00: XG system
  {0x4C, 0x00, 0x00, 0x00, 0x00, Rule(Kind::kMasterTune)},
  {0x4C, 0x00, 0x00, 0x04, 0x04, Rule(Kind::kPercent)},              // Master Volume
  {0x4C, 0x00, 0x00, 0x06, 0x06, Semitones24()},                     // Transpose
  {0x4C, 0x00, 0x00, 0x7E, 0x7E, Rule(Kind::kXgReset)},
  {0x4C, 0x00, 0x00, 0x7F, 0x7F, Rule(Kind::kAllReset)},
  // 4C 02 01: reverb, chorus, variation
  {0x4C, 0x02, 0x01, 0x00, 0x00, Msb(kReverbTypes, kXgReverb)},
  {0x4C, 0x02, 0x01, 0x01, 0x01, Lsb(kReverbTypes, kXgReverb)},
  {0x4C, 0x02, 0x01, 0x0D, 0x0D, Rule(Kind::kPan)},                  // Reverb Pan
  {0x4C, 0x02, 0x01, 0x20, 0x20, Msb(kChorusTypes, kXgChorus)},
  {0x4C, 0x02, 0x01, 0x21, 0x21, Lsb(kChorusTypes, kXgChorus)},
  {0x4C, 0x02, 0x01, 0x2D, 0x2D, Rule(Kind::kPan)},                  // Chorus Pan
  {0x4C, 0x02, 0x01, 0x40, 0x40, Msb(kVariationTypes, kXgVariation)},
  {0x4C, 0x02, 0x01, 0x41, 0x41, Lsb(kVariationTypes, kXgVariation)},
  {0x4C, 0x02, 0x01, 0x57, 0x57, Rule(Kind::kPan)},                  // Var Pan
  // 4C 02 40: master EQ gains of the five bands
  {0x4C, 0x02, 0x40, 0x01, 0x01, Decibels12()},
  {0x4C, 0x02, 0x40, 0x05, 0x05, Decibels12()},
  {0x4C, 0x02, 0x40, 0x09, 0x09, Decibels12()},
  {0x4C, 0x02, 0x40, 0x0D, 0x0D, Decibels12()},
  {0x4C, 0x02, 0x40, 0x11, 0x11, Decibels12()},
  // 4C 03 00, 03 01: insertion effects
  {0x4C, 0x03, 0x00, 0x00, 0x00, Msb(kVariationTypes, kXgInsertion1)},
  {0x4C, 0x03, 0x00, 0x01, 0x01, Lsb(kVariationTypes, kXgInsertion1)},
  {0x4C, 0x03, 0x01, 0x00, 0x00, Msb(kVariationTypes, kXgInsertion2)},
  {0x4C, 0x03, 0x01, 0x01, 0x01, Lsb(kVariationTypes, kXgInsertion2)},
  // 4C 06 00, 07 00: the module's display
  {0x4C, 0x06, 0x00, 0x00, 0x1F, Rule(Kind::kDisplayText)},
  {0x4C, 0x07, 0x00, 0x00, 0x2F, Rule(Kind::kBitmap)},
  // 4C 08 pp: multi part
  {0x4C, 0x08, kAny, 0x01, 0x01, Rule(Kind::kBankMsb)},
  {0x4C, 0x08, kAny, 0x02, 0x02, Rule(Kind::kBankLsb)},
  {0x4C, 0x08, kAny, 0x03, 0x03, Rule(Kind::kProgram)},
  {0x4C, 0x08, kAny, 0x05, 0x05, Names(kMonoPolyNames)},
  {0x4C, 0x08, kAny, 0x06, 0x06, Names(kPartKeyAssignNames)},
  {0x4C, 0x08, kAny, 0x07, 0x07, Names(kPartModeNames)},
  {0x4C, 0x08, kAny, 0x08, 0x08, Semitones24()},                     // Note Shift
  {0x4C, 0x08, kAny, 0x09, 0x09, Rule(Kind::kDetune)},
  {0x4C, 0x08, kAny, 0x0E, 0x0E, Rule(Kind::kPanOrRandom)},
  {0x4C, 0x08, kAny, 0x0F, 0x10, Rule(Kind::kNote)},                 // Note Limit Low, High
  {0x4C, 0x08, kAny, 0x15, 0x1C, Offset()},                          // vibrato, filter, EG
  {0x4C, 0x08, kAny, 0x1D, 0x1D, Semitones24()},                     // MW Pitch Control
  {0x4C, 0x08, kAny, 0x1E, 0x1F, Offset()},
  {0x4C, 0x08, kAny, 0x23, 0x23, Semitones24()},                     // Bend Pitch Control
  {0x4C, 0x08, kAny, 0x24, 0x25, Offset()},
  {0x4C, 0x08, kAny, 0x30, 0x40, Switch()},                          // Rcv ... switches
  {0x4C, 0x08, kAny, 0x41, 0x4C, Offset("cents")},                   // Scale Tuning C ... B
  {0x4C, 0x08, kAny, 0x4D, 0x4D, Semitones24()},                     // CAT Pitch Control
  {0x4C, 0x08, kAny, 0x4E, 0x4F, Offset()},
  {0x4C, 0x08, kAny, 0x53, 0x53, Semitones24()},                     // PAT Pitch Control
  {0x4C, 0x08, kAny, 0x54, 0x55, Offset()},
  {0x4C, 0x08, kAny, 0x5A, 0x5A, Semitones24()},                     // AC1 Pitch Control
  {0x4C, 0x08, kAny, 0x5B, 0x5C, Offset()},
  {0x4C, 0x08, kAny, 0x61, 0x61, Semitones24()},                     // AC2 Pitch Control
  {0x4C, 0x08, kAny, 0x62, 0x63, Offset()},
  {0x4C, 0x08, kAny, 0x67, 0x67, Switch()},                          // Portamento Switch
  {0x4C, 0x08, kAny, 0x69, 0x6C, Offset()},                          // pitch EG
  {0x4C, 0x08, kAny, 0x72, 0x73, Decibels12()},                      // Eq Bass, Treble Gain
  // 4C 0A pp: multi part, continued
  {0x4C, 0x0A, kAny, 0x20, 0x20, Offset()},                          // HPF Cutoff Freq
  // 4C 10 pp: A/D part
  {0x4C, 0x10, kAny, 0x0E, 0x0E, Rule(Kind::kPanOrRandom)},
  {0x4C, 0x10, kAny, 0x32, 0x33, Switch()},
  {0x4C, 0x10, kAny, 0x35, 0x35, Switch()},                          // Mute
  {0x4C, 0x10, kAny, 0x39, 0x3B, Switch()},
  {0x4C, 0x10, kAny, 0x40, 0x40, Switch()},
  // 4C 3n rr: drum setup n, note rr
  {0x4C, 0xB0, kAny, 0x00, 0x00, Offset("semitones")},               // Pitch Coarse
  {0x4C, 0xB0, kAny, 0x01, 0x01, Offset("cents")},                   // Pitch Fine
  {0x4C, 0xB0, kAny, 0x04, 0x04, Rule(Kind::kPanOrRandom)},
  {0x4C, 0xB0, kAny, 0x08, 0x08, Names(kDrumKeyAssignNames)},
  {0x4C, 0xB0, kAny, 0x09, 0x0A, Switch()},                          // Rcv Note Off, On
  {0x4C, 0xB0, kAny, 0x0B, 0x0F, Offset()},                          // filter, EG
  {0x4C, 0xB0, kAny, 0x20, 0x21, Decibels12()},                      // Eq Bass, Treble Gain
  {0x4C, 0xB0, kAny, 0x50, 0x50, Offset()},                          // HPF Cutoff Freq
  {0x4C, 0xB0, kAny, 0x60, 0x61, {Kind::kOffset, 48, 80}},          // velocity sense, -16 ... +16
  // 49 30 pp: performance effects (the lows 00, 0C-0F and 20-22 are named
  // from the part block 49 3n below)
  {0x49, 0x30, kAny, 0x28, 0x28, Rule(Kind::kPan)},                  // Reverb Pan
  {0x49, 0x30, kAny, 0x29, 0x29, Msb(kChorusTypes, k49Chorus)},
  {0x49, 0x30, kAny, 0x2A, 0x2A, Lsb(kChorusTypes, k49Chorus)},
  {0x49, 0x30, kAny, 0x31, 0x31, Rule(Kind::kPan)},                  // Chorus Pan
  {0x49, 0x30, kAny, 0x33, 0x33, Msb(kVariationTypes, k49Variation)},
  {0x49, 0x30, kAny, 0x34, 0x34, Lsb(kVariationTypes, k49Variation)},
  {0x49, 0x30, kAny, 0x42, 0x42, Rule(Kind::kPan)},                  // Var Pan
  {0x49, 0x30, kAny, 0x48, 0x48, Msb(kVariationTypes, k49Insertion1)},
  {0x49, 0x30, kAny, 0x49, 0x49, Lsb(kVariationTypes, k49Insertion1)},
  // 49 3n pp: part
  {0x49, 0xB0, kAny, 0x03, 0x03, Rule(Kind::kPanOrRandom)},
  {0x49, 0xB0, kAny, 0x08, 0x08, Semitones24()},                     // Note Shift
  {0x49, 0xB0, kAny, 0x09, 0x10, Offset()},                          // filter, EG, vibrato
  {0x49, 0xB0, kAny, 0x13, 0x16, Offset()},                          // pitch EG
  {0x49, 0xB0, kAny, 0x19, 0x19, Semitones24()},                     // Pitch Bend Control
  // 59 09 pp: part
  {0x59, 0x09, kAny, 0x03, 0x03, Rule(Kind::kPanOrRandom)},
  {0x59, 0x09, kAny, 0x08, 0x08, Semitones24()},                     // Note Shift
  {0x59, 0x09, kAny, 0x09, 0x09, Switch()},                          // Rcv Note Msg(Mute)
  {0x59, 0x09, kAny, 0x0A, 0x11, Offset()},                          // filter, EG, vibrato
  {0x59, 0x09, kAny, 0x14, 0x17, Offset()},                          // pitch EG
  {0x59, 0x09, kAny, 0x18, 0x18, Names(kMonoPolyNames)},
  // 59 0B 00: performance common and effects
  {0x59, 0x0B, 0x00, 0x0D, 0x0D, Rule(Kind::kPan)},                  // Perform Pan
  {0x59, 0x0B, 0x00, 0x12, 0x12, Semitones24()},                     // Bend Pitch Control
  {0x59, 0x0B, 0x00, 0x16, 0x16, Switch()},                          // Portamento Switch
  {0x59, 0x0B, 0x00, 0x20, 0x20, Msb(kReverbTypes, k59Reverb)},
  {0x59, 0x0B, 0x00, 0x21, 0x21, Lsb(kReverbTypes, k59Reverb)},
  {0x59, 0x0B, 0x00, 0x28, 0x28, Rule(Kind::kPan)},                  // Reverb Pan
  {0x59, 0x0B, 0x00, 0x29, 0x29, Msb(kChorusTypes, k59Chorus)},
  {0x59, 0x0B, 0x00, 0x2A, 0x2A, Lsb(kChorusTypes, k59Chorus)},
  {0x59, 0x0B, 0x00, 0x31, 0x31, Rule(Kind::kPan)},                  // Chorus Pan
  {0x59, 0x0B, 0x00, 0x33, 0x33, Msb(kVariationTypes, k59Variation)},
  {0x59, 0x0B, 0x00, 0x34, 0x34, Lsb(kVariationTypes, k59Variation)},
  {0x59, 0x0B, 0x00, 0x42, 0x42, Rule(Kind::kPan)},                  // Var Pan
  // 59 0C 00, 0C 01: insertion effects
  {0x59, 0x0C, 0x00, 0x00, 0x00, Msb(kVariationTypes, k59Insertion1)},
  {0x59, 0x0C, 0x00, 0x01, 0x01, Lsb(kVariationTypes, k59Insertion1)},
  {0x59, 0x0C, 0x01, 0x00, 0x00, Msb(kVariationTypes, k59Insertion2)},
  {0x59, 0x0C, 0x01, 0x01, 0x01, Lsb(kVariationTypes, k59Insertion2)},
  // 59 3n pp: part
  {0x59, 0xB0, kAny, 0x03, 0x03, Rule(Kind::kPanOrRandom)},
  {0x59, 0xB0, kAny, 0x08, 0x08, Semitones24()},                     // Note Shift
  {0x59, 0xB0, kAny, 0x09, 0x10, Offset()},                          // filter, EG, vibrato
  {0x59, 0xB0, kAny, 0x13, 0x16, Offset()},                          // pitch EG
  // 59 40 pp: performance common
  {0x59, 0x40, kAny, 0x0D, 0x0D, Rule(Kind::kPan)},                  // Perform Pan
  {0x59, 0x40, kAny, 0x12, 0x12, Semitones24()},                     // Bend Pitch Control
  {0x59, 0x40, kAny, 0x16, 0x16, Switch()},                          // Portamento Switch
  // 59 30 pp: performance effects
  {0x59, 0x30, kAny, 0x20, 0x20, Msb(kReverbTypes, k59PartReverb)},
  {0x59, 0x30, kAny, 0x21, 0x21, Lsb(kReverbTypes, k59PartReverb)},
  {0x59, 0x30, kAny, 0x28, 0x28, Rule(Kind::kPan)},                  // Reverb Pan
  {0x59, 0x30, kAny, 0x29, 0x29, Msb(kChorusTypes, k59PartChorus)},
  {0x59, 0x30, kAny, 0x2A, 0x2A, Lsb(kChorusTypes, k59PartChorus)},
  {0x59, 0x30, kAny, 0x31, 0x31, Rule(Kind::kPan)},                  // Chorus Pan
  {0x59, 0x30, kAny, 0x33, 0x33, Msb(kVariationTypes, k59PartVariation)},
  {0x59, 0x30, kAny, 0x34, 0x34, Lsb(kVariationTypes, k59PartVariation)},
  {0x59, 0x30, kAny, 0x42, 0x42, Rule(Kind::kPan)},                  // Var Pan
  // 59 50 pp: insertion effect (named Ins Effect2 by the later of the two blocks)
  {0x59, 0x50, kAny, 0x00, 0x00, Msb(kVariationTypes, k59PartInsertion)},
  {0x59, 0x50, kAny, 0x01, 0x01, Lsb(kVariationTypes, k59PartInsertion)},
};
// clang-format on

// The drum setup block, whose address mid is a note: every meaning there
// starts with the note's name.
constexpr uint8_t kDrumSetupModel = 0x4C;
constexpr uint8_t kDrumSetupHigh = 0xB0;

// The rule of every row of the parameter name table (or none), found once.
const ValueRule* RuleOfRow(int row) {
  static const std::vector<const ValueRule*> rules = [] {
    const auto table = ParameterNameTable();
    std::vector<const ValueRule*> r(table.size(), nullptr);
    for (size_t i = 0; i < table.size(); ++i) {
      const TSYS_MSG_TYPE& t = table[i];
      for (const RuleRow& ruleRow : kValueRules) {
        if (ruleRow.model == t.model && ruleRow.addrHigh == t.addrHigh && ruleRow.addrMid == t.addrMid &&
            t.addrLow >= ruleRow.lowFirst && t.addrLow <= ruleRow.lowLast) {
          r[i] = &ruleRow.rule;
          break;
        }
      }
    }
    return r;
  }();
  return row >= 0 && size_t(row) < rules.size() ? rules[size_t(row)] : nullptr;
}

// The two bytes of a prior state: bit 15 set when the state is known.
constexpr uint16_t kKnown = 0x8000;





// The voice a Program Number selects in the part's bank: a GM voice on the
// normal bank 0/0, a drum kit on bank MSB 127, otherwise the numbers, with the
// program counted 1-128 as the voice lists of the XG charts count it.
std::string VoiceText(uint8_t program, uint16_t bank) {
  const unsigned msb = bank >> 7 & 0x7F;
  const unsigned lsb = bank & 0x7F;
  if (msb == 0 && lsb == 0) return std::string(kGmVoiceNames[program]);
  if (msb == 127) {
    for (const DrumKit& kit : kXgDrumKits) {
      if (kit.program == program) return std::string(kit.name);
    }
  }
  return "program " + std::to_string(program + 1) + ", bank " + std::to_string(msb) + "/" +
         std::to_string(lsb);
}


}  // namespace

namespace detail {

// One message as the meanings read it.
struct ParsedMessage {
  // A message the meanings know outside the XG tables: the GM System On and
  // Master Volume read here, and any other GS or universal message.
  enum class Universal : uint8_t { kNone, kGmSystemOn, kMasterVolume, kGs, kOther };
  Universal universal = Universal::kNone;
  const TSYS_MSG_TYPE* entry = nullptr;    // the parameter, for an XG parameter change the table names
  const ValueRule* rule = nullptr;         // its value rule, if it has one
  uint8_t mid = 0;                         // address mid: the part, or the drum note
  std::array<uint8_t, 4> value{};          // the first data bytes after the address
  size_t count = 0;                        // how many of them the message carries (up to 4)
  std::span<const uint8_t> message;        // the message after F0 (the data view)
  unsigned masterVolume = 0;               // universal Master Volume, 14 bits
};

}  // namespace detail

namespace {

using detail::ParsedMessage;

ParsedMessage Parse(const SysExList& list, const Tsys& e) {
  ParsedMessage p;
  p.message = list.Data(e);
  auto byte = [&](size_t i) { return list.DataByte(e, i); };
  // Data bytes that the message really carries: before its end and before F7.
  auto carried = [&](size_t i) { return i < e.length && byte(i) < 0x80; };
  const SystemOnMessage on = SystemOnOf(list.Data(e));
  if (on.kind == SystemOn::Gm && on.device == 0x7F) {
    p.universal = ParsedMessage::Universal::kGmSystemOn;
    return p;
  }
  // Universal real time Master Volume: F0 7F dev 04 01 ll mm F7.
  if (byte(0) == 0x7F && byte(2) == 0x04 && byte(3) == 0x01 && carried(4) && carried(5)) {
    p.universal = ParsedMessage::Universal::kMasterVolume;
    p.masterVolume = unsigned(byte(5)) << 7 | byte(4);
    return p;
  }
  if (byte(0) == 0x41 && ParseGs(p.message).valid) {
    p.universal = ParsedMessage::Universal::kGs;
    return p;
  }
  if ((byte(0) == 0x7E || byte(0) == 0x7F) && ParseUniversal(p.message).row >= 0) {
    p.universal = ParsedMessage::Universal::kOther;
    return p;
  }
  // Only a Yamaha parameter change carries the value right after its address;
  // a bulk dump or a dump request that happens to fit a name means nothing here.
  if (byte(0) != 0x43 || (byte(1) & 0xF0) != 0x10) return p;
  // The one place where a message finds its parameter.
  const int row = ParameterRow(list, e);
  if (row < 0) return p;
  p.entry = &ParameterNameTable()[size_t(row)];
  p.rule = RuleOfRow(row);
  p.mid = byte(4);
  while (p.count < p.value.size() && carried(6 + p.count)) {
    p.value[p.count] = byte(6 + p.count);
    ++p.count;
  }
  return p;
}

std::string ValueText(const ParsedMessage& p, uint16_t prior) {
  const ValueRule& r = *p.rule;
  const uint8_t v = p.value[0];
  const std::span<const uint8_t> bytes(p.value.data(), p.count);
  switch (r.kind) {
    case Kind::kPan:
      return PanText(v, false);
    case Kind::kPanOrRandom:
      return PanText(v, true);
    case Kind::kOffset:
      return v >= r.min && v <= r.max ? Signed(v - 64, r.unit) : "";
    case Kind::kNames:
      return v >= r.min && size_t(v - r.min) < r.names.size() ? std::string(r.names[v - r.min]) : "";
    case Kind::kNote:
      return NoteName(v);
    case Kind::kEffectMsb:
      return EffectTypeName(r.effects, v, p.count >= 2 ? p.value[1] : -1);
    case Kind::kEffectLsb:
      return prior & kKnown ? EffectTypeName(r.effects, uint8_t(prior & 0x7F), v) : "";
    case Kind::kProgram:
      return prior & kKnown ? VoiceText(v, prior) : "";
    case Kind::kMasterTune: {
      if (p.count < 4 || !Nibbles(bytes)) return "";
      const int tune = bytes[0] << 12 | bytes[1] << 8 | bytes[2] << 4 | bytes[3];
      return tune <= 0x7FF ? Tenths(tune - 0x400, "cents") : "";
    }
    case Kind::kDetune:
      if (p.count < 2 || !Nibbles(bytes.first(2))) return "";
      return Tenths((bytes[0] << 4 | bytes[1]) - 0x80, "Hz");
    case Kind::kPercent:
      return Percent(v, 127);
    case Kind::kXgReset:
      return v == 0 ? "XG reset" : "";
    case Kind::kDisplayText: {
      // The characters up to the F7, as the display shows them.
      std::string text = "\"";
      for (size_t i = 6; i < p.message.size() && p.message[i] != 0xF7; ++i) {
        const uint8_t c = p.message[i];
        text += c >= 0x20 && c < 0x7F ? char(c) : '?';
      }
      return text + "\"";
    }
    case Kind::kBitmap:
      return "bitmap";
    case Kind::kBankMsb:
    case Kind::kBankLsb:
    case Kind::kAllReset:
      return "";
  }
  return "";
}

std::string Text(const ParsedMessage& p, uint16_t prior) {
  switch (p.universal) {
    case ParsedMessage::Universal::kGmSystemOn:
      return "GM reset";
    case ParsedMessage::Universal::kMasterVolume:
      return "Master Volume " + Percent(p.masterVolume, 0x3FFF);
    case ParsedMessage::Universal::kGs:
      return GsMeaning(ParseGs(p.message));
    case ParsedMessage::Universal::kOther:
      return UniversalMeaning(ParseUniversal(p.message));
    case ParsedMessage::Universal::kNone:
      break;
  }
  if (!p.entry) return "";
  std::string value = p.rule && p.count > 0 ? ValueText(p, prior) : "";
  if (p.entry->model != kDrumSetupModel || p.entry->addrHigh != kDrumSetupHigh || p.mid > 0x7F) {
    return value;
  }
  std::string note = NoteName(p.mid);
  return value.empty() ? note : note + ": " + value;
}

}  // namespace

std::array<uint16_t, 128> MeaningContext::Defaults() {
  std::array<uint16_t, 128> banks{};
  for (size_t part = 0; part < banks.size(); ++part) banks[part] = part % 16 == 9 ? 127 << 7 : 0;
  return banks;
}

std::array<int16_t, MeaningContext::kEffectSlots> MeaningContext::NoEffects() {
  std::array<int16_t, kEffectSlots> msb;
  msb.fill(-1);
  return msb;
}

uint16_t MeaningContext::Prior(const ParsedMessage& p) const {
  if (!p.rule) return 0;
  switch (p.rule->kind) {
    case Kind::kProgram:
      return p.mid < bank_.size() ? uint16_t(kKnown | bank_[p.mid]) : 0;
    case Kind::kEffectLsb: {
      const int16_t msb = effectMsb_[p.rule->slot];
      return msb < 0 ? 0 : uint16_t(kKnown | msb);
    }
    default:
      return 0;
  }
}

void MeaningContext::Take(const ParsedMessage& p) {
  if (p.universal == ParsedMessage::Universal::kGmSystemOn) {
    *this = MeaningContext();
    return;
  }
  if (!p.rule || p.count == 0) return;
  const uint8_t v = p.value[0];
  switch (p.rule->kind) {
    case Kind::kXgReset:
    case Kind::kAllReset:
      if (v == 0) *this = MeaningContext();
      break;
    case Kind::kBankMsb:
      // A message from the MSB on may carry the LSB (and the program) as well.
      if (p.mid < bank_.size()) {
        const uint16_t lsb = p.count >= 2 ? p.value[1] : bank_[p.mid] & 0x7F;
        bank_[p.mid] = uint16_t(v << 7 | lsb);
      }
      break;
    case Kind::kBankLsb:
      if (p.mid < bank_.size()) bank_[p.mid] = uint16_t((bank_[p.mid] & 0x3F80) | v);
      break;
    case Kind::kEffectMsb:
      effectMsb_[p.rule->slot] = v;
      break;
    default:
      break;
  }
}

std::string MeaningContext::Feed(const SysExList& list, const Tsys& e) {
  const ParsedMessage p = Parse(list, e);
  std::string text = Text(p, Prior(p));
  Take(p);
  return text;
}

void ListMeanings::Clear() {
  prior_.clear();
  prior_.shrink_to_fit();
  builtFor_ = nullptr;
  built_ = false;
}

std::string ListMeanings::Meaning(const SysExList& list, size_t index) {
  if (index >= list.size()) return "";
  if (!built_ || builtFor_ != &list || prior_.size() != list.size()) {
    MeaningContext context;
    prior_.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      const ParsedMessage p = Parse(list, list.events[i]);
      prior_[i] = context.Prior(p);
      context.Take(p);
    }
    builtFor_ = &list;
    built_ = true;
  }
  return Text(Parse(list, list.events[index]), prior_[index]);
}

std::string EffectTypeName(std::span<const EffectType> types, uint8_t msb, int lsb) {
  const EffectType* family = nullptr;
  for (const EffectType& t : types) {
    if (t.msb != msb) continue;
    if (t.lsb == (lsb < 0 ? 0 : lsb)) return std::string(t.name);
    if (!family) family = &t;
  }
  if (lsb >= 0 || !family) return "";
  // "Hall 1" and "Hall 2" are the family "Hall".
  std::string_view name = family->name;
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.remove_suffix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return std::string(name.empty() ? family->name : name);
}

std::vector<ValueRuleBlock> ValueRuleBlocks() {
  std::vector<ValueRuleBlock> blocks;
  for (const RuleRow& r : kValueRules) {
    blocks.push_back({r.model, r.addrHigh, r.addrMid, r.lowFirst, r.lowLast});
  }
  return blocks;
}

std::string NoteName(uint8_t note) {
  return std::string(kNoteNames[note % 12]) + std::to_string(int(note / 12) - 2);
}

}  // namespace mertovan
