#include "app/help_form.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace mertovan {

THelp_Form::THelp_Form(const QString& settingsPath, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("Mertovan Help"));
  setObjectName(QStringLiteral("HelpForm"));
  text_ = new QTextBrowser(this);
  text_->setObjectName(QStringLiteral("HelpText"));
  text_->setOpenLinks(false);
  text_->setHtml(HelpHtml(settingsPath));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);
  resize(560, 520);
}

QString THelp_Form::HelpHtml(const QString& settingsPath) {
  QString html = QStringLiteral(R"(
<h3>The listing</h3>
<p>One row for each System Exclusive message of the loaded file, in the order the file holds them:</p>
<table cellspacing="0" cellpadding="2">
<tr><td width="30%"><b>Bar</b>, <b>Meter</b>, <b>Tick</b></td><td>where the message is: bar, beat in the bar, tick in the beat (480 ticks to the quarter note)</td></tr>
<tr><td><b>Ch</b></td><td>the XG part it addresses (1&ndash;32), "-" for none</td></tr>
<tr><td><b>Event</b></td><td>the XG parameter it sets</td></tr>
<tr><td><b>Value</b></td><td>its data byte; point at the cell for what the value means (pan L16, Hall 1, Violin ...); the current row's meaning is in the status bar</td></tr>
<tr><td>the last column</td><td>the message bytes (view <b>SysEx</b>, headed SystemExclusiveMessage), or the Control Change, NRPN, RPN or Program Change messages that replace it (view <b>CC</b>, headed ControlChange)</td></tr>
</table>
<p>Rows in <span style="color:#aaaaaa">grey</span> have no channel-message equivalent and are
never converted; the others are black. The current row has a light green background.</p>

<h3>Converting (File &rarr; Output)</h3>
<p>The convert dialog proposes <i>NAME</i>_cc.mid beside the loaded file ("Ref" chooses another name).
It writes one of three layouts:</p>
<ul>
<li><b>Event by event</b> (neither "Output as formal" nor "Keep the song" ticked): a setup file with no notes, at
120 bpm in 4/4: a conductor track, a track of the unconverted SysEx messages, then one track
per part with its converted messages at the times of the source file.</li>
<li><b>Output as formal</b>: the same kind of setup file, but each part's settings as one uniform
setup block from bar 2.</li>
<li><b>Keep the song (notes, tempo, tracks)</b>: the whole song as it was, with its notes, tempo
map and tracks; the converted SysEx messages are replaced, at their own times, by channel
messages in one new track per part. "Output as formal" does not apply and is greyed out.
<b>Target</b> chooses the synthesizer the song is made for: "XG module" keeps it as it is, "GM synth"
or "GS module" makes it right for one (XG System On becomes GM System On or GS Reset); when that
synthesizer cannot do some of the song's settings, a list of them all and what became of each
follows "Convert Successful".</li>
</ul>
<p><b>Include unconvertible SysEx msg.</b> keeps the messages that have no equivalent; without it
they are left out. The options are remembered at once, even when the dialog is cancelled.
A file that Mertovan did not write is never overwritten ("This file can not rewrite").</p>

<h3>Keys</h3>
<table cellspacing="0" cellpadding="2">
<tr><td width="30%"><b>Return</b> or double-click</td><td>send the current row to the MIDI output, as the view shows it: the SysEx message, or its channel messages</td></tr>
<tr><td><b>Ctrl+C</b></td><td>copy the current row, its seven columns separated by tabs</td></tr>
<tr><td><b>Ctrl+M</b></td><td>send every listed message to the MIDI output (File &rarr; Send all to MIDI output)</td></tr>
<tr><td><b>Ctrl+L</b> / <b>Ctrl+O</b></td><td>load a file / convert it</td></tr>
<tr><td><b>Ctrl+T</b></td><td>choose the MIDI output port (Setup)</td></tr>
</table>
<p>The right mouse button on a row offers the same sending and copying. A file can also be
opened by dropping it on the window, from the list of recent files in the File menu, or by
naming it when starting the program: <tt>mertovan FILE</tt>.</p>

<h3>Settings</h3>
<p>Window place and size, column widths, the view, the convert options, the MIDI output port
and the recent files are kept in <tt>mertovan.ini</tt> in the folder the program was started
from; for this run:</p>
<p><tt>%1</tt></p>
)");
  return html.arg(settingsPath.toHtmlEscaped());
}

}  // namespace mertovan
