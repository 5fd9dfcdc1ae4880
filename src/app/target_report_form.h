// The list of what a song made for a GM synthesizer or a GS module became:
// one row per setting (bar, beat, tick, part, parameter, value, outcome),
// read-only, under a line that counts what the target could not carry. Not
// modal, so the listing stays usable beside it; OK or Escape closes it.
#pragma once

#include <QDialog>

#include "app/shell/convert_status.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace mertovan {

class TTargetReport_Form : public QDialog {
  Q_OBJECT

 public:
  // Frees itself when it closes.
  TTargetReport_Form(const TargetReportNotice& notice, QWidget* parent);

 private:
  QLabel* l_heading = nullptr;
  QTableWidget* reportGrid = nullptr;
  QPushButton* OkBtn = nullptr;
};

}  // namespace mertovan
