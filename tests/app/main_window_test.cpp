#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include "app/event_table_model.h"
#include "app/outputcc_form.h"
#include "app_fixture.h"

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;

using MainWindowTest = AppTest;

const std::vector<std::string> kFirstStartFile = {"MERTOVAN1\r", "40\r", "40\r", "520\r", "270\r",
                                                  "35\r",        "35\r", "35\r", "20\r",  "100\r",
                                                  "80\r",        "32\r", "1\r",  "1\r",   "1\r"};

std::vector<int> ColumnWidths(const Tmain_form& w) {
  std::vector<int> widths;
  for (int c = 0; c < 8; ++c) widths.push_back(Find<QTableView>(&w, "sysGrid")->columnWidth(c));
  return widths;
}

TEST_F(MainWindowTest, FirstStartCreatesTheSettingsFileAndOpensWithItsValues) {
  Tmain_form& w = Start();
  EXPECT_EQ(ReadLines(Dir() / "mertovan.ini"), kFirstStartFile);
  EXPECT_EQ(w.frameGeometry(), QRect(40, 40, 520, 270));
  EXPECT_EQ(w.windowTitle(), "Mertovan v0.6");
  EXPECT_EQ(w.StartDir(), Dir().string());
  EXPECT_TRUE(Component<QRadioButton>("rb_sysex")->isChecked());
  EXPECT_FALSE(Component<QRadioButton>("rb_cc")->isChecked());
  EXPECT_EQ(w.Settings().viewMode, ViewMode::SysEx);
  EXPECT_EQ(w.Settings().includeUnconvertible, 1);
  EXPECT_EQ(w.Settings().formalOutput, 1);
  // The grid is 488 wide; column 7 takes what columns 0 to 6 and 30 pixels leave.
  EXPECT_EQ(Grid()->width(), 488);
  EXPECT_EQ(ColumnWidths(w), (std::vector<int>{0, 35, 35, 35, 20, 100, 80, 153}));
  EXPECT_EQ(Header(7), "SystemExclusiveMessage");
  EXPECT_EQ(Header(1), "Bar");
  EXPECT_EQ(Header(6), "Value");
  ASSERT_EQ(DataRows(), 5);
  for (int r = 0; r < 5; ++r)
    for (int c = 1; c < 8; ++c) EXPECT_EQ(Cell(r, c), "") << r << "," << c;
  EXPECT_EQ(Grid()->currentIndex().row(), 0);
  EXPECT_TRUE(Component<QLineEdit>("e_filename")->text().isEmpty());
  EXPECT_TRUE(Component<QLineEdit>("e_filename")->isReadOnly());
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
}

