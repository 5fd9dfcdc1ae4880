// A running "Send all to MIDI output": a timer steps the paced send, and a
// small progress window beside the main window counts the messages and
// offers Cancel. The window stays usable meanwhile.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <vector>

#include "app/shell/send_all.h"

class QTimer;
class QWidget;

namespace mertovan {

class SendAllProgress : public QObject {
  Q_OBJECT

 public:
  // Starts at once. `port` and `clock` must outlive the run.
  SendAllProgress(MidiPort& port, std::vector<WireMessage> messages, SendClock& clock, QWidget* window);
  ~SendAllProgress() override;

  // Stops at once: nothing more is sent, the progress window closes and
  // Finished is emitted. Harmless once finished.
  void Cancel();
  QProgressDialog* Dialog() const { return dialog_; }

 signals:
  void Finished();

 private:
  void Step();
  void Finish();

  MidiPort& port_;
  PacedSend send_;
  QTimer* timer_ = nullptr;
  QPointer<QProgressDialog> dialog_;  // a child of the main window
  bool finished_ = false;
};

}  // namespace mertovan
