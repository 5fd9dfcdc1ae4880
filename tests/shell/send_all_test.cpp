// Choosing the output port, RtMidi's failures, and the paced "Send all".
#include "app/shell/send_all.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/shell/midi_ports.h"
#include "app/shell/rtmidi_port.h"
#include "support/recording_midi_port.h"

namespace mertovan {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(ChooseOutputPort, RememberedPortElseFirstRealAlsaPortElseFirstJackPort) {
  const std::vector<OutputPort> alsaAndJack = {
      {"ALSA", "Midi Through:Midi Through Port-0 14:0"},
      {"ALSA", "MU Synth:MU Synth MIDI 1 20:0"},
      {"ALSA", "FLUID Synth (1234):Synth input port (1234:0) 128:0"},
      {"JACK", "system:midi_playback_1"},
  };
  const std::vector<OutputPort> throughAndJack = {
      {"ALSA", "Midi Through:Midi Through Port-0 14:0"},
      {"JACK", "a2j:Midi Through [14] (playback): Midi Through Port-0"},
      {"JACK", "system:midi_playback_1"},
  };
  const std::vector<OutputPort> throughOnly = {{"ALSA", "Midi Through:Midi Through Port-0 14:0"}};
  struct Case {
    const char* what;
    const std::vector<OutputPort>& ports;
    std::string remembered;
    std::optional<size_t> expected;
  };
  const Case cases[] = {
      {"nothing remembered: first ALSA port that plays", alsaAndJack, "", 1},
      {"remembered exactly", alsaAndJack, "JACK: system:midi_playback_1", 3},
      {"remembered Midi Through is honoured", alsaAndJack, "ALSA: Midi Through:Midi Through Port-0 14:0", 0},
      {"ALSA client number changed", alsaAndJack, "ALSA: FLUID Synth (1234):Synth input port (1234:0) 129:0", 2},
      {"remembered port is gone", alsaAndJack, "ALSA: Gone:Gone 24:0", 1},
      {"a JACK name is compared whole", alsaAndJack, "JACK: system:midi_playback_2", 1},
      {"an address alone does not match", alsaAndJack, "ALSA: MU Synth:MU Synth MIDI 1", 1},
      {"(none) opens nothing", alsaAndJack, "(none)", std::nullopt},
      {"only Midi Through under ALSA: JACK", throughAndJack, "", 1},
      {"only Midi Through and no JACK: no device", throughOnly, "", std::nullopt},
      {"no ports at all", {}, "ALSA: Gone:Gone 24:0", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseOutputPort(c.ports, c.remembered), c.expected);
  }
  EXPECT_EQ(PortLabel(alsaAndJack[3]), "JACK: system:midi_playback_1");
}

TEST(RtMidiPort, ErrorsMapToTheProgramsOpenFailures) {
  using R = MidiPort::OpenResult;
  struct Case {
    RtMidiError::Type type;
    int systemError;
    R expected;
  };
  const Case cases[] = {
      {RtMidiError::NO_DEVICES_FOUND, 0, R::NoDevice},
      {RtMidiError::INVALID_DEVICE, EBUSY, R::NoDevice},
      {RtMidiError::INVALID_PARAMETER, 0, R::NoDevice},
      {RtMidiError::WARNING, 0, R::NoDevice},
      {RtMidiError::DRIVER_ERROR, EBUSY, R::Allocated},
      {RtMidiError::SYSTEM_ERROR, EBUSY, R::Allocated},
      {RtMidiError::DRIVER_ERROR, ENOENT, R::OtherError},
      {RtMidiError::MEMORY_ERROR, 0, R::OtherError},
      {RtMidiError::UNSPECIFIED, 0, R::OtherError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.type) << " errno " << c.systemError);
    EXPECT_EQ(OpenFailureOf(c.type, c.systemError), c.expected);
  }
  EXPECT_EQ(ApiLabel(RtMidi::LINUX_ALSA), "ALSA");
  EXPECT_EQ(ApiLabel(RtMidi::UNIX_JACK), "JACK");
}

