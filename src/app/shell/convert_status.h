// What the main window says after a conversion: the status bar line, and the
// list of what a song made for another synthesizer could not keep.
#pragma once

#include <optional>
#include <string>

#include "model/song.h"
#include "writer/writer.h"

namespace mertovan {

// "Convert Successful (N of M SysEx messages converted)", followed, when the
// formal setup sums up a song whose parameters change while it plays, by
// " — " and that warning.
std::string ConvertStatusText(const ConvertReport& report);

// The list shown after a song was made for a GM synthesizer or a GS module
// that cannot do everything the song asks.
struct TargetReportNotice {
  std::string heading;  // "N of M settings could not be carried to GM"
  std::string tsv;      // TargetReportTsv: a line of column names, then one line a row
};

// The list for a conversion with `options` that did `report`, or nothing:
// a song made for XG keeps all it has, and a target that carried every
// setting has nothing to tell.
std::optional<TargetReportNotice> TargetReportNoticeOf(const Song& song, const ConvertOptions& options,
                                                       const ConvertReport& report);

}  // namespace mertovan
