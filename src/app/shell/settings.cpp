#include "app/shell/settings.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "model/file_io.h"

namespace mertovan {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTag = "MERTOVAN1";
constexpr std::string_view kFileName = "mertovan.ini";
constexpr int kFirstValueLine = 2;
constexpr int kLastLine = 15;
// The real file is under a hundred bytes; a larger one is read only this far,
// which still holds the fifteen lines of any file this program wrote.
constexpr size_t kMaxRead = 64 * 1024;
// A garbled line can be arbitrarily long; the message quotes only its start.
constexpr size_t kMaxQuoted = 256;

fs::path PathFromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string Utf8FromPath(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

fs::path SettingsFsPath(const std::string& startDir) { return PathFromUtf8(startDir) / kFileName; }

bool FileExists(const fs::path& p) {
  // A folder that cannot be looked into counts as "no file"; creating the
  // file there then fails with the real reason.
  std::error_code ec;
  return fs::exists(p, ec);
}

constexpr std::string_view kNoun = "the settings file";

std::string ReadSettingsFile(const fs::path& p) {
  const FileContents file = ReadRegularFile(Utf8FromPath(p), kMaxRead, kNoun);
  return std::string(file.bytes.begin(), file.bytes.end());
}

// The new contents take the old file's place in one step: a full disk or a
// crash mid-write leaves the old settings, never a cut-off file that would
// load as a conversion error.
void WriteFileReplacing(const fs::path& target, const std::string& content) {
  ReplaceFile(Utf8FromPath(target),
              std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()), kNoun);
}

// Splits a file's text into lines ended by LF, with or without CR before it;
// a last line without an end still counts.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : rest_(text) {}
  std::optional<std::string_view> Next() {
    if (rest_.empty()) return std::nullopt;
    const size_t nl = rest_.find('\n');
    std::string_view line = rest_.substr(0, nl);
    rest_ = nl == std::string_view::npos ? std::string_view{} : rest_.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

 private:
  std::string_view rest_;
};

// A decimal integer in the range of a 32-bit signed number. People edit this
// file by hand, so blanks around the number, leading zeros and a sign are
// forgiven (a negative window top then wraps like the saved value would);
// anything else (hex, blanks inside, other characters, an empty line) is not
// a number.
std::optional<int64_t> ParseInteger(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  constexpr int64_t kMagnitudeLimit = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kMagnitudeLimit) return std::nullopt;
  }
  if (!negative && magnitude == kMagnitudeLimit) return std::nullopt;
  return negative ? -magnitude : magnitude;
}

// Stores the number of a value line; the casts keep the low 16 or 8 bits as
// two's complement, so 70000 gives 4464 and -10 gives 65526. The three flags
// are judged on the number as written: only 0 selects the CC view and only 1
// turns an option on, so the dialog never shows an option the writer would
// treat differently.
void StoreLine(SettingsRecord& r, int line, int64_t v) {
  switch (line) {
    case 2: r.windowTop = static_cast<uint16_t>(v); break;
    case 3: r.windowLeft = static_cast<uint16_t>(v); break;
    case 4: r.windowWidth = static_cast<uint16_t>(v); break;
    case 5: r.windowHeight = static_cast<uint16_t>(v); break;
    case 13: r.viewMode = v == 0 ? ViewMode::Cc : ViewMode::SysEx; break;
    case 14: r.includeUnconvertible = v == 1 ? 1 : 0; break;
    case 15: r.formalOutput = v == 1 ? 1 : 0; break;
    default:
      if (line >= 6 && line <= 12) r.colWidths[static_cast<size_t>(line - 5)] = static_cast<uint16_t>(v);
      break;
  }
}

// Creation values for the fields of `firstLine` to line 15, the others untouched.
void ApplyCreationFrom(SettingsRecord& r, int firstLine, uint16_t column7Width) {
  const SettingsRecord creation = CreationSettings(column7Width);
  for (int line = firstLine; line <= kLastLine; ++line) StoreLine(r, line, SettingsLineValue(creation, line));
}

// What a new file holds: the classic lines' creation values, the song not
// kept and made for XG. The chosen port and the recent files are the user's record, not
// options, and stay.
void ApplyCreation(SettingsRecord& r, uint16_t column7Width) {
  ApplyCreationFrom(r, kFirstValueLine, column7Width);
  r.songOutput = 0;
  r.target = Target::Xg;
}

