// The main window: the loaded file's name, the view switch, the listing grid
// of every SysEx message, and the menu that loads a file (also from the list
// of recent files), opens the convert dialog and shows help and the version.
// A row can be sent to the MIDI output (Return, double-click, context menu)
// or copied; a file dropped on the window is loaded. The window holds the
// loaded song, and the session that carries the XG drum part map from one
// file to the next for as long as the program runs.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "analysis/analyse.h"
#include "app/shell/convert_status.h"
#include "app/shell/midi_output.h"
#include "app/shell/settings.h"
#include "model/messages.h"
#include "model/song.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPainter;
class QPushButton;
class QRadioButton;
class QTableView;

namespace mertovan {

class EventTableModel;
class FileDialogs;
class SendAllProgress;
class SendClock;
class THelp_Form;
class TOutputcc_Form;
class TSetup_Form;
class TTargetReport_Form;

class Tmain_form : public QMainWindow {
  Q_OBJECT

 public:
  // The services stay owned by the caller and must outlive the window.
  Tmain_form(MessageService& messages, FileDialogs& dialogs, MidiPort& midi, QWidget* parent = nullptr);
  ~Tmain_form() override;

  // A file named on the command line: loaded once the first activation has
  // opened the MIDI output, as "Load SMF" would load it.
  void OpenAtStart(const QString& fileName);

  // The outer frame's place and size, as the settings file keeps them.
  int WindowTop() const;
  int WindowLeft() const;
  int WindowWidth() const;
  int WindowHeight() const;

  // Handlers, as the menu, the buttons, the grid and the window system call them.
  void L1Click();
  void Output1Click();
  void Version1Click();
  void Exit1Click();
  void HelpClick();
  void RecentClick(int index);  // entry `index` of the recent files
  void SendRowClick();          // Return, double-click, "Send to MIDI output"
  void CopyRowClick();          // Ctrl+C, "Copy"
  void FormActivate();
  void FormResize();
  void rb_ccClick();
  void rb_sysexClick();
  void sysGridDrawCell(QPainter& painter, int column, int row, const QRect& rect, bool selected) const;
  void sysGridMouseUp();
  void CCoutClick();
  void SysExOutClick();
  void SetupS1Click();
  void SendAll1Click();

  void OpenSmfFile();
  // Loads a file as "Load SMF" does once a name is chosen: "File not Found"
  // for a name that is no file, the read error for a damaged one. The name
  // is shown as given; the recent files keep its absolute form.
  void LoadFile(const QString& fileName);
  void RefreshGrid();
  void NumberRows(int n);
  void ShowEvents();
  void FitLastColumn();

  // Where every message box of the program goes: 40 pixels right of and
  // below the window's top-left corner.
  std::pair<int, int> MessagePoint() const;
  void ShowMessage(std::string_view text, MessageKind kind);
  // Opens the list of what a converted song's target could not keep where
  // the message boxes go, in place of one still open.
  void ShowTargetReport(const TargetReportNotice& notice);
  // Runs a handler's body under the general error report.
  bool Reported(const std::function<void()>& body);

  SettingsRecord& Settings() { return settings_; }
  // The song the listing shows; empty before the first load and after a
  // load that failed.
  const Song& LoadedSong() const { return song_; }
  const std::string& StartDir() const { return startDir_; }
  bool Activated() const { return activated_ != 0; }
  // The convert dialog while it is open, else null.
  TOutputcc_Form* ConvertDialog() const;
  // The list of what a converted song's target could not keep while it is
  // open, else null.
  TTargetReport_Form* TargetReportDialog() const;
  // The help window once it has been opened, else null.
  THelp_Form* HelpWindow() const;
  // The Setup dialog while it is open, else null.
  TSetup_Form* SetupDialog() const;
  // The running "Send all", else null.
  SendAllProgress* SendAllRun() const;
  // The clock that paces "Send all"; the steady clock unless a test sets one.
  void SetSendClock(SendClock& clock) { sendClock_ = &clock; }

  static constexpr int kMinLastColumnWidth = 24;
  static constexpr QSize kMinOuterSize{370, 250};
  static constexpr QSize kMaxOuterSize{1200, 1024};

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void BuildForm();
  void BuildMenu();
  void BuildRowActions();
  void FormCreate();
  void FormClose();
  // The outer size the window system adds to the client area; zero until
  // the window has a frame.
  QSize FrameExtra() const;
  void SetOuterGeometry(int left, int top, int width, int height);
  // Keeps the outer size and the size limits right once the frame is known.
  void TrackFrame();
  void KeepOnScreen();
  void UpdateRecentMenu();
  void LoadStartFileSoon();
  // The status area and the row actions follow the current row.
  void CurrentRowChanged();
  const Tsys* CurrentEvent() const;

  // Components, named as in the form; tests find them by these object names.
  QLabel* l_filename = nullptr;
  QLineEdit* e_filename = nullptr;
  QRadioButton* rb_sysex = nullptr;
  QRadioButton* rb_cc = nullptr;
  QTableView* sysGrid = nullptr;
  QPushButton* CCout = nullptr;
  QPushButton* SysExOut = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* Setup1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* L1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Output1 = nullptr;
  QAction* SendAll1 = nullptr;
  QAction* N2 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* SetupS1 = nullptr;
  QAction* Help = nullptr;
  QAction* Version1 = nullptr;
  std::array<QAction*, kMaxRecentFiles> Recent{};  // the recent files, before "Exit"
  QAction* N3 = nullptr;                           // separator after them
  QAction* SendRow1 = nullptr;                     // the grid's context menu
  QAction* CopyRow1 = nullptr;
  QLabel* l_status = nullptr;  // the current row's meaning, in the status bar

  MessageService& messages_;
  FileDialogs& dialogs_;
  // The output every send goes through; it says so once when the port
  // goes away, and opens it again when it is back.
  WatchedMidiPort midi_;
  SettingsRecord settings_;
  Song song_;
  Session session_;
  uint8_t activated_ = 0;
  std::string startDir_;
  EventTableModel* model_ = nullptr;
  QWidget* client_ = nullptr;
  QSize frameExtra_{0, 0};
  QPointer<TOutputcc_Form> convertForm_;
  QPointer<TTargetReport_Form> targetReport_;
  QPointer<THelp_Form> helpForm_;
  QString startFile_;  // named on the command line, loaded after the first activation
  QPointer<TSetup_Form> setupForm_;
  QPointer<SendAllProgress> sendAll_;
  SendClock* sendClock_ = nullptr;
};

}  // namespace mertovan
