#include "analysis/conversion.h"

#include "analysis/param_names.h"
#include "model/events.h"
#include "model/position.h"

namespace mertovan {

std::array<uint8_t, 7> gDrumSetupPartMap = kInitialDrumSetupPartMap;

namespace {

constexpr uint8_t kNone = 0xFF;
constexpr uint8_t kPc = 0xE0;  // program change
constexpr uint8_t kDd = 0xFD;
constexpr uint8_t kAm = 0xFC;
constexpr uint8_t kSwitch = 0xFE;
constexpr uint8_t kOffset = 0xFB;

// clang-format off
constexpr ConversionRule kRules[42] = {
  // addrHigh addrLow  pair 0          pair 1          pair 2          pair 3
  {0x08, 0x01, {{0x00, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  0 Bank Select MSB
  {0x08, 0x02, {{0x20, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  1 Bank Select LSB
  {0x08, 0x03, {{kPc,  kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  2 Program Number
  {0x08, 0x68, {{0x05, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  3 Portamento Time
  {0x08, 0x0B, {{0x07, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  4 Volume
  {0x08, 0x0E, {{0x0A, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  5 Pan
  {0x08, 0x67, {{0x41, kSwitch}, {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  6 Portamento Switch
  {0x08, 0x19, {{0x47, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  7 LPF Resonance
  {0x08, 0x1C, {{0x48, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  8 Eg Release Time
  {0x08, 0x1A, {{0x49, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  //  9 Eg Attack Time
  {0x08, 0x18, {{0x4A, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  // 10 LPF Cutoff Freq
  {0x08, 0x13, {{0x5B, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  // 11 Reverb Send
  {0x08, 0x12, {{0x5D, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  // 12 Chorus Send
  {0x08, 0x14, {{0x5E, kDd},     {kNone, 0},     {kNone, 0},     {kNone, 0}}},  // 13 Var Send
  {0x08, 0x15, {{0x63, 0x01},    {0x62, 0x08},   {0x06, kDd},    {kNone, 0}}},  // 14 Vibrate Rate     NRPN 1/8
  {0x08, 0x16, {{0x63, 0x01},    {0x62, 0x09},   {0x06, kDd},    {kNone, 0}}},  // 15 Vibrate Depth    NRPN 1/9
  {0x08, 0x17, {{0x63, 0x01},    {0x62, 0x0A},   {0x06, kDd},    {kNone, 0}}},  // 16 Vibrate Delay    NRPN 1/10
  {0x0A, 0x20, {{0x63, 0x01},    {0x62, 0x24},   {0x06, kDd},    {kNone, 0}}},  // 17 HPF Cutoff Freq  NRPN 1/36
  {0x08, 0x72, {{0x63, 0x01},    {0x62, 0x30},   {0x06, kDd},    {kNone, 0}}},  // 18 Eq Bass Gain     NRPN 1/48
  {0x08, 0x73, {{0x63, 0x01},    {0x62, 0x31},   {0x06, kDd},    {kNone, 0}}},  // 19 Eq Treble Gain   NRPN 1/49
  {0x08, 0x76, {{0x63, 0x01},    {0x62, 0x34},   {0x06, kDd},    {kNone, 0}}},  // 20 Eq Bass Freq     NRPN 1/52
  {0x08, 0x77, {{0x63, 0x01},    {0x62, 0x35},   {0x06, kDd},    {kNone, 0}}},  // 21 Eq Treble Freq   NRPN 1/53
  {0x08, 0x1B, {{0x63, 0x01},    {0x62, 0x64},   {0x06, kDd},    {kNone, 0}}},  // 22 Eg Decay Time    NRPN 1/100
  {0xB0, 0x0B, {{0x63, 0x14},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 23 drum LPF Cutoff Freq  NRPN 20/note
  {0xB0, 0x0C, {{0x63, 0x15},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 24 drum LPF Resonance    NRPN 21/note
  {0xB0, 0x0D, {{0x63, 0x16},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 25 drum Eg Attack Rate   NRPN 22/note
  {0xB0, 0x0E, {{0x63, 0x17},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 26 drum Eg Decay1 Rate   NRPN 23/note
  {0xB0, 0x0F, {{0x63, 0x17},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 27 drum Eg Decay2 Rate   NRPN 23/note
  {0xB0, 0x00, {{0x63, 0x18},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 28 drum Pitch Coarse     NRPN 24/note
  {0xB0, 0x01, {{0x63, 0x19},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 29 drum Pitch Fine       NRPN 25/note
  {0xB0, 0x02, {{0x63, 0x1A},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 30 drum Level            NRPN 26/note
  {0xB0, 0x04, {{0x63, 0x1C},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 31 drum Pan              NRPN 28/note
  {0xB0, 0x05, {{0x63, 0x1D},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 32 drum Reverb Send      NRPN 29/note
  {0xB0, 0x06, {{0x63, 0x1E},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 33 drum Chorus Send      NRPN 30/note
  {0xB0, 0x07, {{0x63, 0x1F},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 34 drum Var Send         NRPN 31/note
  {0xB0, 0x50, {{0x63, 0x24},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 35 drum HPF Cutoff Freq  NRPN 36/note
  {0xB0, 0x20, {{0x63, 0x30},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 36 drum Eq Bass Gain     NRPN 48/note
  {0xB0, 0x21, {{0x63, 0x31},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 37 drum Eq Treble Gain   NRPN 49/note
  {0xB0, 0x24, {{0x63, 0x34},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 38 drum Eq Bass Freq     NRPN 52/note
  {0xB0, 0x25, {{0x63, 0x35},    {0x62, kAm},    {0x06, kDd},    {kNone, 0}}},  // 39 drum Eq Treble Freq   NRPN 53/note
  {0x08, 0x23, {{0x65, 0x00},    {0x64, 0x00},   {0x06, kOffset},{kNone, 0}}},  // 40 Bend Pitch Control    RPN 0/0
  {0x08, 0x07, {{kNone, 0},      {kNone, 0},     {kNone, 0},     {kNone, 0}}},  // 41 Part Mode
};
// clang-format on

constexpr bool IsDrumRule(const ConversionRule& r) { return (r.addrHigh & 0x80) != 0; }

// The address bytes of a Yamaha parameter change. Only messages whose stored
// bytes reach the first data byte, and whose address and data bytes are all
// MIDI data bytes, take part: an F7 or a stray status byte must never be
// written out as a data byte of a channel message.
struct ParameterChange {
  uint8_t ah, am, al, dd;
};

bool ReadParameterChange(const Tsys& e, ParameterChange& pc) {
  if (e.length < 7) return false;
  const auto d = gSysEx.Data(e);
  if (d[0] != 0x43 || (d[1] >> 4) != 1) return false;
  for (size_t i = 2; i <= 6; ++i) {
    if (d[i] >= 0x80) return false;
  }
  pc = {d[3], d[4], d[5], d[6]};
  return true;
}

constexpr uint8_t kUnassigned = 0xFF;

// The part a matching rule addresses: the address mid for part parameters,
// the drum setup part map for drum setup parameters. Drum setup blocks 35 to
// 3F have no part mode and stay unassigned.
uint8_t RulePart(const ConversionRule& r, const ParameterChange& pc) {
  if (!IsDrumRule(r)) return pc.am;
  const unsigned slot = 2 + (pc.ah & 0x0F);
  return slot < gDrumSetupPartMap.size() ? gDrumSetupPartMap[slot] : kUnassigned;
}

// Rules by address: no two rules share an address (checked by the tests), so
// one index per (address high, address low) gives the same result as the scan.
struct RuleIndex {
  int8_t at[128][128] = {};
  constexpr RuleIndex() {
    for (auto& row : at) {
      for (auto& v : row) v = -1;
    }
    for (int i = 0; i < 42; ++i) {
      const ConversionRule& r = kRules[i];
      if (IsDrumRule(r)) {
        for (int ah = 0x30; ah <= 0x3F; ++ah) at[ah][r.addrLow] = int8_t(i);
      } else {
        at[r.addrHigh][r.addrLow] = int8_t(i);
      }
    }
  }
};
constexpr RuleIndex kRuleIndex;

const ConversionRule* FindRule(const ParameterChange& pc) {
  const int i = kRuleIndex.at[pc.ah][pc.al];
  return i < 0 ? nullptr : &kRules[i];
}

bool HasOffsetCode(const ConversionRule& r) {
  for (const auto& p : r.pairs) {
    if (p.valueCode == kOffset) return true;
  }
  return false;
}

}  // namespace

std::span<const ConversionRule> ConversionRules() { return kRules; }

uint8_t ApplyValueCode(uint8_t valueCode, uint8_t am, uint8_t dd) {
  switch (valueCode) {
    case kOffset:
      return uint8_t(dd - 64);
    case kAm:
      return am;
    case kDd:
      return dd;
    case kSwitch:  // an on/off switch: 0 off, 1 on (64), anything larger full on
      return dd == 0 ? 0 : dd == 1 ? 64 : 127;
    default:
      return valueCode;
  }
}

void ConvertEvents() {
  for (Tsys& e : gSysEx.events) {
    ParameterChange pc;
    if (!ReadParameterChange(e, pc)) continue;
    const ConversionRule* r = FindRule(pc);
    if (!r) continue;
    if (pc.ah == 0x08 && pc.al == 0x07) {  // part mode: who plays which drum setup
      if (pc.dd < gDrumSetupPartMap.size()) gDrumSetupPartMap[pc.dd] = pc.am;
      continue;
    }
    if (pc.ah == 0x08 && pc.al == 0x0E && pc.dd == 0) continue;  // pan 0 (random) has no CC
    if (HasOffsetCode(*r) && pc.dd < 64) continue;
    // The part as the map stands at this point of the list. Parts from 32 up
    // have no channel track: they stay SysEx and pass through unchanged.
    const uint8_t part = RulePart(*r, pc);
    if (part >= gChannelUsage.size()) continue;
    ++gChannelUsage[part];
    for (int i = 0; i < 4; ++i) {
      e.ccNumber[i] = r->pairs[i].controller;
      e.ccValue[i] = ApplyValueCode(r->pairs[i].valueCode, pc.am, pc.dd);
    }
  }
}

void AssignChannels() {
  for (Tsys& e : gSysEx.events) {
    ParameterChange pc;
    if (!ReadParameterChange(e, pc)) continue;
    const ConversionRule* r = FindRule(pc);
    if (!r) continue;
    e.channel = RulePart(*r, pc);
    // A drum setup message converted for a part below 32, whose kit a later
    // part mode message gave to a part from 32 up, has no channel track to
    // go to: it stays SysEx and passes through unchanged, like every message
    // of those parts, instead of vanishing from the converted file.
    if (e.channel >= gChannelUsage.size()) e.ccNumber[0] = 255;
  }
}

void AnalyseEvents() {
  ComputePositions();
  ConvertEvents();
  AssignChannels();
  NameEvents();
  DescribeValues();
}

}  // namespace mertovan
