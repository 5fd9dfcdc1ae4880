#include "writer/song_writer.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <future>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "model/events.h"
#include "model/large_buffer.h"
#include "model/midi_bytes.h"
#include "model/worker.h"
#include "writer/file_image.h"

namespace mertovan {

namespace {

constexpr uint8_t kParts = 32;

// Delta 0, text event holding the marker by which the program knows its own
// files.
constexpr auto kMarkerEvent = [] {
  std::array<uint8_t, 4 + kMarkerLength> event{0x00, kStatusMeta, kMetaText, uint8_t(kMarkerLength)};
  for (size_t i = 0; i < kMarkerLength; ++i) event[4 + i] = uint8_t(kMarkerText[i]);
  return event;
}();
// The overwrite test wants a 00 right after the marker: when the track's next
// event comes later than tick 0, an empty text event at tick 0 goes between.
constexpr uint8_t kEmptyTextEvent[] = {0x00, kStatusMeta, kMetaText, 0x00};
constexpr uint8_t kEndOfTrack[] = {kStatusMeta, kMetaEndOfTrack, 0x00};

bool IsConverted(const Tsys& e) { return e.ccNumber[0] != kNone && e.channel < kParts; }

// The delta time at `p`; the reader has read it, so it is whole and at most
// four bytes long.
struct DeltaTime {
  uint32_t value = 0;
  uint32_t size = 0;
};
DeltaTime DeltaAt(const uint8_t* p, const uint8_t* end) {
  DeltaTime d;
  while (p + d.size < end && d.size < 4) {
    const uint8_t b = p[d.size++];
    d.value = (d.value << 7) | (b & 0x7Fu);
    if (b < 0x80) break;
  }
  return d;
}

// The converted file is written through a pointer into room reserved
// beforehand for the most it can take (see BuildSongPieces): most of it is runs of
// source bytes between removed events, each copied with one memcpy.
struct Out {
  uint8_t* p;
  void Put(const uint8_t* from, const uint8_t* to) {
    std::memcpy(p, from, size_t(to - from));
    p += to - from;
  }
  void Put(std::span<const uint8_t> bytes) { Put(bytes.data(), bytes.data() + bytes.size()); }
  void PutVarLen(uint64_t value, const char* what, uint64_t atTick) { p = WriteVarLen(p, value, what, atTick); }
  // "MTrk" and a length filled in by EndTrack; returns where the body starts.
  uint8_t* BeginTrack() {
    Put(std::span<const uint8_t>(kTrackChunkId));
    std::memset(p, 0, 4);
    p += 4;
    return p;
  }
  void EndTrack(uint8_t* bodyStart) const { SetTrackLength(bodyStart, uint64_t(p - bodyStart)); }
};

// The records of one track: [begin, end) of the list, and the first of
// the continuations that may belong to them.
struct TrackRecords {
  size_t begin = 0;
  size_t end = 0;
  size_t continuation = 0;
};

// Writes the track body [from, chunk.readEnd) of the source without the
// events the conversion takes out: the converted messages and, unless they
// are kept, the others, each with the F7 packets that carried it on. Each
// removed event's delta time goes to the next event that stays, whose delta
// alone is written anew; every other byte is copied as it is, running status
// included: no event that sets a running status is ever removed. A track that
// did not end with end-of-track gets one.
void PutTrackBody(const ConvertOptions& options, const uint8_t* file, const SourceChunk& chunk, uint32_t from,
                  TrackRecords records, Out& out) {
  const uint8_t* end = file + chunk.readEnd;
  uint32_t pos = from;
  uint64_t carry = 0;
  uint64_t carriedFrom = 0;
  const auto giveCarryToEventAt = [&](uint32_t until) {
    const DeltaTime d = DeltaAt(file + pos, file + until);
    out.PutVarLen(carry + d.value, "time gap before the event", carriedFrom + d.value);
    pos += d.size;
    carry = 0;
  };
  const auto remove = [&](ByteRange packet, uint32_t tick) {
    if (carry != 0 && pos < packet.begin) giveCarryToEventAt(packet.begin);
    out.Put(file + pos, file + packet.begin);
    carry += DeltaAt(file + packet.begin, end).value;
    carriedFrom = tick;
    pos = packet.end;
  };
  const auto& events = gSysEx.events;
  const auto& places = gSysEx.places;
  const auto& continuations = gSysEx.continuations;
  size_t cont = records.continuation;
  // Whether the last message kept in the track never got its F7.
  bool keptOpen = false;
  for (size_t ev = records.begin; ev < records.end; ++ev) {
    const Tsys& e = events[ev];
    // A message whose F0 event cut off one that never got its F7 stays (its
    // channel messages are written all the same): taken out, it would let a
    // later F7 event of the track carry on the cut-off message.
    const bool removed = !keptOpen && (IsConverted(e) || !options.includeUnconvertible);
    if (removed) {
      remove(places[ev].packet, places[ev].tick);
    } else {
      const auto raw = gSysEx.Raw(e);
      keptOpen = raw.empty() || raw.back() != kStatusSysExEnd;
    }
    // The F7 packets that carried on this message follow it in the file.
    for (; cont < continuations.size() && continuations[cont].event <= ev; ++cont) {
      const Continuation& c = continuations[cont];
      if (removed && c.event == ev) remove(c.packet, c.tick);
    }
  }
  if (carry != 0 && pos < chunk.readEnd) giveCarryToEventAt(chunk.readEnd);
  out.Put(file + pos, end);
  if (!chunk.endsWithEndOfTrack) {
    out.PutVarLen(carry, "time gap before the end of track", carriedFrom);
    out.Put(kEndOfTrack);
  }
}

// The first track, the marker first: a track that starts with the marker
// already does not get it twice.
void PutFirstTrack(const ConvertOptions& options, const uint8_t* file, const SourceChunk& chunk, TrackRecords records,
                   Out& out) {
  uint8_t* bodyStart = out.BeginTrack();
  uint32_t from = chunk.bodyBegin;
  const bool marked = chunk.readEnd - chunk.bodyBegin >= kMarkerEvent.size() &&
                      std::equal(kMarkerEvent.begin(), kMarkerEvent.end(), file + chunk.bodyBegin);
  if (marked) from += uint32_t(kMarkerEvent.size());
  out.Put(kMarkerEvent);
  PutTrackBody(options, file, chunk, from, records, out);
  uint8_t* afterMarker = bodyStart + kMarkerEvent.size();
  if (out.p == afterMarker || *afterMarker != 0x00) {
    std::memmove(afterMarker + sizeof kEmptyTextEvent, afterMarker, size_t(out.p - afterMarker));
    std::memcpy(afterMarker, kEmptyTextEvent, sizeof kEmptyTextEvent);
    out.p += sizeof kEmptyTextEvent;
  }
  out.EndTrack(bodyStart);
}

// One converted message, where its part's track takes it. It carries its
// controller pairs, so that writing the track walks this compact list in tick
// order instead of jumping about the whole event list.
struct PartEvent {
  uint32_t tick;
  uint8_t ccNumber[4];
  uint8_t ccValue[4];
  uint8_t part;
  uint8_t size;  // of its messages in the track, as MessagesSize gives it
};

// The converted messages gathered from a stretch of the list, in list order,
// with each part's count.
struct Gathered {
  UnzeroedVector<PartEvent> events;
  std::array<size_t, kParts> perPart{};
};

// Sorts one part's messages by tick, equal ticks in list order: a stable
// radix sort, a digit of at most 11 bits at a time from the lowest, through
// `room` (as large). A part's messages are few enough to stay in the cache.
void SortByTick(std::span<PartEvent> events, PartEvent* room) {
  uint32_t latest = 0;
  bool ascending = true;
  for (size_t i = 0; i < events.size(); ++i) {
    ascending &= i == 0 || events[i - 1].tick <= events[i].tick;
    latest = std::max(latest, events[i].tick);
  }
  if (ascending) return;  // a part set from one track only
  // The fewest passes of equal digits that cover the latest tick.
  constexpr unsigned kMostDigitBits = 11;
  const unsigned bits = unsigned(std::bit_width(latest));
  const unsigned passes = (bits + kMostDigitBits - 1) / kMostDigitBits;
  const unsigned digitBits = (bits + passes - 1) / passes;
  const uint32_t mask = (1u << digitBits) - 1;
  PartEvent* from = events.data();
  PartEvent* to = room;
  for (unsigned shift = 0; shift < bits; shift += digitBits) {
    std::array<size_t, (1u << kMostDigitBits) + 1> next;
    std::fill_n(next.begin(), mask + 2, size_t{0});
    for (const PartEvent* e = from; e != from + events.size(); ++e) ++next[((e->tick >> shift) & mask) + 1];
    for (size_t d = 1; d <= mask; ++d) next[d] += next[d - 1];
    for (const PartEvent* e = from; e != from + events.size(); ++e) to[next[(e->tick >> shift) & mask]++] = *e;
    std::swap(from, to);
  }
  if (from != events.data()) std::copy(from, from + events.size(), events.data());
}

// Converted messages by part, each part's in tick order; among equal ticks
// they keep list order.
struct PartLists {
  UnzeroedVector<PartEvent> events;
  std::array<size_t, kParts + 1> begin{};  // where each part's start, and the end
  // Per part, the most its messages take in its track: each event's size
  // and a delta time of up to four bytes.
  std::array<size_t, kParts> room{};
  std::span<const PartEvent> Of(size_t part) const {
    return {events.data() + begin[part], begin[part + 1] - begin[part]};
  }
};

// Sorts the messages gathered from a stretch of the list, given as its pieces
// in list order. Each part's go to their own place first: the tracks of a song
// address the parts in any order, and sorting each part's there is a small job.
PartLists SortByPartAndTick(const Gathered& gathered, std::span<const std::span<const PartEvent>> inListOrder) {
  PartLists lists;
  for (size_t part = 0; part < kParts; ++part) lists.begin[part + 1] = lists.begin[part] + gathered.perPart[part];
  lists.events.resize(gathered.events.size());
  std::array<size_t, kParts> next;
  std::copy(lists.begin.begin(), lists.begin.end() - 1, next.begin());
  for (const auto piece : inListOrder) {
    for (const PartEvent& e : piece) {
      lists.events[next[e.part]++] = e;
      lists.room[e.part] += 4 + e.size;
    }
  }
  const size_t largest = *std::max_element(gathered.perPart.begin(), gathered.perPart.end());
  UnzeroedVector<PartEvent> room(largest);
  for (size_t part = 0; part < kParts; ++part) {
    SortByTick(std::span<PartEvent>(lists.events).subspan(lists.begin[part], gathered.perPart[part]), room.data());
  }
  return lists;
}

// The most a part track takes besides its events: "MTrk" and length, the
// name "Part N" (at most "Part 32"), the port, the end of track.
constexpr size_t kPartTrackRoom = 8 + 4 + 7 + 5 + 4;
// Each converted message is written as four messages of four bytes, of which
// only those present count (PutPartTrack): the last one's may reach this far
// past the end of what it takes.
constexpr size_t kPartEventSlack = 16;
// The size of the messages of one converted message: a program change takes
// two bytes, any other message three, and each but the first a zero delta
// before it. Worked out without branches: the counts of messages come at
// random.
uint8_t MessagesSize(const uint8_t (&ccNumber)[4]) {
  const unsigned present0 = unsigned(ccNumber[0] != kNone);
  const unsigned present1 = present0 & unsigned(ccNumber[1] != kNone);
  const unsigned present2 = present1 & unsigned(ccNumber[2] != kNone);
  const unsigned present3 = present2 & unsigned(ccNumber[3] != kNone);
  const auto program = [&](int m) { return unsigned(ccNumber[m] == kProgramChange); };
  return uint8_t(present0 * (3 - program(0)) + present1 * (4 - program(1)) + present2 * (4 - program(2)) +
                 present3 * (4 - program(3)));
}

std::string PartTrackName(uint8_t part) { return "Part " + std::to_string(part + 1); }

// A part's track: its name "Part N", its port (parts 17-32 on the second), then
// every converted message at the source tick of its SysEx message. The
// messages come from two stretches of the list, each in tick order, and are
// merged as they are written; among equal ticks the earlier stretch's first.
void PutPartTrack(uint8_t part, std::span<const PartEvent> earlier, std::span<const PartEvent> later, Out& out) {
  uint8_t* bodyStart = out.BeginTrack();
  const std::string name = PartTrackName(part);
  out.Put({{0x00, kStatusMeta, kMetaTrackName, uint8_t(name.size())}});
  out.Put(reinterpret_cast<const uint8_t*>(name.data()), reinterpret_cast<const uint8_t*>(name.data() + name.size()));
  out.Put({{0x00, kStatusMeta, kMetaPort, 0x01, uint8_t(part / 16)}});
  uint32_t now = 0;
  const auto put = [&](const PartEvent& e) {
    const uint32_t delta = e.tick - now;
    if (delta > kMaxVarLen) [[unlikely]] ThrowVarLenTooLarge(delta, "time gap before the event", e.tick);
    out.p = WriteVarLenUnchecked(out.p, delta);
    now = e.tick;
    // Without branches, as the number of messages and their kinds come at
    // random: each of the four goes in as its bytes and the zero delta time
    // of the next (a program change's third byte is that delta), present or
    // not; the event's size counts only those present, and what follows in
    // the track overwrites the rest (the room allows for it).
    uint8_t* at = out.p;
    for (int m = 0; m < 4; ++m) {
      const ChannelMessage msg = ChannelMessageOf(part, e.ccNumber[m], e.ccValue[m]);
      at[0] = msg.bytes[0];
      at[1] = msg.bytes[1];
      at[2] = msg.bytes[2];
      at[3] = 0x00;
      at += msg.size + 1;
    }
    out.p += e.size;
  };
  const PartEvent* a = earlier.data();
  const PartEvent* const aEnd = a + earlier.size();
  const PartEvent* b = later.data();
  const PartEvent* const bEnd = b + later.size();
  TakeMerged(a, aEnd, b, bEnd, put);
  for (; a != aEnd; ++a) put(*a);
  for (; b != bEnd; ++b) put(*b);
  *out.p++ = 0x00;
  out.Put(kEndOfTrack);
  out.EndTrack(bodyStart);
}

// The converted messages of the records [begin, end) of the list, in list
// order, with each part's count, added to `parts`.
void Gather(size_t begin, size_t end, Gathered& parts) {
  const auto& events = gSysEx.events;
  const auto& places = gSysEx.places;
  for (size_t ev = begin; ev < end; ++ev) {
    const Tsys& e = events[ev];
    if (!IsConverted(e)) continue;
    PartEvent& pe = parts.events.emplace_back();
    pe.tick = places[ev].tick;
    std::copy(std::begin(e.ccNumber), std::end(e.ccNumber), pe.ccNumber);
    std::copy(std::begin(e.ccValue), std::end(e.ccValue), pe.ccValue);
    pe.part = e.channel;
    pe.size = MessagesSize(e.ccNumber);
    ++parts.perPart[e.channel];
  }
}

// Deals out the list in blocks of records: this thread takes them from the
// first on, the second thread from the last back, one at a time until they
// meet. A thread that starts late, or is held up, then leaves more to the
// other; every record this thread takes comes before every record the other
// takes. Dealt in halves, each thread takes a fixed half.
class BlockDealer {
 public:
  // Small enough for the two threads to come out even, large enough for
  // the dealing to cost nothing beside the work.
  static constexpr size_t kBlocks = 64;
  // Where the halves meet when the list is not dealt in halves: nowhere.
  static constexpr size_t kNoHalf = SIZE_MAX;
  BlockDealer(size_t records, bool halves) : size_((records + kBlocks - 1) / kBlocks), records_(records) {
    back_ = size_ == 0 ? 0 : (records + size_ - 1) / size_;
    half_ = halves ? (back_ + 1) / 2 : kNoHalf;
  }
  std::optional<std::pair<size_t, size_t>> FromFront() {
    std::lock_guard lock(mutex_);
    if (front_ == back_ || front_ == half_) return std::nullopt;
    return Block(front_++);
  }
  std::optional<std::pair<size_t, size_t>> FromBack() {
    std::lock_guard lock(mutex_);
    if (front_ == back_ || back_ == half_) return std::nullopt;
    return Block(--back_);
  }

