// The formal and plain layouts: the header, the conductor track, the
// pass-through SysEx track and one channel track per part that has one.
#include <algorithm>

#include "writer/tracks.h"

namespace mertovan {

std::vector<uint8_t> BuildClassicImage(const Song& song, const ConvertOptions& options) {
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

  ByteBuffer image;
  AppendHeaderChunk(image, 1, uint16_t(tracks.size()), kTicksPerQuarter);
  for (const ByteBuffer& body : tracks) AppendTrackChunk(image, body);
  return image;
}

}  // namespace mertovan
