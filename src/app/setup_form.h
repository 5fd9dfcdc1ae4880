// The Setup dialog: which MIDI output the program plays to. Lists every
// output port the MIDI systems offer, "API: port name", and "(none)".
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QListWidget;

namespace mertovan {

class TSetup_Form : public QDialog {
  Q_OBJECT

 public:
  // `ports`: the labels to offer; `current`: the label to select first (the
  // open port, or "(none)"); nothing is selected when it is not offered.
  TSetup_Form(const std::vector<std::string>& ports, const std::string& current, QWidget* parent);

  // The selected label ("(none)" included); empty when nothing is selected.
  std::string Choice() const;
  // Selects the row that shows `label`; false when no row does.
  bool Select(const std::string& label);

  QLabel* l_output = nullptr;
  QListWidget* PortList = nullptr;
  QDialogButtonBox* Buttons = nullptr;
};

}  // namespace mertovan
