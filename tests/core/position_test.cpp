#include <gtest/gtest.h>

#include <random>

#include "model/song.h"
#include "model/position.h"

namespace mertovan {
namespace {

struct Sig {
  uint32_t tick;
  uint8_t numerator, power;
};

std::vector<TimeSignature> Signatures(std::initializer_list<Sig> sigs) {
  std::vector<TimeSignature> list;
  for (const Sig& s : sigs) list.push_back({s.tick, s.numerator, s.power});
  return list;
}

struct Pos {
  uint32_t bar, beat, tick;
  bool operator==(const Pos&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Pos& p) { return o << p.bar << ":" << p.beat << ":" << p.tick; }

Pos Unpack(uint32_t packed) { return {packed >> 20, (packed >> 12) & 0xFF, packed & 0xFFF}; }

// The beat-by-beat walk the positions are defined by, kept here as the
// reference for the fast computation.
uint32_t WalkedPosition(const std::vector<TimeSignature>& signatures, uint32_t tick) {
  auto entry = [&](size_t i) { return i < signatures.size() ? signatures[i] : TimeSignature{}; };
  uint64_t remaining = tick;
  uint32_t bar = 1, beat = 1;
  size_t current = 0;
  TimeSignature e = entry(0);
  uint32_t perBar = e.numerator, length = TicksPerBeat(e.denominatorPower);
  uint32_t next = entry(1).tick;
  for (;;) {
    const uint64_t start = tick - remaining;
    if (next <= start) {
      ++current;
      e = entry(current);
      perBar = e.numerator;
      length = TicksPerBeat(e.denominatorPower);
      next = entry(current + 1).tick;
    }
    if (remaining < length) break;
    remaining -= length;
    if (++beat > perBar) {
      beat = 1;
      ++bar;
    }
  }
  return (bar << 20) + (beat << 12) + uint32_t(remaining);
}

TEST(MusicalPosition, WorkedExamples) {
  struct Case {
    std::initializer_list<Sig> sigs;
    uint32_t tick;
    Pos expected;
  } cases[] = {
      {{{0, 4, 2}}, 0, {1, 1, 0}},
      {{{0, 4, 2}}, 479, {1, 1, 479}},
      {{{0, 4, 2}}, 480, {1, 2, 0}},
      {{{0, 4, 2}}, 1000, {1, 3, 40}},
      {{{0, 4, 2}}, 1920, {2, 1, 0}},
      {{{0, 4, 2}, {1920, 3, 2}}, 1920, {2, 1, 0}},
      {{{0, 4, 2}, {1920, 3, 2}}, 3000, {2, 3, 120}},
      {{{0, 4, 2}, {1920, 3, 2}}, 3360, {3, 1, 0}},
      {{{0, 4, 2}, {1920, 6, 3}}, 2220, {2, 2, 60}},
      {{{0, 6, 3}, {1440, 4, 2}}, 1800, {2, 1, 360}},
      {{{3840, 3, 2}}, 1440, {2, 1, 0}},
      {{}, 5000, {3, 1, 1160}},
      // A change inside a beat takes effect where that beat ends.
      {{{0, 4, 2}, {500, 3, 3}}, 960, {1, 3, 0}},
      // Two entries on one tick: the second governs one beat later.
      {{{0, 4, 2}, {960, 3, 2}, {960, 2, 2}}, 1440, {2, 1, 0}},
      {{{0, 4, 2}, {960, 3, 2}, {960, 2, 2}}, 2400, {3, 1, 0}},
      // A numerator of 0 makes every beat a bar.
      {{{0, 0, 2}}, 1000, {3, 1, 40}},
      // Beats shorter than a sixteenth: 1920 >> power ticks.
      {{{0, 4, 5}}, 130, {1, 3, 10}},
      // Bars wrap at 4096.
      {{{0, 4, 2}}, 4096u * 1920u, {1, 1, 0}},
  };
  for (const Case& c : cases) {
    const auto sigs = Signatures(c.sigs);
    EXPECT_EQ(Unpack(MusicalPosition(sigs, c.tick)), c.expected) << "tick " << c.tick;
    EXPECT_EQ(MusicalPosition(sigs, c.tick), WalkedPosition(sigs, c.tick)) << "tick " << c.tick;
  }
}

TEST(MusicalPosition, MatchesTheBeatWalkOnRandomSignatureLists) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    Song song;
    auto& sigs = song.timeSignatures;
    auto& events = song.sysEx.events;
    const int n = int(rng() % 6);
    for (int i = 0; i < n; ++i) {
      // Ticks in any order, also behind earlier entries and between beats.
      sigs.push_back({uint32_t(rng() % 12000), uint8_t(rng() % 8), uint8_t(rng() % 7)});
    }
    for (int k = 0; k < 40; ++k) {
      const uint32_t tick = uint32_t(rng() % 20000);
      ASSERT_EQ(MusicalPosition(sigs, tick), WalkedPosition(sigs, tick)) << "round " << round << " tick " << tick;
      // Records close together, in runs that go forwards and start again,
      // as the tracks of a file do.
      const uint32_t near = k % 8 == 0 ? tick : (events.empty() ? 0 : events.back().tick) + uint32_t(rng() % 300);
      song.sysEx.Append(near, {});
    }
    ComputePositions(song);
    for (const Tsys& e : events) {
      ASSERT_EQ(Unpack((uint32_t(e.bar) << 20) | (uint32_t(e.beat) << 12) | e.beatTick),
                Unpack(WalkedPosition(sigs, e.tick)))
          << "round " << round << " record at tick " << e.tick;
    }
  }
}

TEST(MusicalPosition, FarTicksNeedNoBeatWalk) {
  // 30-tick beats: a walk would take 143 million steps.
  const Pos p = Unpack(MusicalPosition(Signatures({{0, 4, 6}}), 0xFFFFFFFFu));
  const uint64_t beats = 0xFFFFFFFFull / 30;
  EXPECT_EQ(p.tick, 0xFFFFFFFFull % 30);
  EXPECT_EQ(p.beat, beats % 4 + 1);
  EXPECT_EQ(p.bar, (beats / 4 + 1) % 4096);
}

TEST(ComputePositions, FillsEveryRecord) {
  Song song;
  song.timeSignatures = Signatures({{0, 3, 2}});
  song.sysEx.Append(0, {});
  song.sysEx.Append(1500, {});
  ComputePositions(song);
  const auto& events = song.sysEx.events;
  EXPECT_EQ(events[1].bar, 2);
  EXPECT_EQ(events[1].beat, 1);
  EXPECT_EQ(events[1].beatTick, 60u);
  EXPECT_EQ(events[0].bar, 1);
  EXPECT_EQ(events[0].beat, 1);
}

}  // namespace
}  // namespace mertovan