 private:
  std::pair<size_t, size_t> Block(size_t block) const {
    return {block * size_, std::min(records_, (block + 1) * size_)};
  }
  std::mutex mutex_;
  size_t size_;  // records in a block
  size_t records_;
  size_t front_ = 0;
  size_t back_ = 0;
  size_t half_ = kNoHalf;
};

// Songs with this many messages and more are built on two threads.
constexpr size_t kSecondThreadFrom = 16384;

// The second thread. It gathers the converted messages of the blocks the
// dealer gives it and sorts them; then, once this thread has planned the file
// (or has failed), it writes chunks of it in turn with this one. A failure before
// the plan is handed over; a chunk's failure is kept with the chunk.
class SecondThread {
 public:
  SecondThread() = default;
  // Starts the thread; false when no thread can be had.
  template <class Work>  // void work(std::promise<void>& sorted, std::future<bool>& go)
  bool Start(Work work) {
    sortedFuture_ = sorted_.get_future();
    go_ = goPromise_.get_future();
    return task_.Start([this, work] {
      try {
        work(sorted_, go_);
      } catch (...) {
        try {
          sorted_.set_exception(std::current_exception());
        } catch (const std::future_error&) {
          // Handed over already, and nothing after it throws.
        }
      }
    });
  }
  ~SecondThread() {
    if (!task_.Started()) return;
    if (!goSet_) goPromise_.set_value(false);
    task_.Wait();
  }
  SecondThread(const SecondThread&) = delete;
  SecondThread& operator=(const SecondThread&) = delete;
  // Waits for the thread's blocks to be gathered and sorted.
  void WaitSorted() { sortedFuture_.get(); }
  // Lets the thread take chunks to write.
  void Go() {
    goSet_ = true;
    goPromise_.set_value(true);
  }
  void Join() { task_.Wait(); }

