// The formal and plain layouts: the header, the conductor track, the
// pass-through SysEx track and one channel track per part that has one.
#include <algorithm>
#include <map>
#include <utility>

#include "writer/tracks.h"

namespace mertovan {

namespace {

// Part parameters that the song sets to different values: the formal setup
// keeps only the last. A parameter is a part's controller, or its NRPN or RPN
// number (a drum instrument's settings have the note in their number).
size_t CountChangingParameters(const Song& song, const TickOrder& order) {
  std::map<uint64_t, std::pair<uint8_t, bool>> seen;  // first value, changed since
  for (size_t ch = 0; ch < order.byChannel.size(); ++ch) {
    for (const uint32_t i : order.byChannel[ch]) {
      const Tsys& e = song.sysEx.events[i];
      if (e.ccNumber[0] == kNone) continue;
      const bool group = e.ccNumber[1] != kNone;
      const uint64_t key = uint64_t(ch) << 40 | uint64_t(e.ccNumber[0]) << 32 | uint64_t(e.ccNumber[1]) << 24 |
                           (group ? uint64_t(e.ccValue[0]) << 16 | uint64_t(e.ccValue[1]) << 8 : 0);
      const uint8_t value = group ? e.ccValue[2] : e.ccValue[0];
      const auto [it, fresh] = seen.try_emplace(key, value, false);
      if (!fresh && it->second.first != value) it->second.second = true;
    }
  }
  return size_t(std::count_if(seen.begin(), seen.end(), [](const auto& s) { return s.second.second; }));
}

}  // namespace

std::vector<uint8_t> BuildClassicImage(const Song& song, const ConvertOptions& options, ConvertReport* report) {
  const TickOrder order = SortEventsByTick(song.sysEx);
  const bool formal = options.layout == Layout::Formal;
  SetupTable setup = InitSetupTable();
  if (formal) MarkSetupUsage(setup, song, order);

  // Each builder's track, framed, in file order; a part without a track is
  // left out.
  std::vector<ByteBuffer> tracks;
  const auto add = [&tracks](auto build) {
    ByteBuffer body;
    if (build(body) != 0) return;
    AppendBytes(body, kEndOfTrackEvent);
    tracks.push_back(std::move(body));
  };
  add([&](ByteBuffer& body) { return BuildConductorTrack(body); });
  add([&](ByteBuffer& body) { return BuildSysExTrack(song, order, options, body); });
  for (uint8_t ch = 0; ch < 32; ++ch) {
    add([&](ByteBuffer& body) {
      return formal ? BuildFormalTrack(ch, setup, song, order, body) : BuildPlainTrack(ch, song, order, body);
    });
  }

  if (report) {
    const auto& events = song.sysEx.events;
    report->total = events.size();
    report->converted = size_t(std::count_if(events.begin(), events.end(), InChannelTrack));
    if (formal) {
      report->changingParameters = CountChangingParameters(song, order);
      report->sysExAfterFirstNote =
          options.includeUnconvertible && std::any_of(events.begin(), events.end(), [&](const Tsys& e) {
            return !InChannelTrack(e) && e.tick > song.firstNoteTick;
          });
    }
  }

  ByteBuffer image;
  AppendHeaderChunk(image, 1, uint16_t(tracks.size()), kTicksPerQuarter);
  for (const ByteBuffer& body : tracks) AppendTrackChunk(image, body);
  return image;
}

}  // namespace mertovan
