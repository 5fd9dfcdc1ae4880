#include "writer/target.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "analysis/gs_params.h"
#include "analysis/param_names.h"
#include "analysis/stored_message.h"
#include "model/midi_bytes.h"
#include "model/position.h"
#include "model/smf_reader.h"
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

// ------------------------------------------------------------------ the file

// The bytes of one event: a song has tens of thousands, nearly all of them
// channel messages of two or three bytes, kept in place; only longer SysEx
// and meta events take memory of their own.
class EventBytes {
 public:
  EventBytes() = default;
  EventBytes(std::span<const uint8_t> bytes) : size_(uint32_t(bytes.size())) {
    if (bytes.size() > kInline) heap_ = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data());
  }
  EventBytes(std::initializer_list<uint8_t> bytes) : EventBytes(std::span<const uint8_t>(bytes.begin(), bytes.size())) {}
  EventBytes(const EventBytes& other) : EventBytes(std::span<const uint8_t>(other)) {}
  EventBytes& operator=(const EventBytes& other) {
    if (this != &other) *this = EventBytes(other);
    return *this;
  }
  EventBytes(EventBytes&&) = default;
  EventBytes& operator=(EventBytes&&) = default;
  uint8_t* data() { return size_ <= kInline ? inline_.data() : heap_.get(); }
  const uint8_t* data() const { return size_ <= kInline ? inline_.data() : heap_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t& operator[](size_t i) { return data()[i]; }
  uint8_t operator[](size_t i) const { return data()[i]; }
  operator std::span<const uint8_t>() const { return {data(), size_}; }

 private:
  static constexpr size_t kInline = 12;
  std::array<uint8_t, kInline> inline_{};
  uint32_t size_ = 0;
  std::unique_ptr<uint8_t[]> heap_;
};

// One event after its delta time: a channel message with its status byte, a
// meta event (FF, type, length, data) or a SysEx event (F0/F7, length, data).
struct Event {
  uint32_t tick;
  EventBytes bytes;
};
struct Chunk {
  bool track = false;
  std::vector<Event> events;   // a track; an event without bytes is taken out
  // Events put in after the event at `first` (in this order).
  std::vector<std::pair<uint32_t, Event>> added;
  std::vector<uint8_t> raw;    // any other chunk, whole
};
struct File {
  size_t size = 0;  // of the image it was read from
  uint16_t format = 1;
  uint16_t division = 480;
  std::vector<Chunk> chunks;   // after the header
};

[[noreturn]] void Damaged() { throw ConvertError("Cannot convert for the target: the song layout came out damaged"); }

File Parse(std::span<const uint8_t> image) {
  File file;
  file.size = image.size();
  if (image.size() < 14 || std::memcmp(image.data(), "MThd", 4) != 0) Damaged();
  file.format = uint16_t(image[8] << 8 | image[9]);
  file.division = uint16_t(image[12] << 8 | image[13]);
  size_t at = 14;
  while (at + 8 <= image.size()) {
    const size_t length = size_t(image[at + 4]) << 24 | size_t(image[at + 5]) << 16 | size_t(image[at + 6]) << 8 |
                          image[at + 7];
    if (length > image.size() - at - 8) Damaged();
    Chunk chunk;
    if (std::memcmp(image.data() + at, "MTrk", 4) != 0) {
      chunk.raw.assign(image.begin() + long(at), image.begin() + long(at + 8 + length));
    } else {
      chunk.track = true;
      const std::span<const uint8_t> body = image.subspan(at + 8, length);
      chunk.events.reserve(length / 3);  // a delta time and two bytes at least
      size_t p = 0;
      uint32_t tick = 0;
      uint8_t running = 0;
      const auto varLen = [&] {
        const VarLenRead v = ReadVarLen(body.subspan(p, std::min<size_t>(4, body.size() - p)));
        if (v.size == 0) Damaged();
        p += v.size;
        return v.value;
      };
      while (p < body.size()) {
        tick += varLen();
        if (p >= body.size()) Damaged();
        const size_t begin = p;
        const uint8_t b = body[p];
        if (b == kStatusMeta || b == kStatusSysEx || b == kStatusSysExEnd) {
          p += b == kStatusMeta ? 2 : 1;
          if (p > body.size()) Damaged();
          const uint32_t n = varLen();
          if (n > body.size() - p) Damaged();
          p += n;
          chunk.events.push_back({tick, EventBytes(body.subspan(begin, p - begin))});
        } else {
          if (b >= 0x80) {
            running = b;
            ++p;
          }
          if (running == 0) Damaged();
          const int32_t n = DataByteCount(running);
          if (n < 0 || size_t(n) > body.size() - p) Damaged();
          std::array<uint8_t, 3> message{running, 0, 0};
          std::copy_n(body.begin() + long(p), n, message.begin() + 1);
          chunk.events.push_back({tick, EventBytes(std::span<const uint8_t>(message.data(), size_t(n) + 1))});
          p += size_t(n);
        }
      }
    }
    file.chunks.push_back(std::move(chunk));
    at += 8 + length;
  }
  return file;
}

