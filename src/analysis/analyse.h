// The analysis pass run once after every load.
#pragma once

namespace mertovan {

// What the pass fills in. A conversion reads only the parts and controller
// pairs: converting alone skips the names, value texts and musical positions,
// which are left empty. Either way the parts and pairs come out the same.
enum class Analysis { ForListing, ForConverting };

// Conversion and parts, and for a listing the positions, names and values, of
// every message of the process-wide SysEx event list.
void AnalyseEvents(Analysis what = Analysis::ForListing);

}  // namespace mertovan
