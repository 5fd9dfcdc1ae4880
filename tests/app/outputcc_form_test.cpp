#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/outputcc_form.h"
#include "app/shell/convert_status.h"
#include "app/target_report_form.h"
#include "app_fixture.h"
#include "writer/writer.h"

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;

class OutputccFormTest : public AppTest {
 protected:
  // Starts the program, loads a song and opens the convert dialog.
  TOutputcc_Form& Open(const std::string& songName = "song.mid") {
    song = Dir() / songName;
    WriteFile(song, SmallSongBytes());
    Start();
    Load(song);
    EXPECT_TRUE(messages.shown.empty());
    return Reopen();
  }
  TOutputcc_Form& Reopen() {
    Action("Output1")->trigger();
    TOutputcc_Form* dialog = window->ConvertDialog();
    EXPECT_NE(dialog, nullptr);
    return *dialog;
  }
  fs::path song;
};

// The status line after a conversion: the count always, then the warning of
// a formal setup that sums up a changing song, only when there is one.
TEST(ConvertStatusText, CountThenTheWarningWhenThereIsOne) {
  struct Case {
    const char* what;
    ConvertReport report;
    bool warns;
  };
  const Case cases[] = {
      {"a setup that is what the song sets", {.converted = 12, .total = 40, .target = {}}, false},
      {"parameters that change", {.converted = 3, .total = 3, .changingParameters = 2, .target = {}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string count = "Convert Successful (" + std::to_string(c.report.converted) + " of " +
                              std::to_string(c.report.total) + " SysEx messages converted)";
    const std::string warning = FlattenedSongText(c.report);
    ASSERT_EQ(warning.empty(), !c.warns);
    EXPECT_EQ(ConvertStatusText(c.report), c.warns ? count + " \u2014 " + warning : count);
  }
}

TEST_F(OutputccFormTest, OpensBesideTheMainWindowWithTheProposedNameAndTheOptions) {
  TOutputcc_Form& d = Open();
  EXPECT_FALSE(window->isEnabled());
  EXPECT_TRUE(d.isEnabled());
  EXPECT_EQ(d.windowTitle(), "Outputcc_Form");
  EXPECT_EQ(d.frameGeometry().topLeft(), window->frameGeometry().topLeft() + QPoint(30, 30));
  EXPECT_EQ(d.frameGeometry().size(), QSize(294, 233));
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->text().toStdString(), (Dir() / "song_cc.mid").string());
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->cursorPosition(), Find<QLineEdit>(&d, "e_filename")->text().size());
  EXPECT_TRUE(Find<QLineEdit>(&d, "e_filename")->isReadOnly());
  EXPECT_TRUE(Find<QCheckBox>(&d, "C_sysex")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(&d, "c_formal")->isChecked());
  EXPECT_EQ(Find<QCheckBox>(&d, "C_sysex")->text(), "Include unconvertible SysEx msg.");
  EXPECT_EQ(Find<QCheckBox>(&d, "c_formal")->text(), "Output as formal");
  EXPECT_EQ(Find<QPushButton>(&d, "refer")->text(), "Ref");
  EXPECT_EQ(Find<QLabel>(&d, "l_filename")->text(), "Filename");

  // "Convert" holds the focus; tab goes through the name, "Cancel", the
  // first option, "Ref", the other two options and the target.
  EXPECT_EQ(d.focusWidget(), Find<QPushButton>(&d, "ConvertBtn"));
  const QWidget* order[] = {Find<QPushButton>(&d, "ConvertBtn"), Find<QLineEdit>(&d, "e_filename"),
                            Find<QPushButton>(&d, "cancel"),     Find<QCheckBox>(&d, "C_sysex"),
                            Find<QPushButton>(&d, "refer"),      Find<QCheckBox>(&d, "c_formal"),
                            Find<QCheckBox>(&d, "c_song"),       Find<QComboBox>(&d, "cb_target")};
  for (size_t i = 0; i + 1 < std::size(order); ++i)
    EXPECT_EQ(order[i]->nextInFocusChain(), order[i + 1])
        << i << " " << order[i]->nextInFocusChain()->metaObject()->className();
}

