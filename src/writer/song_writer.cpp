#include "writer/song_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "model/midi_bytes.h"
#include "model/smf_reader.h"
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

[[noreturn]] void Refuse(const std::string& why) {
  throw ConvertError("Cannot keep the song: " + why + "; nothing was written");
}

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

// Appends the track body [from, chunk.readEnd) of the source without the
// events the conversion takes out: the converted messages and, unless they
// are kept, the others, each with the F7 packets that carried it on. Each
// removed event's delta time goes to the next event that stays, whose delta
// alone is written anew; every other byte is copied as it is, running status
// included: no event that sets a running status is ever removed. A track that
// did not end with end-of-track gets one.
void PutTrackBody(const Song& song, const ConvertOptions& options, const SourceChunk& chunk, uint32_t from,
                  TrackRecords records, ByteBuffer& out) {
  const SysExList& list = song.sysEx;
  const uint8_t* file = song.source.image->data();
  // The reader has read every delta time of the track: each is whole.
  const auto deltaAt = [&](uint32_t at) { return ReadVarLen({file + at, std::min<size_t>(4, chunk.readEnd - at)}); };
  uint32_t pos = from;
  uint64_t carry = 0;
  uint64_t carriedFrom = 0;
  const auto copyUntil = [&](uint32_t until) {
    if (carry != 0 && pos < until) {
      // The next event that stays takes the removed events' time.
      const VarLenRead d = deltaAt(pos);
      AppendVarLen(out, carry + d.value, "time gap before the event", carriedFrom + d.value);
      pos += d.size;
      carry = 0;
    }
    out.insert(out.end(), file + pos, file + until);
    pos = until;
  };
  const auto remove = [&](ByteRange packet, uint32_t tick) {
    copyUntil(packet.begin);
    carry += deltaAt(packet.begin).value;
    carriedFrom = tick;
    pos = packet.end;
  };
  size_t cont = records.continuation;
  // Whether the last message kept in the track never got its F7.
  bool keptOpen = false;
  for (size_t ev = records.begin; ev < records.end; ++ev) {
    const Tsys& e = list.events[ev];
    // A message whose F0 event cut off one that never got its F7 stays (its
    // channel messages are written all the same): taken out, it would let a
    // later F7 event of the track carry on the cut-off message.
    const bool removed = !keptOpen && (IsConverted(e) || !options.includeUnconvertible);
    if (removed) {
      remove(list.places[ev].packet, list.places[ev].tick);
    } else {
      const auto raw = list.Raw(e);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
    }
    // The F7 packets that carried on this message follow it in the file.
    for (; cont < list.continuations.size() && list.continuations[cont].event <= ev; ++cont) {
      const Continuation& c = list.continuations[cont];
      if (removed && c.event == ev) remove(c.packet, c.tick);
    }
  }
  copyUntil(chunk.readEnd);
  if (!chunk.endsWithEndOfTrack) {
    AppendVarLen(out, carry, "time gap before the end of track", carriedFrom);
    AppendBytes(out, kEndOfTrack);
  }
}

// The first track, the marker first: a track that starts with the marker
// already does not get it twice.
void PutFirstTrack(const Song& song, const ConvertOptions& options, const SourceChunk& chunk, ByteBuffer& image) {
  const uint8_t* file = song.source.image->data();
  ByteBuffer body;
  body.reserve(chunk.readEnd - chunk.offset + 32);
  AppendBytes(body, kMarkerEvent);
  uint32_t from = chunk.bodyBegin;
  const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                      std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
  if (marked) from += uint32_t(kMarkerEvent.size());
  PutTrackBody(song, options, chunk, from, RecordsOf(song.sysEx, 0), body);
  if (body.size() == kMarkerEvent.size() || body[kMarkerEvent.size()] != 0x00) {
    body.insert(body.begin() + kMarkerEvent.size(), std::begin(kEmptyTextEvent), std::end(kEmptyTextEvent));
  }
  AppendTrackChunk(image, body);
}

// One converted message, where its part's track takes it.
struct PartEvent {
  uint8_t part;
  uint32_t tick;  // in the source's own division
  uint32_t index;
};

