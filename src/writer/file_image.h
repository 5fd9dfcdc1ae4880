// The pieces every layout of the converted file is built from: byte and
// variable-length output, the header and track chunk framing, and the order
// in which a track takes its events.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "model/song.h"
#include "writer/writer.h"

namespace mertovan {

// A file image or a track body; grows as needed.
using ByteBuffer = std::vector<uint8_t>;

inline void AppendBytes(ByteBuffer& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
inline void AppendBytes(ByteBuffer& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// A variable-length quantity: `packed` holds the last group (bit 7 clear) in
// its lowest byte and each more significant group, with bit 7 set, in the
// next higher byte. `count` is 0 for values of 2^28 and above, which the
// format cannot express.
struct VarLen {
  uint32_t packed = 0;
  uint8_t count = 0;
};
inline constexpr uint32_t kMaxVarLen = 0x0FFFFFFFu;
VarLen EncodeVarLen(uint32_t value);

// Appends `value` as a variable-length quantity in file order. A value of
// 2^28 or more throws ConvertError; `what` names the value in that message
// ("time gap before the event", ...), `atTick` the event.
void AppendVarLen(ByteBuffer& out, uint64_t value, const char* what, uint64_t atTick);
// A delta time before an event at `atTick` (the tick only names it in errors).
inline void AppendDeltaTime(ByteBuffer& out, uint64_t delta, uint64_t atTick) {
  AppendVarLen(out, delta, "time gap before the event", atTick);
}

// "MThd" with its six bytes.
void AppendHeaderChunk(ByteBuffer& image, uint16_t format, uint16_t trackCount, uint16_t division);
// "MTrk", the body's length and the body. Throws ConvertError past 4 GiB.
void AppendTrackChunk(ByteBuffer& image, std::span<const uint8_t> body);
inline constexpr uint8_t kEndOfTrackEvent[] = {0x00, 0xFF, 0x2F, 0x00};

// The SysEx event list in ascending tick order, list order among equal ticks:
// the list holds the file's tracks one after another, each from tick 0, while
// every output track must run forwards in time.
struct TickOrder {
  std::vector<uint32_t> all;                        // indices into the song's events
  // Those whose `channel` is 0-31, except those converted for the song
  // layout only.
  std::array<std::vector<uint32_t>, 32> byChannel;
};
TickOrder SortEventsByTick(const SysExList& list);

// Whether the setup layers write the message's content as channel messages
// (in a channel track) instead of passing the message through.
inline bool InChannelTrack(const Tsys& e) { return e.ccNumber[0] != 255 && !e.songOnly; }

}  // namespace mertovan
