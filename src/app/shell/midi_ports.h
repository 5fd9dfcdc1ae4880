// Which MIDI output the program plays to: the ports the MIDI systems offer,
// the names the Setup dialog shows and the settings file keeps, and the
// choice of the port to open.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mertovan {

// One output port as a MIDI system lists it.
struct OutputPort {
  std::string api;   // "ALSA" or "JACK"
  std::string name;  // the system's own name of the port
};

// What the Setup dialog shows and the settings file keeps: "API: port name".
std::string PortLabel(const OutputPort& port);

// The Setup dialog's choice of no output at all.
inline constexpr std::string_view kNoOutputLabel = "(none)";

// Whether a remembered label names this port. An ALSA port name ends in the
// sequencer address "client:port", and a synthesizer started in another
// order gets another client number; when the exact label is not listed, a
// label that differs only in that address still names the port.
bool NamesPortLoosely(std::string_view remembered, const OutputPort& port);
// The same for a port known by its label ("API: port name").
bool LabelNamesPortLoosely(std::string_view remembered, std::string_view label);

// The port to open, as an index into `ports`: the remembered one when it is
// listed (exactly, else loosely); otherwise the default choice: the first
// ALSA port that is not the kernel's "Midi Through" (which plays nothing),
// else the first JACK port. Nothing when no port qualifies or when the
// remembered choice is "(none)".
std::optional<size_t> ChooseOutputPort(std::span<const OutputPort> ports, std::string_view remembered);

}  // namespace mertovan
