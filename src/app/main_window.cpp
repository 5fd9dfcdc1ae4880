#include "app/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "analysis/conversion.h"
#include "analysis/listing.h"
#include "analysis/load.h"
#include "app/event_table_model.h"
#include "app/help_form.h"
#include "app/outputcc_form.h"
#include "app/qt_services.h"
#include "app/send_all_progress.h"
#include "app/setup_form.h"
#include "app/shell/midi_output.h"
#include "app/shell/midi_ports.h"
#include "app/shell/send_all.h"
#include "app/target_report_form.h"
#include "model/file_io.h"
#include "model/midi_bytes.h"
#include "model/song.h"
#include "version.h"

namespace mertovan {

namespace {

constexpr const char* kCaption = kVersionText;
constexpr int kRowHeight = 16;
constexpr int kDesignRows = 5;

// Every data cell goes through the window's own drawing, so the colours and
// the text placement are the program's, not the style's.
class SysGridDelegate : public QStyledItemDelegate {
 public:
  SysGridDelegate(const Tmain_form& form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    form_.sysGridDrawCell(*painter, index.column(), index.row() + 1, option.rect,
                          option.state.testFlag(QStyle::State_Selected));
  }

 private:
  const Tmain_form& form_;
};

// The listing grid: one whole row selected at all times, and the keys that
// act on it.
class ListingView : public QTableView {
 public:
  using QTableView::QTableView;
  std::function<void()> onSend;
  std::function<void()> onCopy;

 protected:
  // The current row is always the selected one: a Ctrl+click (or
  // Ctrl+Space) on it selects it again instead of leaving no row selected.
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override {
    const QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    if (flags.testFlag(QItemSelectionModel::Deselect) || flags.testFlag(QItemSelectionModel::Toggle))
      return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
  }

  void keyPressEvent(QKeyEvent* e) override {
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
      if (onSend) onSend();
      e->accept();
      return;
    }
    if (e->matches(QKeySequence::Copy)) {
      if (onCopy) onCopy();
      e->accept();
      return;
    }
    QTableView::keyPressEvent(e);
  }
};

QString Utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The menu text of a recent file: its number as the access key, the name
// with its middle left out when it is long, "&" doubled.
QString RecentText(int number, const QString& fileName, const QFontMetrics& metrics) {
  QString name = metrics.elidedText(QDir::toNativeSeparators(fileName), Qt::ElideMiddle, 600);
  name.replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("&%1 %2").arg(number).arg(name);
}

// The first local file of a drag, if any.
std::optional<QString> FirstLocalFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = mime->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return url.toLocalFile();
  }
  return std::nullopt;
}

}  // namespace

Tmain_form::Tmain_form(MessageService& messages, FileDialogs& dialogs, MidiPort& midi, QWidget* parent)
    : QMainWindow(parent),
      messages_(messages),
      dialogs_(dialogs),
      midi_(midi, [this](const std::string& text) { ShowMessage(text, MessageKind::Warning); }) {
  BuildForm();
  BuildMenu();
  BuildRowActions();
  FormCreate();
}

Tmain_form::~Tmain_form() {
  // The convert dialog is a window of its own (a child would be disabled
  // together with this window), so it is freed here by hand.
  delete convertForm_.data();
}