TEST_F(MainWindowTest, MenuItemsShortcutsAndHiddenButtons) {
  Tmain_form& w = Start();
  struct Item {
    QAction* action;
    const char* text;
    QKeySequence shortcut;
  };
  const Item items[] = {
      {Action("L1"), "Load SMF(&L)", QKeySequence(Qt::CTRL | Qt::Key_L)},
      {Action("Output1"), "Output (&O)", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {Action("SendAll1"), "Send all to MIDI output", QKeySequence(Qt::CTRL | Qt::Key_M)},
      {Action("Exit1"), "Exit (&E)", QKeySequence()},
      {Action("SetupS1"), "Setup (&S)", QKeySequence(Qt::CTRL | Qt::Key_T)},
      {Action("Help"), "Help (&H)", QKeySequence(Qt::CTRL | Qt::Key_H)},
      {Action("Version1"), "Version (&V)", QKeySequence()},
  };
  for (const Item& item : items) {
    EXPECT_EQ(item.action->text(), item.text);
    EXPECT_EQ(item.action->shortcut(), item.shortcut) << item.text;
  }
  EXPECT_EQ(Component<QMenu>("File1")->title(), "File");
  EXPECT_EQ(Component<QMenu>("Setup1")->title(), "Setup");
  EXPECT_EQ(Component<QMenu>("Help1")->title(), "Help");
  // With no recent files, the File menu shows what it always had.
  QList<QAction*> file = Component<QMenu>("File1")->actions();
  file.removeIf([](const QAction* a) { return !a->isVisible(); });
  ASSERT_EQ(file.size(), 6);
  EXPECT_TRUE(file[1]->isSeparator());
  EXPECT_TRUE(file[4]->isSeparator());

  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(dialogs.openRequests.empty());

  Action("Version1")->trigger();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Mertovan v0.6");
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());

  EXPECT_FALSE(Component<QPushButton>("CCout")->isVisible());
  EXPECT_FALSE(Component<QPushButton>("SysExOut")->isVisible());
  EXPECT_EQ(Component<QPushButton>("CCout")->text(), "CCout");
  EXPECT_EQ(Component<QPushButton>("SysExOut")->text(), "SysExOut");
  EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainWindowTest, LoadingListsEveryMessageWithItsPositionPartAndBytes) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Start();
  Load(song);

  ASSERT_TRUE(messages.shown.empty()) << messages.shown.front().text;
  EXPECT_EQ(Component<QLineEdit>("e_filename")->text().toStdString(), song.string());
  EXPECT_EQ(Component<QLineEdit>("e_filename")->cursorPosition(), Component<QLineEdit>("e_filename")->text().size());
  ASSERT_EQ(DataRows(), 4);
  const std::vector<std::vector<QString>> expected = {
      {"1", "1", "0", "-", "XG System on", "0", "F0 43 10 4C 00 00 7E 00 F7 "},
      {"1", "2", "0", "1", "Volume", "100", "F0 43 10 4C 08 00 0B 64 F7 "},
      {"1", "2", "0", "2", "Program Number", "5", "F0 43 10 4C 08 01 03 05 F7 "},
      {"2", "2", "0", "3", "Pan", "64", "F0 43 10 4C 08 02 0E 40 F7 "},
  };
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(Cell(r, 0), QString::number(r + 1));
    for (int c = 1; c < 8; ++c) EXPECT_EQ(Cell(r, c), expected[size_t(r)][size_t(c - 1)]) << r << "," << c;
  }
  // The message without a controller equivalent is grey, in both views.
  const QAbstractItemModel* m = Grid()->model();
  EXPECT_EQ(m->data(m->index(0, 5), Qt::ForegroundRole).value<QColor>(), QColor(0xAA, 0xAA, 0xAA));
  EXPECT_EQ(m->data(m->index(1, 5), Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
  // The first row is the current one.
  EXPECT_EQ(Grid()->currentIndex().row(), 0);
}

TEST_F(MainWindowTest, LoadingTheExampleSong) {
  const fs::path example = fs::path(MERTOVAN_SOURCE_DIR) / "examples" / "xg_song_setup.mid";
  if (!fs::exists(example)) GTEST_SKIP() << "no example song";
  Tmain_form& w = Start();
  Load(example);
  ASSERT_TRUE(messages.shown.empty()) << messages.shown.front().text;
  ASSERT_EQ(DataRows(), int(w.LoadedSong().sysEx.size()));
  ASSERT_GT(DataRows(), 0);
  EXPECT_EQ(Cell(0, 7).left(3), "F0 ");
  EXPECT_TRUE(Cell(DataRows() - 1, 7).endsWith("F7 "));
  Component<QRadioButton>("rb_cc")->click();
  EXPECT_EQ(DataRows(), int(w.LoadedSong().sysEx.size()));
}

TEST_F(MainWindowTest, SwitchingViewsRewritesTextsAndHeaderButNotTheRows) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = Start();
  Load(song);

  Component<QRadioButton>("rb_cc")->click();
  EXPECT_EQ(w.Settings().viewMode, ViewMode::Cc);
  EXPECT_EQ(Header(7), "ControlChange");
  ASSERT_EQ(DataRows(), 4);
  EXPECT_EQ(Cell(0, 7), " -");
  EXPECT_EQ(Cell(1, 7), "cc7  ,100");
  EXPECT_EQ(Cell(2, 7), "pc5  ");
  EXPECT_EQ(Cell(3, 7), "cc10 ,64 ");
  EXPECT_EQ(Cell(1, 5), "Volume");

  Component<QRadioButton>("rb_sysex")->click();
  EXPECT_EQ(w.Settings().viewMode, ViewMode::SysEx);
  EXPECT_EQ(Header(7), "SystemExclusiveMessage");
  EXPECT_EQ(DataRows(), 4);
  EXPECT_EQ(Cell(1, 7), "F0 43 10 4C 08 00 0B 64 F7 ");
}

