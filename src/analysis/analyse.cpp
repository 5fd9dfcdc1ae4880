#include "analysis/analyse.h"

#include <utility>
#include <vector>

#include "analysis/conversion.h"
#include "analysis/param_names.h"
#include "model/midi_bytes.h"
#include "model/position.h"

namespace mertovan {

void AnalyseEvents(Song& song, Session& session, Analysis what) {
  SysExList& list = song.sysEx;
  if (what == Analysis::ForListing) ComputePositions(song);
  // A drum setup message belongs to the part that plays its kit once the
  // stretch of the song up to the next reset has been read: its part is given
  // at that reset, or after the walk.
  std::vector<std::pair<size_t, uint8_t>> drumSetups;
  const auto assignDrumParts = [&] {
    for (const auto& [index, mapEntry] : drumSetups) {
      AssignDrumPart(list.events[index], mapEntry, session.drumSetupPartMap);
    }
    drumSetups.clear();
  };
  for (size_t i = 0; i < list.events.size(); ++i) {
    Tsys& e = list.events[i];
    const MessageExtent extent = ExtentOf(list, e);
    if (what == Analysis::ForListing) NameEvent(list, e, extent);
    // XG System On and GM System On put every part back in its first mode:
    // the parts that played drum kits before play none now.
    if (SystemOnOf(list.Data(e).first(extent.size)).kind != SystemOn::None) {
      assignDrumParts();
      session.drumSetupPartMap = kInitialDrumSetupPartMap;
    }
    const uint8_t mapEntry = ConvertEvent(list, e, extent, session.drumSetupPartMap, song.channelUsage);
    if (mapEntry != kNoDrumSetup) drumSetups.emplace_back(i, mapEntry);
  }
  assignDrumParts();
}

}  // namespace mertovan
