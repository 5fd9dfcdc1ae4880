// The system's MIDI output over RtMidi. RtMidi reports failures either by
// throwing RtMidiError or, once an error callback is set, through the callback;
// this port turns both into results, so that a machine without any MIDI
// system only ever sees "No Midi Device".
#include "app/shell/rtmidi_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell/midi_ports.h"

#if defined(__linux__)
#include <unistd.h>
#endif
#if defined(MERTOVAN_WITH_JACK)
#include <jack/jack.h>
#endif

namespace mertovan {

std::string ApiLabel(RtMidi::Api api) {
  switch (api) {
    case RtMidi::LINUX_ALSA: return "ALSA";
    case RtMidi::UNIX_JACK: return "JACK";
    default: return RtMidi::getApiDisplayName(api);
  }
}

MidiPort::OpenResult OpenFailureOf(RtMidiError::Type type, int systemError) {
  switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE:
    case RtMidiError::INVALID_PARAMETER:  // the port went away since it was counted
    case RtMidiError::WARNING:            // JACK's way of saying the same
    case RtMidiError::DEBUG_WARNING:
      return MidiPort::OpenResult::NoDevice;
    default: break;
  }
  return systemError == EBUSY ? MidiPort::OpenResult::Allocated : MidiPort::OpenResult::OtherError;
}

namespace {

constexpr const char* kClientName = "Mertovan";
constexpr const char* kPortName = "Mertovan Output";

// RtMidi writes to std::cerr before it throws from a constructor, when no
// error callback can be set yet; the failure is reported to the user anyway.
class MutedCerr {
 public:
  MutedCerr() : saved_(std::cerr.rdbuf(nullptr)) {}
  ~MutedCerr() { std::cerr.rdbuf(saved_); }
  MutedCerr(const MutedCerr&) = delete;
  MutedCerr& operator=(const MutedCerr&) = delete;

 private:
  std::streambuf* saved_;
};

void IgnoreText(const char*) {}

// The JACK library prints every failed connection attempt itself ("Cannot
// connect to server socket" and more) when no server runs, which is the
// normal case on most desktops; the program reports what matters itself.
void QuietJack() {
#if defined(MERTOVAN_WITH_JACK)
  static const bool once = [] {
    jack_set_error_function(&IgnoreText);
    jack_set_info_function(&IgnoreText);
    return true;
  }();
  (void)once;
#endif
}

// Whether a JACK server answers. Asked before RtMidi is: its JACK client
// loses two ring buffers on every try when no server runs.
bool JackServerRunning() {
#if defined(MERTOVAN_WITH_JACK)
  jack_status_t status;
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
  if (!client) return false;
  jack_client_close(client);
#endif
  return true;
}

// The MIDI systems to ask, in the order their ports are listed. The ALSA
// sequencer only where its device exists: without it alsa-lib would print
// its own complaint before failing. JACK only where a server runs.
std::vector<RtMidi::Api> SystemsToAsk() {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<RtMidi::Api> out;
#if defined(__linux__)
  const bool sequencer = access("/dev/snd/seq", F_OK) == 0;
  if (sequencer && std::find(compiled.begin(), compiled.end(), RtMidi::LINUX_ALSA) != compiled.end())
    out.push_back(RtMidi::LINUX_ALSA);
  if (std::find(compiled.begin(), compiled.end(), RtMidi::UNIX_JACK) != compiled.end() && JackServerRunning())
    out.push_back(RtMidi::UNIX_JACK);
#else
  out = compiled;
#endif
  return out;
}

#if defined(MERTOVAN_WITH_JACK)
// Watches the connection from the program's JACK port to the chosen one,
// through a client of its own without ports: RtMidi's client neither learns
// that the server has gone nor that the connection was dropped (the
// synthesizer restarted), and goes on queueing messages for nobody.
class JackWatch {
 public:
  explicit JackWatch(std::string target) : target_(std::move(target)) {
    jack_status_t status;
    client_ = jack_client_open("Mertovan watch", JackNoStartServer, &status);
    if (client_) jack_on_shutdown(client_, &JackWatch::OnShutdown, this);
  }
  ~JackWatch() {
    if (client_) jack_client_close(client_);
  }
  JackWatch(const JackWatch&) = delete;
  JackWatch& operator=(const JackWatch&) = delete;

