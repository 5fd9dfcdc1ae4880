// The program's MIDI output: the system's default output port, opened once at
// the main window's first activation, and the two send operations that play
// the selected listing row.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/events.h"
#include "writer/messages.h"

namespace mertovan {

// Our small layer over the platform's MIDI output.
class MidiPort {
 public:
  // Allocated: the port is in use by another program. NoMap: the system's
  // default-output mapping is missing (a Windows notion; other ports never
  // report it). NoDevice: no output port, or no MIDI system at all.
  enum class OpenResult { Ok, Allocated, NoMap, NoDevice, OtherError };
  virtual ~MidiPort() = default;
  virtual OpenResult Open() = 0;  // the system's default output
  virtual void Reset() = 0;       // all notes off and sustain off on all 16 channels
  // The sends return false when nothing went out, e.g. when the port is not
  // open; the program does not look at the result.
  // A channel message packed as status | data1 << 8 | data2 << 16.
  virtual bool SendShort(uint32_t packed) = 0;
  // One whole SysEx message, starting with F0, sent as it is; returns when
  // the port no longer needs the bytes.
  virtual bool SendLong(std::span<const uint8_t> message) = 0;
  virtual void Close() = 0;  // harmless in any state, also twice
};

// The real port over RtMidi (ALSA on Linux).
std::unique_ptr<MidiPort> MakeSystemMidiPort();

// The bytes on the wire of a packed channel or system message: as many as its
// status byte calls for (two for program change and channel pressure), data
// bytes cut to 7 bits. Empty when the low byte is not a status byte that a
// short message can carry (data bytes, F0, F7, the undefined F4 and F5).
std::vector<uint8_t> ShortMessageBytes(uint32_t packed);
// What a reset sends: all notes off (CC 123) and sustain off (CC 64 = 0) on
// each of the 16 channels, channel 1 first.
std::vector<uint32_t> ResetMessages();

// Opens and resets the port; on failure shows one warning at (x, y) chosen by
// the cause ("Device Already Allocated", "No Map", "No Midi Device",
// "Midi Open Error"), closes the port and returns -1. Returns 0 on success.
int OpenMidiOut(MidiPort& port, MessageService& messages, int x, int y);

// The short messages of an event's first three controller pairs, in sending
// order, on MIDI channel (channel AND 15). Empty for an unconverted event.
std::vector<uint32_t> ShortMessagesOf(const Tsys& e);
// F0 followed by the message bytes exactly as the source file held them;
// empty for a record whose bytes are not in `list`.
std::vector<uint8_t> SysExMessageOf(const SysExList& list, const Tsys& e);

// The send operations of the "CCout" and "SysExOut" buttons; they show nothing.
void CCoutClick(MidiPort& port, const Tsys& e);
void SysExOutClick(MidiPort& port, const SysExList& list, const Tsys& e);

}  // namespace mertovan
