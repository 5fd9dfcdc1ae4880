#include "writer/song_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "analysis/param_names.h"
#include "analysis/stored_message.h"
#include "model/midi_bytes.h"
#include "model/smf_reader.h"
#include "writer/file_image.h"

namespace mertovan {

namespace {

// Parts 1-64: up to four ports of 16 channels.
constexpr uint8_t kParts = 64;

// Delta 0, text event holding the marker by which the program knows its own
// files.
constexpr auto kMarkerEvent = [] {
  std::array<uint8_t, 4 + kMarkerLength> event{0x00, kStatusMeta, kMetaText, uint8_t(kMarkerLength)};
  for (size_t i = 0; i < kMarkerLength; ++i) event[4 + i] = uint8_t(kMarkerText[i]);
  return event;
}();
// The overwrite test wants a 00 right after the marker: when the track's next
// event comes later than tick 0, an empty text event at tick 0 goes between.
constexpr uint8_t kEmptyTextEvent[] = {0x00, kStatusMeta, kMetaText, 0x00};
constexpr uint8_t kEndOfTrack[] = {kStatusMeta, kMetaEndOfTrack, 0x00};

[[noreturn]] void Refuse(const std::string& why) {
  throw ConvertError("Cannot keep the song: " + why + "; nothing was written");
}

// ------------------------------------------------------------ receive channels

// What an XG part receives: Rcv Channel (08 pp 04) values 00-3F are channel
// (v mod 16) of the port whose MIDI port meta value is (v div 16); 7F is off.
// XG System On and GM System On give part n channel n again.
constexpr uint8_t kReceiveOff = 0x7F;
constexpr size_t kReceiveParts = 64;
using Receive = std::array<uint8_t, kReceiveParts>;
constexpr Receive kInitialReceive = [] {
  Receive r{};
  for (size_t p = 0; p < r.size(); ++p) r[p] = uint8_t(p);
  return r;
}();

// Applies `e` to the parts' receive channels if it is a reset or an XG Rcv
// Channel message; returns whether it was one.
bool FollowReceive(const SysExList& list, const Tsys& e, Receive& receive) {
  const uint8_t maker = list.DataByte(e, 0);
  if (maker != 0x43 && maker != 0x7E) return false;  // neither XG nor GM
  const MessageExtent x = ExtentOf(list, e);
  const auto data = list.Data(e).first(x.size);
  if (SystemOnOf(data).kind != SystemOn::None) {
    receive = kInitialReceive;
    return true;
  }
  // F0 43 1n 4C 08 pp 04 vv F7, whole.
  if (x.size < kReadBytes || x.packed || data[0] != 0x43 || (data[1] & 0xF0) != 0x10 || data[2] != 0x4C ||
      data[3] != 0x08 || data[5] != 0x04) {
    return false;
  }
  const uint8_t part = data[4], value = data[6];
  if (part >= receive.size() || (value >= 0x40 && value != kReceiveOff)) return false;
  receive[part] = value;
  return true;
}

// One converted message where the song writes it: on its part's track, on
// the channel and port the part receives on at its tick.
// It carries its controller pairs, so that writing a part's track walks this
// compact list instead of jumping about the whole event list.
struct PartEvent {
  uint8_t part;
  uint8_t channel;
  uint8_t port;
  std::array<uint8_t, 4> ccNumber;
  std::array<uint8_t, 4> ccValue;
  uint32_t tick;  // in the source's own division
  uint32_t index;
  // Its channel messages as a target leaves them, in SongPlan::texts; without
  // a target they are written from the pairs above.
  ByteRange text{};
};

// The converted messages that go out as channel messages, found by following
// every part's receive channel through the song in time order. A part that
// receives nothing, or shares its channel with another part that the song
// addresses at that tick (a layer: a channel message would change both),
// keeps its message as SysEx. `routed` tells, by record, which messages go out
// as channel messages.
std::vector<PartEvent> RouteConverted(const SysExList& list, std::vector<bool>& routed) {
  // A part that no message of the song addresses is taken to play nothing:
  // on a module with fewer parts it does not even exist.
  std::array<bool, kReceiveParts> addressed{};
  for (const Tsys& e : list.events) {
    if (e.part < addressed.size()) addressed[e.part] = true;
  }
  // How many addressed parts receive each channel (a port and channel, 0-3F).
  Receive receive = kInitialReceive;
  std::array<uint8_t, 0x40> listeners{};
  const auto countListeners = [&] {
    listeners.fill(0);
    for (size_t q = 0; q < receive.size(); ++q) {
      if (addressed[q] && receive[q] < listeners.size()) ++listeners[receive[q]];
    }
  };
  countListeners();
  // The messages in time order (list order among equal ticks), as (tick,
  // record) pairs, which sit side by side in memory.
  std::vector<std::pair<uint32_t, uint32_t>> order;
  order.reserve(list.events.size());
  for (uint32_t i = 0; i < list.events.size(); ++i) order.emplace_back(list.places[i].tick, i);
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  routed.assign(list.events.size(), false);
  std::vector<PartEvent> events;
  for (const auto& [tick, i] : order) {
    const Tsys& e = list.events[i];
    if (FollowReceive(list, e, receive)) countListeners();
    if (e.ccNumber[0] == kNone || e.channel >= kParts) continue;
    const uint8_t on = receive[e.channel];
    if (on == kReceiveOff) continue;
    const bool layered = listeners[on] > (addressed[e.channel] ? 1 : 0);
    if (layered) continue;
    routed[i] = true;
    PartEvent& pe = events.emplace_back();
    pe = {e.channel, uint8_t(on & 0x0F), uint8_t(on >> 4), {}, {}, tick, i};
    std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), pe.ccNumber.begin());
    std::copy(std::begin(e.ccValue), std::end(e.ccValue), pe.ccValue.begin());
  }
  return events;
}

