// Makes the README's picture of the main window: starts the real window in a
// scratch folder (so no settings file is left behind), opens FILE by the name
// given, as "mertovan FILE" would, makes row ROW (from 1) the current one and
// saves the window as PNG.
//   mertovan-screenshot OUT.png FILE [ROW]
// A relative FILE is copied into the scratch folder under the same relative
// name, so the file name field shows that name and no folder of this machine.
// Runs on any Qt platform; without a display use QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <span>

#include "app/main_window.h"
#include "app/qt_services.h"
#include "app/shell/midi_output.h"

namespace {

using namespace mertovan;

// Any message box means the picture would not show what it should.
class CountingMessages : public MessageService {
 public:
  void ShowMessageAt(std::string_view text, MessageKind, int, int) override {
    std::fprintf(stderr, "mertovan-screenshot: message: %.*s\n", int(text.size()), text.data());
    ++shown;
  }
  int shown = 0;
};

class NoDialogs : public FileDialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> GetSaveFileName(QWidget*, const FileDialogRequest&) override { return std::nullopt; }
};

// An output that takes everything and sends nothing.
class SilentPort : public MidiPort {
 public:
  std::vector<std::string> OutputPorts() override { return {"ALSA: XG Module"}; }
  OpenResult Open(const std::string&) override { return OpenResult::Ok; }
  std::string OpenPort() const override { return "ALSA: XG Module"; }
  void Reset() override {}
  bool SendShort(uint32_t) override { return true; }
  bool SendLong(std::span<const uint8_t>) override { return true; }
  void Close() override {}
};

int Fail(const char* text) {
  std::fprintf(stderr, "mertovan-screenshot: %s\n", text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ReportingApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mertovan"));
  QApplication::setFont(WindowFont());
  const QStringList args = QApplication::arguments();
  if (args.size() < 3 || args.size() > 4) return Fail("usage: mertovan-screenshot OUT.png FILE [ROW]");
  const QString out = QFileInfo(args[1]).absoluteFilePath();
  const QString given = args[2];
  bool rowOk = true;
  const int row = args.size() == 4 ? args[3].toInt(&rowOk) : 9;
  if (!rowOk || row < 1) return Fail("ROW must be a row number from 1");
  if (!QFileInfo(given).isFile()) return Fail("FILE is not a file");

  QTemporaryDir scratch;
  if (!scratch.isValid()) return Fail("cannot make a scratch folder");
  QString shown = given;
  if (QFileInfo(given).isRelative() && !QDir::cleanPath(given).startsWith(QLatin1String(".."))) {
    shown = QDir::cleanPath(given);
    const QString copy = scratch.filePath(shown);
    if (!QDir().mkpath(QFileInfo(copy).absolutePath()) || !QFile::copy(given, copy))
      return Fail("cannot copy FILE into the scratch folder");
  }
  if (!QDir::setCurrent(scratch.path())) return Fail("cannot enter the scratch folder");

  CountingMessages messages;
  NoDialogs dialogs;
  SilentPort midi;
  int status = 0;
  {
    Tmain_form window(messages, dialogs, midi);
    window.OpenAtStart(shown);
    window.resize(640, 470);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return Fail("the window was never shown");
    window.FormActivate();  // where no window manager activates it
    QApplication::processEvents();
    auto* grid = window.findChild<QTableView*>(QStringLiteral("sysGrid"));
    if (grid->model()->rowCount() < row) return Fail("FILE has fewer rows than ROW");
    grid->setCurrentIndex(grid->model()->index(row - 1, 1));
    QTest::qWait(50);
    if (messages.shown != 0) status = 1;
    if (!window.grab().save(out)) status = Fail("cannot save the picture");
    window.close();
  }
  return status;
}
