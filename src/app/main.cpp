#include <QApplication>
#include <QMainWindow>

#include "app/qt_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mertovan"));
  QApplication::setFont(mertovan::WindowFont());
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Mertovan v0.6"));
  window.show();
  return QApplication::exec();
}
