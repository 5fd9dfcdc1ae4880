// The event model: every SysEx message of the loaded Standard MIDI File, the
// time signatures of the file, and the reader that fills them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_io.h"  // IoError

namespace mertovan {

// A text that lives for the whole run (a parameter name, a value text). The
// records only point at it: a file of 200 000 messages then costs no text
// copies, and the records stay small enough to walk quickly.
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
  uint8_t channel = 255;                    // addressed part, 0-based; 255 none
  uint8_t ccNumber[4] = {255, 0, 0, 0};     // controller, 224 program change, 255 end of list
  uint8_t ccValue[4] = {0, 0, 0, 0};
  ConstText eventName;
  ConstText valueText;
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

  std::span<const uint8_t> Raw(const Tsys& e) const { return {bytes.data() + e.offset, e.length}; }
  std::span<const uint8_t> Data(const Tsys& e) const {
    return {bytes.data() + e.offset + e.length, e.length};
  }
  // Data byte i, or 0 past the stored bytes (short messages read as zeros).
  uint8_t DataByte(const Tsys& e, size_t i) const {
    return i < e.length ? bytes[size_t(e.offset) + e.length + i] : uint8_t{0};
  }
  // Appends one message as the reader stores it; returns the new record.
  Tsys& Append(uint32_t tick, std::span<const uint8_t> raw);
  size_t size() const { return events.size(); }
};

struct TimeSignature {
  uint32_t tick = 0xFFFFFFFFu;
  uint8_t numerator = 0;
  uint8_t denominatorPower = 0;
};

// Process-wide tables, alive for the whole run.
extern SysExList gSysEx;
extern std::vector<TimeSignature> gTimeSignatures;
extern std::array<int32_t, 32> gChannelUsage;  // converted events per part

// Largest input file the reader accepts.
inline constexpr uint64_t kMaxSmfSize = 64ull * 1024 * 1024;
// The program's time base.
inline constexpr uint32_t kTicksPerQuarter = 480;

void ClearEventTables();

// Reads a Standard MIDI File into the tables. Returns 0 when the whole file was
// read, -1 when reading stopped early at something it cannot read (what was read
// before stays). Throws IoError when the file cannot be read.
int32_t ReadSmf(const std::string& fileName);
// The same on bytes already in memory; `fileName` only names the file in errors.
int32_t ReadSmfBytes(std::span<const uint8_t> file, const std::string& fileName);

int32_t DataByteCount(uint8_t status);
uint32_t DeltaFromBytes(uint32_t packed);
uint32_t ReverseBytes(uint32_t value, uint8_t width);

}  // namespace mertovan
