// The analysis pass: after every load, each message of the list gets its
// musical position, its channel-message equivalent and part, and the name
// and value texts of the listing.
#include "analysis/analyse.h"

#include <utility>
#include <vector>

#include "analysis/conversion.h"
#include "analysis/param_names.h"
#include "model/events.h"
#include "model/position.h"

namespace mertovan {

void AnalyseEvents(Analysis what) {
  const bool listing = what == Analysis::ForListing;
  if (listing) ComputePositions();
  SysExList& list = gSysEx;
  // One walk converts and names each message in list order, so that a drum
  // setup message is counted for the part that plays its kit at that point
  // of the list. Its part, though, is the one that plays the kit when the
  // whole list has been read: those few messages are given theirs afterwards.
  std::vector<std::pair<uint32_t, uint8_t>> drumSetups;
  for (size_t i = 0; i < list.events.size(); ++i) {
    Tsys& e = list.events[i];
    const MessageExtent extent = ExtentOf(list, e);
    if (listing) NameEvent(list, e, extent);
    const uint8_t mapEntry = ConvertEvent(list, e, extent);
    if (mapEntry != kNoDrumSetup) drumSetups.emplace_back(uint32_t(i), mapEntry);
  }
  for (const auto& [index, mapEntry] : drumSetups) AssignDrumPart(list.events[index], mapEntry);
}

}  // namespace mertovan