// Appends the channel messages of a converted message on `channel`, a 00
// delta time between two.
void PutChannelMessages(const PartEvent& e, uint8_t channel, ByteBuffer& out) {
  for (size_t m = 0; m < 4 && e.ccNumber[m] != kNone; ++m) {
    if (m > 0) out.push_back(0x00);
    const ChannelMessage msg = ChannelMessageOf(channel, e.ccNumber[m], e.ccValue[m]);
    out.insert(out.end(), msg.bytes.begin(), msg.bytes.begin() + msg.size);
  }
}

// ------------------------------------------------------------ the messages' fates

// What the song layout does with a SysEx message in its own track.
enum class Fate : uint8_t {
  Kept,     // stays as it is
  Removed,  // taken out: converted, or unconvertible and not kept
  // To be taken out, but its F0 event cut off a message that never got its
  // F7: taken out, it would let a later F7 event of the track carry on the
  // cut-off message. It stays (a converted one's channel messages are
  // written all the same).
  Pinned,
};
std::vector<Fate> FatesOf(const SysExList& list, const std::vector<bool>& routed, bool includeUnconvertible) {
  std::vector<Fate> fates(list.size(), Fate::Kept);
  uint32_t track = UINT32_MAX;
  bool keptOpen = false;  // the last message kept in the track never got its F7
  for (size_t i = 0; i < list.size(); ++i) {
    if (list.places[i].track != track) {
      track = list.places[i].track;
      keptOpen = false;
    }
    if (routed[i] || !includeUnconvertible) fates[i] = keptOpen ? Fate::Pinned : Fate::Removed;
    if (fates[i] != Fate::Removed) {
      const auto raw = list.Raw(list.events[i]);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
    }
  }
  return fates;
}

// ------------------------------------------------------------------ tracks

// The records of one track: [begin, end) of the list, and the first of the
// continuations that may belong to them.
struct TrackRecords {
  size_t begin = 0;
  size_t end = 0;
  size_t continuation = 0;
};

TrackRecords RecordsOf(const SysExList& list, uint32_t track) {
  const auto before = [&](uint32_t t) {
    return size_t(std::partition_point(list.places.begin(), list.places.end(),
                                       [t](const SourcePlace& p) { return p.track < t; }) -
                  list.places.begin());
  };
  TrackRecords r;
  r.begin = before(track);
  r.end = before(track + 1);
  r.continuation = size_t(std::lower_bound(list.continuations.begin(), list.continuations.end(), r.begin,
                                           [](const Continuation& c, size_t ev) { return c.event < ev; }) -
                          list.continuations.begin());
  return r;
}

// One event of a source track that the song layout takes out, replaces, or
// follows with events of its own.
struct Edit {
  ByteRange packet;  // the event with its delta time
  uint32_t tick;
  std::span<const uint8_t> text;  // complete events, a 00 delta time between two; none when empty
  bool keep = false;              // the event stays and `text` follows it at its tick
  uint8_t runningStatus = 0;      // the source's running status after the event
  // The next event in running status gets its status byte back (channel
  // messages were put before it, or the event that set it was taken out).
  bool restore = false;
};

// The next event of a track that the reader has read whole: where its status
// byte (or first data byte, in running status) lies, and its end.
struct TrackEvent {
  VarLenRead delta;
  uint32_t body = 0;  // after the delta time
  uint32_t end = 0;
  uint8_t status = 0;  // with running status resolved
  bool running = false;
};
// A variable-length quantity the reader has read whole; most are one byte.
inline VarLenRead VarLenAt(const uint8_t* file, uint32_t at, uint32_t readEnd) {
  if (file[at] < 0x80) return {file[at], 1};
  return ReadVarLen({file + at, std::min<size_t>(4, readEnd - at)});
}

