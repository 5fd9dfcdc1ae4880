#include "model/events.h"

#include <cstring>

#include "model/file_io.h"

namespace mertovan {

SysExList gSysEx;
std::vector<TimeSignature> gTimeSignatures;
std::array<int32_t, 32> gChannelUsage{};

Tsys& SysExList::Append(uint32_t tick, std::span<const uint8_t> raw) {
  Tsys& e = events.emplace_back();
  e.tick = tick;
  e.length = static_cast<uint32_t>(raw.size());
  e.offset = static_cast<uint32_t>(bytes.size());
  const size_t n = raw.size();
  bytes.resize(bytes.size() + 2 * n);
  uint8_t* rawOut = bytes.data() + e.offset;
  uint8_t* dataOut = rawOut + n;
  if (n == 0) return e;
  std::memcpy(rawOut, raw.data(), n);
  if (!std::memchr(raw.data(), 0xF0, n)) {
    std::memcpy(dataOut, raw.data(), n);
    return e;
  }
  // The data view: an F0 inside the message is overwritten by the byte after
  // it, so repeated or packed F0 bytes vanish; a final F0 stays stored.
  std::memset(dataOut, 0, n);
  size_t w = 0;
  for (uint8_t b : raw) {
    dataOut[w] = b;
    if (b != 0xF0) ++w;
  }
  return e;
}

void ClearEventTables() {
  gSysEx.events.clear();
  gSysEx.bytes.clear();
  // Dropping the entries also forgets numerator and denominator, so the
  // positions of a file never depend on the file loaded before it.
  gTimeSignatures.clear();
  gChannelUsage.fill(0);
}

int32_t DataByteCount(uint8_t status) {
  if (status >= 0x80 && status <= 0xBF) return 2;
  if (status >= 0xC0 && status <= 0xDF) return 1;
  if (status >= 0xE0 && status <= 0xEF) return 2;
  switch (status) {
    case 0xF1:
    case 0xF3:
      return 1;
    case 0xF2:
      return 2;
    case 0xF6:
    case 0xF7:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
      return 0;
    default:
      return -1;
  }
}

uint32_t DeltaFromBytes(uint32_t packed) {
  return (packed & 0x7Fu) | ((packed & 0x7F00u) >> 1) | ((packed & 0x7F0000u) >> 2) |
         ((packed & 0x7F000000u) >> 3);
}

uint32_t ReverseBytes(uint32_t value, uint8_t width) {
  switch (width) {
    case 2:
      return ((value & 0xFFu) << 8) | ((value >> 8) & 0xFFu);
    case 3:
      return ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu);
    case 4:
      return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
             (value >> 24);
    default:
      return value;
  }
}

namespace {

// Stop reading: something the reader does not recognise (result -1).
struct StopReading {};

// A bounds-checked cursor over the file image. Every read that runs out of
// bytes raises the I/O error that names the offset and the file.
class Cursor {
 public:
  Cursor(std::span<const uint8_t> bytes, const std::string& name) : bytes_(bytes), name_(name) {}

  size_t Pos() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }

  uint8_t Byte() {
    Need(1);
    return bytes_[pos_++];
  }
  uint32_t Be32() {
    Need(4);
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  }
  uint16_t Be16() {
    Need(2);
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += 2;
    return uint16_t((p[0] << 8) | p[1]);
  }
  std::span<const uint8_t> Take(uint64_t n) {
    Need(n);
    auto s = bytes_.subspan(pos_, size_t(n));
    pos_ += size_t(n);
    return s;
  }
  void Skip(uint64_t n) { Take(n); }

  // A variable-length quantity of at most four bytes; a longer one is corrupt
  // data and stops the reading.
  uint32_t VarLen(uint64_t& counted) {
    // Most delta times and lengths are one byte.
    if (pos_ < bytes_.size() && bytes_[pos_] < 0x80) {
      ++counted;
      return bytes_[pos_++];
    }
    uint32_t packed = 0;
    for (int i = 0; i < 4; ++i) {
      const uint8_t b = Byte();
      ++counted;
      packed = (packed << 8) | b;
      if (b < 0x80) return DeltaFromBytes(packed);
    }
    throw StopReading{};
  }

 private:
  void Need(uint64_t n) const {
    if (n > Remaining()) [[unlikely]] {
      EndOfFile(n);
    }
  }
  [[noreturn, gnu::noinline]] void EndOfFile(uint64_t n) const {
    {
      throw IoError("Read beyond end of file at offset " + std::to_string(pos_) + " (" +
                    std::to_string(n) + " bytes needed, " + std::to_string(Remaining()) +
                    " left): " + name_);
    }
  }