std::vector<uint8_t> Write(const File& file) {
  ByteBuffer image;
  image.reserve(file.size + 1024);
  uint16_t tracks = 0;
  for (const Chunk& c : file.chunks) tracks += c.track;
  AppendHeaderChunk(image, file.format, tracks, file.division);
  for (const Chunk& c : file.chunks) {
    if (!c.track) {
      AppendBytes(image, c.raw);
      continue;
    }
    ByteBuffer body;
    body.reserve(4 * c.events.size());
    uint32_t now = 0;
    const auto put = [&](const Event& e) {
      if (e.bytes.empty()) return;
      AppendDeltaTime(body, e.tick - now, e.tick);
      now = e.tick;
      AppendBytes(body, e.bytes);
    };
    auto added = c.added.begin();
    for (uint32_t i = 0; i < c.events.size(); ++i) {
      put(c.events[i]);
      for (; added != c.added.end() && added->first == i; ++added) put(added->second);
    }
    AppendTrackChunk(image, body);
  }
  return image;
}

// The message of a SysEx event after F0 (its length skipped).
std::span<const uint8_t> SysExBody(const Event& e) {
  const std::span<const uint8_t> bytes = e.bytes;
  const VarLenRead length = ReadVarLen(bytes.subspan(1));
  return bytes.subspan(std::min<size_t>(1 + length.size, bytes.size()));
}

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

std::string NameOfXg(std::span<const uint8_t> message) {
  SysExList list;
  Tsys& e = list.Append(0, message);
  NameEvent(list, e, ExtentOf(list, e));
  return std::string(e.eventName.view());
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
  }
  Mode Of(size_t slot) const { return mode_[slot]; }
  uint8_t Bank(size_t slot) const { return bank_[slot]; }
  void SetBank(size_t slot, uint8_t msb) {
    bank_[slot] = msb;
    mode_[slot] = msb == 127 ? Mode::Drum : msb == 126 ? Mode::SfxKit : Mode::Normal;
  }
  void SetPartMode(size_t slot, uint8_t partMode) { mode_[slot] = partMode == 0 ? Mode::Normal : Mode::Drum; }

 private:
  std::array<Mode, 64> mode_;
  std::array<uint8_t, 64> bank_;
};

// Where each event of the file stands, in time order over all tracks (the
// earlier track first among equal ticks), with the port its track sends to.
struct Place {
  uint32_t tick;
  uint32_t chunk;
  uint32_t index;
  uint8_t port;
};
std::vector<Place> TimeOrder(const File& file) {
  std::vector<Place> order;
  for (size_t c = 0; c < file.chunks.size(); ++c) {
    uint8_t port = 0;
    const auto& events = file.chunks[c].events;
    for (size_t i = 0; i < events.size(); ++i) {
      const EventBytes& b = events[i].bytes;
      if (b.size() == 4 && b[0] == kStatusMeta && b[1] == kMetaPort && b[2] == 1) port = b[3] & 3;
      order.push_back({events[i].tick, uint32_t(c), uint32_t(i), port});
    }
  }
  // Each track runs forwards in time: merging them pairwise keeps the earlier
  // track first among equal ticks.
  std::vector<size_t> runs;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i == 0 || order[i].chunk != order[i - 1].chunk) runs.push_back(i);
  }
  runs.push_back(order.size());
  std::vector<Place> merged(order.size());
  const auto earlier = [](const Place& a, const Place& b) { return a.tick < b.tick; };
  while (runs.size() > 2) {
    std::vector<size_t> next;
    for (size_t r = 0; r + 1 < runs.size(); r += 2) {
      next.push_back(runs[r]);
      const auto from = order.begin() + long(runs[r]);
      const auto middle = order.begin() + long(runs[r + 1]);
      const auto to = r + 2 < runs.size() ? order.begin() + long(runs[r + 2]) : order.end();
      std::merge(from, middle, middle, to, merged.begin() + long(runs[r]), earlier);
    }
    next.push_back(order.size());
    order.swap(merged);
    runs = std::move(next);
  }
  return order;
}

