#include "writer/target.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <utility>

#include "analysis/gs_params.h"
#include "model/midi_bytes.h"
#include "model/position.h"
#include "writer/file_image.h"

namespace mertovan {

namespace {

// ------------------------------------------------------------------ tables

// The XG SFX voices (bank select MSB 64), program numbers counted 1-128 as
// the XG voice list counts them, and the GM sound effect (programs 121-128)
// nearest to each. A program the list does not hold becomes Seashore, the
// most neutral of the eight.
struct SfxVoice {
  uint8_t xgProgram;  // 1-128
  uint8_t gmProgram;  // 121-128
};
constexpr SfxVoice kSfxVoices[] = {
    {1, 121},    // Cutting Noise          -> Guitar Fret Noise
    {2, 121},    // Cutting Noise 2        -> Guitar Fret Noise
    {4, 121},    // String Slap            -> Guitar Fret Noise
    {17, 122},   // Flute Key Click        -> Breath Noise
    {33, 123},   // Rain                   -> Seashore
    {34, 123},   // Thunder                -> Seashore
    {35, 123},   // Wind                   -> Seashore
    {36, 123},   // Stream                 -> Seashore
    {37, 123},   // Bubble                 -> Seashore
    {38, 124},   // Feed                   -> Bird Tweet
    {49, 124},   // Dog                    -> Bird Tweet
    {50, 124},   // Horse Gallop           -> Bird Tweet
    {51, 124},   // Bird Tweet 2           -> Bird Tweet
    {55, 122},   // Ghost                  -> Breath Noise
    {56, 122},   // Maou                   -> Breath Noise
    {65, 125},   // Telephone Dial         -> Telephone Ring
    {66, 121},   // Door Squeak            -> Guitar Fret Noise
    {67, 128},   // Door Slam              -> Gunshot
    {68, 121},   // Scratch Cut            -> Guitar Fret Noise
    {69, 121},   // Scratch Split          -> Guitar Fret Noise
    {70, 123},   // Wind Chime             -> Seashore
    {71, 125},   // Telephone Ring 2       -> Telephone Ring
    {81, 126},   // Car Engine Ignition    -> Helicopter
    {82, 121},   // Car Tires Squeal       -> Guitar Fret Noise
    {83, 126},   // Car Passing            -> Helicopter
    {84, 128},   // Car Crash              -> Gunshot
    {85, 126},   // Siren                  -> Helicopter
    {86, 126},   // Train                  -> Helicopter
    {87, 126},   // Jet Plane              -> Helicopter
    {88, 126},   // Starship               -> Helicopter
    {89, 128},   // Burst                  -> Gunshot
    {90, 126},   // Roller Coaster         -> Helicopter
    {91, 126},   // Submarine              -> Helicopter
    {97, 127},   // Laugh                  -> Applause
    {98, 127},   // Scream                 -> Applause
    {99, 128},   // Punch                  -> Gunshot
    {100, 128},  // Heartbeat              -> Gunshot
    {101, 128},  // Footsteps              -> Gunshot
    {113, 128},  // Machine Gun            -> Gunshot
    {114, 128},  // Laser Gun              -> Gunshot
    {115, 128},  // Explosion              -> Gunshot
    {116, 128},  // Firework               -> Gunshot
};

uint8_t GmProgramOfSfx(uint8_t program) {  // both 0-based
  for (const SfxVoice& v : kSfxVoices) {
    if (v.xgProgram == program + 1) return uint8_t(v.gmProgram - 1);
  }
  return 122;  // Seashore
}

// The GS reverb and chorus macros nearest to the XG reverb and chorus types
// (by Type MSB; the LSB picks among variations of one type).
struct EffectMacro {
  uint8_t xgMsb;
  uint8_t xgLsb;     // 255: any
  uint8_t gsMacro;
  bool exact;        // the same kind of effect, not an approximation
  std::string_view gsName;
};
constexpr EffectMacro kReverbMacros[] = {
    {0x01, 0x00, 3, true, "Hall 1"},    // Hall 1        -> Hall 1
    {0x01, 0xFF, 4, true, "Hall 2"},    // Hall 2        -> Hall 2
    {0x02, 0x00, 0, true, "Room 1"},    // Room 1        -> Room 1
    {0x02, 0x01, 1, true, "Room 2"},    // Room 2        -> Room 2
    {0x02, 0xFF, 2, true, "Room 3"},    // Room 3        -> Room 3
    {0x03, 0xFF, 3, false, "Hall 1"},   // Stage 1, 2    -> Hall 1
    {0x04, 0xFF, 5, true, "Plate"},     // Plate         -> Plate
    {0x10, 0xFF, 0, false, "Room 1"},   // White Room    -> Room 1
    {0x11, 0xFF, 4, false, "Hall 2"},   // Tunnel        -> Hall 2
    {0x12, 0xFF, 4, false, "Hall 2"},   // Canyon        -> Hall 2
    {0x13, 0xFF, 2, false, "Room 3"},   // Basement      -> Room 3
};
constexpr EffectMacro kChorusMacros[] = {
    {0x41, 0x00, 0, true, "Chorus 1"},   // Chorus 1      -> Chorus 1
    {0x41, 0x01, 1, true, "Chorus 2"},   // Chorus 2      -> Chorus 2
    {0x41, 0x02, 2, true, "Chorus 3"},   // Chorus 3      -> Chorus 3
    {0x41, 0xFF, 3, true, "Chorus 4"},   // Chorus 4      -> Chorus 4
    {0x42, 0xFF, 2, false, "Chorus 3"},  // Celeste 1-4   -> Chorus 3
    {0x43, 0xFF, 5, true, "Flanger"},    // Flanger 1-3   -> Flanger
    {0x44, 0xFF, 3, false, "Chorus 4"},  // Symphonic     -> Chorus 4
};

const EffectMacro* MacroOf(std::span<const EffectMacro> macros, uint8_t msb, uint8_t lsb) {
  for (const EffectMacro& m : macros) {
    if (m.xgMsb == msb && (m.xgLsb == lsb || m.xgLsb == 0xFF)) return &m;
  }
  return nullptr;
}

// The NRPNs a GS module receives: vibrato, the filter and envelope of a
// part, and the pitch, level, pan and sends of a drum instrument.
bool GsKnowsNrpn(uint8_t msb, uint8_t lsb) {
  if (msb == 1) return lsb == 8 || lsb == 9 || lsb == 10 || lsb == 32 || lsb == 33 || lsb == 99 || lsb == 100 || lsb == 102;
  return msb == 24 || msb == 26 || msb == 28 || msb == 29 || msb == 30;
}

// Controllers 71-74, which a classic GS module takes as NRPN.
std::optional<uint8_t> GsNrpnOfController(uint8_t cc) {
  switch (cc) {
    case 71: return 33;   // resonance
    case 72: return 102;  // release time
    case 73: return 99;   // attack time
    case 74: return 32;   // cutoff
    default: return std::nullopt;
  }
}

// The GS part block of a channel: block 0 is part 10, blocks 1-9 parts 1-9,
// blocks A-F parts 11-16.
uint8_t GsBlock(uint8_t channel) { return channel == 9 ? 0 : channel < 9 ? uint8_t(channel + 1) : channel; }

// A GS data set of one value as an F0 event (its length included), on the
// first port's address map (40 ...) or the second's (50 ...).
std::vector<uint8_t> GsDataSet(uint8_t port, uint8_t mid, uint8_t low, uint8_t value) {
  const uint8_t high = port == 0 ? 0x40 : 0x50;
  const uint8_t addressAndValue[] = {high, mid, low, value};
  return {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, high, mid, low, value, RolandChecksum(addressAndValue), 0xF7};
}

constexpr uint8_t kGmSystemOnEvent[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
constexpr uint8_t kGsResetEvent[] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

// ------------------------------------------------------------------ the rules

// An XG parameter change: F0 43 1n 4C ah am al dd ... F7.
struct XgChange {
  uint8_t ah, am, al, dd, dd2;
  bool hasSecond;
};
std::optional<XgChange> XgChangeOf(std::span<const uint8_t> m) {
  if (m.size() < 8 || m[0] != 0x43 || (m[1] & 0xF0) != 0x10 || m[2] != 0x4C) return std::nullopt;
  for (size_t i = 3; i < 7; ++i) {
    if (m[i] >= 0x80) return std::nullopt;
  }
  const bool second = m.size() >= 9 && m[7] < 0x80;
  return XgChange{m[3], m[4], m[5], m[6], second ? m[7] : uint8_t(0), second};
}

// ------------------------------------------------------------------ the rules

enum class Mode : uint8_t { Normal, Drum, SfxKit };

// Each part's mode as an XG module follows it through the song: XG System
// On makes part 10 of each port a drum part and the others normal; Part Mode
// and bank select MSB 127 (a kit) or 126 (an SFX kit) make a part a drum part,
// another bank select MSB normal again.
class PartModes {
 public:
  PartModes() { Reset(); }
  void Reset() {
    for (size_t slot = 0; slot < mode_.size(); ++slot) mode_[slot] = slot % 16 == 9 ? Mode::Drum : Mode::Normal;
    bank_.fill(0);
    changed_ = true;
  }
  // Whether a mode may have changed since the last call.
  bool TakeChange() { return std::exchange(changed_, false); }
  Mode Of(size_t slot) const { return mode_[slot]; }
  uint8_t Bank(size_t slot) const { return bank_[slot]; }
  void SetBank(size_t slot, uint8_t msb) {
    bank_[slot] = msb;
    mode_[slot] = msb == 127 ? Mode::Drum : msb == 126 ? Mode::SfxKit : Mode::Normal;
    changed_ = true;
  }
  void SetPartMode(size_t slot, uint8_t partMode) {
    mode_[slot] = partMode == 0 ? Mode::Normal : Mode::Drum;
    changed_ = true;
  }

 private:
  std::array<Mode, 64> mode_;
  std::array<uint8_t, 64> bank_;
  bool changed_ = false;
};

// The part modes an XG message sets.
void FollowSysEx(std::span<const uint8_t> m, PartModes& modes) {
  if (SystemOnOf(m).kind == SystemOn::Xg) {
    modes.Reset();
    return;
  }
  const auto x = XgChangeOf(m);
  if (!x || x->ah != 0x08 || x->am >= 64) return;
  if (x->al == 0x07) modes.SetPartMode(x->am, x->dd);
  if (x->al == 0x01) modes.SetBank(x->am, x->dd);
}

size_t SlotOf(const TargetEvent& e) { return e.port * 16u + (e.message[0] & 0x0F); }

// One channel message.
struct Message {
  std::array<uint8_t, 3> bytes{};
  uint8_t size = 0;
  std::span<const uint8_t> View() const { return {bytes.data(), size}; }
};
// Program change and channel pressure have one data byte, the others two.
Message MessageOf(const TargetEvent& e) { return {e.message, uint8_t((e.message[0] & 0xE0) == 0xC0 ? 2 : 3)}; }
Message ControlChange(uint8_t channel, uint8_t cc, uint8_t value) {
  return {{uint8_t(kStatusControlChange | channel), cc, value}, 3};
}

// The SysEx message `body` (the bytes after F0) as an F0 event.
std::vector<uint8_t> SysExEvent(std::span<const uint8_t> body) {
  std::vector<uint8_t> event{kStatusSysEx};
  AppendVarLen(event, body.size(), "length of a SysEx message", 0);
  event.insert(event.end(), body.begin(), body.end());
  return event;
}

class Converter {
 public:
  Converter(Target target, TargetChanges& changes, std::vector<TargetReportRow>& report)
      : target_(target), changes_(changes), report_(report) {
    for (size_t slot = 0; slot < 64; ++slot) changes_.channel[slot] = uint8_t(slot % 16);
  }

  void Run(std::span<TargetEvent> events) {
    PartModes modes;
    std::array<Mode, 64> announced{};  // GS: the rhythm mode each part was last given
    for (size_t s = 0; s < announced.size(); ++s) announced[s] = modes.Of(s);
    for (TargetEvent& e : events) {
      if (e.kind == TargetEvent::Kind::FirstNote) continue;
      if (e.kind == TargetEvent::Kind::SysEx && e.fixed) {
        FollowSysEx(e.sysEx, modes);
        continue;
      }
      begin_ = uint32_t(changes_.bytes.size());
      if (e.kind == TargetEvent::Kind::SysEx) {
        SysEx(e, modes);
        // The GS Reset that takes the place of XG System On sets the rhythm
        // parts as XG System On sets the drum parts.
        if (SystemOnOf(e.sysEx).kind == SystemOn::Xg) {
          for (size_t s = 0; s < announced.size(); ++s) announced[s] = modes.Of(s);
        }
      } else {
        Channel(e, modes);
      }
      if (target_ == Target::Gs && modes.TakeChange()) AnnounceRhythmParts(e.tick, modes, announced);
      Settle(e);
    }
  }

  // GM: the channel each channel's messages go to, decided once per song
  // from each channel's mode at its first note. Drum parts move to channel
  // 10; a normal part found there takes the channel the first of them left.
  void PlanGmChannels(std::span<const TargetEvent> events, const NoteCounter& countNotes) {
    PartModes modes;
    std::array<bool, 64> played{};
    std::array<bool, 64> drum{};
    for (const TargetEvent& e : events) {
      if (e.kind == TargetEvent::Kind::SysEx) {
        FollowSysEx(e.sysEx, modes);
      } else if (e.kind == TargetEvent::Kind::FirstNote) {
        if (!played[SlotOf(e)]) drum[SlotOf(e)] = modes.Of(SlotOf(e)) != Mode::Normal;
        played[SlotOf(e)] = true;
      } else if ((e.message[0] & 0xF0) == kStatusControlChange && e.message[1] == kCcBankSelectMsb) {
        modes.SetBank(SlotOf(e), e.message[2]);
      }
    }
    // Which kit has the most notes matters only where kits merge.
    uint16_t merging = 0;
    for (size_t port = 0; port < 4; ++port) {
      uint16_t kits = 0;
      for (size_t c = 0; c < 16; ++c) kits |= uint16_t(drum[port * 16 + c] ? 1u << c : 0u);
      if (std::popcount(kits) > 1) merging |= kits;
    }
    const std::array<uint32_t, 64> notes = merging != 0 ? countNotes(merging) : std::array<uint32_t, 64>{};
    std::array<uint8_t, 64>& map = changes_.channel;
    for (size_t port = 0; port < 4; ++port) {
      const size_t base = port * 16;
      std::optional<size_t> firstKit;
      size_t winner = 0, most = 0, kits = 0;
      for (size_t c = 0; c < 16; ++c) {
        if (!drum[base + c]) continue;
        map[base + c] = 9;
        ++kits;
        if (!firstKit) firstKit = c;
        if (notes[base + c] >= most) {
          most = notes[base + c];
          winner = base + c;
        }
      }
      if (!firstKit) continue;
      // A normal part on channel 10 swaps with the (first) kit.
      if (played[base + 9] && !drum[base + 9]) map[base + 9] = uint8_t(*firstKit);
      for (size_t c = 0; c < 16; ++c) {
        if (!drum[base + c]) continue;
        if (c != 9) {
          Note(0, uint8_t(base + c), "drum part", "channel " + std::to_string(c + 1), "moved to channel 10", false);
        }
        if (kits > 1 && base + c != winner) {
          changes_.merged[base + c] = true;
          Note(0, uint8_t(base + c), "drum part", "channel " + std::to_string(c + 1),
               "merged into channel 10: its notes play there, the controllers of part " + std::to_string(winner + 1) +
                   " win",
               true);
        }
      }
      if (played[base + 9] && !drum[base + 9]) {
        Note(0, uint8_t(base + 9), "normal part", "channel 10", "moved to channel " + std::to_string(*firstKit + 1),
             false);
      }
    }
  }

 private:
  void Note(uint32_t tick, uint8_t part, std::string parameter, std::string value, std::string outcome, bool lost) {
    report_.push_back({tick, part, std::move(parameter), std::move(value), std::move(outcome), lost});
  }
  const std::string& Lost() const { return lost_; }

  // Appends one complete event to what the current event becomes.
  void Put(std::span<const uint8_t> event) {
    std::vector<uint8_t>& out = changes_.bytes;
    if (out.size() > begin_) out.push_back(0x00);  // the next event's delta time
    for (const uint8_t b : event) out.push_back(b);
  }
  void Put(const Message& m) { Put(m.View()); }

  // What the event became is in the bytes from begin_: an event that became
  // just itself (on its planned channel) stays as it is.
  void Settle(TargetEvent& e) {
    const std::span<const uint8_t> out(changes_.bytes.data() + begin_, changes_.bytes.size() - begin_);
    bool same = false;
    if (!e.converted && e.kind == TargetEvent::Kind::Channel) {
      Message m = MessageOf(e);
      m.bytes[0] = uint8_t((m.bytes[0] & 0xF0) | OutChannel(SlotOf(e)));
      same = std::equal(out.begin(), out.end(), m.View().begin(), m.View().end());
    } else if (e.kind == TargetEvent::Kind::SysEx) {
      const std::vector<uint8_t> event = SysExEvent(e.sysEx);
      same = std::equal(out.begin(), out.end(), event.begin(), event.end());
    }
    if (same) {
      changes_.bytes.resize(begin_);
      return;
    }
    e.changed = true;
    e.out = {begin_, uint32_t(changes_.bytes.size())};
  }

  void SysEx(const TargetEvent& e, PartModes& modes) {
    const std::span<const uint8_t> m = e.sysEx;
    FollowSysEx(m, modes);
    if (SystemOnOf(m).kind == SystemOn::Xg) {
      Put(target_ == Target::Gm ? std::span<const uint8_t>(kGmSystemOnEvent) : std::span<const uint8_t>(kGsResetEvent));
      Note(e.tick, kNone, "XG System on", "", target_ == Target::Gm ? "replaced by GM System On" : "replaced by GS Reset",
           false);
      return;
    }
    if (m.empty() || m[0] != 0x43) {  // universal and other makers' messages stay
      Put(SysExEvent(m));
      return;
    }
    const auto x = XgChangeOf(m);
    const std::string name(e.name.view());
    const std::string value = x ? std::to_string(x->dd) : "";
    const uint8_t part = x && x->ah == 0x08 && x->am < 64 ? x->am : kNone;
    if (x && x->ah == 0x08 && part != kNone && (x->al == 0x08 || x->al == 0x05)) {
      // Note Shift becomes Channel Coarse Tuning, Mono/Poly Mode the mode
      // messages, on the part's channel where its track sends to its port.
      if (part / 16 != e.port) {
        Note(e.tick, part, name, value, "dropped: the part's port is not its track's", true);
        return;
      }
      const uint8_t channel = OutChannel(part);
      if (x->al == 0x08) {
        Put(ControlChange(channel, kCcRpnMsb, 0));
        Put(ControlChange(channel, kCcRpnLsb, 2));
        Put(ControlChange(channel, kCcDataEntry, x->dd));
        Note(e.tick, part, name, value, "kept as RPN 0/2 (coarse tuning)", false);
      } else {
        Put(ControlChange(channel, uint8_t(x->dd == 0 ? 126 : 127), uint8_t(x->dd == 0 ? 1 : 0)));
        Note(e.tick, part, name, value, x->dd == 0 ? "kept as CC 126 (mono)" : "kept as CC 127 (poly)", false);
      }
      return;
    }
    if (target_ == Target::Gs && x && x->ah == 0x02 && x->am == 0x01 && (x->al == 0x00 || x->al == 0x20)) {
      const bool reverb = x->al == 0x00;
      const EffectMacro* macro =
          MacroOf(reverb ? std::span<const EffectMacro>(kReverbMacros) : std::span<const EffectMacro>(kChorusMacros),
                  x->dd, x->hasSecond ? x->dd2 : 0);
      if (macro) {
        Put(GsDataSet(0, 0x01, reverb ? 0x30 : 0x38, macro->gsMacro));
        Note(e.tick, kNone, name, value,
             std::string(macro->exact ? "kept as GS " : "approximated as GS ") + (reverb ? "Reverb" : "Chorus") +
                 " Macro " + std::string(macro->gsName),
             !macro->exact);
        return;
      }
    }
    if (x && x->ah == 0x08 && (x->al == 0x07 || x->al == 0x01)) {
      // Part Mode and bank select decide the drum parts: what they become is
      // said with the drum part.
      Note(e.tick, part, name, value, "followed: decides the drum parts", false);
      return;
    }
    Note(e.tick, part, name.empty() || name == " -" ? "Yamaha SysEx" : name, value, Lost(), true);
  }

  uint8_t OutChannel(size_t slot) const { return changes_.channel[slot]; }

  void Channel(const TargetEvent& e, PartModes& modes) {
    const size_t slot = SlotOf(e);
    Message m = MessageOf(e);
    const uint8_t kind = m.bytes[0] & 0xF0;
    const uint8_t channel = OutChannel(slot);
    m.bytes[0] = uint8_t(kind | channel);
    const bool merged = changes_.merged[slot];
    if (kind == kStatusControlChange) {
      if (m.bytes[1] == kCcBankSelectMsb) modes.SetBank(slot, m.bytes[2]);
      if (!Controller(e.tick, m, slot, channel, modes)) return;
    } else if (kind == kStatusProgramChange) {
      if (modes.Bank(slot) == 64 && modes.Of(slot) == Mode::Normal) {
        const uint8_t gm = GmProgramOfSfx(m.bytes[1]);
        Note(e.tick, uint8_t(slot), "SFX voice", "program " + std::to_string(m.bytes[1] + 1),
             "approximated as GM program " + std::to_string(gm + 1), true);
        m.bytes[1] = gm;
      } else if (modes.Of(slot) == Mode::SfxKit) {
        m.bytes[1] = 56;  // the SFX kit of the GS and GM2 sets
      }
      if (merged) return;
    } else if (merged && kind != 0x80 && kind != 0x90 && kind != 0xA0) {
      return;  // a merged kit keeps its notes only
    }
    Put(m);
  }

  // Writes a control change as the target takes it; false when nothing of it
  // is written.
  bool Controller(uint32_t tick, Message& m, size_t slot, uint8_t channel, const PartModes& modes) {
    const uint8_t cc = m.bytes[1], v = m.bytes[2];
    Selection& sel = selection_[slot];
    if (changes_.merged[slot]) return false;
    if (cc == kCcBankSelectMsb || cc == kCcBankSelectLsb) {
      if (target_ == Target::Gm && channel == 9) return false;  // GM has one drum kit on channel 10
      if (modes.Bank(slot) == 64) m.bytes[2] = 0;               // an SFX voice becomes a GM program of bank 0/0
      return true;
    }
    if (cc == kCcNrpnMsb) {
      sel = {true, v, 0xFF, false};
      held_[slot] = m;
      return false;  // written with its LSB, when the number is known
    }
    if (cc == kCcNrpnLsb && sel.nrpn) {
      sel.lsb = v;
      sel.dropped = target_ == Target::Gm || !GsKnowsNrpn(sel.msb, sel.lsb);
      if (sel.dropped) {
        Note(tick, uint8_t(slot), "NRPN " + std::to_string(sel.msb) + "/" + std::to_string(v), "", Lost(), true);
        return false;
      }
      Put(held_[slot]);
      return true;
    }
    if (cc == kCcRpnMsb) sel = {false, v, 0xFF, false};
    if (cc == kCcRpnLsb && !sel.nrpn) {
      sel.lsb = v;
      sel.dropped = target_ == Target::Gm && !(sel.msb == 0 && v <= 2);
      if (sel.dropped)
        Note(tick, uint8_t(slot), "RPN " + std::to_string(sel.msb) + "/" + std::to_string(v), "", Lost(), true);
      return !sel.dropped;
    }
    if (cc == kCcDataEntry || cc == 38 || cc == 96 || cc == 97) return !sel.dropped;
    if (target_ == Target::Gs) {
      if (const auto lsb = GsNrpnOfController(cc)) {
        // A classic GS module takes the filter and envelope as NRPN 1/n.
        Put(ControlChange(channel, kCcNrpnMsb, 1));
        Put(ControlChange(channel, kCcNrpnLsb, *lsb));
        Put(ControlChange(channel, kCcDataEntry, v));
        sel = {true, 1, *lsb, false};
        return false;
      }
    }
    return true;
  }

  // GS: a part whose drum mode starts or ends gets "Use for rhythm part":
  // map 1 for part 10 and for the first other kit while part 10 plays
  // none, map 2 for another kit (a third kit shares it, and says so), 0 for
  // a part back to normal.
  void AnnounceRhythmParts(uint32_t tick, const PartModes& modes, std::array<Mode, 64>& announced) {
    for (uint8_t port = 0; port < 4; ++port) {
      for (uint8_t c = 0; c < 16; ++c) {
        const size_t slot = port * 16u + c;
        const bool drum = modes.Of(slot) != Mode::Normal;
        if (drum == (announced[slot] != Mode::Normal)) continue;
        announced[slot] = modes.Of(slot);
        uint8_t map = 0;
        if (drum) {
          size_t otherKits = 0;
          for (uint8_t k = 0; k < 16; ++k) {
            if (k != c && k != 9 && announced[port * 16u + k] != Mode::Normal) ++otherKits;
          }
          const bool partTenPlaysDrums = announced[port * 16u + 9] != Mode::Normal;
          map = c == 9 || (!partTenPlaysDrums && otherKits == 0) ? 1 : 2;
          if (c != 9 && otherKits + (partTenPlaysDrums ? 1 : 0) >= 2) {
            Note(tick, uint8_t(slot), "drum part", "map 2", "approximated: a third kit shares drum map 2", true);
          }
        }
        Put(GsDataSet(port, uint8_t(0x10 | GsBlock(c)), 0x15, map));
        Note(tick, uint8_t(slot), "drum part", drum ? "on" : "off",
             "kept as GS Use For Rhythm Part " + std::to_string(map), false);
      }
    }
  }

  struct Selection {
    bool nrpn = false;
    uint8_t msb = 0x7F, lsb = 0x7F;
    bool dropped = false;
  };

  Target target_;
  const std::string lost_ = "dropped: no equivalent on " + std::string(TargetName(target_));
  TargetChanges& changes_;
  std::vector<TargetReportRow>& report_;
  uint32_t begin_ = 0;  // where the current event's output starts in changes_.bytes
  std::array<Selection, 64> selection_{};
  std::array<Message, 64> held_{};
};

}  // namespace

std::string_view TargetName(Target target) {
  switch (target) {
    case Target::Xg:
      return "XG";
    case Target::Gm:
      return "GM";
    case Target::Gs:
      return "GS";
  }
  return "";
}

bool TargetChanges::Moves(uint16_t channels) const {
  for (size_t slot = 0; slot < channel.size(); ++slot) {
    if ((channels >> (slot % 16) & 1) && (channel[slot] != slot % 16 || merged[slot])) return true;
  }
  return false;
}

TargetChanges MakeForTarget(Target target, std::span<TargetEvent> events, const NoteCounter& countNotes,
                            std::vector<TargetReportRow>& report) {
  TargetChanges changes;
  changes.bytes.reserve(4 * events.size());
  Converter converter(target, changes, report);
  if (target == Target::Xg) return changes;
  if (target == Target::Gm) converter.PlanGmChannels(events, countNotes);
  converter.Run(events);
  return changes;
}

std::string TargetReportTsv(const Song& song, std::span<const TargetReportRow> rows) {
  const uint32_t division = song.source.division & 0x8000u || song.source.division == 0 ? kTicksPerQuarter
                                                                                       : song.source.division;
  std::string tsv = "Bar\tBeat\tTick\tPart\tParameter\tValue\tOutcome\n";
  for (const TargetReportRow& r : rows) {
    const uint64_t tick480 = (uint64_t(r.tick) * kTicksPerQuarter + division / 2) / division;
    const uint32_t packed = MusicalPosition(song.timeSignatures, uint32_t(std::min<uint64_t>(tick480, 0xFFFFFFFFu)));
    tsv += std::to_string(packed >> 20) + "\t" + std::to_string((packed >> 12) & 0xFF) + "\t" +
           std::to_string(packed & 0xFFF) + "\t" + (r.part == kNone ? "-" : std::to_string(r.part + 1)) + "\t" +
           r.parameter + "\t" + r.value + "\t" + r.outcome + "\n";
  }
  return tsv;
}

}  // namespace mertovan
