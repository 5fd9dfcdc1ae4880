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

VarLenRead ReadVarLen(std::span<const uint8_t> bytes) {
  uint32_t packed = 0;
  for (uint32_t i = 0; i < 4 && i < bytes.size(); ++i) {
    packed = (packed << 8) | bytes[i];
    if (bytes[i] < 0x80) return {DeltaFromBytes(packed), i + 1};
  }
  return {};
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
  // one-byte delta times, with their status byte or in running status. Reads
  // while such events come and `counted` stays under `limit`, handing each
  // to `onMessage(status, data, begin, end, tick)` (`data` its data bytes,
  // [begin, end) the event with its delta time); returns whether it read any.
  template <class OnMessage>
  bool ChannelMessages(uint8_t& runningStatus, uint64_t& tick, uint64_t& counted, uint64_t limit,
                       OnMessage&& onMessage) {
    const size_t first = pos_;
    // A delta time, a status byte and two data bytes at most.
    while (Remaining() >= 4 && counted < limit) {
      const uint8_t delta = bytes_[pos_];
      const uint8_t b = bytes_[pos_ + 1];
      if (delta >= 0x80 || b >= 0xF0) break;
      size_t size = 1;  // the delta time
      if (b >= 0x80) {
        runningStatus = b;
        ++size;
      } else if (runningStatus == 0) {
        break;
      }
      const uint8_t* data = bytes_.data() + pos_ + size;
      // Program change and channel pressure have one data byte, the others two.
      size += (runningStatus & 0xE0) == 0xC0 ? 1 : 2;
      tick += delta;
      onMessage(runningStatus, data, uint32_t(pos_), uint32_t(pos_ + size), tick);
      pos_ += size;
      counted += size;
    }
    return pos_ != first;
  }

  // A variable-length quantity of at most four bytes; a longer one is corrupt
  // data and stops the reading.
  uint32_t VarLen(uint64_t& counted) {
    const VarLenRead v = ReadVarLen(bytes_.subspan(pos_, std::min<size_t>(Remaining(), 4)));
    if (v.size == 0) {
      // Every byte looked at carried on the quantity: the file ended inside
      // it, or it ran past four bytes.
      const bool ended = Remaining() < 4;
      pos_ += std::min<size_t>(Remaining(), 4);
      if (ended) EndOfFile(1);
      throw StopReading{};
    }
    pos_ += v.size;
    counted += v.size;
    return v.value;
  }

 private:
  void Need(uint64_t n) const {
    if (n > Remaining()) EndOfFile(n);
  }
  [[noreturn]] void EndOfFile(uint64_t n) const {
    throw IoError("Read beyond end of file at offset " + std::to_string(pos_) + " (" + std::to_string(n) +
                  " bytes needed, " + std::to_string(Remaining()) + " left): " + name_);
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
  void Store(SysExList& list) {
    if (!open_) return;
    open_ = false;
    const uint32_t index = uint32_t(list.events.size());
    list.Append(tick_, bytes_);
    list.places.push_back(place_);
    for (Continuation c : tail_) {
      c.event = index;
      list.continuations.push_back(c);
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

// Out of the reading loop: few events are settings.
[[gnu::noinline]] void KeepSetting(Song& song, const PartSetting& setting) { song.source.settings.push_back(setting); }

void ReadTrack(Cursor& in, uint32_t chunkLength, const TickScale& scale, uint32_t trackIndex,
               SourceChunk& chunk, Song& song) {
  SysExList& list = song.sysEx;
  uint64_t count = 0;
  uint64_t tick = 0;
  uint8_t runningStatus = 0;
  // What the reader notes of the track's channel messages: the channels used,
  // and the part settings with the first note-on of each channel since the
  // last port change (PartSetting). Most messages repeat the status of the
  // one before and need nothing noted: they cost one comparison.
  uint8_t port = 0;
  uint16_t channels = 0;
  uint16_t noted = 0;
  uint64_t firstNote = UINT64_MAX;
  uint8_t lastStatus = 0;  // the status `watch` was found for
  bool watch = false;      // messages of that status may have to be noted
  bool endOfTrackLast = false;
  SplitMessage split;
  const auto takeMessage = [&](uint8_t status, const uint8_t* data, uint32_t begin, uint32_t end, uint64_t at)
      __attribute__((always_inline)) {
    if (status != lastStatus) {
      lastStatus = status;
      const uint16_t bit = uint16_t(1u << (status & 0x0F));
      channels |= bit;
      watch = (status & 0xF0) == 0x90 ? (noted & bit) == 0 : status >= 0xB0 && status < 0xD0;
    }
    if (!watch) return;
    if ((status & 0xF0) == 0x90) {
      if (data[1] == 0) return;
      noted |= uint16_t(1u << (status & 0x0F));
      watch = false;
      // Ticks only grow along a track: its first note is the first of a channel.
      firstNote = std::min(firstNote, at);
    } else if (!IsPartSetting(status, data[0])) {
      return;
    }
    KeepSetting(
        song, {SourceTick(at), trackIndex, {begin, end}, status, data[0], status >= 0xC0 ? uint8_t{0} : data[1], port});
  };
  try {
    // The chunk length is tested between events only: an event that runs past
    // it is read whole.
    const uint64_t limit = std::min<uint64_t>(chunkLength, 0xFFFFFFF0u);
    while (count < limit) {
      if (in.ChannelMessages(runningStatus, tick, count, limit, takeMessage)) {
        endOfTrackLast = false;
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
        split.Store(list);
        const SourcePlace place{SourceTick(tick), trackIndex, {eventBegin, uint32_t(in.Pos())}, runningStatus, port};
        if (length > 0 && raw.back() == kStatusSysExEnd) {
          list.Append(scale(tick), raw);
          list.places.push_back(place);
        } else {
          split.Start(scale(tick), place, raw);
        }
      } else if (status == kStatusSysExEnd) {
        const uint32_t length = in.VarLen(count);
        auto bytes = in.Take(length);
        count += length;
        // A continuation of a split message; an escape (bytes sent as they
        // are) is stepped over.
        if (split.Open() && split.Continue({eventBegin, uint32_t(in.Pos())}, SourceTick(tick), bytes)) {
          split.Store(list);
        }
      } else if (status == kStatusMeta) {
        const uint8_t type = in.Byte();
        ++count;
        const uint32_t length = in.VarLen(count);
        auto body = in.Take(length);
        count += length;
        if (type == kMetaTimeSignature && length >= 2) {
          song.timeSignatures.push_back({scale(tick), body[0], body[1]});
        }
        if (type == kMetaPort && length >= 1) {
          port = body[0] & 3;
          noted = 0;
          lastStatus = 0;
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
        const auto data = in.Take(uint32_t(n));
        count += uint32_t(n);
        endOfTrackLast = false;
        if (status < 0xF0) {
          // In running status, `status` was the first data byte.
          takeMessage(status < 0x80 ? runningStatus : status, data.data() - (status < 0x80 ? 1 : 0), eventBegin,
                      uint32_t(in.Pos()), tick);
        }
      }
    }
  } catch (const StopReading&) {
    // The F0 event was read whole: it stays, like every completed message.
    split.Store(list);
    if (firstNote != UINT64_MAX) song.firstNoteTick = std::min(song.firstNoteTick, scale(firstNote));
    chunk.readEnd = uint32_t(in.Pos());
    chunk.channels = channels;
    throw;
  }
  split.Store(list);
  if (firstNote != UINT64_MAX) song.firstNoteTick = std::min(song.firstNoteTick, scale(firstNote));
  chunk.readEnd = uint32_t(in.Pos());
  chunk.channels = channels;
  chunk.endsWithEndOfTrack = endOfTrackLast;
  if (tick > 0xFFFFFFFFu) song.source.longTicks = true;
}

bool IsChunkIdText(std::span<const uint8_t> id) {
  for (uint8_t c : id) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// Reads chunk after chunk into `song`: 0 when the whole file was read, -1
// when reading stopped at something that is not a chunk or an event.
int32_t ReadChunks(Cursor& in, Song& song) {
  SourceFile& source = song.source;
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
        ReadTrack(in, length, scale, trackIndex++, source.chunks.back(), song);
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
  return 0;
}

// A little-endian 32-bit number, as RIFF files hold them.
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool IsRiffMidi(std::span<const uint8_t> file) {
  return file.size() >= 12 && std::memcmp(file.data(), "RIFF", 4) == 0 && std::memcmp(file.data() + 8, "RMID", 4) == 0;
}

// The Standard MIDI File in the "data" chunk of a RIFF RMID file (the other
// chunks, INFO lists and the like, are stepped over), or nothing. A chunk
// cut short by the end of the file gives what there is of it.
std::shared_ptr<const std::vector<uint8_t>> RmidData(std::span<const uint8_t> file) {
  for (size_t at = 12; at + 8 <= file.size();) {
    const size_t size = Le32(file.data() + at + 4);
    const size_t begin = at + 8;
    const size_t end = begin + std::min(size, file.size() - begin);
    if (std::memcmp(file.data() + at, "data", 4) == 0) {
      return std::make_shared<const std::vector<uint8_t>>(file.begin() + long(begin), file.begin() + long(end));
    }
    at = end + (size & 1);  // chunks are padded to an even length
  }
  return nullptr;
}

// A SysEx file: every F0 ... F7 message in file order, at bar 1, beat 1,
// tick 0 for the listing and 10 ticks apart for a conversion. Bytes between
// messages are stepped over; a message that another status byte or the end of
// the file cuts off is kept as far as it goes.
void ReadSysExFile(std::span<const uint8_t> file, Song& song) {
  constexpr uint32_t kGap = 10;
  size_t at = 0;
  while (at < file.size()) {
    if (file[at++] != kStatusSysEx) continue;
    const size_t begin = at;
    while (at < file.size() && (file[at] < 0x80 || file[at] == kStatusSysExEnd)) {
      if (file[at++] == kStatusSysExEnd) break;
    }
    song.sysEx.Append(kGap * uint32_t(song.sysEx.size()), file.subspan(begin, at - begin));
  }
}

}  // namespace

LoadStatus ReadSmf(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName, Song& song) {
  if (!image) image = std::make_shared<const std::vector<uint8_t>>();
  // Offsets into the file are kept in 32 bits.
  if (image->size() > 0xFFFFFFF0u) throw IoError("File is too large to be a MIDI file: " + fileName);
  if (IsRiffMidi(*image)) {
    image = RmidData(*image);
    if (!image) throw IoError(fileName + " is not a Standard MIDI File");
    song.source.kind = FileKind::Rmid;
  } else if (!image->empty() && image->front() == kStatusSysEx) {
    song.source.kind = FileKind::SysEx;
    song.source.image = image;
    ReadSysExFile(*image, song);
    song.status = LoadStatus::Whole;
    return song.status;
  }
  song.source.image = image;
  // Room for a file that is mostly SysEx, taken once: a list that grows by
  // doubling copies itself and touches fresh memory again at every step. Room
  // that is never written costs nothing.
  song.sysEx.bytes.reserve(2 * image->size());
  song.sysEx.events.reserve(image->size() / 16);
  song.sysEx.places.reserve(image->size() / 16);
  Cursor in(*image, fileName);
  song.status = ReadChunks(in, song) == 0 ? LoadStatus::Whole : LoadStatus::StoppedEarly;
  // A file with neither a header nor a track is no MIDI file at all (a text
  // file, an empty file, another format under a .mid name): nothing in it is
  // listed or converted.
  const auto& chunks = song.source.chunks;
  if (std::none_of(chunks.begin(), chunks.end(), [](const SourceChunk& c) { return c.kind != ChunkKind::Foreign; })) {
    throw IoError(fileName + " is not a Standard MIDI File");
  }
  return song.status;
}

std::shared_ptr<const std::vector<uint8_t>> ReadSmfFileImage(const std::string& fileName) {
  FileContents file =
      ReadRegularFile(fileName, kMaxSmfSize, "file", "larger than 64 MiB, not a MIDI file this program can read");
  return std::make_shared<const std::vector<uint8_t>>(std::move(file.bytes));
}

}  // namespace mertovan