TEST_F(OutputccFormTest, ProposalKeepsTheCaseOfTheLoadedName) {
  TOutputcc_Form& d = Open("Tune.MID");
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->text().toStdString(), (Dir() / "Tune_cc.mid").string());
}

TEST_F(OutputccFormTest, OptionChangesPersistAfterCancel) {
  TOutputcc_Form& d = Open();
  Find<QCheckBox>(&d, "c_formal")->click();
  EXPECT_EQ(window->Settings().formalOutput, 0);
  Find<QPushButton>(&d, "cancel")->click();
  EXPECT_TRUE(window->isEnabled());
  EXPECT_EQ(window->ConvertDialog(), nullptr);
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));

  TOutputcc_Form& again = Reopen();
  EXPECT_FALSE(Find<QCheckBox>(&again, "c_formal")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(&again, "C_sysex")->isChecked());
  Find<QCheckBox>(&again, "C_sysex")->click();
  EXPECT_EQ(window->Settings().includeUnconvertible, 0);
  // The close box: the main window is usable again, nothing is written.
  again.close();
  EXPECT_TRUE(window->isEnabled());
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));

  CloseWindow();
  const std::vector<std::string> lines = ReadLines(Dir() / "mertovan.ini");
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[13], "0\r");
  EXPECT_EQ(lines[14], "0\r");
}

TEST_F(OutputccFormTest, ConvertWritesTheFileAndReportsAtTheMainWindow) {
  TOutputcc_Form& d = Open();
  Find<QPushButton>(&d, "ConvertBtn")->click();
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"Convert Successful"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_TRUE(window->isEnabled());
  EXPECT_EQ(window->ConvertDialog(), nullptr);
  // The file is what the writer builds from the loaded song with the options
  // shown, and the status bar says what that conversion did.
  const std::vector<uint8_t> written = ReadFileBytes(Dir() / "song_cc.mid");
  ConvertReport report;
  EXPECT_EQ(written,
            BuildFileImage(window->LoadedSong(), {.layout = Layout::Formal, .includeUnconvertible = true}, &report));
  EXPECT_EQ(Component<QLabel>("l_status")->text().toStdString(), ConvertStatusText(report));
  ASSERT_GT(written.size(), 4u);
  EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "MThd");
}

// The boxes reach the writer as the options of the same name, "Keep the
// song" before "Output as formal": the first two cases would tell a swapped
// pair apart, the last one a formal layout taken for the song.
TEST_F(OutputccFormTest, ConvertHandsTheOptionsToTheWriter) {
  struct Case {
    bool formal, include, song;
    ConvertOptions expected;
  };
  const Case cases[] = {
      {true, false, false, {.layout = Layout::Formal, .includeUnconvertible = false}},
      {false, true, false, {.layout = Layout::Plain, .includeUnconvertible = true}},
      {false, false, false, {.layout = Layout::Plain, .includeUnconvertible = false}},
      {true, true, true, {.layout = Layout::Song, .includeUnconvertible = true}},
  };
  const auto image = [this](const ConvertOptions& o) { return BuildFileImage(window->LoadedSong(), o); };
  Find<QPushButton>(&Open(), "cancel")->click();
  ASSERT_NE(image(cases[0].expected), image(cases[1].expected));
  ASSERT_NE(image(cases[3].expected), image({.layout = Layout::Formal, .includeUnconvertible = true}));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.formal << c.include << c.song);
    TOutputcc_Form& d = Reopen();
    Find<QCheckBox>(&d, "c_formal")->setChecked(c.formal);
    Find<QCheckBox>(&d, "C_sysex")->setChecked(c.include);
    Find<QCheckBox>(&d, "c_song")->setChecked(c.song);
    Find<QPushButton>(&d, "ConvertBtn")->click();
    EXPECT_EQ(ReadFileBytes(Dir() / "song_cc.mid"), image(c.expected));
  }
}

