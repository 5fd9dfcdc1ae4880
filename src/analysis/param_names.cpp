#include "analysis/param_names.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "analysis/gs_params.h"
#include "analysis/universal_params.h"
#include "model/midi_bytes.h"

namespace mertovan {

bool EntryMatches(const TSYS_MSG_TYPE& entry, uint8_t model, uint8_t high, uint8_t mid, uint8_t low) {
  if (entry.model != kAnyByte && entry.model != model) return false;
  if (entry.addrHigh < 0x80) {
    if (entry.addrHigh != high) return false;
  } else if (((high & 0x70) | 0x80) != entry.addrHigh) {
    return false;
  }
  if (entry.addrMid != kAnyByte && entry.addrMid != mid) return false;
  if (entry.addrLow != kAnyByte && entry.addrLow != low) return false;
  return true;
}

namespace {

// The universal GM System On to the broadcast device, F0 7E 7F 09 01 F7, the
// one the listing names.
bool IsGmSystemOn(const SysExList& list, const Tsys& e) {
  const SystemOnMessage on = SystemOnOf(list.Data(e));
  return on.kind == SystemOn::Gm && on.device == 0x7F;
}

// The rows of the table by model, address high (a masked one as the table
// writes it) and address low: a message looks at the few rows of its address
// instead of walking all 901.
uint32_t AddressKey(uint8_t model, uint8_t high, uint8_t low) {
  return uint32_t(model) << 16 | uint32_t(high) << 8 | low;
}
const std::vector<std::pair<uint32_t, int>>& RowsByAddress() {
  static const std::vector<std::pair<uint32_t, int>> rows = [] {
    std::vector<std::pair<uint32_t, int>> r;
    const auto table = ParameterNameTable();
    for (size_t i = 0; i < table.size(); ++i) {
      r.emplace_back(AddressKey(table[i].model, table[i].addrHigh, table[i].addrLow), int(i));
    }
    std::sort(r.begin(), r.end());
    return r;
  }();
  return rows;
}

// Decimal texts of all byte values, NUL-terminated, so every value text is a
// constant that lives for the run.
struct DecimalTexts {
  char text[256][4] = {};
  constexpr DecimalTexts() {
    for (int v = 0; v < 256; ++v) {
      int n = 0;
      if (v >= 100) text[v][n++] = char('0' + v / 100);
      if (v >= 10) text[v][n++] = char('0' + v / 10 % 10);
      text[v][n] = char('0' + v % 10);
    }
  }
};
constexpr DecimalTexts kDecimal;

// The table's names and the constant texts are string literals, so their
// characters end with a NUL and live for the run.
ConstText Literal(std::string_view text) { return ConstText(text.data()); }

}  // namespace

int LastMatchingRow(uint8_t model, uint8_t high, uint8_t mid, uint8_t low) {
  // Every entry names one model and one address low (checked by the tests),
  // so the rows of the message's own address high and of the masked block
  // it falls in are all that can fit.
  const auto table = ParameterNameTable();
  const auto& rows = RowsByAddress();
  int best = -1;
  for (const uint8_t h : {high, uint8_t((high & 0x70) | 0x80)}) {
    const uint32_t key = AddressKey(model, h, low);
    auto it = std::lower_bound(rows.begin(), rows.end(), std::pair<uint32_t, int>(key, -1));
    for (; it != rows.end() && it->first == key; ++it) {
      if (EntryMatches(table[size_t(it->second)], model, high, mid, low)) best = std::max(best, it->second);
    }
  }
  return best;
}

int ParameterRow(const SysExList& list, const Tsys& e, const MessageExtent& extent) {
  if (extent.size < 6) return -1;
  const uint8_t* d = list.Data(e).data();
  return LastMatchingRow(d[2], d[3], d[4], d[5]);
}

void NameEvent(const SysExList& list, Tsys& e, const MessageExtent& extent) {
  const int row = ParameterRow(list, e, extent);
  if (row < 0) {
    // Outside the XG table: GM System On by its own name, then the GS and
    // universal messages by theirs.
    e.eventName = Literal(kNoText);
    e.valueText = Literal(kNoText);
    if (IsGmSystemOn(list, e)) {
      e.eventName = Literal(kGmSystemOn);
    } else if (const GsMessage gs = ParseGs(list.Data(e)); gs.valid && !GsName(gs).empty()) {
      e.eventName = Literal(GsName(gs));
      if (!gs.values.empty() && gs.values[0] < 0x80) e.valueText = ConstText(kDecimal.text[gs.values[0]]);
    } else if (const UniversalMessage u = ParseUniversal(list.Data(e)); u.row >= 0) {
      e.eventName = Literal(UniversalName(u));
    }
    return;
  }
  e.eventName = Literal(ParameterNameTable()[size_t(row)].name);
  // The value is the first data byte; a message cut before it shows none.
  e.valueText = extent.size >= 7 ? ConstText(kDecimal.text[list.Data(e)[6]]) : Literal(kNoText);
}

}  // namespace mertovan
