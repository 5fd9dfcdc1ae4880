// Hostile input: cut, damaged, huge and foreign files, and targets that must
// not be written. Each case ends in a clear message or the result the program
// defines for it, and leaves every file but the intended target as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analyse.h"
#include "analysis/listing.h"
#include "model/song.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/folder_snapshot.h"
#include "support/pipeline_check.h"
#include "support/recording_messages.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "model/smf_reader.h"
#include "analysis/load.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

namespace fs = std::filesystem;
using test::Be32;
using test::Bytes;
using test::Cat;
using test::CliRun;
using test::Differences;
using test::Header;
using test::kEndOfTrack;
using test::Meta;
using test::ReadAll;
using test::Smf;
using test::SysExEvent;
using test::TakeSnapshot;
using test::Track;
using test::VarLen;
using test::WriteAll;
using test::Xg;
using Messages = test::RecordingMessages;
using Scratch = test::ScratchDir;

enum class Kind { Whole, Partial, Error };
const char* Name(Kind k) { return k == Kind::Whole ? "whole" : k == Kind::Partial ? "partial (-1)" : "I/O error"; }

struct Outcome {
  Kind kind = Kind::Whole;
  std::string message;
  Song song;  // what the reader stored, also before an error
};

Outcome Load(const Bytes& file, const std::string& name = "hostile.mid") {
  Outcome o;
  try {
    o.kind = ReadSmf(std::make_shared<const Bytes>(file), name, o.song) == LoadStatus::Whole ? Kind::Whole : Kind::Partial;
  } catch (const IoError& e) {
    o.kind = Kind::Error;
    o.message = e.what();
  }
  return o;
}

// The song of `file` read whole and analysed, in a session of its own.
Song Analysed(const Bytes& file) {
  Outcome o = Load(file);
  EXPECT_EQ(o.kind, Kind::Whole);
  Session session;
  AnalyseEvents(o.song, session);
  return std::move(o.song);
}

// mertovan-cli as a whole process, in `dir`.
CliRun Cli(const Scratch& dir, const std::string& args) { return test::RunCli(dir.path(), args); }
CliRun Cli(const Scratch& dir, const std::vector<std::string>& args) { return test::RunCli(dir.path(), args); }

const char kTsvHeader[] = "Bar\tMeter\tTick\tCh\tEvent\tValue\tSystemExclusiveMessage\n";

// Lists `name` and tries to convert it, which must fail with `convertError`;
// neither may change the folder. Returns the listing's run.
CliRun ListButCannotConvert(const Scratch& dir, const std::string& name, const std::string& convertError) {
  const auto before = TakeSnapshot(dir.path());
  const CliRun list = Cli(dir, "list --format tsv " + name);
  const CliRun convert = Cli(dir, "convert " + name);
  EXPECT_EQ(convert.status, 1);
  EXPECT_NE(convert.err.find(convertError), std::string::npos) << convert.err;
  EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
  return list;
}

// A valid file that uses every kind of event the reader knows: meta events,
// a SysEx whose length needs two bytes, running status, an F7 escape,
// deltas of one to three bytes, an unknown chunk and two tracks.
Bytes RichFile() {
  Bytes longMsg = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x00};
  for (int i = 0; i < 150; ++i) longMsg.push_back(uint8_t(i & 0x7F));
  longMsg.push_back(0xF7);
  const Bytes conductor = Cat({Meta(0, 0x03, {'S', 'o', 'n', 'g'}), Meta(0, 0x51, {0x07, 0xA1, 0x20}),
                               Meta(0, 0x58, {3, 2, 24, 8}), Meta(1920, 0x58, {6, 3, 24, 8})});
  const Bytes setup = Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
                           Xg(200, 0x08, 0x00, 0x0B, 0x64), Xg(20000, 0x08, 0x09, 0x07, 0x02),
                           Xg(5, 0x30, 0x24, 0x00, 0x3E), SysExEvent(0, longMsg), {0x00, 0xF7, 0x02, 0xF8, 0xFA},
                           {0x00, 0x90, 60, 100}, {0x10, 62, 100}, {0x10, 60, 0}, Xg(1, 0x08, 0x01, 0x23, 0x4C)});
  Bytes file = Smf({conductor, setup});
  // An unknown chunk between the tracks' neighbours is skipped by its length.
  const Bytes unknown = Cat({{'X', 'F', 'I', 'H'}, Be32(4), {1, 2, 3, 4}});
  file.insert(file.begin() + 14, unknown.begin(), unknown.end());
  return file;
}

