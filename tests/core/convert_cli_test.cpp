// mertovan-cli convert, run as a program on scratch files.
#include <gtest/gtest.h>

#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "model/song.h"
#include "support/cli_runner.h"
#include "support/files.h"
#include "support/hex.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "analysis/load.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

using test::ByteVec;
using test::ReadAll;
using test::ScratchDir;
using test::WriteAll;
using test::CliRun;

class ConvertCli : public ::testing::Test {
 protected:
  CliRun Run(const std::string& args) { return test::RunCli(dir.path(), "convert " + args); }
  // What the conversion of `file` gives in this process, in a fresh session.
  static ByteVec Expected(const std::string& file, Layout layout, bool include) {
    Session session;
    const Song song = LoadSmfFile(file, session, Analysis::ForConverting);
    EXPECT_EQ(song.status, LoadStatus::Whole);
    return BuildFileImage(song, {.layout = layout, .includeUnconvertible = include});
  }
  std::string Example() {
    const std::string example = std::string(MERTOVAN_SOURCE_DIR) + "/examples/xg_song_setup.mid";
    if (!std::filesystem::exists(example)) return {};
    std::filesystem::copy_file(example, dir.File("song.mid"));
    return dir.File("song.mid");
  }
  ScratchDir dir;
};

// A small song: XG System On, volume and program of part 2.
ByteVec SmallSong() {
  using namespace test;
  return Cat({Header(1), Track(Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
                                    SysExEvent(480, {0x43, 0x10, 0x4C, 0x08, 0x02, 0x0B, 0x50, 0xF7}),
                                    SysExEvent(10, {0x43, 0x10, 0x4C, 0x08, 0x02, 0x03, 0x05, 0xF7}),
                                    kEndOfTrack}))});
}

TEST_F(ConvertCli, DefaultNameDefaultOptionsAndTheFlags) {
  WriteAll(dir.File("a.mid"), SmallSong());
  WriteAll(dir.File("B.MID"), SmallSong());
  WriteAll(dir.File("c.smf"), SmallSong());
  CliRun r = Run("a.mid B.MID c.smf");
  EXPECT_EQ(r.status, 0) << r.err;
  // Each success line says how much of the file was converted.
  EXPECT_EQ(r.out,
            "Convert Successful: a_cc.mid (2 of 3 SysEx messages converted)\n"
            "Convert Successful: B_cc.mid (2 of 3 SysEx messages converted)\n"
            "Convert Successful: c.smf_cc.mid (2 of 3 SysEx messages converted)\n");
  EXPECT_EQ(r.err, "");
  const ByteVec formal = Expected(dir.File("a.mid"), Layout::Formal, true);
  EXPECT_EQ(ReadAll(dir.File("a_cc.mid")), formal);
  EXPECT_EQ(ReadAll(dir.File("B_cc.mid")), formal);
  EXPECT_EQ(ReadAll(dir.File("c.smf_cc.mid")), formal);

  const struct {
    const char* flags;
    Layout layout;
    bool include;
  } cases[] = {
      {"--plain", Layout::Plain, true},
      {"--drop-unconvertible", Layout::Formal, false},
      {"--plain --drop-unconvertible", Layout::Plain, false},
      {"--plain --formal --drop-unconvertible --include-unconvertible", Layout::Formal, true},
  };
  for (const auto& c : cases) {
    r = Run(std::string(c.flags) + " -o out.mid a.mid");
    EXPECT_EQ(r.status, 0) << c.flags << ": " << r.err;
    EXPECT_EQ(r.out, "Convert Successful: out.mid (2 of 3 SysEx messages converted)\n");
    EXPECT_EQ(ReadAll(dir.File("out.mid")), Expected(dir.File("a.mid"), c.layout, c.include)) << c.flags;
  }
  EXPECT_NE(Expected(dir.File("a.mid"), Layout::Plain, false), Expected(dir.File("a.mid"), Layout::Formal, true));
}

TEST_F(ConvertCli, TheExampleFile) {
  const std::string song = Example();
  if (song.empty()) GTEST_SKIP() << "no example file";
  const CliRun r = Run("song.mid");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(dir.File("song_cc.mid")), Expected(song, Layout::Formal, true));
  // A second run replaces the file it wrote.
  EXPECT_EQ(Run("--plain song.mid").status, 0);
  EXPECT_EQ(ReadAll(dir.File("song_cc.mid")), Expected(song, Layout::Plain, true));
}

