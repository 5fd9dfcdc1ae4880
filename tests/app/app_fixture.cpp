#include "app_fixture.h"

#include <QAbstractItemModel>
#include <QTableView>
#include <QTest>

#include "analysis/conversion.h"

namespace mertovan::testing {

namespace fs = std::filesystem;

std::vector<uint8_t> SmallSongBytes() {
  return SmfBuilder()
      .FourFour(0)
      .SysEx(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})  // XG System On
      .PartParameter(480, 0, 0x0B, 100)                            // part 1 volume
      .PartParameter(0, 1, 0x03, 5)                                // part 2 program
      .Note(0, 60)
      .PartParameter(1920, 2, 0x0E, 64)  // part 3 pan, in bar 2
      .Bytes();
}

void AppTest::SetUp() {
  scratch_.emplace();
  dir_ = scratch_->path();
  previousDir_ = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir_.string())));
}

void AppTest::TearDown() {
  window.reset();
  // Dialogs freed on close go with the next pass of the event loop.
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QDir::setCurrent(previousDir_);
  scratch_.reset();
}

Tmain_form& AppTest::Start() { return Start(midi); }

Tmain_form& AppTest::Start(MidiPort& port) {
  window = std::make_unique<Tmain_form>(messages, dialogs, port);
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  return *window;
}

void AppTest::CloseWindow() { window->close(); }

void AppTest::Load(const fs::path& path) {
  dialogs.Answer(QString::fromStdString(path.string()));
  Action("L1")->trigger();
}

void AppTest::SelectRow(int row) { Grid()->setCurrentIndex(Grid()->model()->index(row, 1)); }

QString AppTest::Cell(int row, int column) const {
  const QAbstractItemModel* m = Grid()->model();
  return m->data(m->index(row, column)).toString();
}

QString AppTest::Header(int column) const {
  return Grid()->model()->headerData(column, Qt::Horizontal).toString();
}

int AppTest::DataRows() const { return Grid()->model()->rowCount(); }

std::pair<int, int> AppTest::ExpectedMessagePoint() const {
  return {window->frameGeometry().left() + 40, window->frameGeometry().top() + 40};
}

void AppTest::ResizeOuter(int width, int height) {
  const QSize frame = window->frameGeometry().size() - window->size();
  window->resize(QSize(width, height) - frame);
}

}  // namespace mertovan::testing
