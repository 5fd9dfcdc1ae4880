#include "analysis/param_names.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace mertovan {

bool EntryMatches(const TSYS_MSG_TYPE& entry, const SysExList& list, const Tsys& e) {
  const uint8_t model = list.DataByte(e, 2);
  const uint8_t high = list.DataByte(e, 3);
  const uint8_t mid = list.DataByte(e, 4);
  const uint8_t low = list.DataByte(e, 5);
  if (entry.model != 255 && entry.model != model) return false;
  if (entry.addrHigh < 0x80) {
    if (entry.addrHigh != high) return false;
  } else if (((high & 0x70) | 0x80) != entry.addrHigh) {
    return false;
  }
  if (entry.addrMid != 255 && entry.addrMid != mid) return false;
  if (entry.addrLow != 255 && entry.addrLow != low) return false;
  return true;
}

namespace {

// The last entry in table order that fits a message is the one with the
// highest row, so the index keeps, for every concrete (model, address high,
// address low), the highest row among entries whose address mid is "any",
// plus the few entries that need one exact address mid. A lookup then gives
// the same row as the walk over all 901 entries.
class NameIndex {
 public:
  NameIndex() {
    anyMid_.fill(-1);
    const auto table = ParameterNameTable();
    for (size_t row = 0; row < table.size(); ++row) {
      const TSYS_MSG_TYPE& t = table[row];
      // Entries with model or address low "any", or an address low beyond
      // the index, are not in the table; they would be found by the walk.
      if (t.model == 255 || t.addrLow >= 0x80) {
        needWalk_ = true;
        continue;
      }
      for (int h = 0; h < 256; ++h) {
        const bool highFits = t.addrHigh < 0x80 ? h == t.addrHigh : ((h & 0x70) | 0x80) == t.addrHigh;
        if (!highFits) continue;
        const size_t key = Key(t.model, uint8_t(h), t.addrLow);
        if (key == kNoKey) continue;
        if (t.addrMid == 255) {
          anyMid_[key] = int16_t(row);
        } else {
          exact_.push_back({uint32_t(key) << 8 | t.addrMid, int16_t(row)});
          hasExact_[key] = true;
        }
      }
    }
    // Later rows come later, so a stable sort keeps the last one at the back.
    std::stable_sort(exact_.begin(), exact_.end(),
                     [](const Exact& a, const Exact& b) { return a.key < b.key; });
  }

  int Row(const SysExList& list, const Tsys& e) const {
    // A message too short to hold its address names nothing.
    if (e.length < 6) return -1;
    const uint8_t model = list.DataByte(e, 2);
    const size_t key = Key(model, list.DataByte(e, 3), list.DataByte(e, 5));
    int best = -1;
    if (key != kNoKey) {
      best = anyMid_[key];
      if (!hasExact_[key]) return needWalk_ ? Walk(list, e, best) : best;
      const uint32_t full = uint32_t(key) << 8 | list.DataByte(e, 4);
      auto it = std::upper_bound(exact_.begin(), exact_.end(), full,
                                 [](uint32_t k, const Exact& x) { return k < x.key; });
      if (it != exact_.begin() && (it - 1)->key == full) best = std::max<int>(best, (it - 1)->row);
    }
    return needWalk_ ? Walk(list, e, best) : best;
  }

 private:
  // Entries that the index cannot hold are found by walking the rows after the best so far.
  static int Walk(const SysExList& list, const Tsys& e, int best) {
    const auto table = ParameterNameTable();
    for (size_t row = size_t(best + 1); row < table.size(); ++row) {
      if (EntryMatches(table[row], list, e)) best = int(row);
    }
    return best;
  }

  static constexpr size_t kNoKey = SIZE_MAX;
  static size_t ModelSlot(uint8_t model) {
    switch (model) {
      case 0x4C: return 0;
      case 0x49: return 1;
      case 0x59: return 2;
      default: return kNoKey;
    }
  }
  // No entry has an address low of 0x80 or more, so seven bits of it make
  // the key and the index stays small enough to sit in the cache.
  static size_t Key(uint8_t model, uint8_t high, uint8_t low) {
    const size_t m = ModelSlot(model);
    return m == kNoKey || low >= 0x80 ? kNoKey : (m << 15) | (size_t(high) << 7) | low;
  }

  struct Exact {
    uint32_t key;
    int16_t row;
  };
  std::array<int16_t, 3 << 15> anyMid_;
  std::array<bool, 3 << 15> hasExact_{};
  std::vector<Exact> exact_;
  bool needWalk_ = false;
};

const NameIndex& Index() {
  static const NameIndex index;
  return index;
}

bool IsGmSystemOn(const SysExList& list, const Tsys& e) {
  return list.DataByte(e, 0) == 0x7E && list.DataByte(e, 1) == 0x7F && list.DataByte(e, 2) == 0x09 &&
         list.DataByte(e, 3) == 0x01;
}

// Decimal texts of all byte values, so every value text is a constant.
const std::array<std::string, 256>& DecimalTexts() {
  static const std::array<std::string, 256> texts = [] {
    std::array<std::string, 256> t;
    for (int i = 0; i < 256; ++i) t[size_t(i)] = std::to_string(i);
    return t;
  }();
  return texts;
}

// The table's names and the constant texts are string literals, so their
// characters end with a NUL and live for the run.
ConstText Literal(std::string_view text) { return ConstText(text.data()); }

}  // namespace

int ParameterRow(const SysExList& list, const Tsys& e) { return Index().Row(list, e); }

void NameEvents() {
  const auto table = ParameterNameTable();
  for (Tsys& e : gSysEx.events) {
    const int row = ParameterRow(gSysEx, e);
    if (IsGmSystemOn(gSysEx, e)) {
      e.eventName = Literal(kGmSystemOn);
    } else {
      e.eventName = Literal(row >= 0 ? table[size_t(row)].name : kNoText);
    }
  }
}

void DescribeValues() {
  const auto& decimal = DecimalTexts();
  for (Tsys& e : gSysEx.events) {
    // The value is the first data byte; a message cut before it shows none.
    const bool named = ParameterRow(gSysEx, e) >= 0 && e.length > 6;
    e.valueText = named ? ConstText(decimal[gSysEx.DataByte(e, 6)].c_str()) : Literal(kNoText);
  }
}

}  // namespace mertovan
