#include "model/smf_reader.h"

#include "model/file_io.h"
#include "model/midi_bytes.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace mertovan {

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

  // The bulk of a song's events, read one after another without the checks
  // of the general path, which takes everything else: channel messages with
  // one-byte delta times, with their status byte or in running status, and,
  // when `sysEx` is given, SysEx messages whole in one event of the common
  // short form (one-byte delta time and length, the last byte F7), which it
  // is handed with their tick, where the event starts in the file and the
  // bytes after F0. Reads while such events come and `counted` stays under
  // `limit`. Returns what it read: nothing, or whether a channel message was
  // among it.
  enum class Bulk { None, SysExOnly, ChannelMessages };
  template <typename SysEx>
  Bulk CommonEvents(uint8_t& runningStatus, uint64_t& tick, uint64_t& counted, uint64_t limit, SysEx* sysEx) {
    if (Remaining() < 4) return Bulk::None;  // a delta, a status and two data bytes at most
    const uint8_t* const base = bytes_.data();
    const uint8_t* const end = base + bytes_.size();
    const uint8_t* const first = base + pos_;
    const uint8_t* const last = end - 4;
    const uint8_t* p = first;
    uint8_t status = runningStatus;
    uint64_t t = tick;
    uint64_t c = counted;
    bool channel = false;
    while (p <= last && c < limit) {
      const uint8_t delta = p[0];
      const uint8_t b = p[1];
      if (delta >= 0x80) break;
      if (b >= 0xF0) {
        if (b != kStatusSysEx || !sysEx) break;
        const uint8_t length = p[2];
        if (length == 0 || length >= 0x80 || size_t(end - p) < 3u + length || p[2 + length] != kStatusSysExEnd) break;
        t += delta;
        (*sysEx)(t, uint32_t(p - base), std::span<const uint8_t>(p + 3, length));
        p += 3 + length;
        c += 3 + length;
        continue;
      }
      size_t size = 1;  // the delta time
      if (b >= 0x80) {
        status = b;
        ++size;
      } else if (status == 0) {
        break;
      }
      // Program change and channel pressure have one data byte, the others two.
      size += (status & 0xE0) == 0xC0 ? 1 : 2;
      t += delta;
      p += size;
      c += size;
      channel = true;
    }
    if (p == first) return Bulk::None;
    runningStatus = status;
    tick = t;
    counted = c;
    pos_ += size_t(p - first);
    return channel ? Bulk::ChannelMessages : Bulk::SysExOnly;
  }

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

// A SysEx message whose F0 event did not end in F7: the F7 events that follow
// it in the same track carry on its bytes, up to and including the one that
// ends in F7. It becomes one record, at the F0 event's tick, once complete
// (or when a new F0 event or the end of the track cuts it off).
class SplitMessage {
 public:
  bool Open() const { return open_; }
  void Start(uint32_t tick, const SourcePlace& place, std::span<const uint8_t> bytes) {
    open_ = true;
    tick_ = tick;
    place_ = place;
    bytes_.assign(bytes.begin(), bytes.end());
    tail_.clear();
  }
  // Takes an F7 event's bytes; true when they end the message.
  bool Continue(const ByteRange& packet, uint32_t tick, std::span<const uint8_t> bytes) {
    tail_.push_back({0, tick, packet});
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return !bytes.empty() && bytes.back() == kStatusSysExEnd;
  }
  void Store() {
    if (!open_) return;
    open_ = false;
    const uint32_t index = uint32_t(gSysEx.events.size());
    gSysEx.Append(tick_, bytes_, place_);
    for (Continuation c : tail_) {
      c.event = index;
      gSysEx.continuations.push_back(c);
    }
  }

 private:
  bool open_ = false;
  uint32_t tick_ = 0;
  SourcePlace place_;
  // Never more than the file holds: every byte is one of the file's own.
  std::vector<uint8_t> bytes_;
  std::vector<Continuation> tail_;
};

uint32_t SourceTick(uint64_t tick) { return tick > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(tick); }

// Counts the records completed so far, for a reader on another thread: a
// batch at a time, and at the end of every track (`whole`).
void Publish(ReadProgress* progress, bool whole = false) {
  if (!progress) return;
  const size_t count = gSysEx.events.size();
  if (count < progress->batchEnd && !whole) return;
  progress->records.store(count, std::memory_order_release);
  progress->batchEnd = count + ReadProgress::kBatch;
}

