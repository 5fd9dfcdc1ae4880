#include "app/qt_services.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <exception>

namespace mertovan {

void QtMessageService::ShowMessageAt(std::string_view text, MessageKind kind, int x, int y) {
  QMessageBox box;
  const bool warning = kind == MessageKind::Warning;
  box.setIcon(warning ? QMessageBox::Warning : QMessageBox::Information);
  box.setWindowTitle(warning ? QStringLiteral("Warning") : QStringLiteral("Information"));
  box.setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
  box.setStandardButtons(QMessageBox::Ok);
  box.setFont(WindowFont());
  // Above the always-on-top convert dialog, whose "Convert" reports here.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  // An explicit move keeps the dialog from centring itself over its parent.
  box.move(x, y);
  box.exec();
}

namespace {

std::optional<QString> RunDialog(QFileDialog& dialog, const FileDialogRequest& request) {
  if (!request.title.isEmpty()) dialog.setWindowTitle(request.title);
  dialog.setNameFilter(request.filter);
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace

std::optional<QString> QtFileDialogs::GetOpenFileName(QWidget* parent,
                                                      const FileDialogRequest& request) {
  QFileDialog dialog(parent, request.title, request.initialPath);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // AnyFile: a typed name that does not exist is handed back, so the caller
  // can say "File not Found" in its own words; the folder must exist.
  dialog.setFileMode(QFileDialog::AnyFile);
  return RunDialog(dialog, request);
}

std::optional<QString> QtFileDialogs::GetSaveFileName(QWidget* parent,
                                                      const FileDialogRequest& request) {
  QFileDialog dialog(parent, request.title, request.initialPath);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  return RunDialog(dialog, request);
}

bool RunReported(MessageService& messages, const std::function<std::pair<int, int>()>& where,
                 const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    const auto [x, y] = where();
    messages.ShowMessageAt(e.what(), MessageKind::Warning, x, y);
  }
  return false;
}

bool ReportingApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    if (report_) report_(e.what());
  }
  return false;
}

QString FirstInstalledFamily(const QStringList& candidates) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : candidates) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  return {};
}

bool LinesUpHexBytes(const QFont& font) {
  const QFontMetrics metrics(font);
  const int advance = metrics.horizontalAdvance(QLatin1Char('0'));
  for (QChar c : QStringLiteral("0123456789ABCDEF -,:cpF")) {
    if (metrics.horizontalAdvance(c) != advance) return false;
  }
  return advance > 0;
}

namespace {

QFont Sized(QFont font) {
  font.setPixelSize(12);
  return font;
}

}  // namespace

QFont WindowFont() {
  const QString family =
      FirstInstalledFamily({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                            QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")});
  if (family.isEmpty()) return Sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  return Sized(QFont(family));
}

QFont GridFont() {
  const QString family =
      FirstInstalledFamily({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                            QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック")});
  if (!family.isEmpty()) {
    QFont font = Sized(QFont(family));
    font.setStyleHint(QFont::TypeWriter);
    if (LinesUpHexBytes(font)) return font;
  }
  QFont fixed = Sized(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setFixedPitch(true);
  return fixed;
}

QLabel* NewBlueLabel(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  QPalette blue = label->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  label->setPalette(blue);
  label->move(x, y);
  label->adjustSize();
  return label;
}

}  // namespace mertovan
