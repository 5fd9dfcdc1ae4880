#include "app/target_report_form.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/qt_services.h"

namespace mertovan {

TTargetReport_Form::TTargetReport_Form(const TargetReportNotice& notice, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("TargetReportForm"));
  setWindowTitle(QStringLiteral("Target report"));
  setFont(parent ? parent->font() : WindowFont());

  l_heading = new QLabel(QString::fromStdString(notice.heading) + QStringLiteral(":"), this);
  l_heading->setObjectName(QStringLiteral("l_heading"));

  // The first line names the columns; every other line is one setting.
  QStringList lines = QString::fromStdString(notice.tsv).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  const QStringList columns = lines.isEmpty() ? QStringList() : lines.takeFirst().split(QLatin1Char('\t'));
  reportGrid = new QTableWidget(int(lines.size()), int(columns.size()), this);
  reportGrid->setObjectName(QStringLiteral("reportGrid"));
  reportGrid->setHorizontalHeaderLabels(columns);
  for (int row = 0; row < lines.size(); ++row) {
    const QStringList cells = lines[row].split(QLatin1Char('\t'));
    for (int column = 0; column < cells.size() && column < columns.size(); ++column)
      reportGrid->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  reportGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  reportGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  reportGrid->setWordWrap(false);
  reportGrid->verticalHeader()->hide();
  reportGrid->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
  reportGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  reportGrid->resizeColumnsToContents();
  reportGrid->horizontalHeader()->setStretchLastSection(true);

  OkBtn = new QPushButton(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setDefault(true);
  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(l_heading);
  layout->addWidget(reportGrid, 1);
  layout->addWidget(OkBtn, 0, Qt::AlignHCenter);
  resize(600, 300);
}

}  // namespace mertovan