void ReadTrack(Cursor& in, uint32_t chunkLength, const TickScale& scale, uint32_t trackIndex,
               SourceChunk& chunk, ReadProgress* progress) {
  uint64_t count = 0;
  uint64_t tick = 0;
  uint8_t runningStatus = 0;
  bool endOfTrackLast = false;
  SplitMessage split;
  try {
    // The chunk length is tested between events only: an event that runs past
    // it is read whole.
    const uint64_t limit = std::min<uint64_t>(chunkLength, 0xFFFFFFF0u);
    // A whole message in one event: stored at once, with where it lies.
    auto wholeMessage = [&](uint64_t at, uint32_t begin, std::span<const uint8_t> raw) {
      gSysEx.Append(scale(at), raw, {SourceTick(at), trackIndex, {begin, begin + 3 + uint32_t(raw.size())}});
      Publish(progress);
    };
    while (count < limit) {
      // While a split message is open, a new F0 event must end it first: the
      // general path does that.
      const auto bulk = in.CommonEvents(runningStatus, tick, count, limit, split.Open() ? nullptr : &wholeMessage);
      if (bulk != Cursor::Bulk::None) {
        // SysEx events leave the end-of-track flag as it is.
        if (bulk == Cursor::Bulk::ChannelMessages) endOfTrackLast = false;
        continue;
      }
      const uint32_t eventBegin = uint32_t(in.Pos());
      tick += in.VarLen(count);
      uint8_t status = in.Byte();
      ++count;
      if (status == kStatusSysEx) {
        const uint32_t length = in.VarLen(count);
        auto raw = in.Take(length);
        count += length;
        // A new message ends one that never got its F7.
        split.Store();
        const SourcePlace place{SourceTick(tick), trackIndex, {eventBegin, uint32_t(in.Pos())}};
        if (length > 0 && raw.back() == kStatusSysExEnd) [[likely]] {
          gSysEx.Append(scale(tick), raw, place);
        } else {
          split.Start(scale(tick), place, raw);
        }
        Publish(progress);
      } else if (status == kStatusSysExEnd) {
        const uint32_t length = in.VarLen(count);
        auto bytes = in.Take(length);
        count += length;
        // A continuation of a split message; an escape (bytes sent as they
        // are) is stepped over.
        if (split.Open() && split.Continue({eventBegin, uint32_t(in.Pos())}, SourceTick(tick), bytes)) {
          split.Store();
          Publish(progress);
        }
      } else if (status == kStatusMeta) {
        const uint8_t type = in.Byte();
        ++count;
        const uint32_t length = in.VarLen(count);
        auto body = in.Take(length);
        count += length;
        if (type == kMetaTimeSignature && length >= 2) {
          gTimeSignatures.push_back({scale(tick), body[0], body[1]});
        }
        endOfTrackLast = type == kMetaEndOfTrack;
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
        endOfTrackLast = false;
      }
    }
  } catch (const StopReading&) {
    // The F0 event was read whole: it stays, like every completed message.
    split.Store();
    Publish(progress, true);
    chunk.readEnd = uint32_t(in.Pos());
    throw;
  }
  split.Store();
  Publish(progress, true);
  chunk.readEnd = uint32_t(in.Pos());
  chunk.endsWithEndOfTrack = endOfTrackLast;
  if (tick > 0xFFFFFFFFu) gSourceFile.longTicks = true;
}

bool IsChunkIdText(std::span<const uint8_t> id) {
  for (uint8_t c : id) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

int32_t ReadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName,
                     ReadProgress* progress) {
  if (!image) image = std::make_shared<const std::vector<uint8_t>>();
  // Offsets into the file are kept in 32 bits.
  if (image->size() > 0xFFFFFFF0u) throw IoError("File is too large to be a MIDI file: " + fileName);
  SourceFile& source = gSourceFile;
  source.image = image;
  source.readResult = -1;
  // Room for the messages of a file that is mostly SysEx, reserved once: a
  // growing list would copy itself and fault in fresh pages again and again.
  // Reserved memory that is never touched costs nothing.
  gSysEx.bytes.reserve(MostStoredBytes(image->size()));
  gSysEx.events.reserve(image->size() / 16);
  gSysEx.places.reserve(image->size() / 16);
  Cursor in(*image, fileName);
  TickScale scale;
  uint32_t trackIndex = 0;
  bool headerRead = false;  // the first MThd chunk gives the format and division
  try {
    while (in.Remaining() > 0) {
      if (in.Remaining() < 4) return -1;  // stray bytes after the last chunk
      SourceChunk chunk;
      chunk.offset = uint32_t(in.Pos());
      auto id = in.Take(4);
      if (std::memcmp(id.data(), "MThd", 4) == 0) {
        const uint32_t length = in.Be32();
        if (length < 6) return -1;
        chunk.kind = ChunkKind::Header;
        chunk.bodyBegin = uint32_t(in.Pos());
        const uint16_t format = in.Be16();
        in.Be16();  // track count
        const uint16_t division = in.Be16();
        in.Skip(length - 6);
        scale.division = (division & 0x8000u) || division == 0 ? kTicksPerQuarter : division;
        if (!headerRead) {
          headerRead = true;
          source.format = format;
          source.division = division;
        }
      } else if (std::memcmp(id.data(), "MTrk", 4) == 0) {
        const uint32_t length = in.Be32();
        chunk.kind = ChunkKind::Track;
        chunk.bodyBegin = uint32_t(in.Pos());
        source.chunks.push_back(chunk);
        ReadTrack(in, length, scale, trackIndex++, source.chunks.back(), progress);
        continue;
      } else {
        // Unknown chunk types are skipped by their length, as the format
        // requires; anything that is not a chunk at all ends the reading.
        if (!IsChunkIdText(id) || in.Remaining() < 4) return -1;
        const uint32_t length = in.Be32();
        if (length > in.Remaining()) return -1;
        chunk.bodyBegin = uint32_t(in.Pos());
        in.Skip(length);
      }
      chunk.readEnd = uint32_t(in.Pos());
      source.chunks.push_back(chunk);
    }
  } catch (const StopReading&) {
    return -1;
  }
  source.readResult = 0;
  return 0;
}

int32_t ReadSmfBytes(std::span<const uint8_t> file, const std::string& fileName) {
  return ReadSmfImage(std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()), fileName);
}

std::shared_ptr<const std::vector<uint8_t>> ReadSmfFileImage(const std::string& fileName) {
  FileContents file =
      ReadRegularFile(fileName, kMaxSmfSize, "file", "larger than 64 MiB, not a MIDI file this program can read");
  return std::make_shared<const std::vector<uint8_t>>(std::move(file.bytes));
}

int32_t ReadSmf(const std::string& fileName) { return ReadSmfImage(ReadSmfFileImage(fileName), fileName); }

}  // namespace mertovan