TEST_F(ConvertCli, FailuresGoToStandardErrorAndTheOtherFilesAreStillDone) {
  WriteAll(dir.File("a.mid"), SmallSong());
  using namespace test;
  WriteAll(dir.File("nosysex.mid"), Cat({Header(1), Track(Cat({{0x00, 0x90, 0x3C, 0x40}, kEndOfTrack}))}));
  const ByteVec foreign = SmallSong();
  WriteAll(dir.File("taken_cc.mid"), foreign);
  WriteAll(dir.File("taken.mid"), SmallSong());

  const CliRun r = Run("missing.mid nosysex.mid taken.mid a.mid");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Convert Successful: a_cc.mid (2 of 3 SysEx messages converted)\n");
  EXPECT_NE(r.err.find("File not Found: missing.mid"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No data to convert: nosysex.mid"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("This file can not rewrite: taken_cc.mid"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(dir.File("taken_cc.mid")), foreign);
  EXPECT_FALSE(std::filesystem::exists(dir.File("nosysex_cc.mid")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("a_cc.mid")));

  // The input itself is never overwritten.
  const CliRun self = Run("-o a.mid a.mid");
  EXPECT_EQ(self.status, 1);
  EXPECT_NE(self.err.find("This file can not rewrite: a.mid"), std::string::npos);
  EXPECT_EQ(ReadAll(dir.File("a.mid")), SmallSong());

  // A write error: the target's folder does not exist.
  const CliRun noFolder = Run("-o no/such.mid a.mid");
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_NE(noFolder.err.find("no/such.mid"), std::string::npos) << noFolder.err;
  EXPECT_EQ(noFolder.out, "");
}

TEST_F(ConvertCli, UsageErrors) {
  WriteAll(dir.File("a.mid"), SmallSong());
  for (const char* args : {"", "-o", "-o out.mid a.mid a.mid", "--bogus a.mid", "-o x.mid -o y.mid a.mid",
                           "--plain"}) {
    const CliRun r = Run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
    EXPECT_EQ(r.out, "") << args;
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.mid"});
}

TEST_F(ConvertCli, SongMode) {
  using namespace test;
  WriteAll(dir.File("a.mid"), SmallSong());
  for (const char* args : {"--song --formal a.mid", "--plain --song a.mid"}) {
    const CliRun r = Run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("--song"), std::string::npos) << r.err;
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.mid"});

  CliRun r = Run("--song --drop-unconvertible a.mid");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Convert Successful: a_cc.mid (2 of 3 SysEx messages converted)\n");
  EXPECT_EQ(ReadAll(dir.File("a_cc.mid")), Expected(dir.File("a.mid"), Layout::Song, false));

  // Refused, each with its reason, and nothing written; the classic layouts
  // convert what was read of a damaged file.
  WriteAll(dir.File("cut.mid"), Cat({SmallSong(), {'?'}}));
  WriteAll(dir.File("taken_cc.mid"), SmallSong());
  WriteAll(dir.File("taken.mid"), SmallSong());
  r = Run("--song cut.mid taken.mid");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cut.mid: reading stopped early at data that is not a MIDI event or chunk; converting what "
                       "was read"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("the rest of the song would be lost"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("This file can not rewrite: taken_cc.mid"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("cut_cc.mid")));
  EXPECT_EQ(ReadAll(dir.File("taken_cc.mid")), SmallSong());
  EXPECT_EQ(Run("cut.mid").status, 0);
}

TEST_F(ConvertCli, DrumSetupPartMapCarriesOverToTheNextFile) {
  using namespace test;
  // The first file gives drum setup 1 (part mode 2) to part 5; the second
  // sets a drum pitch of drum setup 1 without a part mode message.
  const ByteVec setsMode = Cat({Header(1), Track(Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x05, 0x07, 0x02, 0xF7}),
                                                      kEndOfTrack}))});
  const ByteVec usesDrum = Cat({Header(1), Track(Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x30, 0x24, 0x00, 0x50, 0xF7}),
                                                      kEndOfTrack}))});
  WriteAll(dir.File("mode.mid"), setsMode);
  WriteAll(dir.File("drum.mid"), usesDrum);
  ASSERT_EQ(Run("--plain mode.mid drum.mid").status, 0);
  const ByteVec alone = ReadAll(dir.File("drum_cc.mid"));
  // Drum NRPN 24/36 on MIDI channel 6 (part 5), not on part 9's channel.
  const ByteVec onPart5 = {0x00, 0xB5, 0x63, 0x18, 0x03, 0xB5, 0x62, 0x24, 0x03, 0xB5, 0x06, 0x50};
  EXPECT_NE(std::search(alone.begin(), alone.end(), onPart5.begin(), onPart5.end()), alone.end())
      << test::Hex(alone);
  ASSERT_EQ(Run("--plain -o drum_alone.mid drum.mid").status, 0);
  const ByteVec fresh = ReadAll(dir.File("drum_alone.mid"));
  const ByteVec onPart9 = {0x00, 0xB9, 0x63, 0x18};
  EXPECT_NE(std::search(fresh.begin(), fresh.end(), onPart9.begin(), onPart9.end()), fresh.end())
      << test::Hex(fresh);
  // XG System On (or GM System On) puts every part back in its first mode:
  // a second file that starts with it plays drum setup 1 on part 10, however
  // the file before it left the parts, and so does the rest of a song after
  // a reset in its middle.
  const ByteVec xgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  const ByteVec gmOn = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
  for (const ByteVec& reset : {xgOn, gmOn}) {
    WriteAll(dir.File("reset.mid"), Cat({Header(1), Track(Cat({SysExEvent(0, reset),
                                                                SysExEvent(0, {0x43, 0x10, 0x4C, 0x30, 0x24, 0x00, 0x50, 0xF7}),
                                                                kEndOfTrack}))}));
    WriteAll(dir.File("modeThenReset.mid"),
             Cat({Header(1), Track(Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x08, 0x05, 0x07, 0x02, 0xF7}),
                                        SysExEvent(0, reset),
                                        SysExEvent(0, {0x43, 0x10, 0x4C, 0x30, 0x24, 0x00, 0x50, 0xF7}),
                                        kEndOfTrack}))}));
    ASSERT_EQ(Run("--song mode.mid reset.mid modeThenReset.mid").status, 0);
    for (const char* name : {"reset_cc.mid", "modeThenReset_cc.mid"}) {
      const ByteVec after = ReadAll(dir.File(name));
      EXPECT_NE(std::search(after.begin(), after.end(), onPart9.begin(), onPart9.end()), after.end())
          << name << ": " << test::Hex(after);
    }
  }
}

