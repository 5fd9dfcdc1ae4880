#include "app/outputcc_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWindow>

#include "app/qt_services.h"
#include "app/shell/convert_status.h"
#include "writer/outputcc_logic.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

// A control of the form named after its field, at its place.
template <class Control>
Control* Placed(Control* control, const char* name, const QRect& geometry) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(geometry);
  return control;
}

// The writer's options from the stored ones: "Keep the song" wins over
// "Output as formal", which the dialog greys out while the song is kept; the
// target goes with the song only, since a setup layer is made for XG.
ConvertOptions ConvertOptionsOf(const SettingsRecord& settings) {
  const Layout layout = settings.songOutput != 0     ? Layout::Song
                        : settings.formalOutput != 0 ? Layout::Formal
                                                     : Layout::Plain;
  return ConvertOptions{.layout = layout,
                        .includeUnconvertible = settings.includeUnconvertible != 0,
                        .target = layout == Layout::Song ? settings.target : Target::Xg};
}

// The "Target" choices, in the order the box lists them.
struct TargetChoice {
  Target target;
  const char* text;
};
constexpr TargetChoice kTargetChoices[] = {
    {Target::Xg, "XG module"}, {Target::Gm, "GM synth"}, {Target::Gs, "GS module"}};

}  // namespace

TOutputcc_Form::TOutputcc_Form(ConvertDialogContext context)
    // Always on top, and it must not keep the program running once the main
    // window has closed.
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      context_(std::move(context)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("Outputcc_Form"));
  setFont(context_.owner ? context_.owner->font() : WindowFont());

  // Created in tab order: "Convert" first, so it holds the focus when the
  // dialog opens, then the name, "Cancel", the first option, "Ref", the
  // other two options and the target.
  ConvertBtn = Placed(new QPushButton(QStringLiteral("Convert"), this), "ConvertBtn", {112, 160, 65, 25});
  // Enter and keypad Enter press it wherever the focus is, unless the focus
  // is on another button, which Enter then presses.
  ConvertBtn->setDefault(true);
  e_filename = Placed(new QLineEdit(this), "e_filename", {64, 24, 169, 20});
  e_filename->setReadOnly(true);
  cancel = Placed(new QPushButton(QStringLiteral("Cancel"), this), "cancel", {192, 160, 65, 25});
  C_sysex =
      Placed(new QCheckBox(QStringLiteral("Include unconvertible SysEx msg."), this), "C_sysex", {16, 56, 233, 17});
  refer = Placed(new QPushButton(QStringLiteral("Ref"), this), "refer", {232, 24, 25, 25});
  c_formal = Placed(new QCheckBox(QStringLiteral("Output as formal"), this), "c_formal", {16, 80, 177, 17});
  c_song =
      Placed(new QCheckBox(QStringLiteral("Keep the song (notes, tempo, tracks)"), this), "c_song", {16, 104, 265, 17});
  // The synthesizer the kept song is made for, set in under the song box
  // that it belongs to.
  cb_target = Placed(new QComboBox(this), "cb_target", {88, 126, 121, 22});
  for (const TargetChoice& choice : kTargetChoices)
    cb_target->addItem(QString::fromLatin1(choice.text), int(choice.target));
  l_target = Placed(new QLabel(QStringLiteral("Target"), this), "l_target", {34, 129, 49, 17});
  l_target->setBuddy(cb_target);

  l_filename = NewBlueLabel(QStringLiteral("Filename"), this, 8, 24);
  l_filename->setObjectName(QStringLiteral("l_filename"));

  connect(refer, &QPushButton::clicked, this, [this] { referClick(); });
  // toggled: ticking a box by program stores the option like a click does.
  connect(C_sysex, &QCheckBox::toggled, this, [this] { C_sysexClick(); });
  connect(c_formal, &QCheckBox::toggled, this, [this] { c_formalClick(); });
  connect(c_song, &QCheckBox::toggled, this, [this] { c_songClick(); });
  connect(cb_target, &QComboBox::currentIndexChanged, this, [this] { cb_targetChange(); });
  connect(ConvertBtn, &QPushButton::clicked, this, [this] { ConvertBtnClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { cancelClick(); });
  // Every way of closing a dialog (accept, Escape, the close box) ends here.
  connect(this, &QDialog::finished, this, [this] { FormClose(); });
}