inline TrackEvent EventAt(const uint8_t* file, uint32_t at, uint32_t readEnd, uint8_t runningStatus) {
  TrackEvent e;
  e.delta = VarLenAt(file, at, readEnd);
  e.body = at + e.delta.size;
  uint32_t p = e.body;
  const uint8_t b = file[p];
  if (b == kStatusMeta || b == kStatusSysEx || b == kStatusSysExEnd) {
    p += b == kStatusMeta ? 2 : 1;
    const VarLenRead length = VarLenAt(file, p, readEnd);
    e.status = b;
    e.end = p + length.size + length.value;
  } else if (b >= 0x80) {
    e.status = b;
    e.end = p + 1 + uint32_t(std::max(DataByteCount(b), 0));
  } else {
    e.status = runningStatus;
    e.running = true;
    e.end = p + uint32_t(std::max(DataByteCount(runningStatus), 0));
  }
  return e;
}

// Writes a source track body [from, chunk.readEnd) with its edits. Each
// removed event's delta time goes to the next event that stays, whose delta
// alone is written anew; every other byte is copied as it is. With `moves`
// (a GM target that moves channels) every event is read and each channel
// message goes out on its planned channel, or not at all for a merged kit.
// A track that did not end with end-of-track gets one.
class TrackWriter {
 public:
  TrackWriter(const uint8_t* file, const SourceChunk& chunk, uint32_t from, const TargetChanges* moves, ByteBuffer& out)
      : file_(file), chunk_(chunk), moves_(moves), out_(out), pos_(from) {}

  void Write(std::span<const Edit> edits) {
    for (const Edit& edit : edits) Apply(edit);
    Until(chunk_.readEnd);
    if (!chunk_.endsWithEndOfTrack) {
      AppendVarLen(out_, carry_, "time gap before the end of track", carriedFrom_);
      AppendBytes(out_, kEndOfTrack);
    }
  }

 private:
  void Apply(const Edit& edit) {
    Until(edit.packet.begin);
    // Only a channel message sets the running status; a SysEx or F7 event
    // leaves it as the events before it set it.
    const bool channelMessage = file_[pos_ + VarLenAt(file_, pos_, chunk_.readEnd).size] < 0xF0;
    if (edit.keep) {
      Until(edit.packet.end);
      if (!edit.text.empty()) out_.push_back(0x00);
    } else {
      const VarLenRead d = ReadVarLen({file_ + pos_, std::min<size_t>(4, chunk_.readEnd - pos_)});
      if (edit.text.empty()) {
        carry_ += d.value;
        carriedFrom_ = edit.tick;
      } else {
        AppendDeltaTime(out_, carry_ + d.value, edit.tick);
        carry_ = 0;
      }
      pos_ = edit.packet.end;
    }
    AppendBytes(out_, edit.text);
    if (channelMessage) running_ = edit.runningStatus;
    if (!edit.text.empty()) written_ = 0;
    if (edit.restore) restore_ = edit.runningStatus;
  }

  // Writes the events before `until`.
  void Until(uint32_t until) {
    if (moves_) {
      Move(until);
      return;
    }
    // The first events take the carried time and the status to restore.
    if (pos_ < until && carry_ != 0 && restore_ == 0) {
      const VarLenRead d = ReadVarLen({file_ + pos_, std::min<size_t>(4, chunk_.readEnd - pos_)});
      AppendVarLen(out_, carry_ + d.value, "time gap before the event", carriedFrom_ + d.value);
      carry_ = 0;
      pos_ += d.size;
    }
    while (pos_ < until && restore_ != 0) {
      const TrackEvent e = EventAt(file_, pos_, chunk_.readEnd, restore_);
      PutDelta(e);
      if (e.status < 0xF0) {
        if (e.running) out_.push_back(restore_);
        restore_ = 0;
        break;
      }
      // A meta, SysEx or system event: the status is still to restore.
      out_.insert(out_.end(), file_ + pos_, file_ + e.end);
      pos_ = e.end;
    }
    out_.insert(out_.end(), file_ + pos_, file_ + std::max(pos_, until));
    pos_ = std::max(pos_, until);
  }

  // The delta time of `e`, with the time carried from removed events; leaves
  // pos_ after it.
  void PutDelta(const TrackEvent& e) {
    if (carry_ != 0) {
      AppendVarLen(out_, carry_ + e.delta.value, "time gap before the event", carriedFrom_ + e.delta.value);
      carry_ = 0;
    } else {
      out_.insert(out_.end(), file_ + pos_, file_ + e.body);
    }
    pos_ = e.body;
  }

