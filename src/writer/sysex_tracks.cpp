// The conductor track and the pass-through SysEx track.
#include <algorithm>
#include <array>
#include <iterator>

#include "analysis/stored_message.h"
#include "model/midi_bytes.h"
#include "writer/tracks.h"

namespace mertovan {

namespace {

// Delta 0: sequence name (the marker by which the program knows its own
// files), tempo 500000 us per quarter, time signature 4/4 with 24 clocks per
// click and 8 thirty-seconds per quarter.
constexpr uint8_t kTempoEvent[] = {0x00, kStatusMeta, kMetaTempo, 0x03, 0x07, 0xA1, 0x20};
constexpr uint8_t kTimeSignatureEvent[] = {0x00, kStatusMeta, kMetaTimeSignature, 0x04, 0x04, 0x02, 0x18, 0x08};
constexpr auto kConductorBody = [] {
  std::array<uint8_t, 4 + kMarkerLength + std::size(kTempoEvent) + std::size(kTimeSignatureEvent)> body{};
  size_t n = 0;
  for (uint8_t b : {uint8_t(0x00), kStatusMeta, kMetaTrackName, uint8_t(kMarkerLength)}) body[n++] = b;
  for (size_t i = 0; i < kMarkerLength; ++i) body[n++] = uint8_t(kMarkerText[i]);
  for (uint8_t b : kTempoEvent) body[n++] = b;
  for (uint8_t b : kTimeSignatureEvent) body[n++] = b;
  return body;
}();
static_assert(kConductorBody.size() == 35);

// In the formal layout the passed-through messages follow each other 10 ticks
// apart; after XG System On to device number 0 the module needs time to
// reset, so the next one waits a quarter note.
constexpr uint32_t kFormalSysExGap = 10;
constexpr uint32_t kAfterXgSystemOn = 470;

// The message that makes the formal layout pause.
bool IsXgSystemOnToDevice0(const SysExList& list, const Tsys& e) {
  const SystemOnMessage on = SystemOnOf(list.Data(e).first(ExtentOf(list, e).size));
  return on.kind == SystemOn::Xg && on.device == 0;
}

}  // namespace

int BuildConductorTrack(ByteBuffer& body) {
  AppendBytes(body, kConductorBody);
  return 0;
}

int BuildSysExTrack(const Song& song, const TickOrder& order, const ConvertOptions& options, ByteBuffer& body) {
  if (!options.includeUnconvertible) return 0;
  const SysExList& list = song.sysEx;
  const bool formal = options.layout == Layout::Formal;
  uint64_t reference = 0;
  bool afterXgSystemOn = false;
  for (const uint32_t i : order.all) {
    const Tsys& e = list.events[i];
    if (InChannelTrack(e)) continue;
    uint64_t delta;
    if (formal) {
      delta = reference + (afterXgSystemOn ? kAfterXgSystemOn : 0);
      reference = kFormalSysExGap;
      afterXgSystemOn = false;
    } else {
      delta = e.tick - reference;  // events come in tick order: never negative
      reference = e.tick;
    }
    AppendDeltaTime(body, delta, e.tick);
    body.push_back(kStatusSysEx);
    // The message exactly as the source file held it, packed F0 bytes and all.
    AppendVarLen(body, e.length, "length of the SysEx message", e.tick);
    AppendBytes(body, list.Raw(e));
    if (formal && IsXgSystemOnToDevice0(list, e)) afterXgSystemOn = true;
  }
  return 0;
}

}  // namespace mertovan