TEST_F(MainWindowTest, SwitchingViewsWithNoEventsKeepsTheBlankRows) {
  Start();
  Component<QRadioButton>("rb_cc")->click();
  EXPECT_EQ(Header(7), "ControlChange");
  EXPECT_EQ(DataRows(), 5);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(0, c), "");
}

TEST_F(MainWindowTest, NoDataToConvert) {
  const fs::path noSysEx = Dir() / "notes.mid";
  WriteFile(noSysEx, SmfBuilder().Note(0, 60).Bytes());
  Tmain_form& w = Start();
  for (bool afterLoad : {false, true}) {
    messages.shown.clear();
    if (afterLoad) {
      Load(noSysEx);
      // Header and one data row, every cell empty.
      ASSERT_EQ(DataRows(), 1);
      for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(0, c), "");
    }
    Action("Output1")->trigger();
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"No data to convert"});
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.ConvertDialog(), nullptr);
  }
}

TEST_F(MainWindowTest, FileNotFoundAndCancelLeaveEverythingAsItWas) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = Start();
  Load(song);
  const QString loaded = Component<QLineEdit>("e_filename")->text();

  Load(Dir() / "missing.mid");
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"File not Found"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_EQ(w.LoadedSong().sysEx.size(), 4u);
  EXPECT_EQ(DataRows(), 4);
  EXPECT_EQ(Component<QLineEdit>("e_filename")->text(), loaded);

  messages.shown.clear();
  Action("L1")->trigger();  // no scripted answer: the user cancels
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(w.LoadedSong().sysEx.size(), 4u);
  EXPECT_EQ(Component<QLineEdit>("e_filename")->text(), loaded);

  ASSERT_EQ(dialogs.openRequests.size(), 3u);
  // The files the reader takes by their contents: SMF, RIFF MIDI and SysEx,
  // then every file.
  const QString filter = dialogs.openRequests[0].filter;
  const QString first = filter.section(QStringLiteral(";;"), 0, 0);
  ASSERT_TRUE(first.endsWith(QLatin1Char(')')));
  const QStringList patterns = first.mid(first.indexOf(QLatin1Char('(')) + 1).chopped(1).split(QLatin1Char(' '));
  for (const char* pattern : {"*.mid", "*.midi", "*.rmi", "*.syx", "*.MID", "*.RMI", "*.SYX"})
    EXPECT_TRUE(patterns.contains(QString::fromLatin1(pattern))) << pattern;
  EXPECT_TRUE(filter.endsWith(";;All files (*)"));
  EXPECT_EQ(dialogs.openRequests[0].defaultSuffix, "mid");
}

TEST_F(MainWindowTest, ReadErrorEmptiesSongListingAndFileName) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  std::vector<uint8_t> cut = SmallSongBytes();
  cut.resize(cut.size() - 12);  // the track chunk ends early
  const fs::path broken = Dir() / "broken.mid";
  WriteFile(broken, cut);
  Tmain_form& w = Start();
  Load(song);
  ASSERT_EQ(DataRows(), 4);

  Load(broken);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(messages.shown[0].text.empty());
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_EQ(w.LoadedSong().sysEx.size(), 0u);
  EXPECT_EQ(DataRows(), 1);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(Cell(0, c), "");
  EXPECT_TRUE(Component<QLineEdit>("e_filename")->text().isEmpty());
  // Nothing is left that "Output" could convert under the old name.
  messages.shown.clear();
  Action("Output1")->trigger();
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"No data to convert"});
  // The program goes on: the next load works.
  messages.shown.clear();
  Load(song);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(DataRows(), 4);
}

