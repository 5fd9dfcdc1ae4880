#include "app/outputcc_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

#include "app/main_window.h"
#include "app/qt_services.h"
#include "writer/outputcc_logic.h"
#include "writer/writer.h"

namespace mertovan {

TOutputcc_Form::TOutputcc_Form(Tmain_form& owner)
    // No parent widget: a child window would be disabled together with the
    // main window. Always on top, and it must not keep the program running
    // once the main window has closed.
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Outputcc_Form"));
  setFont(owner.font());

  // Created in tab order: "Convert" first, so it holds the focus when the
  // dialog opens, then the name, "Cancel", the first option, "Ref" and the
  // second option.
  ConvertBtn = new QPushButton(QStringLiteral("Convert"), this);
  ConvertBtn->setGeometry(112, 112, 65, 25);
  e_filename = new QLineEdit(this);
  e_filename->setReadOnly(true);
  e_filename->setGeometry(64, 24, 169, 20);
  cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setGeometry(192, 112, 65, 25);
  C_sysex = new QCheckBox(QStringLiteral("Include unconvertible SysEx msg."), this);
  C_sysex->setGeometry(16, 56, 233, 17);
  refer = new QPushButton(QStringLiteral("Ref"), this);
  refer->setGeometry(232, 24, 25, 25);
  c_formal = new QCheckBox(QStringLiteral("Output as formal"), this);
  c_formal->setGeometry(16, 80, 177, 17);

  l_filename = NewBlueLabel(QStringLiteral("Filename"), this, 8, 24);

  connect(refer, &QPushButton::clicked, this, [this] { referClick(); });
  // toggled: ticking a box by program stores the option like a click does.
  connect(C_sysex, &QCheckBox::toggled, this, [this] { C_sysexClick(); });
  connect(c_formal, &QCheckBox::toggled, this, [this] { c_formalClick(); });
  connect(ConvertBtn, &QPushButton::clicked, this, [this] { ConvertBtnClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { cancelClick(); });

  FormCreate();
}

void TOutputcc_Form::FormCreate() {
  move(owner_.x() + 30, owner_.y() + 30);
  KeepOuterSize();
  const QString proposed =
      QString::fromStdString(DefaultOutputName(owner_.e_filename->text().toStdString()));
  e_filename->setText(proposed);
  e_filename->setCursorPosition(int(proposed.size()));
  SettingsRecord& settings = owner_.Settings();
  if (settings.includeUnconvertible == 1) C_sysex->setChecked(true);
  if (settings.formalOutput == 1) c_formal->setChecked(true);
  // Kept above the main window by the window system as well.
  winId();
  if (windowHandle() && owner_.windowHandle()) windowHandle()->setTransientParent(owner_.windowHandle());
  show();
  ConvertBtn->setFocus();
}

void TOutputcc_Form::referClick() {
  owner_.Reported([this] {
    FileDialogRequest request;
    request.title = QStringLiteral("ファイル名の変更");
    request.initialPath = e_filename->text();
    request.filter = QStringLiteral("Standard MIDI file (*.mid)");
    request.defaultSuffix = QStringLiteral("mid");
    if (const std::optional<QString> name = owner_.Dialogs().GetSaveFileName(this, request)) {
      e_filename->setText(*name);
      e_filename->setCursorPosition(int(name->size()));
    }
  });
}

void TOutputcc_Form::C_sysexClick() {
  owner_.Settings().includeUnconvertible = C_sysex->isChecked() ? 1 : 0;
}

void TOutputcc_Form::c_formalClick() { owner_.Settings().formalOutput = c_formal->isChecked() ? 1 : 0; }

void TOutputcc_Form::ConvertBtnClick() {
  // On an error the dialog stays open and the main window disabled: the
  // user can pick another name or cancel.
  owner_.Reported([this] {
    const SettingsRecord& settings = owner_.Settings();
    const auto [x, y] = owner_.MessagePoint();
    WriteConvertedFile(e_filename->text().toStdString(),
                       ConvertOptions{settings.formalOutput, settings.includeUnconvertible},
                       owner_.Messages(), x, y);
    close();
    owner_.setEnabled(true);
  });
}

void TOutputcc_Form::cancelClick() { close(); }

void TOutputcc_Form::FormClose() { owner_.setEnabled(true); }

void TOutputcc_Form::closeEvent(QCloseEvent* e) {
  FormClose();
  e->accept();
}

void TOutputcc_Form::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  KeepOuterSize();
}

void TOutputcc_Form::KeepOuterSize() {
  const QSize extra = frameGeometry().size() - size();
  setFixedSize(kOuterSize - extra);
}

}  // namespace mertovan
