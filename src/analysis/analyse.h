// The analysis pass run once after every load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/events.h"

namespace mertovan {

// What the pass fills in. A conversion reads only the parts and controller
// pairs: converting alone skips the names, value texts and musical positions,
// which are left empty. Either way the parts and pairs come out the same.
enum class Analysis { ForListing, ForConverting };

// Conversion and parts, and for a listing the positions, names and values, of
// every message of the process-wide SysEx event list.
void AnalyseEvents(Analysis what = Analysis::ForListing);

// The same pass message by message, in list order, for a loader that analyses
// messages while the file is still being read: Take each record once; when
// the whole list is there, compute the positions if Positions() says so
// (they need every time signature of the file), and AssignDrumParts.
class AnalysisPass {
 public:
  explicit AnalysisPass(Analysis what) : listing_(what == Analysis::ForListing) {}
  bool Positions() const { return listing_; }
  // Converts and names the record at `index` of the list, reading its bytes
  // from `store`. A drum setup message is counted for the part that plays its
  // kit at this point of the list. Touches no field that the positions fill.
  void Take(MessageStore store, Tsys& e, size_t index);
  // The parts of the drum setup messages: those that play the kits once the
  // whole list has been read.
  void AssignDrumParts(SysExList& list);

 private:
  bool listing_;
  std::vector<std::pair<uint32_t, uint8_t>> drumSetups_;
};

}  // namespace mertovan