  // Writes the events before `until` on their planned channels: runs of
  // events copied in one piece, their status bytes set after, and one by one
  // the events that go or need a status byte of their own.
  void Move(uint32_t until) {
    while (pos_ < until) {
      const uint32_t run = pos_;
      patches_.clear();  // (offset in the run, status byte)
      // Whether a message in running status goes out as it is.
      bool runningStays = RunningStays();
      while (pos_ < until && carry_ == 0) {
        uint32_t p = pos_;
        while (file_[p] & 0x80) ++p;  // the delta time: the reader has read it whole
        const uint8_t b = file_[++p];
        if (b < 0x80) {
          if (!runningStays) break;
          pos_ = p + ((running_ & 0xE0) == 0xC0 ? 1u : 2u);
          continue;
        }
        if (b < 0xF0) {
          const size_t slot = port_ * 16u + (b & 0x0F);
          if (moves_->merged[slot]) break;
          const uint8_t status = uint8_t((b & 0xF0) | moves_->channel[slot]);
          if (status != b) patches_.emplace_back(p - run, status);
          running_ = b;
          written_ = status;
          runningStays = true;
          pos_ = p + 1 + ((b & 0xE0) == 0xC0 ? 1u : 2u);
          continue;
        }
        const TrackEvent e = EventAt(file_, pos_, chunk_.readEnd, running_);
        if (e.status == kStatusMeta && file_[e.body + 1] == kMetaPort && file_[e.body + 2] == 1) {
          port_ = file_[e.body + 3] & 3;
          runningStays = RunningStays();
        }
        pos_ = e.end;
      }
      const size_t at = out_.size();
      out_.insert(out_.end(), file_ + run, file_ + pos_);
      for (const auto& [offset, status] : patches_) out_[at + offset] = status;
      if (pos_ < until) MoveOne();
    }
  }
  bool RunningStays() const {
    if (running_ == 0) return false;
    const size_t slot = port_ * 16u + (running_ & 0x0F);
    return !moves_->merged[slot] && uint8_t((running_ & 0xF0) | moves_->channel[slot]) == written_;
  }

  // Writes the event at pos_ on its planned channel.
  void MoveOne() {
    const TrackEvent e = EventAt(file_, pos_, chunk_.readEnd, running_);
    if (e.status >= 0xF0) {
      PutDelta(e);
      if (e.status == kStatusMeta && file_[e.body + 1] == kMetaPort && file_[e.body + 2] == 1) {
        port_ = file_[e.body + 3] & 3;
      }
      out_.insert(out_.end(), file_ + pos_, file_ + e.end);
      pos_ = e.end;
      return;
    }
    running_ = e.status;
    const size_t slot = port_ * 16u + (e.status & 0x0F);
    const uint8_t kind = e.status & 0xF0;
    if (moves_->merged[slot] && kind != 0x80 && kind != 0x90 && kind != 0xA0) {
      carry_ += e.delta.value;  // a merged kit keeps its notes only
      pos_ = e.end;
      return;
    }
    const uint8_t status = uint8_t(kind | moves_->channel[slot]);
    PutDelta(e);
    if (!e.running || status != written_) out_.push_back(status);
    written_ = status;
    out_.insert(out_.end(), file_ + pos_ + (e.running ? 0 : 1), file_ + e.end);
    pos_ = e.end;
  }

  const uint8_t* file_;
  const SourceChunk& chunk_;
  const TargetChanges* moves_;
  ByteBuffer& out_;
  uint32_t pos_;
  uint64_t carry_ = 0;        // delta time of removed events
  uint64_t carriedFrom_ = 0;  // the tick of the last of them, for errors
  uint8_t restore_ = 0;       // a status the next event in running status must be given
  uint8_t running_ = 0;       // moving: the source's running status
  uint8_t written_ = 0;       // moving: the output's running status, 0 unknown
  uint8_t port_ = 0;          // moving: the port the track sends to
  std::vector<std::pair<uint32_t, uint8_t>> patches_;  // moving: status bytes to set in a run
};

// The first track, the marker first: a track that starts with the marker
// already does not get it twice.
void PutFirstTrack(const uint8_t* file, const SourceChunk& chunk, std::span<const Edit> edits,
                   const TargetChanges* moves, ByteBuffer& image) {
  ByteBuffer body;
  body.reserve(chunk.readEnd - chunk.offset + 32);
  AppendBytes(body, kMarkerEvent);
  uint32_t from = chunk.bodyBegin;
  const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                      std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
  if (marked) from += uint32_t(kMarkerEvent.size());
  TrackWriter(file, chunk, from, moves, body).Write(edits);
  if (body.size() == kMarkerEvent.size() || body[kMarkerEvent.size()] != 0x00) {
    body.insert(body.begin() + kMarkerEvent.size(), std::begin(kEmptyTextEvent), std::end(kEmptyTextEvent));
  }
  AppendTrackChunk(image, body);
}

