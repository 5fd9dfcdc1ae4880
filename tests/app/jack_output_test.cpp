// The program's real MIDI output on a real MIDI system: a JACK server of
// its own (dummy driver, private name), the program's RtMidi port on it, and
// an RtMidi input port on the same server that receives what the program
// sends, byte for byte and with its timing.
#include <RtMidi.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/shell/midi_output.h"
#include "app/shell/send_all.h"
#include "app/send_all_progress.h"
#include "app_fixture.h"

#if defined(MERTOVAN_WITH_JACK)
#include <jack/jack.h>
#endif

extern char** environ;

namespace mertovan::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

#if defined(MERTOVAN_WITH_JACK)

// The server runs a cycle every 256 frames at 48 kHz (5.3 ms); what a
// client sends goes out at the start of the next cycle.
constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// jackd under a private name, stopped by its PID when the test ends, also
// when it fails. Synchronous mode (-S): a cycle waits for every client, so a
// loaded machine delays messages instead of dropping them.
class JackServer {
 public:
  JackServer(std::string name, const fs::path& log) : name_(std::move(name)) {
    const std::string rate = std::to_string(kRate), period = std::to_string(kPeriod);
    std::vector<std::string> args = {"jackd", "-S", "-n", name_, "-r", "-d", "dummy", "-r", rate, "-p", period};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawnp(&pid_, "jackd", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      why_ = "jackd cannot be run: " + std::string(strerror(spawned));
      return;
    }
    // Up when a client can connect to it by name; the JACK library would
    // print every failed try.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        why_ = "jackd ended at start-up (log: " + log.string() + ")";
        return;
      }
      jack_status_t js;
      if (jack_client_t* probe = jack_client_open("mertovan-probe", jack_options_t(JackNoStartServer | JackServerName),
                                                  &js, name_.c_str())) {
        jack_client_close(probe);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why_ = "jackd did not come up within 15 s (log: " + log.string() + ")";
  }
  ~JackServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Up() const { return why_.empty(); }
  const std::string& WhyNot() const { return why_; }

 private:
  std::string name_;
  pid_t pid_ = -1;
  std::string why_;
};

// An RtMidi input port on the server; keeps every message it receives.
class Receiver {
 public:
  struct Message {
    Bytes bytes;
  };

  Receiver() : in_(RtMidi::UNIX_JACK, "Mertovan Test") {
    in_.ignoreTypes(false, true, true);  // SysEx too
    in_.setCallback(&Receiver::OnMessage, this);
    in_.openVirtualPort("receive");
  }
  ~Receiver() { in_.closePort(); }

  // Waits (running the window's event loop) until `n` messages are in.
  bool WaitFor(size_t n, int ms = 5000) {
    return QTest::qWaitFor([&] { return Count() >= n; }, ms);
  }
  size_t Count() {
    std::lock_guard lock(mutex_);
    return messages_.size();
  }
  std::vector<Message> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(messages_, {});
  }
  static std::vector<Bytes> BytesOf(const std::vector<Message>& messages) {
    std::vector<Bytes> out;
    for (const Message& m : messages) out.push_back(m.bytes);
    return out;
  }

 private:
  static void OnMessage(double, std::vector<unsigned char>* bytes, void* self) {
    auto* r = static_cast<Receiver*>(self);
    std::lock_guard lock(r->mutex_);
    r->messages_.push_back({Bytes(bytes->begin(), bytes->end())});
  }

  RtMidiIn in_;
  std::mutex mutex_;
  std::vector<Message> messages_;
};

// The program's real port, noting when each message was handed to it.
class TimedPort : public MidiPort {
 public:
  explicit TimedPort(MidiPort& inner) : inner_(inner) {}
  std::vector<std::string> OutputPorts() override { return inner_.OutputPorts(); }
  OpenResult Open(const std::string& wanted) override { return inner_.Open(wanted); }
  std::string OpenPort() const override { return inner_.OpenPort(); }
  void Reset() override { inner_.Reset(); }
  bool SendShort(uint32_t packed) override { return Note(inner_.SendShort(packed)); }
  bool SendLong(std::span<const uint8_t> message) override { return Note(inner_.SendLong(message)); }
  void Close() override { inner_.Close(); }

  std::vector<std::chrono::steady_clock::time_point> sentAt;

 private:
  bool Note(bool sent) {
    sentAt.push_back(std::chrono::steady_clock::now());
    return sent;
  }
  MidiPort& inner_;
};

class JackOutputTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    const char* old = getenv("JACK_DEFAULT_SERVER");
    if (old) oldServer_ = old;
    name_ = "mertovan-test-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  }
  void TearDown() override {
    AppTest::TearDown();  // the window and its port go before the server
    server_.reset();
    if (oldServer_)
      setenv("JACK_DEFAULT_SERVER", oldServer_->c_str(), 1);
    else
      unsetenv("JACK_DEFAULT_SERVER");
  }
  bool StartServer() {
    server_ = std::make_unique<JackServer>(name_, fs::temp_directory_path() / (name_ + ".log"));
    return server_->Up();
  }

  std::string name_;
  std::optional<std::string> oldServer_;
  std::unique_ptr<JackServer> server_;
};

std::vector<Bytes> WireBytes(const std::vector<uint32_t>& packed) {
  std::vector<Bytes> out;
  for (uint32_t p : packed) out.push_back(ShortMessageBytes(p));
  return out;
}