// The window keeps one session for the run: a part mode met in one file
// decides the part of a later file's drum setup message.
TEST_F(MainWindowTest, DrumSetupPartCarriesOverFromOneLoadToTheNext) {
  const fs::path mode = Dir() / "mode.mid";
  const fs::path drum = Dir() / "drum.mid";
  // Part 6 plays drum setup 1; then a drum pitch of drum setup 1.
  WriteFile(mode, SmfBuilder().SysEx(0, {0x43, 0x10, 0x4C, 0x08, 0x05, 0x07, 0x02, 0xF7}).Bytes());
  WriteFile(drum, SmfBuilder().SysEx(0, {0x43, 0x10, 0x4C, 0x30, 0x24, 0x00, 0x50, 0xF7}).Bytes());
  Start();
  Load(drum);
  EXPECT_EQ(Cell(0, 4), "10");  // no part mode yet: part 10 plays drum setup 1
  Load(mode);
  Load(drum);
  EXPECT_EQ(Cell(0, 4), "6");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, SettingsRoundTripKeepsGeometryViewOptionsAndDraggedWidths) {
  Start();
  window->move(100, 200);
  ResizeOuter(600, 300);
  Component<QRadioButton>("rb_cc")->click();
  window->Settings().includeUnconvertible = 0;
  Grid()->setColumnWidth(5, 150);  // the Event column, dragged wider
  Grid()->setColumnWidth(1, 50);
  CloseWindow();
  EXPECT_FALSE(window->isVisible());
  const std::vector<std::string> lines = ReadLines(Dir() / "mertovan.ini");
  // The widths of columns 1 to 6 as the user dragged them, in their lines.
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[1], "200\r");
  EXPECT_EQ(lines[2], "100\r");
  EXPECT_EQ(lines[3], "600\r");
  EXPECT_EQ(lines[4], "300\r");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.begin() + 11),
            (std::vector<std::string>{"50\r", "35\r", "35\r", "20\r", "150\r", "80\r"}));
  EXPECT_EQ(lines[12], "0\r");
  EXPECT_EQ(lines[13], "0\r");
  EXPECT_EQ(lines[14], "1\r");

  window.reset();
  Tmain_form& again = Start();
  EXPECT_EQ(again.frameGeometry(), QRect(100, 200, 600, 300));
  EXPECT_TRUE(Component<QRadioButton>("rb_cc")->isChecked());
  EXPECT_EQ(Header(7), "ControlChange");
  EXPECT_EQ(again.Settings().includeUnconvertible, 0);
  EXPECT_EQ(ColumnWidths(again), (std::vector<int>{0, 50, 35, 35, 20, 150, 80, 568 - 400}));
}

void WriteSettings(const fs::path& dir, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  WriteFile(dir / "mertovan.ini", std::vector<uint8_t>(text.begin(), text.end()));
}

TEST_F(MainWindowTest, FlagValuesOtherThanZeroAndOneAreNormalised) {
  struct Case {
    const char* view;
    const char* include;
    const char* formal;
    bool ccView;
    uint8_t includeOn;
    uint8_t formalOn;
  };
  const Case cases[] = {
      {"5", "7", "0", false, 0, 0},
      {"0", "1", "256", true, 1, 0},  // 256 would be 0 in a byte, 257 would be 1
      {"1", "257", "1", false, 0, 1},
  };
  for (const Case& c : cases) {
    WriteSettings(Dir(), {"MERTOVAN1", "40", "40", "520", "270", "35", "35", "35", "20", "100", "80", "32",
                          c.view, c.include, c.formal});
    Tmain_form& w = Start();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Component<QRadioButton>("rb_cc")->isChecked(), c.ccView) << c.view;
    EXPECT_EQ(Component<QRadioButton>("rb_sysex")->isChecked(), !c.ccView) << c.view;
    EXPECT_EQ(w.Settings().viewMode, c.ccView ? ViewMode::Cc : ViewMode::SysEx);
    EXPECT_EQ(w.Settings().includeUnconvertible, c.includeOn) << c.include;
    EXPECT_EQ(w.Settings().formalOutput, c.formalOn) << c.formal;
    window.reset();
  }
}

TEST_F(MainWindowTest, SettingsErrorIsShownAndStartUpGoesOn) {
  WriteSettings(Dir(), {"MERTOVAN1", "100", "120", "600", "abc"});
  Tmain_form& w = Start();
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"'abc' は整数ではありません"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  // The lines before the bad one count; the rest take the values of a new file.
  EXPECT_EQ(w.frameGeometry(), QRect(120, 100, 600, 270));
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), std::make_pair(160, 140));
  EXPECT_EQ(ColumnWidths(w), (std::vector<int>{0, 35, 35, 35, 20, 100, 80, 568 - 335}));
  EXPECT_TRUE(Component<QRadioButton>("rb_sysex")->isChecked());
  EXPECT_EQ(DataRows(), 5);
  EXPECT_EQ(Header(7), "SystemExclusiveMessage");
  // The window works and closing writes a good file.
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Load(song);
  EXPECT_EQ(DataRows(), 4);
  CloseWindow();
  const std::vector<std::string> lines = ReadLines(Dir() / "mertovan.ini");
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[0], "MERTOVAN1\r");
  EXPECT_EQ(lines[4], "270\r");
  EXPECT_EQ(lines[5], "35\r");
}

