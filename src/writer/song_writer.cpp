#include "writer/song_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <future>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>

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
// beforehand for the most it can take (see BuildSongImage): most of it is runs of
// source bytes between removed events, each copied with one memcpy.
struct Out {
  uint8_t* p;
  void Put(const uint8_t* from, const uint8_t* to) {
    std::memcpy(p, from, size_t(to - from));
    p += to - from;
  }
  void Put(std::span<const uint8_t> bytes) { Put(bytes.data(), bytes.data() + bytes.size()); }
  void PutVarLen(uint64_t value, const char* what, uint64_t atTick) { p = WriteVarLen(p, value, what, atTick); }
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
  uint8_t size;  // of its messages in the track, as MessagesSize gives it
};
// Records that are written before they are read: their room is not zeroed.
template <class T>
using Block = std::vector<T, NoZeroFillAllocator<T>>;

// Sorts the converted messages by part, and each part's by tick; among equal
// ticks they keep list order. A stable radix sort: a digit of the tick at a
// time from the lowest, then the part. The tracks of a song address the parts
// in any order, and a sort by comparisons would spend most of its time on
// branches the processor cannot predict.
void SortByPartAndTick(Block<PartEvent>& events) {
  Block<PartEvent> room(events.size());
  const auto pass = [&](auto digitOf, size_t digits) {
    std::vector<size_t> next(digits + 1, 0);
    for (const PartEvent& e : events) ++next[digitOf(e) + 1];
    for (size_t d = 1; d <= digits; ++d) next[d] += next[d - 1];
    for (const PartEvent& e : events) room[next[digitOf(e)]++] = e;
    events.swap(room);
  };
  uint32_t latest = 0;
  for (const PartEvent& e : events) latest = std::max(latest, e.tick);
  constexpr unsigned kDigitBits = 11;
  for (unsigned shift = 0; shift < 32 && (latest >> shift) != 0; shift += kDigitBits) {
    pass([shift](const PartEvent& e) { return size_t((e.tick >> shift) & ((1u << kDigitBits) - 1)); },
         size_t(1) << kDigitBits);
  }
  pass([](const PartEvent& e) { return size_t(e.part); }, size_t(kParts));
}

// The most a part track takes besides its events: "MTrk" and length, the
// name "Part N" (at most "Part 32"), the port, the end of track.
constexpr size_t kPartTrackRoom = 8 + 4 + 7 + 5 + 4;
// The size of the messages of one converted message: a program change takes
// two bytes, any other message three, and each but the first a zero delta
// before it. Worked out without branches: the counts of messages come at
// random.
uint8_t MessagesSize(const uint8_t (&ccNumber)[4]) {
  const unsigned present0 = unsigned(ccNumber[0] != kNone);
  const unsigned present1 = present0 & unsigned(ccNumber[1] != kNone);
  const unsigned present2 = present1 & unsigned(ccNumber[2] != kNone);
  const unsigned present3 = present2 & unsigned(ccNumber[3] != kNone);
  const auto program = [&](int m) { return unsigned(ccNumber[m] == kProgramChange); };
  return uint8_t(present0 * (3 - program(0)) + present1 * (4 - program(1)) + present2 * (4 - program(2)) +
                 present3 * (4 - program(3)));
}

std::string PartTrackName(uint8_t part) { return "Part " + std::to_string(part + 1); }

// The exact size of a part's track (PutPartTrack), events in tick order:
// "MTrk" and length, the name, the port, the events, the end of track. Throws
// ConvertError for a time gap the format cannot hold, as writing it would.
size_t PartTrackSize(uint8_t part, std::span<const PartEvent> events) {
  size_t size = 8 + 4 + PartTrackName(part).size() + 5 + 4;
  uint32_t now = 0;
  for (const PartEvent& e : events) {
    const VarLen delta = EncodeVarLen(e.tick - now);
    if (delta.count == 0) ThrowVarLenTooLarge(e.tick - now, "time gap before the event", e.tick);
    size += delta.count + e.size;
    now = e.tick;
  }
  return size;
}