TEST_F(JackOutputTest, RowsResetAndSendAllArriveByteForByteAndPaced) {
  if (!StartServer()) GTEST_SKIP() << "no JACK server for this test: " << server_->WhyNot();
  std::unique_ptr<MidiPort> system = MakeSystemMidiPort();
  TimedPort timed(*system);
  MidiPort* port = &timed;
  {
    Receiver receiver;
    // The server's only MIDI input is the receiver: the default choice.
    EXPECT_EQ(port->OutputPorts(), std::vector<std::string>{"JACK: Mertovan Test:receive"});
    Tmain_form& w = Start(timed);
    w.FormActivate();
    ASSERT_EQ(port->OpenPort(), "JACK: Mertovan Test:receive") << (messages.shown.empty() ? "" : messages.shown[0].text);

    // Opening resets the module: all notes off and sustain off, channel by channel.
    ASSERT_TRUE(receiver.WaitFor(32)) << receiver.Count() << " of the 32 reset messages";
    EXPECT_EQ(Receiver::BytesOf(receiver.Take()), WireBytes(ResetMessages()));

    Load(fs::path(MERTOVAN_SOURCE_DIR) / "examples" / "xg_song_setup.mid");
    ASSERT_EQ(w.LoadedSong().sysEx.size(), 21u);
    Component<QRadioButton>("rb_sysex")->click();
    SelectRow(0);
    w.SendRowClick();  // Return on the row
    ASSERT_TRUE(receiver.WaitFor(1));
    EXPECT_EQ(Receiver::BytesOf(receiver.Take()), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}));

    // Part 2's vibrato rate: an NRPN group, in order, on MIDI channel 2.
    Component<QRadioButton>("rb_cc")->click();
    SelectRow(13);
    w.SendRowClick();
    ASSERT_TRUE(receiver.WaitFor(3));
    EXPECT_EQ(Receiver::BytesOf(receiver.Take()),
              (std::vector<Bytes>{{0xB1, 0x63, 0x01}, {0xB1, 0x62, 0x08}, {0xB1, 0x06, 0x50}}));

    // The whole setup, as the SysEx view lists it.
    Component<QRadioButton>("rb_sysex")->click();
    const std::vector<WireMessage> expected = SendAllMessages(w.LoadedSong().sysEx, ViewMode::SysEx);
    timed.sentAt.clear();
    Action("SendAll1")->trigger();
    ASSERT_TRUE(receiver.WaitFor(expected.size()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.SendAllRun() == nullptr; }, 2000));
    EXPECT_EQ(Receiver::BytesOf(receiver.Take()), expected);
    // The pacing is the program's: each message is handed to the port no
    // sooner than the pause after the one before. (The receiver's stamps
    // are the server's cycles: on a loaded machine a late cycle carries two
    // messages at once, which is the server's doing, not the program's.)
    ASSERT_EQ(timed.sentAt.size(), expected.size());
    for (size_t i = 1; i < expected.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_GE(timed.sentAt[i] - timed.sentAt[i - 1], PauseAfter(expected[i - 1]));
    }

    CloseWindow();
  }
}

// The output goes away under the program: the synthesizer (the receiver)
// restarts, then the whole JACK server does. The first Return after says so
// once; once the port is back, the next Return opens it again, resets the
// module and plays the row.
TEST_F(JackOutputTest, ALostOutputIsShownOnceAndReturnReconnectsWhenItIsBack) {
  if (!StartServer()) GTEST_SKIP() << "no JACK server for this test: " << server_->WhyNot();
  const std::string label = "JACK: Mertovan Test:receive";
  std::unique_ptr<MidiPort> system = MakeSystemMidiPort();
  auto receiver = std::make_unique<Receiver>();
  Tmain_form& w = Start(*system);
  w.FormActivate();
  ASSERT_EQ(system->OpenPort(), label) << (messages.shown.empty() ? "" : messages.shown[0].text);
  ASSERT_TRUE(receiver->WaitFor(32));
  Load(fs::path(MERTOVAN_SOURCE_DIR) / "examples" / "xg_song_setup.mid");
  Component<QRadioButton>("rb_sysex")->click();
  SelectRow(0);
  std::vector<Bytes> expected = WireBytes(ResetMessages());
  expected.push_back({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});

  for (const bool server : {false, true}) {
    SCOPED_TRACE(server ? "the JACK server restarts" : "the synthesizer restarts");
    messages.shown.clear();
    receiver.reset();
    if (server) server_.reset();
    // The JACK library tells the program of a stopped server a moment later.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          w.SendRowClick();
          return !messages.shown.empty();
        },
        5000));
    w.SendRowClick();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"MIDI output lost: " + label});

    if (server) {
      ASSERT_TRUE(StartServer()) << server_->WhyNot();
    }
    receiver = std::make_unique<Receiver>();
    w.SendRowClick();
    ASSERT_TRUE(receiver->WaitFor(expected.size())) << receiver->Count();
    EXPECT_EQ(Receiver::BytesOf(receiver->Take()), expected);
    EXPECT_EQ(system->OpenPort(), label);
    EXPECT_EQ(messages.shown.size(), 1u);
  }
  CloseWindow();
}

#else

TEST(JackOutput, NeedsTheJackLibrary) { GTEST_SKIP() << "built without the JACK library"; }

#endif

}  // namespace
}  // namespace mertovan::testing