void Tmain_form::BuildForm() {
  // A sizing border and a minimise box, but no maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(WindowFont());

  client_ = new QWidget(this);
  setCentralWidget(client_);

  l_filename = NewBlueLabel(QStringLiteral("Filename : "), client_, 8, 11);
  l_filename->setObjectName(QStringLiteral("l_filename"));

  e_filename = new QLineEdit(client_);
  e_filename->setObjectName(QStringLiteral("e_filename"));
  e_filename->setReadOnly(true);
  // The field runs from 64 to 305; where the fallback font sets the label
  // wider than the 56 pixels the form leaves it, the field starts after the
  // label instead of covering its colon, and keeps its right edge.
  const int fieldLeft = std::max(64, l_filename->geometry().right() + 3);
  e_filename->setGeometry(fieldLeft, 8, 305 - fieldLeft, 20);

  rb_sysex = new QRadioButton(QStringLiteral("SysEx"), client_);
  rb_sysex->setObjectName(QStringLiteral("rb_sysex"));
  rb_sysex->setGeometry(320, 8, 65, 20);
  rb_cc = new QRadioButton(QStringLiteral("CC"), client_);
  rb_cc->setObjectName(QStringLiteral("rb_cc"));
  rb_cc->setGeometry(384, 8, 49, 20);
  // toggled, not clicked: selecting a button by program runs its handler too.
  connect(rb_cc, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rb_ccClick();
  });
  connect(rb_sysex, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rb_sysexClick();
  });

  model_ = new EventTableModel(song_, settings_.viewMode, this);
  model_->SetDataRows(kDesignRows);
  auto* grid = new ListingView(client_);
  grid->onSend = [this] { SendRowClick(); };
  grid->onCopy = [this] { CopyRowClick(); };
  sysGrid = grid;
  sysGrid->setObjectName(QStringLiteral("sysGrid"));
  sysGrid->setGeometry(8, 48, 481, 132);
  sysGrid->setFont(GridFont());
  sysGrid->setModel(model_);
  sysGrid->setItemDelegate(new SysGridDelegate(*this, sysGrid));
  sysGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  sysGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  sysGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sysGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sysGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  sysGrid->setWordWrap(false);
  sysGrid->setCornerButtonEnabled(false);
  sysGrid->setTabKeyNavigation(false);
  sysGrid->setShowGrid(true);
  // The fixed column 0 (row numbers) is collapsed to width 0, so the row
  // header is not needed; it still sets the row height. Fixed, equal rows
  // keep scrolling through 100 000 rows free of per-row work.
  QHeaderView* rows = sysGrid->verticalHeader();
  rows->hide();
  rows->setMinimumSectionSize(1);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(kRowHeight);
  QHeaderView* columns = sysGrid->horizontalHeader();
  columns->setMinimumSectionSize(0);
  // The width every column has before the stored widths are applied; it is
  // what a first start writes for column 7.
  columns->setDefaultSectionSize(kDefaultColumn7Width);
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(false);
  columns->setHighlightSections(false);
  columns->setSectionsClickable(false);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setFixedHeight(QFontMetrics(sysGrid->font()).height() + 6);
  // A column drag ends with a mouse release over the header.
  sysGrid->viewport()->installEventFilter(this);
  columns->viewport()->installEventFilter(this);
  connect(sysGrid, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) SendRowClick();
  });
  connect(sysGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { CurrentRowChanged(); });

  CCout = new QPushButton(QStringLiteral("CCout"), client_);
  CCout->setObjectName(QStringLiteral("CCout"));
  CCout->setGeometry(32, 184, 73, 25);
  CCout->hide();
  connect(CCout, &QPushButton::clicked, this, [this] { CCoutClick(); });
  SysExOut = new QPushButton(QStringLiteral("SysExOut"), client_);
  SysExOut->setObjectName(QStringLiteral("SysExOut"));
  SysExOut->setGeometry(120, 184, 73, 25);
  SysExOut->hide();
  connect(SysExOut, &QPushButton::clicked, this, [this] { SysExOutClick(); });

  // The meaning of the current row's value.
  l_status = new QLabel(this);
  l_status->setObjectName(QStringLiteral("l_status"));
  statusBar()->addWidget(l_status, 1);
  statusBar()->setSizeGripEnabled(false);

  // A file dropped on the window is loaded.
  setAcceptDrops(true);

  setMinimumSize(kMinOuterSize);
  setMaximumSize(kMaxOuterSize);
}

void Tmain_form::BuildRowActions() {
  // The grid's context menu, with the keys that do the same while the grid
  // has the focus.
  SendRow1 = new QAction(QStringLiteral("Send to MIDI output"), sysGrid);
  SendRow1->setObjectName(QStringLiteral("SendRow1"));
  SendRow1->setShortcut(QKeySequence(Qt::Key_Return));
  CopyRow1 = new QAction(QStringLiteral("Copy"), sysGrid);
  CopyRow1->setObjectName(QStringLiteral("CopyRow1"));
  CopyRow1->setShortcut(QKeySequence::Copy);
  for (QAction* action : {SendRow1, CopyRow1}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setShortcutVisibleInContextMenu(true);
    sysGrid->addAction(action);
  }
  sysGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(SendRow1, &QAction::triggered, this, [this] { SendRowClick(); });
  connect(CopyRow1, &QAction::triggered, this, [this] { CopyRowClick(); });
}

