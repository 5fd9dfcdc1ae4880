// The settings file "mertovan.ini" in the start-up folder: window geometry,
// column widths, the listing's view and the two convert options, one decimal
// number per line under the tag line "MERTOVAN1".
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mertovan {

struct SettingsRecord {
  uint16_t windowTop = 0;
  uint16_t windowLeft = 0;
  uint16_t windowWidth = 0;
  uint16_t windowHeight = 0;
  uint8_t includeUnconvertible = 0;
  uint8_t formalOutput = 0;
  std::array<uint16_t, 8> colWidths{};  // element 0 is never loaded or saved
  uint8_t viewMode = 0;                 // 1 SysEx view, 0 CC view
  std::string midiPort;                 // the chosen MIDI output, "API: port name"; empty: the default
};

// What saving takes from the main window.
class SettingsHost {
 public:
  virtual ~SettingsHost() = default;
  virtual int WindowTop() const = 0;
  virtual int WindowLeft() const = 0;
  virtual int WindowWidth() const = 0;
  virtual int WindowHeight() const = 0;
  virtual int GridColumnWidth(int column) const = 0;  // the grid's current width of a column
};

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

// startDir joined with "mertovan.ini" by the platform's separator (a root
// folder gives "/mertovan.ini", not "//mertovan.ini"). UTF-8 in and out.
std::string SettingsPath(const std::string& startDir);

// Fills `record` from the file, writing the file first when it is missing or
// its tag line is wrong. Whatever happens, every field is set when it returns
// or throws: a bad or missing value line throws SettingsError after giving the
// fields from that line on their creation values; a file failure throws
// IoError (model/file_io.h) with the record at creation values for everything
// not read. Lines 13 to 15 are normalised: view 0 stays 0, anything else is 1;
// an option 1 stays 1, anything else is 0.
void LoadSettings(const std::string& startDir, SettingsRecord& record, const SettingsHost& host);

// Writes the 15 lines; the geometry comes from the host (low 16 bits). When
// the file does not exist it writes the creation values instead (column 7 from
// the host's grid). The old file is replaced only once the new one is
// complete, so a failed save leaves it as it was. Throws IoError.
void SaveSettings(const std::string& startDir, SettingsRecord& record, const SettingsHost& host);

// The value lines of a settings file's contents (line 1 is skipped, not
// checked), by the same rules as LoadSettings: LF or CR LF line ends, lines
// after 15 ignored, normalisation of lines 13 to 15, and on a bad or missing
// line SettingsError after setting that line's field and all later ones to
// their creation values (`column7Width` for column 7). Safe on any input.
void ParseSettingsText(const std::string& text, SettingsRecord& record,
                       uint16_t column7Width = kDefaultColumn7Width);

}  // namespace mertovan