TEST_F(MainWindowTest, SaveErrorAtCloseIsShownAndTheWindowStillCloses) {
  Start();
  // A folder where the settings file should be: it cannot be written.
  fs::remove(Dir() / "mertovan.ini");
  fs::create_directory(Dir() / "mertovan.ini");
  CloseWindow();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, StoredPositionOffEveryScreenIsMovedBackOnScreen) {
  // -10 is saved in 16 bits as 65526; it comes back near the corner it left,
  // a window just off the left edge stays there, one off every screen is
  // moved onto the screen.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    const char* top;
    const char* left;
    QPoint expected;
    int slack;  // the platform may keep a window a few pixels further in
  };
  const Case cases[] = {
      {"65526", "65526", screen.topLeft(), 0},
      {"100", "65526", QPoint(-10, 100), 10},
      {"30000", "30000", QPoint(screen.right() + 1 - 520, screen.bottom() + 1 - 270), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.top) + "," + c.left);
    WriteSettings(Dir(), {"MERTOVAN1", c.top, c.left, "520", "270", "35", "35", "35", "20", "100", "80", "32",
                          "1", "1", "1"});
    Tmain_form& w = Start();
    EXPECT_EQ(w.frameGeometry().size(), QSize(520, 270));
    EXPECT_LE((w.frameGeometry().topLeft() - c.expected).manhattanLength(), c.slack) << w.x() << "," << w.y();
    // The file keeps its format: the place is saved as the window now stands.
    CloseWindow();
    EXPECT_EQ(ReadLines(Dir() / "mertovan.ini")[1], std::to_string(uint16_t(w.frameGeometry().top())) + "\r");
    window.reset();
  }
}

TEST_F(MainWindowTest, StoredPositionOnScreenIsKept) {
  WriteSettings(Dir(), {"MERTOVAN1", "30", "250", "400", "260", "35", "35", "35", "20", "100", "80", "32",
                        "1", "1", "1"});
  Tmain_form& w = Start();
  EXPECT_EQ(w.frameGeometry(), QRect(250, 30, 400, 260));
}

TEST_F(MainWindowTest, WindowSizeLimits) {
  Tmain_form& w = Start();
  w.resize(100, 100);
  EXPECT_EQ(w.frameGeometry().size(), QSize(370, 250));
  w.resize(3000, 3000);
  EXPECT_EQ(w.frameGeometry().size(), QSize(1200, 1024));
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSizeAndTheLastColumnHasAFloor) {
  Start();
  ResizeOuter(700, 400);
  EXPECT_EQ(Grid()->geometry(), QRect(8, 48, 668, 256));
  EXPECT_EQ(Component<QPushButton>("CCout")->y(), 320);
  EXPECT_EQ(Component<QPushButton>("SysExOut")->y(), 320);
  EXPECT_EQ(Grid()->columnWidth(7), 668 - 335);

  // A column dragged wider than the grid: the last column keeps a small width.
  Grid()->setColumnWidth(5, 900);
  QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Grid()->columnWidth(7), Tmain_form::kMinLastColumnWidth);
  Grid()->setColumnWidth(5, 50);
  QTest::mouseRelease(Grid()->horizontalHeader()->viewport(), Qt::RightButton, {}, QPoint(5, 5));
  EXPECT_EQ(Grid()->columnWidth(7), 668 - 285);
}

TEST_F(MainWindowTest, MidiOutputOpensOnceAndNoDeviceIsShownOnce) {
  midi.openResult = MidiPort::OpenResult::NoDevice;
  Tmain_form& w = Start();
  w.activateWindow();
  if (QTest::qWaitForWindowActive(&w)) {
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"No Midi Device"});
  }
  w.FormActivate();  // later activations open nothing
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"No Midi Device"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_TRUE(w.Activated());
  EXPECT_EQ(midi.Count(RecordingMidiPort::CallKind::Open), 1u);
  EXPECT_EQ(midi.Count(RecordingMidiPort::CallKind::Reset), 0u);

  CloseWindow();
  EXPECT_EQ(midi.calls.back().kind, RecordingMidiPort::CallKind::Close);
  EXPECT_EQ(messages.shown.size(), 1u);
}