void Tmain_form::BuildMenu() {
  // One menu command: its text, shortcut, name in the form and handler.
  const auto command = [this](QMenu* menu, const QString& text, QKeySequence key, const char* name,
                              void (Tmain_form::*handler)()) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    action->setObjectName(QString::fromLatin1(name));
    if (handler) connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
  };
  const auto menu = [this](const QString& text, const char* name) {
    QMenu* m = MainMenu1->addMenu(text);
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  MainMenu1 = menuBar();
  File1 = menu(QStringLiteral("File"), "File1");
  L1 = command(File1, QStringLiteral("Load SMF(&L)"), Qt::CTRL | Qt::Key_L, "L1", &Tmain_form::L1Click);
  N1 = File1->addSeparator();
  Output1 = command(File1, QStringLiteral("Output (&O)"), Qt::CTRL | Qt::Key_O, "Output1", &Tmain_form::Output1Click);
  SendAll1 = command(File1, QStringLiteral("Send all to MIDI output"), Qt::CTRL | Qt::Key_M, "SendAll1",
                     &Tmain_form::SendAll1Click);
  N2 = File1->addSeparator();
  // The recent files, hidden while there are none.
  for (size_t i = 0; i < Recent.size(); ++i) {
    Recent[i] = File1->addAction(QString());
    Recent[i]->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
    Recent[i]->setVisible(false);
    connect(Recent[i], &QAction::triggered, this, [this, i] { RecentClick(int(i)); });
  }
  N3 = File1->addSeparator();
  N3->setVisible(false);
  Exit1 = command(File1, QStringLiteral("Exit (&E)"), {}, "Exit1", &Tmain_form::Exit1Click);

  Setup1 = menu(QStringLiteral("Setup"), "Setup1");
  SetupS1 = command(Setup1, QStringLiteral("Setup (&S)"), Qt::CTRL | Qt::Key_T, "SetupS1", &Tmain_form::SetupS1Click);

  Help1 = menu(QStringLiteral("Help"), "Help1");
  Help = command(Help1, QStringLiteral("Help (&H)"), Qt::CTRL | Qt::Key_H, "Help", &Tmain_form::HelpClick);
  Version1 = command(Help1, QStringLiteral("Version (&V)"), {}, "Version1", &Tmain_form::Version1Click);
}

void Tmain_form::FormCreate() {
  activated_ = 0;
  setWindowTitle(QString::fromLatin1(kCaption));
  startDir_ = QDir::currentPath().toStdString();
  // A bad settings file must not leave a half-built window: the loader has
  // given every field a value even when it raises, so start-up goes on and
  // the error is shown once the window stands where the settings put it.
  std::optional<std::string> settingsError;
  try {
    LoadSettings(startDir_, settings_, uint16_t(sysGrid->columnWidth(kListingColumns - 1)));
  } catch (const std::exception& e) {
    settingsError = e.what();
  }
  // The file keeps the low 16 bits of the place: 65526 is a window that
  // stood at -10, just off the top or left, and comes back there, near the
  // corner it left, before it is kept on the screen.
  SetOuterGeometry(int16_t(settings_.windowLeft), int16_t(settings_.windowTop), settings_.windowWidth,
                   settings_.windowHeight);
  KeepOnScreen();
  if (settings_.viewMode == ViewMode::Cc) {
    rb_cc->setChecked(true);
  } else {
    rb_sysex->setChecked(true);
  }
  const std::array<uint16_t, 8> widths = settings_.colWidths;
  for (int c = 0; c < kListingColumns; ++c) sysGrid->setColumnWidth(c, widths[size_t(c)]);
  FitLastColumn();
  NumberRows(kDesignRows);
  RefreshGrid();
  model_->SetDataRows(kDesignRows);
  sysGrid->setCurrentIndex(model_->index(0, 1));
  UpdateRecentMenu();
  if (settingsError) ShowMessage(*settingsError, MessageKind::Warning);
}

int Tmain_form::WindowTop() const { return frameGeometry().top(); }
int Tmain_form::WindowLeft() const { return frameGeometry().left(); }
int Tmain_form::WindowWidth() const { return frameGeometry().width(); }
int Tmain_form::WindowHeight() const { return frameGeometry().height(); }

std::pair<int, int> Tmain_form::MessagePoint() const { return {x() + 40, y() + 40}; }