// A part's track: its name "Part N", the port its first message goes out on,
// then every converted message at the source tick of its SysEx message, on
// the channel its part receives on; where the part moves to another port, a
// port event goes before the message.
// `texts`: the messages as a target leaves them (PartEvent::text), or none to
// write each converted message's own.
void PutPartTrack(uint8_t part, std::span<const PartEvent> events, const ByteBuffer* texts, ByteBuffer& image) {
  const std::string name = "Part " + std::to_string(part + 1);
  ByteBuffer body;
  body.reserve(32 + 12 * events.size());
  AppendBytes(body, {0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())});
  for (char c : name) body.push_back(uint8_t(c));
  uint8_t port = events.front().port;
  AppendBytes(body, {0x00, kStatusMeta, kMetaPort, 0x01, port});
  uint32_t now = 0;
  for (const PartEvent& pe : events) {
    if (texts && pe.text.begin == pe.text.end) continue;  // nothing of it goes out; the track still lasts till its tick
    uint32_t delta = pe.tick - now;
    if (pe.port != port) {
      port = pe.port;
      AppendDeltaTime(body, delta, pe.tick);
      AppendBytes(body, {kStatusMeta, kMetaPort, 0x01, port});
      delta = 0;
    }
    AppendDeltaTime(body, delta, pe.tick);
    if (texts) {
      body.insert(body.end(), texts->data() + pe.text.begin, texts->data() + pe.text.end);
    } else {
      PutChannelMessages(pe, pe.channel, body);
    }
    now = pe.tick;
  }
  AppendDeltaTime(body, events.back().tick - now, events.back().tick);
  AppendBytes(body, {kStatusMeta, kMetaEndOfTrack, 0x00});
  AppendTrackChunk(image, body);
}

// ------------------------------------------------------------------ targets

// What a target makes of the song: the events it may change, in the order
// they play, with what became of them.
struct TargetWork {
  std::vector<TargetEvent> events;
  TargetChanges changes;
  std::vector<uint32_t> ofRecord;   // the event of each record, or kNoEvent
  std::vector<uint32_t> ofSetting;  // the event of each part setting, or kNoEvent
  static constexpr uint32_t kNoEvent = UINT32_MAX;

  std::span<const uint8_t> Out(const TargetEvent& e) const {
    return {changes.bytes.data() + e.out.begin, e.out.end - e.out.begin};
  }
};

// The note-ons with a velocity of each port and channel, read from the tracks
// that have messages on any of `channels` (bit n: channel n + 1).
std::array<uint32_t, 64> CountNotes(const Song& song, uint16_t channels) {
  std::array<uint32_t, 64> notes{};
  const uint8_t* file = song.source.image->data();
  for (const SourceChunk& chunk : song.source.chunks) {
    if (chunk.kind != ChunkKind::Track || (chunk.channels & channels) == 0) continue;
    uint8_t running = 0;
    uint32_t* counts = notes.data();  // of the port the track sends to
    for (uint32_t at = chunk.bodyBegin; at < chunk.readEnd;) {
      while (file[at] & 0x80) ++at;  // the delta time: the reader has read it whole
      const uint8_t b = file[++at];
      if (b < 0xF0) {
        // A channel message, mostly a note in running status.
        if (b >= 0x80) running = b, ++at;
        if ((running & 0xF0) == 0x90 && file[at + 1] != 0) ++counts[running & 0x0F];
        at += (running & 0xE0) == 0xC0 ? 1 : 2;
      } else if (b == kStatusMeta || b == kStatusSysEx || b == kStatusSysExEnd) {
        const uint32_t lengthAt = at + (b == kStatusMeta ? 2 : 1);
        const VarLenRead length = VarLenAt(file, lengthAt, chunk.readEnd);
        if (b == kStatusMeta && file[at + 1] == kMetaPort && length.value == 1) {
          counts = notes.data() + (file[lengthAt + 1] & 3) * 16u;
        }
        at = lengthAt + length.size + length.value;
      } else {
        at += 1 + uint32_t(std::max(DataByteCount(b), 0));  // a system message
      }
    }
  }
  return notes;
}

