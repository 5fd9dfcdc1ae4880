// The analysis pass run once after every load.
#pragma once

namespace mertovan {

// Positions, conversion, parts, names and values of every message of the
// process-wide SysEx event list.
void AnalyseEvents();

}  // namespace mertovan
