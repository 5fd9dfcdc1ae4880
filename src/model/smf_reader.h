// The Standard MIDI File reader: walks the file's chunks and track events once
// and fills the event model (model/song.h) with every SysEx message and time
// signature; everything else is stepped over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/song.h"

namespace mertovan {

// Reads the Standard MIDI File `image` into `song`, which must be empty: the
// SysEx messages with where they lie in the file, the time signatures, and
// the file itself with its chunk list. Returns, and sets as the song's status,
// Whole when the whole file was read, StoppedEarly when reading stopped early
// at something it cannot read (what was read before stays). Throws IoError
// when the file cannot be read; `fileName` only names the file in errors.
LoadStatus ReadSmf(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName, Song& song);
// The whole of a regular file as ReadSmf reads it, up to the size bound.
std::shared_ptr<const std::vector<uint8_t>> ReadSmfFileImage(const std::string& fileName);

// Data bytes after a status byte, or -1 for a status the reader cannot read.
int32_t DataByteCount(uint8_t status);
// The value of a variable-length quantity whose raw bytes are packed into one
// word, the last byte read in the low 8 bits.
uint32_t DeltaFromBytes(uint32_t packed);

// A variable-length quantity read from the start of `bytes`: its value and
// how many bytes it took. `size` is 0 when the bytes end before the quantity
// does or it runs past four bytes, which the format does not allow.
struct VarLenRead {
  uint32_t value = 0;
  uint32_t size = 0;
};
VarLenRead ReadVarLen(std::span<const uint8_t> bytes);

}  // namespace mertovan
