// Every converted file read back: by a strict reader of the framing, by the
// program's own reader, and by independent readers (mido, midicsv); the
// channel tracks checked against the analysed events.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "analysis/load.h"
#include "model/song.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/hex.h"
#include "support/independent_readers.h"
#include "support/recording_messages.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "support/strict_smf_reader.h"
#include "support/synthetic_song.h"
#include "writer/tracks.h"
#include "writer/file_image.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

using test::ByteVec;
using test::Hex;
using test::ParsedSmf;
using test::ScratchDir;
using test::SmfEvent;

struct Message {
  uint32_t tick;
  ByteVec bytes;
};

// The channel messages that the analysis derived for part `ch`, per event in
// time order (stable), each with the messages it must produce.
std::vector<std::pair<const Tsys*, std::vector<ByteVec>>> ConvertedOf(const SysExList& list, uint8_t ch) {
  std::vector<const Tsys*> events;
  for (const Tsys& e : list.events) {
    if (e.channel == ch) events.push_back(&e);
  }
  std::stable_sort(events.begin(), events.end(), [](const Tsys* a, const Tsys* b) { return a->tick < b->tick; });
  std::vector<std::pair<const Tsys*, std::vector<ByteVec>>> out;
  for (const Tsys* e : events) {
    std::vector<ByteVec> messages;
    for (int i = 0; i < 4 && e->ccNumber[i] != 255; ++i) {
      if (e->ccNumber[i] == 224) {
        messages.push_back({uint8_t(0xC0 | (ch & 15)), e->ccValue[i]});
      } else {
        messages.push_back({uint8_t(0xB0 | (ch & 15)), e->ccNumber[i], e->ccValue[i]});
      }
    }
    if (!messages.empty()) out.emplace_back(e, std::move(messages));
  }
  return out;
}

// The first status byte of a channel track tells its MIDI channel, not its
// part; the parts of a file are the channels with events, in order (in the
// formal layout, those with a setup entry in use).
std::vector<uint8_t> PartsWithTracks(const Song& song, bool formal) {
  SetupTable setup = InitSetupTable();
  if (formal) MarkSetupUsage(setup, song, SortEventsByTick(song.sysEx));
  std::vector<uint8_t> parts;
  for (uint8_t ch = 0; ch < 32; ++ch) {
    bool has = false;
    if (formal) {
      for (const SetupWork& w : setup) has |= w.usage[ch] != 0;
    } else {
      for (const Tsys& e : song.sysEx.events) has |= e.channel == ch;
    }
    if (has) parts.push_back(ch);
  }
  return parts;
}

void CheckPlainTrack(const SysExList& list, uint8_t ch, const std::vector<SmfEvent>& track) {
  size_t at = 0;
  uint64_t lastWritten = 0;
  for (const auto& [e, messages] : ConvertedOf(list, ch)) {
    ASSERT_LE(at + messages.size(), track.size()) << "part " << int(ch);
    const uint32_t first = track[at].tick;
    // On its own tick, or right after the group before it when it falls inside it.
    if (lastWritten <= e->tick) {
      EXPECT_EQ(first, e->tick) << "part " << int(ch);
    } else {
      EXPECT_EQ(first, lastWritten) << "part " << int(ch);
    }
    for (size_t m = 0; m < messages.size(); ++m, ++at) {
      EXPECT_EQ(Hex(track[at].bytes), Hex(messages[m])) << "part " << int(ch) << " tick " << e->tick;
      EXPECT_EQ(track[at].tick, first + 3 * m);
    }
    lastWritten = track[at - 1].tick;
  }
  EXPECT_EQ(at + 1, track.size()) << "part " << int(ch) << ": more than the converted messages";
}