void Tmain_form::ShowMessage(std::string_view text, MessageKind kind) {
  const auto [px, py] = MessagePoint();
  messages_.ShowMessageAt(text, kind, px, py);
}

bool Tmain_form::Reported(const std::function<void()>& body) {
  return RunReported(messages_, [this] { return MessagePoint(); }, body);
}

TOutputcc_Form* Tmain_form::ConvertDialog() const {
  return convertForm_ && convertForm_->isVisible() ? convertForm_.data() : nullptr;
}

THelp_Form* Tmain_form::HelpWindow() const { return helpForm_.data(); }

TTargetReport_Form* Tmain_form::TargetReportDialog() const {
  return targetReport_ && targetReport_->isVisible() ? targetReport_.data() : nullptr;
}

void Tmain_form::ShowTargetReport(const TargetReportNotice& notice) {
  if (targetReport_) targetReport_->close();
  targetReport_ = new TTargetReport_Form(notice, this);
  const auto [px, py] = MessagePoint();
  targetReport_->move(px, py);
  targetReport_->show();
  targetReport_->raise();
  targetReport_->activateWindow();
}

void Tmain_form::OpenAtStart(const QString& fileName) {
  startFile_ = fileName;
  if (activated_ != 0) LoadStartFileSoon();
}

void Tmain_form::LoadStartFileSoon() {
  if (startFile_.isEmpty()) return;
  // After the activation has been handled, as if the user had chosen the
  // file at once.
  QTimer::singleShot(0, this, [this] {
    const QString name = std::exchange(startFile_, QString());
    if (!name.isEmpty()) Reported([this, &name] { LoadFile(name); });
  });
}

void Tmain_form::L1Click() {
  Reported([this] { OpenSmfFile(); });
}

void Tmain_form::OpenSmfFile() {
  FileDialogRequest request;
  const QString loaded = e_filename->text();
  request.initialPath = loaded.isEmpty() ? Utf8(startDir_) : QFileInfo(loaded).absolutePath();
  // The reader goes by a file's contents: RIFF MIDI and SysEx files load
  // too. Both cases of each extension, for the desktop's own dialogs, which
  // may match them case by case.
  request.filter =
      QStringLiteral("MIDI and SysEx files (*.mid *.midi *.rmi *.syx *.MID *.MIDI *.RMI *.SYX);;All files (*)");
  request.defaultSuffix = QStringLiteral("mid");
  const std::optional<QString> chosen = dialogs_.GetOpenFileName(this, request);
  if (!chosen) return;
  LoadFile(*chosen);
}

void Tmain_form::LoadFile(const QString& fileName) {
  if (!QFileInfo(fileName).isFile()) {
    ShowMessage("File not Found", MessageKind::Warning);
    return;
  }
  // Read, then analysed, here and now; the listing shows the new song at once.
  song_ = LoadSmfFile(fileName.toStdString(), session_);
  if (song_.status == LoadStatus::Failed) {
    // The song is empty again: the listing, the file name and what
    // "Output" would convert always agree.
    e_filename->clear();
    RefreshGrid();
    throw IoError(song_.error);
  }
  e_filename->setText(fileName);
  e_filename->setCursorPosition(int(fileName.size()));
  RefreshGrid();
  RememberRecentFile(settings_, QFileInfo(fileName).absoluteFilePath().toStdString());
  UpdateRecentMenu();
}

void Tmain_form::UpdateRecentMenu() {
  const std::vector<std::string>& files = settings_.recentFiles;
  const QFontMetrics metrics(File1->font());
  for (size_t i = 0; i < Recent.size(); ++i) {
    const bool used = i < files.size();
    Recent[i]->setVisible(used);
    Recent[i]->setText(used ? RecentText(int(i + 1), QString::fromStdString(files[i]), metrics) : QString());
  }
  N3->setVisible(!files.empty());
}

void Tmain_form::RecentClick(int index) {
  Reported([this, index] {
    std::vector<std::string>& files = settings_.recentFiles;
    if (index < 0 || size_t(index) >= files.size()) return;
    const QString name = QString::fromStdString(files[size_t(index)]);
    if (!QFileInfo(name).isFile()) {
      // A file that is gone leaves the list.
      files.erase(files.begin() + index);
      UpdateRecentMenu();
      ShowMessage("File not Found", MessageKind::Warning);
      return;
    }
    LoadFile(name);
  });
}