// Notes what the settings file says when the port is closed.
class PortWatchingSettings : public RecordingMidiPort {
 public:
  explicit PortWatchingSettings(fs::path ini) : ini_(std::move(ini)) {}
  void Close() override {
    const std::vector<std::string> lines = ReadLines(ini_);
    viewLineAtClose = lines.size() > 12 ? lines[12] : "";
    RecordingMidiPort::Close();
  }
  std::string viewLineAtClose;

 private:
  fs::path ini_;
};

TEST_F(MainWindowTest, ClosingClosesTheMidiOutputFirstThenSavesTheSettings) {
  PortWatchingSettings port(Dir() / "mertovan.ini");
  Tmain_form w(messages, dialogs, port);
  w.show();
  Find<QRadioButton>(&w, "rb_cc")->click();
  w.close();
  EXPECT_EQ(port.viewLineAtClose, "1\r");
  EXPECT_EQ(ReadLines(Dir() / "mertovan.ini")[12], "0\r");
  EXPECT_EQ(port.Count(RecordingMidiPort::CallKind::Close), 1u);
}

TEST_F(MainWindowTest, HiddenSendButtonsPlayTheCurrentRow) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Start();
  Load(song);
  Grid()->setCurrentIndex(Grid()->model()->index(1, 1));  // part 1 volume 100
  midi.calls.clear();
  Component<QPushButton>("CCout")->click();
  Component<QPushButton>("SysExOut")->click();
  EXPECT_EQ(midi.ShortMessages(), std::vector<uint32_t>{0xB0u | 7u << 8 | 100u << 16});
  EXPECT_EQ(midi.LongMessages(),
            (std::vector<std::vector<uint8_t>>{{0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7}}));
  // XG System On has no controller equivalent: nothing goes out.
  Grid()->setCurrentIndex(Grid()->model()->index(0, 1));
  midi.calls.clear();
  Component<QPushButton>("CCout")->click();
  EXPECT_TRUE(midi.ShortMessages().empty());
}

TEST_F(MainWindowTest, ExitClosesTheWindowAndSaves) {
  Tmain_form& w = Start();
  fs::remove(Dir() / "mertovan.ini");
  Action("Exit1")->trigger();
  EXPECT_FALSE(w.isVisible());
  // A file removed while the program ran comes back with the creation values.
  EXPECT_EQ(ReadLines(Dir() / "mertovan.ini").size(), 15u);
}

// A text file or an empty file under a .mid name says so, and nothing of it
// is listed.
TEST_F(MainWindowTest, AFileThatIsNotMidiSaysSoAndListsNothing) {
  const std::string body = "these are not MIDI bytes at all, only text";
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"notes.mid", std::vector<uint8_t>(body.begin(), body.end())}, {"empty.mid", {}}};
  Start();
  for (const auto& [name, bytes] : files) {
    const fs::path path = Dir() / name;
    WriteFile(path, bytes);
    messages.shown.clear();
    Load(path);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{path.string() + " is not a Standard MIDI File"}) << name;
    EXPECT_EQ(DataRows(), 1) << name;
    EXPECT_EQ(Cell(0, 5), "") << name;
    EXPECT_TRUE(Component<QLineEdit>("e_filename")->text().isEmpty()) << name;
  }
}

TEST_F(MainWindowTest, ShortcutsWorkWhileTheWindowIsEnabledOnly) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = Start();
  w.activateWindow();
  if (!QTest::qWaitForWindowActive(&w)) GTEST_SKIP() << "the platform does not activate windows";
  dialogs.Answer(QString::fromStdString(song.string()));
  QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
  ASSERT_EQ(dialogs.openRequests.size(), 1u);
  ASSERT_EQ(DataRows(), 4);
  QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
  ASSERT_NE(w.ConvertDialog(), nullptr);
  EXPECT_FALSE(w.isEnabled());
  // Disabled, the main window takes no input: no second load.
  QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(dialogs.openRequests.size(), 1u);
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesAnOpenConvertDialog) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = Start();
  Load(song);
  Action("Output1")->trigger();
  QPointer<TOutputcc_Form> dialog = w.ConvertDialog();
  ASSERT_TRUE(dialog);
  CloseWindow();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));
}

}  // namespace
}  // namespace mertovan::testing
