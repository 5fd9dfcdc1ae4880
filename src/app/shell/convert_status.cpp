#include "app/shell/convert_status.h"

namespace mertovan {

std::string ConvertStatusText(const ConvertReport& report) {
  std::string text = std::string(kConvertSuccessfulText) + " " + ConvertedCountText(report);
  const std::string flattened = FlattenedSongText(report);
  if (!flattened.empty()) text += " \u2014 " + flattened;
  return text;
}

}  // namespace mertovan