struct Chunk {
  size_t start, end;
  bool known;
};
std::vector<Chunk> Chunks(const Bytes& file) {
  std::vector<Chunk> out;
  for (size_t at = 0; at + 8 <= file.size();) {
    const size_t len = size_t(file[at + 4]) << 24 | size_t(file[at + 5]) << 16 | size_t(file[at + 6]) << 8 |
                       file[at + 7];
    const bool known = std::equal(file.begin() + long(at), file.begin() + long(at) + 4, "MThd") ||
                       std::equal(file.begin() + long(at), file.begin() + long(at) + 4, "MTrk");
    out.push_back({at, at + 8 + len, known});
    at += 8 + len;
  }
  return out;
}

// What reading a file cut after `n` bytes gives: at a chunk boundary the
// whole file read so far; one to three bytes of a chunk are stray bytes
// (-1); an unknown chunk that does not fit is not a chunk (-1); a known chunk
// cut short is reading past the end of the file.
Kind ExpectedForPrefix(const std::vector<Chunk>& chunks, size_t n) {
  // Before the header's identifier is whole, nothing says the file is MIDI.
  if (n < 4) return Kind::Error;
  for (const Chunk& c : chunks) {
    if (n == c.start || n >= c.end) continue;
    if (n < c.start) break;
    if (n < c.start + 4) return Kind::Partial;
    return c.known ? Kind::Error : Kind::Partial;
  }
  for (const Chunk& c : chunks) {
    if (n == c.start) return Kind::Whole;
  }
  return Kind::Whole;  // n is the end of the file
}

// ------------------------------------------------------- truncated files

TEST(HostileInput, EveryPrefixOfAValidFileReadsAsFarAsItGoes) {
  const Bytes full = RichFile();
  const std::vector<Chunk> chunks = Chunks(full);
  const Outcome read = Load(full);
  ASSERT_EQ(read.kind, Kind::Whole);
  const SysExList& whole = read.song.sysEx;
  ASSERT_EQ(whole.size(), 6u);

  size_t previous = 0;
  for (size_t n = 0; n <= full.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
    const Bytes prefix(full.begin(), full.begin() + long(n));
    const Outcome got = Load(prefix, "cut.mid");
    EXPECT_STREQ(Name(got.kind), Name(ExpectedForPrefix(chunks, n)));
    if (got.kind == Kind::Error) {
      EXPECT_NE(got.message.find(n < 4 ? "is not a Standard MIDI File" : "end of file"), std::string::npos)
          << got.message;
      EXPECT_NE(got.message.find("cut.mid"), std::string::npos) << got.message;
    }
    // What was read is the beginning of the whole file's list, unchanged.
    const SysExList& list = got.song.sysEx;
    ASSERT_LE(list.size(), whole.size());
    EXPECT_GE(list.size(), previous);
    previous = list.size();
    for (size_t i = 0; i < list.size(); ++i) {
      const auto a = list.Raw(list.events[i]), b = whole.Raw(whole.events[i]);
      EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "event " << i;
      EXPECT_EQ(list.events[i].tick, whole.events[i].tick) << "event " << i;
    }
    EXPECT_EQ(fuzz::RunPipeline(prefix), "");
  }
}

TEST(HostileInput, EveryPrefixOfTheExampleIsSafe) {
  const Bytes full = ReadAll(std::string(MERTOVAN_SOURCE_DIR) + "/examples/xg_song_setup.mid");
  ASSERT_FALSE(full.empty());
  const std::vector<Chunk> chunks = Chunks(full);
  for (size_t n = 0; n <= full.size(); ++n) {
    const Bytes prefix(full.begin(), full.begin() + long(n));
    EXPECT_STREQ(Name(Load(prefix).kind), Name(ExpectedForPrefix(chunks, n))) << n;
    EXPECT_EQ(fuzz::RunPipeline(prefix), "") << n;
  }
}

