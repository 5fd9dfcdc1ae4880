#include "model/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace mertovan {

namespace fs = std::filesystem;

std::string FileErrorText(std::string_view what, std::string_view reason, const std::string& fileName) {
  std::string text(what);
  text += " (";
  text += reason;
  text += "): ";
  text += fileName;
  return text;
}

void ThrowFileError(std::string_view what, std::string_view reason, const std::string& fileName) {
  throw IoError(FileErrorText(what, reason, fileName));
}

void ThrowFileError(std::string_view what, int err, const std::string& fileName) {
  ThrowFileError(what, std::string_view(std::strerror(err)), fileName);
}

namespace {

constexpr std::string_view kNotRegular = "not a regular file";
constexpr std::string_view kFolder = "a folder, not a regular file";

std::string Verb(std::string_view verb, std::string_view noun) {
  std::string s(verb);
  s += ' ';
  s += noun;
  return s;
}

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports the result: some file systems report a failed
  // write only here.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Holds off the signals that end the command-line program while a temporary
// file is created, removed or renamed and the watch is told (ReplaceWatch).
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;
  ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// The temporary file beside the target: removed unless it took the target's place.
class TempFile {
 public:
  explicit TempFile(const ReplaceWatch& watch) : watch_(watch) {}
  // Creates the file exclusively under a fresh hidden name in `folder`.
  // Returns false with errno set when the folder does not allow it.
  bool Create(const fs::path& folder, const std::string& targetName, mode_t mode) {
    const std::string base = targetName.substr(0, 180);  // short enough for any file system
    const auto seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, ".%d.%06llx.tmp", int(::getpid()),
                    static_cast<unsigned long long>((seed + uint64_t(attempt) * 7919u) & 0xFFFFFF));
      std::string path = (folder / ("." + base + suffix)).string();
      EndingSignalsBlocked blocked;
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
      if (fd >= 0) {
        fd_ = fd;
        path_ = std::move(path);
        if (watch_.created) watch_.created(path_.c_str());
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { Discard(); }
  // Closes and removes the file.
  void Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) {
      EndingSignalsBlocked blocked;
      ::unlink(path_.c_str());
      path_.clear();
      if (watch_.gone) watch_.gone();
    }
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  // Renames the file over `target`; afterwards there is nothing to remove.
  bool RenameOver(const fs::path& target) {
    EndingSignalsBlocked blocked;
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    path_.clear();
    if (watch_.gone) watch_.gone();
    return true;
  }

 private:
  const ReplaceWatch& watch_;
  int fd_ = -1;
  std::string path_;
};

// Writes all of `bytes`, however many calls that takes.
bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t w = ::write(fd, bytes.data(), bytes.size());
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(size_t(w));
  }
  return true;
}

// Overwrites the open target from its start and cuts it to the new length.
void WriteInPlace(int fd, std::span<const uint8_t> bytes, const std::string& what, const std::string& name) {
  if (::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, bytes) ||
      ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
    ThrowFileError(what, errno, name);
  }
}

}  // namespace

FileContents ReadRegularFile(const std::string& fileName, size_t maxBytes, std::string_view noun,
                             std::string_view tooLarge) {
  const std::string readWhat = Verb("Cannot read", noun);
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0) ThrowFileError(Verb("Cannot open", noun), errno, fileName);
  // A pipe would make the open wait for a writer that may never come, and a
  // device may never end; neither is looked into.
  if (S_ISDIR(st.st_mode)) ThrowFileError(readWhat, kFolder, fileName);
  if (!S_ISREG(st.st_mode)) ThrowFileError(readWhat, kNotRegular, fileName);
  Fd fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(Verb("Cannot open", noun), errno, fileName);
  // The name may have been swapped for something else since the look above.
  if (::fstat(fd.get(), &st) != 0) ThrowFileError(readWhat, errno, fileName);
  if (!S_ISREG(st.st_mode)) ThrowFileError(readWhat, kNotRegular, fileName);

  if (!tooLarge.empty() && st.st_size > 0 && uint64_t(st.st_size) > maxBytes) {
    ThrowFileError(readWhat, tooLarge, fileName);
  }
  FileContents contents;
  const size_t expected = st.st_size > 0 ? size_t(st.st_size) : 0;
  contents.bytes.resize(std::min(expected, maxBytes));
  size_t got = 0;
  // The size can change while the file is read: read until the end or the
  // bound, whichever comes first. Once the expected bytes are in, one byte
  // more tells whether the file goes on.
  for (;;) {
    if (got == contents.bytes.size()) {
      uint8_t extra;
      ssize_t r;
      do r = ::read(fd.get(), &extra, 1);
      while (r < 0 && errno == EINTR);
      if (r < 0) ThrowFileError(readWhat, errno, fileName);
      if (r == 0) break;
      if (got >= maxBytes) {
        contents.whole = false;
        break;
      }
      contents.bytes.resize(std::min(maxBytes, std::max<size_t>(got * 2, 4096)));
      contents.bytes[got++] = extra;
      continue;
    }
    const ssize_t r = ::read(fd.get(), contents.bytes.data() + got, contents.bytes.size() - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(readWhat, errno, fileName);
    }
    if (r == 0) break;
    got += size_t(r);
  }
  contents.bytes.resize(got);
  if (!contents.whole && !tooLarge.empty()) ThrowFileError(readWhat, tooLarge, fileName);
  return contents;
}

