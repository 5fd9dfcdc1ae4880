#include "writer/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace mertovan {

namespace fs = std::filesystem;

namespace {

// Where the marker can start: the conductor track's name event puts it at
// offset 26 of every file the program writes; a little slack is allowed.
constexpr size_t kMarkerSearchBytes = 50;
constexpr size_t kMarkerLength = sizeof(kMarkerText) - 1;
constexpr size_t kLastMarkerStart = 40;

std::string ErrnoText(int err) { return std::strerror(err); }

[[noreturn]] void ThrowIo(const std::string& what, int err, const std::string& fileName) {
  throw IoError(what + " (" + ErrnoText(err) + "): " + fileName);
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor, reporting the result: some file systems report
  // a failed write only here.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  void Release() { path_.clear(); }

 private:
  int fd_;
  std::string path_;
};

TempFile CreateTempFileBeside(const fs::path& target, mode_t mode) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  // A hidden name that says what it is, short enough for any file system.
  std::string base = target.filename().string().substr(0, 180);
  const auto seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%d.%06llx.tmp", int(::getpid()),
                  (unsigned long long)((seed + uint64_t(attempt) * 7919u) & 0xFFFFFF));
    const std::string path = (folder / ("." + base + suffix)).string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return TempFile(fd, path);
    if (errno != EEXIST) ThrowIo("Cannot create a file in the folder of", errno, target.string());
  }
  ThrowIo("Cannot create a file in the folder of", EEXIST, target.string());
}

}  // namespace

bool IsProtectedTarget(const std::string& fileName) {
  std::error_code ec;
  const bool exists = fs::exists(fileName, ec);
  if (ec) ThrowIo("Cannot test whether the file exists", ec.value(), fileName);
  if (!exists) return false;
  if (fs::is_directory(fileName, ec)) throw IoError("A folder of that name exists: " + fileName);
  // A pipe or a device is no MIDI file, and opening a pipe would wait for a
  // writer that may never come.
  if (!fs::is_regular_file(fileName, ec)) throw IoError("Not a file that can be replaced: " + fileName);

  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (!f) ThrowIo("Cannot open file", errno, fileName);
  uint8_t head[kMarkerSearchBytes];
  const size_t n = std::fread(head, 1, sizeof head, f.get());
  if (n < sizeof head && std::ferror(f.get())) ThrowIo("Cannot read file", errno, fileName);

  // Only bytes that were actually read count: the marker and the 00 after it
  // must both lie within them.
  for (size_t at = 0; at <= kLastMarkerStart && at + kMarkerLength + 1 <= n; ++at) {
    if (std::memcmp(head + at, kMarkerText, kMarkerLength) == 0 && head[at + kMarkerLength] == 0) {
      return false;
    }
  }
  return true;
}

void ReplaceFileContents(const std::string& fileName, std::span<const uint8_t> bytes) {
  if (fileName.empty()) throw IoError("No file name given for the converted file");
  fs::path target(fileName);
  std::error_code ec;
  // Through a symbolic link the file it names is replaced, not the link.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  // A replaced file keeps its permissions; a new one gets the usual ones.
  mode_t mode = 0666;
  struct stat st;
  const bool targetExists = ::stat(target.c_str(), &st) == 0;
  if (targetExists) mode = st.st_mode & 07777;

  TempFile temp = CreateTempFileBeside(target, mode);
  if (targetExists && ::fchmod(temp.fd(), mode) != 0) {
    ThrowIo("Cannot set the permissions of", errno, temp.path());
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(temp.fd(), bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowIo("Cannot write file", errno, fileName);
    }
    done += size_t(w);
  }
  if (::fsync(temp.fd()) != 0) ThrowIo("Cannot write file", errno, fileName);
  if (temp.Close() != 0) ThrowIo("Cannot write file", errno, fileName);
  if (::rename(temp.path().c_str(), target.c_str()) != 0) ThrowIo("Cannot replace file", errno, fileName);
  temp.Release();

  // The rename itself reaches the disk with the folder; a failure here
  // leaves a complete file in place, so it is not reported.
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void WriteConvertedFile(const std::string& fileName, const ConvertOptions& options,
                        MessageService& messages, int x, int y) {
  // Built before the target is judged, so a conversion that cannot be
  // written is refused before anything on disk is touched.
  const std::vector<uint8_t> image = BuildFileImage(options);
  if (IsProtectedTarget(fileName)) {
    messages.ShowMessageAt(kCannotRewriteText, MessageKind::Warning, x, y);
    return;
  }
  ReplaceFileContents(fileName, image);
  messages.ShowMessageAt(kConvertSuccessfulText, MessageKind::Information, x, y);
}

}  // namespace mertovan
