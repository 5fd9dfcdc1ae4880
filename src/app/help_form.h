// The help window: what the listing shows, what the convert dialog writes,
// the keys, and where the settings are kept. Not modal; Escape closes it.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace mertovan {

class THelp_Form : public QDialog {
  Q_OBJECT

 public:
  // `settingsPath` is the settings file this run reads and writes.
  THelp_Form(const QString& settingsPath, QWidget* parent);

  // The help text as HTML.
  static QString HelpHtml(const QString& settingsPath);

 private:
  QTextBrowser* text_ = nullptr;
};

}  // namespace mertovan
