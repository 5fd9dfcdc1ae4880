#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include "analysis/conversion.h"
#include "app/event_table_model.h"
#include "app_fixture.h"

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;

using ListingGridTest = AppTest;

// A new analysed song of `n` messages in the place of `song`.
void FillEvents(Song& song, size_t n) {
  song = Song{};
  const std::vector<uint8_t> volume = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7};
  const std::vector<uint8_t> systemOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  for (size_t i = 0; i < n; ++i) song.sysEx.Append(uint32_t(i * 10), i % 3 == 0 ? systemOn : volume);
  Session session;
  AnalyseEvents(song, session);
}

TEST(EventTableModel, PassesTheModelTesterThroughResetsAndViewChanges) {
  Song song;
  ViewMode view = ViewMode::SysEx;
  EventTableModel model(song, view);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.SetDataRows(5);
  model.NumberRows(5);
  FillEvents(song, 7);
  model.SetDataRows(7);
  model.NumberRows(7);
  EXPECT_EQ(model.rowCount(), 7);
  EXPECT_EQ(model.columnCount(), 8);
  EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
  view = ViewMode::Cc;
  model.ShowEvents();
  EXPECT_EQ(model.headerData(7, Qt::Horizontal).toString(), "ControlChange");
  EXPECT_EQ(model.data(model.index(1, 7)).toString(), "cc7  ,100");
  EXPECT_EQ(model.data(model.index(6, 0)).toString(), "7");
  EXPECT_FALSE(model.flags(model.index(1, 1)).testFlag(Qt::ItemIsEditable));
  song = Song{};
  model.SetDataRows(1);
  model.ShowEvents();
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "");
}

TEST(EventTableModel, RowsThatOutliveTheirEventsShowBlank) {
  Song song;
  const ViewMode view = ViewMode::SysEx;
  EventTableModel model(song, view);
  FillEvents(song, 3);
  model.SetDataRows(3);
  song = Song{};  // the song emptied behind the model's back, as a failed load does
  EXPECT_EQ(model.EventAt(2), nullptr);
  EXPECT_EQ(model.data(model.index(2, 7)).toString(), "");
  EXPECT_EQ(model.data(model.index(2, 7), Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
}

// The whole path of a large load and of view switches over it; how fast they
// are is measured by bench/gui_load_bench (scripts/bench), not here, since the
// tests also run under the sanitizers.
TEST_F(ListingGridTest, HundredThousandMessagesLoadAndSwitchViews) {
  SmfBuilder song;
  for (int i = 0; i < 100000; ++i) song.PartParameter(1, uint8_t(i % 16), 0x0B, uint8_t(i % 128));
  const fs::path big = Dir() / "big.mid";
  WriteFile(big, song.Bytes());
  Start();

  Load(big);
  Grid()->viewport()->repaint();
  ASSERT_EQ(DataRows(), 100000);
  for (int i = 0; i < 10; ++i) {
    (i % 2 ? Component<QRadioButton>("rb_sysex") : Component<QRadioButton>("rb_cc"))->click();
    Grid()->viewport()->repaint();
  }
  EXPECT_EQ(DataRows(), 100000);
  EXPECT_EQ(Cell(99999, 7), "F0 43 10 4C 08 0F 0B 1F F7 ");
  Grid()->scrollToBottom();
  Grid()->viewport()->repaint();
}

// Counts pixels of the grid image near a colour.
int CountNear(const QImage& image, const QRect& area, QColor colour, int tolerance = 8) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance &&
          std::abs(c.blue() - colour.blue()) <= tolerance)
        ++n;
    }
  return n;
}

// The darkest grey level of the text pixels in an area (255: no text).
int DarkestText(const QImage& image, const QRect& area) {
  int darkest = 255;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  return darkest;
}

TEST_F(ListingGridTest, DrawnRowsAreGreyForUnconvertedBlackOtherwiseAndGreenWhenSelected) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Start();
  Load(song);
  Grid()->setCurrentIndex(Grid()->model()->index(3, 1));
  const QImage image = Grid()->viewport()->grab().toImage();
  auto rowArea = [&](int row) {
    const QRect r = Grid()->visualRect(Grid()->model()->index(row, 5));
    const QRect last = Grid()->visualRect(Grid()->model()->index(row, 7));
    return QRect(r.topLeft(), last.bottomRight()).adjusted(1, 1, -1, -1);
  };
  // Row 0 (XG System On): text grey #AAAAAA, nothing darker.
  EXPECT_GE(DarkestText(image, rowArea(0)), 0xA0);
  EXPECT_LT(DarkestText(image, rowArea(0)), 0xC8);
  // Row 1 (a volume change): black text.
  EXPECT_LT(DarkestText(image, rowArea(1)), 0x40);
  // The current row is light green, the others are not.
  const QColor green(0xDD, 0xFF, 0xDD);
  EXPECT_GT(CountNear(image, rowArea(3), green), rowArea(3).width() * 4);
  EXPECT_EQ(CountNear(image, rowArea(1), green), 0);
}

TEST_F(ListingGridTest, ByteColumnLinesUpInTheGridFont) {
  Start();
  EXPECT_TRUE(LinesUpHexBytes(Grid()->font()));
  EXPECT_EQ(Grid()->font().pixelSize(), 12);
  EXPECT_EQ(Grid()->verticalHeader()->defaultSectionSize(), 16);
  EXPECT_EQ(Grid()->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
  EXPECT_EQ(Grid()->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(Grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(Grid()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  if (!FirstInstalledFamily({"IPAGothic"}).isEmpty()) {
    EXPECT_TRUE(FirstInstalledFamily({"ＭＳ ゴシック", "IPAGothic"}) == Grid()->font().family() ||
                !LinesUpHexBytes(QFont("IPAGothic")));
  }
}

}  // namespace
}  // namespace mertovan::testing
