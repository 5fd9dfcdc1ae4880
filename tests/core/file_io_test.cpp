// Replacing files as an ordinary user: the target's own permission and owner
// count, not only the folder's. Root may write anything, so each case runs in
// a child process that has become an unprivileged user.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "model/file_io.h"
#include "support/files.h"
#include "support/smf_builder.h"
#include "support/scratch_dir.h"

namespace mertovan {
namespace {

using test::ByteVec;
using test::ReadAll;
using test::ScratchDir;
using test::WriteAll;

constexpr uid_t kUser = 65534;  // "nobody" on most systems
constexpr uid_t kOtherUser = 65533;

enum Outcome { kReplaced = 0, kPermissionDenied = 1, kOtherError = 2, kCannotSwitch = 3 };

// Runs ReplaceFile in a child that is user kUser.
Outcome ReplaceAsUser(const std::string& path, const ByteVec& bytes) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kUser) != 0 || setuid(kUser) != 0) _exit(kCannotSwitch);
    try {
      ReplaceFile(path, bytes);
      _exit(kReplaced);
    } catch (const IoError& e) {
      const bool denied = std::strstr(e.what(), "Permission denied") && std::strstr(e.what(), path.c_str());
      _exit(denied ? kPermissionDenied : kOtherError);
    }
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return kOtherError;
  return Outcome(WEXITSTATUS(status));
}

TEST(FileReplacement, AsAnOrdinaryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create files of two users and switch to one of them";
  const ByteVec before = {'o', 'l', 'd'};
  const ByteVec after = {'n', 'e', 'w', '!'};
  const struct {
    const char* what;
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool folderWritable;  // the folder belongs to the user, else to root (0755)
    Outcome expected;
  } cases[] = {
      {"own file", kUser, kUser, 0640, true, kReplaced},
      {"own file made read-only", kUser, kUser, 0444, true, kPermissionDenied},
      {"another user's file", kOtherUser, kOtherUser, 0644, true, kPermissionDenied},
      {"another user's file anyone may write", kOtherUser, kOtherUser, 0666, true, kPermissionDenied},
      // A new file could not have that group: the file is written where it is.
      {"own file of a group the user is not in", kUser, kOtherUser, 0660, true, kReplaced},
      {"own file in a folder the user cannot write", kUser, kUser, 0600, false, kReplaced},
      {"own read-only file in a folder the user cannot write", kUser, kUser, 0444, false, kPermissionDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    if (c.folderWritable) {
      ASSERT_EQ(chown(dir.path().c_str(), kUser, kUser), 0);
    }
    const std::string path = dir.File("song_cc.mid");
    WriteAll(path, before);
    ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);

    const Outcome got = ReplaceAsUser(path, after);
    if (got == kCannotSwitch) GTEST_SKIP() << "cannot switch to user " << kUser;
    EXPECT_EQ(got, c.expected) << "0 replaced, 1 permission denied, 2 other error";
    EXPECT_EQ(ReadAll(path), c.expected == kReplaced ? after : before);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_gid, c.group);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song_cc.mid"});  // no temporary file left
  }
}

TEST(FileReplacement, RootKeepsTheOwnerOfAFileItReplaces) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  ScratchDir dir;
  const std::string path = dir.File("mertovan.ini");
  WriteAll(path, {'a'});
  ASSERT_EQ(chown(path.c_str(), kUser, kUser), 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ReplaceFile(path, ByteVec{'b'});
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kUser);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadAll(path), ByteVec{'b'});
}

TEST(FileReading, SizeBound) {
  ScratchDir dir;
  const std::string path = dir.File("f.bin");
  const ByteVec bytes(10000, 0x5A);
  WriteAll(path, bytes);
  for (size_t bound : {size_t(0), size_t(1), size_t(9999), size_t(10000), size_t(20000)}) {
    const FileContents got = ReadRegularFile(path, bound);
    EXPECT_EQ(got.whole, bound >= bytes.size()) << bound;
    EXPECT_EQ(got.bytes, ByteVec(bytes.begin(), bytes.begin() + long(std::min(bound, bytes.size())))) << bound;
  }
  EXPECT_EQ(ReadRegularFile(path, 10000, "file", "too large").bytes, bytes);
  try {
    ReadRegularFile(path, 9999, "file", "too large");
    ADD_FAILURE() << "a file over the bound was read";
  } catch (const IoError& e) {
    EXPECT_EQ(e.what(), "Cannot read file (too large): " + path);
  }
  try {
    ReadRegularFile("/dev/zero", 10, "the settings file");
    ADD_FAILURE() << "a device was read";
  } catch (const IoError& e) {
    EXPECT_STREQ(e.what(), "Cannot read the settings file (not a regular file): /dev/zero");
  }
}

}  // namespace
}  // namespace mertovan
