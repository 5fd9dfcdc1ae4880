// The Setup dialog and "Send all to MIDI output", through the recording port.
#include <QDialogButtonBox>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QAction>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include "app/send_all_progress.h"
#include "app/setup_form.h"
#include "app/shell/send_all.h"
#include "app_fixture.h"

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;
using Kind = RecordingMidiPort::CallKind;

class MidiOutputWindowTest : public AppTest {
 protected:
  Tmain_form& StartOpen() {
    Tmain_form& w = Start();
    w.FormActivate();  // opens the port unless the platform has activated the window already
    return w;
  }
  QStringList Rows(const TSetup_Form& d) const {
    QStringList rows;
    for (int i = 0; i < d.PortList->count(); ++i) rows << d.PortList->item(i)->text();
    return rows;
  }
};

TEST_F(MidiOutputWindowTest, SetupListsThePortsAndNoneAndOpensTheChoiceAtOnce) {
  midi.ports = {"ALSA: MU Synth:MU Synth MIDI 1 20:0", "JACK: system:midi_playback_1"};
  Tmain_form& w = StartOpen();
  ASSERT_EQ(midi.OpenPort(), "ALSA: MU Synth:MU Synth MIDI 1 20:0");

  QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
  if (!w.SetupDialog()) Action("SetupS1")->trigger();  // where the platform has not activated the window
  TSetup_Form* d = w.SetupDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "Setup");
  EXPECT_EQ(Rows(*d), (QStringList{"ALSA: MU Synth:MU Synth MIDI 1 20:0", "JACK: system:midi_playback_1", "(none)"}));
  EXPECT_EQ(d->Choice(), "ALSA: MU Synth:MU Synth MIDI 1 20:0");

  // Cancel changes nothing.
  midi.calls.clear();
  d->Select("JACK: system:midi_playback_1");
  d->Buttons->button(QDialogButtonBox::Cancel)->click();
  EXPECT_TRUE(midi.calls.empty());
  EXPECT_EQ(w.Settings().midiPort, "");

  // OK reopens on the chosen port, resets it, and remembers the choice.
  Action("SetupS1")->trigger();
  d = w.SetupDialog();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->Select("JACK: system:midi_playback_1"));
  d->Buttons->button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(midi.Kinds(), (std::vector<Kind>{Kind::Close, Kind::Open, Kind::Reset}));
  EXPECT_EQ(midi.calls[1].port, "JACK: system:midi_playback_1");
  EXPECT_EQ(w.Settings().midiPort, "JACK: system:midi_playback_1");
  EXPECT_TRUE(messages.shown.empty());

  // "(none)" closes the port quietly and is selected the next time.
  Action("SetupS1")->trigger();
  ASSERT_TRUE(w.SetupDialog()->Select("(none)"));
  midi.calls.clear();
  w.SetupDialog()->accept();
  EXPECT_EQ(midi.Count(Kind::Open), 0u);
  EXPECT_FALSE(midi.IsOpen());
  Action("SetupS1")->trigger();
  EXPECT_EQ(w.SetupDialog()->Choice(), "(none)");
  w.SetupDialog()->reject();

  // A port that refuses: the open warning, as at start-up.
  midi.openResult = MidiPort::OpenResult::Allocated;
  Action("SetupS1")->trigger();
  ASSERT_TRUE(w.SetupDialog()->Select("ALSA: MU Synth:MU Synth MIDI 1 20:0"));
  w.SetupDialog()->accept();
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Device Already Allocated"});
}

TEST_F(MidiOutputWindowTest, TheRememberedPortIsAskedForAtTheFirstActivation) {
  Tmain_form w(messages, dialogs, midi);  // not shown: nothing activates it
  w.Settings().midiPort = "JACK: synth:in";
  w.FormActivate();
  ASSERT_EQ(midi.Count(Kind::Open), 1u);
  EXPECT_EQ(midi.calls[0].port, "JACK: synth:in");
}

TEST_F(MidiOutputWindowTest, SendAllSendsEveryRowOfTheViewInOrder) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = StartOpen();
  Load(song);
  for (const ViewMode view : {ViewMode::SysEx, ViewMode::Cc}) {
    SCOPED_TRACE(int(view));
    Component<QRadioButton>(view == ViewMode::SysEx ? "rb_sysex" : "rb_cc")->click();
    midi.calls.clear();
    Action("SendAll1")->trigger();
    ASSERT_NE(w.SendAllRun(), nullptr);
    EXPECT_FALSE(Action("SendAll1")->isEnabled());
    EXPECT_TRUE(w.SendAllRun()->Dialog()->isVisible());
    // XG System On first, then 50 ms before the rest.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.SendAllRun() == nullptr; }, 5000));
    EXPECT_TRUE(Action("SendAll1")->isEnabled());
    std::vector<WireMessage> sent;
    for (const RecordingMidiPort::Call& c : midi.calls)
      sent.push_back(c.kind == Kind::Long ? c.bytes : ShortMessageBytes(c.packed));
    EXPECT_EQ(sent, SendAllMessages(w.LoadedSong().sysEx, view));
  }
  EXPECT_EQ(midi.ShortMessages().size(), 3u);  // the CC view: volume, program, pan
  EXPECT_EQ(midi.LongMessages().size(), 1u);    // and XG System On as it is
}

// A clock that stands still: the run sends its first message and then waits.
class StoppedClock : public SendClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return {}; }
};

TEST_F(MidiOutputWindowTest, SendAllCancelsAtOnceAndClosingStopsItBeforeThePortCloses) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  StoppedClock clock;
  Tmain_form& w = StartOpen();
  w.SetSendClock(clock);
  Load(song);
  midi.calls.clear();
  Action("SendAll1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !midi.calls.empty(); }, 2000));
  QTest::qWait(20);
  ASSERT_EQ(midi.calls.size(), 1u);
  w.SendAllRun()->Dialog()->findChild<QPushButton*>()->click();
  EXPECT_EQ(w.SendAllRun(), nullptr);
  EXPECT_TRUE(Action("SendAll1")->isEnabled());

  midi.calls.clear();
  Action("SendAll1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !midi.calls.empty(); }, 2000));
  CloseWindow();
  QTest::qWait(20);
  EXPECT_EQ(midi.Kinds(), (std::vector<Kind>{Kind::Long, Kind::Close}));
  EXPECT_TRUE(fs::exists(Dir() / "mertovan.ini"));
}

TEST_F(MidiOutputWindowTest, SendAllWithoutRowsOrWithoutAPortSaysSo) {
  const fs::path song = Dir() / "song.mid";
  WriteFile(song, SmallSongBytes());
  Tmain_form& w = StartOpen();
  Action("SendAll1")->trigger();
  Load(song);
  midi.Close();
  Action("SendAll1")->trigger();
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"No data to send", "No Midi Device"}));
  EXPECT_EQ(w.SendAllRun(), nullptr);
  EXPECT_EQ(midi.Count(Kind::Long) + midi.Count(Kind::Short), 0u);
}

}  // namespace
}  // namespace mertovan::testing
