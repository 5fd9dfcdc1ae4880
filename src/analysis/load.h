// Loading a Standard MIDI File: the one way a file enters the program. Reads
// the file into a new song and analyses what was read; a file that cannot be
// read gives an empty song whose status is Failed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "analysis/analyse.h"
#include "model/song.h"

namespace mertovan {

Song LoadSmfFile(const std::string& fileName, Session& session, Analysis what = Analysis::ForListing);
// The same on a file in memory; `fileName` only names the file in errors.
Song LoadSmfBytes(std::span<const uint8_t> file, const std::string& fileName, Session& session,
                  Analysis what = Analysis::ForListing);

}  // namespace mertovan