  // The server has gone. The JACK library then drops every client of the
  // process at the next client it opens, so the dead ones must be closed
  // before the program asks for ports again.
  bool ServerGone() const { return gone_; }

  // Whether the chosen port is there and fed by a port of this program.
  bool Feeds() const {
    if (!client_) return true;  // nothing to watch with: the sends are trusted
    if (gone_) return false;
    const jack_port_t* target = jack_port_by_name(client_, target_.c_str());
    if (!target) return false;
    const char** senders = jack_port_get_all_connections(client_, target);
    bool fed = false;
    const std::string ours = std::string(":") + kPortName;
    for (const char** s = senders; s && *s; ++s) fed = fed || std::string_view(*s).ends_with(ours);
    jack_free(senders);
    return fed;
  }

 private:
  static void OnShutdown(void* self) { static_cast<JackWatch*>(self)->gone_ = true; }

  std::string target_;
  jack_client_t* client_ = nullptr;
  std::atomic<bool> gone_{false};
};
#else
// Without the JACK library at hand RtMidi's word is taken.
class JackWatch {
 public:
  explicit JackWatch(std::string) {}
  bool ServerGone() const { return false; }
  bool Feeds() const { return true; }
};
#endif

// What the error callback saw since it was last cleared.
struct ErrorState {
  bool error = false;
  bool warning = false;
  int systemError = 0;
  RtMidiError::Type type = RtMidiError::UNSPECIFIED;

  static void Record(RtMidiError::Type t, const std::string&, void* self) {
    auto* state = static_cast<ErrorState*>(self);
    if (t == RtMidiError::WARNING || t == RtMidiError::DEBUG_WARNING) {
      // Warnings are how RtMidi reports a failed send; they still mean failure.
      state->warning = true;
      return;
    }
    state->systemError = errno;
    state->error = true;
    state->type = t;
  }
  void Clear() { *this = ErrorState{}; }
};

// One client of one MIDI system with the output ports it saw.
struct SystemClient {
  RtMidi::Api api;
  std::unique_ptr<RtMidiOut> out;
  std::vector<std::string> names;
};

// Connects to one MIDI system and lists its output ports; nothing when the
// system is not there (no JACK server running, for one).
std::optional<SystemClient> Connect(RtMidi::Api api, ErrorState& errors) {
  SystemClient client{api, nullptr, {}};
  try {
    {
      MutedCerr muted;
      client.out = std::make_unique<RtMidiOut>(api, kClientName);
    }
    client.out->setErrorCallback(&ErrorState::Record, &errors);
    const unsigned count = client.out->getPortCount();
    for (unsigned i = 0; i < count; ++i) client.names.push_back(client.out->getPortName(i));
  } catch (...) {
    return std::nullopt;
  }
  return client;
}

class RtMidiPort final : public MidiPort {
 public:
  RtMidiPort() { QuietJack(); }
  ~RtMidiPort() override { Close(); }

  std::vector<std::string> OutputPorts() override {
    DropDeadJackClients();
    std::vector<std::string> labels;
    ErrorState ignored;
    for (RtMidi::Api api : SystemsToAsk()) {
      const std::optional<SystemClient> client = Connect(api, ignored);
      if (!client) continue;
      for (const std::string& name : client->names) labels.push_back(PortLabel({ApiLabel(api), name}));
    }
    return labels;
  }

