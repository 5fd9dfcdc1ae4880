// The GS parameter address map as the GS owner's manuals give it (SC-55,
// SC-55mkII, SC-88, SC-88Pro, SC-8850), one row per parameter or run of
// addresses, with how its value reads and the channel messages it equals.
// Names follow the charts in title case; where a later model added a
// parameter, its row says which.
#include "analysis/gs_params.h"

#include <iterator>

#include "analysis/value_meanings.h"
#include "analysis/xg_value_lists.h"
#include "analysis/value_text.h"
#include "model/midi_bytes.h"

namespace mertovan {
namespace {

// The data set of a GS message: F0 41 dd 42 12 a1 a2 a3 data... sum F7.
constexpr uint8_t kRoland = 0x41;
constexpr uint8_t kGsModel = 0x42;
constexpr uint8_t kDataSet = 0x12;
constexpr size_t kAddressAt = 4;  // in the view after F0
constexpr size_t kDataAt = 7;

// Port B of a two-port module repeats the 4x blocks at 5x.
constexpr uint8_t kPortBOffset = 0x10;

// clang-format off
constexpr std::string_view kReverbMacros[] = {
  "Room 1", "Room 2", "Room 3", "Hall 1", "Hall 2", "Plate", "Delay", "Panning Delay"};
constexpr std::string_view kChorusMacros[] = {
  "Chorus 1", "Chorus 2", "Chorus 3", "Chorus 4", "Feedback Chorus", "Flanger", "Short Delay",
  "Short Delay (FB)"};
constexpr std::string_view kDelayMacros[] = {  // SC-88
  "Delay 1", "Delay 2", "Delay 3", "Delay 4", "Pan Delay 1", "Pan Delay 2", "Pan Delay 3", "Pan Delay 4",
  "Delay To Reverb", "Pan Repeat"};
constexpr std::string_view kSystemModes[] = {"Mode 1 (single module)", "Mode 2 (double module)"};
constexpr std::string_view kGsReset[] = {"GS reset"};
constexpr std::string_view kAssignModes[] = {"Single", "Limited-Multi", "Full-Multi"};
constexpr std::string_view kRhythmParts[] = {"Off", "Map 1", "Map 2"};
constexpr std::string_view kEqLowFreqs[] = {"200 Hz", "400 Hz"};
constexpr std::string_view kEqHighFreqs[] = {"3 kHz", "6 kHz"};
constexpr std::string_view kToneMaps[] = {"SC-55 Map", "SC-88 Map", "SC-88Pro Map", "SC-8850 Map"};  // from 1
constexpr std::string_view kEfxAssign[] = {"Bypass", "EFX"};
// clang-format on

using K = GsValueKind;
constexpr GsScope kSys = GsScope::kSystem;
constexpr GsScope kPrt = GsScope::kPart;
constexpr GsScope kDrm = GsScope::kDrum;

constexpr GsValueRule Num() { return {}; }
constexpr GsValueRule Is(GsValueKind kind) { return {kind}; }
constexpr GsValueRule Offset(uint8_t min = 0, uint8_t max = 127, std::string_view unit = {}) {
  return {K::kOffset, min, max, unit};
}
constexpr GsValueRule Semitones() { return Offset(0x28, 0x58, "semitones"); }  // -24 ... +24
constexpr GsValueRule Modify() { return Offset(0x0E, 0x72); }                  // -50 ... +50
constexpr GsValueRule Names(std::span<const std::string_view> names, uint8_t first = 0) {
  return {K::kNames, first, uint8_t(first + names.size() - 1), {}, names};
}
constexpr GsValueRule Switch() { return Names(kSwitchNames); }

constexpr GsChannelRule No() { return {}; }
constexpr GsChannelRule Cc(uint8_t controller) { return {GsChannelKind::kControl, controller}; }
constexpr GsChannelRule Nrpn(uint8_t msb, uint8_t lsb) { return {GsChannelKind::kNrpn, msb, lsb}; }
constexpr GsChannelRule Rpn(uint8_t msb, uint8_t lsb, uint8_t zero = 0) {
  return {GsChannelKind::kRpn, msb, lsb, zero};
}
constexpr GsChannelRule Tone() { return {GsChannelKind::kToneNumber}; }

// Addresses in hex as the charts give them; controller, NRPN and RPN numbers
// in decimal. A part row's mid is the block's high nibble (1x, 2x, 4x), a
// drum row's mid the parameter nibble of 41 mp rr (m the map, p the
// parameter, rr the note).
// clang-format off
constexpr GsParameter kGsParameters[] = {
  // high  mid   lows        scope name                            value                               channel messages
  // 00 00 7F: the SC-88's module mode
  {0x00, 0x00, 0x7F, 0x7F, kSys, "System Mode Set",               Names(kSystemModes),                No()},
  // 40 00 xx: system
  {0x40, 0x00, 0x00, 0x03, kSys, "Master Tune",                   Is(K::kMasterTune),                 No()},  // four nibbles
  {0x40, 0x00, 0x04, 0x04, kSys, "Master Volume",                 Is(K::kPercent),                    No()},
  {0x40, 0x00, 0x05, 0x05, kSys, "Master Key Shift",              Semitones(),                        No()},
  {0x40, 0x00, 0x06, 0x06, kSys, "Master Pan",                    Is(K::kPan),                        No()},
  {0x40, 0x00, 0x7F, 0x7F, kSys, "GS Reset",                      Names(kGsReset),                    No()},  // "Mode Set"
  // 40 01 xx: patch common, reverb, chorus and (SC-88) delay
  {0x40, 0x01, 0x00, 0x0F, kSys, "Patch Name",                    Is(K::kText),                       No()},
  {0x40, 0x01, 0x10, 0x1F, kSys, "Voice Reserve",                 Num(),                              No()},  // in block order
  {0x40, 0x01, 0x30, 0x30, kSys, "Reverb Macro",                  Names(kReverbMacros),               No()},
  {0x40, 0x01, 0x31, 0x31, kSys, "Reverb Character",              Num(),                              No()},  // 0-7
  {0x40, 0x01, 0x32, 0x32, kSys, "Reverb Pre-LPF",                Num(),                              No()},  // 0-7
  {0x40, 0x01, 0x33, 0x33, kSys, "Reverb Level",                  Num(),                              No()},
  {0x40, 0x01, 0x34, 0x34, kSys, "Reverb Time",                   Num(),                              No()},
  {0x40, 0x01, 0x35, 0x35, kSys, "Reverb Delay Feedback",         Num(),                              No()},
  {0x40, 0x01, 0x36, 0x36, kSys, "Reverb Send Level To Chorus",   Num(),                              No()},  // SC-55
  {0x40, 0x01, 0x37, 0x37, kSys, "Reverb Pre-Delay Time",         Num(),                              No()},  // SC-88, 0-127 ms
  {0x40, 0x01, 0x38, 0x38, kSys, "Chorus Macro",                  Names(kChorusMacros),               No()},
  {0x40, 0x01, 0x39, 0x39, kSys, "Chorus Pre-LPF",                Num(),                              No()},  // 0-7
  {0x40, 0x01, 0x3A, 0x3A, kSys, "Chorus Level",                  Num(),                              No()},
  {0x40, 0x01, 0x3B, 0x3B, kSys, "Chorus Feedback",               Num(),                              No()},
  {0x40, 0x01, 0x3C, 0x3C, kSys, "Chorus Delay",                  Num(),                              No()},
  {0x40, 0x01, 0x3D, 0x3D, kSys, "Chorus Rate",                   Num(),                              No()},
  {0x40, 0x01, 0x3E, 0x3E, kSys, "Chorus Depth",                  Num(),                              No()},
  {0x40, 0x01, 0x3F, 0x3F, kSys, "Chorus Send Level To Reverb",   Num(),                              No()},
  {0x40, 0x01, 0x40, 0x40, kSys, "Chorus Send Level To Delay",    Num(),                              No()},  // SC-88
  {0x40, 0x01, 0x50, 0x50, kSys, "Delay Macro",                   Names(kDelayMacros),                No()},  // SC-88 ...
  {0x40, 0x01, 0x51, 0x51, kSys, "Delay Pre-LPF",                 Num(),                              No()},  // 0-7
  {0x40, 0x01, 0x52, 0x52, kSys, "Delay Time Center",             Num(),                              No()},
  {0x40, 0x01, 0x53, 0x53, kSys, "Delay Time Ratio Left",         Num(),                              No()},
  {0x40, 0x01, 0x54, 0x54, kSys, "Delay Time Ratio Right",        Num(),                              No()},
  {0x40, 0x01, 0x55, 0x55, kSys, "Delay Level Center",            Num(),                              No()},
  {0x40, 0x01, 0x56, 0x56, kSys, "Delay Level Left",              Num(),                              No()},
  {0x40, 0x01, 0x57, 0x57, kSys, "Delay Level Right",             Num(),                              No()},
  {0x40, 0x01, 0x58, 0x58, kSys, "Delay Level",                   Num(),                              No()},
  {0x40, 0x01, 0x59, 0x59, kSys, "Delay Feedback",                Num(),                              No()},
  {0x40, 0x01, 0x5A, 0x5A, kSys, "Delay Send Level To Reverb",    Num(),                              No()},  // ... SC-88
  // 40 02 xx: master EQ (SC-88)
  {0x40, 0x02, 0x00, 0x00, kSys, "EQ Low Freq",                   Names(kEqLowFreqs),                 No()},
  {0x40, 0x02, 0x01, 0x01, kSys, "EQ Low Gain",                   Offset(0x34, 0x4C, "dB"),           No()},  // -12 ... +12
  {0x40, 0x02, 0x02, 0x02, kSys, "EQ High Freq",                  Names(kEqHighFreqs),                No()},
  {0x40, 0x02, 0x03, 0x03, kSys, "EQ High Gain",                  Offset(0x34, 0x4C, "dB"),           No()},
  // 40 03 xx: insertion effect (SC-88Pro)
  {0x40, 0x03, 0x00, 0x01, kSys, "EFX Type",                      Num(),                              No()},  // MSB, LSB
  {0x40, 0x03, 0x03, 0x03, kSys, "EFX Parameter 1",               Num(),                              No()},
  {0x40, 0x03, 0x04, 0x04, kSys, "EFX Parameter 2",               Num(),                              No()},
  {0x40, 0x03, 0x05, 0x05, kSys, "EFX Parameter 3",               Num(),                              No()},
  {0x40, 0x03, 0x06, 0x06, kSys, "EFX Parameter 4",               Num(),                              No()},
  {0x40, 0x03, 0x07, 0x07, kSys, "EFX Parameter 5",               Num(),                              No()},
  {0x40, 0x03, 0x08, 0x08, kSys, "EFX Parameter 6",               Num(),                              No()},
  {0x40, 0x03, 0x09, 0x09, kSys, "EFX Parameter 7",               Num(),                              No()},
  {0x40, 0x03, 0x0A, 0x0A, kSys, "EFX Parameter 8",               Num(),                              No()},
  {0x40, 0x03, 0x0B, 0x0B, kSys, "EFX Parameter 9",               Num(),                              No()},
  {0x40, 0x03, 0x0C, 0x0C, kSys, "EFX Parameter 10",              Num(),                              No()},
  {0x40, 0x03, 0x0D, 0x0D, kSys, "EFX Parameter 11",              Num(),                              No()},
  {0x40, 0x03, 0x0E, 0x0E, kSys, "EFX Parameter 12",              Num(),                              No()},
  {0x40, 0x03, 0x0F, 0x0F, kSys, "EFX Parameter 13",              Num(),                              No()},
  {0x40, 0x03, 0x10, 0x10, kSys, "EFX Parameter 14",              Num(),                              No()},
  {0x40, 0x03, 0x11, 0x11, kSys, "EFX Parameter 15",              Num(),                              No()},
  {0x40, 0x03, 0x12, 0x12, kSys, "EFX Parameter 16",              Num(),                              No()},
  {0x40, 0x03, 0x13, 0x13, kSys, "EFX Parameter 17",              Num(),                              No()},
  {0x40, 0x03, 0x14, 0x14, kSys, "EFX Parameter 18",              Num(),                              No()},
  {0x40, 0x03, 0x15, 0x15, kSys, "EFX Parameter 19",              Num(),                              No()},
  {0x40, 0x03, 0x16, 0x16, kSys, "EFX Parameter 20",              Num(),                              No()},
  {0x40, 0x03, 0x17, 0x17, kSys, "EFX Send Level To Reverb",      Num(),                              No()},
  {0x40, 0x03, 0x18, 0x18, kSys, "EFX Send Level To Chorus",      Num(),                              No()},
  {0x40, 0x03, 0x19, 0x19, kSys, "EFX Send Level To Delay",       Num(),                              No()},
  {0x40, 0x03, 0x1B, 0x1B, kSys, "EFX Control Source 1",          Num(),                              No()},
  {0x40, 0x03, 0x1C, 0x1C, kSys, "EFX Control Depth 1",           Num(),                              No()},
  {0x40, 0x03, 0x1D, 0x1D, kSys, "EFX Control Source 2",          Num(),                              No()},
  {0x40, 0x03, 0x1E, 0x1E, kSys, "EFX Control Depth 2",           Num(),                              No()},
  {0x40, 0x03, 0x1F, 0x1F, kSys, "EFX Send EQ Switch",            Switch(),                           No()},
  // 40 1x xx: part parameters of block x
  {0x40, 0x10, 0x00, 0x00, kPrt, "Tone Number",                   Is(K::kToneNumber),                 Tone()},  // CC 0 value, program
  {0x40, 0x10, 0x02, 0x02, kPrt, "Rx. Channel",                   Is(K::kRxChannel),                  No()},
  {0x40, 0x10, 0x03, 0x03, kPrt, "Rx. Pitch Bend",                Switch(),                           No()},
  {0x40, 0x10, 0x04, 0x04, kPrt, "Rx. Ch Pressure",               Switch(),                           No()},
  {0x40, 0x10, 0x05, 0x05, kPrt, "Rx. Program Change",            Switch(),                           No()},
  {0x40, 0x10, 0x06, 0x06, kPrt, "Rx. Control Change",            Switch(),                           No()},
  {0x40, 0x10, 0x07, 0x07, kPrt, "Rx. Poly Pressure",             Switch(),                           No()},
  {0x40, 0x10, 0x08, 0x08, kPrt, "Rx. Note Message",              Switch(),                           No()},
  {0x40, 0x10, 0x09, 0x09, kPrt, "Rx. RPN",                       Switch(),                           No()},
  {0x40, 0x10, 0x0A, 0x0A, kPrt, "Rx. NRPN",                      Switch(),                           No()},
  {0x40, 0x10, 0x0B, 0x0B, kPrt, "Rx. Modulation",                Switch(),                           No()},
  {0x40, 0x10, 0x0C, 0x0C, kPrt, "Rx. Volume",                    Switch(),                           No()},
  {0x40, 0x10, 0x0D, 0x0D, kPrt, "Rx. Panpot",                    Switch(),                           No()},
  {0x40, 0x10, 0x0E, 0x0E, kPrt, "Rx. Expression",                Switch(),                           No()},
  {0x40, 0x10, 0x0F, 0x0F, kPrt, "Rx. Hold1",                     Switch(),                           No()},
  {0x40, 0x10, 0x10, 0x10, kPrt, "Rx. Portamento",                Switch(),                           No()},
  {0x40, 0x10, 0x11, 0x11, kPrt, "Rx. Sostenuto",                 Switch(),                           No()},
  {0x40, 0x10, 0x12, 0x12, kPrt, "Rx. Soft",                      Switch(),                           No()},
  {0x40, 0x10, 0x13, 0x13, kPrt, "Mono/Poly Mode",                Names(kMonoPolyNames),              No()},
  {0x40, 0x10, 0x14, 0x14, kPrt, "Assign Mode",                   Names(kAssignModes),                No()},
  {0x40, 0x10, 0x15, 0x15, kPrt, "Use For Rhythm Part",           Names(kRhythmParts),                No()},
  {0x40, 0x10, 0x16, 0x16, kPrt, "Pitch Key Shift",               Semitones(),                        Rpn(0, 2)},   // coarse tune
  {0x40, 0x10, 0x17, 0x18, kPrt, "Pitch Offset Fine",             Is(K::kOffsetFine),                 No()},  // two nibbles
  {0x40, 0x10, 0x19, 0x19, kPrt, "Part Level",                    Num(),                              Cc(7)},
  {0x40, 0x10, 0x1A, 0x1A, kPrt, "Velocity Sense Depth",          Num(),                              No()},
  {0x40, 0x10, 0x1B, 0x1B, kPrt, "Velocity Sense Offset",         Num(),                              No()},
  {0x40, 0x10, 0x1C, 0x1C, kPrt, "Part Panpot",                   Is(K::kPanOrRandom),                Cc(10)},  // 0 random: none
  {0x40, 0x10, 0x1D, 0x1D, kPrt, "Key Range Low",                 Is(K::kNote),                       No()},
  {0x40, 0x10, 0x1E, 0x1E, kPrt, "Key Range High",                Is(K::kNote),                       No()},
  {0x40, 0x10, 0x1F, 0x1F, kPrt, "CC1 Controller Number",         Num(),                              No()},
  {0x40, 0x10, 0x20, 0x20, kPrt, "CC2 Controller Number",         Num(),                              No()},
  {0x40, 0x10, 0x21, 0x21, kPrt, "Chorus Send Level",             Num(),                              Cc(93)},
  {0x40, 0x10, 0x22, 0x22, kPrt, "Reverb Send Level",             Num(),                              Cc(91)},
  {0x40, 0x10, 0x23, 0x23, kPrt, "Rx. Bank Select",               Switch(),                           No()},  // SC-88
  {0x40, 0x10, 0x24, 0x24, kPrt, "Rx. Bank Select LSB",           Switch(),                           No()},  // SC-88
  {0x40, 0x10, 0x2A, 0x2B, kPrt, "Pitch Fine Tune",               Is(K::kFineTune),                   No()},  // SC-88, 14 bits
  {0x40, 0x10, 0x2C, 0x2C, kPrt, "Delay Send Level",              Num(),                              Cc(94)},  // SC-88
  {0x40, 0x10, 0x30, 0x30, kPrt, "Vibrato Rate",                  Modify(),                           Nrpn(1, 8)},
  {0x40, 0x10, 0x31, 0x31, kPrt, "Vibrato Depth",                 Modify(),                           Nrpn(1, 9)},
  {0x40, 0x10, 0x32, 0x32, kPrt, "TVF Cutoff Freq",               Modify(),                           Nrpn(1, 32)},
  {0x40, 0x10, 0x33, 0x33, kPrt, "TVF Resonance",                 Modify(),                           Nrpn(1, 33)},
  {0x40, 0x10, 0x34, 0x34, kPrt, "TVF&TVA Env. Attack",           Modify(),                           Nrpn(1, 99)},
  {0x40, 0x10, 0x35, 0x35, kPrt, "TVF&TVA Env. Decay",            Modify(),                           Nrpn(1, 100)},
  {0x40, 0x10, 0x36, 0x36, kPrt, "TVF&TVA Env. Release",          Modify(),                           Nrpn(1, 102)},
  {0x40, 0x10, 0x37, 0x37, kPrt, "Vibrato Delay",                 Modify(),                           Nrpn(1, 10)},
  {0x40, 0x10, 0x40, 0x40, kPrt, "Scale Tuning C",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x41, 0x41, kPrt, "Scale Tuning C#",               Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x42, 0x42, kPrt, "Scale Tuning D",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x43, 0x43, kPrt, "Scale Tuning D#",               Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x44, 0x44, kPrt, "Scale Tuning E",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x45, 0x45, kPrt, "Scale Tuning F",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x46, 0x46, kPrt, "Scale Tuning F#",               Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x47, 0x47, kPrt, "Scale Tuning G",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x48, 0x48, kPrt, "Scale Tuning G#",               Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x49, 0x49, kPrt, "Scale Tuning A",                Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x4A, 0x4A, kPrt, "Scale Tuning A#",               Offset(0, 127, "cents"),            No()},
  {0x40, 0x10, 0x4B, 0x4B, kPrt, "Scale Tuning B",                Offset(0, 127, "cents"),            No()},
  // 40 2x xx: the controllers of block x, eleven settings per source
  {0x40, 0x20, 0x00, 0x00, kPrt, "MOD Pitch Control",             Semitones(),                        No()},
  {0x40, 0x20, 0x01, 0x01, kPrt, "MOD TVF Cutoff Control",        Num(),                              No()},
  {0x40, 0x20, 0x02, 0x02, kPrt, "MOD Amplitude Control",         Num(),                              No()},
  {0x40, 0x20, 0x03, 0x03, kPrt, "MOD LFO1 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x04, 0x04, kPrt, "MOD LFO1 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x05, 0x05, kPrt, "MOD LFO1 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x06, 0x06, kPrt, "MOD LFO1 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x07, 0x07, kPrt, "MOD LFO2 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x08, 0x08, kPrt, "MOD LFO2 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x09, 0x09, kPrt, "MOD LFO2 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x0A, 0x0A, kPrt, "MOD LFO2 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x10, 0x10, kPrt, "BEND Pitch Control",            Offset(0x40, 0x58, "semitones"),    Rpn(0, 0, 64)},  // 0 ... +24
  {0x40, 0x20, 0x11, 0x11, kPrt, "BEND TVF Cutoff Control",       Num(),                              No()},
  {0x40, 0x20, 0x12, 0x12, kPrt, "BEND Amplitude Control",        Num(),                              No()},
  {0x40, 0x20, 0x13, 0x13, kPrt, "BEND LFO1 Rate Control",        Num(),                              No()},
  {0x40, 0x20, 0x14, 0x14, kPrt, "BEND LFO1 Pitch Depth",         Num(),                              No()},
  {0x40, 0x20, 0x15, 0x15, kPrt, "BEND LFO1 TVF Depth",           Num(),                              No()},
  {0x40, 0x20, 0x16, 0x16, kPrt, "BEND LFO1 TVA Depth",           Num(),                              No()},
  {0x40, 0x20, 0x17, 0x17, kPrt, "BEND LFO2 Rate Control",        Num(),                              No()},
  {0x40, 0x20, 0x18, 0x18, kPrt, "BEND LFO2 Pitch Depth",         Num(),                              No()},
  {0x40, 0x20, 0x19, 0x19, kPrt, "BEND LFO2 TVF Depth",           Num(),                              No()},
  {0x40, 0x20, 0x1A, 0x1A, kPrt, "BEND LFO2 TVA Depth",           Num(),                              No()},
  {0x40, 0x20, 0x20, 0x20, kPrt, "CAf Pitch Control",             Semitones(),                        No()},
  {0x40, 0x20, 0x21, 0x21, kPrt, "CAf TVF Cutoff Control",        Num(),                              No()},
  {0x40, 0x20, 0x22, 0x22, kPrt, "CAf Amplitude Control",         Num(),                              No()},
  {0x40, 0x20, 0x23, 0x23, kPrt, "CAf LFO1 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x24, 0x24, kPrt, "CAf LFO1 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x25, 0x25, kPrt, "CAf LFO1 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x26, 0x26, kPrt, "CAf LFO1 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x27, 0x27, kPrt, "CAf LFO2 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x28, 0x28, kPrt, "CAf LFO2 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x29, 0x29, kPrt, "CAf LFO2 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x2A, 0x2A, kPrt, "CAf LFO2 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x30, 0x30, kPrt, "PAf Pitch Control",             Semitones(),                        No()},
  {0x40, 0x20, 0x31, 0x31, kPrt, "PAf TVF Cutoff Control",        Num(),                              No()},
  {0x40, 0x20, 0x32, 0x32, kPrt, "PAf Amplitude Control",         Num(),                              No()},
  {0x40, 0x20, 0x33, 0x33, kPrt, "PAf LFO1 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x34, 0x34, kPrt, "PAf LFO1 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x35, 0x35, kPrt, "PAf LFO1 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x36, 0x36, kPrt, "PAf LFO1 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x37, 0x37, kPrt, "PAf LFO2 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x38, 0x38, kPrt, "PAf LFO2 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x39, 0x39, kPrt, "PAf LFO2 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x3A, 0x3A, kPrt, "PAf LFO2 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x40, 0x40, kPrt, "CC1 Pitch Control",             Semitones(),                        No()},
  {0x40, 0x20, 0x41, 0x41, kPrt, "CC1 TVF Cutoff Control",        Num(),                              No()},
  {0x40, 0x20, 0x42, 0x42, kPrt, "CC1 Amplitude Control",         Num(),                              No()},
  {0x40, 0x20, 0x43, 0x43, kPrt, "CC1 LFO1 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x44, 0x44, kPrt, "CC1 LFO1 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x45, 0x45, kPrt, "CC1 LFO1 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x46, 0x46, kPrt, "CC1 LFO1 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x47, 0x47, kPrt, "CC1 LFO2 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x48, 0x48, kPrt, "CC1 LFO2 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x49, 0x49, kPrt, "CC1 LFO2 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x4A, 0x4A, kPrt, "CC1 LFO2 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x50, 0x50, kPrt, "CC2 Pitch Control",             Semitones(),                        No()},
  {0x40, 0x20, 0x51, 0x51, kPrt, "CC2 TVF Cutoff Control",        Num(),                              No()},
  {0x40, 0x20, 0x52, 0x52, kPrt, "CC2 Amplitude Control",         Num(),                              No()},
  {0x40, 0x20, 0x53, 0x53, kPrt, "CC2 LFO1 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x54, 0x54, kPrt, "CC2 LFO1 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x55, 0x55, kPrt, "CC2 LFO1 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x56, 0x56, kPrt, "CC2 LFO1 TVA Depth",            Num(),                              No()},
  {0x40, 0x20, 0x57, 0x57, kPrt, "CC2 LFO2 Rate Control",         Num(),                              No()},
  {0x40, 0x20, 0x58, 0x58, kPrt, "CC2 LFO2 Pitch Depth",          Num(),                              No()},
  {0x40, 0x20, 0x59, 0x59, kPrt, "CC2 LFO2 TVF Depth",            Num(),                              No()},
  {0x40, 0x20, 0x5A, 0x5A, kPrt, "CC2 LFO2 TVA Depth",            Num(),                              No()},
  // 40 4x xx: tone map, EQ and insertion effect of block x (SC-88 and later)
  {0x40, 0x40, 0x00, 0x00, kPrt, "Tone Map Number",               Names(kToneMaps, 1),                No()},
  {0x40, 0x40, 0x01, 0x01, kPrt, "Tone Map-0 Number",             Names(kToneMaps, 1),                No()},
  {0x40, 0x40, 0x20, 0x20, kPrt, "EQ On/Off",                     Switch(),                           No()},
  {0x40, 0x40, 0x21, 0x21, kPrt, "Output Assign",                 Num(),                              No()},  // SC-8850
  {0x40, 0x40, 0x22, 0x22, kPrt, "Part EFX Assign",               Names(kEfxAssign),                  No()},  // SC-88Pro
  // 41 mp rr: drum setup of map m, parameter p, note rr
  {0x41, 0x00, 0x00, 0x0B, kDrm, "Drum Map Name",                 Is(K::kText),                       No()},
  {0x41, 0x01, 0x00, 0x7F, kDrm, "Play Note Number",              Is(K::kNote),                       No()},
  {0x41, 0x02, 0x00, 0x7F, kDrm, "Level",                         Num(),                              No()},
  {0x41, 0x03, 0x00, 0x7F, kDrm, "Assign Group Number",           Num(),                              No()},
  {0x41, 0x04, 0x00, 0x7F, kDrm, "Panpot",                        Is(K::kPanOrRandom),                No()},
  {0x41, 0x05, 0x00, 0x7F, kDrm, "Reverb Send Level",             Num(),                              No()},
  {0x41, 0x06, 0x00, 0x7F, kDrm, "Chorus Send Level",             Num(),                              No()},
  {0x41, 0x07, 0x00, 0x7F, kDrm, "Rx. Note Off",                  Switch(),                           No()},
  {0x41, 0x08, 0x00, 0x7F, kDrm, "Rx. Note On",                   Switch(),                           No()},
  {0x41, 0x09, 0x00, 0x7F, kDrm, "Delay Send Level",              Num(),                              No()},  // SC-88
};
// clang-format on

bool Fits(const GsParameter& p, uint8_t high, uint8_t mid, uint8_t low) {
  if (p.addrHigh != high || low < p.lowFirst || low > p.lowLast) return false;
  switch (p.scope) {
    case GsScope::kSystem:
      return mid == p.addrMid;
    case GsScope::kPart:
      return (mid & 0xF0) == p.addrMid;
    case GsScope::kDrum:
      return (mid & 0x0F) == p.addrMid && (mid >> 4) <= 1;
  }
  return false;
}

int RowOf(uint8_t high, uint8_t mid, uint8_t low) {
  for (size_t i = 0; i < std::size(kGsParameters); ++i) {
    if (Fits(kGsParameters[i], high, mid, low)) return int(i);
  }
  return -1;
}

// Block 0 is part 10, blocks 1-9 parts 1-9, blocks A-F parts 11-16 (0-based here).
uint8_t PartOfBlock(uint8_t block) { return block == 0 ? 9 : block <= 9 ? uint8_t(block - 1) : block; }





std::string ValueText(const GsValueRule& r, std::span<const uint8_t> values, bool atFirst) {
  if (values.empty()) return "";
  const uint8_t v = values[0];
  switch (r.kind) {
    case K::kNumber:
      return "";
    case K::kOffset:
      return v >= r.min && v <= r.max ? Signed(v - 64, r.unit) : "";
    case K::kPercent:
      return std::to_string((v * 200 + 127) / 254) + " %";
    case K::kPan:
      return PanText(v, false);
    case K::kPanOrRandom:
      return PanText(v, true);
    case K::kNames:
      return v >= r.min && size_t(v - r.min) < r.names.size() ? std::string(r.names[v - r.min]) : "";
    case K::kNote:
      return NoteName(v);
    case K::kRxChannel:
      return v < 16 ? "Ch " + std::to_string(v + 1) : v == 16 ? "Off" : "";
    case K::kMasterTune: {
      if (!atFirst || values.size() < 4 || !Nibbles(values.first(4))) return "";
      const int tune = values[0] << 12 | values[1] << 8 | values[2] << 4 | values[3];
      return tune >= 0x18 && tune <= 0x7E8 ? Tenths(tune - 0x400, "cents") : "";
    }
    case K::kOffsetFine: {
      if (!atFirst || values.size() < 2 || !Nibbles(values.first(2))) return "";
      const int fine = values[0] << 4 | values[1];
      return fine >= 0x08 && fine <= 0xF8 ? Tenths(fine - 0x80, "Hz") : "";
    }
    case K::kFineTune: {
      if (!atFirst || values.size() < 2) return "";
      // 40 00 is 0, 00 00 -100 cents, 7F 7F +100 cents: tenths, rounded.
      const int offset = (values[0] << 7 | values[1]) - 0x2000;
      const int tenths = (offset * 1000 + (offset < 0 ? -4096 : 4096)) / 8192;
      return Tenths(tenths, "cents");
    }
    case K::kToneNumber:
      if (!atFirst || values.size() < 2) return "";
      return "program " + std::to_string(values[1] + 1) + ", bank " + std::to_string(v);
    case K::kText: {
      std::string text;
      for (uint8_t c : values) text += c >= 0x20 && c < 0x7F ? char(c) : '?';
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return "\"" + text + "\"";
    }
  }
  return "";
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::span<const GsParameter> GsParameterTable() { return kGsParameters; }

uint8_t RolandChecksum(std::span<const uint8_t> addressAndData) {
  unsigned sum = 0;
  for (uint8_t b : addressAndData) sum += b;
  return uint8_t((128 - sum % 128) % 128);
}

GsMessage ParseGs(std::span<const uint8_t> d) {
  GsMessage m;
  if (d.size() < kDataAt || d[0] != kRoland || d[1] >= 0x80 || d[2] != kGsModel || d[3] != kDataSet) return m;
  if ((d[4] | d[5] | d[6]) >= 0x80) return m;
  m.valid = true;
  m.address = {d[4], d[5], d[6]};
  // The data bytes run up to the first status byte (normally the F7); the
  // last of them is the checksum.
  size_t end = kDataAt;
  while (end < d.size() && d[end] < 0x80) ++end;
  m.whole = end + 1 == d.size() && d[end] == kStatusSysExEnd;
  const size_t carried = end - kDataAt;
  m.values = d.subspan(kDataAt, carried == 0 ? 0 : carried - 1);
  m.expectedChecksum = RolandChecksum(d.subspan(kAddressAt, 3 + m.values.size()));
  m.checksumOk = carried > 0 && d[end - 1] == m.expectedChecksum;

  uint8_t high = m.address[0];
  if (high == 0x50 || high == 0x51) {
    m.port = 1;
    high = uint8_t(high - kPortBOffset);
  }
  const uint8_t mid = m.address[1];
  m.row = RowOf(high, mid, m.address[2]);
  if (m.row < 0) return m;
  switch (kGsParameters[m.row].scope) {
    case GsScope::kPart:
      m.part = uint8_t(PartOfBlock(mid & 0x0F) + 16 * m.port);
      break;
    case GsScope::kDrum:
      m.drumMap = uint8_t((mid >> 4) + 2 * m.port);
      break;
    case GsScope::kSystem:
      break;
  }
  return m;
}

std::string_view GsName(const GsMessage& m) { return m.row < 0 ? std::string_view() : kGsParameters[m.row].name; }

std::string GsMeaning(const GsMessage& m) {
  if (!m.valid) return "";
  std::string text;
  if (m.row >= 0) {
    const GsParameter& p = kGsParameters[m.row];
    text = ValueText(p.value, m.values, m.address[2] == p.lowFirst);
    // A drum setup message is about one note of the map.
    if (p.scope == GsScope::kDrum && p.value.kind != K::kText) {
      const std::string note = NoteName(m.address[2]);
      text = text.empty() ? note : note + ": " + text;
    }
  }
  if (!m.checksumOk) {
    if (!text.empty()) text += "; ";
    text += "checksum wrong (should be ";
    text += kHexDigits[m.expectedChecksum >> 4];
    text += kHexDigits[m.expectedChecksum & 0x0F];
    text += ")";
  }
  return text;
}

std::optional<std::array<std::pair<uint8_t, uint8_t>, 4>> GsChannelMessages(const GsMessage& m) {
  if (!m.valid || m.row < 0 || !m.whole || !m.checksumOk || m.part == 255) return std::nullopt;
  const GsParameter& p = kGsParameters[m.row];
  // The message starts at the parameter and carries its value and nothing
  // more: a run of several parameters has no one channel message.
  if (m.address[2] != p.lowFirst || m.values.empty()) return std::nullopt;
  const size_t most = p.channel.kind == GsChannelKind::kToneNumber ? 2 : 1;
  if (m.values.size() > most) return std::nullopt;
  const uint8_t v = m.values[0];
  if (p.value.kind == K::kPanOrRandom && v == 0) return std::nullopt;  // random pan has no controller
  if (v < p.channel.zero) return std::nullopt;                         // a bend range below 0

  std::array<std::pair<uint8_t, uint8_t>, 4> pairs;
  pairs.fill({kNone, 0});
  switch (p.channel.kind) {
    case GsChannelKind::kNoEquivalent:
      return std::nullopt;
    case GsChannelKind::kControl:
      pairs[0] = {p.channel.number, v};
      break;
    case GsChannelKind::kNrpn:
      pairs[0] = {kCcNrpnMsb, p.channel.number};
      pairs[1] = {kCcNrpnLsb, p.channel.lsb};
      pairs[2] = {kCcDataEntry, v};
      break;
    case GsChannelKind::kRpn:
      pairs[0] = {kCcRpnMsb, p.channel.number};
      pairs[1] = {kCcRpnLsb, p.channel.lsb};
      pairs[2] = {kCcDataEntry, uint8_t(v - p.channel.zero)};
      break;
    case GsChannelKind::kToneNumber:
      pairs[0] = {kCcBankSelectMsb, v};
      if (m.values.size() == 2) pairs[1] = {kProgramChange, m.values[1]};
      break;
  }
  return pairs;
}

}  // namespace mertovan