// The list after a conversion: only for a song made for GM or GS that lost
// something; it counts what was lost of all the rows, which it carries.
TEST(TargetReportNoticeOf, OnlyForAnotherTargetThatLostSomething) {
  const TargetReportRow kept{.tick = 0, .part = 0, .parameter = "Volume", .value = "100", .outcome = "kept"};
  const TargetReportRow lost{
      .tick = 960, .part = 255, .parameter = "Variation Type", .value = "5", .outcome = "dropped", .lost = true};
  struct Case {
    Target target;
    std::vector<TargetReportRow> rows;
    const char* heading;  // null: nothing to list
  };
  const Case cases[] = {
      {Target::Xg, {kept, lost}, nullptr},
      {Target::Gm, {kept, kept}, nullptr},
      {Target::Gm, {}, nullptr},
      {Target::Gm, {kept, lost, lost}, "2 of 3 settings could not be carried to GM"},
      {Target::Gs, {lost, kept}, "1 of 2 settings could not be carried to GS"},
  };
  const Song song;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << TargetName(c.target) << " " << c.rows.size());
    ConvertReport report;
    report.target = c.rows;
    const std::optional<TargetReportNotice> notice =
        TargetReportNoticeOf(song, {.layout = Layout::Song, .target = c.target}, report);
    ASSERT_EQ(notice.has_value(), c.heading != nullptr);
    if (!notice) continue;
    EXPECT_EQ(notice->heading, c.heading);
    EXPECT_EQ(notice->tsv, TargetReportTsv(song, c.rows));
  }
}

// Made for GM or GS, the kept song is the writer's file for that synthesizer,
// its XG System On replaced by the synthesizer's own reset, and what it could
// not carry is listed where the message boxes go once the dialog has closed;
// made for XG, the song stays XG and nothing is listed.
TEST_F(OutputccFormTest, TargetMakesTheSongForItAndListsWhatItCouldNotCarry) {
  struct Case {
    const char* choice;
    Target target;
    std::vector<uint8_t> reset;  // as a SysEx event of the file
  };
  const Case cases[] = {
      {"GM synth", Target::Gm, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
      {"GS module", Target::Gs, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}},
      {"XG module", Target::Xg, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
  };
  // XG System On, a Variation Type that neither GM nor GS has, a part volume.
  song = Dir() / "song.mid";
  WriteFile(song, SmfBuilder()
                      .FourFour(0)
                      .SysEx(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})
                      .SysEx(0, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x05, 0x00, 0xF7})
                      .PartParameter(480, 0, 0x0B, 100)
                      .Note(0, 60)
                      .Bytes());
  Start();
  Load(song);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choice);
    messages.shown.clear();
    TOutputcc_Form& d = Reopen();
    Find<QCheckBox>(&d, "c_song")->setChecked(true);
    QComboBox* targetBox = Find<QComboBox>(&d, "cb_target");
    targetBox->setCurrentIndex(targetBox->findText(c.choice));
    Find<QPushButton>(&d, "ConvertBtn")->click();
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"Convert Successful"});

    const std::vector<uint8_t> written = ReadFileBytes(Dir() / "song_cc.mid");
    ConvertReport report;
    EXPECT_EQ(written,
              BuildFileImage(window->LoadedSong(),
                             {.layout = Layout::Song, .includeUnconvertible = true, .target = c.target}, &report));
    EXPECT_NE(std::search(written.begin(), written.end(), c.reset.begin(), c.reset.end()), written.end());
    EXPECT_EQ(Component<QLabel>("l_status")->text().toStdString(), ConvertStatusText(report));

    TTargetReport_Form* list = window->TargetReportDialog();
    if (c.target == Target::Xg) {
      EXPECT_EQ(list, nullptr);
      continue;
    }
    ASSERT_GT(LostSettings(report), 0u);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(std::make_pair(list->x(), list->y()), ExpectedMessagePoint());
    EXPECT_TRUE(Find<QLabel>(list, "l_heading")->text().endsWith(QString::fromLatin1(TargetName(c.target)) + ":"));
    // The rows as the command line's report writes them.
    const QTableWidget* grid = Find<QTableWidget>(list, "reportGrid");
    std::string shown;
    for (int row = -1; row < grid->rowCount(); ++row) {
      for (int column = 0; column < grid->columnCount(); ++column) {
        const QTableWidgetItem* item = row < 0 ? grid->horizontalHeaderItem(column) : grid->item(row, column);
        shown += (column > 0 ? "\t" : "") + (item ? item->text().toStdString() : std::string());
      }
      shown += "\n";
    }
    EXPECT_EQ(shown, TargetReportTsv(window->LoadedSong(), report.target));
    Find<QPushButton>(list, "OkBtn")->click();
    EXPECT_EQ(window->TargetReportDialog(), nullptr);
  }
}

