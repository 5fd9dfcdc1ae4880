#include "writer/file_image.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "model/events.h"
#include "model/midi_bytes.h"
#include "writer/song_writer.h"
#include "writer/tracks.h"

namespace mertovan {

VarLen EncodeVarLen(uint32_t value) {
  if (value > kMaxVarLen) return {};
  VarLen v{value & 0x7Fu, 1};
  for (value >>= 7; value != 0; value >>= 7) {
    v.packed |= ((value & 0x7Fu) | 0x80u) << (8 * v.count);
    ++v.count;
  }
  return v;
}

void AppendVarLen(ByteBuffer& out, uint64_t value, const char* what, uint64_t atTick) {
  const VarLen v = value > kMaxVarLen ? VarLen{} : EncodeVarLen(uint32_t(value));
  if (v.count == 0) {
    throw ConvertError("Cannot convert: the " + std::string(what) + " at tick " +
                       std::to_string(atTick) + " is " + std::to_string(value) +
                       ", more than a MIDI file can hold (268435455); nothing was written");
  }
  const uint32_t fileOrder = ReverseBytes(v.packed, v.count);
  for (uint8_t i = 0; i < v.count; ++i) out.push_back(uint8_t(fileOrder >> (8 * i)));
}

namespace {

// Merges two ascending runs of keys. The tracks of a file interleave in time
// without a pattern, so the choice is made without a branch that would be
// mispredicted on every other key.
void MergeKeys(const uint64_t* a, const uint64_t* aEnd, const uint64_t* b, const uint64_t* bEnd,
               uint64_t* out) {
  while (a != aEnd && b != bEnd) {
    const bool takeB = *b < *a;
    *out++ = takeB ? *b : *a;
    b += takeB;
    a += !takeB;
  }
  out = std::copy(a, aEnd, out);
  std::copy(b, bEnd, out);
}

}  // namespace

TickOrder SortEventsByTick() {
  const auto& events = gSysEx.events;
  // Sort keys: the tick above the list index, so that ascending keys are
  // tick order with list order among equal ticks. The list is the file's
  // tracks one after another, each already in time order: merging those runs
  // pairwise sorts the keys, eight bytes each, before any event is copied.
  std::vector<uint64_t> keys;
  keys.reserve(events.size());
  std::vector<size_t> runStarts;
  std::array<size_t, 32> perChannel{};
  for (size_t i = 0; i < events.size(); ++i) {
    if (i == 0 || events[i].tick < events[i - 1].tick) runStarts.push_back(i);
    keys.push_back(uint64_t(events[i].tick) << 32 | i);
    if (events[i].channel < perChannel.size()) ++perChannel[events[i].channel];
  }
  if (runStarts.size() > 1) {
    std::vector<uint64_t> merged(keys.size());
    while (runStarts.size() > 1) {
      std::vector<size_t> next;
      for (size_t r = 0; r < runStarts.size(); r += 2) {
        const size_t begin = runStarts[r];
        const size_t middle = r + 1 < runStarts.size() ? runStarts[r + 1] : keys.size();
        const size_t end = r + 2 < runStarts.size() ? runStarts[r + 2] : keys.size();
        MergeKeys(keys.data() + begin, keys.data() + middle, keys.data() + middle, keys.data() + end,
                  merged.data() + begin);
        next.push_back(begin);
      }
      keys.swap(merged);
      runStarts.swap(next);
    }
  }
  // Each entry carries what the track builders read, so that building a
  // track walks compact memory instead of jumping through the event list.
  TickOrder order;
  order.all.reserve(events.size());
  for (size_t ch = 0; ch < perChannel.size(); ++ch) order.byChannel[ch].reserve(perChannel[ch]);
  for (const uint64_t key : keys) {
    const uint32_t index = uint32_t(key);
    const Tsys& e = events[index];
    OrderedEvent& o = order.all.emplace_back();
    o.tick = e.tick;
    o.index = index;
    o.channel = e.channel;
    std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), o.ccNumber);
    std::copy(std::begin(e.ccValue), std::end(e.ccValue), o.ccValue);
    if (o.channel < order.byChannel.size()) order.byChannel[o.channel].push_back(o);
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

void AppendHeaderChunk(ByteBuffer& image, uint16_t trackCount) {
  AppendBytes(image, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
  AppendBytes(image, {uint8_t(trackCount >> 8), uint8_t(trackCount), 0x01, 0xE0});
}

int AppendTrackChunks(ByteBuffer& image, TrackKind kind, const TickOrder& order,
                      const ConvertOptions& options) {
  const bool perChannel = kind == TrackKind::Plain || kind == TrackKind::Formal;
  const int runs = perChannel ? 32 : 1;
  int appended = 0;
  for (int ch = 0; ch < runs; ++ch) {
    // The body is built in place behind its chunk header, whose length is
    // filled in once the body is complete.
    const size_t start = image.size();
    AppendBytes(image, {'M', 'T', 'r', 'k', 0, 0, 0, 0});
    if (RunBuilder(kind, uint8_t(ch), order, options, image) != 0) {
      image.resize(start);
      continue;
    }
    AppendBytes(image, {0x00, kStatusMeta, kMetaEndOfTrack, 0x00});
    const size_t length = image.size() - start - 8;
    if (length > 0xFFFFFFFFull) {
      throw ConvertError("Cannot convert: a track of the converted file would exceed 4 GiB");
    }
    for (int i = 0; i < 4; ++i) image[start + 4 + size_t(i)] = uint8_t(length >> (24 - 8 * i));
    ++appended;
  }
  return appended;
}

std::vector<uint8_t> BuildFileImage(const ConvertOptions& options) {
  // The song layout is a module of its own beside the classic layouts.
  if (options.songMode) return BuildSongImage(options);
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

}  // namespace mertovan