// Hands the song layout's SysEx messages, part settings and converted
// messages to the target in the order they play: by tick, then in the order
// of the output's tracks (the first track, the part tracks, the later
// tracks), then in track order.
TargetWork MakeSongForTarget(const Song& song, Target target, const std::vector<Fate>& fates,
                             std::span<const PartEvent> converted, bool inPlace, std::vector<TargetReportRow>& report) {
  const SysExList& list = song.sysEx;
  const std::vector<PartSetting>& settings = song.source.settings;
  struct Key {
    uint32_t tick, rank, pos, sub;
    auto operator<=>(const Key&) const = default;
  };
  const auto rankOf = [](uint32_t track) { return track == 0 ? 0 : kParts + track; };
  std::vector<TargetEvent> unordered;
  std::vector<std::pair<Key, uint32_t>> keys;  // sorted apart: a key and an index move faster than an event
  const auto add = [&](const Key& key, const TargetEvent& e) {
    keys.emplace_back(key, uint32_t(unordered.size()));
    unordered.push_back(e);
  };
  unordered.reserve(list.size() + settings.size() + 4 * converted.size());
  keys.reserve(unordered.capacity());
  for (uint32_t i = 0; i < list.size(); ++i) {
    if (fates[i] == Fate::Removed) continue;
    const SourcePlace& place = list.places[i];
    TargetEvent e{.tick = place.tick,
                  .port = place.port,
                  .kind = TargetEvent::Kind::SysEx,
                  .fixed = fates[i] == Fate::Pinned,
                  .sysEx = list.Raw(list.events[i]),
                  .ref = i};
    if (!e.sysEx.empty() && e.sysEx[0] == 0x43) {
      // Named for the report: converting leaves the records unnamed.
      Tsys named = list.events[i];
      NameEvent(list, named, ExtentOf(list, named));
      e.name = named.eventName;
    }
    add(Key{place.tick, rankOf(place.track), place.packet.begin, 0}, e);
  }
  for (uint32_t k = 0; k < settings.size(); ++k) {
    const PartSetting& s = settings[k];
    const bool note = (s.status & 0xF0) == 0x90;
    TargetEvent e{.tick = s.tick,
                  .port = s.port,
                  .kind = note ? TargetEvent::Kind::FirstNote : TargetEvent::Kind::Channel,
                  .message = {s.status, s.data1, s.data2},
                  .ref = k};
    add(Key{s.tick, rankOf(s.track), s.packet.begin, 0}, e);
  }
  for (uint32_t j = 0; j < converted.size(); ++j) {
    const PartEvent& pe = converted[j];
    for (uint8_t m = 0; m < 4 && pe.ccNumber[m] != kNone; ++m) {
      const ChannelMessage msg = ChannelMessageOf(pe.channel, pe.ccNumber[m], pe.ccValue[m]);
      // Like the source's own, a controller that is no part setting only
      // moves with its channel.
      if (!IsPartSetting(msg.bytes[0], msg.bytes[1])) continue;
      TargetEvent e{.tick = pe.tick,
                    .port = pe.port,
                    .kind = TargetEvent::Kind::Channel,
                    .converted = true,
                    .message = msg.bytes,
                    .ref = j,
                    .sub = m};
      const Key key =
          inPlace ? Key{pe.tick, 0, list.places[pe.index].packet.begin, 1u + m} : Key{pe.tick, 1u + pe.part, j, m};
      add(key, e);
    }
  }
  std::sort(keys.begin(), keys.end());
  TargetWork work;
  work.events.reserve(keys.size());
  for (const auto& [key, n] : keys) work.events.push_back(unordered[n]);
  work.changes = MakeForTarget(
      target, work.events, [&song](uint16_t channels) { return CountNotes(song, channels); }, report);
  work.ofRecord.assign(list.size(), TargetWork::kNoEvent);
  work.ofSetting.assign(settings.size(), TargetWork::kNoEvent);
  for (uint32_t n = 0; n < work.events.size(); ++n) {
    const TargetEvent& e = work.events[n];
    if (e.converted) continue;
    (e.kind == TargetEvent::Kind::SysEx ? work.ofRecord : work.ofSetting)[e.ref] = n;
  }
  return work;
}

// ------------------------------------------------------------------ the plan

// What the song layout does with each message of the song, decided before a
// track is written.
struct SongPlan {
  std::vector<Fate> fates;           // of each record
  std::vector<PartEvent> converted;  // by part, then tick (list order among equal ticks)
  // A format 0 song whose channel messages all go out on the first port stays
  // format 0, as the keyboards that play such songs want it: each converted
  // message is replaced in its place by its channel messages.
  bool inPlace = false;
  std::vector<uint32_t> inPlaceEvent;  // in place: the converted message of each record, or UINT32_MAX
  // The channel messages of the converted ones as a target leaves them, or
  // in place as they are (PartEvent::text).
  ByteBuffer texts;
  std::optional<TargetWork> target;    // for a target other than XG