// "Keep the song" greys out "Output as formal" and shows it unticked, while
// the stored choice stays: unticking the song shows it again, and it is
// what the settings file keeps.
TEST_F(OutputccFormTest, SongBoxGreysOutFormalAndKeepsItsChoice) {
  TOutputcc_Form& d = Open();
  EXPECT_EQ(Find<QCheckBox>(&d, "c_song")->text(), "Keep the song (notes, tempo, tracks)");
  Find<QPushButton>(&d, "cancel")->click();
  for (const bool formal : {false, true}) {
    SCOPED_TRACE(formal);
    window->Settings().songOutput = 0;
    window->Settings().formalOutput = formal ? 1 : 0;
    // Ticked in the dialog, then found ticked when it opens again.
    TOutputcc_Form& first = Reopen();
    Find<QCheckBox>(&first, "c_song")->click();
    EXPECT_FALSE(Find<QCheckBox>(&first, "c_formal")->isChecked());
    first.close();
    TOutputcc_Form& again = Reopen();
    QCheckBox* formalBox = Find<QCheckBox>(&again, "c_formal");
    QComboBox* targetBox = Find<QComboBox>(&again, "cb_target");
    EXPECT_FALSE(formalBox->isEnabled());
    EXPECT_FALSE(formalBox->isChecked());
    EXPECT_EQ(window->Settings().formalOutput, formal ? 1 : 0);
    EXPECT_TRUE(targetBox->isEnabled());
    targetBox->setCurrentIndex(targetBox->findText("GS module"));
    Find<QCheckBox>(&again, "c_song")->click();
    EXPECT_TRUE(formalBox->isEnabled());
    EXPECT_EQ(formalBox->isChecked(), formal);
    // Greyed out, the target box still shows the stored choice.
    EXPECT_FALSE(targetBox->isEnabled());
    EXPECT_EQ(targetBox->currentText(), "GS module");
    EXPECT_EQ(window->Settings().target, Target::Gs);
    Find<QCheckBox>(&again, "c_song")->click();
    again.close();
  }
  // The song kept, the formal layout chosen: the file keeps both.
  CloseWindow();
  const std::vector<std::string> lines = ReadLines(Dir() / "mertovan.ini");
  ASSERT_GE(lines.size(), 16u);
  EXPECT_EQ(lines[14], "1\r");
  EXPECT_NE(std::find(lines.begin() + 15, lines.end(), "songOutput=1\r"), lines.end());
  EXPECT_NE(std::find(lines.begin() + 15, lines.end(), "target=gs\r"), lines.end());
}

