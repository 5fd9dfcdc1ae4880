#include "writer/file_image.h"

#include <algorithm>
#include <utility>
#include <string>

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
    throw ConvertError("Cannot convert: the " + std::string(what) + " at tick " + std::to_string(atTick) + " is " +
                       std::to_string(value) + ", more than a MIDI file can hold (268435455); nothing was written");
  }
  // The first group goes first in the file: the bytes reversed, then taken
  // from the low end.
  const uint32_t inFileOrder = v.count == 1 ? v.packed : ReverseBytes(v.packed, v.count);
  for (uint8_t i = 0; i < v.count; ++i) out.push_back(uint8_t(inFileOrder >> (8 * i)));
}

void AppendHeaderChunk(ByteBuffer& image, uint16_t format, uint16_t trackCount, uint16_t division) {
  AppendBytes(image, {'M', 'T', 'h', 'd', 0, 0, 0, 6, uint8_t(format >> 8), uint8_t(format)});
  AppendBytes(image, {uint8_t(trackCount >> 8), uint8_t(trackCount), uint8_t(division >> 8), uint8_t(division)});
}

void AppendTrackChunk(ByteBuffer& image, std::span<const uint8_t> body) {
  if (body.size() > 0xFFFFFFFFull) throw ConvertError("Cannot convert: a track of the converted file would exceed 4 GiB");
  const uint32_t length = uint32_t(body.size());
  AppendBytes(image, {'M', 'T', 'r', 'k', uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                      uint8_t(length)});
  AppendBytes(image, body);
}

TickOrder SortEventsByTick(const SysExList& list) {
  // Sorted as (tick, index) pairs, which sit side by side in memory.
  std::vector<std::pair<uint32_t, uint32_t>> ticks;
  ticks.reserve(list.events.size());
  for (uint32_t i = 0; i < list.events.size(); ++i) ticks.emplace_back(list.events[i].tick, i);
  std::stable_sort(ticks.begin(), ticks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  TickOrder order;
  order.all.reserve(ticks.size());
  for (const auto& [tick, i] : ticks) order.all.push_back(i);
  for (const uint32_t i : order.all) {
    const Tsys& e = list.events[i];
    if (e.channel < order.byChannel.size() && !e.songOnly) order.byChannel[e.channel].push_back(i);
  }
  return order;
}

std::vector<uint8_t> BuildFileImage(const Song& song, const ConvertOptions& options, ConvertReport* report) {
  // The song layout is a module of its own beside the classic layouts.
  if (options.layout == Layout::Song) {
    return BuildSongImage(song, options, report);
  }
  return BuildClassicImage(song, options, report);
}

}  // namespace mertovan
