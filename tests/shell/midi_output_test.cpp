#include "app/shell/midi_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/load.h"
#include "app/shell/midi_ports.h"
#include "support/recording_messages.h"
#include "support/recording_midi_port.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace mertovan {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = RecordingMidiPort::CallKind;

using test::RecordingMessages;

struct Pair {
  uint8_t number, value;
};

Tsys Row(uint8_t channel, std::initializer_list<Pair> pairs) {
  Tsys e;
  e.channel = channel;
  int i = 0;
  for (Pair p : pairs) {
    e.ccNumber[i] = p.number;
    e.ccValue[i] = p.value;
    ++i;
  }
  return e;
}

// What a sound module would receive from a button press on this row.
std::vector<Bytes> WireBytesOfCCout(const Tsys& e) {
  RecordingMidiPort port;
  port.Open("");
  SendControllers(port, e);
  std::vector<Bytes> out;
  for (uint32_t packed : port.ShortMessages()) out.push_back(ShortMessageBytes(packed));
  return out;
}

TEST(CCout, SendsTheFirstThreePairsOnTheLowFourBitsOfThePart) {
  struct Case {
    const char* what;
    Tsys row;
    std::vector<Bytes> expected;
  };
  const Case cases[] = {
      {"two controllers, then the end mark", Row(1, {{7, 100}, {10, 64}, {255, 0}}),
       {{0xB1, 0x07, 0x64}, {0xB1, 0x0A, 0x40}}},
      {"program change has one data byte", Row(1, {{224, 5}, {255, 0}}), {{0xC1, 0x05}}},
      {"part 18 plays on MIDI channel 2", Row(17, {{7, 100}, {224, 5}, {255, 0}}),
       {{0xB1, 0x07, 0x64}, {0xC1, 0x05}}},
      {"part 32 plays on MIDI channel 16", Row(31, {{91, 40}, {255, 0}}), {{0xBF, 0x5B, 0x28}}},
      {"unconverted row", Row(255, {{255, 0}}), {}},
      {"an end mark in the middle stops the row", Row(0, {{7, 1}, {255, 0}, {10, 2}}),
       {{0xB0, 0x07, 0x01}}},
      {"the fourth pair is never played", Row(2, {{99, 1}, {98, 2}, {6, 3}, {38, 4}}),
       {{0xB2, 99, 1}, {0xB2, 98, 2}, {0xB2, 6, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WireBytesOfCCout(c.row), c.expected);
  }
}

TEST(CCout, PacksStatusAndDataBytesFromTheLowEnd) {
  EXPECT_EQ(ShortMessagesOf(Row(1, {{7, 100}, {10, 64}, {255, 0}})),
            (std::vector<uint32_t>{0x6407B1, 0x400AB1}));
  EXPECT_EQ(ShortMessagesOf(Row(17, {{224, 5}, {255, 0}})), (std::vector<uint32_t>{0x05C1}));
}

TEST(ShortMessageBytes, TakesAsManyBytesAsTheStatusCallsFor) {
  struct Case {
    uint32_t packed;
    Bytes expected;
  };
  const Case cases[] = {
      {0x6407B1, {0xB1, 0x07, 0x64}}, {0x0000C1, {0xC1, 0x00}},
      {0x7705C1, {0xC1, 0x05}},       {0x002AD3, {0xD3, 0x2A}},
      {0x400090, {0x90, 0x00, 0x40}}, {0x7F00EF, {0xEF, 0x00, 0x7F}},
      {0x0305F2, {0xF2, 0x05, 0x03}}, {0x0012F3, {0xF3, 0x12}},
      {0x0000F8, {0xF8}},             {0x0000FF, {0xFF}},
      // A data byte with its top bit set would read as a new status byte.
      {0xC8C8B0, {0xB0, 0x48, 0x48}},
      // Not a status byte a short message can carry.
      {0x00407F, {}}, {0x000000, {}}, {0x0000F0, {}}, {0x0000F7, {}}, {0x0000F4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.packed);
    EXPECT_EQ(ShortMessageBytes(c.packed), c.expected);
  }
}

TEST(ResetMessages, AllNotesOffAndSustainOffOnEveryChannel) {
  const std::vector<uint32_t> reset = ResetMessages();
  ASSERT_EQ(reset.size(), 32u);
  EXPECT_EQ(ShortMessageBytes(reset[0]), (Bytes{0xB0, 123, 0}));
  EXPECT_EQ(ShortMessageBytes(reset[1]), (Bytes{0xB0, 64, 0}));
  EXPECT_EQ(ShortMessageBytes(reset[31]), (Bytes{0xBF, 64, 0}));
  std::vector<int> notesOff(16), sustainOff(16);
  for (uint32_t packed : reset) {
    const Bytes b = ShortMessageBytes(packed);
    ASSERT_EQ(b.size(), 3u);
    ASSERT_EQ(b[0] & 0xF0, 0xB0);
    EXPECT_EQ(b[2], 0);
    if (b[1] == 123) ++notesOff[b[0] & 15];
    if (b[1] == 64) ++sustainOff[b[0] & 15];
  }
  EXPECT_EQ(notesOff, std::vector<int>(16, 1));
  EXPECT_EQ(sustainOff, std::vector<int>(16, 1));
}

std::vector<Bytes> LongMessagesOfSysExOut(const SysExList& list, const Tsys& e) {
  RecordingMidiPort port;
  port.Open("");
  SendSysEx(port, list, e);
  EXPECT_EQ(port.Count(Kind::Short), 0u);
  return port.LongMessages();
}

TEST(SysExOut, SendsF0AndTheStoredBytesAsOneMessage) {
  struct Case {
    const char* what;
    Bytes stored;
    Bytes expected;
  };
  const Case cases[] = {
      {"XG parameter change", {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
       {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
      {"an inner F0 goes out as the file held it", {0x43, 0x10, 0xF0, 0x4C, 0x00, 0x00, 0x7E, 0xF7},
       {0xF0, 0x43, 0x10, 0xF0, 0x4C, 0x00, 0x00, 0x7E, 0xF7}},
      {"no closing F7 in the file", {0x7E, 0x7F, 0x09, 0x01}, {0xF0, 0x7E, 0x7F, 0x09, 0x01}},
      {"longer than the listing shows", Bytes(40, 0x11), [] {
         Bytes b(41, 0x11);
         b[0] = 0xF0;
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SysExList list;
    list.Append(0, Bytes{0x7E, 0x7F, 0x09, 0x01, 0xF7});  // another message before it
    const Tsys e = list.Append(96, c.stored);
    EXPECT_EQ(SysExMessageOf(list, e), c.expected);
    EXPECT_EQ(LongMessagesOfSysExOut(list, e), std::vector<Bytes>{c.expected});
  }
}

TEST(SysExOut, ARecordFromAnotherListSendsNothing) {
  SysExList other;
  other.Append(0, Bytes(20, 0x10));
  const Tsys foreign = other.Append(0, Bytes(20, 0x20));
  SysExList list;
  list.Append(0, Bytes{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
  EXPECT_TRUE(SysExMessageOf(list, foreign).empty());
  EXPECT_TRUE(LongMessagesOfSysExOut(list, foreign).empty());
}

TEST(SysExOut, ReproducesTheMessageOfAReadFile) {
  // One track: F0 with 8 bytes holding an inner F0, then end of track.
  const Bytes smf = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                     'M', 'T', 'r', 'k', 0, 0, 0, 15,
                     0x00, 0xF0, 0x08, 0x43, 0x10, 0x4C, 0xF0, 0x00, 0x7E, 0x00, 0xF7,
                     0x00, 0xFF, 0x2F, 0x00};
  Session session;
  const Song song = LoadSmfBytes(smf, "inner.mid", session);
  ASSERT_EQ(song.status, LoadStatus::Whole);
  ASSERT_EQ(song.sysEx.size(), 1u);
  EXPECT_EQ(LongMessagesOfSysExOut(song.sysEx, song.sysEx.events[0]),
            (std::vector<Bytes>{{0xF0, 0x43, 0x10, 0x4C, 0xF0, 0x00, 0x7E, 0x00, 0xF7}}));
}

TEST(OpenMidiOut, AFailedOpenWarnsOnceWithItsCauseAndCloses) {
  struct Case {
    MidiPort::OpenResult result;
    const char* text;
  };
  const Case cases[] = {
      {MidiPort::OpenResult::Allocated, "Device Already Allocated"},
      {MidiPort::OpenResult::NoMap, "No Map"},
      {MidiPort::OpenResult::NoDevice, "No Midi Device"},
      {MidiPort::OpenResult::OtherError, "Midi Open Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingMidiPort port;
    port.openResult = c.result;
    RecordingMessages messages;
    EXPECT_EQ(OpenMidiOut(port, "", messages, 140, 90), -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, c.text);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(messages.shown[0].x, 140);
    EXPECT_EQ(messages.shown[0].y, 90);
    EXPECT_EQ(port.Kinds(), (std::vector<Kind>{Kind::Open, Kind::Close}));

    // The program goes on without output: a later press sends into a closed
    // port, which refuses quietly.
    SendControllers(port, Row(0, {{7, 100}, {255, 0}}));
    EXPECT_EQ(messages.shown.size(), 1u);
  }
}

TEST(OpenMidiOut, ASuccessfulOpenResetsTheDeviceAndShowsNothing) {
  RecordingMidiPort port;
  RecordingMessages messages;
  EXPECT_EQ(OpenMidiOut(port, "", messages, 0, 0), 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(port.Kinds(), (std::vector<Kind>{Kind::Open, Kind::Reset}));
  EXPECT_TRUE(port.IsOpen());
}

TEST(OpenMidiOut, PassesTheChoiceOnAndNoneOnlyCloses) {
  RecordingMidiPort port;
  RecordingMessages messages;
  EXPECT_EQ(OpenMidiOut(port, "JACK: synth:in", messages, 0, 0), 0);
  ASSERT_EQ(port.calls.size(), 2u);
  EXPECT_EQ(port.calls[0].port, "JACK: synth:in");

  port.calls.clear();
  EXPECT_EQ(OpenMidiOut(port, std::string(kNoOutputLabel), messages, 0, 0), -1);
  EXPECT_EQ(port.Kinds(), std::vector<Kind>{Kind::Close});
  EXPECT_TRUE(messages.shown.empty());
}

// A recording port whose output can go away, as the system's port does: its
// sends fail while it still counts as open, until it is opened again.
class LosablePort : public RecordingMidiPort {
 public:
  bool gone = false;
  OpenResult Open(const std::string& wanted) override {
    gone = false;
    return RecordingMidiPort::Open(wanted);
  }
  bool SendShort(uint32_t packed) override { return RecordingMidiPort::SendShort(packed) && !gone; }
  bool SendLong(std::span<const uint8_t> message) override {
    return RecordingMidiPort::SendLong(message) && !gone;
  }
};

// The output goes away: the first failed send says so once, later ones say
// nothing, and once the port is listed again the next send opens it again
// by its label (never another port) and resets it before anything goes out.
TEST(WatchedMidiPort, ReportsALostOutputOnceAndReopensOnlyThatPortWhenItIsBack) {
  struct Case {
    const char* what;
    std::string lost;               // the open port that goes away
    std::vector<std::string> back;  // what is listed afterwards
    std::string reopened;           // the port opened again; "" for none
  };
  const Case cases[] = {
      {"the same JACK port", "JACK: synth:in", {"JACK: other:in", "JACK: synth:in"}, "JACK: synth:in"},
      {"the ALSA port at another address", "ALSA: MU:MU Port 1 128:0",
       {"ALSA: Midi Through:Midi Through Port-0 14:0", "ALSA: MU:MU Port 1 129:0"}, "ALSA: MU:MU Port 1 129:0"},
      {"only another port", "JACK: synth:in", {"JACK: other:in"}, ""},
  };
  const uint32_t volume = 0x6407B0;
  const Bytes systemOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LosablePort port;
    port.ports = {c.lost};
    std::vector<std::string> reports;
    WatchedMidiPort watched(port, [&reports](const std::string& text) { reports.push_back(text); });
    // No port open: a refused send is no loss.
    EXPECT_FALSE(watched.SendShort(volume));
    ASSERT_EQ(watched.Open(c.lost), MidiPort::OpenResult::Ok);

    port.gone = true;
    port.ports.clear();
    for (int press = 0; press < 2; ++press) {
      watched.Reconnect();
      EXPECT_FALSE(watched.SendShort(volume));
      EXPECT_FALSE(watched.SendLong(systemOn));
    }
    EXPECT_EQ(reports, std::vector<std::string>{"MIDI output lost: " + c.lost});
    EXPECT_EQ(watched.OpenPort(), c.lost);
    EXPECT_EQ(port.Count(Kind::Open), 1u);

    port.ports = c.back;
    port.calls.clear();
    watched.Reconnect();
    EXPECT_EQ(watched.SendShort(volume), !c.reopened.empty());
    if (c.reopened.empty()) {
      EXPECT_EQ(port.Kinds(), std::vector<Kind>{Kind::Short});
      EXPECT_EQ(reports.size(), 1u);
      continue;
    }
    ASSERT_EQ(port.Kinds(), (std::vector<Kind>{Kind::Open, Kind::Reset, Kind::Short}));
    EXPECT_EQ(port.calls[0].port, c.reopened);
    // Lost again: said again.
    port.gone = true;
    EXPECT_FALSE(watched.SendLong(systemOn));
    EXPECT_EQ(reports.size(), 2u);
  }
}

// The real port, on a machine without a MIDI system (this is how the tests
// run: no sound hardware, no ALSA sequencer). A JACK server is looked for
// under a name that no server has.
bool MachineHasMidiSystem() {
#if defined(__linux__)
  setenv("JACK_DEFAULT_SERVER", ("mertovan-absent-" + std::to_string(getpid())).c_str(), 1);
  return access("/dev/snd/seq", F_OK) == 0;
#else
  return true;
#endif
}

TEST(SystemMidiPort, WithoutAMidiSystemReportsNoDeviceQuietlyAndStaysHarmless) {
  if (MachineHasMidiSystem()) GTEST_SKIP() << "this machine has a MIDI system; nothing is played to it";
  auto port = MakeSystemMidiPort();
  testing::internal::CaptureStderr();
  EXPECT_EQ(port->Open(""), MidiPort::OpenResult::NoDevice);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  port->Reset();
  EXPECT_FALSE(port->SendShort(0x6407B1));
  const Bytes sysex = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  EXPECT_FALSE(port->SendLong(sysex));
  port->Close();
  port->Close();
  EXPECT_EQ(port->Open(""), MidiPort::OpenResult::NoDevice);
}

TEST(SystemMidiPort, WithoutAMidiSystemTheProgramWarnsNoMidiDeviceOnce) {
  if (MachineHasMidiSystem()) GTEST_SKIP() << "this machine has a MIDI system; nothing is played to it";
  auto port = MakeSystemMidiPort();
  RecordingMessages messages;
  EXPECT_EQ(OpenMidiOut(*port, "", messages, 40, 40), -1);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "No Midi Device");

  SysExList list;
  const Tsys e = list.Append(0, Bytes{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
  SendControllers(*port, Row(1, {{7, 100}, {10, 64}, {255, 0}}));
  SendSysEx(*port, list, e);
  port->Close();  // what closing the window does, whatever the state
  EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
}  // namespace mertovan
