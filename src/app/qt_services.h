// What the windows need of the toolkit beyond widgets: message boxes placed at
// a screen point, the open and save dialogs, the general error report and the
// program's fonts. The message boxes and the file dialogs sit behind small
// interfaces so the tests can drive the real windows with fakes.
#pragma once

#include <QApplication>
#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "model/messages.h"

class QLabel;
class QWidget;

namespace mertovan {

// Real message boxes: one "OK" button, the kind's icon and standard caption,
// top-left corner at the given screen point. Waits until dismissed.
class QtMessageService : public MessageService {
 public:
  void ShowMessageAt(std::string_view text, MessageKind kind, int x, int y) override;
};

// One file dialog as the windows set it up.
struct FileDialogRequest {
  QString title;          // empty: the toolkit's own title
  QString initialPath;    // a folder, or a full file name to propose
  QString filter;         // in the toolkit's form: "Description (*.ext)"
  QString defaultSuffix;  // appended to a typed name without an extension
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen full file name, or nothing when the user cancels. The open
  // dialog accepts a name that does not exist (its folder must), so that the
  // caller can tell the user the file was not found.
  virtual std::optional<QString> GetOpenFileName(QWidget* parent, const FileDialogRequest& request) = 0;
  // Never asks before an existing file is chosen: the writer decides whether
  // a target may be overwritten.
  virtual std::optional<QString> GetSaveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
};

class QtFileDialogs : public FileDialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget* parent, const FileDialogRequest& request) override;
  std::optional<QString> GetSaveFileName(QWidget* parent, const FileDialogRequest& request) override;
};

// The general error report: runs `body`; an exception ends it where it stands
// and its text is shown as a warning at the point `where` gives at that moment
// (the main window moves, so the point is asked for only when needed). Returns
// false when the body raised.
bool RunReported(MessageService& messages, const std::function<std::pair<int, int>()>& where,
                 const std::function<void()>& body);

// The application object with the last line of the general error report: an
// exception that escapes an event handler without the helper above is shown
// through `report` instead of ending the program.
class ReportingApplication : public QApplication {
 public:
  ReportingApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  void SetReport(std::function<void(const char*)> report) { report_ = std::move(report); }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::function<void(const char*)> report_;
};

// The program's fonts, 12 pixels: the proportional Japanese Gothic for the
// windows, its fixed-pitch sibling for the listing. Where a requested family
// is not installed the metric-compatible IPA fonts stand in; the grid falls
// back to the system's fixed-pitch font so the byte columns always line up.
QFont WindowFont();
QFont GridFont();

// The first family of `candidates` that is installed, or an empty text.
QString FirstInstalledFamily(const QStringList& candidates);
// Digits, upper-case hex letters and the blank all have the same advance, so
// "F0 43 10 ..." lines up in columns from row to row.
bool LinesUpHexBytes(const QFont& font);

// The windows' "Filename" labels: blue text at (x, y), sized to the text.
QLabel* NewBlueLabel(const QString& text, QWidget* parent, int x, int y);

}  // namespace mertovan