// A part's track: its name "Part N", its port (parts 17-32 on the second), then
// every converted message at the source tick of its SysEx message.
void PutPartTrack(const SysExList& list, uint8_t part, std::span<const PartEvent> events, ByteBuffer& image) {
  const std::string name = "Part " + std::to_string(part + 1);
  ByteBuffer body;
  body.reserve(32 + 12 * events.size());
  AppendBytes(body, {0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())});
  for (char c : name) body.push_back(uint8_t(c));
  AppendBytes(body, {0x00, kStatusMeta, kMetaPort, 0x01, uint8_t(part / 16)});
  uint32_t now = 0;
  for (const PartEvent& pe : events) {
    const Tsys& e = list.events[pe.index];
    AppendDeltaTime(body, pe.tick - now, pe.tick);
    now = pe.tick;
    for (size_t m = 0; m < 4 && e.ccNumber[m] != kNone; ++m) {
      if (m > 0) body.push_back(0x00);  // the messages of one group at the same tick
      const ChannelMessage msg = ChannelMessageOf(part, e.ccNumber[m], e.ccValue[m]);
      body.insert(body.end(), msg.bytes.begin(), msg.bytes.begin() + msg.size);
    }
  }
  AppendBytes(body, {0x00, kStatusMeta, kMetaEndOfTrack, 0x00});
  AppendTrackChunk(image, body);
}

}  // namespace

std::vector<uint8_t> BuildSongImage(const Song& song, const ConvertOptions& options) {
  const SourceFile& source = song.source;
  const SysExList& list = song.sysEx;
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

  // The converted messages by part, each part's in tick order, list order
  // among equal ticks.
  std::vector<PartEvent> converted;
  for (uint32_t i = 0; i < list.events.size(); ++i) {
    if (IsConverted(list.events[i])) converted.push_back({list.events[i].channel, list.places[i].tick, i});
  }
  std::stable_sort(converted.begin(), converted.end(), [](const PartEvent& a, const PartEvent& b) {
    return a.part != b.part ? a.part < b.part : a.tick < b.tick;
  });
  const auto eventsOf = [&](uint8_t part) {
    const auto from = std::lower_bound(converted.begin(), converted.end(), part,
                                       [](const PartEvent& e, uint8_t p) { return e.part < p; });
    const auto to = std::find_if(from, converted.end(), [part](const PartEvent& e) { return e.part != part; });
    return std::span<const PartEvent>(from, to);
  };

  // The first track and the chunks before it; the part tracks follow it.
  const auto firstTrack = std::find_if(chunks.begin(), chunks.end(),
                                       [](const SourceChunk& c) { return c.kind == ChunkKind::Track; });
  const bool hasTrack = firstTrack != chunks.end();
  size_t trackCount = 0;
  for (const SourceChunk& c : chunks) trackCount += c.kind == ChunkKind::Track;
  if (hasTrack) {
    for (uint8_t part = 0; part < kParts; ++part) trackCount += !eventsOf(part).empty();
  }
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The file is about as large as the source: its room is taken once.
  ByteBuffer image;
  image.reserve(source.image->size() + 16 * converted.size() + 1024);
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(image, 1, uint16_t(trackCount), source.division);
  if (hasTrack) PutFirstTrack(song, options, *firstTrack, image);
  // Chunks of other kinds before the first track follow it, so that the
  // marker stays near the start of the file.
  for (auto c = chunks.begin(); c != firstTrack; ++c) {
    if (c->kind == ChunkKind::Foreign) image.insert(image.end(), file + c->offset, file + c->readEnd);
  }
  if (hasTrack) {
    for (uint8_t part = 0; part < kParts; ++part) {
      const auto events = eventsOf(part);
      if (!events.empty()) PutPartTrack(list, part, events, image);
    }
  }
  // The later chunks as they were, their tracks without the removed events.
  // The header is written anew.
  uint32_t track = 1;
  for (auto c = hasTrack ? firstTrack + 1 : chunks.end(); c != chunks.end(); ++c) {
    if (c->kind == ChunkKind::Foreign) {
      image.insert(image.end(), file + c->offset, file + c->readEnd);
    } else if (c->kind == ChunkKind::Track) {
      ByteBuffer body;
      body.reserve(c->readEnd - c->offset + 8);
      PutTrackBody(song, options, *c, c->bodyBegin, RecordsOf(list, track++), body);
      AppendTrackChunk(image, body);
    }
  }
  return image;
}

}  // namespace mertovan
