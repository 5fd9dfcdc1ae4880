#include "app/shell/midi_output.h"

#include <algorithm>
#include <utility>

#include "app/shell/midi_ports.h"
#include "model/midi_bytes.h"

namespace mertovan {

namespace {

std::string_view OpenFailureText(MidiPort::OpenResult result) {
  switch (result) {
    case MidiPort::OpenResult::Allocated: return "Device Already Allocated";
    case MidiPort::OpenResult::NoMap: return "No Map";
    case MidiPort::OpenResult::NoDevice: return "No Midi Device";
    case MidiPort::OpenResult::Ok:
    case MidiPort::OpenResult::OtherError: break;
  }
  return "Midi Open Error";
}

}  // namespace

std::vector<uint8_t> ShortMessageBytes(uint32_t packed) {
  const uint8_t status = packed & 0xFF;
  const uint8_t d1 = (packed >> 8) & 0x7F;
  const uint8_t d2 = (packed >> 16) & 0x7F;
  if (status < 0x80) return {};
  switch (status & 0xF0) {
    case 0xC0:  // program change
    case 0xD0:  // channel pressure
      return {status, d1};
    case 0xF0: break;
    default: return {status, d1, d2};
  }
  switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
      return {status, d1};
    case 0xF2:  // song position
      return {status, d1, d2};
    case 0xF0:  // SysEx goes as a long message
    case 0xF7:
    case 0xF4:
    case 0xF5: return {};
    default: return {status};  // tune request and real-time messages
  }
}

std::vector<uint32_t> ResetMessages() {
  std::vector<uint32_t> out;
  for (uint32_t ch = 0; ch < 16; ++ch) {
    out.push_back((kStatusControlChange | ch) | uint32_t(kCcAllNotesOff) << 8);
    out.push_back((kStatusControlChange | ch) | uint32_t(kCcSustain) << 8);
  }
  return out;
}

int OpenMidiOut(MidiPort& port, const std::string& wanted, MessageService& messages, int x, int y) {
  if (wanted == kNoOutputLabel) {
    port.Close();
    return -1;
  }
  const MidiPort::OpenResult result = port.Open(wanted);
  if (result == MidiPort::OpenResult::Ok) {
    port.Reset();
    return 0;
  }
  messages.ShowMessageAt(OpenFailureText(result), MessageKind::Warning, x, y);
  // A failed open may still have left something half made behind it.
  port.Close();
  return -1;
}

std::vector<uint32_t> ShortMessagesOf(const Tsys& e) {
  std::vector<uint32_t> out;
  // Only three pairs are played: the fourth is written to files but never sent.
  for (int i = 0; i < 3 && e.ccNumber[i] != kNone; ++i) {
    const ChannelMessage m = ChannelMessageOf(e.channel, e.ccNumber[i], e.ccValue[i]);
    out.push_back(uint32_t(m.bytes[0]) | uint32_t(m.bytes[1]) << 8 | uint32_t(m.bytes[2]) << 16);
  }
  return out;
}

std::vector<uint8_t> SysExMessageOf(const SysExList& list, const Tsys& e) {
  // A record that is not one of this list's would read outside the byte store.
  if (uint64_t(e.offset) + 2ull * e.length > list.bytes.size()) return {};
  const std::span<const uint8_t> raw = list.Raw(e);
  std::vector<uint8_t> message;
  message.reserve(raw.size() + 1);
  message.push_back(kStatusSysEx);
  message.insert(message.end(), raw.begin(), raw.end());
  return message;
}

void SendControllers(MidiPort& port, const Tsys& e) {
  for (uint32_t packed : ShortMessagesOf(e)) port.SendShort(packed);
}

void SendSysEx(MidiPort& port, const SysExList& list, const Tsys& e) {
  const std::vector<uint8_t> message = SysExMessageOf(list, e);
  if (!message.empty()) port.SendLong(message);
}

std::string OutputLostText(const std::string& port) { return "MIDI output lost: " + port; }

WatchedMidiPort::WatchedMidiPort(MidiPort& port, LostReport reportLost)
    : port_(port), reportLost_(std::move(reportLost)) {}

std::vector<std::string> WatchedMidiPort::OutputPorts() { return port_.OutputPorts(); }

MidiPort::OpenResult WatchedMidiPort::Open(const std::string& wanted) {
  lost_.clear();
  return port_.Open(wanted);
}

std::string WatchedMidiPort::OpenPort() const {
  std::string open = port_.OpenPort();
  return open.empty() ? lost_ : open;
}

void WatchedMidiPort::Reset() { port_.Reset(); }

bool WatchedMidiPort::SendShort(uint32_t packed) {
  // A message no port could carry fails on any port; it says nothing about
  // the output.
  if (ShortMessageBytes(packed).empty()) return port_.SendShort(packed);
  return Watched([this, packed] { return port_.SendShort(packed); });
}

bool WatchedMidiPort::SendLong(std::span<const uint8_t> message) {
  if (message.empty()) return port_.SendLong(message);
  return Watched([this, message] { return port_.SendLong(message); });
}

void WatchedMidiPort::Close() {
  lost_.clear();
  port_.Close();
}

bool WatchedMidiPort::Watched(const std::function<bool()>& send) {
  const std::string open = port_.OpenPort();
  const bool sent = send();
  if (!sent && !open.empty() && lost_.empty()) {
    // Noted before the report: a message box lets other sends run meanwhile.
    lost_ = open;
    if (reportLost_) reportLost_(OutputLostText(open));
  }
  return sent;
}

void WatchedMidiPort::Reconnect() {
  if (lost_.empty()) return;
  // Only the lost port itself: while it is away, opening would take the
  // default choice, another synthesizer.
  const std::vector<std::string> ports = port_.OutputPorts();
  const auto back = std::find_if(ports.begin(), ports.end(),
                                 [this](const std::string& label) { return LabelNamesPortLoosely(lost_, label); });
  if (back == ports.end()) return;
  if (port_.Open(*back) != OpenResult::Ok) {
    port_.Close();
    return;
  }
  // Reset like every open (OpenMidiOut).
  port_.Reset();
  lost_.clear();
}

}  // namespace mertovan