void Tmain_form::RefreshGrid() {
  const size_t events = song_.sysEx.size();
  const int rows = events > 0 ? int(std::min<size_t>(events, INT32_MAX)) : 1;
  model_->SetDataRows(rows);
  NumberRows(rows);
  ShowEvents();
  // The grid always has a current row, the first one after every refresh.
  sysGrid->setCurrentIndex(model_->index(0, 1));
  CurrentRowChanged();
}

const Tsys* Tmain_form::CurrentEvent() const { return model_->EventAt(sysGrid->currentIndex().row()); }

void Tmain_form::CurrentRowChanged() {
  if (!SendRow1) return;  // still building the window
  const int row = sysGrid->currentIndex().row();
  const bool event = CurrentEvent() != nullptr;
  SendRow1->setEnabled(event);
  CopyRow1->setEnabled(event);
  l_status->setText(event ? model_->MeaningTip(row) : QString());
}

void Tmain_form::NumberRows(int n) { model_->NumberRows(n); }

void Tmain_form::ShowEvents() { model_->ShowEvents(); }

void Tmain_form::FitLastColumn() {
  // Summed in 16 bits like the stored widths; the floor keeps the last
  // column visible when the other columns already fill the grid.
  uint16_t used = 0;
  for (int c = 0; c < kListingColumns - 1; ++c) used = uint16_t(used + sysGrid->columnWidth(c));
  const int width = sysGrid->width() - (30 + int(used));
  sysGrid->setColumnWidth(kListingColumns - 1, std::max(width, kMinLastColumnWidth));
}

void Tmain_form::Output1Click() {
  Reported([this] {
    if (song_.sysEx.size() == 0) {
      ShowMessage("No data to convert", MessageKind::Warning);
      return;
    }
    setEnabled(false);
    try {
      convertForm_ = new TOutputcc_Form(ConvertDialogContext{
          .owner = this,
          .loadedFileName = e_filename->text().toStdString(),
          .song = song_,
          .settings = settings_,
          .messages = messages_,
          .dialogs = dialogs_,
          .messagePoint = [this] { return MessagePoint(); },
          .showStatus = [this](const std::string& text) { l_status->setText(QString::fromStdString(text)); },
          .showTargetReport = [this](const TargetReportNotice& notice) { ShowTargetReport(notice); },
      });
      connect(convertForm_, &TOutputcc_Form::Closed, this, [this] { setEnabled(true); });
      convertForm_->FormCreate();
    } catch (...) {
      setEnabled(true);
      throw;
    }
  });
}

void Tmain_form::HelpClick() {
  Reported([this] {
    if (!helpForm_) {
      helpForm_ = new THelp_Form(QString::fromStdString(SettingsPath(startDir_)), this);
      helpForm_->move(x() + 30, y() + 30);
    }
    helpForm_->show();
    helpForm_->raise();
    helpForm_->activateWindow();
  });
}

void Tmain_form::Version1Click() {
  Reported([this] { ShowMessage(kCaption, MessageKind::Information); });
}

void Tmain_form::Exit1Click() {
  Reported([this] { close(); });
}

void Tmain_form::rb_ccClick() {
  Reported([this] {
    settings_.viewMode = ViewMode::Cc;
    ShowEvents();
  });
}

void Tmain_form::rb_sysexClick() {
  Reported([this] {
    settings_.viewMode = ViewMode::SysEx;
    ShowEvents();
  });
}

void Tmain_form::sysGridDrawCell(QPainter& painter, int column, int row, const QRect& rect,
                                 bool selected) const {
  // The header row is the header view's; column 0 is collapsed.
  if (row == 0 || column == 0) return;
  const Tsys* e = model_->EventAt(row - 1);
  const QColor text = QColor::fromRgb(e ? TextColour(*e) : kConvertedText);
  const QColor back =
      selected ? QColor::fromRgb(kSelectedBackground) : sysGrid->palette().color(QPalette::Base);
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, back);
  painter.setPen(text);
  painter.setFont(sysGrid->font());
  QString s = model_->data(model_->index(row - 1, column), Qt::DisplayRole).toString();
  // A text wider than its cell ends in an ellipsis; the blanks that pad
  // the CC view's texts show nothing and do not count.
  while (s.endsWith(QLatin1Char(' '))) s.chop(1);
  const QFontMetrics metrics(sysGrid->font());
  s = metrics.elidedText(s, Qt::ElideRight, std::max(rect.width() - 2, 0));
  painter.drawText(QPoint(rect.left() + 2, rect.top() + 2 + metrics.ascent()), s);
  painter.restore();
}

