#include "analysis/analyse.h"

#include <utility>
#include <vector>

#include "analysis/conversion.h"
#include "analysis/param_names.h"
#include "model/position.h"

namespace mertovan {

void AnalyseEvents(Song& song, Session& session, Analysis what) {
  SysExList& list = song.sysEx;
  if (what == Analysis::ForListing) ComputePositions(song);
  // A drum setup message belongs to the part that plays its kit once the
  // whole list has been read: its part is given after the walk.
  std::vector<std::pair<size_t, uint8_t>> drumSetups;
  for (size_t i = 0; i < list.events.size(); ++i) {
    Tsys& e = list.events[i];
    const MessageExtent extent = ExtentOf(list, e);
    if (what == Analysis::ForListing) NameEvent(list, e, extent);
    const uint8_t mapEntry = ConvertEvent(list, e, extent, session.drumSetupPartMap, song.channelUsage);
    if (mapEntry != kNoDrumSetup) drumSetups.emplace_back(i, mapEntry);
  }
  for (const auto& [index, mapEntry] : drumSetups) {
    AssignDrumPart(list.events[index], mapEntry, session.drumSetupPartMap);
  }
}

}  // namespace mertovan
