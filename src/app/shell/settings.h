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

std::string SettingsPath(const std::string& startDir);

// Fills `record` from the file, writing the file first when it is missing or
// its tag line is wrong. On a bad or missing value line it still leaves every
// field set (creation values for the fields not read) and then throws
// SettingsError; file failures throw IoError (model/events.h).
void LoadSettings(const std::string& startDir, SettingsRecord& record, const SettingsHost& host);

// Writes the 15 lines; the geometry comes from the host. Throws IoError.
void SaveSettings(const std::string& startDir, SettingsRecord& record, const SettingsHost& host);

// The settings text as parsed from a file's contents, for tests and fuzzing:
// the same rules as LoadSettings after the tag check.
void ParseSettingsText(const std::string& text, SettingsRecord& record);

}  // namespace mertovan
