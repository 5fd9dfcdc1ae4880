#include "app/shell/settings.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model/file_io.h"
#include "support/scratch_dir.h"

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;
using mertovan::IoError;
using mertovan::SettingsError;
using mertovan::SettingsRecord;
using mertovan::ViewMode;

namespace {

constexpr const char* kFirstStartFile =
    "MERTOVAN1\r\n40\r\n40\r\n520\r\n270\r\n35\r\n35\r\n35\r\n20\r\n100\r\n80\r\n32\r\n1\r\n1\r\n1\r\n";

// What the window hands to loading and saving: its frame and the grid's widths.
struct FakeHost {
  int top = 0, left = 0, width = 640, height = 480;
  std::array<int, 8> columns{64, 64, 64, 64, 64, 64, 64, 32};
};

void Load(const std::string& dir, SettingsRecord& r, const FakeHost& h) {
  mertovan::LoadSettings(dir, r, static_cast<uint16_t>(h.columns[7]));
}
void Save(const std::string& dir, SettingsRecord& r, const FakeHost& h) {
  mertovan::SaveSettings(dir, r, {h.left, h.top, h.width, h.height}, static_cast<uint16_t>(h.columns[7]));
}

class SettingsFile : public ::testing::Test {
 protected:
  std::string Dir() const { return dir_.string(); }
  fs::path File() const { return dir_ / "mertovan.ini"; }
  void Write(const std::string& text) const { std::ofstream(File(), std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  mertovan::test::ScratchDir scratch_;
  const fs::path& dir_ = scratch_.path();
  FakeHost host_;
};

// The fifteen lines of a file with the given value lines, CR LF ended.
std::string FileWith(const std::vector<std::string>& values, const std::string& tag = "MERTOVAN1") {
  std::string s = tag + "\r\n";
  for (const auto& v : values) s += v + "\r\n";
  return s;
}

const std::vector<std::string> kSample = {"200", "100", "600", "300", "11", "12", "13",
                                          "14",  "15",  "16",  "17",  "0",  "0",  "1"};

// The window's place and size a record holds: top, left, width, height.
std::array<int, 4> FrameOf(const SettingsRecord& r) {
  return {r.windowTop, r.windowLeft, r.windowWidth, r.windowHeight};
}

void ExpectSample(const SettingsRecord& r) {
  EXPECT_EQ(FrameOf(r), (std::array{200, 100, 600, 300}));
  EXPECT_EQ(r.colWidths, (std::array<uint16_t, 8>{0, 11, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(r.viewMode, ViewMode::Cc);
  EXPECT_EQ(r.includeUnconvertible, 0);
  EXPECT_EQ(r.formalOutput, 1);
}

void ExpectCreation(const SettingsRecord& r, uint16_t column7) {
  const SettingsRecord c = mertovan::CreationSettings(column7);
  EXPECT_EQ(FrameOf(r), FrameOf(c));
  EXPECT_EQ(r.colWidths, c.colWidths);
  EXPECT_EQ(r.viewMode, ViewMode::SysEx);
  EXPECT_EQ(r.includeUnconvertible, 1);
  EXPECT_EQ(r.formalOutput, 1);
}

}  // namespace

TEST(SettingsPath, JoinsWithOneSeparator) {
  EXPECT_EQ(mertovan::SettingsPath("/"), "/mertovan.ini");
  EXPECT_EQ(mertovan::SettingsPath("/home/user"), "/home/user/mertovan.ini");
  EXPECT_EQ(mertovan::SettingsPath("/home/user/"), "/home/user/mertovan.ini");
  EXPECT_EQ(mertovan::SettingsPath("/tmp/ファイル"), "/tmp/ファイル/mertovan.ini");
}

TEST_F(SettingsFile, FirstStartWritesTheCreationFile) {
  SettingsRecord r;
  host_.top = 333;  // the window's own geometry does not reach a new file
  Load(Dir(), r, host_);
  EXPECT_EQ(Read(), kFirstStartFile);
  ExpectCreation(r, 32);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"mertovan.ini"});
}

TEST_F(SettingsFile, UnrecognisedTagIsReplacedByCreationValues) {
  for (const std::string tag : {"MERTOVAN2", "MERTOVAN1 ", "mertovan1", "", "\xEF\xBB\xBFMERTOVAN1"}) {
    SCOPED_TRACE("tag '" + tag + "'");
    Write(FileWith(kSample, tag));
    SettingsRecord r;
    Load(Dir(), r, host_);
    EXPECT_EQ(Read(), kFirstStartFile);
    ExpectCreation(r, 32);
  }
  Write("");
  SettingsRecord r;
  Load(Dir(), r, host_);
  EXPECT_EQ(Read(), kFirstStartFile);
}

TEST_F(SettingsFile, ReadsCrLfAndLfFiles) {
  for (const bool crlf : {true, false}) {
    std::string text = FileWith(kSample);
    if (!crlf) std::erase(text, '\r');
    Write(text);
    SettingsRecord r;
    Load(Dir(), r, host_);
    ExpectSample(r);
    EXPECT_EQ(Read(), text);  // loading a good file leaves it alone
  }
  // The last line may lack its line end.
  std::string text = FileWith(kSample);
  text.resize(text.size() - 2);
  Write(text);
  SettingsRecord r;
  Load(Dir(), r, host_);
  ExpectSample(r);
}

TEST_F(SettingsFile, CloseSavesGeometryViewAndOptionsButNotDraggedWidths) {
  SettingsRecord r;
  Load(Dir(), r, host_);
  // The user dragged every column border.
  host_ = {.top = 200, .left = 100, .width = 700, .height = 400, .columns = {0, 90, 90, 90, 90, 90, 90, 90}};
  r.viewMode = ViewMode::Cc;
  r.formalOutput = 0;
  Save(Dir(), r, host_);
  EXPECT_EQ(Read(),
            "MERTOVAN1\r\n200\r\n100\r\n700\r\n400\r\n35\r\n35\r\n35\r\n20\r\n100\r\n80\r\n32\r\n0\r\n1\r\n0\r\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"mertovan.ini"});

  SettingsRecord back;
  Load(Dir(), back, host_);
  EXPECT_EQ(FrameOf(back), (std::array{200, 100, 700, 400}));
  EXPECT_EQ(back.viewMode, ViewMode::Cc);
  EXPECT_EQ(back.formalOutput, 0);
  EXPECT_EQ(back.colWidths, r.colWidths);
}

TEST_F(SettingsFile, SaveCutsGeometryToSixteenBitsAndRoundTrips) {
  Write(kFirstStartFile);
  SettingsRecord r;
  host_ = {.top = -10, .left = 65536 + 7, .width = 65535, .height = 0};
  r.colWidths = {0, 0, 1, 65535, 4, 5, 6, 7};
  Save(Dir(), r, host_);
  SettingsRecord back;
  Load(Dir(), back, host_);
  EXPECT_EQ(FrameOf(back), (std::array{65526, 7, 65535, 0}));
  EXPECT_EQ(back.colWidths, r.colWidths);
}

// A file the user keeps private stays private.
TEST_F(SettingsFile, SaveKeepsThePermissionsOfTheFile) {
  Write(kFirstStartFile);
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  SettingsRecord r;
  Save(Dir(), r, host_);
  EXPECT_EQ(fs::status(File()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(Read(), kFirstStartFile);
}

TEST_F(SettingsFile, SaveWithTheFileGoneWritesCreationValues) {
  SettingsRecord r;
  Load(Dir(), r, host_);
  fs::remove(File());
  host_.top = 500;
  host_.columns[7] = 77;
  r.viewMode = ViewMode::Cc;
  Save(Dir(), r, host_);
  std::string expected = kFirstStartFile;
  expected.replace(expected.find("32\r\n"), 2, "77");
  EXPECT_EQ(Read(), expected);
  ExpectCreation(r, 77);
}

TEST_F(SettingsFile, ExtraLinesAreIgnoredAndDropAtTheNextSave) {
  std::vector<std::string> lines = kSample;
  lines.insert(lines.end(), {"junk", "99", ""});
  Write(FileWith(lines));
  SettingsRecord r;
  Load(Dir(), r, host_);
  ExpectSample(r);
  host_.top = 200;
  host_.left = 100;
  host_.width = 600;
  host_.height = 300;
  Save(Dir(), r, host_);
  EXPECT_EQ(Read(), FileWith(kSample));
}

// The name=value lines after the classic fifteen: read whatever their order,
// unknown names and junk skipped, defaults where a name is missing, written
// back in a fixed order, and kept when a classic line is bad.
TEST_F(SettingsFile, NamedLinesAfterTheClassicOnes) {
  SettingsRecord r;
  r.songOutput = 1;
  r.midiPort = "stale";
  r.recentFiles = {"stale.mid"};
  Write(FileWith(kSample));
  Load(Dir(), r, host_);
  EXPECT_EQ(r.songOutput, 0);
  EXPECT_EQ(r.midiPort, "");
  EXPECT_TRUE(r.recentFiles.empty());

  std::vector<std::string> lines = kSample;
  lines.insert(lines.end(), {"recent=/a/one.mid", "colour=blue", "junk", "midiPort=JACK: out=1 ",
                             "songOutput=1", "recent=", "recent=/a/one.mid"});
  for (int i = 2; i <= 9; ++i) lines.push_back("recent=/a/" + std::to_string(i) + ".mid");
  Write(FileWith(lines));
  Load(Dir(), r, host_);
  ExpectSample(r);
  EXPECT_EQ(r.songOutput, 1);
  EXPECT_EQ(r.midiPort, "JACK: out=1 ");
  const std::vector<std::string> recent = {"/a/one.mid", "/a/2.mid", "/a/3.mid", "/a/4.mid",
                                           "/a/5.mid",   "/a/6.mid", "/a/7.mid", "/a/8.mid"};
  EXPECT_EQ(r.recentFiles, recent);

  host_ = {200, 100, 600, 300, {}};
  Save(Dir(), r, host_);
  std::string expected = FileWith(kSample) + "songOutput=1\r\nmidiPort=JACK: out=1 \r\n";
  for (const std::string& f : recent) expected += "recent=" + f + "\r\n";
  EXPECT_EQ(Read(), expected);

  // A bad classic line falls back as ever; the named lines still count.
  lines[2] = "x";
  SettingsRecord bad;
  EXPECT_THROW(mertovan::ParseSettingsText(FileWith(lines), bad), SettingsError);
  EXPECT_EQ(bad.windowWidth, 520);
  EXPECT_EQ(bad.midiPort, "JACK: out=1 ");
  EXPECT_EQ(bad.recentFiles.size(), 8u);
}

// The convert dialog's target: the three names as the command line writes
// them, anything else XG, which a save then leaves out; the classic lines
// keep their bytes before it.
TEST_F(SettingsFile, TargetLineTakesTheThreeNamesAndAnythingElseAsXg) {
  using mertovan::Target;
  struct Case {
    std::string line;
    Target expected;
  };
  const Case cases[] = {
      {"target=gm", Target::Gm}, {"target=gs", Target::Gs},  {"target=xg", Target::Xg},
      {"target=GM", Target::Xg}, {"target= gs", Target::Xg}, {"target=gm2", Target::Xg},
      {"target=", Target::Xg},   {"target=1", Target::Xg},   {"Target=gs", Target::Xg},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> lines = kSample;
    lines.push_back(c.line);
    Write(FileWith(lines));
    SettingsRecord r;
    r.target = c.expected == Target::Gm ? Target::Gs : Target::Gm;  // what a file without the line must not keep
    Load(Dir(), r, host_);
    ExpectSample(r);
    EXPECT_EQ(r.target, c.expected);
    host_ = {200, 100, 600, 300, {}};
    Save(Dir(), r, host_);
    EXPECT_EQ(Read(), FileWith(kSample) + (c.expected == Target::Xg ? "" : c.line + "\r\n"));
  }
}

// The widths the user gave columns 1 to 6 go to the classic lines 6 to 11; a
// column dragged past the widest a column can be comes back at that width.
TEST_F(SettingsFile, DraggedWidthsAreSavedInTheClassicLines) {
  Write(FileWith(kSample));
  SettingsRecord r;
  Load(Dir(), r, host_);
  host_ = {200, 100, 600, 300, {}};
  mertovan::KeepColumnWidths(r, {40, 12, 13, 14, 2000, 16});
  Save(Dir(), r, host_);
  SettingsRecord back;
  Load(Dir(), back, host_);
  EXPECT_EQ(back.colWidths, (std::array<uint16_t, 8>{0, 40, 12, 13, 14, 1200, 16, 17}));
  std::vector<std::string> lines = kSample;
  lines[4] = "40";
  lines[8] = "1200";
  EXPECT_EQ(Read(), FileWith(lines));
}

TEST(SettingsValues, RememberRecentFileMovesToTheFrontOnceAndKeepsEight) {
  SettingsRecord r;
  for (int i = 1; i <= 9; ++i) mertovan::RememberRecentFile(r, std::to_string(i));
  EXPECT_EQ(r.recentFiles, (std::vector<std::string>{"9", "8", "7", "6", "5", "4", "3", "2"}));
  mertovan::RememberRecentFile(r, "5");
  mertovan::RememberRecentFile(r, "line\nbreak");
  mertovan::RememberRecentFile(r, "");
  EXPECT_EQ(r.recentFiles, (std::vector<std::string>{"5", "9", "8", "7", "6", "4", "3", "2"}));
}

// What one value line loads as: the field keeps the low bits of the number,
// and the flags are normalised to 0 or 1 by the number as written.
TEST(SettingsValues, LineConversions) {
  struct Case {
    int line;
    std::string text;
    uint32_t expected;
  };
  const Case cases[] = {
      {6, "70000", 4464},       {2, "65535", 65535},      {2, "65536", 0},
      {2, "-10", 65526},        {3, "+7", 7},             {4, "007", 7},
      {5, " \t42 ", 42},        {12, "2147483647", 65535}, {12, "-2147483648", 0},
      {13, "0", 0},             {13, "1", 1},             {13, "5", 1},
      {13, "256", 1},           {13, "-0", 0},            {14, "1", 1},
      {14, "2", 0},             {14, "0", 0},             {15, "257", 0},
      {15, "-1", 0},            {15, "+1", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line " + std::to_string(c.line) + " '" + c.text + "'");
    std::vector<std::string> values(14, "3");
    values[static_cast<size_t>(c.line - 2)] = c.text;
    SettingsRecord r;
    ASSERT_NO_THROW(mertovan::ParseSettingsText(FileWith(values), r));
    const uint32_t got = c.line <= 5    ? std::array<uint32_t, 4>{r.windowTop, r.windowLeft, r.windowWidth,
                                                                  r.windowHeight}[static_cast<size_t>(c.line - 2)]
                         : c.line <= 12 ? r.colWidths[static_cast<size_t>(c.line - 5)]
                         : c.line == 13 ? uint32_t(r.viewMode)
                         : c.line == 14 ? r.includeUnconvertible
                                        : r.formalOutput;
    EXPECT_EQ(got, c.expected);
  }
}

// A bad line stops loading there: earlier fields keep what was read, that
// line's field and all later ones get the values of a fresh file.
TEST(SettingsValues, BadLineReportsItAndFallsBackFromThere) {
  for (const std::string bad : {"abc", "", " ", "4O", "1 2", "0x10", "1.5", "--1", "+", "- 1", "2147483648",
                                "-2147483649", "99999999999999999999999", "1\r", "\xEF\xBC\x91"}) {
    SCOPED_TRACE("'" + bad + "'");
    std::vector<std::string> values = kSample;
    values[5] = bad;  // line 7, column 2
    SettingsRecord r;
    try {
      mertovan::ParseSettingsText(FileWith(values), r, 44);
      ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + bad + "' は整数ではありません");
    }
    EXPECT_EQ(r.windowTop, 200);
    EXPECT_EQ(r.windowHeight, 300);
    EXPECT_EQ(r.colWidths, (std::array<uint16_t, 8>{0, 11, 35, 35, 20, 100, 80, 44}));
    EXPECT_EQ(r.viewMode, ViewMode::SysEx);
    EXPECT_EQ(r.includeUnconvertible, 1);
    EXPECT_EQ(r.formalOutput, 1);
  }
}

TEST(SettingsValues, HugeBadLineIsQuotedShort) {
  std::vector<std::string> values = kSample;
  values[0] = std::string(10000, 'x');
  SettingsRecord r;
  try {
    mertovan::ParseSettingsText(FileWith(values), r);
    FAIL() << "no error";
  } catch (const SettingsError& e) {
    EXPECT_LT(std::string(e.what()).size(), 400u);
    EXPECT_EQ(std::string(e.what()).substr(0, 5), "'xxxx");
  }
}

TEST_F(SettingsFile, ShortFileLoadsWhatItHasAndReportsTheMissingLine) {
  const std::vector<std::string> first(kSample.begin(), kSample.begin() + 9);  // lines 2 to 10
  Write(FileWith(first));
  host_.columns[7] = 50;
  SettingsRecord r;
  try {
    Load(Dir(), r, host_);
    FAIL() << "no error";
  } catch (const SettingsError& e) {
    EXPECT_STREQ(e.what(), "'' は整数ではありません");
  }
  EXPECT_EQ(r.windowTop, 200);
  EXPECT_EQ(r.colWidths, (std::array<uint16_t, 8>{0, 11, 12, 13, 14, 15, 80, 50}));
  EXPECT_EQ(r.viewMode, ViewMode::SysEx);
  EXPECT_EQ(r.formalOutput, 1);
  EXPECT_EQ(Read(), FileWith(first));  // not repaired at load

  // Closing then writes a complete file.
  Save(Dir(), r, host_);
  SettingsRecord back;
  EXPECT_NO_THROW(Load(Dir(), back, host_));
  EXPECT_EQ(back.colWidths, r.colWidths);
}

TEST_F(SettingsFile, FolderThatCannotHoldTheFileGivesIoError) {
  Write(kFirstStartFile);
  const std::string underAFile = (File() / "sub").string();
  const std::string missing = (dir_ / "no" / "such").string();
  for (const std::string& startDir : {underAFile, missing}) {
    SCOPED_TRACE(startDir);
    SettingsRecord r;
    r.viewMode = ViewMode::Cc;
    try {
      Load(startDir, r, host_);
      FAIL() << "no error";
    } catch (const IoError& e) {
      EXPECT_NE(std::string(e.what()).find(mertovan::SettingsPath(startDir)), std::string::npos) << e.what();
    }
    ExpectCreation(r, 32);
    EXPECT_THROW(Save(startDir, r, host_), IoError);
  }
  EXPECT_EQ(Read(), kFirstStartFile);
}

TEST_F(SettingsFile, FolderInTheFilesPlaceGivesIoErrorAndStays) {
  fs::create_directories(File() / "keep");
  SettingsRecord r;
  EXPECT_THROW(Load(Dir(), r, host_), IoError);
  ExpectCreation(r, 32);
  EXPECT_THROW(Save(Dir(), r, host_), IoError);
  EXPECT_TRUE(fs::is_directory(File() / "keep"));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"mertovan.ini"});  // no temporary file left
}

#if defined(__unix__) || defined(__APPLE__)
// A write that fails half way (here: a file size limit, which binds root too)
// must leave the previous settings whole.
TEST_F(SettingsFile, FailedSaveLeavesTheOldFileIntact) {
  Write(FileWith(kSample));
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  SettingsRecord r;
  bool threw = false;
  try {
    Save(Dir(), r, host_);
  } catch (const IoError& e) {
    threw = true;
    EXPECT_NE(std::string(e.what()).find("mertovan.ini"), std::string::npos);
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(Read(), FileWith(kSample));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"mertovan.ini"});
}
#endif

// Whatever the text, parsing ends in a record or a SettingsError, and the
// flags are always 0 or 1.
TEST(SettingsValues, AnyTextParsesOrFailsCleanly) {
  const std::string alphabet = "0123456789+- \t\r\nx\xff";
  std::mt19937 rng(12345);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    const size_t n = rng() % 80;
    for (size_t k = 0; k < n; ++k) text += alphabet[rng() % alphabet.size()];
    SettingsRecord r;
    r.viewMode = ViewMode{7};
    r.includeUnconvertible = 7;
    r.formalOutput = 7;
    try {
      mertovan::ParseSettingsText(text, r);
    } catch (const SettingsError&) {
    }
    ASSERT_LE(uint8_t(r.viewMode), 1) << text;
    ASSERT_LE(r.includeUnconvertible, 1) << text;
    ASSERT_LE(r.formalOutput, 1) << text;
  }
}