TEST(HostileInput, CutFileIsReportedByTheCliAndNotListed) {
  Scratch dir;
  const Bytes full = RichFile();
  WriteAll(dir.File("cut.mid"), Bytes(full.begin(), full.end() - 30));
  const CliRun r = ListButCannotConvert(dir, "cut.mid", "Read beyond end of file");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Read beyond end of file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("cut.mid"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

// ------------------------------------------ lengths beyond the file, VLQs

struct ReadCase {
  const char* name;
  Bytes file;
  Kind kind;
  const char* message;  // part of the error text, for Kind::Error
  size_t events;        // messages kept
};

void ExpectOutcome(const ReadCase& c) {
  SCOPED_TRACE(c.name);
  const Outcome got = Load(c.file);
  EXPECT_STREQ(Name(got.kind), Name(c.kind));
  if (c.kind == Kind::Error) {
    EXPECT_NE(got.message.find(c.message), std::string::npos) << got.message;
  }
  EXPECT_EQ(got.song.sysEx.size(), c.events);
  EXPECT_EQ(fuzz::RunPipeline(c.file), "");
}

TEST(HostileInput, LengthsFarBeyondTheFile) {
  const Bytes xg = Xg(0, 0x08, 0x00, 0x0B, 0x40);
  const ReadCase cases[] = {
      {"header length 4 GiB", Cat({{'M', 'T', 'h', 'd'}, Be32(0xFFFFFFFF), {0, 1, 0, 1, 1, 0xE0}}), Kind::Error,
       "end of file", 0},
      {"header length below 6", Cat({{'M', 'T', 'h', 'd'}, Be32(5), {0, 1, 0, 1, 1}}), Kind::Error,
       "is not a Standard MIDI File", 0},
      {"track length 4 GiB", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(0xFFFFFFFF), xg, kEndOfTrack}), Kind::Error,
       "end of file", 1},
      {"track length 2 GiB, empty track", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(0x7FFFFFFF)}), Kind::Error,
       "end of file", 0},
      {"SysEx length 2^28-1", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(20), xg, {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 1}}),
       Kind::Error, "end of file", 1},
      {"meta length 2^28-1", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(20), {0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}}),
       Kind::Error, "end of file", 0},
      {"F7 length 2^28-1", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(20), {0x00, 0xF7, 0xFF, 0xFF, 0xFF, 0x7F}}),
       Kind::Error, "end of file", 0},
      {"time signature without its bytes", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(8), {0x00, 0xFF, 0x58, 0x04, 4}}),
       Kind::Error, "end of file", 0},
      {"unknown chunk length 4 GiB", Cat({Smf({xg}), {'J', 'U', 'N', 'K'}, Be32(0xFFFFFFFF), {1, 2}}), Kind::Partial,
       "", 1},
      {"header promising 65535 tracks", Cat({Header(65535), Track(Cat({xg, kEndOfTrack}))}), Kind::Whole, "", 1},
      // The event that crosses the chunk's end is read whole; what follows
      // it is no chunk.
      {"track length shorter than its events", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(3), xg, kEndOfTrack}),
       Kind::Partial, "", 1},
  };
  for (const ReadCase& c : cases) ExpectOutcome(c);
}

TEST(HostileInput, VariableLengthQuantitiesOfFiveBytesAndMoreStopTheReading) {
  const Bytes xg = Xg(0, 0x08, 0x00, 0x0B, 0x40);
  const ReadCase cases[] = {
      {"5-byte delta", Smf({Cat({xg, {0x81, 0x80, 0x80, 0x80, 0x00}, xg})}), Kind::Partial, "", 1},
      {"8-byte delta", Smf({Cat({xg, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, xg})}), Kind::Partial, "", 1},
      {"5-byte delta of zero value", Smf({Cat({xg, {0x80, 0x80, 0x80, 0x80, 0x00}, xg})}), Kind::Partial, "", 1},
      {"5-byte SysEx length", Smf({Cat({xg, {0x00, 0xF0, 0x80, 0x80, 0x80, 0x80, 0x01, 0xF7}})}), Kind::Partial, "", 1},
      {"5-byte meta length", Smf({Cat({xg, {0x00, 0xFF, 0x01, 0x80, 0x80, 0x80, 0x80, 0x00}})}), Kind::Partial, "", 1},
      {"5-byte F7 length", Smf({Cat({xg, {0x00, 0xF7, 0x80, 0x80, 0x80, 0x80, 0x00}})}), Kind::Partial, "", 1},
      {"largest 4-byte delta", Smf({Cat({xg, Xg(0x0FFFFFFF, 0x08, 0x00, 0x0B, 0x41)})}), Kind::Whole, "", 2},
      {"file ends inside a delta", Cat({Header(), {'M', 'T', 'r', 'k'}, Be32(40), xg, {0x81, 0x80}}), Kind::Error,
       "end of file", 1},
  };
  for (const ReadCase& c : cases) ExpectOutcome(c);
  const Outcome largest = Load(cases[6].file);
  ASSERT_EQ(largest.kind, Kind::Whole);
  EXPECT_EQ(largest.song.sysEx.events[1].tick, 0x0FFFFFFFu);
}

