#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "analysis/conversion.h"
#include "model/song.h"
#include "writer/writer.h"
#include "support/smf_builder.h"

namespace mertovan {
namespace {

using Bytes = std::vector<uint8_t>;

// An XG parameter change: the bytes after F0 of F0 43 10 4C ah am al dd F7.
const auto Xg = test::XgMessage;

struct Slots {
  uint8_t channel;
  std::array<uint8_t, 4> number, value;
  bool operator==(const Slots&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Slots& s) {
  o << "ch " << int(s.channel) << " [";
  for (int i = 0; i < 4; ++i) o << int(s.number[i]) << "=" << int(s.value[i]) << " ";
  return o << "]";
}
Slots SlotsOf(const Tsys& e) {
  return {e.channel, {e.ccNumber[0], e.ccNumber[1], e.ccNumber[2], e.ccNumber[3]},
          {e.ccValue[0], e.ccValue[1], e.ccValue[2], e.ccValue[3]}};
}
constexpr Slots kUntouched = {255, {255, 0, 0, 0}, {0, 0, 0, 0}};
Slots Unconverted(uint8_t channel) { return {channel, {255, 0, 0, 0}, {0, 0, 0, 0}}; }

// Each Analyse loads a new song in the fixture's session, as one run of the
// program loads file after file.
class Conversion : public ::testing::Test {
 protected:
  void Analyse(std::initializer_list<Bytes> messages) {
    song = Song{};
    for (const Bytes& m : messages) song.sysEx.Append(0, m);
    AnalyseEvents(song, session);
  }
  Slots At(size_t i) const { return SlotsOf(song.sysEx.events.at(i)); }
  Song song;
  Session session;
};

TEST_F(Conversion, SingleMessagesAndTheirSlots) {
  struct Case {
    const char* what;
    Bytes message;
    Slots expected;
  } cases[] = {
      {"volume of part 3", Xg(0x08, 0x02, 0x0B, 100), {2, {7, 255, 255, 255}, {100, 0, 0, 0}}},
      {"program change", Xg(0x08, 0x04, 0x03, 5), {4, {224, 255, 255, 255}, {5, 0, 0, 0}}},
      {"bank select LSB", Xg(0x08, 0x00, 0x02, 3), {0, {32, 255, 255, 255}, {3, 0, 0, 0}}},
      {"vibrate rate NRPN", Xg(0x08, 0x01, 0x15, 80), {1, {99, 98, 6, 255}, {1, 8, 80, 0}}},
      {"HPF cutoff NRPN", Xg(0x0A, 0x03, 0x20, 70), {3, {99, 98, 6, 255}, {1, 36, 70, 0}}},
      {"bend pitch control +12", Xg(0x08, 0x00, 0x23, 76), {0, {101, 100, 6, 255}, {0, 0, 12, 0}}},
      {"bend pitch control 0", Xg(0x08, 0x00, 0x23, 64), {0, {101, 100, 6, 255}, {0, 0, 0, 0}}},
      {"bend pitch control below 64", Xg(0x08, 0x00, 0x23, 63), Unconverted(0)},
      {"pan 0 is random pan", Xg(0x08, 0x05, 0x0E, 0), Unconverted(5)},
      {"pan 1", Xg(0x08, 0x05, 0x0E, 1), {5, {10, 255, 255, 255}, {1, 0, 0, 0}}},
      {"portamento switch on", Xg(0x08, 0x00, 0x67, 1), {0, {65, 255, 255, 255}, {64, 0, 0, 0}}},
      {"portamento switch off", Xg(0x08, 0x00, 0x67, 0), {0, {65, 255, 255, 255}, {0, 0, 0, 0}}},
      {"portamento switch out of range", Xg(0x08, 0x00, 0x67, 5), {0, {65, 255, 255, 255}, {127, 0, 0, 0}}},
      // The data view drops repeated F0 bytes, wherever they stand.
      {"repeated F0 before the message", {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x01, 0x0B, 0x40, 0xF7},
       {1, {7, 255, 255, 255}, {64, 0, 0, 0}}},
      {"F0 inside the address", {0x43, 0x10, 0x4C, 0x08, 0xF0, 0x01, 0x0B, 0x41, 0xF7}, {1, {7, 255, 255, 255}, {65, 0, 0, 0}}},
      {"another model's address", {0x43, 0x10, 0x49, 0x08, 0x00, 0x0B, 0x40, 0xF7}, {0, {7, 255, 255, 255}, {64, 0, 0, 0}}},
      {"device number ignored", {0x43, 0x1F, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7}, {0, {7, 255, 255, 255}, {64, 0, 0, 0}}},
      {"bulk dump", {0x43, 0x00, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7}, kUntouched},
      {"dump request", {0x43, 0x20, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7}, kUntouched},
      {"another manufacturer", {0x41, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7}, kUntouched},
      {"no rule for the address", Xg(0x08, 0x00, 0x05, 1), kUntouched},
      {"drum address without a rule", Xg(0x30, 0x24, 0x03, 1), kUntouched},
      {"XG System On", Xg(0x00, 0x00, 0x7E, 0x00), kUntouched},
      // A status byte is no address: the message matches no rule.
      {"status byte as address", {0x43, 0x10, 0x4C, 0x08, 0x90, 0x0B, 0x40, 0xF7}, kUntouched},
      // Parts 33-64 (the third and fourth ports) convert for the song layout
      // only; they count in no channel track of the setup layers.
      {"part 33", Xg(0x08, 0x20, 0x0B, 100), {0x20, {7, 255, 255, 255}, {100, 0, 0, 0}}},
      {"part 64", Xg(0x08, 0x3F, 0x0B, 100), {0x3F, {7, 255, 255, 255}, {100, 0, 0, 0}}},
      {"past part 64", Xg(0x08, 0x40, 0x0B, 100), Unconverted(0x40)},
  };
  for (const Case& c : cases) {
    Analyse({c.message});
    EXPECT_EQ(At(0), c.expected) << c.what;
    int counted = 0;
    for (int n : song.channelUsage) counted += n;
    const bool inChannelTrack = c.expected.number[0] != 255 && c.expected.channel < 32;
    EXPECT_EQ(counted, inChannelTrack ? 1 : 0) << c.what;
    EXPECT_EQ(song.sysEx.events[0].songOnly, c.expected.number[0] != 255 && !inChannelTrack) << c.what;
  }
}

// Damaged and packed messages never convert, and never put an F7 or a status
// byte into a channel message; one that holds its three address bytes still
// names its part, so the plain layout gives that part its (empty) track. The
// pass-through track carries each of them exactly as the file held it.
TEST_F(Conversion, DamagedAndPackedMessagesKeepTheirBytesAndTheirPart) {
  struct Case {
    const char* what;
    Bytes raw;  // after F0
    uint8_t channel;
    const char* name;
    const char* value;
  } cases[] = {
      {"two messages packed in one event",
       {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7, 0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0xF7},
       0, "Volume", "100"},
      {"repeated F0, cut before the data byte", {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B}, 0, "Volume", " -"},
      {"data byte 0x80", Xg(0x08, 0x03, 0x0B, 0x80), 3, "Volume", "128"},
      {"F7 where the data byte belongs", {0x43, 0x10, 0x4C, 0x08, 0x03, 0x0B, 0xF7}, 3, "Volume", " -"},
      {"cut after the address", {0x43, 0x10, 0x4C, 0x08, 0x03, 0x0B}, 3, "Volume", " -"},
      {"F7 inside the address", {0x43, 0x10, 0x4C, 0x08, 0x03, 0xF7, 0x0B, 0x40}, 255, " -", " -"},
      {"cut inside the address", {0x43, 0x10, 0x4C, 0x08, 0x03}, 255, " -", " -"},
  };
  for (const Case& c : cases) {
    Analyse({c.raw});
    const Tsys& e = song.sysEx.events.at(0);
    EXPECT_EQ(At(0), Unconverted(c.channel)) << c.what;
    EXPECT_EQ(e.eventName, c.name) << c.what;
    EXPECT_EQ(e.valueText, c.value) << c.what;
    EXPECT_EQ(std::count(song.channelUsage.begin(), song.channelUsage.end(), 0), 32) << c.what;

    const std::vector<uint8_t> image = BuildFileImage(song, {.layout = Layout::Plain, .includeUnconvertible = true});
    const int tracks = image.at(10) << 8 | image.at(11);
    EXPECT_EQ(tracks, c.channel == 255 ? 2 : 3) << c.what;
    Bytes event = {0xF0, uint8_t(c.raw.size())};
    event.insert(event.end(), c.raw.begin(), c.raw.end());
    EXPECT_NE(std::search(image.begin(), image.end(), event.begin(), event.end()), image.end()) << c.what;
  }
}

TEST_F(Conversion, DrumSetupFollowsThePartModeMap) {
  // Part 16 (index 15) plays drum setup 2; its drum parameters go to it.
  Analyse({Xg(0x08, 0x0F, 0x07, 3), Xg(0x31, 0x24, 0x0B, 80)});
  EXPECT_EQ(At(0), Unconverted(15));
  EXPECT_EQ(At(1), (Slots{15, {99, 98, 6, 255}, {20, 36, 80, 0}}));
  EXPECT_EQ(song.channelUsage[15], 1);
  EXPECT_EQ(session.drumSetupPartMap[3], 15);

  // A fresh run: drum setup 1 is part 10 (index 9), drum setup 2 part 11.
  session = Session{};
  Analyse({Xg(0x30, 0x24, 0x00, 70), Xg(0x31, 0x26, 0x04, 10)});
  EXPECT_EQ(At(0), (Slots{9, {99, 98, 6, 255}, {24, 36, 70, 0}}));
  EXPECT_EQ(At(1), (Slots{10, {99, 98, 6, 255}, {28, 38, 10, 0}}));

  // The map outlives the load: a second file without part mode messages uses it.
  Analyse({Xg(0x08, 0x02, 0x07, 2)});
  Analyse({Xg(0x30, 0x24, 0x02, 99)});
  EXPECT_EQ(At(0).channel, 2);
  EXPECT_EQ(song.channelUsage[2], 1);
}

TEST_F(Conversion, PartsOfTheThirdAndFourthPortsAndTheListingsParts) {
  // Part 49 (index 48) plays drum setup 3: its kit's settings convert for
  // the song layout only, on part 49.
  Analyse({Xg(0x08, 0x30, 0x07, 4), Xg(0x32, 0x24, 0x02, 90), Xg(0x08, 0x3F, 0x0B, 70)});
  EXPECT_EQ(At(1), (Slots{48, {99, 98, 6, 255}, {26, 36, 90, 0}}));
  EXPECT_EQ(At(2), (Slots{63, {7, 255, 255, 255}, {70, 0, 0, 0}}));
  EXPECT_TRUE(song.sysEx.events[1].songOnly && song.sysEx.events[2].songOnly);
  EXPECT_EQ(std::count(song.channelUsage.begin(), song.channelUsage.end(), 0), 32);
  // Every message that addresses a part shows it, converted or not: an XG
  // part parameter without a rule, a drum setup parameter without one, a GS
  // part parameter (block A is part 11); a system message shows none.
  session = Session{};
  Analyse({Xg(0x08, 0x05, 0x09, 0x40), Xg(0x30, 0x24, 0x03, 1),
           {0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x13, 0x00, 0x13, 0xF7}, Xg(0x02, 0x01, 0x00, 1)});
  const uint8_t parts[] = {5, 9, 10, 255};
  for (size_t i = 0; i < std::size(parts); ++i) {
    EXPECT_EQ(song.sysEx.events[i].part, parts[i]) << i;
    EXPECT_EQ(song.sysEx.events[i].ccNumber[0], 255) << i;
  }
}

TEST_F(Conversion, PartModeAfterTheDrumMessageSplitsCounterAndChannel) {
  Analyse({Xg(0x30, 0x24, 0x0B, 80), Xg(0x08, 0x05, 0x07, 2)});
  EXPECT_EQ(song.channelUsage[9], 1);  // counted for the part mapped at its place in the list
  EXPECT_EQ(At(0).channel, 5);     // assigned from the map as the list leaves it
}

TEST_F(Conversion, MapEdges) {
  // Part modes above 6 have no drum setup; the map stays.
  Analyse({Xg(0x08, 0x04, 0x07, 7)});
  EXPECT_EQ(session.drumSetupPartMap, kInitialDrumSetupPartMap);
  EXPECT_EQ(At(0), Unconverted(4));
  // Drum setup blocks 35 to 3F have no part mode: unassigned and unconverted.
  Analyse({Xg(0x35, 0x24, 0x0B, 80), Xg(0x3F, 0x24, 0x0B, 80), Xg(0x34, 0x24, 0x0B, 80)});
  EXPECT_EQ(At(0), kUntouched);
  EXPECT_EQ(At(1), kUntouched);
  EXPECT_EQ(At(2), (Slots{13, {99, 98, 6, 255}, {20, 36, 80, 0}}));  // setup 5: part mode 6
}

TEST_F(Conversion, EmptyListChangesNothing) {
  Analyse({});
  for (int n : song.channelUsage) EXPECT_EQ(n, 0);
  EXPECT_EQ(session.drumSetupPartMap, kInitialDrumSetupPartMap);
}

TEST(ConversionRules, TableShape) {
  const auto rules = ConversionRules();
  ASSERT_EQ(rules.size(), 42u);
  // No two rules share an address (the lookup takes the first that fits).
  std::set<std::pair<int, int>> seen;
  for (const ConversionRule& r : rules) {
    EXPECT_TRUE(seen.insert({r.addrHigh, r.addrLow}).second) << int(r.addrHigh) << " " << int(r.addrLow);
    EXPECT_EQ(r.pairs[3].controller, 255);  // the fourth pair is always empty
  }
  // Rows at the block edges, byte for byte.
  auto bytes = [&](size_t i) {
    const ConversionRule& r = rules[i];
    std::vector<int> v = {r.addrHigh, r.addrLow};
    for (const auto& p : r.pairs) v.insert(v.end(), {p.controller, p.valueCode});
    return v;
  };
  EXPECT_EQ(bytes(0), (std::vector<int>{0x08, 0x01, 0x00, 0xFD, 0xFF, 0, 0xFF, 0, 0xFF, 0}));
  EXPECT_EQ(bytes(13), (std::vector<int>{0x08, 0x14, 0x5E, 0xFD, 0xFF, 0, 0xFF, 0, 0xFF, 0}));
  EXPECT_EQ(bytes(14), (std::vector<int>{0x08, 0x15, 0x63, 0x01, 0x62, 0x08, 0x06, 0xFD, 0xFF, 0}));
  EXPECT_EQ(bytes(22), (std::vector<int>{0x08, 0x1B, 0x63, 0x01, 0x62, 0x64, 0x06, 0xFD, 0xFF, 0}));
  EXPECT_EQ(bytes(23), (std::vector<int>{0xB0, 0x0B, 0x63, 0x14, 0x62, 0xFC, 0x06, 0xFD, 0xFF, 0}));
  EXPECT_EQ(bytes(39), (std::vector<int>{0xB0, 0x25, 0x63, 0x35, 0x62, 0xFC, 0x06, 0xFD, 0xFF, 0}));
  EXPECT_EQ(bytes(40), (std::vector<int>{0x08, 0x23, 0x65, 0x00, 0x64, 0x00, 0x06, 0xFB, 0xFF, 0}));
  EXPECT_EQ(bytes(41), (std::vector<int>{0x08, 0x07, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}));
}

TEST(ApplyValueCode, Codes) {
  EXPECT_EQ(ApplyValueCode(251, 5, 76), 12);
  EXPECT_EQ(ApplyValueCode(252, 36, 80), 36);
  EXPECT_EQ(ApplyValueCode(253, 36, 80), 80);
  EXPECT_EQ(ApplyValueCode(254, 0, 0), 0);
  EXPECT_EQ(ApplyValueCode(254, 0, 1), 64);
  EXPECT_EQ(ApplyValueCode(254, 0, 2), 127);
  EXPECT_EQ(ApplyValueCode(20, 36, 80), 20);
  EXPECT_EQ(ApplyValueCode(255, 36, 80), 255);
}

}  // namespace
}  // namespace mertovan
