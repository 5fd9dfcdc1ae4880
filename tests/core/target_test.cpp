// Song conversion for a target synthesizer: each rule with the exact events
// it writes, and the report of what a target cannot carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "analysis/load.h"
#include "writer/writer.h"
#include "support/hex.h"
#include "support/smf_builder.h"
#include "support/strict_smf_reader.h"

namespace mertovan {
namespace {

using test::ByteVec;
using test::Cat;
using test::FromHex;
using test::Header;
using test::kEndOfTrack;
using test::SysExEvent;
using test::Track;

const auto Xg = test::XgMessage;
const ByteVec kXgOn = Xg(0x00, 0x00, 0x7E, 0x00);
const char kMarkerHex[] = "00 FF 01 10 4D 45 52 54 4F 56 41 4E 20 43 4F 4E 56 45 52 54";

struct Converted {
  test::ParsedSmf file;
  ConvertReport report;
  // Every event of every track, as "track tick: bytes", in file order.
  std::vector<std::string> events;
  bool Has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

Converted Convert(const ByteVec& source, Target target) {
  Session session;
  const Song song = LoadSmfBytes(source, "song.mid", session, Analysis::ForConverting);
  Converted c;
  const ByteVec image = BuildFileImage(song, {.layout = Layout::Song, .target = target}, &c.report);
  EXPECT_TRUE(test::ParseStrict(image, c.file, true));
  for (size_t t = 0; t < c.file.tracks.size(); ++t) {
    for (const test::SmfEvent& e : c.file.tracks[t]) {
      c.events.push_back(std::to_string(t) + " " + std::to_string(e.tick) + ": " + test::Hex(e.bytes));
    }
  }
  return c;
}

// A song of two tracks: the setup messages, then the notes (each at its own
// tick, channels counted from 1 as a musician counts them).
ByteVec Song2(std::initializer_list<ByteVec> setup, std::initializer_list<std::pair<uint8_t, uint32_t>> notes) {
  ByteVec first;
  for (const ByteVec& m : setup) first = Cat({first, SysExEvent(0, m)});
  ByteVec second;
  for (const auto& [channel, delta] : notes) {
    second = Cat({second, test::VarLen(delta), {uint8_t(0x90 | (channel - 1)), 0x26, 0x64}});
  }
  return Cat({Header(2, 96), Track(Cat({first, kEndOfTrack})), Track(Cat({second, kEndOfTrack}))});
}

TEST(Target, GmRules) {
  struct Case {
    const char* what;
    ByteVec source;
    std::vector<std::string> present;  // events the output holds
    std::vector<std::string> absent;   // and must not
  } cases[] = {
      {"a kit on part 11 moves to channel 10, the piano on channel 10 to channel 11; XG System On becomes GM System On",
       Song2({kXgOn, Xg(0x08, 0x0A, 0x07, 0x02), Xg(0x08, 0x09, 0x07, 0x00)}, {{11, 0}, {10, 10}}),
       {"0 0: F0 7E 7F 09 01 F7", "1 0: 99 26 64", "1 10: 9A 26 64"},
       {"0 0: F0 43 10 4C 00 00 7E 00 F7"}},
      {"bank MSB 127 makes a kit of part 12; two kits merge on channel 10",
       Song2({kXgOn, Xg(0x08, 0x0B, 0x01, 0x7F)}, {{12, 0}, {10, 5}, {10, 5}}),
       {"2 0: 99 26 64", "2 5: 99 26 64", "2 10: 99 26 64"},
       {"2 0: 9B 26 64", "1 0: B9 00 7F", "1 0: BB 00 7F"}},
      {"an SFX voice (Dog) becomes Bird Tweet on bank 0/0",
       Song2({kXgOn, Xg(0x08, 0x02, 0x01, 0x40), Xg(0x08, 0x02, 0x03, 0x30)}, {{3, 0}}),
       {"1 0: B2 00 00", "1 0: C2 7B", "2 0: 92 26 64"},
       {"1 0: B2 00 40"}},
      {"Note Shift +12 becomes RPN 0/2, Mono becomes CC 126",
       Song2({kXgOn, Xg(0x08, 0x00, 0x08, 0x4C), Xg(0x08, 0x00, 0x05, 0x00)}, {{1, 0}}),
       {"0 0: B0 65 00", "0 0: B0 64 02", "0 0: B0 06 4C", "0 0: B0 7E 01"},
       {}},
      {"NRPNs go (vibrato rate 1/8); the RPN of the bend range stays",
       Song2({kXgOn, Xg(0x08, 0x00, 0x15, 0x50), Xg(0x08, 0x00, 0x23, 0x42)}, {{1, 0}}),
       {"1 0: B0 65 00", "1 0: B0 64 00", "1 0: B0 06 02"},
       {"1 0: B0 63 01", "1 0: B0 62 08", "1 0: B0 06 50"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Converted out = Convert(c.source, Target::Gm);
    for (const std::string& e : c.present) EXPECT_TRUE(out.Has(e)) << e << "\n" << testing::PrintToString(out.events);
    for (const std::string& e : c.absent) EXPECT_FALSE(out.Has(e)) << e;
  }
}

TEST(Target, GsRules) {
  struct Case {
    const char* what;
    ByteVec source;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {"XG System On becomes GS Reset; a kit on part 11 keeps its channel and becomes rhythm part map 2",
       Song2({kXgOn, Xg(0x08, 0x0A, 0x07, 0x02)}, {{11, 0}}),
       {"0 0: F0 41 10 42 12 40 00 7F 00 41 F7", "0 0: F0 41 10 42 12 40 1A 15 02 0F F7", "1 0: 9A 26 64"},
       {"0 0: F0 43 10 4C 08 0A 07 02 F7"}},
      {"a kit while part 10 plays none is map 1; part 10 back to normal is 0",
       Song2({kXgOn, Xg(0x08, 0x09, 0x07, 0x00), Xg(0x08, 0x04, 0x07, 0x01)}, {{5, 0}}),
       {"0 0: F0 41 10 42 12 40 10 15 00 1B F7", "0 0: F0 41 10 42 12 40 15 15 01 15 F7"},
       {}},
      {"reverb Hall 2 and chorus Celeste 1 become the Hall 2 and Chorus 3 macros",
       Song2({kXgOn, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x01, 0xF7}, Xg(0x02, 0x01, 0x20, 0x42)}, {{1, 0}}),
       {"0 0: F0 41 10 42 12 40 01 30 04 0B F7", "0 0: F0 41 10 42 12 40 01 38 02 05 F7"},
       {}},
      {"the filter cutoff controller becomes NRPN 1/32; EQ bass gain (NRPN 1/48) goes",
       Song2({kXgOn, Xg(0x08, 0x00, 0x18, 0x40), Xg(0x08, 0x00, 0x72, 0x50)}, {{1, 0}}),
       {"1 0: B0 63 01", "1 0: B0 62 20", "1 0: B0 06 40"},
       {"1 0: B0 4A 40", "1 0: B0 62 30", "1 0: B0 06 50"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Converted out = Convert(c.source, Target::Gs);
    for (const std::string& e : c.present) EXPECT_TRUE(out.Has(e)) << e << "\n" << testing::PrintToString(out.events);
    for (const std::string& e : c.absent) EXPECT_FALSE(out.Has(e)) << e;
  }
}

// The body of track `n` of a file image, as hex.
std::string TrackHex(const ByteVec& image, size_t n) {
  size_t at = 14;
  for (size_t track = 0; at + 8 <= image.size(); ++track) {
    const size_t length =
        size_t(image[at + 4]) << 24 | size_t(image[at + 5]) << 16 | size_t(image[at + 6]) << 8 | image[at + 7];
    if (track == n) return test::Hex(ByteVec(image.begin() + long(at + 8), image.begin() + long(at + 8 + length)));
    at += 8 + length;
  }
  return "no track " + std::to_string(n);
}

// The target rewrites the source tracks in place: every byte it does not
// change stays, running status included, and a status that a taken-out
// event set is given back to the event that relies on it.
TEST(Target, SourceTracksKeepTheirBytes) {
  const ByteVec setup = Track(Cat({SysExEvent(0, kXgOn), SysExEvent(0, Xg(0x08, 0x0A, 0x07, 0x02)), kEndOfTrack}));
  struct Case {
    const char* what;
    Target target;
    ByteVec source;
    size_t track;
    std::string expected;
  } cases[] = {
      {"GM: the kit on channel 11 and the normal part on 10 swap, in running status", Target::Gm,
       Cat({Header(2, 96),
            Track(Cat({SysExEvent(0, kXgOn), SysExEvent(0, Xg(0x08, 0x0A, 0x07, 0x02)),
                       SysExEvent(0, Xg(0x08, 0x09, 0x07, 0x00)), kEndOfTrack})),
            Track(FromHex("00 9A 26 64 0A 26 00 00 99 30 64 05 30 00 00 FF 2F 00"))}),
       1, "00 99 26 64 0A 26 00 00 9A 30 64 05 30 00 00 FF 2F 00"},
      {"GM: two kits merge; the one with fewer notes loses its pitch bend", Target::Gm,
       Cat({Header(2, 96), setup,
            Track(FromHex("00 9A 26 64 00 28 64 00 99 30 64 00 E9 00 40 05 99 30 00 00 FF 2F 00"))}),
       1, "00 99 26 64 00 28 64 00 99 30 64 05 99 30 00 00 FF 2F 00"},
      {"GS: an NRPN it does not know goes; the volume after it gets its status byte back", Target::Gs,
       Cat({Header(2, 96), Track(Cat({SysExEvent(0, kXgOn), kEndOfTrack})),
            Track(FromHex("00 B0 63 05 00 62 06 00 06 40 00 07 64 00 FF 2F 00"))}),
       1, "00 B0 07 64 00 FF 2F 00"},
      {"GS: bank select 127 in a track makes a kit of part 11 there and then", Target::Gs,
       Cat({Header(2, 96), Track(Cat({SysExEvent(0, kXgOn), kEndOfTrack})),
            Track(FromHex("00 BA 00 7F 00 9A 26 64 00 FF 2F 00"))}),
       1, "00 BA 00 7F 00 F0 0A 41 10 42 12 40 1A 15 02 0F F7 00 9A 26 64 00 FF 2F 00"},
      {"GM: the reverb type at tick 0 goes; the marker is still followed by a zero delta time", Target::Gm,
       Cat({Header(1, 96),
            Track(Cat({SysExEvent(0, Xg(0x02, 0x01, 0x00, 0x10)), FromHex("10 FF 51 03 07 A1 20"), kEndOfTrack}))}),
       0, std::string(kMarkerHex) + " 00 FF 01 00 10 FF 51 03 07 A1 20 00 FF 2F 00"},
  };
  for (const Case& c : cases) {
    Session session;
    const Song song = LoadSmfBytes(c.source, "song.mid", session, Analysis::ForConverting);
    EXPECT_EQ(TrackHex(BuildFileImage(song, {.layout = Layout::Song, .target = c.target}), c.track), c.expected)
        << c.what;
  }
}

TEST(Target, XgIsTheSongLayoutAndTheReportSaysWhatIsLost) {
  const ByteVec source = Song2({kXgOn, Xg(0x02, 0x01, 0x00, 0x10), Xg(0x08, 0x00, 0x72, 0x50),
                                Xg(0x08, 0x02, 0x01, 0x40), Xg(0x08, 0x02, 0x03, 0x30)},
                               {{1, 0}, {3, 4}});
  Session session;
  const Song song = LoadSmfBytes(source, "song.mid", session, Analysis::ForConverting);
  EXPECT_EQ(test::Hex(BuildFileImage(song, {.layout = Layout::Song, .target = Target::Xg})),
            test::Hex(BuildFileImage(song, {.layout = Layout::Song})));
  // GM has no reverb type, no NRPN and no SFX bank; GS has the NRPN neither,
  // White Room only as Room 1, and no SFX bank either.
  const Converted gm = Convert(source, Target::Gm), gs = Convert(source, Target::Gs);
  EXPECT_EQ(LostSettings(gm.report), 3u);
  EXPECT_EQ(LostSettings(gs.report), 3u);
  const std::string tsv = TargetReportTsv(song, gs.report.target);
  EXPECT_EQ(tsv.substr(0, tsv.find('\n')), "Bar\tBeat\tTick\tPart\tParameter\tValue\tOutcome");
  EXPECT_NE(tsv.find("1\t1\t0\t-\tReverb Type MSB\t16\tapproximated as GS Reverb Macro Room 1\n"), std::string::npos) << tsv;
  EXPECT_NE(tsv.find("\t1\tNRPN 1/48\t\tdropped: no equivalent on GS\n"), std::string::npos) << tsv;
  EXPECT_NE(tsv.find("\t3\tSFX voice\tprogram 49\tapproximated as GM program 124\n"), std::string::npos) << tsv;
}

}  // namespace
}  // namespace mertovan
