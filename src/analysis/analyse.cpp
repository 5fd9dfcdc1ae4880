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
  struct DrumSetup {
    size_t index;
    uint8_t mapEntry;
    bool converts;  // it matches a conversion rule
  };
  std::vector<DrumSetup> drumSetups;
  const auto assignDrumParts = [&] {
    const DrumSetupPartMap& map = session.drumSetupPartMap;
    for (const DrumSetup& d : drumSetups) {
      Tsys& e = list.events[d.index];
      if (d.converts) AssignDrumPart(e, d.mapEntry, map);
      if (d.mapEntry < map.size() && map[d.mapEntry] < kMostParts) e.part = map[d.mapEntry];
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
    const XgPartAddress address = XgPartAddressOf(list, e, extent);
    if (mapEntry != kNoDrumSetup) {
      drumSetups.push_back({i, mapEntry, true});
    } else if (address.drumMapEntry != kNone) {
      drumSetups.push_back({i, address.drumMapEntry, false});
    }
    e.part = e.channel != kNone ? e.channel : address.part;
    if (list.DataByte(e, 0) == 0x41) ConvertGsEvent(list, e);
  }
  assignDrumParts();
}

}  // namespace mertovan