// ------------------------------------------------------ ticks near 2^32

// 16 deltas of 2^28 - 1 reach 2^32 - 16; the track goes on past 2^32.
Bytes FarTickTrack() {
  Bytes body = SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7});
  for (int i = 0; i < 15; ++i) body = Cat({body, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00}});  // text events
  body = Cat({body, SysExEvent(0x0FFFFFFF, {0x43, 0x10, 0x4C, 0x08, 0x01, 0x0B, 0x41, 0xF7}),
              SysExEvent(15, {0x43, 0x10, 0x4C, 0x08, 0x02, 0x0B, 0x42, 0xF7}),
              SysExEvent(1, {0x43, 0x10, 0x4C, 0x08, 0x03, 0x0B, 0x43, 0xF7}),
              SysExEvent(0x0FFFFFFF, {0x44, 0x00, 0x01, 0xF7})});
  return body;
}

TEST(HostileInput, TicksNearTwoToTheThirtySecondAreKeptAndListed) {
  const Bytes file = Smf({FarTickTrack()});
  const Song song = Analysed(file);
  const SysExList& list = song.sysEx;
  ASSERT_EQ(list.size(), 5u);
  // Beyond 2^32 - 1 a tick cannot be held: it stays at the last one.
  const uint32_t expected[] = {0, 0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(list.events[i].tick, expected[i]) << i;
  // No time signature: one-beat bars of 1920 ticks, bar kept modulo 4096.
  const Tsys& last = list.events[4];
  EXPECT_EQ(last.beatTick, 0xFFFFFFFFu % 1920);
  EXPECT_EQ(CellText(list, last, 1, ViewMode::SysEx), std::to_string((0xFFFFFFFFull / 1920 + 1) % 4096));
  EXPECT_EQ(fuzz::RunPipeline(file), "");

  // A division of 1 multiplies every tick by 480, in 64 bits.
  const Outcome division1 = Load(Smf({Cat({Xg(0x0FFFFFFF, 0x08, 0x00, 0x0B, 0x40)})}, 1));
  ASSERT_EQ(division1.kind, Kind::Whole);
  EXPECT_EQ(division1.song.sysEx.events[0].tick, 0xFFFFFFFFu);
}

struct GapCase {
  const char* name;
  Bytes file;
  bool plainRefused;
};

TEST(HostileInput, TimeGapsTheFormatCannotHoldRefuseThePlainConversion) {
  const Bytes unconverted = {0x44, 0x00, 0x01, 0xF7};
  const Bytes volume = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x40, 0xF7};
  auto at = [](uint64_t tick, const Bytes& msg) {
    // Two deltas reach ticks above 2^28 - 1; a text event carries the first.
    Bytes body;
    const uint32_t first = uint32_t(std::min<uint64_t>(tick, 0x0FFFFFFF));
    if (tick > first) body = Cat({VarLen(first), {0xFF, 0x01, 0x00}});
    return Smf({Cat({body, SysExEvent(uint32_t(tick - first), msg)})});
  };
  const GapCase cases[] = {
      {"pass-through message at 2^28 - 1", at(0x0FFFFFFF, unconverted), false},
      {"pass-through message at 2^28", at(0x10000000, unconverted), true},
      {"converted message at 2^28 - 1", at(0x0FFFFFFF, volume), false},
      {"converted message at 2^28", at(0x10000000, volume), true},
      {"converted message near 2^32", Smf({FarTickTrack()}), true},
  };
  for (const GapCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch dir;
    WriteAll(dir.File("far.mid"), c.file);
    Session session;
    const Song song = LoadSmfFile(dir.File("far.mid"), session);
    ASSERT_EQ(song.status, LoadStatus::Whole);
    for (const Layout layout : {Layout::Plain, Layout::Formal}) {
      const auto before = TakeSnapshot(dir.path());
      Messages shown;
      const ConvertOptions options{.layout = layout};
      const bool refused = layout == Layout::Plain && c.plainRefused;
      if (refused) {
        try {
          WriteConvertedFile(song, dir.File("far_cc.mid"), options, shown, 0, 0);
          ADD_FAILURE() << "plain conversion was not refused";
        } catch (const ConvertError& e) {
          EXPECT_NE(std::string(e.what()).find("268435455"), std::string::npos) << e.what();
          EXPECT_NE(std::string(e.what()).find("nothing was written"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(shown.shown.empty());
        EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
      } else {
        WriteConvertedFile(song, dir.File("far_cc.mid"), options, shown, 0, 0);
        EXPECT_EQ(shown.Texts(), std::vector<std::string>{kConvertSuccessfulText});
        EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{"added far_cc.mid"});
        fs::remove(dir.File("far_cc.mid"));
      }
    }
    // The command line says so and leaves no file behind.
    const auto before = TakeSnapshot(dir.path());
    const CliRun r = Cli(dir, "convert --plain far.mid");
    if (c.plainRefused) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("268435455"), std::string::npos) << r.err;
      EXPECT_EQ(r.out.find(kConvertSuccessfulText), std::string::npos) << r.out;
      EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
    }
  }
}

