// The conductor track and the pass-through SysEx track.
#include <algorithm>
#include <array>
#include <iterator>

#include "analysis/stored_message.h"
#include "model/events.h"
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

constexpr uint8_t kXgSystemOn[] = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00};

// In the formal layout the passed-through messages follow each other 10 ticks
// apart; after XG System On the module needs time to reset, so the next one
// waits a quarter note.
constexpr uint32_t kFormalSysExGap = 10;
constexpr uint32_t kAfterXgSystemOn = 470;

}  // namespace

bool IsXgSystemOn(const SysExList& list, const Tsys& e) {
  if (ExtentOf(list, e).size < std::size(kXgSystemOn)) return false;
  return std::equal(std::begin(kXgSystemOn), std::end(kXgSystemOn), list.Data(e).begin());
}

int BuildConductorTrack(ByteBuffer& body) {
  AppendBytes(body, kConductorBody);
  return 0;
}

int BuildSysExTrack(const TickOrder& order, const ConvertOptions& options, ByteBuffer& body) {
  if (!options.includeUnconvertible) return 0;
  uint64_t reference = 0;
  bool afterXgSystemOn = false;
  const auto& all = order.all;
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < all.size(); ++i) {
    // The records come in tick order, so from all over the event list: ask
    // for the one a few steps on before it is needed.
    if (i + kAhead < all.size()) __builtin_prefetch(&gSysEx.events[all[i + kAhead].index]);
    const OrderedEvent& o = all[i];
    if (o.ccNumber[0] != kNone) continue;  // its content is in a channel track
    const Tsys& e = gSysEx.events[o.index];
    uint64_t delta;
    if (options.formalOutput) {
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
    AppendBytes(body, gSysEx.Raw(e));
    if (options.formalOutput && IsXgSystemOn(gSysEx, e)) afterXgSystemOn = true;
  }
  return 0;
}

}  // namespace mertovan