 private:
  std::promise<void> sorted_;
  std::future<void> sortedFuture_;
  std::promise<bool> goPromise_;
  std::future<bool> go_;
  bool goSet_ = false;
  BackgroundTask task_;
};

// A chunk of the converted file after its header, written into a slot of
// the file's room of its own, by whichever thread takes it.
struct Job {
  enum class Kind : uint8_t { First, Part, Later } kind = Kind::First;
  uint32_t index = 0;  // Part: the part; Later: the chunk, among the later chunks
  uint32_t track = 0;  // Later: the source track it is, when it is one
  size_t begin = 0;    // of the slot
  size_t room = 0;
  size_t used = 0;
  std::exception_ptr failure;
};

[[noreturn]] void Refuse(const std::string& why) {
  throw ConvertError("Cannot keep the song: " + why + "; nothing was written");
}

}  // namespace

BuiltFile BuildSongFile(const ConvertOptions& options, SongThreads threads) {
  const SourceFile& source = gSourceFile;
  const auto& events = gSysEx.events;
  const auto& places = gSysEx.places;
  if (!source.image || places.size() != events.size()) Refuse("the SysEx messages were not read from a file");
  if (source.readResult != 0) {
    Refuse("reading stopped early at data that is not a MIDI event or chunk, and the rest of the song would be lost");
  }
  if (source.longTicks) Refuse("a track of the song runs past tick 4294967295");
  if (source.format == 2) {
    Refuse("a format 2 file holds independent patterns, not one song");
  }
  const uint8_t* file = source.image->data();
  const std::span<const SourceChunk> chunks(source.chunks);

  size_t trackCount = 0;
  for (const SourceChunk& c : chunks) trackCount += c.kind == ChunkKind::Track;
  // The first track, and the chunks before it; where each track's records start.
  const auto firstTrack = std::find_if(chunks.begin(), chunks.end(),
                                       [](const SourceChunk& c) { return c.kind == ChunkKind::Track; });
  const size_t frontChunks = std::min(chunks.size(), size_t(firstTrack - chunks.begin()) + 1);
  const auto laterChunks = chunks.subspan(frontChunks);
  const auto recordsBefore = [&](uint32_t track) {
    return size_t(std::partition_point(places.begin(), places.end(),
                                       [track](const SourcePlace& p) { return p.track < track; }) -
                  places.begin());
  };

  // The room for a stretch of chunks: each at most as long as it was (a
  // removed event takes at least three bytes out, and the delta time written
  // anew for the next event is at most three bytes longer than the one it
  // replaces), and an end-of-track with its delta time for each track.
  const auto roomFor = [](std::span<const SourceChunk> stretch) {
    size_t room = 0;
    for (const SourceChunk& c : stretch) room += size_t(c.readEnd - c.offset) + 7;
    return room;
  };

  // A large song is built on two threads: each gathers the converted messages
  // of about half of the list (the dealer decides) and sorts them; then this
  // one plans the file, and both write its chunks, each taking the next one
  // in turn.
  const bool second = threads == SongThreads::Two || (threads == SongThreads::Auto && events.size() >= kSecondThreadFrom);
  BlockDealer dealer(events.size(), threads == SongThreads::Two);
  const auto recordsOf = [&](uint32_t track) {
    TrackRecords r;
    r.begin = recordsBefore(track);
    r.end = recordsBefore(track + 1);
    const auto& continuations = gSysEx.continuations;
    r.continuation = size_t(std::lower_bound(continuations.begin(), continuations.end(), r.begin,
                                             [](const Continuation& c, size_t ev) { return c.event < ev; }) -
                            continuations.begin());
    return r;
  };
  // Gathers the converted messages of the blocks `nextBlock` gives, and sorts
  // them; among equal ticks they keep list order.
  const auto gatherAndSort = [&](auto nextBlock) {
    Gathered gathered;
    gathered.events.reserve(events.size());
    std::vector<std::pair<size_t, std::span<const PartEvent>>> pieces;  // by first record
    while (const auto block = nextBlock()) {
      const size_t from = gathered.events.size();
      Gather(block->first, block->second, gathered);
      pieces.emplace_back(block->first, std::span<const PartEvent>(gathered.events).subspan(from));
    }
    std::sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::span<const PartEvent>> inListOrder;
    for (const auto& piece : pieces) inListOrder.push_back(piece.second);
    return SortByPartAndTick(gathered, inListOrder);
  };
  PartLists frontParts, backParts;
  std::vector<Job> jobs;
  BuiltFile built;
  uint8_t* room = nullptr;

  // Writes one chunk into its slot.
  const auto write = [&](Job& job) {
    Out out{room + job.begin};
    if (job.kind == Job::Kind::First) {
      if (firstTrack != chunks.end()) PutFirstTrack(options, file, *firstTrack, recordsOf(0), out);
      // Chunks of other kinds before the first track follow it, so that the
      // marker stays near the start of the file.
      for (auto c = chunks.begin(); c != firstTrack; ++c) {
        if (c->kind == ChunkKind::Foreign) out.Put(file + c->offset, file + c->readEnd);
      }
    } else if (job.kind == Job::Kind::Part) {
      PutPartTrack(uint8_t(job.index), frontParts.Of(job.index), backParts.Of(job.index), out);
    } else {
      const SourceChunk& chunk = laterChunks[job.index];
      if (chunk.kind == ChunkKind::Foreign) {
        out.Put(file + chunk.offset, file + chunk.readEnd);
      } else {
        uint8_t* bodyStart = out.BeginTrack();
        PutTrackBody(options, file, chunk, chunk.bodyBegin, recordsOf(job.track), out);
        out.EndTrack(bodyStart);
      }
    }
    job.used = size_t(out.p - (room + job.begin));
  };
  std::atomic<size_t> nextJob{0};
  const auto writeJobs = [&] {
    for (size_t j; (j = nextJob.fetch_add(1, std::memory_order_relaxed)) < jobs.size();) {
      try {
        write(jobs[j]);
      } catch (...) {
        jobs[j].failure = std::current_exception();
      }
    }
  };

  // Without a thread to be had, all is done on this one.
  SecondThread helper;
  const bool helped = second && helper.Start([&](std::promise<void>& sorted, std::future<bool>& go) {
    backParts = gatherAndSort([&] { return dealer.FromBack(); });
    sorted.set_value();
    if (go.get()) writeJobs();
  });

  // This thread: the blocks from the first on; without a second thread, also
  // the half that was left for it.
  frontParts = gatherAndSort([&] { return dealer.FromFront(); });
  if (helped) {
    helper.WaitSorted();
  } else {
    backParts = gatherAndSort([&] { return dealer.FromBack(); });
  }
  const auto hasPart = [&](size_t part) { return !frontParts.Of(part).empty() || !backParts.Of(part).empty(); };
  for (size_t part = 0; part < kParts; ++part) trackCount += hasPart(part);
  if (trackCount > 0xFFFF) Refuse("the song would have more than 65535 tracks");

  // The plan: the header; the first track, with the marker and the chunks
  // before it; the part tracks (when there is a first track to follow); the
  // later chunks. Each slot holds the most its chunk can take.
  ByteBuffer header;
  // A file without a header keeps the program's own division (SourceFile's default).
  AppendHeaderChunk(header, uint16_t(trackCount), source.division);
  size_t end = header.size();
  const auto plan = [&](Job::Kind kind, uint32_t index, uint32_t track, size_t most) {
    Job& job = jobs.emplace_back();
    job.kind = kind;
    job.index = index;
    job.track = track;
    job.begin = end;
    job.room = most;
    end += most;
  };
  plan(Job::Kind::First, 0, 0, roomFor(chunks.first(frontChunks)) + kMarkerEvent.size() + sizeof kEmptyTextEvent);
  if (firstTrack != chunks.end()) {
    for (uint32_t part = 0; part < kParts; ++part) {
      if (hasPart(part)) {
        plan(Job::Kind::Part, part, 0, kPartTrackRoom + kPartEventSlack + frontParts.room[part] + backParts.room[part]);
      }
    }
  }
  for (uint32_t i = 0, track = 1; i < laterChunks.size(); ++i) {
    if (laterChunks[i].kind == ChunkKind::Header) continue;  // the header is written anew
    const bool isTrack = laterChunks[i].kind == ChunkKind::Track;
    plan(Job::Kind::Later, i, isTrack ? track : 0, roomFor(laterChunks.subspan(i, 1)));
    track += isTrack;
  }
  built.bytes.resize(end);
  room = built.bytes.data();
  std::copy(header.begin(), header.end(), room);

  if (helped) helper.Go();
  writeJobs();
  if (helped) helper.Join();
  // The first failure in file order is the one reported, as if the file had
  // been written from its start.
  built.pieces.push_back({0, header.size()});
  for (const Job& job : jobs) {
    if (job.failure) std::rethrow_exception(job.failure);
    if (job.used > job.room) Refuse("a chunk took more room than worked out for it");
    built.pieces.push_back({job.begin, job.used});
  }
  return built;
}

std::vector<uint8_t> BuildSongImage(const ConvertOptions& options, SongThreads threads) {
  return BuildSongFile(options, threads).Joined();
}

}  // namespace mertovan