  std::span<const uint8_t> Text(ByteRange r) const { return {texts.data() + r.begin, r.end - r.begin}; }
  std::span<const PartEvent> EventsOf(uint8_t part) const {
    const auto from = std::lower_bound(converted.begin(), converted.end(), part,
                                       [](const PartEvent& e, uint8_t p) { return e.part < p; });
    const auto to = std::find_if(from, converted.end(), [part](const PartEvent& e) { return e.part != part; });
    return {converted.data() + (from - converted.begin()), size_t(to - from)};
  }
  // The channels a GM target moves in a track, or nothing to move.
  const TargetChanges* MovesOf(const SourceChunk& chunk) const {
    return target && target->changes.Moves(chunk.channels) ? &target->changes : nullptr;
  }
};

SongPlan PlanSong(const Song& song, const ConvertOptions& options, size_t trackCount, ConvertReport* report) {
  const SysExList& list = song.sysEx;
  SongPlan plan;
  std::vector<bool> routed;
  plan.converted = RouteConverted(list, routed);
  if (report) {
    report->converted = plan.converted.size();
    report->total = list.size();
  }
  plan.fates = FatesOf(list, routed, options.includeUnconvertible);
  plan.inPlace = song.source.format == 0 && trackCount == 1 &&
                 std::all_of(plan.converted.begin(), plan.converted.end(), [](const PartEvent& e) { return e.port == 0; });
  std::stable_sort(plan.converted.begin(), plan.converted.end(), [](const PartEvent& a, const PartEvent& b) {
    return a.part != b.part ? a.part < b.part : a.tick < b.tick;
  });
  if (plan.inPlace) {
    plan.inPlaceEvent.assign(list.size(), UINT32_MAX);
    for (uint32_t j = 0; j < plan.converted.size(); ++j) plan.inPlaceEvent[plan.converted[j].index] = j;
  }

  // The channel messages of each converted message, as the target leaves them.
  ByteBuffer& texts = plan.texts;
  if (options.target == Target::Xg) {
    if (!plan.inPlace) return plan;  // the part tracks write the messages themselves
    texts.reserve(16 * plan.converted.size());
    for (PartEvent& pe : plan.converted) {
      pe.text.begin = uint32_t(texts.size());
      PutChannelMessages(pe, pe.channel, texts);
      pe.text.end = uint32_t(texts.size());
    }
    return plan;
  }
  std::vector<TargetReportRow> rows;
  const TargetWork& target = plan.target.emplace(
      MakeSongForTarget(song, options.target, plan.fates, plan.converted, plan.inPlace, rows));
  if (report) report->target = std::move(rows);
  std::vector<std::array<uint32_t, 4>> messages(plan.converted.size());  // the events of each converted message
  for (auto& m : messages) m.fill(TargetWork::kNoEvent);
  for (uint32_t n = 0; n < target.events.size(); ++n) {
    const TargetEvent& e = target.events[n];
    if (e.converted) messages[e.ref][e.sub] = n;
  }
  for (size_t j = 0; j < plan.converted.size(); ++j) {
    const PartEvent& pe = plan.converted[j];
    ByteRange& text = plan.converted[j].text;
    text.begin = uint32_t(texts.size());
    for (size_t m = 0; m < 4 && pe.ccNumber[m] != kNone; ++m) {
      std::span<const uint8_t> out;
      ChannelMessage msg = ChannelMessageOf(pe.channel, pe.ccNumber[m], pe.ccValue[m]);
      if (messages[j][m] != TargetWork::kNoEvent) {
        out = target.Out(target.events[messages[j][m]]);
      } else if (const size_t slot = pe.port * 16u + pe.channel % 16u; !target.changes.merged[slot]) {
        // A controller of a merged kit goes; another goes on its planned channel.
        msg.bytes[0] = uint8_t((msg.bytes[0] & 0xF0) | target.changes.channel[slot]);
        out = {msg.bytes.data(), msg.size};
      }
      if (out.empty()) continue;
      if (texts.size() > text.begin) texts.push_back(0x00);  // they follow one another at its tick
      AppendBytes(texts, out);
    }
    text.end = uint32_t(texts.size());
  }
  return plan;
}

