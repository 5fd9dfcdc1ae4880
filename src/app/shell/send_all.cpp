#include "app/shell/send_all.h"

#include <algorithm>

#include "model/midi_bytes.h"

namespace mertovan {

namespace {

using std::chrono::microseconds;

constexpr microseconds kAfterSystemOn{50'000};
constexpr microseconds kMinimumPause{1'000};
constexpr microseconds kPerByte{320};  // 10 bits a byte at 31 250 bits per second

// XG System On: F0 43 1n 4C 00 00 7E 00 F7 (n: the module's device number).
bool IsXgSystemOnMessage(std::span<const uint8_t> m) {
  static constexpr uint8_t kTail[] = {0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  return m.size() == 9 && m[0] == kStatusSysEx && m[1] == 0x43 && (m[2] & 0xF0) == 0x10 &&
         std::equal(std::begin(kTail), std::end(kTail), m.begin() + 3);
}

// GM System On: F0 7E <device> 09 01 F7; GM2's System On (09 03) resets a
// module the same way.
bool IsGmSystemOnMessage(std::span<const uint8_t> m) {
  return m.size() == 6 && m[0] == kStatusSysEx && m[1] == 0x7E && m[3] == 0x09 &&
         (m[4] == 0x01 || m[4] == 0x03) && m[5] == kStatusSysExEnd;
}

}  // namespace

std::vector<WireMessage> SendAllMessages(const SysExList& list, uint8_t viewMode) {
  std::vector<WireMessage> out;
  for (const Tsys& e : list.events) {
    const std::vector<uint32_t> converted = viewMode == 0 ? ShortMessagesOf(e) : std::vector<uint32_t>{};
    if (converted.empty()) {
      WireMessage sysex = SysExMessageOf(list, e);
      if (!sysex.empty()) out.push_back(std::move(sysex));
      continue;
    }
    for (uint32_t packed : converted) out.push_back(ShortMessageBytes(packed));
  }
  return out;
}

microseconds PauseAfter(std::span<const uint8_t> message) {
  if (IsXgSystemOnMessage(message) || IsGmSystemOnMessage(message)) return kAfterSystemOn;
  return std::max(kMinimumPause, kPerByte * int64_t(message.size()));
}

bool SendWireMessage(MidiPort& port, std::span<const uint8_t> message) {
  if (message.empty()) return false;
  if (message[0] == kStatusSysEx) return port.SendLong(message);
  uint32_t packed = 0;
  for (size_t i = 0; i < std::min<size_t>(message.size(), 3); ++i) packed |= uint32_t(message[i]) << (8 * i);
  return port.SendShort(packed);
}

microseconds PacedSend::TimeToNext() const {
  const auto now = clock_.Now();
  return now >= due_ ? microseconds(0) : std::chrono::ceil<microseconds>(due_ - now);
}

PacedSend::PacedSend(std::vector<WireMessage> messages, SendClock& clock)
    : messages_(std::move(messages)), clock_(clock), due_(clock.Now()) {}

std::optional<microseconds> PacedSend::Step(MidiPort& port) {
  if (Finished()) return std::nullopt;
  const auto now = clock_.Now();
  if (now < due_) return std::chrono::ceil<microseconds>(due_ - now);
  const WireMessage& m = messages_[next_++];
  SendWireMessage(port, m);
  // The pause counts from when the message has gone out, not from when it
  // was due: a late timer never makes the following messages come closer.
  const microseconds pause = PauseAfter(m);
  due_ = clock_.Now() + pause;
  if (Finished()) return std::nullopt;
  return pause;
}

}  // namespace mertovan