void ReplaceFile(const std::string& fileName, std::span<const uint8_t> bytes, std::string_view noun,
                 const ReplaceWatch& watch) {
  if (fileName.empty()) throw IoError("No name given for the " + std::string(noun == "file" ? "output file" : noun));
  const std::string writeWhat = Verb("Cannot write", noun);
  const std::string replaceWhat = Verb("Cannot replace", noun);
  fs::path target(fileName);
  struct stat st;
  // Through a symbolic link to a regular file that file is replaced and the
  // link stays. A link to nothing or to a device is itself what gets replaced.
  if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    struct stat linked;
    std::error_code ec;
    if (::stat(target.c_str(), &linked) == 0 && S_ISREG(linked.st_mode)) {
      fs::path resolved = fs::canonical(target, ec);
      if (!ec) target = resolved;
    }
  }
  const bool exists = ::lstat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) ThrowFileError(replaceWhat, errno, fileName);
  const bool regular = exists && S_ISREG(st.st_mode);

  // An existing file must be one this user may write, exactly as if it were
  // opened to be overwritten; the rename alone would only ask the folder.
  Fd existing;
  if (regular) {
    existing.Reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (existing.get() < 0) ThrowFileError(replaceWhat, errno, fileName);
    if (::fstat(existing.get(), &st) != 0) ThrowFileError(replaceWhat, errno, fileName);
  }
  // A new file gets the usual permissions (less the umask); a replaced one
  // keeps its own.
  const mode_t mode = regular ? (st.st_mode & 07777) : 0666;

  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  TempFile temp(watch);
  if (!temp.Create(folder, target.filename().string(), regular ? (mode & 0700) : mode)) {
    const int err = errno;
    if (regular && (err == EACCES || err == EPERM)) {
      WriteInPlace(existing.get(), bytes, writeWhat, fileName);
      if (existing.Close() != 0) ThrowFileError(writeWhat, errno, fileName);
      return;
    }
    ThrowFileError(Verb("Cannot create", noun), err, fileName);
  }
  if (regular) {
    struct stat mine;
    if (::fstat(temp.fd(), &mine) != 0) ThrowFileError(writeWhat, errno, fileName);
    if (mine.st_uid != st.st_uid && ::fchown(temp.fd(), st.st_uid, st.st_gid) != 0) {
      // The file belongs to someone else: taking its place would make it ours.
      ThrowFileError(replaceWhat, EACCES, fileName);
    }
    if (mine.st_uid == st.st_uid && mine.st_gid != st.st_gid &&
        ::fchown(temp.fd(), static_cast<uid_t>(-1), st.st_gid) != 0) {
      // Its group cannot be kept by a new file: the mode would then open it
      // to another group. Written where it is instead.
      temp.Discard();
      WriteInPlace(existing.get(), bytes, writeWhat, fileName);
      if (existing.Close() != 0) ThrowFileError(writeWhat, errno, fileName);
      return;
    }
    // After the owner: a change of owner clears the set-user and set-group bits.
    if (::fchmod(temp.fd(), mode) != 0) ThrowFileError(writeWhat, errno, fileName);
  }
  if (!WriteAll(temp.fd(), bytes) || ::fsync(temp.fd()) != 0) ThrowFileError(writeWhat, errno, fileName);
  if (temp.Close() != 0) ThrowFileError(writeWhat, errno, fileName);
  if (watch.complete) watch.complete(temp.path().c_str());
  if (!temp.RenameOver(target)) ThrowFileError(replaceWhat, errno, fileName);

  // The rename itself reaches the disk with the folder; a failure here
  // leaves a complete file in place, so it is not reported.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace mertovan