// --------------------------------------------------- unusual SysEx sizes

TEST(HostileInput, SysExOfLengthZeroIsListedAndPassesThrough) {
  const Bytes file = Smf({Cat({SysExEvent(0, {}), SysExEvent(10, {0xF7}), Xg(10, 0x08, 0x00, 0x0B, 0x40)})});
  const Song song = Analysed(file);
  const SysExList& list = song.sysEx;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.events[0].length, 0u);
  EXPECT_EQ(CellText(list, list.events[0], 7, ViewMode::SysEx), "F0 ");
  EXPECT_EQ(CellText(list, list.events[0], 5, ViewMode::SysEx), " -");
  EXPECT_EQ(CellText(list, list.events[0], 7, ViewMode::Cc), " -");
  EXPECT_EQ(CellText(list, list.events[1], 7, ViewMode::SysEx), "F0 F7 ");
  const Bytes image = BuildFileImage(song, {.layout = Layout::Plain});
  const Bytes emptyMessage = {0x00, 0xF0, 0x00, 0x0A, 0xF0, 0x01, 0xF7};  // delta, F0, length 0; then F0 F7
  EXPECT_NE(std::search(image.begin(), image.end(), emptyMessage.begin(), emptyMessage.end()), image.end());
  EXPECT_EQ(fuzz::RunPipeline(file), "");
}

TEST(HostileInput, SysExOfHundredThousandBytesPassesThroughByteExact) {
  Bytes big = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x00};
  std::mt19937 rng(7);
  while (big.size() < 99999) big.push_back(uint8_t(rng() % 0x80));
  big.push_back(0xF7);
  ASSERT_EQ(big.size(), 100000u);
  Scratch dir;
  WriteAll(dir.File("big.mid"), Smf({Cat({Xg(0, 0x08, 0x00, 0x0B, 0x40), SysExEvent(5, big)})}));
  Session session;
  const Song song = LoadSmfFile(dir.File("big.mid"), session);
  ASSERT_EQ(song.status, LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 2u);
  EXPECT_EQ(song.sysEx.events[1].length, 100000u);
  EXPECT_EQ(CellText(song.sysEx, song.sysEx.events[1], 7, ViewMode::SysEx).size(), 3u + 3u * 100000u);
  for (const Layout layout : {Layout::Plain, Layout::Formal}) {
    Messages shown;
    WriteConvertedFile(song, dir.File("big_cc.mid"), {.layout = layout}, shown, 0, 0);
    const Song back = LoadSmfFile(dir.File("big_cc.mid"), session);
    ASSERT_EQ(back.status, LoadStatus::Whole);
    ASSERT_EQ(back.sysEx.size(), 1u);
    const auto raw = back.sysEx.Raw(back.sysEx.events[0]);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), big.begin(), big.end()));
  }
}