bool IsChannelMessage(const Event& e) { return !e.bytes.empty() && e.bytes[0] < 0xF0; }

class Converter {
 public:
  Converter(File& file, Target target, std::vector<TargetReportRow>& report)
      : file_(file), target_(target), report_(report), order_(TimeOrder(file)) {}

  void Run() {
    if (target_ == Target::Gm) PlanGmChannels();
    PartModes modes;
    std::array<Mode, 64> announced{};  // GS: the rhythm mode each part was last given
    for (size_t s = 0; s < announced.size(); ++s) announced[s] = modes.Of(s);
    std::vector<Event> out;  // what the event becomes: nothing, itself, or several events
    for (const Place& at : order_) {
      // Each event is taken once, and becomes what `out` holds then.
      Event& e = file_.chunks[at.chunk].events[at.index];
      out.clear();
      if (!IsChannelMessage(e)) {
        if (e.bytes[0] == kStatusSysEx) {
          const bool xgOn = SystemOnOf(SysExBody(e)).kind == SystemOn::Xg;
          SysEx(e, at, modes, out);
          // The GS Reset that takes the place of XG System On sets the
          // rhythm parts as XG System On sets the drum parts.
          if (xgOn) {
            for (size_t s = 0; s < announced.size(); ++s) announced[s] = modes.Of(s);
          }
        } else {
          out.push_back(std::move(e));
        }
      } else {
        Channel(e, at, modes, out);
      }
      if (target_ == Target::Gs) AnnounceRhythmParts(at.tick, at.port, modes, announced, out);
      Chunk& chunk = file_.chunks[at.chunk];
      chunk.events[at.index] = out.empty() ? Event{at.tick, {}} : std::move(out.front());
      for (size_t k = 1; k < out.size(); ++k) chunk.added.emplace_back(at.index, std::move(out[k]));
    }
  }

 private:
  void Note(uint32_t tick, uint8_t part, std::string parameter, std::string value, std::string outcome, bool lost) {
    report_.push_back({tick, part, std::move(parameter), std::move(value), std::move(outcome), lost});
  }
  std::string Lost() const { return "dropped: no equivalent on " + std::string(TargetName(target_)); }

