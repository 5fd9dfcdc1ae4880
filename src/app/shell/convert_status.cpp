#include "app/shell/convert_status.h"

namespace mertovan {

std::string ConvertStatusText(const ConvertReport& report) {
  std::string text = std::string(kConvertSuccessfulText) + " " + ConvertedCountText(report);
  const std::string flattened = FlattenedSongText(report);
  if (!flattened.empty()) text += " \u2014 " + flattened;
  return text;
}

std::optional<TargetReportNotice> TargetReportNoticeOf(const Song& song, const ConvertOptions& options,
                                                       const ConvertReport& report) {
  const size_t lost = LostSettings(report);
  if (options.target == Target::Xg || lost == 0) return std::nullopt;
  return TargetReportNotice{.heading = std::to_string(lost) + " of " + std::to_string(report.target.size()) +
                                       " settings could not be carried to " + std::string(TargetName(options.target)),
                            .tsv = TargetReportTsv(song, report.target)};
}

}  // namespace mertovan
