// The song model: one loaded Standard MIDI File as a value. A `Song` holds
// every SysEx message of the file, its time signatures and the file itself
// with its chunk list; the reader (model/smf_reader.h) fills it, the analysis
// (analysis/analyse.h) completes its records, and the listing, the converted
// file builders and the MIDI output read it.
//
//   file -> Song -> listing / converted file / MIDI out
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mertovan {

// A text that lives for the whole run (a parameter name, a value text from
// the constant tables). The records only point at it, so they stay small.
class ConstText {
 public:
  constexpr ConstText() = default;
  // `text` must end with a NUL and live for the run (a literal, a constant table).
  constexpr ConstText(const char* text) : text_(text) {}
  operator std::string_view() const { return text_; }
  std::string_view view() const { return text_; }
  size_t size() const { return view().size(); }
  friend bool operator==(ConstText a, std::string_view b) { return a.view() == b; }
  friend std::ostream& operator<<(std::ostream& out, ConstText t) { return out << t.view(); }

 private:
  const char* text_ = "";
};

// One SysEx message (one F0 event of the file).
struct Tsys {
  uint32_t tick = 0;      // absolute tick at 480 per quarter note, from the start of its track
  uint16_t bar = 0;       // from 1 (kept modulo 4096)
  uint8_t beat = 0;       // from 1
  uint32_t beatTick = 0;  // tick within the beat, from 0
  // Count of message bytes after the leading F0 as the file gives it (closing F7 included).
  uint32_t length = 0;
  // Where the message's bytes start in the list's byte store (see SysExList).
  uint32_t offset = 0;
  uint8_t channel = 255;                    // the part whose channel messages it converts to, 0-based; 255 none
  uint8_t ccNumber[4] = {255, 0, 0, 0};     // controller, 224 program change, 255 end of list
  uint8_t ccValue[4] = {0, 0, 0, 0};
  // The part the message addresses, converted or not, as the listing shows
  // it (0-63; 255 none).
  uint8_t part = 255;
  // Converted for the song layout only: GS part parameters and parts 33-64.
  // The setup layers pass such a message through as they always did.
  bool songOnly = false;
  ConstText eventName;
  ConstText valueText;
};

// The bytes of one event in the source file: from the first byte of its delta
// time to its last byte (`end` is one past it).
struct ByteRange {
  uint32_t begin = 0;
  uint32_t end = 0;
};
// Where a message lies in the source file, for the song layout, which copies
// the file around the messages it takes out.
struct SourcePlace {
  // Absolute tick in the file's own division, from the start of its track
  // (kept to 32 bits: SourceFile::longTicks says when a tick went past them).
  uint32_t tick = 0;
  uint32_t track = 0;  // index of the track chunk (MTrk) that holds it, from 0
  ByteRange packet;    // the F0 event
  // The channel status that running status repeats at this point of the
  // track (0 none): the event after the message may rely on it.
  uint8_t runningStatus = 0;
  uint8_t port = 0;  // the MIDI port the track sends to here (port meta event, 0-3)
};
// An F7 event that carried on a message whose F0 event did not end in F7.
struct Continuation {
  uint32_t event = 0;  // index of the record it belongs to
  uint32_t tick = 0;   // like SourcePlace::tick
  ByteRange packet;
};

// The SysEx event list in file reading order: track after track, each track's
// ticks from 0. Each message keeps two views of its `length` bytes in `bytes`:
//  - raw:  the bytes exactly as the file holds them after the F0 status byte
//          (inner F0 bytes included); the pass-through track and the MIDI
//          output reproduce the message from these;
//  - data: the same bytes with every F0 dropped (a final F0 stays), padded
//          with zeros to `length`; the analysis and the listing read these.
struct SysExList {
  std::vector<Tsys> events;
  std::vector<uint8_t> bytes;
  std::vector<SourcePlace> places;          // one per record; empty for lists not read from a file
  std::vector<Continuation> continuations;  // in file order, so by record too

  std::span<const uint8_t> Raw(const Tsys& e) const { return {bytes.data() + e.offset, e.length}; }
  std::span<const uint8_t> Data(const Tsys& e) const { return {bytes.data() + e.offset + e.length, e.length}; }
  // Data byte i, or 0 past the stored bytes (short messages read as zeros).
  uint8_t DataByte(const Tsys& e, size_t i) const { return i < e.length ? Data(e)[i] : uint8_t{0}; }
  // Appends one message as the reader stores it; returns the new record.
  Tsys& Append(uint32_t tick, std::span<const uint8_t> raw);
  size_t size() const { return events.size(); }
};

// A channel message that sets a part up rather than plays it: bank select,
// program change, the RPN and NRPN numbers with their data entry and
// increment, the filter and envelope controllers 71-74; and the first
// note-on with a velocity of each channel of a track (after each port
// change). The song layout's targets follow and rewrite these without
// reading the notes of the song again.
struct PartSetting {
  uint32_t tick = 0;   // like SourcePlace::tick
  uint32_t track = 0;  // like SourcePlace::track
  ByteRange packet;    // the event, its delta time included
  uint8_t status = 0;  // with its channel, also where the file uses running status
  uint8_t data1 = 0;
  uint8_t data2 = 0;  // 0 for a program change
  uint8_t port = 0;   // like SourcePlace::port
};
// The controllers that set a part up: bank select MSB and LSB, data entry
// MSB and LSB, data increment and decrement, the NRPN and RPN numbers, and
// 71-74 (resonance, release, attack, cutoff), which a GS module takes as
// NRPN.
inline constexpr uint8_t kSettingControllers[] = {0, 32, 6, 38, 96, 97, 98, 99, 100, 101, 71, 72, 73, 74};
// Whether a channel message (status, first data byte) is such a setting.
constexpr bool IsPartSetting(uint8_t status, uint8_t data1) {
  constexpr auto kMask = [] {
    std::array<uint64_t, 2> mask{};
    for (const uint8_t c : kSettingControllers) mask[c / 64] |= uint64_t{1} << (c % 64);
    return mask;
  }();
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || (kind == 0xB0 && data1 < 128 && (kMask[data1 / 64] >> (data1 % 64) & 1) != 0);
}

// The chunks of the file, for the song layout.
enum class ChunkKind : uint8_t { Header, Track, Foreign };
struct SourceChunk {
  ChunkKind kind = ChunkKind::Foreign;
  uint32_t offset = 0;     // of the chunk identifier
  uint32_t bodyBegin = 0;  // first byte after the length field
  // One past the last byte read: the declared end, or for a track the end of
  // the event that ran past it (the reader reads such an event whole).
  uint32_t readEnd = 0;
  // Tracks: the last event that is not a SysEx or F7 event is end-of-track.
  bool endsWithEndOfTrack = false;
  uint16_t channels = 0;  // tracks: bit n set when channel n+1 has messages in it
};
// What the file was: a Standard MIDI File, one wrapped in a RIFF RMID file
// (`image` is then the Standard MIDI File inside), or a SysEx file, the
// concatenated F0 ... F7 messages that editors and librarians save.
enum class FileKind : uint8_t { Smf, Rmid, SysEx };
struct SourceFile {
  FileKind kind = FileKind::Smf;
  std::shared_ptr<const std::vector<uint8_t>> image;  // the whole file as read
  // The first MThd chunk gives these; a file without one keeps the defaults.
  uint16_t format = 1;
  uint16_t division = 480;          // as the header gives it, SMPTE divisions included
  std::vector<SourceChunk> chunks;  // in file order, up to where reading ended
  bool longTicks = false;           // a track ran past tick 2^32 - 1
  std::vector<PartSetting> settings;  // track after track, in file order
};

struct TimeSignature {
  uint32_t tick = 0xFFFFFFFFu;
  uint8_t numerator = 0;
  uint8_t denominatorPower = 0;
};

enum class LoadStatus {
  Whole,         // the whole file was read
  StoppedEarly,  // reading stopped at data that is no MIDI event or chunk; what came before is kept
  Failed,        // the file could not be read; the song is empty
};

// One loaded file.
struct Song {
  LoadStatus status = LoadStatus::Whole;
  std::string error;  // for Failed: what went wrong, naming the file
  SysExList sysEx;
  std::vector<TimeSignature> timeSignatures;  // in file order
  // Tick (at 480 per quarter) of the first note-on with a velocity in any
  // track; 0xFFFFFFFF when the song plays no note.
  uint32_t firstNoteTick = 0xFFFFFFFFu;
  SourceFile source;
  std::array<int32_t, 32> channelUsage{};  // converted events per part, from the analysis
};

// Largest input file the reader accepts.
inline constexpr uint64_t kMaxSmfSize = 64ull * 1024 * 1024;
// The program's time base.
inline constexpr uint32_t kTicksPerQuarter = 480;

// The low `width` (2, 3 or 4) bytes of `value` in reverse order: big-endian
// file integers to host values and back. Other widths leave `value` as it is.
uint32_t ReverseBytes(uint32_t value, uint8_t width);

}  // namespace mertovan
