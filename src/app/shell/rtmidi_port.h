// What the RtMidi port decides without talking to a MIDI system: the name it
// gives each API and the open failure it reports for each RtMidi error.
#pragma once

#include <RtMidi.h>

#include <string>

#include "app/shell/midi_output.h"

namespace mertovan {

// The API part of a port label: "ALSA", "JACK", else RtMidi's display name.
std::string ApiLabel(RtMidi::Api api);

// The open failure behind an RtMidi error. RtMidi does not pass on why a
// driver refused; the system error (errno) that the failing call left behind
// is all there is to tell a busy port from other failures.
MidiPort::OpenResult OpenFailureOf(RtMidiError::Type type, int systemError);

}  // namespace mertovan
