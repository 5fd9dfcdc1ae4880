#include "model/position.h"

#include <algorithm>
#include <vector>

#include "model/song.h"

namespace mertovan {

uint32_t TicksPerBeat(uint8_t denominatorPower) {
  if (denominatorPower >= 11) return 1;
  return std::max<uint32_t>(1920u >> denominatorPower, 1u);
}

namespace {

// The beat grid is walked from tick 0 one beat at a time; a time signature
// takes effect at the first beat that starts at or after its tick, and at
// most one signature is taken per beat, in list order. Between two takings
// the beats are all alike, so the walk is kept as one segment per signature:
// where it starts, the counters there and how many beats it lasts.
struct Segment {
  uint64_t start;       // tick at which the segment's first beat starts
  uint64_t bar;         // counters before the first beat is counted
  uint32_t beat;
  uint32_t beatLength;
  uint32_t numerator;
  uint64_t beats;       // beats in the segment; the last segment never ends
};

// Counters after `n` beats counted from (bar, beat) with `numerator` beats per bar.
void Advance(uint64_t& bar, uint32_t& beat, uint32_t numerator, uint64_t n) {
  if (n == 0) return;
  if (numerator == 0) {  // every beat is a bar of its own
    bar += n;
    beat = 1;
    return;
  }
  // The first beat may start beyond the bar when the numerator just shrank.
  if (beat + 1 > numerator) {
    beat = 1;
    ++bar;
  } else {
    ++beat;
  }
  const uint64_t pos = uint64_t(beat - 1) + (n - 1);
  if (pos <= 0xFFFFFFFFu) {  // 32-bit division where it fits: this runs for every event
    bar += uint32_t(pos) / numerator;
    beat = uint32_t(pos) % numerator + 1;
  } else {
    bar += pos / numerator;
    beat = uint32_t(pos % numerator) + 1;
  }
}

std::vector<Segment> BuildSegments(const std::vector<TimeSignature>& signatures) {
  std::vector<TimeSignature> list;
  for (const TimeSignature& ts : signatures) {
    if (ts.tick == 0xFFFFFFFFu) break;  // an empty entry ends the list
    list.push_back(ts);
  }
  // Without any signature the first entry reads as 0/0: one-beat bars of 1920.
  const TimeSignature first = list.empty() ? TimeSignature{0, 0, 0} : list[0];
  std::vector<Segment> segments;
  segments.reserve(std::max<size_t>(list.size(), 1));
  Segment s{0, 1, 1, TicksPerBeat(first.denominatorPower), first.numerator, UINT64_MAX};
  for (size_t i = 1; i < list.size(); ++i) {
    // The following entry is taken at the first step after this segment's
    // first step whose start is at or beyond its tick.
    // The second entry may already be taken at the very first step (tick 0),
    // so the first signature can govern no beat at all.
    const uint64_t next = list[i].tick;
    const uint64_t least = i == 1 ? 0 : 1;
    uint64_t n = least;
    if (next > s.start) {
      n = std::max<uint64_t>(least, (next - s.start + s.beatLength - 1) / s.beatLength);
    }
    s.beats = n;
    segments.push_back(s);
    Segment t = s;
    t.start = s.start + n * s.beatLength;
    Advance(t.bar, t.beat, s.numerator, n);
    t.beatLength = TicksPerBeat(list[i].denominatorPower);
    t.numerator = list[i].numerator;
    t.beats = UINT64_MAX;
    s = t;
  }
  segments.push_back(s);
  return segments;
}

// The position of a tick, and the beat it falls in: a beat never straddles
// two segments, since each segment starts where a beat of the one before ends.
struct Position {
  uint32_t packed;     // as MusicalPosition gives it
  uint64_t beatStart;  // first tick of the beat
  uint32_t beatLength;
};

Position PositionIn(const std::vector<Segment>& segments, uint32_t tick) {
  auto it = std::upper_bound(segments.begin(), segments.end(), uint64_t(tick),
                             [](uint64_t t, const Segment& s) { return t < s.start; });
  const Segment& s = *(it - 1);  // segments[0] starts at 0, so it is never begin()
  const uint32_t into = uint32_t(tick - s.start);  // s.start <= tick, so this fits
  uint64_t bar = s.bar;
  uint32_t beat = s.beat;
  Advance(bar, beat, s.numerator, into / s.beatLength);
  const uint32_t remaining = into % s.beatLength;
  return {(uint32_t(bar & 0xFFF) << 20) + ((beat & 0xFF) << 12) + remaining, uint64_t(tick) - remaining,
          s.beatLength};
}

}  // namespace

uint32_t MusicalPosition(const std::vector<TimeSignature>& signatures, uint32_t tick) {
  return PositionIn(BuildSegments(signatures), tick).packed;
}

void ComputePositions(Song& song) {
  if (song.sysEx.events.empty()) return;
  if (song.source.kind == FileKind::SysEx) {
    // A SysEx file has no time: every message is sent at the start.
    for (Tsys& e : song.sysEx.events) {
      e.bar = 1;
      e.beat = 1;
      e.beatTick = 0;
    }
    return;
  }
  const std::vector<Segment> segments = BuildSegments(song.timeSignatures);
  // Messages close together share a beat: its bar and beat are worked out
  // once, and each message in it only adds its distance from the beat's start.
  Position beat{0, 1, 0};  // no tick falls in it
  for (Tsys& e : song.sysEx.events) {
    const uint64_t into = uint64_t(e.tick) - beat.beatStart;
    if (e.tick < beat.beatStart || into >= beat.beatLength) {
      beat = PositionIn(segments, e.tick);
    }
    const uint32_t packed = (beat.packed & ~0xFFFu) + uint32_t(e.tick - beat.beatStart);
    e.bar = uint16_t(packed >> 20);
    e.beat = uint8_t((packed >> 12) & 0xFF);
    e.beatTick = packed & 0xFFF;
  }
}

}  // namespace mertovan
