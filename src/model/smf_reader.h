// The Standard MIDI File reader: walks the file's chunks and track events once
// and fills the event model (model/events.h) with every SysEx message and time
// signature; everything else is stepped over.
#pragma once

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
// The same on a file image that the tables then share (gSourceFile), uncopied.
int32_t ReadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName);

// Data bytes after a status byte, or -1 for a status the reader cannot read.
int32_t DataByteCount(uint8_t status);
// The value of a variable-length quantity whose raw bytes are packed into one
// word, the last byte read in the low 8 bits.
uint32_t DeltaFromBytes(uint32_t packed);

}  // namespace mertovan
