// "Send all to MIDI output": every listed message in list order, paced the
// way a hardware sound module needs it. Toolkit-free; the window drives a
// PacedSend from a timer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/listing.h"
#include "app/shell/midi_output.h"
#include "model/song.h"

namespace mertovan {

using WireMessage = std::vector<uint8_t>;

// Every listed message in list order, as it goes on the wire. SysEx view:
// each row's SysEx message. CC view: each row's converted channel messages,
// and the SysEx message itself for a row without any.
std::vector<WireMessage> SendAllMessages(const SysExList& list, ViewMode view);

// The least time from sending `message` to sending the next one: 50 ms after
// an XG, GM or GM2 System On for any device (a module resets itself and
// ignores what comes meanwhile), otherwise the time the message takes at MIDI
// speed (3125 bytes per second, 320 microseconds a byte), and never less than
// 1 ms.
std::chrono::microseconds PauseAfter(std::span<const uint8_t> message);

// Sends one wire message: F0... as a SysEx message, anything else as a short
// channel message.
bool SendWireMessage(MidiPort& port, std::span<const uint8_t> message);

class SendClock {
 public:
  virtual ~SendClock() = default;
  virtual std::chrono::steady_clock::time_point Now() = 0;
};

class SteadySendClock final : public SendClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
};

// A run of "Send all": sends the messages one at a time, each no sooner than
// PauseAfter(the previous one) after the previous one went out.
class PacedSend {
 public:
  PacedSend(std::vector<WireMessage> messages, SendClock& clock);

  // Sends the next message when its time has come. Returns how long to wait
  // before the next call, or nothing once every message has gone or the run
  // was cancelled.
  std::optional<std::chrono::microseconds> Step(MidiPort& port);
  // How long until the next message is due; zero when it is due now.
  std::chrono::microseconds TimeToNext() const;
  // Stops the run; nothing more is sent.
  void Cancel() { cancelled_ = true; }

  size_t Sent() const { return next_; }
  size_t Total() const { return messages_.size(); }
  bool Finished() const { return cancelled_ || next_ == messages_.size(); }

 private:
  std::vector<WireMessage> messages_;
  SendClock& clock_;  // not owned
  size_t next_ = 0;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point due_{};  // when the next message may go
};

}  // namespace mertovan