void Tmain_form::sysGridMouseUp() {
  Reported([this] { FitLastColumn(); });
}

void Tmain_form::CCoutClick() {
  Reported([this] {
    if (const Tsys* e = CurrentEvent()) {
      midi_.Reconnect();
      SendControllers(midi_, *e);
    }
  });
}

void Tmain_form::SysExOutClick() {
  Reported([this] {
    if (const Tsys* e = CurrentEvent()) {
      midi_.Reconnect();
      SendSysEx(midi_, song_.sysEx, *e);
    }
  });
}

TSetup_Form* Tmain_form::SetupDialog() const {
  // A closed dialog lingers until the event loop frees it.
  return setupForm_ && setupForm_->isVisible() ? setupForm_.data() : nullptr;
}

SendAllProgress* Tmain_form::SendAllRun() const { return sendAll_.data(); }

void Tmain_form::SetupS1Click() {
  Reported([this] {
    if (TSetup_Form* open = SetupDialog()) {
      open->raise();
      return;
    }
    // The open port is selected; with none open, "(none)" when that was the
    // choice, else nothing.
    std::string current = midi_.OpenPort();
    if (current.empty() && settings_.midiPort == kNoOutputLabel) current = kNoOutputLabel;
    setupForm_ = new TSetup_Form(midi_.OutputPorts(), current, this);
    setupForm_->setAttribute(Qt::WA_DeleteOnClose);
    TSetup_Form* dialog = setupForm_;
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
      const std::string choice = dialog->Choice();
      Reported([this, choice] {
        // A running "Send all" belongs to the port it started on.
        if (sendAll_) sendAll_->Cancel();
        settings_.midiPort = choice;
        midi_.Close();
        const auto [px, py] = MessagePoint();
        OpenMidiOut(midi_, settings_.midiPort, messages_, px, py);
      });
    });
    // Beside the window, so that the listing stays in view, where the
    // screen has room for it; else where the toolkit puts dialogs.
    const QRect frame = frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    const QRect beside(frame.right() + 8, frame.top(), setupForm_->width(), setupForm_->height());
    if (screen && screen->availableGeometry().contains(beside)) setupForm_->move(beside.topLeft());
    setupForm_->open();
  });
}

void Tmain_form::SendAll1Click() {
  Reported([this] {
    if (sendAll_) return;  // one run at a time; its progress window is up
    if (song_.sysEx.size() == 0) {
      ShowMessage("No data to send", MessageKind::Warning);
      return;
    }
    midi_.Reconnect();
    if (midi_.OpenPort().empty()) {
      ShowMessage("No Midi Device", MessageKind::Warning);
      return;
    }
    static SteadySendClock steadyClock;
    SendClock& clock = sendClock_ ? *sendClock_ : steadyClock;
    sendAll_ = new SendAllProgress(midi_, SendAllMessages(song_.sysEx, settings_.viewMode), clock, this);
    SendAll1->setEnabled(false);
    connect(sendAll_, &SendAllProgress::Finished, this, [this] {
      SendAll1->setEnabled(true);
      if (sendAll_) sendAll_->deleteLater();
      sendAll_ = nullptr;
    });
  });
}

void Tmain_form::SendRowClick() {
  const Tsys* e = CurrentEvent();
  if (!e) return;
  // The row as the view shows it: its bytes in the SysEx view, its channel
  // messages in the CC view. A message without an equivalent goes out as it
  // is in both views, as it would stay in a converted file.
  if (settings_.viewMode == ViewMode::SysEx || e->ccNumber[0] == kNone) {
    SysExOutClick();
  } else {
    CCoutClick();
  }
}

void Tmain_form::CopyRowClick() {
  Reported([this] {
    if (const Tsys* e = CurrentEvent()) {
      std::string line;
      AppendTsvRow(line, song_.sysEx, *e, settings_.viewMode);
      QGuiApplication::clipboard()->setText(QString::fromStdString(line));
    }
  });
}