void CheckFormalTrack(const SysExList& list, uint8_t ch, const std::vector<SmfEvent>& track) {
  ASSERT_GE(track.size(), 2u);
  EXPECT_EQ(track[0].tick, 1920u);
  const auto converted = ConvertedOf(list, ch);
  // The latest value in time of every single controller with a setup entry.
  std::map<uint8_t, uint8_t> latest;
  for (const auto& [e, messages] : converted) {
    if (messages.size() == 1 && e->ccNumber[0] != 5 && e->ccNumber[0] != 65) latest[e->ccNumber[0]] = e->ccValue[0];
  }
  std::map<uint8_t, std::vector<uint8_t>> written;
  for (const SmfEvent& m : track) {
    if ((m.bytes[0] & 0xF0) == 0xC0) written[224].push_back(m.bytes[1]);
    if ((m.bytes[0] & 0xF0) == 0xB0) written[m.bytes[1]].push_back(m.bytes[2]);
    if (m.bytes[0] < 0xF0) {
      EXPECT_EQ(m.bytes[0] & 15, ch & 15);
    }
  }
  for (const auto& [number, value] : latest) {
    EXPECT_EQ(written[number], std::vector<uint8_t>{value}) << "part " << int(ch) << " controller " << int(number);
  }
  EXPECT_TRUE(written[5].empty());
  EXPECT_TRUE(written[65].empty());
  // Every drum setting of the part, in time order among those of one parameter.
  for (const auto& [e, messages] : converted) {
    if (messages.size() != 3 || e->ccNumber[0] != 99 || e->ccValue[0] < 20) continue;
    bool found = false;
    for (auto it = track.begin(); it + 2 < track.end(); ++it) {
      if (it[0].bytes == messages[0] && it[1].bytes == messages[1] && it[2].bytes == messages[2]) found = true;
    }
    EXPECT_TRUE(found) << "drum NRPN " << int(e->ccValue[0]) << "/" << int(e->ccValue[1]) << " of part " << int(ch);
  }
}

// Converts the analysed song with every classic option and checks each file.
void ConvertAndReadBack(const Song& song, const std::string& name, bool midoReadable = true) {
  ScratchDir dir;
  const SysExList& analysed = song.sysEx;
  for (const bool formal : {false, true}) {
    for (const bool include : {false, true}) {
      SCOPED_TRACE(name + (formal ? " formal" : " plain") + (include ? " include" : " drop"));
      const ConvertOptions options{formal ? Layout::Formal : Layout::Plain, include};
      const std::string path = dir.File("out.mid");
      test::RecordingMessages messages;
      WriteConvertedFile(song, path, options, messages, 0, 0);
      ASSERT_EQ(messages.shown.size(), 1u);
      ASSERT_EQ(messages.shown[0].text, "Convert Successful");
      const ByteVec bytes = test::ReadAll(path);

      ParsedSmf parsed;
      ASSERT_TRUE(test::ParseStrict(bytes, parsed));
      EXPECT_EQ(parsed.format, 1);
      EXPECT_EQ(parsed.division, 480);
      ASSERT_GE(parsed.tracks.size(), 2u);
      EXPECT_EQ(Hex(ByteVec(bytes.begin() + 14, bytes.begin() + 14 + 47)),
                Hex(test::FromHex("4D 54 72 6B 00 00 00 27 00 FF 03 10 4D 45 52 54 4F 56 41 4E 20 43 4F 4E 56 45 "
                                  "52 54 00 FF 51 03 07 A1 20 00 FF 58 04 04 02 18 08 00 FF 2F 00")));

      // The channel tracks, one per part in use, in part order.
      const auto parts = PartsWithTracks(song, formal);
      ASSERT_EQ(parsed.tracks.size(), 2 + parts.size());
      for (size_t t = 0; t < parts.size(); ++t) {
        if (formal) {
          CheckFormalTrack(analysed, parts[t], parsed.tracks[2 + t]);
        } else {
          CheckPlainTrack(analysed, parts[t], parsed.tracks[2 + t]);
        }
      }

      // The program's own reader finds exactly the passed-through messages.
      std::vector<const Tsys*> passed;
      if (include) {
        for (const Tsys& e : analysed.events) {
          if (!InChannelTrack(e)) passed.push_back(&e);
        }
        std::stable_sort(passed.begin(), passed.end(), [](auto a, auto b) { return a->tick < b->tick; });
      }
      Session session;
      const Song back = LoadSmfFile(path, session);
      ASSERT_EQ(back.status, LoadStatus::Whole);
      ASSERT_EQ(back.sysEx.size(), passed.size());
      for (size_t i = 0; i < passed.size(); ++i) {
        const auto raw = back.sysEx.Raw(back.sysEx.events[i]);
        const auto want = analysed.Raw(*passed[i]);
        EXPECT_TRUE(std::equal(raw.begin(), raw.end(), want.begin(), want.end())) << "message " << i;
        if (!formal) {
          EXPECT_EQ(back.sysEx.events[i].tick, passed[i]->tick) << "message " << i;
        }
      }

      test::ExpectIndependentReadersAgree(path, parsed, midoReadable);
    }
  }
}

