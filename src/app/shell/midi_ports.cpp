#include "app/shell/midi_ports.h"

#include <cctype>

namespace mertovan {

namespace {

// The name without a trailing ALSA sequencer address " <client>:<port>".
std::string_view WithoutAlsaAddress(std::string_view name) {
  const auto digitsEndingAt = [&name](size_t end) {
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
    return begin;
  };
  const size_t port = digitsEndingAt(name.size());
  if (port == name.size() || port == 0 || name[port - 1] != ':') return name;
  const size_t client = digitsEndingAt(port - 1);
  if (client == port - 1 || client == 0 || name[client - 1] != ' ') return name;
  return name.substr(0, client - 1);
}

constexpr std::string_view kAlsa = "ALSA";
constexpr std::string_view kJack = "JACK";

}  // namespace

std::string PortLabel(const OutputPort& port) { return port.api + ": " + port.name; }

bool NamesPortLoosely(std::string_view remembered, const OutputPort& port) {
  const std::string label = PortLabel(port);
  if (remembered == label) return true;
  if (port.api != kAlsa) return false;
  const std::string_view a = WithoutAlsaAddress(remembered);
  const std::string_view b = WithoutAlsaAddress(label);
  // Both must have carried an address, or this would match a shorter name.
  return a.size() != remembered.size() && b.size() != label.size() && a == b;
}

bool LabelNamesPortLoosely(std::string_view remembered, std::string_view label) {
  if (remembered == label) return true;
  const size_t colon = label.find(": ");
  if (colon == std::string_view::npos) return false;
  return NamesPortLoosely(remembered, {std::string(label.substr(0, colon)), std::string(label.substr(colon + 2))});
}

std::optional<size_t> ChooseOutputPort(std::span<const OutputPort> ports, std::string_view remembered) {
  if (remembered == kNoOutputLabel) return std::nullopt;
  if (!remembered.empty()) {
    for (size_t i = 0; i < ports.size(); ++i)
      if (PortLabel(ports[i]) == remembered) return i;
    for (size_t i = 0; i < ports.size(); ++i)
      if (NamesPortLoosely(remembered, ports[i])) return i;
  }
  for (size_t i = 0; i < ports.size(); ++i)
    if (ports[i].api == kAlsa && ports[i].name.find("Midi Through") == std::string::npos) return i;
  for (size_t i = 0; i < ports.size(); ++i)
    if (ports[i].api == kJack) return i;
  return std::nullopt;
}

}  // namespace mertovan
