// Loading a Standard MIDI File: the one way a file enters the program. Clears
// the tables, reads the file, and analyses what was read; a file that cannot
// be read leaves the tables empty.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/analyse.h"

namespace mertovan {

enum class LoadStatus {
  Whole,         // the whole file was read
  StoppedEarly,  // reading stopped at data that is no MIDI event or chunk; what came before is kept
  Failed,        // the file could not be read; the tables are empty
};
struct LoadResult {
  LoadStatus status = LoadStatus::Failed;
  std::string error;  // for Failed: what went wrong, naming the file
};

LoadResult LoadSmfFile(const std::string& fileName, Analysis what = Analysis::ForListing);
// The same on a file image in memory; `fileName` only names the file in errors.
LoadResult LoadSmfImage(std::shared_ptr<const std::vector<uint8_t>> image, const std::string& fileName,
                        Analysis what = Analysis::ForListing);
LoadResult LoadSmfBytes(std::span<const uint8_t> file, const std::string& fileName,
                        Analysis what = Analysis::ForListing);

}  // namespace mertovan
