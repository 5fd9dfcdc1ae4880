// The convert dialog: the proposed output name, a save dialog to choose
// another, the conversion options (with the synthesizer a kept song is made
// for), and "Convert", which hands the loaded song, the name and the options
// to the writer.
#pragma once

#include <QDialog>
#include <QSize>
#include <functional>
#include <string>
#include <utility>

#include "app/shell/convert_status.h"
#include "app/shell/settings.h"
#include "model/messages.h"
#include "model/song.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mertovan {

class FileDialogs;

// What the dialog needs of the program around it.
struct ConvertDialogContext {
  // The window the dialog opens beside and stays above; only its place, font
  // and window handle are used.
  QWidget* owner = nullptr;
  std::string loadedFileName;  // the proposal is made from it
  const Song& song;            // what "Convert" writes; the owner's, read when it is pressed
  SettingsRecord& settings;    // the options are read and stored here at once
  MessageService& messages;
  FileDialogs& dialogs;
  // Where message boxes go, asked for when one is shown.
  std::function<std::pair<int, int>()> messagePoint;
  // Takes the status line of a conversion that wrote its file.
  std::function<void(const std::string&)> showStatus;
  // Takes the list of what a song made for GM or GS could not keep, once
  // the dialog has closed.
  std::function<void(const TargetReportNotice&)> showTargetReport;
};

class TOutputcc_Form : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog; FormCreate places, fills and shows it. No parent
  // widget: the owner disables itself while the dialog is open, and a child
  // window would be disabled with it. The dialog frees itself when it closes.
  explicit TOutputcc_Form(ConvertDialogContext context);

  void FormCreate();
  void referClick();
  void C_sysexClick();
  void c_formalClick();
  void c_songClick();
  void cb_targetChange();
  void ConvertBtnClick();
  void cancelClick();

  static constexpr QSize kOuterSize{294, 233};

 signals:
  // The dialog has closed, by "Convert", "Cancel", Escape or the close box.
  void Closed();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void FormClose();
  void KeepOuterSize();
  // "Output as formal" as the song option leaves it: greyed out and
  // unticked while the song is kept, else the stored choice.
  void ShowFormalBox();
  // "Target" likewise: usable only while the song is kept, showing the
  // stored choice either way.
  void ShowTargetBox();
  bool Reported(const std::function<void()>& body);

  ConvertDialogContext context_;
  QLabel* l_filename = nullptr;
  QLineEdit* e_filename = nullptr;
  QPushButton* refer = nullptr;
  QCheckBox* C_sysex = nullptr;
  QCheckBox* c_formal = nullptr;
  QCheckBox* c_song = nullptr;
  QLabel* l_target = nullptr;
  QComboBox* cb_target = nullptr;
  QPushButton* ConvertBtn = nullptr;
  QPushButton* cancel = nullptr;
};

}  // namespace mertovan