TEST(HostileInput, ThreeHundredThousandSysExMessages) {
  // Parts 0 to 39 (those from 32 on stay SysEx), converted and unconverted
  // parameters, drum setup messages in a second track.
  Bytes a, b;
  for (int i = 0; i < 150000; ++i) {
    const Bytes e = Xg(1, 0x08, uint8_t(i % 40), i % 3 ? 0x0B : 0x30, uint8_t(i % 128));
    a.insert(a.end(), e.begin(), e.end());
    const Bytes d = SysExEvent(2, {0x43, 0x10, 0x4C, 0x30, uint8_t(36 + i % 40), 0x0B, 0x40, 0xF7});
    b.insert(b.end(), d.begin(), d.end());
  }
  const Bytes file = Smf({a, b});
  const Outcome got = Load(file);
  ASSERT_EQ(got.kind, Kind::Whole);
  EXPECT_EQ(got.song.sysEx.size(), 300000u);
  EXPECT_EQ(fuzz::RunPipeline(file), "");
}

// ---------------------------------------------------------- not MIDI

TEST(HostileInput, FilesThatAreNotMidiEndTheReadingWithNothingListed) {
  std::mt19937 rng(3);
  Bytes noise(4000);
  for (auto& x : noise) x = uint8_t(rng());
  const std::string text = "This is a plain text file.\nIt has two lines.\n";
  Bytes riff = Cat({{'R', 'I', 'F', 'F'}, {0x40, 0, 0, 0}, {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'}, {0x30, 0, 0, 0},
                    Smf({Xg(0, 0x08, 0x00, 0x0B, 0x40)})});
  constexpr const char* kNotMidi = "is not a Standard MIDI File";
  const ReadCase cases[] = {
      {"text", Bytes(text.begin(), text.end()), Kind::Error, kNotMidi, 0},
      {"PNG image", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'}, Kind::Error, kNotMidi, 0},
      {"ELF program", {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Kind::Error, kNotMidi, 0},
      {"ZIP archive", {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0}, Kind::Error, kNotMidi, 0},
      // A RIFF RMID file is read as the Standard MIDI File in its data chunk.
      {"MIDI file inside a RIFF wrapper", riff, Kind::Whole, "", 1},
      {"random bytes", noise, Kind::Error, kNotMidi, 0},
      {"a lone MThd", {'M', 'T', 'h', 'd'}, Kind::Error, "end of file", 0},
      {"three bytes", {'M', 'T', 'h'}, Kind::Error, kNotMidi, 0},
  };
  for (const ReadCase& c : cases) ExpectOutcome(c);
  // The command line says so, with status 1, and lists and converts nothing.
  Scratch dir;
  WriteAll(dir.File("notes.txt"), cases[0].file);
  const CliRun list = ListButCannotConvert(dir, "notes.txt", "notes.txt is not a Standard MIDI File");
  EXPECT_EQ(list.status, 1);
  EXPECT_EQ(list.err, "notes.txt is not a Standard MIDI File\n");
  EXPECT_EQ(list.out, "");
}

TEST(HostileInput, EmptyFileIsNoMidiFile) {
  Scratch dir;
  WriteAll(dir.File("empty.mid"), {});
  Session session;
  const Song song = LoadSmfFile(dir.File("empty.mid"), session);
  EXPECT_EQ(song.status, LoadStatus::Failed);
  EXPECT_EQ(song.error, dir.File("empty.mid") + " is not a Standard MIDI File");
  const CliRun list = ListButCannotConvert(dir, "empty.mid", "empty.mid is not a Standard MIDI File");
  EXPECT_EQ(list.status, 1) << list.err;
  EXPECT_EQ(list.out, "");
}

// ------------------------------------------------ inputs that are no file

struct InputCase {
  const char* name;
  std::string path;        // in the scratch folder
  const char* readError;   // part of the load's error text
  const char* cliError;    // part of the command line's message
};

TEST(HostileInput, FoldersAndUnreadablePathsAsInput) {
  Scratch dir;
  fs::create_directory(dir.path() / "folder.mid");
  WriteAll(dir.File("file.txt"), {'h', 'i'});
  fs::create_symlink(dir.path() / "gone.mid", dir.path() / "dangling.mid");
  ASSERT_EQ(::mkfifo(dir.File("pipe.mid").c_str(), 0644), 0);
  const InputCase cases[] = {
      {"a folder", "folder.mid", "folder", "folder"},
      {"a path through a regular file", "file.txt/x.mid", "Not a directory", "File not Found"},
      {"a dangling symbolic link", "dangling.mid", "No such file", "File not Found"},
      {"a missing file", "missing.mid", "No such file", "File not Found"},
      // Opening a pipe would wait for a writer that never comes.
      {"a named pipe", "pipe.mid", "not a regular file", "not a regular file"},
  };
  const auto before = TakeSnapshot(dir.path());
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    Session session;
    const Song song = LoadSmfFile(dir.File(c.path), session);
    EXPECT_EQ(song.status, LoadStatus::Failed);
    EXPECT_NE(song.error.find(c.readError), std::string::npos) << song.error;
    EXPECT_NE(song.error.find(c.path), std::string::npos) << song.error;
    EXPECT_EQ(song.sysEx.size(), 0u);
    for (const char* command : {"list --format tsv ", "convert "}) {
      const CliRun r = Cli(dir, command + c.path);
      EXPECT_EQ(r.status, 1) << command;
      EXPECT_NE(r.err.find(c.cliError), std::string::npos) << command << r.err;
      EXPECT_EQ(r.out, "") << command;
    }
  }
  EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
}

// ------------------------------------------------------------- targets

const Bytes& SmallSong() {
  static const Bytes song = Smf({Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
                                      Xg(480, 0x08, 0x01, 0x0B, 0x64), Xg(10, 0x08, 0x01, 0x03, 0x05),
                                      SysExEvent(10, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0xF7})})});
  return song;
}

