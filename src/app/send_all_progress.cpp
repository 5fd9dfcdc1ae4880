#include "app/send_all_progress.h"

#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace mertovan {

SendAllProgress::SendAllProgress(MidiPort& port, std::vector<WireMessage> messages, SendClock& clock,
                                 QWidget* window)
    : QObject(window), port_(port), send_(std::move(messages), clock) {
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  // The pauses are a few milliseconds; a coarse timer could stretch them
  // by a fifth of their length.
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &SendAllProgress::Step);

  dialog_ = new QProgressDialog(QStringLiteral("Sending to MIDI output..."), QStringLiteral("Cancel"), 0,
                                int(send_.Total()), window);
  dialog_->setWindowTitle(QStringLiteral("Send all"));
  dialog_->setWindowModality(Qt::NonModal);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumDuration(0);
  dialog_->setValue(0);
  if (window) dialog_->move(window->frameGeometry().topLeft() + QPoint(40, 40));
  connect(dialog_, &QProgressDialog::canceled, this, &SendAllProgress::Cancel);
  dialog_->show();
  // The first message goes on the next pass of the event loop, once the
  // owner has connected to Finished.
  timer_->start(0);
}

SendAllProgress::~SendAllProgress() { delete dialog_.data(); }

void SendAllProgress::Step() {
  const bool more = send_.Step(port_).has_value();
  if (dialog_) {
    dialog_->setValue(int(send_.Sent()));
    dialog_->setLabelText(QStringLiteral("Sending to MIDI output: %1 of %2").arg(send_.Sent()).arg(send_.Total()));
  }
  if (!more) {
    Finish();
    return;
  }
  // Counted after the progress window has been drawn, so that drawing it
  // does not lengthen every pause.
  timer_->start(int(std::chrono::ceil<std::chrono::milliseconds>(send_.TimeToNext()).count()));
}

void SendAllProgress::Cancel() {
  send_.Cancel();
  timer_->stop();
  Finish();
}

void SendAllProgress::Finish() {
  if (finished_) return;
  finished_ = true;
  if (dialog_) dialog_->hide();
  emit Finished();
}

}  // namespace mertovan
