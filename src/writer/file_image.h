// The pieces of the converted file: output primitives, the chunk framing and
// the order in which every track takes its events.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "model/large_buffer.h"
#include "writer/writer.h"

namespace mertovan {

// The file image and every track body grow as needed: a conversion of a long
// event list never runs out of room.
using ByteBuffer = FileBytes;

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

// Without branches: the lengths of a song's delta times come at random.
inline VarLen EncodeVarLen(uint32_t value) {
  if (value > kMaxVarLen) return {};
  const uint8_t count =
      uint8_t(1 + unsigned(value >= 1u << 7) + unsigned(value >= 1u << 14) + unsigned(value >= 1u << 21));
  // The groups of seven bits a byte apart, the lowest in the lowest byte;
  // every group above the lowest has bit 7 set.
  const uint32_t groups = (value & 0x7Fu) | ((value << 1) & 0x7F00u) | ((value << 2) & 0x7F0000u) |
                          ((value << 3) & 0x7F000000u) | 0x80808000u;
  return {groups & (0xFFFFFFFFu >> (32 - 8 * count)), count};
}

// Throws the ConvertError for a value of 2^28 or more where a variable-length
// quantity belongs; `what` names the value in that message ("time gap before
// the event", ...), `atTick` the event.
[[noreturn]] void ThrowVarLenTooLarge(uint64_t value, const char* what, uint64_t atTick);
// Writes `value` as a variable-length quantity in file order at `at` (room for
// four bytes); returns the end. The same as WriteVarLen, for values of 128 and
// more.
uint8_t* WriteLongVarLen(uint8_t* at, uint64_t value, const char* what, uint64_t atTick);
inline uint8_t* WriteVarLen(uint8_t* at, uint64_t value, const char* what, uint64_t atTick) {
  // Most delta times and lengths take one byte.
  if (value < 0x80) {
    *at = uint8_t(value);
    return at + 1;
  }
  return WriteLongVarLen(at, value, what, atTick);
}
// Writes `value` (at most kMaxVarLen) as a variable-length quantity in file
// order at `at`, which has room for four bytes whatever its length; returns
// the end. Without branches, for values whose length comes at random.
inline uint8_t* WriteVarLenUnchecked(uint8_t* at, uint32_t value) {
  const VarLen v = EncodeVarLen(value);
  const uint32_t used = v.packed << (32 - 8 * v.count);  // the first byte at the top
  at[0] = uint8_t(used >> 24);
  at[1] = uint8_t(used >> 16);
  at[2] = uint8_t(used >> 8);
  at[3] = uint8_t(used);
  return at + v.count;
}
// The same, appended.
inline void AppendVarLen(ByteBuffer& out, uint64_t value, const char* what, uint64_t atTick) {
  if (value < 0x80) {
    out.push_back(uint8_t(value));
    return;
  }
  uint8_t bytes[4];
  out.insert(out.end(), bytes, WriteLongVarLen(bytes, value, what, atTick));
}
// A delta time before an event at `atTick` (the tick only names it in errors).
inline void AppendDeltaTime(ByteBuffer& out, uint64_t delta, uint64_t atTick) {
  AppendVarLen(out, delta, "time gap before the event", atTick);
}

// Takes the records of the ascending runs [a, aEnd) and [b, bEnd) in tick
// order while both have some left, the first run's first among equal ticks;
// what is left of the other run is the caller's. The runs of a song's tracks
// interleave at random: the record to take is chosen without a branch, which
// the processor could not predict.
template <class Record, class Take>
void TakeMerged(const Record*& a, const Record* aEnd, const Record*& b, const Record* bEnd, Take take) {
  while (a != aEnd && b != bEnd) {
    const bool second = b->tick < a->tick;
    take(*(second ? b : a));
    a += !second;
    b += second;
  }
}

// Merges the ascending runs [a, aEnd) and [b, bEnd) into `out`, the first
// run's record first among equal ticks.
template <class Record>
void MergeTwoRuns(const Record* a, const Record* aEnd, const Record* b, const Record* bEnd, Record* out) {
  TakeMerged(a, aEnd, b, bEnd, [&out](const Record& r) { *out++ = r; });
  out = std::copy(a, aEnd, out);
  std::copy(b, bEnd, out);
}

// Sorts records that hold ascending runs of `tick` (the tracks of a file, one
// after another, each in time order) into ascending tick order, keeping list
// order among equal ticks, by merging the runs pairwise.
template <class Record>
void MergeTickRuns(std::vector<Record>& records) {
  std::vector<size_t> runs;
  for (size_t i = 0; i < records.size(); ++i) {
    if (i == 0 || records[i].tick < records[i - 1].tick) runs.push_back(i);
  }
  if (runs.size() < 2) return;
  const size_t size = records.size();
  // Every record of the room is written before it is read: no need to zero it.
  UnzeroedVector<Record> scratch(size);
  Record* from = records.data();
  Record* to = scratch.data();
  while (runs.size() > 1) {
    size_t kept = 0;
    for (size_t r = 0; r < runs.size(); r += 2) {
      const size_t begin = runs[r];
      const size_t middle = r + 1 < runs.size() ? runs[r + 1] : size;
      const size_t end = r + 2 < runs.size() ? runs[r + 2] : size;
      MergeTwoRuns(from + begin, from + middle, from + middle, from + end, to + begin);
      runs[kept++] = begin;  // never one not yet read: kept <= r
    }
    runs.resize(kept);
    std::swap(from, to);
  }
  if (from != records.data()) std::copy(from, from + size, records.data());
}

// The SysEx event list in ascending tick order, list order among equal ticks:
// the list holds the file's tracks one after another, each from tick 0, while
// every output track must run forwards in time.
// Each entry carries what the track builders read, so that building a track
// walks compact memory instead of jumping through the whole event list.
struct OrderedEvent {
  uint32_t tick;
  uint32_t index;  // into gSysEx.events
  uint8_t channel;
  uint8_t ccNumber[4];
  uint8_t ccValue[4];
};
struct TickOrder {
  std::vector<OrderedEvent> all;
  // Those whose `channel` is 0-31, channel after channel, each in tick order:
  // one block, so that a large list fills whole huge pages.
  std::vector<OrderedEvent> grouped;
  std::array<std::span<const OrderedEvent>, 32> byChannel;  // into `grouped`
  TickOrder() = default;
  TickOrder(TickOrder&&) = default;  // the block moves with its spans
  TickOrder(const TickOrder&) = delete;
  TickOrder& operator=(const TickOrder&) = delete;
};
TickOrder SortEventsByTick();

enum class TrackKind : uint8_t { Plain = 0, Formal = 1, SysEx = 2, Conductor = 3 };
inline TrackKind ChannelTrackKind(const ConvertOptions& options) {
  return options.formalOutput ? TrackKind::Formal : TrackKind::Plain;
}

// Conductor and pass-through tracks, plus one per channel that has a track.
// In formal mode the setup work table must be ready (MarkSetupUsage).
uint16_t CountTracks(const ConvertOptions& options, const TickOrder& order);
// "MThd" of a format 1 file; the classic layouts count 480 ticks per quarter.
void AppendHeaderChunk(ByteBuffer& image, uint16_t trackCount, uint16_t division = kTicksPerQuarter);
inline constexpr uint8_t kTrackChunkId[] = {'M', 'T', 'r', 'k'};
// Writes the length of a track body of `length` bytes starting at `bodyStart`
// into the four bytes before it. Throws ConvertError past 4 GiB.
void SetTrackLength(uint8_t* bodyStart, uint64_t length);
// Appends "MTrk" and a length to be filled in; returns where the body starts.
size_t BeginTrackChunk(ByteBuffer& image);
// Fills in the length of the track whose body started at `bodyStart` and
// runs to the end of the image. Throws ConvertError past 4 GiB.
void EndTrackChunk(ByteBuffer& image, size_t bodyStart);
// Runs the builder of `kind` (once, or for channels 0-31) and frames each
// track it returns; returns the number of track chunks appended.
int AppendTrackChunks(ByteBuffer& image, TrackKind kind, const TickOrder& order,
                      const ConvertOptions& options);

}  // namespace mertovan
