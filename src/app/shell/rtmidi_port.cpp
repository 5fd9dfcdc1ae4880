// The system's MIDI output over RtMidi. RtMidi reports failures either by
// throwing RtMidiError or, once an error callback is set, through the callback;
// this port turns both into results, so that a machine without any MIDI
// system only ever sees "No Midi Device".
#include <RtMidi.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <string>

#include "app/shell/midi_output.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace mertovan {

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

RtMidi::Api PlatformApi() {
#if defined(__linux__)
  // Asking for ALSA by name keeps RtMidi from trying a JACK server when the
  // sequencer has no ports; a MIDI utility on Linux talks to the sequencer.
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  if (std::find(apis.begin(), apis.end(), RtMidi::LINUX_ALSA) != apis.end()) return RtMidi::LINUX_ALSA;
#endif
  return RtMidi::UNSPECIFIED;
}

// Whether the platform has a MIDI system that could be asked at all. Without
// the ALSA sequencer device the library would only fail after alsa-lib has
// printed its own complaint.
bool MidiSystemPresent() {
#if defined(__linux__)
  return access("/dev/snd/seq", F_OK) == 0;
#else
  return true;
#endif
}

class RtMidiPort final : public MidiPort {
 public:
  ~RtMidiPort() override { Close(); }

  OpenResult Open() override {
    Close();
    if (!MidiSystemPresent()) return OpenResult::NoDevice;
    try {
      {
        MutedCerr muted;
        out_ = std::make_unique<RtMidiOut>(PlatformApi(), kClientName);
      }
      out_->setErrorCallback(&RtMidiPort::OnError, this);
    } catch (...) {
      // The client could not be made: no usable MIDI system on this machine.
      out_.reset();
      return OpenResult::NoDevice;
    }
    try {
      const unsigned count = out_->getPortCount();
      if (count == 0) {
        out_.reset();
        return OpenResult::NoDevice;
      }
      const unsigned port = DefaultPort(count);
      ClearError();
      errno = 0;
      out_->openPort(port, kPortName);
      if (out_->isPortOpen() && !error_) return OpenResult::Ok;
      const OpenResult result = error_ ? FailureOf(errorType_, errorErrno_) : OpenResult::OtherError;
      Close();
      return result;
    } catch (const RtMidiError& e) {
      const int err = errno;
      Close();
      return FailureOf(e.getType(), err);
    } catch (...) {
      Close();
      return OpenResult::OtherError;
    }
  }

  void Reset() override {
    for (uint32_t packed : ResetMessages()) SendShort(packed);
  }

  bool SendShort(uint32_t packed) override {
    const std::vector<uint8_t> bytes = ShortMessageBytes(packed);
    if (bytes.empty()) return false;
    return Send(bytes);
  }

  // RtMidi hands the bytes to the driver before sendMessage returns, so the
  // caller's buffer may go as soon as this does.
  bool SendLong(std::span<const uint8_t> message) override {
    if (message.empty()) return false;
    return Send(message);
  }

  void Close() override {
    if (!out_) return;
    try {
      if (out_->isPortOpen()) out_->closePort();
    } catch (...) {
    }
    out_.reset();
  }

 private:
  static void OnError(RtMidiError::Type type, const std::string&, void* self) {
    auto* port = static_cast<RtMidiPort*>(self);
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) {
      // Warnings are how RtMidi reports a failed send; they still mean failure.
      port->warning_ = true;
      return;
    }
    port->errorErrno_ = errno;
    port->error_ = true;
    port->errorType_ = type;
  }

  static OpenResult FailureOf(RtMidiError::Type type, int err) {
    switch (type) {
      case RtMidiError::NO_DEVICES_FOUND:
      case RtMidiError::INVALID_DEVICE:
      case RtMidiError::INVALID_PARAMETER:  // the port went away since it was counted
        return OpenResult::NoDevice;
      default: break;
    }
    // RtMidi does not pass on why a driver refused; the system error that the
    // failing call left behind is all there is to tell a busy port.
    return err == EBUSY ? OpenResult::Allocated : OpenResult::OtherError;
  }

  unsigned DefaultPort(unsigned count) {
#if defined(__linux__)
    // The kernel's "Midi Through" port comes first on every ALSA system and
    // plays nothing; a real synthesizer or interface is what the user means.
    for (unsigned i = 0; i < count; ++i)
      if (out_->getPortName(i).find("Midi Through") == std::string::npos) return i;
#else
    (void)count;
#endif
    return 0;
  }

  bool Send(std::span<const uint8_t> bytes) {
    if (!out_ || !out_->isPortOpen()) return false;
    ClearError();
    try {
      out_->sendMessage(bytes.data(), bytes.size());
    } catch (...) {
      return false;
    }
    return !error_ && !warning_;
  }

  void ClearError() {
    error_ = false;
    warning_ = false;
    errorErrno_ = 0;
    errorType_ = RtMidiError::UNSPECIFIED;
  }

  std::unique_ptr<RtMidiOut> out_;
  bool error_ = false;
  bool warning_ = false;
  int errorErrno_ = 0;
  RtMidiError::Type errorType_ = RtMidiError::UNSPECIFIED;
};

}  // namespace

std::unique_ptr<MidiPort> MakeSystemMidiPort() { return std::make_unique<RtMidiPort>(); }

}  // namespace mertovan
