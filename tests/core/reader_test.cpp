#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "analysis/analyse.h"
#include "model/file_io.h"
#include "model/smf_reader.h"
#include "model/song.h"
#include "support/hex.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"

namespace mertovan {
namespace {

using test::Bytes;
using test::Cat;
using test::Header;
using test::kEndOfTrack;
using test::SysExEvent;
using test::Track;

const Bytes kXgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// Each Read reads a file into a new song.
class Reader : public ::testing::Test {
 protected:
  LoadStatus Read(const Bytes& file, const std::string& name = "test.mid") {
    song = Song{};
    return ReadSmf(std::make_shared<const Bytes>(file), name, song);
  }
  Bytes DataOf(size_t i) const {
    auto d = song.sysEx.Data(song.sysEx.events.at(i));
    return {d.begin(), d.end()};
  }
  Bytes RawOf(size_t i) const {
    auto d = song.sysEx.Raw(song.sysEx.events.at(i));
    return {d.begin(), d.end()};
  }
  Song song;
};

TEST(DataByteCount, FollowsTheStatusTable) {
  struct Case {
    int from, to, count;
  } cases[] = {{0x00, 0x7F, -1}, {0x80, 0xBF, 2}, {0xC0, 0xDF, 1}, {0xE0, 0xEF, 2}, {0xF1, 0xF1, 1},
               {0xF2, 0xF2, 2},  {0xF3, 0xF3, 1}, {0xF4, 0xF5, -1}, {0xF6, 0xF8, 0},  {0xF9, 0xF9, -1},
               {0xFA, 0xFC, 0},  {0xFD, 0xFD, -1}, {0xFE, 0xFE, 0}};
  for (const Case& c : cases) {
    for (int s = c.from; s <= c.to; ++s) EXPECT_EQ(DataByteCount(uint8_t(s)), c.count) << std::hex << s;
  }
}

TEST(DeltaFromBytes, DecodesPackedVariableLengthQuantities) {
  EXPECT_EQ(DeltaFromBytes(0x00), 0u);
  EXPECT_EQ(DeltaFromBytes(0x8100), 128u);
  EXPECT_EQ(DeltaFromBytes(0xFF7F), 16383u);
  EXPECT_EQ(DeltaFromBytes(0x818000), 16384u);
  EXPECT_EQ(DeltaFromBytes(0x8360), 480u);
  EXPECT_EQ(DeltaFromBytes(0xFFFFFF7F), 268435455u);
}

TEST(ReverseBytes, ReversesTheLowBytes) {
  EXPECT_EQ(ReverseBytes(0x11223344, 2), 0x4433u);
  EXPECT_EQ(ReverseBytes(0x11223344, 3), 0x443322u);
  EXPECT_EQ(ReverseBytes(0x11223344, 4), 0x44332211u);
  EXPECT_EQ(ReverseBytes(0x11223344, 1), 0x11223344u);
  EXPECT_EQ(ReverseBytes(0x11223344, 0), 0x11223344u);
  EXPECT_EQ(ReverseBytes(0x11223344, 5), 0x11223344u);
}

TEST_F(Reader, StoresSysExMessagesAndTimeSignatures) {
  // The body of the classic example: one XG System On at tick 0.
  const Bytes body = {0x00, 0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7, 0x00, 0xFF, 0x2F, 0x00};
  ASSERT_EQ(Read(Cat({Header(), Track(body)})), LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 1u);
  const Tsys& e = song.sysEx.events[0];
  EXPECT_EQ(e.tick, 0u);
  EXPECT_EQ(e.length, 8u);
  EXPECT_EQ(DataOf(0), kXgOn);
  EXPECT_EQ(RawOf(0), kXgOn);
  EXPECT_EQ(e.channel, 255);
  EXPECT_EQ(e.ccNumber[0], 255);

  const Bytes ts = Cat({{0x8F, 0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08}, kEndOfTrack});
  ASSERT_EQ(Read(Cat({Header(), Track(ts)})), LoadStatus::Whole);
  ASSERT_EQ(song.timeSignatures.size(), 1u);
  EXPECT_EQ(song.timeSignatures[0].tick, 1920u);
  EXPECT_EQ(song.timeSignatures[0].numerator, 3);
  EXPECT_EQ(song.timeSignatures[0].denominatorPower, 2);
}

TEST_F(Reader, RepeatedF0IsDroppedFromDataButKeptInRawBytes) {
  const Bytes msg = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  ASSERT_EQ(Read(Cat({Header(), Track(Cat({SysExEvent(0, msg), kEndOfTrack}))})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.events[0].length, 9u);
  EXPECT_EQ(DataOf(0), Cat({kXgOn, {0x00}}));
  EXPECT_EQ(RawOf(0), msg);

  // Two messages packed into one event, as some sequencers store them.
  const Bytes packed = {0x7E, 0x7F, 0x09, 0x01, 0xF7, 0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  ASSERT_EQ(Read(Cat({Header(), Track(Cat({SysExEvent(0, packed), kEndOfTrack}))})), LoadStatus::Whole);
  EXPECT_EQ(RawOf(0), packed);
  // A final F0 stays stored after the kept bytes.
  ASSERT_EQ(Read(Cat({Header(), Track(Cat({SysExEvent(0, {0x43, 0xF0, 0xF0}), kEndOfTrack}))})), LoadStatus::Whole);
  EXPECT_EQ(DataOf(0), (Bytes{0x43, 0xF0, 0x00}));
}

// The part settings and first notes the song layout's targets follow, with
// where they lie: in running status, after a long delta time, after a port
// change (which starts the first notes anew).
TEST_F(Reader, NotesPartSettingsAndFirstNotes) {
  const Bytes body = test::FromHex(
      "00 B1 00 7F 00 07 64 00 20 01 00 C1 05 00 91 3C 00 81 00 91 3C 64 00 3E 64 "
      "00 FF 21 01 01 00 3C 00 00 40 64 00 E3 00 40 00 FF 2F 00");
  ASSERT_EQ(Read(Cat({Header(), Track(body)})), LoadStatus::Whole);
  std::vector<std::string> settings;
  for (const PartSetting& s : song.source.settings) {
    char text[64];
    std::snprintf(text, sizeof text, "%u %u-%u %02X %02X %02X port %u", s.tick, s.packet.begin, s.packet.end, s.status,
                  s.data1, s.data2, s.port);
    settings.push_back(text);
  }
  // The track's body starts at offset 22 of the file.
  EXPECT_EQ(settings,
            (std::vector<std::string>{"0 22-26 B1 00 7F port 0", "0 29-32 B1 20 01 port 0", "0 32-35 C1 05 00 port 0",
                                      "128 39-44 91 3C 64 port 0", "128 55-58 91 40 64 port 1"}));
  EXPECT_EQ(song.source.chunks[1].channels, 0x000A);  // channels 2 and 4
}

TEST_F(Reader, KeepsFileOrderTrackAfterTrack) {
  const Bytes track = Cat({SysExEvent(0, kXgOn), SysExEvent(960, kXgOn), kEndOfTrack});
  ASSERT_EQ(Read(Cat({Header(2), Track(track), Track(track)})), LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 4u);
  const uint32_t expected[] = {0, 960, 0, 960};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(song.sysEx.events[i].tick, expected[i]);
}

TEST_F(Reader, ReadsRunningStatusNotes) {
  // Note on, then two more notes in running status, then a SysEx.
  const Bytes body = Cat({{0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x3C, 0x00, 0x00, 0x40, 0x64},
                          SysExEvent(480, kXgOn), kEndOfTrack});
  ASSERT_EQ(Read(Cat({Header(), Track(body)})), LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 1u);
  EXPECT_EQ(song.sysEx.events[0].tick, 960u);
}

TEST_F(Reader, LongLengthsAndEscapes) {
  Bytes longMsg(300, 0x11);
  longMsg.back() = 0xF7;
  // An F7 escape event with a two-byte length, a long text meta event, then the long SysEx.
  Bytes escape = Cat({{0x00, 0xF7}, test::VarLen(200), Bytes(200, 0x22)});
  Bytes text = Cat({{0x00, 0xFF, 0x01}, test::VarLen(150), Bytes(150, 'a')});
  ASSERT_EQ(Read(Cat({Header(), Track(Cat({escape, text, SysExEvent(0, longMsg), kEndOfTrack}))})), LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 1u);
  EXPECT_EQ(song.sysEx.events[0].length, 300u);
  EXPECT_EQ(RawOf(0), longMsg);
}

TEST_F(Reader, JoinsASysExSplitIntoF7Continuations) {
  struct Case {
    const char* what;
    Bytes body;
    std::vector<std::pair<uint32_t, Bytes>> records;  // tick, raw bytes after F0
  } cases[] = {
      {"F0 packet, then the F7 packet that ends it",
       {0x00, 0xF0, 0x06, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x05, 0xF7, 0x03, 0x01, 0x10, 0xF7},
       {{0, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x10, 0xF7}}}},
      {"other events between the packets",
       {0x00, 0xF0, 0x02, 0x43, 0x10, 0x10, 0x90, 0x3C, 0x64, 0x05, 0xF7, 0x02, 0x4C, 0x02, 0x00, 0xFF, 0x01, 0x01,
        'a', 0x05, 0xF7, 0x04, 0x01, 0x00, 0x01, 0xF7},
       {{0, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0xF7}}}},
      {"an F7 escape continues nothing", Cat({{0x00, 0xF7, 0x02, 0xF3, 0x01}, SysExEvent(0, kXgOn)}), {{0, kXgOn}}},
      {"a new F0 cuts an unfinished message off",
       Cat({{0x00, 0xF0, 0x02, 0x43, 0x10}, SysExEvent(10, kXgOn), {0x00, 0xF7, 0x01, 0xF7}}),
       {{0, {0x43, 0x10}}, {10, kXgOn}}},
      {"unfinished at the end of the track", {0x00, 0xF0, 0x02, 0x43, 0x10, 0x00, 0xF7, 0x01, 0x4C},
       {{0, {0x43, 0x10, 0x4C}}}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Read(Cat({Header(), Track(Cat({c.body, kEndOfTrack}))})), LoadStatus::Whole) << c.what;
    ASSERT_EQ(song.sysEx.size(), c.records.size()) << c.what;
    for (size_t i = 0; i < c.records.size(); ++i) {
      EXPECT_EQ(song.sysEx.events[i].tick, c.records[i].first) << c.what;
      EXPECT_EQ(RawOf(i), c.records[i].second) << c.what;
    }
  }
  // The first case: where each packet lies in the file (header 14 bytes,
  // track chunk header 8), from its delta time to its last byte.
  ASSERT_EQ(Read(Cat({Header(), Track(Cat({cases[0].body, kEndOfTrack}))})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.places.at(0).packet.begin, 22u);
  EXPECT_EQ(song.sysEx.places[0].packet.end, 31u);
  ASSERT_EQ(song.sysEx.continuations.size(), 1u);
  EXPECT_EQ(song.sysEx.continuations[0].packet.begin, 31u);
  EXPECT_EQ(song.sysEx.continuations[0].packet.end, 37u);
  // Listed and converted as the one message it is: Reverb Type MSB 1.
  Session session;
  AnalyseEvents(song, session);
  EXPECT_EQ(song.sysEx.events[0].eventName, "Reverb Type MSB");
  EXPECT_EQ(song.sysEx.events[0].valueText, "1");
}

TEST_F(Reader, HonoursChunkLengths) {
  // A header of 8 bytes: the two extra bytes are skipped.
  Bytes header = Cat({{'M', 'T', 'h', 'd'}, test::Be32(8), {0, 1, 0, 1, 0x01, 0xE0, 0xAA, 0xBB}});
  const Bytes track = Track(Cat({SysExEvent(0, kXgOn), kEndOfTrack}));
  EXPECT_EQ(Read(Cat({header, track})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.size(), 1u);
  // An unknown chunk between the tracks is skipped by its length.
  Bytes unknown = Cat({{'X', 'F', 'I', 'H'}, test::Be32(3), {1, 2, 3}});
  EXPECT_EQ(Read(Cat({Header(2), track, unknown, track})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.size(), 2u);
  // The end-of-track event does not end the chunk: its length does.
  EXPECT_EQ(Read(Cat({Header(), Track(Cat({kEndOfTrack, SysExEvent(0, kXgOn)}))})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.size(), 1u);
  // A file that starts directly with its track is read whole.
  EXPECT_EQ(Read(track), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.size(), 1u);
}

TEST_F(Reader, TellsWhetherTheLastEventBesidesSysExIsEndOfTrack) {
  const Bytes note = {0x00, 0x90, 0x3C, 0x64};
  const Bytes lateNote = {0x81, 0x00, 0x90, 0x3C, 0x64};  // two-byte delta times
  const Bytes lateSysEx = SysExEvent(200, kXgOn);
  struct Case {
    Bytes body;
    bool endsWithEndOfTrack;
  } cases[] = {
      {Cat({note, kEndOfTrack}), true},
      {Cat({note, kEndOfTrack, SysExEvent(0, kXgOn), {0x00, 0xF7, 0x01, 0xF7}}), true},
      {Cat({note, kEndOfTrack, lateSysEx}), true},
      {Cat({kEndOfTrack, SysExEvent(0, kXgOn), note}), false},
      {Cat({kEndOfTrack, note, SysExEvent(0, kXgOn)}), false},
      {Cat({kEndOfTrack, lateSysEx, lateNote, lateSysEx}), false},
      {Cat({SysExEvent(0, kXgOn), note}), false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(Read(Cat({Header(), Track(cases[i].body)})), LoadStatus::Whole) << i;
    EXPECT_EQ(song.source.chunks.back().endsWithEndOfTrack, cases[i].endsWithEndOfTrack) << i;
  }
}

TEST_F(Reader, StopsEarlyAndKeepsWhatWasRead) {
  const Bytes good = Cat({SysExEvent(0, kXgOn)});
  struct Case {
    const char* what;
    Bytes file;
    size_t events;
  } cases[] = {
      {"one stray byte", Cat({Header(), Track(Cat({good, kEndOfTrack})), {0x00}}), 1},
      {"three stray bytes", Cat({Header(), Track(Cat({good, kEndOfTrack})), {'M', 'T', 'r'}}), 1},
      {"data byte without running status", Cat({Header(), Track(Cat({good, {0x00, 0x3C, 0x40}, good}))}), 1},
      {"undefined status F4", Cat({Header(), Track(Cat({good, {0x00, 0xF4}, good}))}), 1},
      {"delta time of five bytes", Cat({Header(), Track(Cat({good, {0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}}))}), 1},
      {"binary chunk identifier", Cat({Header(), Track(Cat({good, kEndOfTrack})), {0, 1, 2, 3, 0, 0, 0, 0}}), 1},
      {"unknown chunk longer than the file", Cat({Header(), Track(Cat({good, kEndOfTrack})), {'J', 'U', 'N', 'K'}, test::Be32(1000)}), 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(c.file), LoadStatus::StoppedEarly) << c.what;
    EXPECT_EQ(song.sysEx.size(), c.events) << c.what;
  }
}

// SysEx files (as editors and librarians save setups) and RIFF RMID files are
// known by their contents, whatever their names.
TEST_F(Reader, SysExAndRmidFiles) {
  const Bytes smf = Cat({Header(1, 96), Track(Cat({SysExEvent(0, kXgOn), kEndOfTrack}))});
  const auto riff = [](std::initializer_list<Bytes> chunks) {
    Bytes body = {'R', 'M', 'I', 'D'};
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Cat({{'R', 'I', 'F', 'F'}, {uint8_t(body.size()), 0, 0, 0}, body});
  };
  const auto chunk = [](const char* id, const Bytes& data) {
    Bytes c(id, id + 4);
    c.insert(c.end(), {uint8_t(data.size()), 0, 0, 0});
    c.insert(c.end(), data.begin(), data.end());
    if (data.size() % 2) c.push_back(0);  // RIFF chunks are padded to an even length
    return c;
  };
  struct Case {
    const char* what;
    Bytes file;
    FileKind kind;
    std::vector<Bytes> messages;  // after F0, in file order
  } cases[] = {
      {"SysEx file with junk between messages and a message cut at its end",
       Cat({{0xF0}, kXgOn, {'j', 'u', 'n', 'k', 0x90, 0x40}, {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7},
            {0xF0, 0x43, 0x10, 0x4C, 0x06}}),
       FileKind::SysEx, {kXgOn, {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7}, {0x43, 0x10, 0x4C, 0x06}}},
      {"SysEx file with a message a status byte cuts off",
       Cat({{0xF0, 0x43, 0x10, 0x90, 0xF0}, kXgOn}), FileKind::SysEx, {{0x43, 0x10}, kXgOn}},
      {"RMID with an INFO list before and after the data", riff({chunk("LIST", {'I', 'N', 'F', 'O', 'x'}),
                                                                chunk("data", smf), chunk("DISP", {1, 2, 3})}),
       FileKind::Rmid, {kXgOn}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(c.file), LoadStatus::Whole) << c.what;
    EXPECT_EQ(song.source.kind, c.kind) << c.what;
    ASSERT_EQ(song.sysEx.size(), c.messages.size()) << c.what;
    for (size_t i = 0; i < c.messages.size(); ++i) {
      EXPECT_EQ(RawOf(i), c.messages[i]) << c.what << " " << i;
      // A SysEx file's messages are 10 ticks apart, for a conversion.
      if (c.kind == FileKind::SysEx) {
        EXPECT_EQ(song.sysEx.events[i].tick, 10 * i) << c.what;
      }
    }
  }
  // A RIFF file that only looks like one: RMID without a data chunk.
  EXPECT_THROW(Read(riff({chunk("LIST", {'I', 'N', 'F', 'O'})})), IoError);
}

// A file with neither a header nor a track chunk is no MIDI file: an empty
// file, text, a RIFF file that is not RMID (a WAV), a broken header alone.
TEST_F(Reader, FilesWithoutAMidiChunkAreNotStandardMidiFiles) {
  const std::string text = "A text file named song.mid\n";
  const Bytes files[] = {
      {},
      Bytes(text.begin(), text.end()),
      Cat({{'R', 'I', 'F', 'F', 0x24, 0x10, 0, 0, 'W', 'A', 'V', 'E'}, Bytes(64, 0)}),
      Cat({{'M', 'T', 'h', 'd'}, test::Be32(2), {0, 1}}),
  };
  for (const Bytes& file : files) {
    try {
      Read(file, "song.mid");
      ADD_FAILURE() << "read " << file.size() << " bytes";
    } catch (const IoError& e) {
      EXPECT_STREQ(e.what(), "song.mid is not a Standard MIDI File");
    }
  }
}

TEST_F(Reader, RaisesAnErrorNamingTheFileWhenTheFileEndsEarly) {
  const Bytes file = Cat({Header(), Track(Cat({SysExEvent(0, kXgOn), SysExEvent(0, kXgOn), kEndOfTrack}))});
  // Every cut inside the track body (past its length field) is an I/O error;
  // the messages completed before the cut stay counted.
  for (size_t cut = 22 + 1; cut < file.size() - 4; ++cut) {
    Bytes part(file.begin(), file.begin() + long(cut));
    try {
      Read(part, "cut.mid");
      ADD_FAILURE() << "no error at cut " << cut;
    } catch (const IoError& e) {
      EXPECT_NE(std::string(e.what()).find("cut.mid"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("end of file"), std::string::npos);
    }
    EXPECT_EQ(song.sysEx.size(), cut >= 22 + 11 ? 1u : 0u) << cut;
  }
}

TEST_F(Reader, RescalesOtherDivisionsTo480) {
  const Bytes body = Cat({SysExEvent(96, kXgOn), SysExEvent(1, kXgOn), {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08},
                          kEndOfTrack});
  ASSERT_EQ(Read(Cat({Header(1, 96), Track(body)})), LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 2u);
  EXPECT_EQ(song.sysEx.events[0].tick, 480u);
  EXPECT_EQ(song.sysEx.events[1].tick, 485u);  // tick 97 of 96: rounded on the absolute tick
  EXPECT_EQ(song.timeSignatures[0].tick, 485u);
  // SMPTE divisions (25 frames, 40 ticks) keep their ticks.
  ASSERT_EQ(Read(Cat({Header(1, 0xE728), Track(body)})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.events[0].tick, 96u);
}

TEST_F(Reader, TicksNearTheTopOfTheRangeSaturate) {
  const Bytes body = Cat({SysExEvent(0x0FFFFFFF, kXgOn), SysExEvent(0x0FFFFFFF, kXgOn), kEndOfTrack});
  ASSERT_EQ(Read(Cat({Header(1, 1), Track(body)})), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.events[0].tick, 0xFFFFFFFFu);
  EXPECT_EQ(song.sysEx.events[1].tick, 0xFFFFFFFFu);
}

class ReadSmfFiles : public ::testing::Test {
 protected:
  test::ScratchDir scratch_;
  const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(ReadSmfFiles, ReadsAFileAndRefusesWhatIsNoFile) {
  const auto path = (dir_ / "a.mid").string();
  const Bytes file = Cat({Header(), Track(Cat({SysExEvent(0, kXgOn), kEndOfTrack}))});
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
  Song song;
  EXPECT_EQ(ReadSmf(ReadSmfFileImage(path), path, song), LoadStatus::Whole);
  EXPECT_EQ(song.sysEx.size(), 1u);

  EXPECT_THROW(ReadSmfFileImage((dir_ / "missing.mid").string()), IoError);
  EXPECT_THROW(ReadSmfFileImage(dir_.string()), IoError);
  // A file over 64 MiB is refused before anything is read into memory.
  const auto big = (dir_ / "big.mid").string();
  std::ofstream(big, std::ios::binary).close();
  std::filesystem::resize_file(big, kMaxSmfSize + 1);
  try {
    ReadSmfFileImage(big);
    ADD_FAILURE() << "a file over the size limit was read";
  } catch (const IoError& e) {
    EXPECT_NE(std::string(e.what()).find("64 MiB"), std::string::npos);
  }
}

}  // namespace
}  // namespace mertovan