// A SysEx file converts to a setup file; it holds no song to keep. An RMID
// file converts as the Standard MIDI File inside it, to a plain .mid.
TEST_F(ConvertCli, SysExAndRmidFiles) {
  using namespace test;
  WriteAll(dir.File("setup.syx"), {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7,
                                   0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7});
  const CliRun plain = Run("--plain setup.syx");
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, "Convert Successful: setup_cc.mid (1 of 2 SysEx messages converted)\n");
  const CliRun song = Run("--song -o kept.mid setup.syx");
  EXPECT_EQ(song.status, 1);
  EXPECT_EQ(song.err, "A SysEx file holds no song\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("kept.mid")));

  const ByteVec smf = SmallSong();
  ByteVec rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a',
                  uint8_t(smf.size()), uint8_t(smf.size() >> 8), 0, 0};
  rmid.insert(rmid.end(), smf.begin(), smf.end());
  WriteAll(dir.File("song.rmi"), rmid);
  ASSERT_EQ(Run("--song song.rmi").status, 0);
  WriteAll(dir.File("small.mid"), smf);
  ASSERT_EQ(Run("--song -o direct.mid small.mid").status, 0);
  EXPECT_EQ(ReadAll(dir.File("song_cc.mid")), ReadAll(dir.File("direct.mid")));
}

