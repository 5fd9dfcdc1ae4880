// A MIDI port that plays nothing and remembers every call made on it, in
// order, so that tests can check what the program would have sent to a sound
// module. Header-only: the shell tests, the window tests and the benchmarks
// use it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/shell/midi_output.h"

namespace mertovan {

class RecordingMidiPort : public MidiPort {
 public:
  enum class CallKind { Open, Reset, Short, Long, Close };
  struct Call {
    CallKind kind;
    uint32_t packed = 0;         // Short: the packed message
    std::vector<uint8_t> bytes;  // Long: a copy of the whole message
    std::string port;            // Open: the port asked for
    bool operator==(const Call&) const = default;
  };

  // What the next Open() reports.
  OpenResult openResult = OpenResult::Ok;
  // What OutputPorts() lists; a successful Open() opens the port asked for
  // when it is listed, else the first one listed.
  std::vector<std::string> ports = {"ALSA: Test Synth:Port 1 128:0"};
  // Every call, in the order it was made; sends are recorded even when they fail.
  std::vector<Call> calls;

  // Like a real port, sends succeed only between a successful Open() and Close().
  bool IsOpen() const { return open_; }

  std::vector<std::string> OutputPorts() override { return ports; }
  OpenResult Open(const std::string& wanted) override {
    calls.push_back({CallKind::Open, 0, {}, wanted});
    open_ = openResult == OpenResult::Ok;
    openPort_.clear();
    if (open_) {
      const bool listed = std::find(ports.begin(), ports.end(), wanted) != ports.end();
      openPort_ = listed ? wanted : ports.empty() ? "" : ports.front();
    }
    return openResult;
  }
  std::string OpenPort() const override { return openPort_; }
  void Reset() override { calls.push_back({CallKind::Reset, 0, {}, {}}); }
  bool SendShort(uint32_t packed) override {
    calls.push_back({CallKind::Short, packed, {}, {}});
    return open_;
  }
  bool SendLong(std::span<const uint8_t> message) override {
    calls.push_back({CallKind::Long, 0, {message.begin(), message.end()}, {}});
    return open_;
  }
  void Close() override {
    calls.push_back({CallKind::Close, 0, {}, {}});
    open_ = false;
    openPort_.clear();
  }

  std::vector<CallKind> Kinds() const {
    std::vector<CallKind> kinds;
    for (const Call& c : calls) kinds.push_back(c.kind);
    return kinds;
  }
  size_t Count(CallKind kind) const {
    size_t n = 0;
    for (const Call& c : calls) n += c.kind == kind;
    return n;
  }
  std::vector<uint32_t> ShortMessages() const {
    std::vector<uint32_t> out;
    for (const Call& c : calls)
      if (c.kind == CallKind::Short) out.push_back(c.packed);
    return out;
  }
  std::vector<std::vector<uint8_t>> LongMessages() const {
    std::vector<std::vector<uint8_t>> out;
    for (const Call& c : calls)
      if (c.kind == CallKind::Long) out.push_back(c.bytes);
    return out;
  }

 private:
  bool open_ = false;
  std::string openPort_;
};

}  // namespace mertovan
