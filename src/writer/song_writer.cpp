#include "writer/song_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>

#include "model/events.h"
#include "model/large_buffer.h"
#include "model/midi_bytes.h"
#include "writer/file_image.h"

namespace mertovan {

namespace {

constexpr uint8_t kParts = 32;

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

bool IsConverted(const Tsys& e) { return e.ccNumber[0] != kNone && e.channel < kParts; }

// A source event taken out of its track.
struct Removed {
  ByteRange packet;
  uint32_t tick;  // source tick, to name the event in errors
};

// The delta time at `p`; the reader has read it, so it is whole and at most
// four bytes long.
struct DeltaTime {
  uint32_t value = 0;
  uint32_t size = 0;
};
DeltaTime DeltaAt(const uint8_t* p, const uint8_t* end) {
  DeltaTime d;
  while (p + d.size < end && d.size < 4) {
    const uint8_t b = p[d.size++];
    d.value = (d.value << 7) | (b & 0x7Fu);
    if (b < 0x80) break;
  }
  return d;
}

// The converted file is written through a pointer into room reserved
// beforehand for the most it can take (see SongRoom): most of it is runs of
// source bytes between removed events, each copied with one memcpy.
struct Out {
  uint8_t* p;
  void Put(const uint8_t* from, const uint8_t* to) {
    std::memcpy(p, from, size_t(to - from));
    p += to - from;
  }
  void Put(std::span<const uint8_t> bytes) { Put(bytes.data(), bytes.data() + bytes.size()); }
  void PutVarLen(uint64_t value, const char* what, uint64_t atTick) {
    if (value < 0x80) {
      *p++ = uint8_t(value);
      return;
    }
    const VarLen v = value > kMaxVarLen ? VarLen{} : EncodeVarLen(uint32_t(value));
    if (v.count == 0) ThrowVarLenTooLarge(value, what, atTick);
    for (int i = v.count - 1; i >= 0; --i) *p++ = uint8_t(v.packed >> (8 * i));
  }
  // "MTrk" and a length filled in by EndTrack; returns where the body starts.
  uint8_t* BeginTrack() {
    Put(std::span<const uint8_t>(kTrackChunkId));
    std::memset(p, 0, 4);
    p += 4;
    return p;
  }
  void EndTrack(uint8_t* bodyStart) const { SetTrackLength(bodyStart, uint64_t(p - bodyStart)); }
};

// Writes the track body [from, chunk.readEnd) of the source without the
// removed events (in file order). Each removed event's delta time goes to the
// next event that stays, whose delta alone is written anew; every other byte
// is copied as it is, running status included: no event that sets a running
// status is ever removed. A track that did not end with end-of-track gets one.
void PutTrackBody(const uint8_t* file, const SourceChunk& chunk, uint32_t from, std::span<const Removed> removed,
                  Out& out) {
  const uint8_t* end = file + chunk.readEnd;
  uint32_t pos = from;
  uint64_t carry = 0;
  uint64_t carriedFrom = 0;
  const auto giveCarryToEventAt = [&](uint32_t until) {
    const DeltaTime d = DeltaAt(file + pos, file + until);
    out.PutVarLen(carry + d.value, "time gap before the event", carriedFrom + d.value);
    pos += d.size;
    carry = 0;
  };
  for (const Removed& r : removed) {
    if (carry != 0 && pos < r.packet.begin) giveCarryToEventAt(r.packet.begin);
    out.Put(file + pos, file + r.packet.begin);
    carry += DeltaAt(file + r.packet.begin, end).value;
    carriedFrom = r.tick;
    pos = r.packet.end;
  }
  if (carry != 0 && pos < chunk.readEnd) giveCarryToEventAt(chunk.readEnd);
  out.Put(file + pos, end);
  if (!chunk.endsWithEndOfTrack) {
    out.PutVarLen(carry, "time gap before the end of track", carriedFrom);
    out.Put(kEndOfTrack);
  }
}

// One converted message, where its part's track takes it. It carries its
// controller pairs, so that writing the track walks this compact list in tick
// order instead of jumping about the whole event list.
struct PartEvent {
  uint32_t tick;
  uint8_t ccNumber[4];
  uint8_t ccValue[4];
  uint8_t part;
};
// Records that are written before they are read: their room is not zeroed.
template <class T>
using Block = std::vector<T, NoZeroFillAllocator<T>>;
// The most a part track can take besides its events, and per event: a delta
// time and up to four messages of three bytes, three of them after a zero
// delta.
constexpr size_t kPartTrackRoom = 8 + 4 + 7 + 5 + 4;
constexpr size_t kPartEventRoom = 4 + 4 * 3 + 3;

// A part's track: its name "Part N", its port (parts 17-32 on the second), then
// every converted message at the source tick of its SysEx message.
void PutPartTrack(uint8_t part, std::span<const PartEvent> events, Out& out) {
  uint8_t* bodyStart = out.BeginTrack();
  const std::string name = "Part " + std::to_string(part + 1);
  out.Put({{0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())}});
  out.Put(reinterpret_cast<const uint8_t*>(name.data()), reinterpret_cast<const uint8_t*>(name.data() + name.size()));
  out.Put({{0x00, kStatusMeta, kMetaPort, 0x01, uint8_t(part / 16)}});
  uint64_t now = 0;
  for (const PartEvent& e : events) {
    out.PutVarLen(e.tick - now, "time gap before the event", e.tick);
    now = e.tick;
    // The messages of one parameter change, each but the first after a zero
    // delta. All three bytes of a message go in; a program change's third is
    // overwritten next (the room counts three bytes for every message).
    for (int m = 0; m < 4 && e.ccNumber[m] != kNone; ++m) {
      if (m > 0) *out.p++ = 0x00;
      const ChannelMessage msg = ChannelMessageOf(part, e.ccNumber[m], e.ccValue[m]);
      std::memcpy(out.p, msg.bytes.data(), 3);
      out.p += msg.size;
    }
  }
  *out.p++ = 0x00;
  out.Put(kEndOfTrack);
  out.EndTrack(bodyStart);
}

[[noreturn]] void Refuse(const std::string& why) {
  throw ConvertError("Cannot keep the song: " + why + "; nothing was written");
}

}  // namespace

