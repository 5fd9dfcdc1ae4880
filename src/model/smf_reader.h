// The Standard MIDI File reader: walks the file's chunks and track events once
// and fills the event model (model/events.h) with every SysEx message and time
// signature; everything else is stepped over.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/events.h"

namespace mertovan {

// Reads a Standard MIDI File into the tables, which ClearEventTables must have
// emptied: the SysEx messages with where they lie in the file, the time
// signatures, and the file itself with its chunk list (gSourceFile). Returns 0 when the whole file was read, -1 when reading stopped
// early at something it cannot read (what was read before stays). Throws
// IoError when the file cannot be read.
int32_t ReadSmf(const std::string& fileName);
// The same on bytes already in memory; `fileName` only names the file in errors.
int32_t ReadSmfBytes(std::span<const uint8_t> file, const std::string& fileName);

// How far a reading has got, for a reader of the list on another thread: the
// records before `records` are complete and the reader never touches them
// again. The count is stored with release order after each record; the
// reader on the other thread takes it with acquire order and reads those
// records through pointers taken before the reading began. The reading never
// moves the list when, before it begins, the records have room for
// MostRecords and the byte store for MostStoredBytes of the image.
struct ReadProgress {
  std::atomic<size_t> records{0};
  // The reader's own: records are counted in batches, so that the two
  // threads do not write the same memory at every record.
  size_t batchEnd = 0;
  static constexpr size_t kBatch = 4096;
};
// Upper bounds for an image of `size` bytes: each record comes from an F0
// event of at least three bytes (delta time, F0, length), and stores each of
// its message bytes, all of them bytes of the image, twice.
inline size_t MostRecords(size_t size) { return size / 3 + 1; }
inline size_t MostStoredBytes(size_t size) { return 2 * size; }

// The same on a file image that the tables then share (gSourceFile), uncopied.
// With `progress`, each completed record is counted there.
int32_t ReadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName,
                     ReadProgress* progress = nullptr);
// The whole of a regular file as ReadSmf reads it, up to the size bound.
std::shared_ptr<const std::vector<uint8_t>> ReadSmfFileImage(const std::string& fileName);

// Data bytes after a status byte, or -1 for a status the reader cannot read.
int32_t DataByteCount(uint8_t status);
// The value of a variable-length quantity whose raw bytes are packed into one
// word, the last byte read in the low 8 bits.
uint32_t DeltaFromBytes(uint32_t packed);

}  // namespace mertovan
