#include <signal.h>

#include <QApplication>
#include <QCommandLineParser>
#include <memory>

#include "app/main_window.h"
#include "app/qt_services.h"
#include "app/shell/midi_output.h"
#include "version.h"

int main(int argc, char** argv) {
  // Beyond the file size limit a write fails and is reported like any write error.
  ::signal(SIGXFSZ, SIG_IGN);
  mertovan::ReportingApplication app(argc, argv);
  // The name the window system groups the program under. Not the display
  // name: the toolkit would append that to the caption.
  QApplication::setApplicationName(QStringLiteral("Mertovan"));
  QApplication::setApplicationVersion(QString::fromLatin1(mertovan::kVersion));
  QApplication::setFont(mertovan::WindowFont());

  // What is left once the toolkit has taken its own options (-platform ...):
  // at most a MIDI file to open. Of several names the first counts, as when
  // several files are dropped on the window.
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Lists the XG SysEx messages of a MIDI file and converts them to controller messages."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("MIDI file to open at start"),
                               QStringLiteral("[FILE]"));
  parser.process(app);
  const QStringList files = parser.positionalArguments();

  mertovan::QtMessageService messages;
  mertovan::QtFileDialogs dialogs;
  const std::unique_ptr<mertovan::MidiPort> midi = mertovan::MakeSystemMidiPort();
  mertovan::Tmain_form window(messages, dialogs, *midi);
  if (!files.isEmpty()) window.OpenAtStart(files.front());
  app.SetReport([&window](const char* text) { window.ShowMessage(text, mertovan::MessageKind::Warning); });
  window.show();
  // Without a window manager nobody would activate the window, and the
  // first activation is when the MIDI output opens.
  window.activateWindow();
  return QApplication::exec();
}
