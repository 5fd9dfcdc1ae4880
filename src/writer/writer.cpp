#include "writer/writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "model/file_io.h"

namespace mertovan {

namespace {

// Where the marker can start: the conductor track's name event puts it at
// offset 26 of every file the program writes; a little slack is allowed.
constexpr size_t kMarkerSearchBytes = 50;
constexpr size_t kLastMarkerStart = 40;

}  // namespace

bool IsProtectedTarget(const std::string& fileName) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0) {
    if (errno == ENOENT) return false;  // a new name, or a link to nothing
    ThrowFileError("Cannot test whether the file exists", errno, fileName);
  }
  // A folder, a pipe or a device is no MIDI file and is refused here.
  const FileContents head = ReadRegularFile(fileName, kMarkerSearchBytes);
  const uint8_t* bytes = head.bytes.data();
  const size_t n = head.bytes.size();

  // Only bytes that were actually read count: the marker and the 00 after it
  // must both lie within them.
  for (size_t at = 0; at <= kLastMarkerStart && at + kMarkerLength + 1 <= n; ++at) {
    if (std::memcmp(bytes + at, kMarkerText, kMarkerLength) == 0 && bytes[at + kMarkerLength] == 0) {
      return false;
    }
  }
  return true;
}

std::string ConvertedCountText(const ConvertReport& report) {
  return "(" + std::to_string(report.converted) + " of " + std::to_string(report.total) +
         " SysEx messages converted)";
}

size_t LostSettings(const ConvertReport& report) {
  return size_t(std::count_if(report.target.begin(), report.target.end(), [](const TargetReportRow& r) { return r.lost; }));
}

std::string FlattenedSongText(const ConvertReport& report) {
  if (report.changingParameters == 0 && !report.sysExAfterFirstNote) return "";
  return "the setup takes the song's last values (" + std::to_string(report.changingParameters) +
         " parameters change during the song; --song keeps them in time)";
}

std::optional<ConvertReport> WriteConvertedFile(const Song& song, const std::string& fileName,
                                                const ConvertOptions& options, MessageService& messages, int x, int y,
                                                const ReplaceWatch& watch) {
  // Built before the target is judged, so a conversion that cannot be
  // written is refused before anything on disk is touched.
  ConvertReport report;
  const std::vector<uint8_t> image = BuildFileImage(song, options, &report);
  if (IsProtectedTarget(fileName)) {
    messages.ShowMessageAt(kCannotRewriteText, MessageKind::Warning, x, y);
    return std::nullopt;
  }
  ReplaceFile(fileName, image, "file", watch);
  messages.ShowMessageAt(kConvertSuccessfulText, MessageKind::Information, x, y);
  return report;
}

}  // namespace mertovan
