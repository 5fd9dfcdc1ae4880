// What the main window's status bar says after a conversion.
#pragma once

#include <string>

#include "writer/writer.h"

namespace mertovan {

// "Convert Successful (N of M SysEx messages converted)", followed, when the
// formal setup sums up a song whose parameters change while it plays, by
// " — " and that warning.
std::string ConvertStatusText(const ConvertReport& report);

}  // namespace mertovan