// Names of the lines after the classic fifteen.
constexpr std::string_view kSongOutputKey = "songOutput";
constexpr std::string_view kTargetKey = "target";
constexpr std::string_view kMidiPortKey = "midiPort";
constexpr std::string_view kRecentKey = "recent";

// The target's value as the command line names it ("xg", "gm", "gs").
struct TargetValue {
  Target target;
  std::string_view text;
};
constexpr TargetValue kTargetValues[] = {{Target::Xg, "xg"}, {Target::Gm, "gm"}, {Target::Gs, "gs"}};

// A value written by hand that names no target leaves the song as XG: the
// file is then made as it has always been.
Target ParseTarget(std::string_view value) {
  for (const TargetValue& v : kTargetValues) {
    if (v.text == value) return v.target;
  }
  return Target::Xg;
}

std::string_view TargetText(Target target) {
  for (const TargetValue& v : kTargetValues) {
    if (v.target == target) return v.text;
  }
  return kTargetValues[0].text;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

void AppendRecent(SettingsRecord& r, std::string_view name) {
  if (name.empty() || HasLineBreak(name) || r.recentFiles.size() >= kMaxRecentFiles) return;
  for (const std::string& known : r.recentFiles) {
    if (known == name) return;
  }
  r.recentFiles.emplace_back(name);
}

// The name=value lines after line 15. Lines without "=" and unknown names are
// skipped, so a newer version's file still loads; the fields that no line
// names keep their defaults.
void ParseNamedLines(std::string_view text, SettingsRecord& r) {
  r.songOutput = 0;
  r.target = Target::Xg;
  r.midiPort.clear();
  r.recentFiles.clear();
  LineCursor lines(text);
  for (int line = 1; line <= kLastLine; ++line) {
    if (!lines.Next()) return;
  }
  while (const std::optional<std::string_view> line = lines.Next()) {
    const size_t eq = line->find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line->substr(0, eq);
    const std::string_view value = line->substr(eq + 1);
    if (key == kSongOutputKey) {
      r.songOutput = ParseInteger(value) == 1 ? 1 : 0;
    } else if (key == kTargetKey) {
      r.target = ParseTarget(value);
    } else if (key == kMidiPortKey) {
      r.midiPort = value;
    } else if (key == kRecentKey) {
      AppendRecent(r, value);
    }
  }
}

std::string FormatSettings(const SettingsRecord& r) {
  std::string out(kTag);
  out += "\r\n";
  for (int line = kFirstValueLine; line <= kLastLine; ++line) {
    out += std::to_string(SettingsLineValue(r, line));
    out += "\r\n";
  }
  auto named = [&out](std::string_view key, std::string_view value) {
    out.append(key).append("=").append(value).append("\r\n");
  };
  // Only what differs from the defaults, so a record of defaults writes the
  // classic file alone.
  if (r.songOutput == 1) named(kSongOutputKey, "1");
  if (r.target != Target::Xg) named(kTargetKey, TargetText(r.target));
  if (!r.midiPort.empty() && !HasLineBreak(r.midiPort)) named(kMidiPortKey, r.midiPort);
  size_t recent = 0;
  for (const std::string& name : r.recentFiles) {
    if (name.empty() || HasLineBreak(name) || recent == kMaxRecentFiles) continue;
    named(kRecentKey, name);
    ++recent;
  }
  return out;
}

std::string QuoteForMessage(std::string_view line) {
  std::string quoted;
  if (line.size() <= kMaxQuoted) {
    quoted = line;
  } else {
    size_t cut = kMaxQuoted;
    // Cut before a UTF-8 continuation byte would split a character.
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    quoted = std::string(line.substr(0, cut)) + "...";
  }
  // A NUL byte would end the message text there; it is shown as '?'.
  for (char& c : quoted) {
    if (c == '\0') c = '?';
  }
  return quoted;
}

std::string_view FirstLine(const std::string& text) {
  LineCursor lines(text);
  return lines.Next().value_or(std::string_view{});
}

}  // namespace

