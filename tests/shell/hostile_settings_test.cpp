// Settings files full of junk, and settings paths that are no file: loading
// always ends with every field set, a clear error where there is one, and no
// file but mertovan.ini created or changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/shell/settings.h"
#include "model/file_io.h"
#include "support/folder_snapshot.h"
#include "support/scratch_dir.h"

namespace mertovan {
namespace {

namespace fs = std::filesystem;
using test::Differences;
using test::TakeSnapshot;

constexpr uint16_t kHostColumn7 = 48;

// The window's frame and grid as loading and saving take them.
struct Host {
  WindowFrame frame{22, 11, 600, 400};
  uint16_t column7 = kHostColumn7;
};

void LoadSettings(const std::string& dir, SettingsRecord& r, const Host& h) {
  mertovan::LoadSettings(dir, r, h.column7);
}
void SaveSettings(const std::string& dir, SettingsRecord& r, const Host& h) {
  mertovan::SaveSettings(dir, r, h.frame, h.column7);
}

class Scratch : public test::ScratchDir {
 public:
  std::string Dir() const { return path().string(); }
  fs::path Ini() const { return path() / "mertovan.ini"; }
};

void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A record whose every field differs from the creation values.
SettingsRecord Scrambled() {
  SettingsRecord r;
  r.windowTop = r.windowLeft = r.windowWidth = r.windowHeight = 9999;
  r.colWidths.fill(9999);
  r.viewMode = ViewMode{7};
  r.formalOutput = r.includeUnconvertible = 7;
  return r;
}

const std::string kGood = "MERTOVAN1\r\n1\r\n2\r\n300\r\n200\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n0\r\n0\r\n0\r\n";

const unsigned kGoodValues[14] = {1, 2, 300, 200, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0};

enum class Result { Loaded, Recreated, Rejected };

struct JunkCase {
  const char* name;
  std::string text;
  Result result;
  int badLine;  // Rejected: the first line that gets its creation value
};

std::vector<JunkCase> JunkCases() {
  std::mt19937 rng(11);
  std::string noise(5000, '\0');
  for (char& c : noise) c = char(rng());
  std::string fiveGood = "MERTOVAN1\n1\n2\n300\n200\n5\n";
  std::string hugeLine = "MERTOVAN1\n" + std::string(1 << 20, '7') + "\n";
  std::string tenMegabytes = kGood + std::string(10 << 20, 'x');
  return {
      {"binary noise", noise, Result::Recreated, 0},
      {"the tag followed by a NUL", std::string("MERTOVAN1\0\r\n1\r\n", 15), Result::Recreated, 0},
      {"a byte order mark before the tag", "\xEF\xBB\xBF" + kGood, Result::Recreated, 0},
      {"carriage returns only", "MERTOVAN1\r1\r2\r3\r", Result::Recreated, 0},
      {"the tag in lower case", "mertovan1\n1\n", Result::Recreated, 0},
      {"the tag alone", "MERTOVAN1", Result::Rejected, 2},
      {"words instead of numbers", "MERTOVAN1\r\nleft\r\ntop\r\n", Result::Rejected, 2},
      {"junk after five good lines", fiveGood + "\x01\x02\x03\n", Result::Rejected, 7},
      {"a NUL inside a number", std::string("MERTOVAN1\n1\n2\n3") + '\0' + "\n", Result::Rejected, 4},
      {"a megabyte of digits on one line", hugeLine, Result::Rejected, 2},
      {"twenty digits", "MERTOVAN1\n1\n99999999999999999999\n", Result::Rejected, 3},
      {"blank lines", "MERTOVAN1\n\n\n\n", Result::Rejected, 2},
      {"a good file followed by ten megabytes of junk", tenMegabytes, Result::Loaded, 0},
      {"a good file followed by binary noise", kGood + noise, Result::Loaded, 0},
  };
}

TEST(HostileSettings, JunkFilesLoadToCompleteRecordsAndOnlyTheFileChanges) {
  const Host host;
  const SettingsRecord creation = CreationSettings(kHostColumn7);
  for (const JunkCase& c : JunkCases()) {
    SCOPED_TRACE(c.name);
    Scratch dir;
    WriteText(dir.Ini(), c.text);
    const auto before = TakeSnapshot(dir.path());
    SettingsRecord record = Scrambled();
    std::string error;
    try {
      LoadSettings(dir.Dir(), record, host);
    } catch (const SettingsError& e) {
      error = e.what();
    }
    const auto changes = Differences(before, TakeSnapshot(dir.path()));
    switch (c.result) {
      case Result::Loaded:
        EXPECT_EQ(error, "");
        EXPECT_EQ(changes, std::vector<std::string>{});
        for (int line = 2; line <= 15; ++line) {
          EXPECT_EQ(SettingsLineValue(record, line), kGoodValues[line - 2]) << line;
        }
        break;
      case Result::Recreated:
        // An unrecognised file gives way to a fresh one, in its place.
        EXPECT_EQ(error, "");
        EXPECT_EQ(changes, std::vector<std::string>{"changed mertovan.ini"});
        for (int line = 2; line <= 15; ++line) EXPECT_EQ(SettingsLineValue(record, line), SettingsLineValue(creation, line)) << line;
        break;
      case Result::Rejected: {
        EXPECT_NE(error.find("は整数ではありません"), std::string::npos) << error;
        // Only the line's beginning is quoted.
        EXPECT_LT(error.size(), 400u);
        EXPECT_EQ(changes, std::vector<std::string>{});
        for (int line = c.badLine; line <= 15; ++line) {
          EXPECT_EQ(SettingsLineValue(record, line), SettingsLineValue(creation, line)) << line;
        }
        for (int line = 2; line < c.badLine; ++line) EXPECT_NE(SettingsLineValue(record, line), 9999u) << line;
        break;
      }
    }
    // Whatever was loaded, the next save writes a file that loads cleanly
    // to the same record.
    SaveSettings(dir.Dir(), record, host);
    SettingsRecord again = Scrambled();
    EXPECT_NO_THROW(LoadSettings(dir.Dir(), again, host));
    for (int line = 2; line <= 15; ++line) EXPECT_EQ(SettingsLineValue(again, line), SettingsLineValue(record, line)) << line;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"mertovan.ini"});
  }
}