const auto Xg = test::XgMessage;

// A file whose tracks each hold (tick, SysEx bytes after F0) events in time order.
ByteVec SongFile(std::vector<std::vector<std::pair<uint32_t, ByteVec>>> tracks) {
  using namespace test;
  ByteVec file = Header(uint16_t(tracks.size()));
  for (auto& events : tracks) {
    std::stable_sort(events.begin(), events.end(), [](auto& a, auto& b) { return a.first < b.first; });
    ByteVec body;
    uint32_t now = 0;
    for (const auto& [tick, message] : events) {
      const ByteVec ev = SysExEvent(tick - now, message);
      body.insert(body.end(), ev.begin(), ev.end());
      now = tick;
    }
    body.insert(body.end(), kEndOfTrack.begin(), kEndOfTrack.end());
    const ByteVec chunk = Track(body);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

// The song of `file`, loaded in a session of its own.
Song Load(const ByteVec& file) {
  Session session;
  Song song = LoadSmfBytes(file, "generated", session);
  EXPECT_EQ(song.status, LoadStatus::Whole);
  return song;
}

TEST(RoundTrip, TheExampleFile) {
  const std::string example = std::string(MERTOVAN_SOURCE_DIR) + "/examples/xg_song_setup.mid";
  if (!std::filesystem::exists(example)) GTEST_SKIP() << "no example file";
  Session session;
  const Song song = LoadSmfFile(example, session);
  ASSERT_EQ(song.status, LoadStatus::Whole);
  ASSERT_GT(song.sysEx.size(), 0u);
  ConvertAndReadBack(song, "example");
}

TEST(RoundTrip, HandWrittenSongWithEveryKindOfTrack) {
  ByteVec longMessage = {0x7D, 0x01};
  for (int i = 0; i < 300; ++i) longMessage.push_back(uint8_t((i * 7) & 0x7F));
  longMessage.push_back(0xF7);
  const Song song = Load(SongFile({
      // System setup.
      {{0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}},
       {240, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
       {720, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x10, 0xF7}},
       {730, Xg(0x08, 0x05, 0x07, 0x02)},   // part 5 plays drum setup 1
       {740, Xg(0x08, 0x14, 0x07, 0x03)},   // part 20 plays drum setup 2
       {750, longMessage}},
      // Parts 0-3, including groups close together.
      {{960, Xg(0x08, 0x00, 0x01, 0x00)}, {970, Xg(0x08, 0x00, 0x03, 0x10)}, {980, Xg(0x08, 0x00, 0x0B, 0x64)},
       {990, Xg(0x08, 0x01, 0x15, 0x50)}, {991, Xg(0x08, 0x01, 0x0B, 0x40)}, {992, Xg(0x08, 0x01, 0x23, 0x4C)},
       {1000, Xg(0x08, 0x02, 0x68, 0x20)}, {1010, Xg(0x08, 0x02, 0x67, 0x01)}, {3840, Xg(0x08, 0x00, 0x0B, 0x50)},
       {1000, Xg(0x08, 0x03, 0x0E, 0x00)}},
      // Parts 16-31 and the drum setups; this track starts before the one above ends.
      {{0, Xg(0x08, 0x10, 0x0B, 0x11)}, {5, Xg(0x08, 0x1F, 0x03, 0x22)}, {10, Xg(0x08, 0x15, 0x1A, 0x33)},
       {15, Xg(0x30, 0x24, 0x00, 0x44)}, {16, Xg(0x30, 0x26, 0x02, 0x55)}, {20, Xg(0x31, 0x24, 0x00, 0x66)},
       {25, Xg(0x08, 0x28, 0x0B, 0x64)}},  // part 40: no channel track, stays SysEx
      // Earlier than everything above: out of time order in the list.
      {{0, Xg(0x08, 0x00, 0x0B, 0x7F)}, {1, Xg(0x30, 0x24, 0x02, 0x77)}},
  }));
  EXPECT_EQ(song.sysEx.events[5].length, 303u);
  ConvertAndReadBack(song, "hand-written");
}

TEST(RoundTrip, GeneratedSongs) {
  // Part and drum parameters that convert, some that do not, other messages.
  const uint8_t partParams[] = {0x01, 0x02, 0x03, 0x68, 0x0B, 0x0E, 0x67, 0x19, 0x1C, 0x1A, 0x18, 0x13, 0x12,
                                0x14, 0x15, 0x16, 0x17, 0x72, 0x73, 0x76, 0x77, 0x1B, 0x23, 0x07, 0x04, 0x30};
  const uint8_t drumParams[] = {0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x00, 0x01, 0x02, 0x04, 0x05,
                                0x06, 0x07, 0x50, 0x20, 0x21, 0x24, 0x25, 0x03};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    std::vector<std::vector<std::pair<uint32_t, ByteVec>>> tracks(1 + pick(4));
    const uint32_t count = 20 + pick(200);
    for (uint32_t i = 0; i < count; ++i) {
      auto& track = tracks[pick(uint32_t(tracks.size()))];
      const uint32_t tick = pick(4) == 0 ? pick(20) : pick(20000);
      switch (pick(8)) {
        case 0:
          track.push_back({tick, Xg(0x30 + uint8_t(pick(3)), uint8_t(13 + pick(80)), drumParams[pick(sizeof drumParams)],
                                    uint8_t(pick(128)))});
          break;
        case 1:
          track.push_back({tick, Xg(0x08, uint8_t(pick(32)), 0x07, uint8_t(pick(4)))});  // part mode
          break;
        case 2: {
          ByteVec m = {0x43, 0x10, 0x4C, 0x02, 0x01, uint8_t(pick(0x60))};
          const uint32_t n = pick(4) == 0 ? 130 + pick(200) : 1 + pick(4);
          for (uint32_t k = 0; k < n; ++k) m.push_back(uint8_t(pick(128)));
          m.push_back(0xF7);
          track.push_back({tick, m});
          break;
        }
        case 3:
          track.push_back({tick, Xg(0x0A, uint8_t(pick(34)), 0x20, uint8_t(pick(128)))});  // HPF, parts up to 33
          break;
        default:
          track.push_back({tick, Xg(0x08, uint8_t(pick(34)), partParams[pick(sizeof partParams)], uint8_t(pick(128)))});
      }
    }
    ConvertAndReadBack(Load(SongFile(tracks)), "seed " + std::to_string(seed));
  }
}