// Enter and keypad Enter press "Convert" wherever the focus is; Escape cancels.
TEST_F(OutputccFormTest, EnterConvertsAndEscapeCancels) {
  TOutputcc_Form& d = Open();
  QTest::keyClick(Find<QPushButton>(&d, "ConvertBtn"), Qt::Key_Return);
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Convert Successful"});
  EXPECT_TRUE(window->isEnabled());

  TOutputcc_Form& again = Reopen();
  QTest::keyClick(Find<QCheckBox>(&again, "C_sysex"), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(messages.Texts().size(), 2u);
  EXPECT_EQ(window->ConvertDialog(), nullptr);

  fs::remove(Dir() / "song_cc.mid");
  TOutputcc_Form& third = Reopen();
  QTest::keyClick(Find<QCheckBox>(&third, "c_formal"), Qt::Key_Escape);
  EXPECT_EQ(window->ConvertDialog(), nullptr);
  EXPECT_TRUE(window->isEnabled());
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));
  EXPECT_EQ(messages.Texts().size(), 2u);
}

TEST_F(OutputccFormTest, ForeignTargetIsRefusedAndLeftAlone) {
  const fs::path target = Dir() / "song_cc.mid";
  const std::vector<uint8_t> foreign = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96};
  WriteFile(target, foreign);
  TOutputcc_Form& d = Open();
  Find<QPushButton>(&d, "ConvertBtn")->click();
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"This file can not rewrite"});
  EXPECT_EQ(ReadFileBytes(target), foreign);
  // A refusal closes the dialog like a success.
  EXPECT_TRUE(window->isEnabled());
  EXPECT_EQ(window->ConvertDialog(), nullptr);
}

TEST_F(OutputccFormTest, WriteErrorKeepsTheDialogOpenUntilTheUserClosesIt) {
  TOutputcc_Form& d = Open();
  const fs::path unreachable = Dir() / "no such folder" / "out.mid";
  dialogs.Answer(QString::fromStdString(unreachable.string()));
  Find<QPushButton>(&d, "refer")->click();
  ASSERT_EQ(Find<QLineEdit>(&d, "e_filename")->text().toStdString(), unreachable.string());
  Find<QPushButton>(&d, "ConvertBtn")->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_EQ(window->ConvertDialog(), &d);
  EXPECT_FALSE(window->isEnabled());
  Find<QPushButton>(&d, "cancel")->click();
  EXPECT_TRUE(window->isEnabled());
}

TEST_F(OutputccFormTest, RefOffersTheSaveDialogAndKeepsTheNameWhenCancelled) {
  TOutputcc_Form& d = Open();
  const QString proposed = Find<QLineEdit>(&d, "e_filename")->text();
  Find<QPushButton>(&d, "refer")->click();  // cancelled
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->text(), proposed);
  ASSERT_EQ(dialogs.saveRequests.size(), 1u);
  const FileDialogRequest& r = dialogs.saveRequests[0];
  EXPECT_EQ(r.title, "ファイル名の変更");
  EXPECT_EQ(r.filter, "Standard MIDI file (*.mid)");
  EXPECT_EQ(r.defaultSuffix, "mid");
  EXPECT_EQ(r.initialPath, proposed);

  const QString other = QString::fromStdString((Dir() / "other.mid").string());
  dialogs.Answer(other);
  Find<QPushButton>(&d, "refer")->click();
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->text(), other);
  EXPECT_EQ(Find<QLineEdit>(&d, "e_filename")->cursorPosition(), other.size());
  Find<QPushButton>(&d, "ConvertBtn")->click();
  EXPECT_TRUE(fs::exists(Dir() / "other.mid"));
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));
}

TEST_F(OutputccFormTest, ReopeningAfterAConversionStartsAgainFromTheLoadedName) {
  TOutputcc_Form& d = Open();
  dialogs.Answer(QString::fromStdString((Dir() / "other.mid").string()));
  Find<QPushButton>(&d, "refer")->click();
  Find<QPushButton>(&d, "cancel")->click();
  TOutputcc_Form& again = Reopen();
  EXPECT_EQ(Find<QLineEdit>(&again, "e_filename")->text().toStdString(), (Dir() / "song_cc.mid").string());
  // The MIDI output was opened at the first activation only.
  Find<QPushButton>(&again, "cancel")->click();
  EXPECT_EQ(midi.Count(RecordingMidiPort::CallKind::Open), 1u);
}

}  // namespace
}  // namespace mertovan::testing
