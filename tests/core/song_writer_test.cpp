// The song layout: whole files compared byte for byte, refusals, a second
// conversion of the output, and read-backs of generated songs by the strict
// reader, the program's reader, mido and midicsv.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>

#include "analysis/load.h"
#include "model/song.h"
#include "writer/song_writer.h"
#include "writer/writer.h"
#include "support/cli_runner.h"
#include "support/event_list.h"
#include "support/files.h"
#include "support/hex.h"
#include "support/independent_readers.h"
#include "support/recording_messages.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "support/strict_smf_reader.h"

namespace mertovan {
namespace {

using test::ByteVec;
using test::Cat;
using test::FromHex;
using test::Header;
using test::Hex;
using test::kEndOfTrack;
using test::ParsedSmf;
using test::SmfEvent;
using test::SysExEvent;
using test::Track;
using test::VarLen;

const auto Xg = test::XgMessage;
const ByteVec kXgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// The song of `file`, loaded in a session of its own.
Song Loaded(const ByteVec& file) {
  Session session;
  Song song = LoadSmfBytes(file, "song.mid", session);
  EXPECT_EQ(song.status, LoadStatus::Whole);
  return song;
}

ByteVec SongOf(const ByteVec& file, bool include = true) {
  return BuildSongImage(Loaded(file), {.layout = Layout::Song, .includeUnconvertible = include});
}

// Division 96: a conductor track with two tempos, a time signature and XG
// System On; a setup track for parts 1, 10 (program, drum level of note 36)
// and 18; notes of part 1 in running status right after a converted volume.
ByteVec MultiTrackSong() {
  const ByteVec conductor = Cat({FromHex("00 FF 51 03 07 A1 20 00 FF 58 04 04 02 18 08"), SysExEvent(0, kXgOn),
                                 FromHex("83 00 FF 51 03 09 27 C0"), kEndOfTrack});
  const ByteVec setup = Cat({FromHex("00 FF 03 05 53 65 74 75 70"), SysExEvent(96, Xg(0x08, 0x00, 0x0B, 0x64)),
                             SysExEvent(0, Xg(0x08, 0x09, 0x03, 0x05)), SysExEvent(0, Xg(0x30, 0x24, 0x02, 0x50)),
                             SysExEvent(0, Xg(0x08, 0x11, 0x0B, 0x40)), kEndOfTrack});
  const ByteVec notes = Cat({FromHex("00 C0 00 00 90 3C 64"), SysExEvent(16, Xg(0x08, 0x00, 0x0B, 0x50)),
                             FromHex("00 3C 00 20 40 64 60 40 00"), kEndOfTrack});
  return Cat({Header(3, 96), Track(conductor), Track(setup), Track(notes)});
}

const char kMarkerHex[] = "00 FF 01 10 4D 45 52 54 4F 56 41 4E 20 43 4F 4E 56 45 52 54";

TEST(SongLayout, WholeFilesByteForByte) {
  const ByteVec xfChunk = Cat({{'X', 'F', 'I', 'H'}, test::Be32(3), {1, 2, 3}});
  const ByteVec drumLevelSong = MultiTrackSong();
  struct Case {
    const char* what;
    ByteVec source;
    bool include;
    std::string expected;
  } cases[] = {
      {"multi-track song at division 96", drumLevelSong, true,
       std::string("4D 54 68 64 00 00 00 06 00 01 00 06 00 60 "
                   "4D 54 72 6B 00 00 00 3A ") +
           kMarkerHex +
           " 00 FF 51 03 07 A1 20 00 FF 58 04 04 02 18 08 00 F0 08 43 10 4C 00 00 7E 00 F7"
           " 83 00 FF 51 03 09 27 C0 00 FF 2F 00 "
           // Part 1: volume 80 at tick 16 (notes track), volume 100 at 96 (setup track).
           "4D 54 72 6B 00 00 00 1B 00 FF 03 06 50 61 72 74 20 31 00 FF 21 01 00 10 B0 07 50 50 B0 07 64"
           " 00 FF 2F 00 "
           // Part 10: program 5, then the drum level of note 36 as drum NRPN 26/36.
           "4D 54 72 6B 00 00 00 23 00 FF 03 07 50 61 72 74 20 31 30 00 FF 21 01 00 60 C9 05 00 B9 63 1A"
           " 00 B9 62 24 00 B9 06 50 00 FF 2F 00 "
           // Part 18: channel 2 on the second port.
           "4D 54 72 6B 00 00 00 18 00 FF 03 07 50 61 72 74 20 31 38 00 FF 21 01 01 60 B1 07 40 00 FF 2F 00 "
           // The setup track keeps its name; its end of track takes the removed deltas.
           "4D 54 72 6B 00 00 00 0D 00 FF 03 05 53 65 74 75 70 60 FF 2F 00 "
           // Running status goes on right after the removed SysEx.
           "4D 54 72 6B 00 00 00 14 00 C0 00 00 90 3C 64 10 3C 00 20 40 64 60 40 00 00 FF 2F 00"},
      {"--drop-unconvertible takes XG System On out too", drumLevelSong, false, ""},
      // A format 0 song stays format 0: the volume in the SysEx's place.
      {"format 0 song, first event after tick 0, no end of track",
       Cat({Header(1, 480, 0), Track(Cat({SysExEvent(10, Xg(0x08, 0x00, 0x0B, 0x64)), FromHex("05 90 3C 64")}))}), true,
       std::string("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 24 ") + kMarkerHex +
           " 00 FF 01 00 0A B0 07 64 05 90 3C 64 00 FF 2F 00"},
      // Running status after a replaced SysEx gets its status byte back; a
      // part that receives on another channel (part 2 on channel 1, part 1
      // on nothing) is converted there; a part that shares its channel with
      // another (part 3 layered on part 4's channel) keeps its SysEx.
      {"format 0 song with receive channels and running status",
       Cat({Header(1, 96, 0),
            Track(Cat({FromHex("00 90 3C 64"), SysExEvent(5, Xg(0x08, 0x00, 0x0B, 0x64)), FromHex("05 3C 00"),
                       SysExEvent(0, Xg(0x08, 0x00, 0x04, 0x7F)), SysExEvent(0, Xg(0x08, 0x01, 0x04, 0x00)),
                       SysExEvent(1, Xg(0x08, 0x01, 0x0B, 0x50)), SysExEvent(0, Xg(0x08, 0x00, 0x0B, 0x51)),
                       SysExEvent(0, Xg(0x08, 0x02, 0x04, 0x03)), SysExEvent(1, Xg(0x08, 0x02, 0x0B, 0x52)),
                       SysExEvent(0, Xg(0x08, 0x03, 0x0B, 0x53)), SysExEvent(0, kXgOn),
                       SysExEvent(1, Xg(0x08, 0x01, 0x0B, 0x54)), kEndOfTrack}))}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 00 00 01 00 60 4D 54 72 6B 00 00 00 79 ") + kMarkerHex +
           " 00 90 3C 64 05 B0 07 64 05 90 3C 00"
           " 00 F0 08 43 10 4C 08 00 04 7F F7 00 F0 08 43 10 4C 08 01 04 00 F7"
           " 01 B0 07 50 00 F0 08 43 10 4C 08 00 0B 51 F7"
           " 00 F0 08 43 10 4C 08 02 04 03 F7 01 F0 08 43 10 4C 08 02 0B 52 F7 00 F0 08 43 10 4C 08 03 0B 53 F7"
           " 00 F0 08 43 10 4C 00 00 7E 00 F7 01 B1 07 54 00 FF 2F 00"},
      // The status comes back where running status resumes, after a meta event too.
      {"format 0 song: a meta event between the volume and the note in running status",
       Cat({Header(1, 96, 0), Track(Cat({FromHex("00 90 3C 64"), SysExEvent(5, Xg(0x08, 0x00, 0x0B, 0x64)),
                                         FromHex("00 FF 01 00 05 3C 00"), kEndOfTrack}))}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 00 00 01 00 60 4D 54 72 6B 00 00 00 28 ") + kMarkerHex +
           " 00 90 3C 64 05 B0 07 64 00 FF 01 00 05 90 3C 00 00 FF 2F 00"},
      // A part that receives on the third port takes the song to format 1.
      {"format 0 song with a part on the third port",
       Cat({Header(1, 96, 0), Track(Cat({SysExEvent(0, Xg(0x08, 0x00, 0x04, 0x25)),
                                         SysExEvent(2, Xg(0x08, 0x00, 0x0B, 0x64)), kEndOfTrack}))}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 01 00 02 00 60 4D 54 72 6B 00 00 00 23 ") + kMarkerHex +
           " 00 F0 08 43 10 4C 08 00 04 25 F7 02 FF 2F 00 "
           "4D 54 72 6B 00 00 00 17 00 FF 03 06 50 61 72 74 20 31 00 FF 21 01 02 02 B5 07 64 00 FF 2F 00"},
      {"XF chunk between tracks",
       Cat({Header(2), Track(Cat({SysExEvent(0, Xg(0x08, 0x00, 0x0B, 0x64)), kEndOfTrack})), xfChunk,
            Track(kEndOfTrack)}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 01 00 03 01 E0 4D 54 72 6B 00 00 00 18 ") + kMarkerHex +
           " 00 FF 2F 00 "
           "4D 54 72 6B 00 00 00 17 00 FF 03 06 50 61 72 74 20 31 00 FF 21 01 00 00 B0 07 64 00 FF 2F 00 "
           "58 46 49 48 00 00 00 03 01 02 03 4D 54 72 6B 00 00 00 04 00 FF 2F 00"},
      {"equal ticks of one part keep list order",
       Cat({Header(2), Track(Cat({SysExEvent(0, Xg(0x08, 0x00, 0x0B, 0x10)), kEndOfTrack})),
            Track(Cat({SysExEvent(0, Xg(0x08, 0x00, 0x0B, 0x20)), kEndOfTrack}))}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 01 00 03 01 E0 4D 54 72 6B 00 00 00 18 ") + kMarkerHex +
           " 00 FF 2F 00 "
           "4D 54 72 6B 00 00 00 1B 00 FF 03 06 50 61 72 74 20 31 00 FF 21 01 00 00 B0 07 10 00 B0 07 20"
           " 00 FF 2F 00 4D 54 72 6B 00 00 00 04 00 FF 2F 00"},
      {"a converted message that cut off one without F7 stays, so the F7 escape after it continues nothing",
       Cat({Header(1), Track(FromHex("00 F0 05 43 10 4C 02 01 00 F0 08 43 10 4C 08 00 0B 64 F7 00 F7 02 01 02 "
                                     "00 FF 2F 00"))}),
       true,
       std::string("4D 54 68 64 00 00 00 06 00 01 00 02 01 E0 4D 54 72 6B 00 00 00 30 ") + kMarkerHex +
           " 00 F0 05 43 10 4C 02 01 00 F0 08 43 10 4C 08 00 0B 64 F7 00 F7 02 01 02 00 FF 2F 00 "
           "4D 54 72 6B 00 00 00 17 00 FF 03 06 50 61 72 74 20 31 00 FF 21 01 00 00 B0 07 64 00 FF 2F 00"},
  };
  // Without XG System On the conductor track loses 11 bytes.
  std::string dropped = cases[0].expected;
  dropped.replace(dropped.find("00 3A"), 5, "00 2F");
  dropped.erase(dropped.find(" 00 F0 08 43 10 4C 00 00 7E 00 F7"), 33);
  cases[1].expected = dropped;
  for (const Case& c : cases) EXPECT_EQ(Hex(SongOf(c.source, c.include)), c.expected) << c.what;
}

TEST(SongLayout, RefusalsWriteNothing) {
  const ByteVec track = Track(Cat({SysExEvent(0, Xg(0x08, 0x00, 0x0B, 0x64)), kEndOfTrack}));
  struct Case {
    const char* what;
    ByteVec source;
    const char* reason;
  } cases[] = {
      {"reading stopped early", Cat({Header(), track, {'?', '?'}}), "stopped early"},
      {"format 2", Cat({Header(1, 480, 2), track}), "format 2"},
  };
  test::ScratchDir dir;
  for (const Case& c : cases) {
    Session session;
    const Song song = LoadSmfBytes(c.source, "in.mid", session);
    test::RecordingMessages shown;
    try {
      WriteConvertedFile(song, dir.File("out.mid"), {.layout = Layout::Song}, shown, 0, 0);
      ADD_FAILURE() << c.what << ": converted";
    } catch (const ConvertError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
    EXPECT_TRUE(shown.shown.empty()) << c.what;
    EXPECT_TRUE(dir.Entries().empty()) << c.what;
  }
  // Time gaps too long for the file in a part track (part 1 at tick 2^28) and
  // in a later track (a removed message's gap given to the note after it):
  // the first in file order is reported.
  const uint32_t most = 0x0FFFFFFF;
  const ByteVec gaps = Cat({Header(3), Track(kEndOfTrack),
                            Track(Cat({SysExEvent(most, kXgOn), SysExEvent(1, Xg(0x08, 0x00, 0x0B, 0x64)), kEndOfTrack})),
                            Track(Cat({SysExEvent(most, Xg(0x08, 0x01, 0x0B, 0x64)), VarLen(5), FromHex("90 3C 64"),
                                       kEndOfTrack}))});
  try {
    SongOf(gaps);
    ADD_FAILURE() << "converted";
  } catch (const ConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("at tick 268435456 is 268435456"), std::string::npos) << e.what();
  }
  // A list that was not read from a file has no song to keep.
  Song made;
  test::AddEvent(made, 0, test::kSomeXg, 0, {{7, 100}});
  EXPECT_THROW(BuildFileImage(made, {.layout = Layout::Song}), ConvertError);
}

// --- Read-back and the properties of the layout ----------------------------

// The file's events without the marker and the empty text after it.
std::vector<SmfEvent> WithoutMarker(std::vector<SmfEvent> track) {
  const ByteVec marker = Cat({{0xFF, 0x01}, ByteVec(std::begin(kMarkerText), std::end(kMarkerText) - 1)});
  if (!track.empty() && track[0].bytes == marker) track.erase(track.begin());
  if (!track.empty() && track[0].bytes == ByteVec{0xFF, 0x01}) track.erase(track.begin());
  return track;
}
std::vector<SmfEvent> WithoutEndOfTrack(std::vector<SmfEvent> track) {
  if (!track.empty() && track.back().bytes == ByteVec{0xFF, 0x2F}) track.pop_back();
  return track;
}

// Where each converted message of a song goes out, worked out the way a
// module receives: every part's receive channel followed in time order (XG
// System On and GM System On give part n channel n; Rcv Channel 00-3F is
// channel v mod 16 of port v div 16, 7F nothing), and a message whose part
// receives nothing or shares its channel with another part the song
// addresses stays SysEx. The value is the port << 4 | channel, or none.
std::map<size_t, uint8_t> ExpectedRoutes(const SysExList& list) {
  std::vector<size_t> order(list.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return list.places[a].tick < list.places[b].tick; });
  std::set<uint8_t> addressed;
  for (const Tsys& e : list.events) {
    if (e.part < 64) addressed.insert(e.part);
  }
  std::array<uint8_t, 64> receive;
  const auto reset = [&] {
    for (uint8_t p = 0; p < 64; ++p) receive[p] = p;
  };
  reset();
  std::map<size_t, uint8_t> routes;
  for (const size_t i : order) {
    const auto d = list.Raw(list.events[i]);
    const ByteVec bytes(d.begin(), d.end());
    if (bytes == kXgOn || bytes == ByteVec{0x7E, 0x7F, 0x09, 0x01, 0xF7}) reset();
    if (bytes.size() == 8 && bytes[0] == 0x43 && bytes[1] == 0x10 && bytes[2] == 0x4C && bytes[3] == 0x08 &&
        bytes[4] < 64 && bytes[5] == 0x04 && (bytes[6] < 0x40 || bytes[6] == 0x7F) && bytes[7] == 0xF7) {
      receive[bytes[4]] = bytes[6];
    }
    const Tsys& e = list.events[i];
    if (e.ccNumber[0] == 255 || e.channel >= 64) continue;
    const uint8_t on = receive[e.channel];
    bool layered = false;
    for (const uint8_t q : addressed) layered |= q != e.channel && receive[q] == on;
    if (on != 0x7F && !layered) routes[i] = on;
  }
  return routes;
}

// The channel messages of a converted message on a channel.
std::vector<ByteVec> MessagesOf(const Tsys& e, uint8_t channel) {
  std::vector<ByteVec> out;
  for (int m = 0; m < 4 && e.ccNumber[m] != 255; ++m) {
    out.push_back(e.ccNumber[m] == 224 ? ByteVec{uint8_t(0xC0 | channel), e.ccValue[m]}
                                       : ByteVec{uint8_t(0xB0 | channel), e.ccNumber[m], e.ccValue[m]});
  }
  return out;
}

// Converts the `source` file and checks the output: it reads back, every
// event of the source stays at its tick but the converted SysEx, and each
// converted message is on the channel and port its part receives on at its
// SysEx's tick: on its part's track, or, in a format 0 song that stays
// format 0, in the SysEx's place.
void CheckSong(const ByteVec& source, const std::string& name, bool mido = true) {
  SCOPED_TRACE(name);
  const Song song = Loaded(source);
  const SysExList& analysed = song.sysEx;
  const ByteVec out = BuildFileImage(song, {.layout = Layout::Song});

  ParsedSmf in, got;
  ASSERT_TRUE(test::ParseStrict(source, in, true));
  ASSERT_TRUE(test::ParseStrict(out, got, true));
  EXPECT_EQ(got.division, in.division);
  const std::map<size_t, uint8_t> routes = ExpectedRoutes(analysed);
  const bool inPlace = in.format == 0 && in.tracks.size() == 1 &&
                       std::all_of(routes.begin(), routes.end(), [](const auto& r) { return r.second < 16; });
  EXPECT_EQ(got.format, inPlace ? 0 : 1);

  std::array<std::vector<size_t>, 64> byPart;
  if (!inPlace) {
    for (const auto& [i, on] : routes) byPart[analysed.events[i].channel].push_back(i);
    for (auto& p : byPart) {
      std::stable_sort(p.begin(), p.end(), [&](size_t a, size_t b) { return analysed.places[a].tick < analysed.places[b].tick; });
    }
  }
  size_t parts = 0;
  for (const auto& p : byPart) parts += !p.empty();
  ASSERT_EQ(got.tracks.size(), in.tracks.size() + parts);

  // Source tracks: the converted F0 events (the k-th SysEx event of the track
  // is its k-th record) are gone, or replaced by their channel messages;
  // everything else is where it was.
  size_t record = 0;
  for (size_t t = 0; t < in.tracks.size(); ++t) {
    std::vector<SmfEvent> expected;
    for (const SmfEvent& e : in.tracks[t]) {
      if (e.bytes[0] == 0xF0) {
        const size_t r = record++;
        const auto route = routes.find(r);
        if (route != routes.end()) {
          if (inPlace) {
            for (const ByteVec& m : MessagesOf(analysed.events[r], route->second & 15)) expected.push_back({e.tick, m});
          }
          continue;
        }
      }
      expected.push_back(e);
    }
    const auto& written = got.tracks[t == 0 ? 0 : t + parts];
    EXPECT_EQ(WithoutEndOfTrack(WithoutMarker(written)), WithoutEndOfTrack(expected)) << "track " << t;
  }
  EXPECT_EQ(record, analysed.size());

  // Part tracks: name, port, then the messages at the ticks of their SysEx.
  size_t at = 1;
  for (uint8_t part = 0; part < 64; ++part) {
    if (byPart[part].empty()) continue;
    const auto& track = got.tracks[at++];
    ASSERT_GE(track.size(), 3u);
    const std::string partName = "Part " + std::to_string(part + 1);
    EXPECT_EQ(track[0].bytes, Cat({{0xFF, 0x03}, ByteVec(partName.begin(), partName.end())}));
    EXPECT_EQ(track[1].bytes, (ByteVec{0xFF, 0x21, uint8_t(routes.at(byPart[part][0]) >> 4)}));
    std::multimap<uint64_t, ByteVec> want, have;
    for (const size_t i : byPart[part]) {
      for (const ByteVec& m : MessagesOf(analysed.events[i], routes.at(i) & 15)) want.emplace(analysed.places[i].tick, m);
    }
    for (size_t i = 2; i + 1 < track.size(); ++i) {
      if (track[i].bytes[0] != 0xFF) have.emplace(track[i].tick, track[i].bytes);
    }
    EXPECT_EQ(have, want) << partName;
  }

  // The program's reader reads it whole, with every message that stayed SysEx.
  test::ScratchDir dir;
  const std::string path = dir.File("song.mid");
  test::WriteAll(path, out);
  Session session;
  const Song back = LoadSmfFile(path, session);
  ASSERT_EQ(back.status, LoadStatus::Whole);
  EXPECT_EQ(back.sysEx.size(), analysed.size() - routes.size());

  test::ExpectIndependentReadersAgree(path, got, mido);
}

// A song as a sequencer writes it: notes in running status, controllers,
// tempo and time signatures, XG parameter changes for parts 1-64 (receive
// channels among them) and GS part parameters that do and do not convert, in
// 1 to 4 tracks.
ByteVec GeneratedSong(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
  const uint8_t partParams[] = {0x01, 0x02, 0x03, 0x0B, 0x0E, 0x13, 0x15, 0x19, 0x67, 0x68, 0x07, 0x04, 0x30};
  const size_t tracks = 1 + pick(4);
  const uint16_t division = seed % 2 ? 96 : 480;
  ByteVec file = Header(uint16_t(tracks), division, tracks == 1 ? 0 : 1);
  for (size_t t = 0; t < tracks; ++t) {
    ByteVec body;
    uint8_t running = 0;
    for (uint32_t i = 0, n = 5 + pick(60); i < n; ++i) {
      const ByteVec delta = test::VarLen(pick(3) == 0 ? 0 : pick(500));
      body.insert(body.end(), delta.begin(), delta.end());
      const uint32_t kind = pick(10);
      if (kind < 4) {
        const uint8_t status = uint8_t((kind == 3 ? 0xB0 : 0x90) | (t & 15));
        if (status != running) body.push_back(status);
        running = status;
        body.push_back(uint8_t(pick(128)));
        body.push_back(uint8_t(pick(128)));
        continue;
      }
      running = 0;  // SysEx and meta events end running status in a strict reader
      if (kind == 4) {
        body.insert(body.end(), {0xFF, 0x51, 0x03, 0x07, uint8_t(pick(256)), 0x20});
      } else if (kind == 5) {
        body.insert(body.end(), {0xFF, 0x58, 0x04, uint8_t(2 + pick(5)), 0x02, 0x18, 0x08});
      } else if (kind == 6) {
        const ByteVec e = SysExEvent(0, Xg(0x30 + uint8_t(pick(2)), uint8_t(13 + pick(70)), uint8_t(pick(8)),
                                           uint8_t(pick(128))));
        body.insert(body.end(), e.begin() + 1, e.end());
      } else if (kind == 7) {
        // A GS part parameter of either port: level, pan, sends, vibrato, key shift.
        const uint8_t lows[] = {0x19, 0x1C, 0x21, 0x22, 0x30, 0x16, 0x15};
        const ByteVec address = {uint8_t(pick(2) ? 0x40 : 0x50), uint8_t(0x10 | pick(16)), lows[pick(sizeof lows)]};
        const uint8_t value = uint8_t(0x28 + pick(0x30));
        const uint8_t sum = uint8_t((128 - (address[0] + address[1] + address[2] + value) % 128) % 128);
        const ByteVec e = SysExEvent(0, Cat({{0x41, 0x10, 0x42, 0x12}, address, {value, sum, 0xF7}}));
        body.insert(body.end(), e.begin() + 1, e.end());
      } else {
        // XG parts 1-64: the third and fourth ports too.
        const ByteVec e = SysExEvent(0, Xg(0x08, uint8_t(pick(66)), partParams[pick(sizeof partParams)],
                                           uint8_t(pick(128))));
        body.insert(body.end(), e.begin() + 1, e.end());
      }
    }
    file = Cat({file, Track(Cat({body, kEndOfTrack}))});
  }
  return file;
}

TEST(SongLayout, GeneratedSongsAndTheExampleReadBackWithEveryEventInPlace) {
  for (uint32_t seed = 1; seed <= 12; ++seed) CheckSong(GeneratedSong(seed), "seed " + std::to_string(seed));
  const ByteVec example = test::ReadAll(std::string(MERTOVAN_SOURCE_DIR) + "/examples/xg_song_setup.mid");
  ASSERT_FALSE(example.empty());
  CheckSong(example, "example");
}

TEST(SongLayout, ConvertingTheOutputAgainChangesNothing) {
  test::ScratchDir dir;
  const ByteVec first = SongOf(MultiTrackSong());
  test::WriteAll(dir.File("song_cc.mid"), first);
  Session session;
  const Song song = LoadSmfFile(dir.File("song_cc.mid"), session);
  ASSERT_EQ(song.status, LoadStatus::Whole);
  for (const Tsys& e : song.sysEx.events) EXPECT_EQ(e.ccNumber[0], 255) << "left to convert";
  test::RecordingMessages shown;
  WriteConvertedFile(song, dir.File("song_cc.mid"), {.layout = Layout::Song}, shown, 0, 0);
  ASSERT_EQ(shown.shown.size(), 1u);
  EXPECT_EQ(shown.shown[0].text, kConvertSuccessfulText);
  EXPECT_EQ(Hex(test::ReadAll(dir.File("song_cc.mid"))), Hex(first));
}

}  // namespace
}  // namespace mertovan
