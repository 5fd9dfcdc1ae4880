#include "app/setup_form.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/midi_ports.h"

namespace mertovan {

TSetup_Form::TSetup_Form(const std::vector<std::string>& ports, const std::string& current, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Setup"));
  setObjectName(QStringLiteral("Setup_Form"));
  auto* layout = new QVBoxLayout(this);
  l_output = new QLabel(QStringLiteral("MIDI output:"), this);
  layout->addWidget(l_output);
  PortList = new QListWidget(this);
  PortList->setObjectName(QStringLiteral("PortList"));
  PortList->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const std::string& label : ports) PortList->addItem(QString::fromStdString(label));
  PortList->addItem(QString::fromLatin1(kNoOutputLabel.data(), qsizetype(kNoOutputLabel.size())));
  l_output->setBuddy(PortList);
  layout->addWidget(PortList);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->setObjectName(QStringLiteral("Buttons"));
  layout->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(PortList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  // OK needs a choice.
  const auto enableOk = [this] { Buttons->button(QDialogButtonBox::Ok)->setEnabled(!Choice().empty()); };
  connect(PortList, &QListWidget::itemSelectionChanged, this, enableOk);
  Select(current);
  enableOk();
  resize(420, 240);
}

std::string TSetup_Form::Choice() const {
  const QList<QListWidgetItem*> selected = PortList->selectedItems();
  return selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
}

bool TSetup_Form::Select(const std::string& label) {
  const QString text = QString::fromStdString(label);
  for (int i = 0; i < PortList->count(); ++i) {
    if (PortList->item(i)->text() == text) {
      PortList->setCurrentRow(i);
      return true;
    }
  }
  return false;
}

}  // namespace mertovan
