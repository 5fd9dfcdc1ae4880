// The convert dialog: the proposed output name, a save dialog to choose
// another, the two conversion options, and "Convert", which hands the name
// and the options to the writer.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mertovan {

class Tmain_form;

class TOutputcc_Form : public QWidget {
  Q_OBJECT

 public:
  // Places, fills and shows itself. The owner has disabled itself already;
  // the dialog enables it again whenever it closes, and frees itself then.
  explicit TOutputcc_Form(Tmain_form& owner);

  void referClick();
  void C_sysexClick();
  void c_formalClick();
  void ConvertBtnClick();
  void cancelClick();

  QLabel* l_filename = nullptr;
  QLineEdit* e_filename = nullptr;
  QPushButton* refer = nullptr;
  QCheckBox* C_sysex = nullptr;
  QCheckBox* c_formal = nullptr;
  QPushButton* ConvertBtn = nullptr;
  QPushButton* cancel = nullptr;

  static constexpr QSize kOuterSize{294, 185};

 protected:
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void FormCreate();
  void FormClose();
  void KeepOuterSize();

  Tmain_form& owner_;
};

}  // namespace mertovan
