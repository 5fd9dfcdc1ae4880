// The converted file on disk: which targets may be replaced, and that a
// replacement is all or nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/event_list.h"
#include "support/files.h"
#include "support/recording_messages.h"
#include "support/scratch_dir.h"
#include "support/smf_builder.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

using test::AddEvent;
using test::ByteVec;
using test::ReadAll;
using test::RecordingMessages;
using test::ScratchDir;
using test::WriteAll;

constexpr ConvertOptions kPlain{.layout = Layout::Plain};
constexpr ConvertOptions kFormal{.layout = Layout::Formal};

ByteVec WithMarkerAt(size_t offset, size_t totalSize, uint8_t after = 0) {
  ByteVec f(totalSize, 'x');
  std::copy_n(kMarkerText, 16, f.begin() + long(offset));
  if (offset + 16 < totalSize) f[offset + 16] = after;
  return f;
}

class WriterFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    AddEvent(song, 0, test::kSomeXg, 0, {{7, 100}});
    song.channelUsage[0] = 1;
  }
  // Converts the list in the plain layout to `name` in the scratch folder: a
  // file this program wrote. Returns its path.
  std::string WriteOwnFile(const std::string& name) const {
    const std::string path = dir.File(name);
    RecordingMessages messages;
    WriteConvertedFile(song, path, kPlain, messages, 0, 0);
    return path;
  }
  Song song;
  ScratchDir dir;
};

TEST_F(WriterFiles, WhichExistingFilesAreProtected) {
  // What the program wrote itself, judged also when cut short.
  const ByteVec own = BuildFileImage(song, kPlain);
  const struct {
    const char* what;
    ByteVec content;
    bool isProtected;
  } cases[] = {
      {"converted file", own, false},
      {"converted file cut after the 00", ByteVec(own.begin(), own.begin() + 43), false},
      {"converted file cut before the 00", ByteVec(own.begin(), own.begin() + 42), true},
      {"foreign MIDI file", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1, 0xE0}, true},
      {"empty file", {}, true},
      {"marker at offset 0", WithMarkerAt(0, 17), false},
      {"marker at offset 33, 00 as the 50th byte", WithMarkerAt(33, 60), false},
      {"marker at offset 34, 00 beyond the bytes read", WithMarkerAt(34, 60), true},
      {"marker at offset 40 in a short file", WithMarkerAt(40, 56), true},
      {"marker without the 00", WithMarkerAt(26, 60, 0x01), true},
      {"marker in lower case", [] {
         ByteVec f = WithMarkerAt(26, 60);
         f[26] = 'm';
         return f;
       }(), true},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File("target.mid");
    WriteAll(path, c.content);
    EXPECT_EQ(IsProtectedTarget(path), c.isProtected) << c.what;
  }
  EXPECT_FALSE(IsProtectedTarget(dir.File("missing.mid")));
  // What cannot be judged by its bytes ends the conversion with an error.
  EXPECT_THROW(IsProtectedTarget(dir.path().string()), IoError);
  ASSERT_EQ(mkfifo(dir.File("pipe.mid").c_str(), 0600), 0);
  EXPECT_THROW(IsProtectedTarget(dir.File("pipe.mid")), IoError);
}

TEST_F(WriterFiles, EmptyFileNameIsAnError) {
  RecordingMessages messages;
  EXPECT_THROW(WriteConvertedFile(song, "", kPlain, messages, 0, 0), IoError);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(WriterFiles, NewTargetIsCreatedAndReportedAfterwards) {
  RecordingMessages messages;
  const std::string path = dir.File("song_cc.mid");
  WriteConvertedFile(song, path, kPlain, messages, 140, 60);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Convert Successful");
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(messages.shown[0].x, 140);
  EXPECT_EQ(messages.shown[0].y, 60);
  EXPECT_EQ(ReadAll(path), BuildFileImage(song, kPlain));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song_cc.mid"});
}

TEST_F(WriterFiles, OwnEarlierFileIsReplacedForeignFileIsLeftAlone) {
  const std::string own = WriteOwnFile("own.mid");
  const std::string foreign = dir.File("foreign.mid");
  RecordingMessages messages;
  const ByteVec foreignBytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 0, 1, 0xE0};
  WriteAll(foreign, foreignBytes);

  song.sysEx.events[0].ccValue[0] = 50;  // a changed list: the replacement differs
  WriteConvertedFile(song, own, kFormal, messages, 0, 0);
  EXPECT_EQ(ReadAll(own), BuildFileImage(song, kFormal));

  messages.shown.clear();
  WriteConvertedFile(song, foreign, kFormal, messages, 7, 8);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "This file can not rewrite");
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(ReadAll(foreign), foreignBytes);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"foreign.mid", "own.mid"}));
}

TEST_F(WriterFiles, RefusedConversionTouchesNothing) {
  const std::string path = WriteOwnFile("song_cc.mid");
  const ByteVec before = ReadAll(path);
  AddEvent(song, 300000000, test::kSomeXg, 0, {{7, 1}});
  RecordingMessages messages;
  EXPECT_THROW(WriteConvertedFile(song, path, kPlain, messages, 0, 0), ConvertError);
  EXPECT_THROW(WriteConvertedFile(song, dir.File("new.mid"), kPlain, messages, 0, 0), ConvertError);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song_cc.mid"});
}

TEST_F(WriterFiles, FailedWriteKeepsThePreviousFileAndLeavesNoTemporaryFile) {
  const std::string path = WriteOwnFile("song_cc.mid");
  const ByteVec before = ReadAll(path);
  ASSERT_LT(before.size(), 200u);
  // A much larger conversion, written by a child process that may not write
  // files beyond 200 bytes: the write fails halfway.
  for (uint32_t i = 1; i < 100; ++i) AddEvent(song, i * 10, test::kSomeXg, 0, {{7, uint8_t(i)}});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{200, 200};
    setrlimit(RLIMIT_FSIZE, &limit);
    RecordingMessages childMessages;
    int code = 3;
    try {
      WriteConvertedFile(song, path, kPlain, childMessages, 0, 0);
      code = 0;
    } catch (const IoError&) {
      code = childMessages.shown.empty() ? 1 : 2;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "0: no failure, 2: success reported, 3: other error";
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song_cc.mid"});
}

TEST_F(WriterFiles, ReplacementKeepsPermissionsAndWritesThroughLinks) {
  const std::string real = WriteOwnFile("real_cc.mid");
  const std::string link = dir.File("link_cc.mid");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  std::filesystem::create_symlink("real_cc.mid", link);
  RecordingMessages messages;
  WriteConvertedFile(song, link, kFormal, messages, 0, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadAll(real), BuildFileImage(song, kFormal));
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link_cc.mid", "real_cc.mid"}));
}

TEST_F(WriterFiles, TargetInAMissingFolderIsAnError) {
  RecordingMessages messages;
  EXPECT_THROW(WriteConvertedFile(song, dir.File("no/such/folder.mid"), kPlain, messages, 0, 0), IoError);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace mertovan
