// The Standard MIDI File reader: walks the file's chunks and track events once
// and fills the event model (model/events.h) with every SysEx message and time
// signature; everything else is stepped over.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/events.h"

namespace mertovan {

// Reads a Standard MIDI File into the tables, which ClearEventTables must have
// emptied. Returns 0 when the whole file was read, -1 when reading stopped
// early at something it cannot read (what was read before stays). Throws
// IoError when the file cannot be read.
int32_t ReadSmf(const std::string& fileName);
// The same on bytes already in memory; `fileName` only names the file in errors.
int32_t ReadSmfBytes(std::span<const uint8_t> file, const std::string& fileName);

// Data bytes after a status byte, or -1 for a status the reader cannot read.
int32_t DataByteCount(uint8_t status);
// The value of a variable-length quantity whose raw bytes are packed into one
// word, the last byte read in the low 8 bits.
uint32_t DeltaFromBytes(uint32_t packed);

}  // namespace mertovan