// A conversion loads without names, values and positions; the bytes it
// writes must not depend on them.
TEST(RoundTrip, ConvertingAloneWritesWhatTheListingLoadWrites) {
  const auto synthetic = test::MakeSyntheticXgFile(4, 4000, 2, 7);
  const auto example = test::ReadAll(std::string(MERTOVAN_SOURCE_DIR) + "/examples/xg_song_setup.mid");
  const ConvertOptions layouts[] = {{.layout = Layout::Formal}, {.layout = Layout::Plain}, {.layout = Layout::Song},
                                    {.layout = Layout::Formal, .includeUnconvertible = false}};
  for (const ByteVec* file : {&synthetic, &example}) {
    for (const ConvertOptions& options : layouts) {
      std::vector<uint8_t> images[2];
      for (const Analysis what : {Analysis::ForListing, Analysis::ForConverting}) {
        Session session;
        const Song song = LoadSmfBytes(*file, "song", session, what);
        ASSERT_EQ(song.status, LoadStatus::Whole);
        images[what == Analysis::ForConverting] = BuildFileImage(song, options);
      }
      EXPECT_EQ(images[0], images[1]) << "file of " << file->size() << " bytes, layout " << int(options.layout)
                                      << ", include " << options.includeUnconvertible;
    }
  }
}

TEST(RoundTrip, PackedMessagesStayWhole) {
  // Two parameter changes packed into one F0 event, as some sequencers
  // store them; an independent reader that insists on one message per event
  // would refuse them, so only the framing and the program's reader judge.
  const ByteVec packed = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x10, 0xF7,
                          0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x20, 0x41, 0xF7};
  const Song song = Load(SongFile({{{0, packed}, {10, Xg(0x08, 0x00, 0x0B, 0x50)}}}));
  ASSERT_EQ(song.sysEx.events[0].ccNumber[0], 255);
  ConvertAndReadBack(song, "packed", false);
}

}  // namespace
}  // namespace mertovan