// A part's track: its name "Part N", its port (parts 17-32 on the second), then
// every converted message at the source tick of its SysEx message.
void PutPartTrack(uint8_t part, std::span<const PartEvent> events, Out& out) {
  uint8_t* bodyStart = out.BeginTrack();
  const std::string name = PartTrackName(part);
  out.Put({{0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())}});
  out.Put(reinterpret_cast<const uint8_t*>(name.data()), reinterpret_cast<const uint8_t*>(name.data() + name.size()));
  out.Put({{0x00, kStatusMeta, kMetaPort, 0x01, uint8_t(part / 16)}});
  uint64_t now = 0;
  for (const PartEvent& e : events) {
    out.PutVarLen(e.tick - now, "time gap before the event", e.tick);
    now = e.tick;
    // All three bytes of a message go in; a program change's third is
    // overwritten by what follows it in the track (at least its end).
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

// The events that tracks take out of a stretch of the list, with the F7
// packets that carried on their messages: in file order, track after track.
struct Removals {
  std::vector<Removed> removed;
  std::vector<size_t> ends;  // per track of the stretch, one past its last in `removed`
  std::span<const Removed> OfTrack(size_t i) const {
    return {removed.begin() + long(i == 0 ? 0 : ends[i - 1]), removed.begin() + long(ends[i])};
  }
};

// One pass over the records [begin, end) of the list, which belong to tracks
// [firstTrack, endTrack): their removals, and with `parts` (then from record 0)
// the converted messages of the whole list, each part's counted in `perPart`.
// The reader gives each record a track it read, in file order.
Removals Scan(const ConvertOptions& options, size_t begin, size_t end, uint32_t firstTrack, uint32_t endTrack,
              Block<PartEvent>* parts, std::array<size_t, kParts>* perPart) {
  const auto& events = gSysEx.events;
  const auto& places = gSysEx.places;
  const auto& continuations = gSysEx.continuations;
  Removals r;
  r.removed.reserve((end - begin) + continuations.size());
  r.ends.assign(endTrack - firstTrack, 0);
  size_t cont = size_t(std::lower_bound(continuations.begin(), continuations.end(), begin,
                                        [](const Continuation& c, size_t ev) { return c.event < ev; }) -
                       continuations.begin());
  uint32_t track = firstTrack;
  // Whether the last message kept in the track never got its F7.
  bool keptOpen = false;
  const size_t last = parts ? events.size() : end;
  for (size_t ev = parts ? 0 : begin; ev < last; ++ev) {
    const Tsys& e = events[ev];
    const SourcePlace& place = places[ev];
    if (parts && IsConverted(e)) {
      PartEvent& pe = parts->emplace_back();
      pe.tick = place.tick;
      std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), pe.ccNumber);
      std::copy(std::begin(e.ccValue), std::end(e.ccValue), pe.ccValue);
      pe.part = e.channel;
      pe.size = MessagesSize(e.ccNumber);
      ++(*perPart)[e.channel];
    }
    if (ev < begin || ev >= end || place.track >= endTrack || place.track < track) continue;
    for (; track < place.track; ++track) {
      r.ends[track - firstTrack] = r.removed.size();
      keptOpen = false;
    }
    // A message whose F0 event cut off one that never got its F7 stays (its
    // channel messages are written all the same): taken out, it would let a
    // later F7 event of the track carry on the cut-off message.
    const bool remove = !keptOpen && (IsConverted(e) || !options.includeUnconvertible);
    if (remove) {
      r.removed.push_back({place.packet, place.tick});
    } else {
      const auto raw = gSysEx.Raw(e);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
    }
    for (; cont < continuations.size() && continuations[cont].event <= ev; ++cont) {
      const Continuation& c = continuations[cont];
      if (remove && c.event == ev) r.removed.push_back({c.packet, c.tick});
    }
  }
  for (; track < endTrack; ++track) r.ends[track - firstTrack] = r.removed.size();
  return r;
}