void TOutputcc_Form::FormCreate() {
  if (context_.owner) move(context_.owner->x() + 30, context_.owner->y() + 30);
  KeepOuterSize();
  const QString proposed = QString::fromStdString(DefaultOutputName(context_.loadedFileName));
  e_filename->setText(proposed);
  e_filename->setCursorPosition(int(proposed.size()));
  const SettingsRecord& settings = context_.settings;
  if (settings.includeUnconvertible == 1) C_sysex->setChecked(true);
  if (settings.formalOutput == 1) c_formal->setChecked(true);
  if (settings.songOutput == 1) c_song->setChecked(true);
  ShowTargetBox();
  // Kept above the main window by the window system as well.
  winId();
  if (windowHandle() && context_.owner && context_.owner->windowHandle())
    windowHandle()->setTransientParent(context_.owner->windowHandle());
  show();
  // The keys go to the dialog also where no window manager hands it the focus.
  activateWindow();
  ConvertBtn->setFocus();
}

bool TOutputcc_Form::Reported(const std::function<void()>& body) {
  return RunReported(context_.messages, context_.messagePoint, body);
}

void TOutputcc_Form::referClick() {
  Reported([this] {
    FileDialogRequest request;
    request.title = QStringLiteral("ファイル名の変更");
    request.initialPath = e_filename->text();
    request.filter = QStringLiteral("Standard MIDI file (*.mid)");
    request.defaultSuffix = QStringLiteral("mid");
    if (const std::optional<QString> name = context_.dialogs.GetSaveFileName(this, request)) {
      e_filename->setText(*name);
      e_filename->setCursorPosition(int(name->size()));
    }
  });
}

void TOutputcc_Form::C_sysexClick() { context_.settings.includeUnconvertible = C_sysex->isChecked() ? 1 : 0; }

void TOutputcc_Form::c_formalClick() { context_.settings.formalOutput = c_formal->isChecked() ? 1 : 0; }

void TOutputcc_Form::c_songClick() {
  context_.settings.songOutput = c_song->isChecked() ? 1 : 0;
  ShowFormalBox();
  ShowTargetBox();
}

void TOutputcc_Form::cb_targetChange() {
  const QVariant chosen = cb_target->currentData();
  if (chosen.isValid()) context_.settings.target = Target(chosen.toInt());
}

void TOutputcc_Form::ShowTargetBox() {
  // Greyed out, the box still shows what a kept song would be made for.
  const bool song = context_.settings.songOutput == 1;
  const QSignalBlocker quiet(cb_target);
  cb_target->setCurrentIndex(cb_target->findData(int(context_.settings.target)));
  cb_target->setEnabled(song);
  l_target->setEnabled(song);
}

void TOutputcc_Form::ShowFormalBox() {
  // The song keeps its own timing: there is no setup block to lay out, and
  // the box shows no tick that would not count. Showing it is not choosing
  // it: the stored choice stays for when the song is no longer kept.
  const SettingsRecord& settings = context_.settings;
  const bool song = settings.songOutput == 1;
  const QSignalBlocker quiet(c_formal);
  c_formal->setChecked(!song && settings.formalOutput == 1);
  c_formal->setEnabled(!song);
}

void TOutputcc_Form::ConvertBtnClick() {
  // On an error the dialog stays open and the main window disabled: the
  // user can pick another name or cancel.
  Reported([this] {
    const auto [x, y] = context_.messagePoint();
    const ConvertOptions options = ConvertOptionsOf(context_.settings);
    const std::optional<ConvertReport> report =
        WriteConvertedFile(context_.song, e_filename->text().toStdString(), options, context_.messages, x, y);
    if (report && context_.showStatus) context_.showStatus(ConvertStatusText(*report));
    const std::optional<TargetReportNotice> notice =
        report ? TargetReportNoticeOf(context_.song, options, *report) : std::nullopt;
    const auto showTargetReport = context_.showTargetReport;
    accept();
    // Once the main window is usable again, so the list can be read beside
    // the listing.
    if (notice && showTargetReport) showTargetReport(*notice);
  });
}

void TOutputcc_Form::cancelClick() { reject(); }

void TOutputcc_Form::FormClose() { emit Closed(); }

void TOutputcc_Form::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  KeepOuterSize();
}

void TOutputcc_Form::KeepOuterSize() {
  const QSize extra = frameGeometry().size() - size();
  setFixedSize(kOuterSize - extra);
}

}  // namespace mertovan