// What becomes of the events of source track `track`, in file order.
std::vector<Edit> EditsOf(const Song& song, const SongPlan& plan, uint32_t track) {
  const SysExList& list = song.sysEx;
  const std::optional<TargetWork>& target = plan.target;
  std::vector<Edit> edits;
  const TrackRecords records = RecordsOf(list, track);
  edits.reserve(records.end - records.begin);
  size_t cont = records.continuation;
  for (size_t ev = records.begin; ev < records.end; ++ev) {
    const SourcePlace& place = list.places[ev];
    const Fate fate = plan.fates[ev];
    Edit edit{place.packet, place.tick, {}, false, place.runningStatus, false};
    bool edited = true;
    if (plan.inPlace && plan.inPlaceEvent[ev] != UINT32_MAX) {
      edit.text = plan.Text(plan.converted[plan.inPlaceEvent[ev]].text);
      edit.keep = fate == Fate::Pinned;
      edit.restore = true;
    } else if (fate == Fate::Kept && target && target->ofRecord[ev] != TargetWork::kNoEvent &&
               target->events[target->ofRecord[ev]].changed) {
      edit.text = target->Out(target->events[target->ofRecord[ev]]);
      edit.restore = true;
    } else {
      edited = fate == Fate::Removed;
    }
    if (edited) edits.push_back(edit);
    // The F7 packets that carried on this message follow it in the file.
    for (; cont < list.continuations.size() && list.continuations[cont].event <= ev; ++cont) {
      const Continuation& c = list.continuations[cont];
      if (edited && !edit.keep && c.event == ev) edits.push_back({c.packet, c.tick, {}, false, 0, false});
    }
  }
  if (!target) return edits;
  const std::vector<PartSetting>& settings = song.source.settings;
  const auto from = std::partition_point(settings.begin(), settings.end(),
                                         [track](const PartSetting& s) { return s.track < track; });
  for (auto s = from; s != settings.end() && s->track == track; ++s) {
    const uint32_t n = target->ofSetting[size_t(s - settings.begin())];
    if (n == TargetWork::kNoEvent || !target->events[n].changed) continue;
    edits.push_back({s->packet, s->tick, target->Out(target->events[n]), false, s->status, true});
  }
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.packet.begin < b.packet.begin; });
  return edits;
}

}  // namespace

std::vector<bool> RoutedMessages(const SysExList& list) {
  std::vector<bool> routed;
  RouteConverted(list, routed);
  return routed;
}

std::vector<uint8_t> BuildSongImage(const Song& song, const ConvertOptions& options, ConvertReport* report) {
  const SourceFile& source = song.source;
  const SysExList& list = song.sysEx;
  if (source.kind == FileKind::SysEx) throw ConvertError("A SysEx file holds no song");
  if (!source.image || list.places.size() != list.events.size()) {
    Refuse("the SysEx messages were not read from a file");
  }
  if (song.status != LoadStatus::Whole) {
    Refuse("reading stopped early at data that is not a MIDI event or chunk, and the rest of the song would be lost");
  }
  if (source.longTicks) Refuse("a track of the song runs past tick 4294967295");
  if (source.format == 2) Refuse("a format 2 file holds independent patterns, not one song");
  const uint8_t* file = source.image->data();
  const std::span<const SourceChunk> chunks(source.chunks);

  const auto firstTrack = std::find_if(chunks.begin(), chunks.end(),
                                       [](const SourceChunk& c) { return c.kind == ChunkKind::Track; });
  const bool hasTrack = firstTrack != chunks.end();
  size_t trackCount = 0;
  for (const SourceChunk& c : chunks) trackCount += c.kind == ChunkKind::Track;
  const SongPlan plan = PlanSong(song, options, trackCount, report);

  // Unless in place, the converted messages go to one track per part; the
  // part tracks follow the first.
  const bool partTracks = hasTrack && !plan.inPlace;
  if (partTracks) {
    for (uint8_t part = 0; part < kParts; ++part) trackCount += !plan.EventsOf(part).empty();
  }
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The file is about as large as the source: its room is taken once.
  ByteBuffer image;
  image.reserve(source.image->size() + plan.texts.size() + 8 * plan.converted.size() + 1024);
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(image, plan.inPlace ? 0 : 1, uint16_t(trackCount), source.division);
  if (hasTrack) PutFirstTrack(file, *firstTrack, EditsOf(song, plan, 0), plan.MovesOf(*firstTrack), image);
  // Chunks of other kinds before the first track follow it, so that the
  // marker stays near the start of the file.
  for (auto c = chunks.begin(); c != firstTrack; ++c) {
    if (c->kind == ChunkKind::Foreign) image.insert(image.end(), file + c->offset, file + c->readEnd);
  }
  if (partTracks) {
    for (uint8_t part = 0; part < kParts; ++part) {
      const auto events = plan.EventsOf(part);
      if (!events.empty()) PutPartTrack(part, events, plan.target ? &plan.texts : nullptr, image);
    }
  }
  // The later chunks as they were, their tracks with their edits. The header
  // is written anew.
  uint32_t track = 1;
  for (auto c = hasTrack ? firstTrack + 1 : chunks.end(); c != chunks.end(); ++c) {
    if (c->kind == ChunkKind::Foreign) {
      image.insert(image.end(), file + c->offset, file + c->readEnd);
    } else if (c->kind == ChunkKind::Track) {
      ByteBuffer body;
      body.reserve(c->readEnd - c->offset + 8);
      TrackWriter(file, *c, c->bodyBegin, plan.MovesOf(*c), body).Write(EditsOf(song, plan, track++));
      AppendTrackChunk(image, body);
    }
  }
  return image;
}

}  // namespace mertovan