// Writes the chunks after the first track: the other tracks without their
// removed events, and the chunks of other kinds as they are.
// `removals` holds the later tracks from its track `firstIndex` on.
uint8_t* PutLaterChunks(const uint8_t* file, std::span<const SourceChunk> chunks, const Removals& removals,
                        size_t firstIndex, uint8_t* at) {
  Out out{at};
  size_t track = firstIndex;
  for (const SourceChunk& chunk : chunks) {
    if (chunk.kind == ChunkKind::Header) continue;  // the header is written anew
    if (chunk.kind == ChunkKind::Foreign) {
      out.Put(file + chunk.offset, file + chunk.readEnd);
      continue;
    }
    uint8_t* bodyStart = out.BeginTrack();
    PutTrackBody(file, chunk, chunk.bodyBegin, removals.OfTrack(track++), out);
    out.EndTrack(bodyStart);
  }
  return out.p;
}

// Songs with this many messages and more write the tracks after the first on
// a second thread, while this one sorts and writes the part tracks.
constexpr size_t kSecondThreadFrom = 16384;

// The second thread: it takes the removals of the later tracks, waits for
// where they go (a null start when the conversion failed), then writes them.
class LaterChunksWriter {
 public:
  template <class Work>
  explicit LaterChunksWriter(Work work) {
    std::future<uint8_t*> start = start_.get_future();
    thread_ = std::thread([this, work, start = std::move(start)]() mutable {
      try {
        end_ = work(start);
      } catch (...) {
        failure_ = std::current_exception();
      }
    });
  }
  ~LaterChunksWriter() {
    if (!thread_.joinable()) return;
    if (!started_) start_.set_value(nullptr);
    thread_.join();
  }
  LaterChunksWriter(const LaterChunksWriter&) = delete;
  LaterChunksWriter& operator=(const LaterChunksWriter&) = delete;
  // Lets the thread write from `at`.
  void Start(uint8_t* at) {
    started_ = true;
    start_.set_value(at);
  }
  // Waits for the thread; returns where it ended.
  uint8_t* Finish() {
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return end_;
  }

 private:
  std::promise<uint8_t*> start_;
  bool started_ = false;
  uint8_t* end_ = nullptr;
  std::exception_ptr failure_;
  std::thread thread_;
};

[[noreturn]] void Refuse(const std::string& why) {
  throw ConvertError("Cannot keep the song: " + why + "; nothing was written");
}

}  // namespace