  std::span<const uint8_t> bytes_;
  const std::string& name_;
  size_t pos_ = 0;
};

// The file's division turned into a rule for ticks: positive divisions other
// than 480 are rescaled on the absolute tick, SMPTE divisions are kept.
struct TickScale {
  uint32_t division = kTicksPerQuarter;
  uint32_t operator()(uint64_t absolute) const {
    uint64_t t = absolute;
    if (division != kTicksPerQuarter) {
      t = (absolute * kTicksPerQuarter + division / 2) / division;
    }
    return t > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(t);
  }
};

void ReadTrack(Cursor& in, uint32_t chunkLength, const TickScale& scale) {
  uint64_t count = 0;
  uint64_t tick = 0;
  uint8_t runningStatus = 0;
  // The chunk length is tested between events only: an event that runs past
  // it is read whole.
  while (count < chunkLength && count < 0xFFFFFFF0u) {
    tick += in.VarLen(count);
    uint8_t status = in.Byte();
    ++count;
    if (status == 0xF0) {
      const uint32_t length = in.VarLen(count);
      auto raw = in.Take(length);
      count += length;
      gSysEx.Append(scale(tick), raw);
    } else if (status == 0xF7) {
      // SysEx continuation or escape: stepped over.
      const uint32_t length = in.VarLen(count);
      in.Skip(length);
      count += length;
    } else if (status == 0xFF) {
      const uint8_t type = in.Byte();
      ++count;
      const uint32_t length = in.VarLen(count);
      auto body = in.Take(length);
      count += length;
      if (type == 0x58 && length >= 2) {
        gTimeSignatures.push_back({scale(tick), body[0], body[1]});
      }
    } else {
      int32_t n;
      if (status < 0x80) {
        // Running status: this byte is the first data byte of a message that
        // repeats the last channel status of the track.
        if (runningStatus == 0) throw StopReading{};
        n = DataByteCount(runningStatus) - 1;
      } else {
        n = DataByteCount(status);
        if (n < 0) throw StopReading{};
        if (status < 0xF0) runningStatus = status;
      }
      in.Skip(uint32_t(n));
      count += uint32_t(n);
    }
  }
}

bool IsChunkIdText(std::span<const uint8_t> id) {
  for (uint8_t c : id) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

int32_t ReadSmfBytes(std::span<const uint8_t> file, const std::string& fileName) {
  gSysEx.events.clear();
  gSysEx.bytes.clear();
  gTimeSignatures.clear();
  Cursor in(file, fileName);
  TickScale scale;
  try {
    while (in.Remaining() > 0) {
      if (in.Remaining() < 4) return -1;  // stray bytes after the last chunk
      auto id = in.Take(4);
      if (std::memcmp(id.data(), "MThd", 4) == 0) {
        const uint32_t length = in.Be32();
        if (length < 6) return -1;
        in.Be16();  // format
        in.Be16();  // track count
        const uint16_t division = in.Be16();
        in.Skip(length - 6);
        scale.division = (division & 0x8000u) || division == 0 ? kTicksPerQuarter : division;
      } else if (std::memcmp(id.data(), "MTrk", 4) == 0) {
        const uint32_t length = in.Be32();
        ReadTrack(in, length, scale);
      } else {
        // Unknown chunk types are skipped by their length, as the format
        // requires; anything that is not a chunk at all ends the reading.
        if (!IsChunkIdText(id) || in.Remaining() < 4) return -1;
        const uint32_t length = in.Be32();
        if (length > in.Remaining()) return -1;
        in.Skip(length);
      }
    }
  } catch (const StopReading&) {
    return -1;
  }
  return 0;
}

int32_t ReadSmf(const std::string& fileName) {
  gSysEx.events.clear();
  gSysEx.bytes.clear();
  gTimeSignatures.clear();
  const FileContents file =
      ReadRegularFile(fileName, kMaxSmfSize, "file", "larger than 64 MiB, not a MIDI file this program can read");
  const std::vector<uint8_t>& image = file.bytes;
  // Keep the byte store in one piece for the whole file: two views per message.
  gSysEx.bytes.reserve(image.size() * 2);
  return ReadSmfBytes(image, fileName);
}

}  // namespace mertovan
