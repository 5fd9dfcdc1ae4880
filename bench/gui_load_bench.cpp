// The desktop program's load-to-listing time: the real main window, shown,
// loads a file through its "Load SMF" command and paints the listing. The
// time runs from the command to the end of the grid's first paint with the
// new rows. Then the time of one switch between the two views of the
// listing, repainted, as the mean of ten. Run in an empty folder (the window
// keeps its settings file in the start-up folder), on the offscreen platform
// when there is no display.
//   gui_load_bench FILE.mid [RUNS]    prints each run and the medians
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "analysis/conversion.h"
#include "app/event_table_model.h"
#include "app/main_window.h"
#include "app/qt_services.h"
#include "support/recording_midi_port.h"
#include "model/events.h"
#include "support/recording_messages.h"

namespace {

using namespace mertovan;

// The open dialog always answers with the file under test.
class FixedDialogs : public FileDialogs {
 public:
  explicit FixedDialogs(QString file) : file_(std::move(file)) {}
  std::optional<QString> GetOpenFileName(QWidget*, const FileDialogRequest&) override { return file_; }
  std::optional<QString> GetSaveFileName(QWidget*, const FileDialogRequest&) override { return std::nullopt; }

 private:
  QString file_;
};

// Counts the paint events of the grid's viewport.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

// The offscreen platform cannot pass size limits on to a window system and
// says so for every window.
void QuietOffscreenNotes(QtMsgType, const QMessageLogContext&, const QString& text) {
  if (!text.contains(QLatin1String("propagateSizeHints"))) std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  qInstallMessageHandler(QuietOffscreenNotes);
  QApplication app(argc, argv);
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FILE.mid [RUNS]\n", argv[0]);
    return 2;
  }
  const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;

  std::vector<double> seconds, switches;
  for (int run = 0; run < runs; ++run) {
    // A fresh window each run, as at program start.
    ClearEventTables();
    gDrumSetupPartMap = kInitialDrumSetupPartMap;
    test::RecordingMessages messages;
    FixedDialogs dialogs(file);
    RecordingMidiPort midi;
    Tmain_form window(messages, dialogs, midi);
    window.show();
    auto* grid = window.findChild<QTableView*>(QStringLiteral("sysGrid"));
    auto* ccView = window.findChild<QRadioButton*>(QStringLiteral("rb_cc"));
    auto* sysexView = window.findChild<QRadioButton*>(QStringLiteral("rb_sysex"));
    if (!QTest::qWaitForWindowExposed(&window)) {
      std::fprintf(stderr, "the window was never shown\n");
      return 1;
    }
    QApplication::processEvents();

    PaintCounter counter;
    grid->viewport()->installEventFilter(&counter);
    QElapsedTimer timer;
    timer.start();
    window.findChild<QAction*>(QStringLiteral("L1"))->trigger();
    // Layout and the grid's paint with the new rows, done now rather than
    // when the event loop next runs.
    QApplication::processEvents();
    grid->viewport()->repaint();
    const double s = double(timer.nsecsElapsed()) / 1e9;

    grid->viewport()->removeEventFilter(&counter);

    timer.restart();
    for (int i = 0; i < 10; ++i) {
      (i % 2 ? sysexView : ccView)->click();
      grid->viewport()->repaint();
    }
    const double switchSeconds = double(timer.nsecsElapsed()) / 1e9 / 10;

    const int rows = grid->model()->rowCount();
    const QString firstEvent = grid->model()->index(1, 5).data().toString();
    for (const std::string& text : messages.Texts()) std::fprintf(stderr, "message: %s\n", text.c_str());
    if (!messages.shown.empty() || rows < int(gSysEx.size()) || gSysEx.size() == 0 || firstEvent.isEmpty()) {
      std::fprintf(stderr, "the file was not listed (%d rows, %zu messages)\n", rows, gSysEx.size());
      return 1;
    }
    if (counter.paints == 0) {
      std::fprintf(stderr, "the listing was never painted\n");
      return 1;
    }
    std::printf("run %d: %.3f s, %zu messages listed; view switch %.4f s\n", run + 1, s, gSysEx.size(),
                switchSeconds);
    seconds.push_back(s);
    switches.push_back(switchSeconds);
    window.close();
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(switches.begin(), switches.end());
  std::printf("load to listing: median %.3f s over %d runs\n", seconds[seconds.size() / 2], runs);
  std::printf("view switch: median %.4f s over %d runs\n", switches[switches.size() / 2], runs);
  return 0;
}