TEST(PauseAfter, FiftyMillisecondsAfterASystemOnElseTheMessageTimeAndAtLeastOne) {
  struct Case {
    Bytes message;
    microseconds expected;
  };
  const Case cases[] = {
      {{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, milliseconds(50)},  // XG System On
      {{0xF0, 0x43, 0x1F, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, milliseconds(50)},  // device 16
      {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, milliseconds(50)},                    // GM System On
      {{0xF0, 0x7E, 0x10, 0x09, 0x03, 0xF7}, milliseconds(50)},                    // GM2 System On
      {{0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7}, microseconds(1920)},                  // GM System Off
      {{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7F, 0x00, 0xF7}, microseconds(2880)},  // All Parameter Reset
      {{0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x07, 0x00, 0xF7}, microseconds(2880)},
      {Bytes(40, 0x11), microseconds(12800)},
      {{0xB0, 0x07, 0x64}, milliseconds(1)},
      {{0xC0, 0x05}, milliseconds(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.message));
    EXPECT_EQ(PauseAfter(c.message), c.expected);
  }
}

TEST(SendAllMessages, ListOrderSysExOrConvertedMessagesByView) {
  SysExList list;
  const Bytes xgOn = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  const Bytes vibratoRate = {0x43, 0x10, 0x4C, 0x08, 0x11, 0x15, 0x50, 0xF7};
  const Bytes program = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x03, 0x05, 0xF7};
  list.Append(0, xgOn);
  Tsys& nrpn = list.Append(10, vibratoRate);
  nrpn.channel = 17;
  nrpn.ccNumber[0] = 99, nrpn.ccValue[0] = 1;
  nrpn.ccNumber[1] = 98, nrpn.ccValue[1] = 8;
  nrpn.ccNumber[2] = 6, nrpn.ccValue[2] = 0x50;
  nrpn.ccNumber[3] = 255;
  Tsys& pc = list.Append(20, program);
  pc.channel = 0;
  pc.ccNumber[0] = 224, pc.ccValue[0] = 5;
  pc.ccNumber[1] = 255;

  const auto withF0 = [](Bytes b) {
    b.insert(b.begin(), 0xF0);
    return b;
  };
  EXPECT_EQ(SendAllMessages(list, ViewMode::SysEx),
            (std::vector<Bytes>{withF0(xgOn), withF0(vibratoRate), withF0(program)}));
  EXPECT_EQ(SendAllMessages(list, ViewMode::Cc),
            (std::vector<Bytes>{withF0(xgOn), {0xB1, 99, 1}, {0xB1, 98, 8}, {0xB1, 6, 0x50}, {0xC0, 5}}));
}

// A clock that moves only when the test says so.
class FakeClock : public SendClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return now; }
  std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
};

TEST(PacedSend, EachMessageWaitsForThePauseAfterThePreviousOne) {
  const std::vector<Bytes> messages = {
      {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
      {0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0xF7},
      {0xB0, 0x07, 0x64},
      {0xC0, 0x05},
  };
  FakeClock clock;
  RecordingMidiPort port;
  port.Open("");
  port.calls.clear();
  PacedSend send(messages, clock);
  std::vector<microseconds> sentAt;
  const auto start = clock.now;
  // Drive it as a timer would, sometimes a little late, and with an early
  // call in between that must not send anything.
  int steps = 0;
  while (std::optional<microseconds> wait = send.Step(port)) {
    ASSERT_LT(++steps, 20);
    if (port.calls.size() > sentAt.size())
      sentAt.push_back(std::chrono::duration_cast<microseconds>(clock.now - start));
    const size_t before = port.calls.size();
    clock.now += *wait / 2;
    EXPECT_EQ(send.Step(port), *wait - *wait / 2);  // too early: nothing goes
    EXPECT_EQ(port.calls.size(), before);
    clock.now += *wait - *wait / 2 + microseconds(steps % 2 ? 300 : 0);
  }
  sentAt.push_back(std::chrono::duration_cast<microseconds>(clock.now - start));
  EXPECT_TRUE(send.Finished());
  EXPECT_EQ(send.Sent(), 4u);
  EXPECT_EQ(port.LongMessages(), (std::vector<Bytes>{messages[0], messages[1]}));
  EXPECT_EQ(port.ShortMessages(), (std::vector<uint32_t>{0x6407B0, 0x05C0}));
  // 50 ms after GM System On, 2.88 ms after 9 bytes, 1 ms after a control
  // change; the late timer adds to the schedule and is never made up for.
  EXPECT_EQ(sentAt, (std::vector<microseconds>{microseconds(0), microseconds(50'300), microseconds(53'180),
                                                microseconds(54'480)}));
}

TEST(PacedSend, CancelStopsAtOnce) {
  FakeClock clock;
  RecordingMidiPort port;
  port.Open("");
  PacedSend send({{0xB0, 7, 1}, {0xB0, 7, 2}, {0xB0, 7, 3}}, clock);
  ASSERT_TRUE(send.Step(port));
  send.Cancel();
  clock.now += std::chrono::seconds(1);
  EXPECT_FALSE(send.Step(port));
  EXPECT_EQ(port.ShortMessages(), std::vector<uint32_t>{0x0107B0});
  EXPECT_TRUE(send.Finished());
}

}  // namespace
}  // namespace mertovan