  // GM: the channel each channel's messages go to, decided once per song
  // from each channel's mode at its first note. Drum parts move to channel
  // 10; a normal part found there takes the channel the first of them left.
  void PlanGmChannels() {
    PartModes modes;
    std::array<bool, 64> played{};
    std::array<bool, 64> drum{};
    std::array<size_t, 64> notes{};
    for (const Place& at : order_) {
      const Event& e = file_.chunks[at.chunk].events[at.index];
      if (!IsChannelMessage(e)) {
        if (e.bytes[0] == kStatusSysEx) FollowSysEx(SysExBody(e), modes);
        continue;
      }
      const size_t slot = at.port * 16u + (e.bytes[0] & 0x0F);
      const uint8_t kind = e.bytes[0] & 0xF0;
      if (kind == kStatusControlChange && e.bytes[1] == kCcBankSelectMsb) modes.SetBank(slot, e.bytes[2]);
      if (kind == 0x90 && e.bytes[2] != 0) {
        ++notes[slot];
        if (!played[slot]) drum[slot] = modes.Of(slot) != Mode::Normal;
        played[slot] = true;
      }
    }
    for (size_t slot = 0; slot < 64; ++slot) map_[slot] = uint8_t(slot % 16);
    for (size_t port = 0; port < 4; ++port) {
      const size_t base = port * 16;
      std::optional<size_t> firstKit;
      size_t winner = 0, most = 0;
      for (size_t c = 0; c < 16; ++c) {
        if (!drum[base + c]) continue;
        map_[base + c] = 9;
        if (!firstKit) firstKit = c;
        if (notes[base + c] >= most) {
          most = notes[base + c];
          winner = base + c;
        }
      }
      if (!firstKit) continue;
      // A normal part on channel 10 swaps with the (first) kit.
      if (played[base + 9] && !drum[base + 9]) map_[base + 9] = uint8_t(*firstKit);
      size_t kits = 0;
      for (size_t c = 0; c < 16; ++c) kits += drum[base + c];
      for (size_t c = 0; c < 16; ++c) {
        if (!drum[base + c]) continue;
        if (c != 9) {
          Note(0, uint8_t(base + c), "drum part", "channel " + std::to_string(c + 1), "moved to channel 10", false);
        }
        if (kits > 1 && base + c != winner) {
          merged_[base + c] = true;
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

  // The part modes an XG message sets, for the plan.
  static void FollowSysEx(std::span<const uint8_t> m, PartModes& modes) {
    if (SystemOnOf(m).kind == SystemOn::Xg) {
      modes.Reset();
      return;
    }
    const auto x = XgChangeOf(m);
    if (!x || x->ah != 0x08 || x->am >= 64) return;
    if (x->al == 0x07) modes.SetPartMode(x->am, x->dd);
    if (x->al == 0x01) modes.SetBank(x->am, x->dd);
  }

  void SysEx(Event& e, const Place& at, PartModes& modes, std::vector<Event>& out) {
    const std::span<const uint8_t> m = SysExBody(e);
    FollowSysEx(m, modes);
    if (SystemOnOf(m).kind == SystemOn::Xg) {
      const auto& reset = target_ == Target::Gm ? std::span<const uint8_t>(kGmSystemOnEvent)
                                                : std::span<const uint8_t>(kGsResetEvent);
      out.push_back({e.tick, EventBytes(reset)});
      Note(e.tick, kNone, "XG System on", "", target_ == Target::Gm ? "replaced by GM System On" : "replaced by GS Reset",
           false);
      return;
    }
    if (m.empty() || m[0] != 0x43) {  // universal and other makers' messages stay
      out.push_back(std::move(e));
      return;
    }
    const auto x = XgChangeOf(m);
    const std::string name = NameOfXg(m);
    const std::string value = x ? std::to_string(x->dd) : "";
    const uint8_t part = x && x->ah == 0x08 && x->am < 64 ? x->am : kNone;
    if (x && x->ah == 0x08 && part != kNone && (x->al == 0x08 || x->al == 0x05)) {
      // Note Shift becomes Channel Coarse Tuning, Mono/Poly Mode the mode
      // messages, on the part's channel where its track sends to its port.
      if (part / 16 != at.port) {
        Note(e.tick, part, name, value, "dropped: the part's port is not its track's", true);
        return;
      }
      const uint8_t channel = OutChannel(part);
      if (x->al == 0x08) {
        for (const auto& [cc, v] : {std::pair<uint8_t, uint8_t>{kCcRpnMsb, 0}, {kCcRpnLsb, 2}, {kCcDataEntry, x->dd}}) {
          out.push_back({e.tick, {uint8_t(kStatusControlChange | channel), cc, v}});
        }
        Note(e.tick, part, name, value, "kept as RPN 0/2 (coarse tuning)", false);
      } else {
        out.push_back({e.tick, {uint8_t(kStatusControlChange | channel), uint8_t(x->dd == 0 ? 126 : 127),
                                uint8_t(x->dd == 0 ? 1 : 0)}});
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
        const auto gs = GsDataSet(0, 0x01, reverb ? 0x30 : 0x38, macro->gsMacro);
        out.push_back({e.tick, EventBytes(gs)});
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

  uint8_t OutChannel(size_t slot) const { return target_ == Target::Gm ? map_[slot] : uint8_t(slot % 16); }

  void Channel(Event& e, const Place& at, PartModes& modes, std::vector<Event>& out) {
    const size_t slot = at.port * 16u + (e.bytes[0] & 0x0F);
    const uint8_t kind = e.bytes[0] & 0xF0;
    const uint8_t channel = OutChannel(slot);
    e.bytes[0] = uint8_t(kind | channel);
    if (kind == kStatusControlChange) {
      if (e.bytes[1] == kCcBankSelectMsb) modes.SetBank(slot, e.bytes[2]);
      if (!Controller(e, slot, channel, modes, out)) return;
    } else if (kind == kStatusProgramChange) {
      if (modes.Bank(slot) == 64 && modes.Of(slot) == Mode::Normal) {
        const uint8_t gm = GmProgramOfSfx(e.bytes[1]);
        Note(e.tick, uint8_t(slot), "SFX voice", "program " + std::to_string(e.bytes[1] + 1),
             "approximated as GM program " + std::to_string(gm + 1), true);
        e.bytes[1] = gm;
      } else if (modes.Of(slot) == Mode::SfxKit) {
        e.bytes[1] = 56;  // the SFX kit of the GS and GM2 sets
      }
      if (merged_[slot]) return;
    } else if (merged_[slot] && kind != 0x80 && kind != 0x90 && kind != 0xA0) {
      return;  // a merged kit keeps its notes only
    }
    out.push_back(std::move(e));
  }

  // Writes a control change as the target takes it; false when nothing of it
  // is written.
  bool Controller(Event& e, size_t slot, uint8_t channel, const PartModes& modes, std::vector<Event>& out) {
    const uint8_t cc = e.bytes[1], v = e.bytes[2];
    Selection& sel = selection_[slot];
    if (merged_[slot]) return false;
    if (cc == kCcBankSelectMsb || cc == kCcBankSelectLsb) {
      if (target_ == Target::Gm && channel == 9) return false;  // GM has one drum kit on channel 10
      if (modes.Bank(slot) == 64) e.bytes[2] = 0;                // an SFX voice becomes a GM program of bank 0/0
      return true;
    }
    if (cc == kCcNrpnMsb) {
      sel = {true, v, 0xFF, false};
      held_[slot] = e;
      return false;  // written with its LSB, when the number is known
    }
    if (cc == kCcNrpnLsb && sel.nrpn) {
      sel.lsb = v;
      sel.dropped = target_ == Target::Gm || !GsKnowsNrpn(sel.msb, sel.lsb);
      if (sel.dropped) {
        Note(e.tick, uint8_t(slot), "NRPN " + std::to_string(sel.msb) + "/" + std::to_string(v), "", Lost(), true);
        return false;
      }
      out.push_back(held_[slot]);
      return true;
    }
    if (cc == kCcRpnMsb) sel = {false, v, 0xFF, false};
    if (cc == kCcRpnLsb && !sel.nrpn) {
      sel.lsb = v;
      sel.dropped = target_ == Target::Gm && !(sel.msb == 0 && v <= 2);
      if (sel.dropped) Note(e.tick, uint8_t(slot), "RPN " + std::to_string(sel.msb) + "/" + std::to_string(v), "", Lost(), true);
      return !sel.dropped;
    }
    if (cc == kCcDataEntry || cc == 38 || cc == 96 || cc == 97) return !sel.dropped;
    if (target_ == Target::Gs) {
      if (const auto lsb = GsNrpnOfController(cc)) {
        // A classic GS module takes the filter and envelope as NRPN 1/n.
        const uint8_t status = uint8_t(kStatusControlChange | channel);
        for (const auto& [c, value] : {std::pair<uint8_t, uint8_t>{kCcNrpnMsb, 1}, {kCcNrpnLsb, *lsb}, {kCcDataEntry, v}}) {
          out.push_back({e.tick, {status, c, value}});
        }
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
  void AnnounceRhythmParts(uint32_t tick, uint8_t port, const PartModes& modes, std::array<Mode, 64>& announced,
                           std::vector<Event>& out) {
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
      out.push_back({tick, EventBytes(GsDataSet(port, uint8_t(0x10 | GsBlock(c)), 0x15, map))});
      Note(tick, uint8_t(slot), "drum part", drum ? "on" : "off",
           "kept as GS Use For Rhythm Part " + std::to_string(map), false);
    }
  }

  struct Selection {
    bool nrpn = false;
    uint8_t msb = 0x7F, lsb = 0x7F;
    bool dropped = false;
  };

  File& file_;
  Target target_;
  std::vector<TargetReportRow>& report_;
  std::vector<Place> order_;
  std::array<uint8_t, 64> map_{};
  std::array<bool, 64> merged_{};
  std::array<Selection, 64> selection_{};
  std::array<Event, 64> held_{};
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

std::vector<uint8_t> MakeForTarget(std::span<const uint8_t> image, Target target, std::vector<TargetReportRow>& report) {
  if (target == Target::Xg) return {image.begin(), image.end()};
  File file = Parse(image);
  Converter(file, target, report).Run();
  return Write(file);
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