uint32_t SettingsLineValue(const SettingsRecord& r, int line) {
  switch (line) {
    case 2: return r.windowTop;
    case 3: return r.windowLeft;
    case 4: return r.windowWidth;
    case 5: return r.windowHeight;
    case 13: return static_cast<uint32_t>(r.viewMode);
    case 14: return r.includeUnconvertible;
    case 15: return r.formalOutput;
    default: return line >= 6 && line <= 12 ? r.colWidths[static_cast<size_t>(line - 5)] : 0;
  }
}

void KeepColumnWidths(SettingsRecord& r, const std::array<uint16_t, 6>& widths) {
  for (size_t c = 0; c < widths.size(); ++c) r.colWidths[c + 1] = std::min(widths[c], kMaxColumnWidth);
}

SettingsRecord CreationSettings(uint16_t column7Width) {
  SettingsRecord r;
  r.windowTop = 40;
  r.windowLeft = 40;
  r.windowWidth = 520;
  r.windowHeight = 270;
  r.colWidths = {0, 35, 35, 35, 20, 100, 80, column7Width};
  r.viewMode = ViewMode::SysEx;
  r.includeUnconvertible = 1;
  r.formalOutput = 1;
  return r;
}

std::string SettingsPath(const std::string& startDir) { return Utf8FromPath(SettingsFsPath(startDir)); }

void RememberRecentFile(SettingsRecord& record, const std::string& fileName) {
  if (fileName.empty() || HasLineBreak(fileName)) return;
  std::erase(record.recentFiles, fileName);
  record.recentFiles.insert(record.recentFiles.begin(), fileName);
  if (record.recentFiles.size() > kMaxRecentFiles) record.recentFiles.resize(kMaxRecentFiles);
}

void ParseSettingsText(const std::string& text, SettingsRecord& record, uint16_t column7Width) {
  ParseNamedLines(text, record);
  LineCursor lines(text);
  lines.Next();  // the tag line, checked by the caller
  for (int line = kFirstValueLine; line <= kLastLine; ++line) {
    const std::optional<std::string_view> s = lines.Next();
    const std::optional<int64_t> v = s ? ParseInteger(*s) : std::nullopt;
    if (!v) {
      // The window must still open complete, so what could not be read
      // falls back to the values of a fresh file; the next save then writes
      // a good one.
      ApplyCreationFrom(record, line, column7Width);
      throw SettingsError("'" + QuoteForMessage(s.value_or(std::string_view{})) + "' は整数ではありません");
    }
    StoreLine(record, line, *v);
  }
}

void SaveSettings(const std::string& startDir, SettingsRecord& record, const WindowFrame& frame,
                  uint16_t column7Width) {
  const fs::path path = SettingsFsPath(startDir);
  record.windowTop = static_cast<uint16_t>(frame.top);
  record.windowLeft = static_cast<uint16_t>(frame.left);
  record.windowWidth = static_cast<uint16_t>(frame.width);
  record.windowHeight = static_cast<uint16_t>(frame.height);
  if (!FileExists(path)) {
    // Column 7's grid width is kept: the window fits that column to the grid
    // anyway, so its stored width has no visible effect.
    ApplyCreation(record, column7Width);
  }
  WriteFileReplacing(path, FormatSettings(record));
}

void LoadSettings(const std::string& startDir, SettingsRecord& record, uint16_t column7) {
  const fs::path path = SettingsFsPath(startDir);
  std::string text;
  try {
    // A missing file gets the creation values whatever the frame.
    if (!FileExists(path)) SaveSettings(startDir, record, WindowFrame{}, column7);
    text = ReadSettingsFile(path);
    if (FirstLine(text) != kTag) {
      // An unrecognised file (another format, an empty file, a tag with
      // trailing blanks) gives way to a fresh one. It is replaced in one step
      // instead of deleted first: the result is the same, a failed write
      // leaves the old file where it was, and a file that cannot be deleted
      // still ends up with the creation values rather than the record's.
      ApplyCreation(record, column7);
      WriteFileReplacing(path, FormatSettings(record));
      text = ReadSettingsFile(path);
    }
  } catch (const IoError&) {
    ApplyCreation(record, column7);
    throw;
  }
  ParseSettingsText(text, record, column7);
}

}  // namespace mertovan
