#include <signal.h>

#include <QApplication>
#include <memory>

#include "app/main_window.h"
#include "app/qt_services.h"
#include "app/shell/midi_output.h"

int main(int argc, char** argv) {
  // Beyond the file size limit a write fails and is reported like any write error.
  ::signal(SIGXFSZ, SIG_IGN);
  mertovan::ReportingApplication app(argc, argv);
  // The name the window system groups the program under. Not the display
  // name: the toolkit would append that to the caption.
  QApplication::setApplicationName(QStringLiteral("Mertovan"));
  QApplication::setFont(mertovan::WindowFont());

  mertovan::QtMessageService messages;
  mertovan::QtFileDialogs dialogs;
  const std::unique_ptr<mertovan::MidiPort> midi = mertovan::MakeSystemMidiPort();
  mertovan::Tmain_form window(messages, dialogs, *midi);
  app.SetReport([&window](const char* text) { window.ShowMessage(text, mertovan::MessageKind::Warning); });
  window.show();
  // Without a window manager nobody would activate the window, and the
  // first activation is when the MIDI output opens.
  window.activateWindow();
  return QApplication::exec();
}
