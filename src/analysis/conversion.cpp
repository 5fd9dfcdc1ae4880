#include "analysis/conversion.h"

#include "analysis/gs_params.h"
#include "model/midi_bytes.h"

namespace mertovan {

namespace {

constexpr uint8_t kDd = kDataCode;
constexpr uint8_t kAm = kNoteCode;
constexpr uint8_t kPc = kProgramChange;
constexpr uint8_t kMsb = kCcNrpnMsb;
constexpr uint8_t kLsb = kCcNrpnLsb;
constexpr uint8_t kData = kCcDataEntry;

// Addresses in hex as XG documents them; controller, NRPN and RPN numbers in
// decimal, as the setup table of the formal layout writes them.
// clang-format off
constexpr ConversionRule kRules[] = {
  // addrHigh addrLow  pair 0               pair 1          pair 2          pair 3
  {0x08, 0x01, {{kCcBankSelectMsb, kDd}, {kNone, 0},    {kNone, 0},     {kNone, 0}}},  //  0 Bank Select MSB
  {0x08, 0x02, {{kCcBankSelectLsb, kDd}, {kNone, 0},    {kNone, 0},     {kNone, 0}}},  //  1 Bank Select LSB
  {0x08, 0x03, {{kPc,   kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  2 Program Number
  {0x08, 0x68, {{5,     kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  3 Portamento Time
  {0x08, 0x0B, {{7,     kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  4 Volume
  {0x08, 0x0E, {{10,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  5 Pan
  {0x08, 0x67, {{65,    kSwitchCode},  {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  6 Portamento Switch
  {0x08, 0x19, {{71,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  7 LPF Resonance
  {0x08, 0x1C, {{72,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  8 Eg Release Time
  {0x08, 0x1A, {{73,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  //  9 Eg Attack Time
  {0x08, 0x18, {{74,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  // 10 LPF Cutoff Freq
  {0x08, 0x13, {{91,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  // 11 Reverb Send
  {0x08, 0x12, {{93,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  // 12 Chorus Send
  {0x08, 0x14, {{94,    kDd},          {kNone, 0},      {kNone, 0},     {kNone, 0}}},  // 13 Var Send
  {0x08, 0x15, {{kMsb,  1},            {kLsb, 8},       {kData, kDd},   {kNone, 0}}},  // 14 Vibrate Rate     NRPN 1/8
  {0x08, 0x16, {{kMsb,  1},            {kLsb, 9},       {kData, kDd},   {kNone, 0}}},  // 15 Vibrate Depth    NRPN 1/9
  {0x08, 0x17, {{kMsb,  1},            {kLsb, 10},      {kData, kDd},   {kNone, 0}}},  // 16 Vibrate Delay    NRPN 1/10
  {0x0A, 0x20, {{kMsb,  1},            {kLsb, 36},      {kData, kDd},   {kNone, 0}}},  // 17 HPF Cutoff Freq  NRPN 1/36
  {0x08, 0x72, {{kMsb,  1},            {kLsb, 48},      {kData, kDd},   {kNone, 0}}},  // 18 Eq Bass Gain     NRPN 1/48
  {0x08, 0x73, {{kMsb,  1},            {kLsb, 49},      {kData, kDd},   {kNone, 0}}},  // 19 Eq Treble Gain   NRPN 1/49
  {0x08, 0x76, {{kMsb,  1},            {kLsb, 52},      {kData, kDd},   {kNone, 0}}},  // 20 Eq Bass Freq     NRPN 1/52
  {0x08, 0x77, {{kMsb,  1},            {kLsb, 53},      {kData, kDd},   {kNone, 0}}},  // 21 Eq Treble Freq   NRPN 1/53
  {0x08, 0x1B, {{kMsb,  1},            {kLsb, 100},     {kData, kDd},   {kNone, 0}}},  // 22 Eg Decay Time    NRPN 1/100
  {0xB0, 0x0B, {{kMsb,  20},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 23 drum LPF Cutoff Freq  NRPN 20/note
  {0xB0, 0x0C, {{kMsb,  21},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 24 drum LPF Resonance    NRPN 21/note
  {0xB0, 0x0D, {{kMsb,  22},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 25 drum Eg Attack Rate   NRPN 22/note
  {0xB0, 0x0E, {{kMsb,  23},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 26 drum Eg Decay1 Rate   NRPN 23/note
  {0xB0, 0x0F, {{kMsb,  23},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 27 drum Eg Decay2 Rate   NRPN 23/note
  {0xB0, 0x00, {{kMsb,  24},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 28 drum Pitch Coarse     NRPN 24/note
  {0xB0, 0x01, {{kMsb,  25},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 29 drum Pitch Fine       NRPN 25/note
  {0xB0, 0x02, {{kMsb,  26},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 30 drum Level            NRPN 26/note
  {0xB0, 0x04, {{kMsb,  28},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 31 drum Pan              NRPN 28/note
  {0xB0, 0x05, {{kMsb,  29},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 32 drum Reverb Send      NRPN 29/note
  {0xB0, 0x06, {{kMsb,  30},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 33 drum Chorus Send      NRPN 30/note
  {0xB0, 0x07, {{kMsb,  31},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 34 drum Var Send         NRPN 31/note
  {0xB0, 0x50, {{kMsb,  36},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 35 drum HPF Cutoff Freq  NRPN 36/note
  {0xB0, 0x20, {{kMsb,  48},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 36 drum Eq Bass Gain     NRPN 48/note
  {0xB0, 0x21, {{kMsb,  49},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 37 drum Eq Treble Gain   NRPN 49/note
  {0xB0, 0x24, {{kMsb,  52},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 38 drum Eq Bass Freq     NRPN 52/note
  {0xB0, 0x25, {{kMsb,  53},           {kLsb, kAm},     {kData, kDd},   {kNone, 0}}},  // 39 drum Eq Treble Freq   NRPN 53/note
  {0x08, 0x23, {{kCcRpnMsb, 0},        {kCcRpnLsb, 0},  {kData, kOffsetCode}, {kNone, 0}}},  // 40 Bend Pitch Control  RPN 0/0
  {0x08, 0x07, {{kNone, 0},            {kNone, 0},      {kNone, 0},     {kNone, 0}}},  // 41 Part Mode
};
// clang-format on
static_assert(std::size(kRules) == 42);

constexpr bool IsDrumRule(const ConversionRule& r) { return (r.addrHigh & 0x80) != 0; }

// The address of a Yamaha parameter change (F0 43 1n model ah am al dd F7)
// in the data view. It matches a rule only when the stored message holds its
// three address bytes and they, and the model byte, are MIDI data bytes.
struct ParameterChange {
  uint8_t ah, am, al;
};

bool ReadAddress(const SysExList& list, const Tsys& e, const MessageExtent& x, ParameterChange& pc) {
  if (x.size < 6) return false;
  const uint8_t* d = list.Data(e).data();
  if (d[0] != 0x43 || (d[1] >> 4) != 1) return false;
  if ((d[2] | d[3] | d[4] | d[5]) >= 0x80) return false;
  pc = {d[3], d[4], d[5]};
  return true;
}

// No two rules share an address (checked by the tests); a drum setup rule
// stands for its address low in every drum setup, address high 30 to 3F.
const ConversionRule* FindRule(const ParameterChange& pc) {
  for (const ConversionRule& r : kRules) {
    const bool high = IsDrumRule(r) ? (pc.ah & 0xF0) == 0x30 : pc.ah == r.addrHigh;
    if (high && pc.al == r.addrLow) return &r;
  }
  return nullptr;
}

bool TakesOffset(const ConversionRule& r) {
  for (const auto& p : r.pairs) {
    if (p.valueCode == kOffsetCode) return true;
  }
  return false;
}

// Whether the data byte converts under the rule's conditions.
bool Converts(const ConversionRule& r, const ParameterChange& pc, uint8_t dd) {
  if (pc.ah == 0x08 && pc.al == 0x0E && dd == 0) return false;  // pan 0 (random) has no CC
  if (TakesOffset(r) && dd < 64) return false;                   // a negative bend range
  return true;
}

}  // namespace

std::span<const ConversionRule> ConversionRules() { return kRules; }

uint8_t ApplyValueCode(uint8_t valueCode, uint8_t am, uint8_t dd) {
  switch (valueCode) {
    case kOffsetCode:
      return uint8_t(dd - 64);
    case kNoteCode:
      return am;
    case kDataCode:
      return dd;
    case kSwitchCode:  // an on/off switch: 0 for 0, 64 for 1, full on for anything larger
      return dd == 0 ? 0 : dd == 1 ? 64 : 127;
    default:
      return valueCode;
  }
}

uint8_t ConvertEvent(const SysExList& list, Tsys& e, const MessageExtent& x, DrumSetupPartMap& map,
                     std::array<int32_t, 32>& usage) {
  ParameterChange pc;
  if (!ReadAddress(list, e, x, pc)) return kNoDrumSetup;
  const ConversionRule* r = FindRule(pc);
  if (!r) return kNoDrumSetup;
  // Drum setup 30 reads the map entry of part mode 2, 31 that of mode 3,
  // and so on; setups 35 to 3F read past the map and get no part.
  const unsigned mapEntry = IsDrumRule(*r) ? 2u + (pc.ah & 0x0Fu) : unsigned(kNoDrumSetup);
  if (!IsDrumRule(*r)) e.channel = pc.am;
  // Only a whole message converts: one that holds its data byte as a MIDI
  // data byte (an F7 or a status byte never becomes part of a channel
  // message) and is not packed with others into the same event.
  if (x.size < kReadBytes || x.packed) return uint8_t(mapEntry);
  const uint8_t dd = list.Data(e)[6];
  if (dd >= 0x80) return uint8_t(mapEntry);
  if (pc.ah == 0x08 && pc.al == 0x07) {  // part mode: who plays which drum setup
    if (dd < map.size()) map[dd] = pc.am;
    return kNoDrumSetup;
  }
  if (!Converts(*r, pc, dd)) return uint8_t(mapEntry);
  // The part as the map stands at this point of the list. Parts 33-64 have
  // no channel track in the setup layers, which pass them through; only the
  // song layout converts them.
  const unsigned part = mapEntry == kNoDrumSetup ? pc.am
                        : mapEntry < map.size()  ? map[mapEntry]
                                                 : unsigned(kNone);
  if (part >= kMostParts) return uint8_t(mapEntry);
  if (part < usage.size()) {
    ++usage[part];
  } else {
    e.songOnly = true;
  }
  for (size_t i = 0; i < std::size(r->pairs); ++i) {
    e.ccNumber[i] = r->pairs[i].controller;
    e.ccValue[i] = ApplyValueCode(r->pairs[i].valueCode, pc.am, dd);
  }
  return uint8_t(mapEntry);
}

void AssignDrumPart(Tsys& e, uint8_t mapEntry, const DrumSetupPartMap& map) {
  if (mapEntry >= map.size()) return;
  e.channel = map[mapEntry];
  // A drum setup message converted for a part below 32, whose kit a later
  // part mode message gave to a part from 33 up, has no channel track in the
  // setup layers: they pass it through unchanged, like every message of
  // those parts, instead of losing it. A part past the module's has none at all.
  e.songOnly = e.channel >= 32;
  if (e.channel >= kMostParts) e.ccNumber[0] = kNone;
}

void ConvertGsEvent(const SysExList& list, Tsys& e) {
  const GsMessage gs = ParseGs(list.Data(e));
  if (!gs.valid || gs.part == kNone) return;
  e.part = gs.part;
  const auto pairs = GsChannelMessages(gs);
  if (!pairs) return;
  e.channel = gs.part;
  e.songOnly = true;
  for (size_t i = 0; i < pairs->size(); ++i) {
    e.ccNumber[i] = (*pairs)[i].first;
    e.ccValue[i] = (*pairs)[i].second;
  }
}

XgPartAddress XgPartAddressOf(const SysExList& list, const Tsys& e, const MessageExtent& extent) {
  ParameterChange pc;
  if (!ReadAddress(list, e, extent, pc) || list.Data(e)[2] != 0x4C) return {};
  if ((pc.ah == 0x08 || pc.ah == 0x0A) && pc.am < kMostParts) return {pc.am, kNone};
  if ((pc.ah & 0xF0) == 0x30) return {kNone, uint8_t(2 + (pc.ah & 0x0F))};
  return {};
}

}  // namespace mertovan