struct TargetCase {
  const char* name;
  std::string target;  // relative to the scratch folder, or absolute
  const char* error;   // part of the IoError text; nullptr: refused by message
};

TEST(HostileInput, TargetsThatCannotOrMustNotBeWritten) {
  Scratch dir;
  WriteAll(dir.File("song.mid"), SmallSong());
  WriteAll(dir.File("file.txt"), {'h', 'i'});
  fs::create_directory(dir.path() / "folder_cc.mid");
  ASSERT_EQ(::mkfifo(dir.File("pipe_cc.mid").c_str(), 0644), 0);
  // Foreign files: the marker text is what makes a file replaceable.
  Bytes markerTooLate = SmallSong();
  markerTooLate.resize(60, 0);
  markerTooLate.insert(markerTooLate.end(), kMarkerText, kMarkerText + 16);
  markerTooLate.push_back(0);
  Bytes markerUnended = Cat({Header(), {'M', 'T', 'r', 'k', 0, 0, 0, 40, 0, 0xFF, 0x03, 0x10}});
  markerUnended.insert(markerUnended.end(), kMarkerText, kMarkerText + 16);  // cut before its 00
  WriteAll(dir.File("notes.txt"), {'n', 'o', 't', 'e', 's', '\n'});
  WriteAll(dir.File("empty.mid"), {});
  WriteAll(dir.File("short.mid"), {'M', 'T'});
  WriteAll(dir.File("late.mid"), markerTooLate);
  WriteAll(dir.File("unended.mid"), markerUnended);
  fs::create_symlink("notes.txt", dir.path() / "link_to_notes.mid");

  const TargetCase cases[] = {
      {"a folder that does not exist", "missing/song_cc.mid", "No such file"},
      {"a folder that is a regular file", "file.txt/song_cc.mid", "Not a directory"},
      {"a folder nobody can create files in", "/proc/mertovan_song_cc.mid", "Cannot create"},
      {"the input file itself", "song.mid", nullptr},
      {"a text file", "notes.txt", nullptr},
      {"an empty file", "empty.mid", nullptr},
      {"a file shorter than the marker", "short.mid", nullptr},
      {"a file with the marker beyond the first 50 bytes", "late.mid", nullptr},
      {"a file cut inside its marker", "unended.mid", nullptr},
      {"a link to a foreign file", "link_to_notes.mid", nullptr},
      {"a folder", "folder_cc.mid", "folder"},
      {"a named pipe", "pipe_cc.mid", "not a regular file"},
  };
  const Song song = Analysed(SmallSong());
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = c.target[0] == '/' ? c.target : dir.File(c.target);
    const auto before = TakeSnapshot(dir.path());
    for (const Layout layout : {Layout::Plain, Layout::Formal}) {
      Messages shown;
      if (c.error) {
        try {
          WriteConvertedFile(song, target, {.layout = layout}, shown, 0, 0);
          ADD_FAILURE() << "written";
        } catch (const IoError& e) {
          EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
          EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
        }
        EXPECT_TRUE(shown.shown.empty());
      } else {
        WriteConvertedFile(song, target, {.layout = layout}, shown, 0, 0);
        EXPECT_EQ(shown.Texts(), std::vector<std::string>{kCannotRewriteText});
      }
      EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists("/proc/mertovan_song_cc.mid"));
    const CliRun r = Cli(dir, {"convert", "-o", c.target, "song.mid"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.error ? c.error : kCannotRewriteText), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find(kConvertSuccessfulText), std::string::npos) << r.out;
    EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
  }
}