std::vector<uint8_t> BuildSongImage(const ConvertOptions& options) {
  const SourceFile& source = gSourceFile;
  const auto& events = gSysEx.events;
  const auto& places = gSysEx.places;
  if (!source.image || places.size() != events.size()) Refuse("the SysEx messages were not read from a file");
  if (source.readResult != 0) {
    Refuse("reading stopped early at data that is not a MIDI event or chunk, and the rest of the song would be lost");
  }
  if (source.longTicks) Refuse("a track of the song runs past tick 4294967295");
  if (source.format == 2) {
    Refuse("a format 2 file holds independent patterns, not one song");
  }
  const uint8_t* file = source.image->data();

  size_t trackCount = 0;
  for (const SourceChunk& c : source.chunks) trackCount += c.kind == ChunkKind::Track;
  const size_t sourceTracks = trackCount;

  // One pass over the list gathers the converted messages, part by part, and
  // the events each track takes out: with the F7 packets that carried on
  // their messages, in file order, track after track.
  Block<PartEvent> converted;
  ReserveLarge(converted, events.size());
  std::array<size_t, kParts> perPart{};
  std::vector<Removed> removed;
  ReserveLarge(removed, events.size() + gSysEx.continuations.size());
  std::vector<size_t> removedEnd(sourceTracks, 0);  // per track, one past its last in `removed`
  uint32_t track = 0;
  // Whether the last message kept in the track never got its F7.
  bool keptOpen = false;
  for (size_t ev = 0, cont = 0; ev < events.size(); ++ev) {
    const Tsys& e = events[ev];
    const SourcePlace& place = places[ev];
    if (IsConverted(e)) {
      PartEvent& pe = converted.emplace_back();
      pe.tick = place.tick;
      std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), pe.ccNumber);
      std::copy(std::begin(e.ccValue), std::end(e.ccValue), pe.ccValue);
      pe.part = e.channel;
      ++perPart[e.channel];
    }
    // The reader gives every record a track it read, in file order.
    if (place.track >= sourceTracks || place.track < track) continue;
    for (; track < place.track; ++track) {
      removedEnd[track] = removed.size();
      keptOpen = false;
    }
    // A message whose F0 event cut off one that never got its F7 stays (its
    // channel messages are written all the same): taken out, it would let a
    // later F7 event of the track carry on the cut-off message.
    const bool remove = !keptOpen && (IsConverted(e) || !options.includeUnconvertible);
    if (remove) {
      removed.push_back({place.packet, place.tick});
    } else {
      const auto raw = gSysEx.Raw(e);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
    }
    for (; cont < gSysEx.continuations.size() && gSysEx.continuations[cont].event <= ev; ++cont) {
      const Continuation& c = gSysEx.continuations[cont];
      if (remove && c.event == ev) removed.push_back({c.packet, c.tick});
    }
  }
  for (; track < sourceTracks; ++track) removedEnd[track] = removed.size();

  // Each part's messages in one block, part after part, then in tick order.
  Block<PartEvent> byPart(converted.size());
  std::array<std::span<const PartEvent>, kParts> partEvents;
  {
    std::array<size_t, kParts> next{};
    size_t at = 0;
    for (size_t part = 0; part < kParts; ++part) {
      next[part] = at;
      at += perPart[part];
    }
    for (const PartEvent& pe : converted) byPart[next[pe.part]++] = pe;
    for (size_t part = 0; part < kParts; ++part) {
      const size_t begin = next[part] - perPart[part];
      // The list in file order is no longer needed: it is the merge's room.
      MergeTickRuns(std::span<PartEvent>(byPart).subspan(begin, perPart[part]),
                    std::span<PartEvent>(converted).subspan(begin, perPart[part]));
      partEvents[part] = std::span<const PartEvent>(byPart).subspan(begin, perPart[part]);
      trackCount += perPart[part] != 0;
    }
  }
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The room: every source chunk at most as long as it was (a removed event
  // takes at least three bytes, its delta time adds at most four to the next
  // event's), an end-of-track for each track, the marker, and the part tracks.
  const size_t room = 14 + source.image->size() + 7 * source.chunks.size() + kMarkerEvent.size() +
                      sizeof kEmptyTextEvent + 4 * (events.size() + gSysEx.continuations.size()) +
                      kParts * kPartTrackRoom + byPart.size() * kPartEventRoom;
  ByteBuffer image;
  ReserveLarge(image, room);
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(image, uint16_t(trackCount), source.division);
  const size_t headerSize = image.size();
  image.resize(room);
  Out out{image.data() + headerSize};

  // Chunks of other kinds before the first track follow it instead, so that
  // the marker stays near the start of the file.
  std::vector<const SourceChunk*> heldBack;
  auto copyChunk = [&](const SourceChunk& c) { out.Put(file + c.offset, file + c.readEnd); };
  uint32_t trackIndex = 0;
  for (const SourceChunk& chunk : source.chunks) {
    if (chunk.kind == ChunkKind::Header) continue;  // the header is written anew
    if (chunk.kind == ChunkKind::Foreign) {
      if (trackIndex == 0) {
        heldBack.push_back(&chunk);
      } else {
        copyChunk(chunk);
      }
      continue;
    }
    const std::span<const Removed> trackRemoved(removed.begin() + long(trackIndex == 0 ? 0 : removedEnd[trackIndex - 1]),
                                                removed.begin() + long(removedEnd[trackIndex]));
    uint8_t* bodyStart = out.BeginTrack();
    uint32_t from = chunk.bodyBegin;
    if (trackIndex == 0) {
      const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                          std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
      if (marked) from += uint32_t(kMarkerEvent.size());
      out.Put(kMarkerEvent);
    }
    PutTrackBody(file, chunk, from, trackRemoved, out);
    if (trackIndex == 0) {
      uint8_t* afterMarker = bodyStart + kMarkerEvent.size();
      if (out.p == afterMarker || *afterMarker != 0x00) {
        std::memmove(afterMarker + sizeof kEmptyTextEvent, afterMarker, size_t(out.p - afterMarker));
        std::memcpy(afterMarker, kEmptyTextEvent, sizeof kEmptyTextEvent);
        out.p += sizeof kEmptyTextEvent;
      }
    }
    out.EndTrack(bodyStart);

    if (trackIndex == 0) {
      for (const SourceChunk* c : heldBack) copyChunk(*c);
      heldBack.clear();
      for (uint8_t part = 0; part < kParts; ++part) {
        if (!partEvents[part].empty()) PutPartTrack(part, partEvents[part], out);
      }
    }
    ++trackIndex;
  }
  for (const SourceChunk* c : heldBack) copyChunk(*c);
  image.resize(size_t(out.p - image.data()));
  return image;
}

}  // namespace mertovan
