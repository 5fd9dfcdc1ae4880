// The program's MIDI output: the chosen output port (or the system's default
// choice), opened at the main window's first activation and again from the
// Setup dialog, and the send operations that play listing rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/song.h"
#include "model/messages.h"

namespace mertovan {

// Our small layer over the platform's MIDI output.
class MidiPort {
 public:
  // Allocated: the port is in use by another program. NoMap: the system's
  // default-output mapping is missing (a Windows notion; other ports never
  // report it). NoDevice: no output port, or no MIDI system at all.
  enum class OpenResult { Ok, Allocated, NoMap, NoDevice, OtherError };
  virtual ~MidiPort() = default;
  // Every output port the MIDI systems offer now, as "API: port name"
  // labels (midi_ports.h), in the order the systems list them.
  virtual std::vector<std::string> OutputPorts() = 0;
  // Opens the port that `wanted` names, or the default choice when it is
  // empty or names no port that is there any more (midi_ports.h).
  virtual OpenResult Open(const std::string& wanted) = 0;
  // The label of the open port; empty while none is open.
  virtual std::string OpenPort() const = 0;
  virtual void Reset() = 0;  // all notes off and sustain off on all 16 channels
  // The sends return false when nothing went out, e.g. when the port is not
  // open; the program does not look at the result.
  // A channel message packed as status | data1 << 8 | data2 << 16.
  virtual bool SendShort(uint32_t packed) = 0;
  // One whole SysEx message, starting with F0, sent as it is; returns when
  // the port no longer needs the bytes.
  virtual bool SendLong(std::span<const uint8_t> message) = 0;
  virtual void Close() = 0;  // harmless in any state, also twice
};

// The real port over RtMidi (ALSA sequencer and JACK on Linux). Its sends
// fail once the chosen port is no longer there to be played to: the JACK
// server stopped, the JACK port is no longer fed by the program's, the ALSA
// port is no longer listed.
std::unique_ptr<MidiPort> MakeSystemMidiPort();

// "MIDI output lost: PORT", PORT the label of the port that went away.
std::string OutputLostText(const std::string& port);

// The program's output as the windows play to it: another port, watched. A
// send that fails while a port is open means that the output went away (the
// synthesizer or the JACK server restarted). The first such failure is
// reported once, by OutputLostText. Until the port is opened again the sends
// fail without a word, and OpenPort() still names the lost port. An Open or
// Close from outside (Setup) ends the watch over it.
class WatchedMidiPort final : public MidiPort {
 public:
  using LostReport = std::function<void(const std::string& text)>;
  // `port` must outlive this one.
  WatchedMidiPort(MidiPort& port, LostReport reportLost);

  // Opens the lost port again, and resets it, when the MIDI systems list it
  // again under its label (an ALSA port also under another sequencer
  // address); never another port. The window calls it before each send it
  // is asked for (a row, "Send all"), so that the messages of one row never
  // go out half before and half after a reconnection.
  void Reconnect();

  std::vector<std::string> OutputPorts() override;
  OpenResult Open(const std::string& wanted) override;
  std::string OpenPort() const override;
  void Reset() override;
  bool SendShort(uint32_t packed) override;
  bool SendLong(std::span<const uint8_t> message) override;
  void Close() override;

 private:
  bool Watched(const std::function<bool()>& send);

  MidiPort& port_;
  LostReport reportLost_;
  std::string lost_;  // the label of the port that went away; empty while none did
};

// The bytes on the wire of a packed channel or system message: as many as its
// status byte calls for (two for program change and channel pressure), data
// bytes cut to 7 bits. Empty when the low byte is not a status byte that a
// short message can carry (data bytes, F0, F7, the undefined F4 and F5).
std::vector<uint8_t> ShortMessageBytes(uint32_t packed);
// What a reset sends: all notes off (CC 123) and sustain off (CC 64 = 0) on
// each of the 16 channels, channel 1 first.
std::vector<uint32_t> ResetMessages();

// Opens and resets the port `wanted` names (empty: the default choice); on
// failure shows one warning at (x, y) chosen by the cause ("Device Already
// Allocated", "No Map", "No Midi Device", "Midi Open Error"), closes the port
// and returns -1. Returns 0 on success. The choice "(none)" only closes the
// port, without a message, and returns -1.
int OpenMidiOut(MidiPort& port, const std::string& wanted, MessageService& messages, int x, int y);

// The short messages of an event's first three controller pairs, in sending
// order, on MIDI channel (channel AND 15). Empty for an unconverted event.
std::vector<uint32_t> ShortMessagesOf(const Tsys& e);
// F0 followed by the message bytes exactly as the source file held them;
// empty for a record whose bytes are not in `list`.
std::vector<uint8_t> SysExMessageOf(const SysExList& list, const Tsys& e);

// Plays a row's converted channel messages (the CC view's send).
void SendControllers(MidiPort& port, const Tsys& e);
// Plays a row's SysEx message as the file held it (the SysEx view's send).
void SendSysEx(MidiPort& port, const SysExList& list, const Tsys& e);

}  // namespace mertovan
