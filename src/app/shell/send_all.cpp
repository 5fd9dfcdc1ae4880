#include "app/shell/send_all.h"

#include <algorithm>

#include "model/midi_bytes.h"

namespace mertovan {

namespace {

using std::chrono::microseconds;

constexpr microseconds kAfterSystemOn{50'000};
constexpr microseconds kMinimumPause{1'000};
constexpr microseconds kPerByte{320};  // 10 bits a byte at 31 250 bits per second

}  // namespace

std::vector<WireMessage> SendAllMessages(const SysExList& list, ViewMode view) {
  std::vector<WireMessage> out;
  for (const Tsys& e : list.events) {
    const std::vector<uint32_t> converted = view == ViewMode::Cc ? ShortMessagesOf(e) : std::vector<uint32_t>{};
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
  if (!message.empty() && message[0] == kStatusSysEx && SystemOnOf(message.subspan(1)).kind != SystemOn::None)
    return kAfterSystemOn;
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
