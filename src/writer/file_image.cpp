#include "writer/file_image.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "model/events.h"
#include "model/midi_bytes.h"
#include "writer/song_writer.h"
#include "writer/tracks.h"

namespace mertovan {

void ThrowVarLenTooLarge(uint64_t value, const char* what, uint64_t atTick) {
  throw ConvertError("Cannot convert: the " + std::string(what) + " at tick " + std::to_string(atTick) + " is " +
                     std::to_string(value) + ", more than a MIDI file can hold (268435455); nothing was written");
}

uint8_t* WriteLongVarLen(uint8_t* at, uint64_t value, const char* what, uint64_t atTick) {
  const VarLen v = value > kMaxVarLen ? VarLen{} : EncodeVarLen(uint32_t(value));
  if (v.count == 0) ThrowVarLenTooLarge(value, what, atTick);
  for (int i = v.count - 1; i >= 0; --i) *at++ = uint8_t(v.packed >> (8 * i));
  return at;
}

TickOrder SortEventsByTick() {
  const auto& events = gSysEx.events;
  // The records are copied in list order (the tracks one after another, each
  // in time order), then their runs are merged: the event list is read once,
  // front to back.
  TickOrder order;
  order.all.reserve(events.size());
  std::array<size_t, 32> perChannel{};
  for (size_t i = 0; i < events.size(); ++i) {
    const Tsys& e = events[i];
    OrderedEvent& o = order.all.emplace_back();
    o.tick = e.tick;
    o.index = uint32_t(i);
    o.channel = e.channel;
    std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), o.ccNumber);
    std::copy(std::begin(e.ccValue), std::end(e.ccValue), o.ccValue);
    if (e.channel < perChannel.size()) ++perChannel[e.channel];
  }
  MergeTickRuns(order.all);
  std::array<size_t, 32> next{};
  size_t grouped = 0;
  for (size_t ch = 0; ch < perChannel.size(); ++ch) {
    next[ch] = grouped;
    grouped += perChannel[ch];
  }
  order.grouped.resize(grouped);
  for (const OrderedEvent& o : order.all) {
    if (o.channel < next.size()) order.grouped[next[o.channel]++] = o;
  }
  for (size_t ch = 0; ch < perChannel.size(); ++ch) {
    order.byChannel[ch] = std::span<const OrderedEvent>(order.grouped).subspan(next[ch] - perChannel[ch], perChannel[ch]);
  }
  return order;
}

namespace {

bool ChannelHasTrack(uint8_t ch, TrackKind kind, const TickOrder& order) {
  if (kind == TrackKind::Plain) return !order.byChannel[ch].empty();
  for (const SetupWork& e : gSetupTable) {
    if (e.usage[ch] != 0) return true;
  }
  return false;
}

int RunBuilder(TrackKind kind, uint8_t ch, const TickOrder& order, const ConvertOptions& options,
               ByteBuffer& body) {
  switch (kind) {
    case TrackKind::Plain:
      return BuildPlainTrack(ch, order, body);
    case TrackKind::Formal:
      return BuildFormalTrack(ch, order, body);
    case TrackKind::SysEx:
      return BuildSysExTrack(order, options, body);
    case TrackKind::Conductor:
      return BuildConductorTrack(body);
  }
  return -1;
}

}  // namespace

uint16_t CountTracks(const ConvertOptions& options, const TickOrder& order) {
  const TrackKind kind = ChannelTrackKind(options);
  uint16_t count = 2;
  for (uint8_t ch = 0; ch < 32; ++ch) {
    if (ChannelHasTrack(ch, kind, order)) ++count;
  }
  return count;
}

void AppendHeaderChunk(ByteBuffer& image, uint16_t trackCount, uint16_t division) {
  AppendBytes(image, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
  AppendBytes(image, {uint8_t(trackCount >> 8), uint8_t(trackCount), uint8_t(division >> 8), uint8_t(division)});
}

size_t BeginTrackChunk(ByteBuffer& image) {
  AppendBytes(image, kTrackChunkId);
  AppendBytes(image, {0, 0, 0, 0});
  return image.size();
}

void SetTrackLength(uint8_t* bodyStart, uint64_t length) {
  if (length > 0xFFFFFFFFull) throw ConvertError("Cannot convert: a track of the converted file would exceed 4 GiB");
  for (int i = 0; i < 4; ++i) bodyStart[i - 4] = uint8_t(length >> (24 - 8 * i));
}

void EndTrackChunk(ByteBuffer& image, size_t bodyStart) {
  SetTrackLength(image.data() + bodyStart, image.size() - bodyStart);
}

int AppendTrackChunks(ByteBuffer& image, TrackKind kind, const TickOrder& order,
                      const ConvertOptions& options) {
  const bool perChannel = kind == TrackKind::Plain || kind == TrackKind::Formal;
  const int runs = perChannel ? 32 : 1;
  int appended = 0;
  for (int ch = 0; ch < runs; ++ch) {
    // The body is built in place behind its chunk header, whose length is
    // filled in once the body is complete.
    const size_t bodyStart = BeginTrackChunk(image);
    if (RunBuilder(kind, uint8_t(ch), order, options, image) != 0) {
      image.resize(bodyStart - 8);
      continue;
    }
    AppendBytes(image, {0x00, kStatusMeta, kMetaEndOfTrack, 0x00});
    EndTrackChunk(image, bodyStart);
    ++appended;
  }
  return appended;
}

namespace {

ByteBuffer BuildClassicImage(const ConvertOptions& options) {
  const TickOrder order = SortEventsByTick();
  // The setup work table is rebuilt in plain mode too: the header's track
  // count in formal mode depends on it.
  InitSetupTable();
  MarkSetupUsage(order);

  ByteBuffer image;
  image.reserve(256 + gSysEx.bytes.size() + gSysEx.events.size() * 16);
  AppendHeaderChunk(image, CountTracks(options, order));
  AppendTrackChunks(image, TrackKind::Conductor, order, options);
  AppendTrackChunks(image, TrackKind::SysEx, order, options);
  AppendTrackChunks(image, ChannelTrackKind(options), order, options);
  return image;
}

}  // namespace

std::vector<uint8_t> BuildFileImage(const ConvertOptions& options) { return BuildFile(options).Joined(); }

BuiltFile BuildFile(const ConvertOptions& options) {
  // The song layout is a module of its own beside the classic layouts.
  if (options.songMode) return BuildSongFile(options);
  BuiltFile built;
  built.bytes = BuildClassicImage(options);
  built.pieces.push_back({0, built.bytes.size()});
  return built;
}

}  // namespace mertovan
