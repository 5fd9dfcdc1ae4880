// What the main window does beyond the listing: sending and copying a row,
// opening files by argument, drop and the recent-files list, the help window,
// and what a value means.
#include <QClipboard>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include "app/help_form.h"
#include "app_fixture.h"

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;

using WindowActionsTest = AppTest;

const std::vector<uint8_t> kSystemOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const std::vector<uint8_t> kVolume = {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7};
const std::vector<uint8_t> kProgram = {0xF0, 0x43, 0x10, 0x4C, 0x08, 0x01, 0x03, 0x05, 0xF7};

QPoint RowCentre(QTableView* grid, int row) {
  return grid->visualRect(grid->model()->index(row, 5)).center();
}

// Return, double-click and the context menu send the current row as the view
// shows it; Ctrl+C and "Copy" copy it as a TSV line; Ctrl+click keeps it
// selected.
TEST_F(WindowActionsTest, RowsAreSentAndCopiedAsTheViewShowsThem) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Start();
  Load(song);
  QTableView* grid = Grid();
  EXPECT_EQ(grid->contextMenuPolicy(), Qt::ActionsContextMenu);
  ASSERT_EQ(grid->actions().size(), 2);
  EXPECT_EQ(grid->actions()[0]->text(), "Send to MIDI output");
  EXPECT_EQ(grid->actions()[1]->text(), "Copy");

  // SysEx view: the message bytes.
  midi.calls.clear();
  SelectRow(1);
  QTest::keyClick(grid, Qt::Key_Return);
  // A double-click: the press and release of the first click, then the second.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, RowCentre(grid, 2));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, RowCentre(grid, 2));
  EXPECT_EQ(grid->currentIndex().row(), 2);
  SelectRow(0);
  Action("SendRow1")->trigger();
  EXPECT_EQ(midi.LongMessages(), (std::vector<std::vector<uint8_t>>{kVolume, kProgram, kSystemOn}));
  EXPECT_TRUE(midi.ShortMessages().empty());

  // CC view: the channel messages; a message without any goes out as it is.
  Component<QRadioButton>("rb_cc")->click();
  midi.calls.clear();
  SelectRow(1);
  QTest::keyClick(grid, Qt::Key_Enter, Qt::KeypadModifier);
  SelectRow(2);
  Action("SendRow1")->trigger();
  SelectRow(0);
  QTest::keyClick(grid, Qt::Key_Return);
  EXPECT_EQ(midi.ShortMessages(), (std::vector<uint32_t>{0xB0u | 7u << 8 | 100u << 16, 0xC1u | 5u << 8}));
  EXPECT_EQ(midi.LongMessages(), std::vector<std::vector<uint8_t>>{kSystemOn});

  // Copy: the seven texts of the current row, as the TSV listing has them.
  SelectRow(1);
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "1\t2\t0\t1\tVolume\t100\tcc7  ,100\n");
  Component<QRadioButton>("rb_sysex")->click();
  SelectRow(3);
  Action("CopyRow1")->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "2\t2\t0\t3\tPan\t64\tF0 43 10 4C 08 02 0E 40 F7 \n");

  // Ctrl+click on the current row leaves it selected.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(grid, 3));
  EXPECT_EQ(grid->currentIndex().row(), 3);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(3, {}));
}

TEST_F(WindowActionsTest, BlankRowsSendAndCopyNothing) {
  Start();
  QGuiApplication::clipboard()->setText("kept");
  midi.calls.clear();
  QTest::keyClick(Grid(), Qt::Key_Return);
  QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(midi.calls.empty());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
  EXPECT_FALSE(Action("SendRow1")->isEnabled());
  EXPECT_TRUE(messages.shown.empty());
}

void Drop(QWidget* target, const QList<QUrl>& urls) {
  QMimeData mime;
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return;
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(target, &drop);
  QApplication::processEvents();
}

QStringList RecentMenu(const QMenu* file) {
  QStringList texts;
  for (const QAction* a : file->actions())
    if (a->isVisible() && a->objectName().startsWith("Recent")) texts << a->text();
  return texts;
}

