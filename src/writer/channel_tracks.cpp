// The channel tracks: converted controllers event by event (plain layout) or
// one setup block per part (formal layout), and the setup tables behind the
// latter.
#include <algorithm>

#include "model/midi_bytes.h"
#include "writer/tracks.h"

namespace mertovan {

namespace {
constexpr SetupKind kCc = SetupKind::Controller;
constexpr SetupKind kNrpn = SetupKind::Nrpn;
constexpr SetupKind kRpn = SetupKind::Rpn;
constexpr SetupKind kDrum = SetupKind::DrumNrpn;
// Never written: a drum group always takes note and value from its event.
constexpr uint8_t kNoDefault = 252;
}  // namespace

// The order of the entries is the order of the groups in a setup block: bank
// select and program first, so the module has the voice before the voice's
// parameters arrive. Controllers 5 and 65 (portamento) have no entry and are
// left out of the formal layout; there is no drum entry for NRPN MSB 27.
// clang-format off
const std::array<SetupController, kSetupEntries> kSetupControllers = {{
  // kind   number lsb      default      converted from (XG parameter)
  {kCc,     kCcBankSelectMsb, kNone, 0,  "Bank Select MSB"},          //  0
  {kCc,     kCcBankSelectLsb, kNone, 0,  "Bank Select LSB"},          //  1
  {kCc,     kProgramChange, kNone, 0,    "Program Number"},           //  2
  {kCc,     7,     kNone,   100,         "Volume"},                   //  3
  {kCc,     10,    kNone,   64,          "Pan"},                      //  4
  {kCc,     93,    kNone,   0,           "Chorus Send"},              //  5
  {kCc,     91,    kNone,   40,          "Reverb Send"},              //  6
  {kCc,     94,    kNone,   0,           "Var Send"},                 //  7
  {kCc,     74,    kNone,   64,          "LPF Cutoff Freq"},          //  8
  {kCc,     71,    kNone,   64,          "LPF Resonance"},            //  9
  {kCc,     73,    kNone,   64,          "Eg Attack Time"},           // 10
  {kCc,     72,    kNone,   64,          "Eg Release Time"},          // 11
  {kNrpn,   1,     100,     64,          "Eg Decay Time"},            // 12
  {kNrpn,   1,     8,       64,          "Vibrate Rate"},             // 13
  {kNrpn,   1,     9,       64,          "Vibrate Depth"},            // 14
  {kNrpn,   1,     10,      64,          "Vibrate Delay"},            // 15
  {kNrpn,   1,     36,      64,          "HPF Cutoff Freq"},          // 16
  {kNrpn,   1,     48,      64,          "Eq Bass Gain"},             // 17
  {kNrpn,   1,     49,      64,          "Eq Treble Gain"},           // 18
  {kNrpn,   1,     52,      12,          "Eq Bass Freq"},             // 19
  {kNrpn,   1,     53,      54,          "Eq Treble Freq"},           // 20
  {kRpn,    0,     0,       2,           "Bend Pitch Control"},       // 21
  {kDrum,   20,    0,       kNoDefault,  "drum LPF Cutoff Freq"},     // 22
  {kDrum,   21,    0,       kNoDefault,  "drum LPF Resonance"},       // 23
  {kDrum,   22,    0,       kNoDefault,  "drum Eg Attack Rate"},      // 24
  {kDrum,   23,    0,       kNoDefault,  "drum Eg Decay1/Decay2 Rate"},// 25
  {kDrum,   24,    0,       kNoDefault,  "drum Pitch Coarse"},        // 26
  {kDrum,   25,    0,       kNoDefault,  "drum Pitch Fine"},          // 27
  {kDrum,   26,    0,       kNoDefault,  "drum Level"},               // 28
  {kDrum,   28,    0,       kNoDefault,  "drum Pan"},                 // 29
  {kDrum,   29,    0,       kNoDefault,  "drum Reverb Send"},         // 30
  {kDrum,   30,    0,       kNoDefault,  "drum Chorus Send"},         // 31
  {kDrum,   31,    0,       kNoDefault,  "drum Var Send"},            // 32
  {kDrum,   36,    0,       kNoDefault,  "drum HPF Cutoff Freq"},     // 33
  {kDrum,   48,    0,       kNoDefault,  "drum Eq Bass Gain"},        // 34
  {kDrum,   49,    0,       kNoDefault,  "drum Eq Treble Gain"},      // 35
  {kDrum,   52,    0,       kNoDefault,  "drum Eq Bass Freq"},        // 36
  {kDrum,   53,    0,       kNoDefault,  "drum Eq Treble Freq"},      // 37
}};
// clang-format on

namespace {

// Bank select MSB, bank select LSB and program change: a voice is chosen by
// all three, so a block that writes one writes all of them.
constexpr int kBankMsbEntry = 0;
constexpr int kVoiceEntries = 3;
// The tenth part plays drums: without its own bank select it gets the drum
// kit bank.
constexpr uint8_t kDrumPart = 9;
constexpr uint8_t kDrumKitBank = 127;

// The formal layout starts at the second 4/4 bar, after the passed-through
// system setup.
constexpr uint32_t kFormalStart = 1920;
// Plain layout: the second and third message of an NRPN or RPN group follow
// the first at this distance.
constexpr uint32_t kPlainGroupStep = 3;

int MessageCount(const Tsys& e) {
  int n = 0;
  while (n < 4 && e.ccNumber[n] != kNone) ++n;
  return n;
}

constexpr bool IsNrpnEvent(const Tsys& e) {
  return e.ccNumber[0] == kCcNrpnMsb && e.ccNumber[1] == kCcNrpnLsb;
}
constexpr bool IsRpnEvent(const Tsys& e) {
  return e.ccNumber[0] == kCcRpnMsb && e.ccNumber[1] == kCcRpnLsb;
}

void AppendMessage(ByteBuffer& body, uint8_t channel, uint8_t number, uint8_t value) {
  const ChannelMessage m = ChannelMessageOf(channel, number, value);
  body.insert(body.end(), m.bytes.begin(), m.bytes.begin() + m.size);
}

}  // namespace

SetupTable InitSetupTable() {
  SetupTable table;
  for (int i = 0; i < kSetupEntries; ++i) {
    const SetupController& c = kSetupControllers[size_t(i)];
    SetupWork& w = table[size_t(i)];
    w.kind = c.kind;
    w.number = c.number;
    w.lsb = c.lsb;
    w.usage.fill(0);
    w.value.fill(c.defaultValue);
  }
  return table;
}

namespace {

// The setup entry an event's messages belong to, or -1. No two entries write
// the same message, so at most one entry fits an event; a drum entry fits any
// note.
int SetupEntryOf(const Tsys& e) {
  if (e.ccNumber[0] == kNone) return -1;
  for (int k = 0; k < kSetupEntries; ++k) {
    const SetupController& c = kSetupControllers[size_t(k)];
    switch (c.kind) {
      case SetupKind::Controller:
        if (e.ccNumber[1] == kNone && e.ccNumber[0] == c.number) return k;
        break;
      case SetupKind::Nrpn:
        if (IsNrpnEvent(e) && e.ccValue[0] == c.number && e.ccValue[1] == c.lsb) return k;
        break;
      case SetupKind::Rpn:
        if (IsRpnEvent(e) && e.ccValue[0] == c.number && e.ccValue[1] == c.lsb) return k;
        break;
      case SetupKind::DrumNrpn:
        if (IsNrpnEvent(e) && e.ccValue[0] == c.number) return k;
        break;
    }
  }
  return -1;
}

}  // namespace

void MarkSetupUsage(SetupTable& table, const Song& song, const TickOrder& order) {
  table[kBankMsbEntry].value[kDrumPart] = kDrumKitBank;
  for (uint8_t ch = 0; ch < order.byChannel.size(); ++ch) {
    for (const uint32_t i : order.byChannel[ch]) {
      const Tsys& e = song.sysEx.events[i];
      const int k = SetupEntryOf(e);
      if (k < 0) continue;
      SetupWork& w = table[size_t(k)];
      if (w.kind == SetupKind::DrumNrpn) {
        ++w.usage[ch];
        continue;
      }
      // Time order: the latest setting of the part wins.
      w.value[ch] = w.kind == SetupKind::Controller ? e.ccValue[0] : e.ccValue[2];
      w.usage[ch] = 1;
      if (k < kVoiceEntries) {
        for (int v = 0; v < kVoiceEntries; ++v) table[size_t(v)].usage[ch] = 1;
      }
    }
  }
  // A parameter that one part sets is set on every part that receives
  // converted events, so all parts start from the same known state. Drum
  // settings belong to one kit's notes and are not spread.
  for (SetupWork& w : table) {
    if (w.kind == SetupKind::DrumNrpn) continue;
    const bool used = std::any_of(w.usage.begin(), w.usage.end(), [](int32_t u) { return u != 0; });
    if (!used) continue;
    for (size_t ch = 0; ch < song.channelUsage.size(); ++ch) {
      if (song.channelUsage[ch] != 0) w.usage[ch] = 1;
    }
  }
}

int BuildPlainTrack(uint8_t channel, const Song& song, const TickOrder& order, ByteBuffer& body) {
  int result = -1;
  // Absolute time of the last message written.
  uint64_t reference = 0;
  for (const uint32_t i : order.byChannel[channel]) {
    const Tsys& e = song.sysEx.events[i];
    // A part with events but nothing converted still gets its (empty) track.
    result = 0;
    const int n = MessageCount(e);
    if (n == 0) continue;
    // An event that would land inside the previous NRPN/RPN group goes right
    // after it instead, so the group stays whole and time never runs back.
    const uint64_t at = std::max<uint64_t>(e.tick, reference);
    AppendDeltaTime(body, at - reference, e.tick);
    AppendMessage(body, channel, e.ccNumber[0], e.ccValue[0]);
    for (int m = 1; m < n; ++m) {
      AppendDeltaTime(body, kPlainGroupStep, e.tick);
      AppendMessage(body, channel, e.ccNumber[m], e.ccValue[m]);
    }
    reference = at + uint64_t(kPlainGroupStep) * uint64_t(n - 1);
  }
  return result;
}

int BuildFormalTrack(uint8_t channel, const SetupTable& table, const Song& song, const TickOrder& order,
                     ByteBuffer& body) {
  int result = -1;
  uint32_t pendingDelta = kFormalStart;
  // Groups are packed: 10 ticks after a single message, and the messages of
  // a three-message group 1 tick apart, the next group 4 ticks after them.
  auto group = [&](std::initializer_list<std::pair<uint8_t, uint8_t>> messages) {
    uint32_t index = 0;
    for (const auto& [number, value] : messages) {
      AppendDeltaTime(body, index == 0 ? pendingDelta : 1, 0);
      AppendMessage(body, channel, number, value);
      pendingDelta = 10 - 3 * index;
      ++index;
    }
  };
  for (const SetupWork& w : table) {
    if (w.usage[channel] == 0) continue;
    result = 0;
    const uint8_t value = w.value[channel];
    switch (w.kind) {
      case SetupKind::Controller:
        group({{w.number, value}});
        break;
      case SetupKind::Nrpn:
        group({{kCcNrpnMsb, w.number}, {kCcNrpnLsb, w.lsb}, {kCcDataEntry, value}});
        break;
      case SetupKind::Rpn:
        group({{kCcRpnMsb, w.number}, {kCcRpnLsb, w.lsb}, {kCcDataEntry, value}});
        break;
      case SetupKind::DrumNrpn:
        // Every drum event of the entry, in time order: each sets a
        // different note, so none replaces another.
        for (const uint32_t i : order.byChannel[channel]) {
          const Tsys& e = song.sysEx.events[i];
          if (!IsNrpnEvent(e) || e.ccValue[0] != w.number) continue;
          group({{kCcNrpnMsb, e.ccValue[0]}, {kCcNrpnLsb, e.ccValue[1]}, {kCcDataEntry, e.ccValue[2]}});
        }
        break;
    }
  }
  return result;
}

}  // namespace mertovan
