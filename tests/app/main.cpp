// The desktop program's tests drive the real windows, so they need an
// application object; without a display they run on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "app/qt_services.h"

namespace {

// The offscreen platform cannot pass size limits on to a window system and
// says so for every window; that is not a finding of the tests.
QtMessageHandler gUsualHandler = nullptr;

void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QLatin1String("does not support propagateSizeHints"))) return;
  if (gUsualHandler) {
    gUsualHandler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  gUsualHandler = qInstallMessageHandler(QuietOffscreenNotes);
  mertovan::ReportingApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mertovan"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
