// The analysis pass: after every load, each message of the list gets its
// musical position, its channel-message equivalent and part, and the name
// and value texts of the listing.
#include "analysis/analyse.h"

#include "analysis/conversion.h"
#include "analysis/param_names.h"
#include "model/position.h"

namespace mertovan {

void AnalysisPass::Take(MessageStore store, Tsys& e, size_t index) {
  const MessageExtent extent = ExtentOf(store, e);
  if (listing_) NameEvent(store, e, extent);
  const uint8_t mapEntry = ConvertEvent(store, e, extent);
  if (mapEntry != kNoDrumSetup) drumSetups_.emplace_back(uint32_t(index), mapEntry);
}

void AnalysisPass::AssignDrumParts(SysExList& list) {
  for (const auto& [index, mapEntry] : drumSetups_) AssignDrumPart(list.events[index], mapEntry);
  drumSetups_.clear();
}

void AnalyseEvents(Analysis what) {
  SysExList& list = gSysEx;
  AnalysisPass pass(what);
  if (pass.Positions()) ComputePositions();
  const MessageStore store = list.Store();
  for (size_t i = 0; i < list.events.size(); ++i) pass.Take(store, list.events[i], i);
  pass.AssignDrumParts(list);
}

}  // namespace mertovan