TEST(HostileInput, ConvertedFileReplacedByItsOwnConversionAndNothingElseChanges) {
  Scratch dir;
  WriteAll(dir.File("song.mid"), SmallSong());
  ASSERT_EQ(Cli(dir, "convert song.mid").status, 0);
  ASSERT_TRUE(fs::exists(dir.File("song_cc.mid")));
  // The converted file carries the marker: it may be the target of its own
  // conversion, which reads it whole before writing.
  const Bytes first = ReadAll(dir.File("song_cc.mid"));
  Session session;
  const Song song = LoadSmfFile(dir.File("song_cc.mid"), session);
  ASSERT_EQ(song.status, LoadStatus::Whole);
  const Bytes expected = BuildFileImage(song, {.layout = Layout::Plain});
  const auto before = TakeSnapshot(dir.path());
  const CliRun r = Cli(dir, "convert --plain -o song_cc.mid song_cc.mid");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(kConvertSuccessfulText), std::string::npos);
  EXPECT_EQ(ReadAll(dir.File("song_cc.mid")), expected);
  EXPECT_NE(first, expected);
  EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{"changed song_cc.mid"});
}

// ------------------------------------------------ kept fuzzing results

// Found by fuzzing: a drum setup message converted for part 10, whose kit a
// later part mode message gives to part 41. The listing shows part 41, which
// has no channel track; the message must pass through as SysEx rather than
// vanish from the converted file.
// The kit of drum setup 1 moves to part 41 (on the third port): the message
// converts for the song layout, and the setup layers pass it through.
TEST(HostileInput, DrumSetupWhoseKitMovesBeyondPart32PassesThroughTheSetupLayers) {
  const Bytes drum = {0x43, 0x10, 0x4C, 0x30, 0x24, 0x00, 0x3E, 0xF7};
  const Bytes file = Smf({Cat({SysExEvent(0, drum), Xg(10, 0x08, 0x28, 0x07, 0x02)})});
  const Song song = Analysed(file);
  const Tsys& e = song.sysEx.events[0];
  EXPECT_EQ(CellText(song.sysEx, e, 4, ViewMode::Cc), "41");
  EXPECT_EQ(CellText(song.sysEx, e, 7, ViewMode::Cc), "cc99 ,24   : cc98 ,36   : cc6  ,62 ");
  EXPECT_TRUE(e.songOnly);
  for (const Layout layout : {Layout::Plain, Layout::Formal}) {
    const Outcome back = Load(BuildFileImage(song, {.layout = layout}));
    ASSERT_EQ(back.kind, Kind::Whole);
    ASSERT_EQ(back.song.sysEx.size(), 2u);
    const auto raw = back.song.sysEx.Raw(back.song.sysEx.events[0]);
    EXPECT_EQ(Bytes(raw.begin(), raw.end()), drum);
  }
  EXPECT_EQ(fuzz::RunPipeline(file), "");
}

// Inputs a fuzz run once crashed or failed on, the committed seed corpus and
// the example: all must pass the pipeline's properties.
TEST(HostileInput, FuzzRegressionsAndSeedsPassThePipeline) {
  const fs::path root = MERTOVAN_SOURCE_DIR;
  size_t count = 0;
  for (const fs::path& folder : {root / "tests/fuzz_regressions/pipeline", root / "fuzz/corpus/pipeline", root / "examples"}) {
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      EXPECT_EQ(fuzz::RunPipeline(ReadAll(entry.path())), "") << entry.path();
      ++count;
    }
  }
  EXPECT_GE(count, 10u);
}

}  // namespace
}  // namespace mertovan