TEST_F(ConvertCli, TellsHowMuchWasConvertedAndWhenAFormalSetupSumsUpTheSong) {
  using namespace test;
  // Nothing converts: the file is still written, and the line says so.
  WriteAll(dir.File("xf.mid"), Cat({Header(1), Track(Cat({SysExEvent(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
                                                         SysExEvent(0, {0x43, 0x73, 0x01, 0x02, 0xF7}), kEndOfTrack}))}));
  const CliRun none = Run("xf.mid");
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "Convert Successful: xf_cc.mid (0 of 2 SysEx messages converted)\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("xf_cc.mid")));
  // Volume of part 1 set twice to different values, and a message after the
  // first note: the formal setup warns (on standard error, status 0); the
  // plain layout and the song layout keep the changes in time and do not.
  const ByteVec vol100 = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7};
  const ByteVec vol50 = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x32, 0xF7};
  WriteAll(dir.File("fade.mid"), Cat({Header(1), Track(Cat({SysExEvent(0, vol100), FromHex("00 90 3C 64"),
                                                           SysExEvent(96, vol50), kEndOfTrack}))}));
  const CliRun formal = Run("--formal fade.mid");
  EXPECT_EQ(formal.status, 0);
  EXPECT_EQ(formal.err,
            "warning: fade_cc.mid: the setup takes the song's last values (1 parameters change during the song; "
            "--song keeps them in time)\n");
  for (const char* layout : {"--plain", "--song"}) {
    const CliRun kept = Run(std::string(layout) + " fade.mid");
    EXPECT_EQ(kept.status, 0) << layout;
    EXPECT_EQ(kept.err, "") << layout;
  }
  // A closing XG System On after the notes is carried into the setup: warned.
  WriteAll(dir.File("closing.mid"), Cat({Header(1), Track(Cat({SysExEvent(0, vol100), FromHex("00 90 3C 64"),
                                                              SysExEvent(96, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
                                                              kEndOfTrack}))}));
  EXPECT_NE(Run("--formal closing.mid").err.find("(0 parameters change during the song"), std::string::npos);
}


// A conversion that dies or is stopped while it writes leaves the earlier
// converted file as it was and no temporary file beside it.
class InterruptedConvert : public ConvertCli {
 protected:
  void SetUp() override {
    using namespace test;
    ByteVec body;
    for (int i = 0; i < 3000; ++i) {
      const ByteVec e = SysExEvent(1, {0x43, 0x10, 0x4C, 0x08, 0x02, 0x0B, uint8_t(i & 0x7F), 0xF7});
      body.insert(body.end(), e.begin(), e.end());
    }
    body.insert(body.end(), kEndOfTrack.begin(), kEndOfTrack.end());
    WriteAll(dir.File("big.mid"), Cat({Header(1), Track(body)}));
    WriteAll(dir.File("small.mid"), SmallSong());
    ASSERT_EQ(Run("--plain -o out.mid small.mid").status, 0);
    earlier = ReadAll(dir.File("out.mid"));
  }
  void ExpectEarlierFileOnly() {
    EXPECT_EQ(ReadAll(dir.File("out.mid")), earlier);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"big.mid", "out.mid", "small.mid"}));
  }
  ByteVec earlier;
};

TEST_F(InterruptedConvert, FileSizeLimitIsAnOrdinaryError) {
  const std::string cmd = "cd '" + dir.path().string() + "' && ulimit -f 4 && exec '" + MERTOVAN_CLI +
                          "' convert --plain -o out.mid big.mid >/dev/null 2>.stderr";
  const int raw = std::system(cmd.c_str());
  const ByteVec err = ReadAll(dir.File(".stderr"));
  std::filesystem::remove(dir.File(".stderr"));
  ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(std::string(err.begin(), err.end()).find("File too large"), std::string::npos);
  ExpectEarlierFileOnly();
}

TEST_F(InterruptedConvert, SignalsRemoveTheTemporaryFile) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Stops once the temporary file is complete, until the signal comes.
      setenv("MERTOVAN_CLI_TEST_HOLD_TEMP", "1", 1);
      if (chdir(dir.path().c_str()) != 0) _exit(120);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(MERTOVAN_CLI, MERTOVAN_CLI, "convert", "--plain", "-o", "out.mid", "big.mid", nullptr);
      _exit(121);
    }
    bool held = false;
    for (int i = 0; i < 400 && !held; ++i) {
      for (const std::string& name : dir.Entries()) held = held || name.ends_with(".tmp");
      if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(held) << "no temporary file appeared";
    kill(child, sig);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    ExpectEarlierFileOnly();
  }
}

}  // namespace
}  // namespace mertovan