void Tmain_form::FormActivate() {
  if (activated_ != 0) return;
  // Set before the open: its warning box takes the activation away and gives
  // it back, and that second activation must not try the port again.
  activated_ = 1;
  Reported([this] {
    const auto [px, py] = MessagePoint();
    OpenMidiOut(midi_, settings_.midiPort, messages_, px, py);
  });
  LoadStartFileSoon();
}

void Tmain_form::FormResize() {
  Reported([this] {
    const int w = WindowWidth();
    const int h = WindowHeight();
    sysGrid->resize(std::max(w - 32, 0), std::max(h - 144, 0));
    CCout->move(CCout->x(), h - 80);
    SysExOut->move(SysExOut->x(), h - 80);
    FitLastColumn();
  });
}

void Tmain_form::FormClose() {
  // A running "Send all" stops before its port closes, and the port closes
  // before the settings are saved.
  if (sendAll_) sendAll_->Cancel();
  Reported([this] { midi_.Close(); });
  // Columns 1 to 6 as the user left them; column 7 fills the rest of the
  // grid anyway.
  std::array<uint16_t, 6> widths{};
  for (size_t c = 0; c < widths.size(); ++c) widths[c] = uint16_t(sysGrid->columnWidth(int(c) + 1));
  KeepColumnWidths(settings_, widths);
  // A failed save is shown, and the program still ends.
  Reported([this] {
    SaveSettings(startDir_, settings_, WindowFrame{WindowLeft(), WindowTop(), WindowWidth(), WindowHeight()},
                 uint16_t(sysGrid->columnWidth(kListingColumns - 1)));
  });
}

void Tmain_form::dragEnterEvent(QDragEnterEvent* e) {
  if (FirstLocalFile(e->mimeData())) {
    e->acceptProposedAction();
  } else {
    e->ignore();
  }
}

void Tmain_form::dropEvent(QDropEvent* e) {
  const std::optional<QString> file = FirstLocalFile(e->mimeData());
  if (!file) {
    e->ignore();
    return;
  }
  e->acceptProposedAction();
  // Loaded once the drop has ended, so that a message box does not hold up
  // the program the file was dragged from.
  QTimer::singleShot(0, this, [this, name = *file] { Reported([this, &name] { LoadFile(name); }); });
}

bool Tmain_form::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(e);
}

void Tmain_form::closeEvent(QCloseEvent* e) {
  if (convertForm_) convertForm_->close();
  if (targetReport_) targetReport_->close();
  if (setupForm_) setupForm_->reject();
  FormClose();
  e->accept();
}

void Tmain_form::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  TrackFrame();
  FormResize();
}

void Tmain_form::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  TrackFrame();
}

void Tmain_form::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  TrackFrame();
}

bool Tmain_form::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease &&
      (watched == sysGrid->viewport() || watched == sysGrid->horizontalHeader()->viewport())) {
    sysGridMouseUp();
  }
  return QMainWindow::eventFilter(watched, e);
}

QSize Tmain_form::FrameExtra() const { return frameGeometry().size() - geometry().size(); }

void Tmain_form::SetOuterGeometry(int left, int top, int width, int height) {
  move(left, top);
  resize(width - frameExtra_.width(), height - frameExtra_.height());
}

void Tmain_form::TrackFrame() {
  // The settings hold the outer size; the toolkit sizes the client area, and
  // the frame is known only once the window system has put one around it.
  const QSize extra = FrameExtra();
  if (extra == frameExtra_) return;
  const QSize outer = size() + frameExtra_;
  frameExtra_ = extra;
  setMinimumSize(kMinOuterSize - extra);
  setMaximumSize(kMaxOuterSize - extra);
  resize(outer - extra);
}

void Tmain_form::KeepOnScreen() {
  // A stored position can lie off every screen: the settings keep only the
  // low 16 bits (a window dragged to -10 comes back at 65526), or the screen
  // it was on is gone. The window must be reachable by its caption.
  const QRect frame(WindowLeft(), WindowTop(), WindowWidth(), WindowHeight());
  constexpr int kGrip = 40;
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (const QScreen* screen : screens) {
    const QRect area = screen->availableGeometry();
    const QRect common = area.intersected(frame);
    const bool captionInside = frame.top() >= area.top() && frame.top() <= area.bottom() - kGrip / 2;
    if (captionInside && common.width() >= std::min(kGrip, frame.width())) return;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const int left = std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
  const int top = std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
  move(left, top);
}

}  // namespace mertovan