// A name given at start is loaded after the first activation, as given; a
// dropped local file is loaded; each load heads the recent files, which the
// settings keep and which lose a file that has gone.
TEST_F(WindowActionsTest, OpeningByArgumentDropAndRecentFiles) {
  fs::create_directory(Dir() / "sub");
  const fs::path first = Dir() / "sub" / "first.mid";
  const fs::path second = Dir() / "second.mid";
  WriteFile(first, SmallSongBytes());
  WriteFile(second, SmfBuilder().PartParameter(0, 0, 0x0B, 1).Bytes());

  window = std::make_unique<Tmain_form>(messages, dialogs, midi);
  window->OpenAtStart("sub/first.mid");
  window->show();
  window->FormActivate();
  QApplication::processEvents();
  EXPECT_EQ(midi.Count(RecordingMidiPort::CallKind::Open), 1u);
  EXPECT_EQ(Component<QLineEdit>("e_filename")->text(), "sub/first.mid");
  EXPECT_EQ(DataRows(), 4);

  // Not a local file: refused; of several files the first local one counts.
  Drop(window.get(), {QUrl("https://example.org/x.mid")});
  EXPECT_EQ(DataRows(), 4);
  Drop(window.get(), {QUrl("https://example.org/x.mid"), QUrl::fromLocalFile(QString::fromStdString(second.string())),
                      QUrl::fromLocalFile(QString::fromStdString(first.string()))});
  EXPECT_EQ(DataRows(), 1);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;

  const QMenu* file = Component<QMenu>("File1");
  EXPECT_EQ(RecentMenu(file), (QStringList{"&1 " + QString::fromStdString(second.string()),
                                           "&2 " + QString::fromStdString(first.string())}));
  Action("Recent2")->trigger();
  EXPECT_EQ(DataRows(), 4);
  EXPECT_EQ(RecentMenu(file).size(), 2);
  EXPECT_TRUE(RecentMenu(file).front().endsWith("first.mid"));

  // The settings keep the list; a file that has gone leaves it.
  CloseWindow();
  window.reset();
  fs::remove(first);
  Start();
  EXPECT_EQ(RecentMenu(Component<QMenu>("File1")).size(), 2);
  Action("Recent1")->trigger();
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"File not Found"});
  EXPECT_EQ(RecentMenu(Component<QMenu>("File1")), QStringList{"&1 " + QString::fromStdString(second.string())});
  EXPECT_EQ(window->Settings().recentFiles, std::vector<std::string>{second.string()});
}

TEST_F(WindowActionsTest, ArgumentThatIsNoFileIsNotFound) {
  window = std::make_unique<Tmain_form>(messages, dialogs, midi);
  window->OpenAtStart("missing.mid");
  window->show();
  window->FormActivate();
  QApplication::processEvents();
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"File not Found"});
  EXPECT_TRUE(window->Settings().recentFiles.empty());
}

TEST_F(WindowActionsTest, HelpWindowExplainsAndClosesWithEscape) {
  Start();
  Action("Help")->trigger();
  THelp_Form* help = window->HelpWindow();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->windowTitle(), "Mertovan Help");
  const QString text = Component<QTextBrowser>("HelpText")->toPlainText();
  for (const char* needle : {"grey", "Output as formal", "Keep the song", "Return", "Ctrl+C", "Ctrl+M"})
    EXPECT_TRUE(text.contains(needle)) << needle;
  EXPECT_TRUE(text.contains(QString::fromStdString((Dir() / "mertovan.ini").string())));
  QTest::keyClick(help, Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());
  Action("Help")->trigger();
  EXPECT_EQ(window->HelpWindow(), help);
  EXPECT_TRUE(help->isVisible());
}

// The Event and Value cells tell what the value means; the status area tells
// it for the current row.
TEST_F(WindowActionsTest, MeaningsInTooltipsAndTheStatusArea) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Start();
  Load(song);
  const QAbstractItemModel* m = Grid()->model();
  auto tip = [m](int row, int column) { return m->data(m->index(row, column), Qt::ToolTipRole); };
  EXPECT_EQ(tip(3, 5).toString(), "Pan: C");
  EXPECT_EQ(tip(3, 6).toString(), "Pan: C");
  EXPECT_FALSE(tip(3, 7).isValid());
  EXPECT_FALSE(tip(1, 6).isValid());  // a volume says it all
  const QLabel* status = Component<QLabel>("l_status");
  EXPECT_EQ(status->text(), tip(0, 6).toString());
  SelectRow(3);
  EXPECT_EQ(status->text(), "Pan: C");
  SelectRow(1);
  EXPECT_EQ(status->text(), "");
}

}  // namespace
}  // namespace mertovan::testing
