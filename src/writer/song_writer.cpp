#include "writer/song_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

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

// Appends the channel messages of a converted message, the first after
// `delta`, the others at the same tick.
template <class Pairs>  // Tsys or PartEvent
void PutChannelMessages(const Pairs& e, uint8_t channel, uint64_t delta, uint64_t tick, ByteBuffer& out) {
  AppendDeltaTime(out, delta, tick);
  for (size_t m = 0; m < 4 && e.ccNumber[m] != kNone; ++m) {
    if (m > 0) out.push_back(0x00);
    const ChannelMessage msg = ChannelMessageOf(channel, e.ccNumber[m], e.ccValue[m]);
    out.insert(out.end(), msg.bytes.begin(), msg.bytes.begin() + msg.size);
  }
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

// What becomes of the converted messages in their own track: taken out (their
// channel messages go to the part tracks), or replaced in place by their
// channel messages (a format 0 song that stays format 0).
struct InTrack {
  const std::vector<bool>& routed;
  const std::vector<uint8_t>* channelOf = nullptr;  // by record; set when replacing in place
};

// Appends the track body [from, chunk.readEnd) of the source without the
// events the conversion takes out: the converted messages (or, replacing in
// place, with their channel messages instead) and, unless they are kept, the
// others, each with the F7 packets that carried it on. Each removed event's
// delta time goes to the next event that stays, whose delta alone is written
// anew; every other byte is copied as it is. Running status: no event that
// sets one is ever removed, and after channel messages put in place the next
// event gets its status byte back. A track that did not end with end-of-track
// gets one.
void PutTrackBody(const Song& song, const ConvertOptions& options, const InTrack& in, const SourceChunk& chunk,
                  uint32_t from, TrackRecords records, ByteBuffer& out) {
  const SysExList& list = song.sysEx;
  const uint8_t* file = song.source.image->data();
  // The reader has read every delta time of the track: each is whole.
  const auto deltaAt = [&](uint32_t at) { return ReadVarLen({file + at, std::min<size_t>(4, chunk.readEnd - at)}); };
  uint32_t pos = from;
  uint64_t carry = 0;
  uint64_t carriedFrom = 0;
  uint8_t restoreStatus = 0;  // the running status the next event may rely on
  const auto copyUntil = [&](uint32_t until) {
    if ((carry != 0 || restoreStatus != 0) && pos < until) {
      // The next event that stays takes the removed events' time, and its
      // status byte where channel messages were put before it.
      const VarLenRead d = deltaAt(pos);
      AppendVarLen(out, carry + d.value, "time gap before the event", carriedFrom + d.value);
      pos += d.size;
      if (restoreStatus != 0 && file[pos] < 0x80) out.push_back(restoreStatus);
      carry = 0;
      restoreStatus = 0;
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
    const SourcePlace& place = list.places[ev];
    const bool converted = in.routed[ev];
    // A message whose F0 event cut off one that never got its F7 stays (its
    // channel messages are written all the same): taken out, it would let a
    // later F7 event of the track carry on the cut-off message.
    const bool removed = !keptOpen && (converted || !options.includeUnconvertible);
    if (converted && in.channelOf) {
      const uint8_t channel = (*in.channelOf)[ev];
      if (removed) {
        copyUntil(place.packet.begin);
        PutChannelMessages(e, channel, carry + deltaAt(place.packet.begin).value, place.tick, out);
        carry = 0;
        pos = place.packet.end;
      } else {
        copyUntil(place.packet.end);
        PutChannelMessages(e, channel, 0, place.tick, out);
      }
      restoreStatus = place.runningStatus;
    } else if (removed) {
      remove(place.packet, place.tick);
    }
    if (!removed) {
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
void PutFirstTrack(const Song& song, const ConvertOptions& options, const InTrack& in, const SourceChunk& chunk,
                   ByteBuffer& image) {
  const uint8_t* file = song.source.image->data();
  ByteBuffer body;
  body.reserve(chunk.readEnd - chunk.offset + 32);
  AppendBytes(body, kMarkerEvent);
  uint32_t from = chunk.bodyBegin;
  const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                      std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
  if (marked) from += uint32_t(kMarkerEvent.size());
  PutTrackBody(song, options, in, chunk, from, RecordsOf(song.sysEx, 0), body);
  if (body.size() == kMarkerEvent.size() || body[kMarkerEvent.size()] != 0x00) {
    body.insert(body.begin() + kMarkerEvent.size(), std::begin(kEmptyTextEvent), std::end(kEmptyTextEvent));
  }
  AppendTrackChunk(image, body);
}

// A part's track: its name "Part N", the port its first message goes out on,
// then every converted message at the source tick of its SysEx message, on
// the channel its part receives on; where the part moves to another port, a
// port event goes before the message.
void PutPartTrack(uint8_t part, std::span<const PartEvent> events, ByteBuffer& image) {
  const std::string name = "Part " + std::to_string(part + 1);
  ByteBuffer body;
  body.reserve(32 + 12 * events.size());
  AppendBytes(body, {0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())});
  for (char c : name) body.push_back(uint8_t(c));
  uint8_t port = events.front().port;
  AppendBytes(body, {0x00, kStatusMeta, kMetaPort, 0x01, port});
  uint32_t now = 0;
  for (const PartEvent& pe : events) {
    uint32_t delta = pe.tick - now;
    if (pe.port != port) {
      port = pe.port;
      AppendDeltaTime(body, delta, pe.tick);
      AppendBytes(body, {kStatusMeta, kMetaPort, 0x01, port});
      delta = 0;
    }
    PutChannelMessages(pe, pe.channel, delta, pe.tick, body);
    now = pe.tick;
  }
  AppendBytes(body, {0x00, kStatusMeta, kMetaEndOfTrack, 0x00});
  AppendTrackChunk(image, body);
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

  std::vector<bool> routed;
  std::vector<PartEvent> converted = RouteConverted(list, routed);
  if (report) {
    report->converted = converted.size();
    report->total = list.size();
  }

  const auto firstTrack = std::find_if(chunks.begin(), chunks.end(),
                                       [](const SourceChunk& c) { return c.kind == ChunkKind::Track; });
  const bool hasTrack = firstTrack != chunks.end();
  size_t trackCount = 0;
  for (const SourceChunk& c : chunks) trackCount += c.kind == ChunkKind::Track;

  // A format 0 song whose channel messages all go out on the first port stays
  // format 0, as the keyboards that play such songs want it: each converted
  // message is replaced in its place by its channel messages.
  const bool inPlace = source.format == 0 && trackCount == 1 &&
                       std::all_of(converted.begin(), converted.end(), [](const PartEvent& e) { return e.port == 0; });
  std::vector<uint8_t> channelOf;
  if (inPlace) {
    channelOf.assign(list.size(), 0);
    for (const PartEvent& e : converted) channelOf[e.index] = e.channel;
  }
  const InTrack in{routed, inPlace ? &channelOf : nullptr};

  // Otherwise the converted messages go to one track per part, in tick
  // order, list order among equal ticks; the part tracks follow the first.
  std::stable_sort(converted.begin(), converted.end(), [](const PartEvent& a, const PartEvent& b) {
    return a.part != b.part ? a.part < b.part : a.tick < b.tick;
  });
  const auto eventsOf = [&](uint8_t part) {
    const auto from = std::lower_bound(converted.begin(), converted.end(), part,
                                       [](const PartEvent& e, uint8_t p) { return e.part < p; });
    const auto to = std::find_if(from, converted.end(), [part](const PartEvent& e) { return e.part != part; });
    return std::span<const PartEvent>(converted.data() + (from - converted.begin()), size_t(to - from));
  };
  const bool partTracks = hasTrack && !inPlace;
  if (partTracks) {
    for (uint8_t part = 0; part < kParts; ++part) trackCount += !eventsOf(part).empty();
  }
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The file is about as large as the source: its room is taken once.
  ByteBuffer image;
  image.reserve(source.image->size() + 16 * converted.size() + 1024);
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(image, inPlace ? 0 : 1, uint16_t(trackCount), source.division);
  if (hasTrack) PutFirstTrack(song, options, in, *firstTrack, image);
  // Chunks of other kinds before the first track follow it, so that the
  // marker stays near the start of the file.
  for (auto c = chunks.begin(); c != firstTrack; ++c) {
    if (c->kind == ChunkKind::Foreign) image.insert(image.end(), file + c->offset, file + c->readEnd);
  }
  if (partTracks) {
    for (uint8_t part = 0; part < kParts; ++part) {
      const auto events = eventsOf(part);
      if (!events.empty()) PutPartTrack(part, events, image);
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
      PutTrackBody(song, options, in, *c, c->bodyBegin, RecordsOf(list, track++), body);
      AppendTrackChunk(image, body);
    }
  }
  return image;
}

}  // namespace mertovan
