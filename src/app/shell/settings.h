// The settings file "mertovan.ini" in the start-up folder: window geometry,
// column widths, the listing's view and the two convert options, one decimal
// number per line under the tag line "MERTOVAN1" (15 lines in all). Newer
// settings follow as "name=value" lines: the song option and the synthesizer
// the song is made for, the chosen MIDI output port and the recent files.
// A file of the 15 lines alone loads with their defaults; names this version
// does not know are skipped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/listing.h"
#include "writer/target.h"

namespace mertovan {

struct SettingsRecord {
  uint16_t windowTop = 0;
  uint16_t windowLeft = 0;
  uint16_t windowWidth = 0;
  uint16_t windowHeight = 0;
  uint8_t includeUnconvertible = 0;
  uint8_t formalOutput = 0;
  std::array<uint16_t, 8> colWidths{};  // element 0 is never loaded or saved
  ViewMode viewMode = ViewMode::Cc;     // line 13: 1 SysEx view, 0 CC view
  // After the classic lines:
  uint8_t songOutput = 0;                // the convert dialog's "Keep the song" (line "songOutput=")
  // The convert dialog's "Target": the synthesizer a kept song is made for
  // (line "target=xg", "gm" or "gs"; anything else is XG).
  Target target = Target::Xg;
  std::string midiPort;                  // name of the chosen MIDI output port, "" for the default
  std::vector<std::string> recentFiles;  // most recent first, at most kMaxRecentFiles
};

inline constexpr size_t kMaxRecentFiles = 8;

// The widest a stored column may be: the main window's greatest width. A
// wider column would push its own border out of the grid, where it could
// not be dragged back.
inline constexpr uint16_t kMaxColumnWidth = 1200;

// Keeps the grid's widths of columns 1 to 6 as the user left them, for the
// classic lines 6 to 11; a column dragged wider than kMaxColumnWidth is kept
// at that width, so that it comes back where it can be dragged.
void KeepColumnWidths(SettingsRecord& record, const std::array<uint16_t, 6>& widths);

// The main window's outer frame as saving takes it.
struct WindowFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Puts `fileName` at the head of the recent files, once, and keeps at most
// kMaxRecentFiles. A name holding a line break cannot be stored and is skipped.
void RememberRecentFile(SettingsRecord& record, const std::string& fileName);

// A value line that is not a decimal number (or is missing); the text is the
// program's message "'<line>' は整数ではありません".
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The grid's width of column 7 before the window has laid it out; this is
// what a first start writes on line 12.
inline constexpr uint16_t kDefaultColumn7Width = 32;

// The values a newly created file holds: window at 40,40 sized 520x270,
// columns 1 to 6 at 35 35 35 20 100 80, column 7 as given, SysEx view, both
// convert options on.
SettingsRecord CreationSettings(uint16_t column7Width);

// The number classic line `line` (2 to 15) of the file holds for `record`;
// 0 for any other line.
uint32_t SettingsLineValue(const SettingsRecord& record, int line);

// startDir joined with "mertovan.ini" by the platform's separator (a root
// folder gives "/mertovan.ini", not "//mertovan.ini"). UTF-8 in and out.
std::string SettingsPath(const std::string& startDir);

// Fills `record` from the file, writing the file first when it is missing or
// its tag line is wrong (column 7 then gets `column7Width`, the grid's width). Whatever happens, every field is set when it returns
// or throws: a bad or missing value line throws SettingsError after giving the
// fields from that line on their creation values; a file failure throws
// IoError (model/file_io.h) with the record at creation values for everything
// not read. Lines 13 to 15 are normalised: view 0 stays 0, anything else is 1;
// an option 1 stays 1, anything else is 0.
void LoadSettings(const std::string& startDir, SettingsRecord& record, uint16_t column7Width);

// Writes the 15 lines and the name=value lines; the geometry comes from
// `frame` (low 16 bits). When the file does not exist it writes the creation
// values of the classic lines and the song options instead (column 7:
// `column7Width`); the port and the recent files are kept. The old file is
// replaced only once the new one is complete, so a failed save leaves it as
// it was. Throws IoError.
void SaveSettings(const std::string& startDir, SettingsRecord& record, const WindowFrame& frame,
                  uint16_t column7Width);

// The value lines of a settings file's contents (line 1 is skipped, not
// checked), by the same rules as LoadSettings: LF or CR LF line ends,
// normalisation of lines 13 to 15, and on a bad or missing line SettingsError
// after setting that line's field and all later ones to their creation values
// (`column7Width` for column 7). The name=value lines after line 15 are read
// first, so a bad classic line does not lose them; fields they do not name get
// their defaults. Safe on any input.
void ParseSettingsText(const std::string& text, SettingsRecord& record,
                       uint16_t column7Width = kDefaultColumn7Width);

}  // namespace mertovan