std::vector<uint8_t> BuildSongImage(const ConvertOptions& options, SongThreads threads) {
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
  const std::span<const SourceChunk> chunks(source.chunks);

  size_t trackCount = 0;
  for (const SourceChunk& c : chunks) trackCount += c.kind == ChunkKind::Track;
  const uint32_t sourceTracks = uint32_t(trackCount);
  // The first track, and the chunks before it; the records of the later tracks.
  const auto firstTrack = std::find_if(chunks.begin(), chunks.end(),
                                       [](const SourceChunk& c) { return c.kind == ChunkKind::Track; });
  const auto laterChunks = chunks.subspan(std::min(chunks.size(), size_t(firstTrack - chunks.begin()) + 1));
  const size_t laterRecords =
      size_t(std::partition_point(places.begin(), places.end(), [](const SourcePlace& p) { return p.track == 0; }) -
             places.begin());

  // The later tracks' removals are taken, and the tracks written, on a second
  // thread for a large song; else on this one, after the part tracks.
  const bool second = sourceTracks > 1 && (threads == SongThreads::Two ||
                                           (threads == SongThreads::Auto && events.size() >= kSecondThreadFrom));
  std::vector<uint8_t> image;
  Removals later;
  auto writeLater = [&](std::future<uint8_t*>& start) -> uint8_t* {
    later = Scan(options, laterRecords, events.size(), 1, sourceTracks, nullptr, nullptr);
    uint8_t* at = start.get();
    return at ? PutLaterChunks(file, laterChunks, later, 0, at) : nullptr;
  };
  std::optional<LaterChunksWriter> helper;
  if (second) {
    try {
      helper.emplace(writeLater);
    } catch (const std::system_error&) {
      // No thread to be had: all is written on this one.
    }
  }

  // This thread: the converted messages of the whole list, and the removals
  // of the first track (of every track when it writes them all).
  Block<PartEvent> converted;
  converted.reserve(events.size());
  std::array<size_t, kParts> perPart{};
  const Removals first =
      Scan(options, 0, helper ? laterRecords : events.size(), 0, helper ? std::min(sourceTracks, 1u) : sourceTracks,
           &converted, &perPart);
  for (size_t n : perPart) trackCount += n != 0;
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The room: every source chunk at most as long as it was (a removed event
  // takes at least three bytes out, and the delta time written anew for the
  // next event is at most three bytes longer than the one it replaces), an
  // end-of-track for each track, the marker, and the part tracks.
  size_t partsRoom = kParts * kPartTrackRoom;
  for (const PartEvent& pe : converted) partsRoom += 4 + pe.size;
  const size_t room = 14 + source.image->size() + 7 * chunks.size() + kMarkerEvent.size() +
                      sizeof kEmptyTextEvent + partsRoom;
  image.reserve(room);
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(image, uint16_t(trackCount), source.division);
  const size_t headerSize = image.size();
  image.resize(room);
  Out out{image.data() + headerSize};

  if (firstTrack != chunks.end()) {
    const SourceChunk& chunk = *firstTrack;
    uint8_t* bodyStart = out.BeginTrack();
    uint32_t from = chunk.bodyBegin;
    const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                        std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
    if (marked) from += uint32_t(kMarkerEvent.size());
    out.Put(kMarkerEvent);
    PutTrackBody(file, chunk, from, first.OfTrack(0), out);
    uint8_t* afterMarker = bodyStart + kMarkerEvent.size();
    if (out.p == afterMarker || *afterMarker != 0x00) {
      std::memmove(afterMarker + sizeof kEmptyTextEvent, afterMarker, size_t(out.p - afterMarker));
      std::memcpy(afterMarker, kEmptyTextEvent, sizeof kEmptyTextEvent);
      out.p += sizeof kEmptyTextEvent;
    }
    out.EndTrack(bodyStart);
  }
  // Chunks of other kinds before the first track follow it, so that the
  // marker stays near the start of the file.
  for (auto c = chunks.begin(); c != firstTrack; ++c) {
    if (c->kind == ChunkKind::Foreign) out.Put(file + c->offset, file + c->readEnd);
  }

  // Each part's messages in one block, part after part, each in tick order.
  SortByPartAndTick(converted);
  std::array<std::span<const PartEvent>, kParts> partEvents;
  for (size_t part = 0, at = 0; part < kParts; at += perPart[part++]) {
    partEvents[part] = std::span<const PartEvent>(converted).subspan(at, perPart[part]);
  }
  // The part tracks come right after the first track; the later chunks right
  // after them, so their start is known before the part tracks are written.
  uint8_t* partsEnd = out.p;
  if (firstTrack != chunks.end()) {
    for (uint8_t part = 0; part < kParts; ++part) {
      if (!partEvents[part].empty()) partsEnd += PartTrackSize(part, partEvents[part]);
    }
  }
  if (helper) helper->Start(partsEnd);
  if (firstTrack != chunks.end()) {
    for (uint8_t part = 0; part < kParts; ++part) {
      if (!partEvents[part].empty()) PutPartTrack(part, partEvents[part], out);
    }
  }
  if (out.p != partsEnd) {
    throw ConvertError(
        "Cannot keep the song: the part tracks did not fill the room worked out for them; nothing was written");
  }
  uint8_t* end;
  if (helper) {
    end = helper->Finish();
  } else {
    end = PutLaterChunks(file, laterChunks, first, 1, out.p);
  }
  image.resize(size_t(end - image.data()));
  return image;
}

}  // namespace mertovan