struct PathCase {
  const char* name;
  // Sets up the start folder inside the scratch folder; returns its path.
  std::string (*setUp)(const Scratch&);
  const char* error;  // part of the IoError text
  // Saving puts a fresh file in place of a pipe or a device: it is the
  // settings file's own name, and nothing else is touched.
  bool saveReplaces;
};

TEST(HostileSettings, SettingsPathsThatAreNoFile) {
  const PathCase cases[] = {
      {"mertovan.ini is a folder",
       [](const Scratch& d) {
         fs::create_directory(d.Ini());
         return d.Dir();
       },
       "settings file", false},
      {"the start folder is a regular file",
       [](const Scratch& d) {
         WriteText(d.path() / "file.txt", "hi");
         return (d.path() / "file.txt").string();
       },
       "Not a directory", false},
      {"the start folder does not exist", [](const Scratch& d) { return (d.path() / "gone").string(); },
       "No such file", false},
      // Opening a pipe would wait for a writer that never comes.
      {"mertovan.ini is a named pipe",
       [](const Scratch& d) {
         ::mkfifo(d.Ini().c_str(), 0644);
         return d.Dir();
       },
       "not a regular file", true},
      {"mertovan.ini is a device",
       [](const Scratch& d) {
         fs::create_symlink("/dev/zero", d.Ini());
         return d.Dir();
       },
       "not a regular file", true},
  };
  const Host host;
  const SettingsRecord creation = CreationSettings(kHostColumn7);
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch dir;
    const std::string start = c.setUp(dir);
    const auto before = TakeSnapshot(dir.path());
    SettingsRecord record = Scrambled();
    try {
      LoadSettings(start, record, host);
      ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
    for (int line = 2; line <= 15; ++line) EXPECT_EQ(SettingsLineValue(record, line), SettingsLineValue(creation, line)) << line;
    EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
    if (c.saveReplaces) {
      SaveSettings(start, record, host);
      EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{"changed mertovan.ini"});
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.Ini())));
    } else {
      EXPECT_THROW(SaveSettings(start, record, host), IoError);
      EXPECT_EQ(Differences(before, TakeSnapshot(dir.path())), std::vector<std::string>{});
    }
  }
}

TEST(HostileSettings, DanglingLinkAsTheSettingsFileIsReplacedByAFreshFile) {
  Scratch dir;
  fs::create_symlink(dir.path() / "elsewhere.ini", dir.Ini());
  const Host host;
  SettingsRecord record = Scrambled();
  LoadSettings(dir.Dir(), record, host);
  EXPECT_EQ(record.windowWidth, 520);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.Ini())));
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere.ini"));
}

// Seeds and kept fuzzing inputs: the parser always leaves the flags
// normalised and, on a bad line, the last line at its creation value.
TEST(HostileSettings, FuzzRegressionsAndSeedsParse) {
  const fs::path root = MERTOVAN_SOURCE_DIR;
  size_t count = 0;
  for (const fs::path& folder : {root / "tests/fuzz_regressions/settings", root / "fuzz/corpus/settings"}) {
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      SCOPED_TRACE(entry.path().string());
      SettingsRecord record = Scrambled();
      bool rejected = false;
      try {
        ParseSettingsText(ReadText(entry.path()), record, kHostColumn7);
      } catch (const SettingsError&) {
        rejected = true;
      }
      EXPECT_LE(uint8_t(record.viewMode), 1);
      EXPECT_LE(record.formalOutput, 1);
      EXPECT_LE(record.includeUnconvertible, 1);
      if (rejected) {
        EXPECT_EQ(record.formalOutput, 1);
      }
      ++count;
    }
  }
  EXPECT_GE(count, 5u);
}

}  // namespace
}  // namespace mertovan
