#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/outputcc_form.h"
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
    window->Output1->trigger();
    TOutputcc_Form* dialog = window->ConvertDialog();
    EXPECT_NE(dialog, nullptr);
    return *dialog;
  }
  fs::path song;
};

TEST_F(OutputccFormTest, OpensBesideTheMainWindowWithTheProposedNameAndTheOptions) {
  TOutputcc_Form& d = Open();
  EXPECT_FALSE(window->isEnabled());
  EXPECT_TRUE(d.isEnabled());
  EXPECT_EQ(d.windowTitle(), "Outputcc_Form");
  EXPECT_EQ(d.frameGeometry().topLeft(), window->frameGeometry().topLeft() + QPoint(30, 30));
  EXPECT_EQ(d.frameGeometry().size(), QSize(294, 185));
  EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(d.e_filename->text().toStdString(), (Dir() / "song_cc.mid").string());
  EXPECT_EQ(d.e_filename->cursorPosition(), d.e_filename->text().size());
  EXPECT_TRUE(d.e_filename->isReadOnly());
  EXPECT_TRUE(d.C_sysex->isChecked());
  EXPECT_TRUE(d.c_formal->isChecked());
  EXPECT_EQ(d.C_sysex->text(), "Include unconvertible SysEx msg.");
  EXPECT_EQ(d.c_formal->text(), "Output as formal");
  EXPECT_EQ(d.refer->text(), "Ref");
  EXPECT_EQ(d.l_filename->text(), "Filename");

  // "Convert" holds the focus; tab goes through the name, "Cancel", the
  // first option, "Ref" and the second option.
  EXPECT_EQ(d.focusWidget(), d.ConvertBtn);
  const QWidget* order[] = {d.ConvertBtn, d.e_filename, d.cancel, d.C_sysex, d.refer, d.c_formal};
  for (size_t i = 0; i + 1 < std::size(order); ++i)
    EXPECT_EQ(order[i]->nextInFocusChain(), order[i + 1])
        << i << " " << order[i]->nextInFocusChain()->metaObject()->className();
}

TEST_F(OutputccFormTest, ProposalKeepsTheCaseOfTheLoadedName) {
  TOutputcc_Form& d = Open("Tune.MID");
  EXPECT_EQ(d.e_filename->text().toStdString(), (Dir() / "Tune_cc.mid").string());
}

TEST_F(OutputccFormTest, OptionChangesPersistAfterCancel) {
  TOutputcc_Form& d = Open();
  d.c_formal->click();
  EXPECT_EQ(window->Settings().formalOutput, 0);
  d.cancel->click();
  EXPECT_TRUE(window->isEnabled());
  EXPECT_EQ(window->ConvertDialog(), nullptr);
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));

  TOutputcc_Form& again = Reopen();
  EXPECT_FALSE(again.c_formal->isChecked());
  EXPECT_TRUE(again.C_sysex->isChecked());
  again.C_sysex->click();
  EXPECT_EQ(window->Settings().includeUnconvertible, 0);
  // The close box: the main window is usable again, nothing is written.
  again.close();
  EXPECT_TRUE(window->isEnabled());
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));

  CloseWindow();
  const std::vector<std::string> lines = ReadLines(Dir() / "mertovan.ini");
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[13], "0\r");
  EXPECT_EQ(lines[14], "0\r");
}

TEST_F(OutputccFormTest, ConvertWritesTheFileAndReportsAtTheMainWindow) {
  TOutputcc_Form& d = Open();
  d.ConvertBtn->click();
  ASSERT_EQ(messages.Texts(), std::vector<std::string>{"Convert Successful"});
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_TRUE(window->isEnabled());
  EXPECT_EQ(window->ConvertDialog(), nullptr);
  // The file is what the writer builds from the loaded song with the options shown.
  const std::vector<uint8_t> written = ReadFileBytes(Dir() / "song_cc.mid");
  EXPECT_EQ(written, BuildFileImage(ConvertOptions{1, 1}));
  ASSERT_GT(written.size(), 4u);
  EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "MThd");
}

TEST_F(OutputccFormTest, ConvertHandsBothOptionsToTheWriter) {
  TOutputcc_Form& d = Open();
  d.c_formal->click();
  d.C_sysex->click();
  d.ConvertBtn->click();
  EXPECT_EQ(ReadFileBytes(Dir() / "song_cc.mid"), BuildFileImage(ConvertOptions{0, 0}));
  EXPECT_NE(BuildFileImage(ConvertOptions{0, 0}), BuildFileImage(ConvertOptions{1, 1}));
}

TEST_F(OutputccFormTest, ForeignTargetIsRefusedAndLeftAlone) {
  const fs::path target = Dir() / "song_cc.mid";
  const std::vector<uint8_t> foreign = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96};
  WriteFile(target, foreign);
  TOutputcc_Form& d = Open();
  d.ConvertBtn->click();
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
  d.refer->click();
  ASSERT_EQ(d.e_filename->text().toStdString(), unreachable.string());
  d.ConvertBtn->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(std::make_pair(messages.shown[0].x, messages.shown[0].y), ExpectedMessagePoint());
  EXPECT_EQ(window->ConvertDialog(), &d);
  EXPECT_FALSE(window->isEnabled());
  d.cancel->click();
  EXPECT_TRUE(window->isEnabled());
}

TEST_F(OutputccFormTest, RefOffersTheSaveDialogAndKeepsTheNameWhenCancelled) {
  TOutputcc_Form& d = Open();
  const QString proposed = d.e_filename->text();
  d.refer->click();  // cancelled
  EXPECT_EQ(d.e_filename->text(), proposed);
  ASSERT_EQ(dialogs.saveRequests.size(), 1u);
  const FileDialogRequest& r = dialogs.saveRequests[0];
  EXPECT_EQ(r.title, "ファイル名の変更");
  EXPECT_EQ(r.filter, "Standard MIDI file (*.mid)");
  EXPECT_EQ(r.defaultSuffix, "mid");
  EXPECT_EQ(r.initialPath, proposed);

  const QString other = QString::fromStdString((Dir() / "other.mid").string());
  dialogs.Answer(other);
  d.refer->click();
  EXPECT_EQ(d.e_filename->text(), other);
  EXPECT_EQ(d.e_filename->cursorPosition(), other.size());
  d.ConvertBtn->click();
  EXPECT_TRUE(fs::exists(Dir() / "other.mid"));
  EXPECT_FALSE(fs::exists(Dir() / "song_cc.mid"));
}

TEST_F(OutputccFormTest, ReopeningAfterAConversionStartsAgainFromTheLoadedName) {
  TOutputcc_Form& d = Open();
  dialogs.Answer(QString::fromStdString((Dir() / "other.mid").string()));
  d.refer->click();
  d.cancel->click();
  TOutputcc_Form& again = Reopen();
  EXPECT_EQ(again.e_filename->text().toStdString(), (Dir() / "song_cc.mid").string());
  // The MIDI output was opened at the first activation only.
  again.cancel->click();
  EXPECT_EQ(midi.Count(RecordingMidiPort::CallKind::Open), 1u);
}

}  // namespace
}  // namespace mertovan::testing