  OpenResult Open(const std::string& wanted) override {
    Close();
    // Every system's ports, each with the client that saw it; the chosen
    // port is opened by that client, the others go.
    std::vector<SystemClient> clients;
    std::vector<OutputPort> ports;
    std::vector<std::pair<size_t, unsigned>> where;  // client, port number
    for (RtMidi::Api api : SystemsToAsk()) {
      std::optional<SystemClient> client = Connect(api, errors_);
      if (!client) continue;
      for (unsigned i = 0; i < client->names.size(); ++i) {
        ports.push_back({ApiLabel(api), client->names[i]});
        where.emplace_back(clients.size(), i);
      }
      clients.push_back(std::move(*client));
    }
    const std::optional<size_t> chosen = ChooseOutputPort(ports, wanted);
    if (!chosen) return OpenResult::NoDevice;
    const auto [clientIndex, portNumber] = where[*chosen];
    out_ = std::move(clients[clientIndex].out);
    try {
      errors_.Clear();
      errno = 0;
      out_->openPort(portNumber, kPortName);
      if (out_->isPortOpen() && !errors_.error && !errors_.warning) {
        openLabel_ = PortLabel(ports[*chosen]);
        openName_ = ports[*chosen].name;
        openApi_ = clients[clientIndex].api;
        if (openApi_ == RtMidi::UNIX_JACK) {
          AwaitJackConnection();
          jackWatch_ = std::make_unique<JackWatch>(openName_);
        }
        return OpenResult::Ok;
      }
      const OpenResult result = errors_.error     ? OpenFailureOf(errors_.type, errors_.systemError)
                                : errors_.warning ? OpenFailureOf(RtMidiError::WARNING, 0)
                                                  : OpenResult::OtherError;
      Close();
      return result;
    } catch (const RtMidiError& e) {
      const int err = errno;
      Close();
      return OpenFailureOf(e.getType(), err);
    } catch (...) {
      Close();
      return OpenResult::OtherError;
    }
  }

  std::string OpenPort() const override { return openLabel_; }

  void Reset() override {
    for (uint32_t packed : ResetMessages()) SendShort(packed);
  }

  bool SendShort(uint32_t packed) override {
    const std::vector<uint8_t> bytes = ShortMessageBytes(packed);
    if (bytes.empty()) return false;
    return Send(bytes);
  }

  // RtMidi hands the bytes to the driver (or JACK's queue) before
  // sendMessage returns, so the caller's buffer may go as soon as this does.
  bool SendLong(std::span<const uint8_t> message) override {
    if (message.empty()) return false;
    return Send(message);
  }

  void Close() override {
    openLabel_.clear();
    openName_.clear();
    openApi_ = RtMidi::UNSPECIFIED;
    if (out_) {
      try {
        // Under JACK this waits (at most a second) until the queued messages
        // have gone out.
        if (out_->isPortOpen()) out_->closePort();
      } catch (...) {
      }
      out_.reset();
    }
    jackWatch_.reset();
  }

 private:
  // A new JACK connection carries data from the server's next cycle on;
  // what is queued before then (the reset right after the open) would go
  // nowhere. Two cycles of the longest usual period (2048 frames at 44.1 kHz)
  // and some room: a short wait once per open.
  static void AwaitJackConnection() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

  bool Send(std::span<const uint8_t> bytes) {
    DropDeadJackClients();
    if (!out_ || !out_->isPortOpen() || !OutputThere()) return false;
    errors_.Clear();
    try {
      out_->sendMessage(bytes.data(), bytes.size());
    } catch (...) {
      return false;
    }
    return !errors_.error && !errors_.warning;
  }

  // Whether the chosen port is still there to be played to. RtMidi's sends
  // succeed into nothing once it has gone. An ALSA port must still be
  // listed; a synthesizer that comes back at the same sequencer address
  // before the next send is not noticed.
  bool OutputThere() {
    if (jackWatch_) return jackWatch_->Feeds();
    if (openApi_ != RtMidi::LINUX_ALSA) return true;
    try {
      const unsigned count = out_->getPortCount();
      for (unsigned i = 0; i < count; ++i)
        if (out_->getPortName(i) == openName_) return true;
    } catch (...) {
    }
    return false;
  }

  void DropDeadJackClients() {
    if (jackWatch_ && jackWatch_->ServerGone()) Close();
  }

  std::unique_ptr<RtMidiOut> out_;
  std::string openLabel_;
  std::string openName_;  // the open port's own name, as its system lists it
  RtMidi::Api openApi_ = RtMidi::UNSPECIFIED;
  std::unique_ptr<JackWatch> jackWatch_;
  ErrorState errors_;
};

}  // namespace

std::unique_ptr<MidiPort> MakeSystemMidiPort() { return std::make_unique<RtMidiPort>(); }

}  // namespace mertovan
