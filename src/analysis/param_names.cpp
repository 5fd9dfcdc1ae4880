#include "analysis/param_names.h"

#include <array>

namespace mertovan {

bool EntryMatches(const TSYS_MSG_TYPE& entry, MessageStore list, const Tsys& e) {
  const uint8_t model = list.DataByte(e, 2);
  const uint8_t high = list.DataByte(e, 3);
  const uint8_t mid = list.DataByte(e, 4);
  const uint8_t low = list.DataByte(e, 5);
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

bool IsGmSystemOn(MessageStore list, const Tsys& e) {
  return list.DataByte(e, 0) == 0x7E && list.DataByte(e, 1) == 0x7F && list.DataByte(e, 2) == 0x09 &&
         list.DataByte(e, 3) == 0x01;
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

int ParameterRow(MessageStore list, const Tsys& e, const MessageExtent& extent) {
  if (extent.size < 6) return -1;
  const uint8_t* d = list.Data(e).data();
  return LastMatchingRow(d[2], d[3], d[4], d[5]);
}

void NameEvent(MessageStore list, Tsys& e, const MessageExtent& extent) {
  const int row = ParameterRow(list, e, extent);
  if (row < 0) {
    e.eventName = Literal(IsGmSystemOn(list, e) ? kGmSystemOn : kNoText);
    e.valueText = Literal(kNoText);
    return;
  }
  e.eventName = Literal(ParameterNameTable()[size_t(row)].name);
  // The value is the first data byte; a message cut before it shows none.
  e.valueText = extent.size >= 7 ? ConstText(kDecimal.text[list.Data(e)[6]]) : Literal(kNoText);
}

void NameEvents(SysExList& list) {
  for (Tsys& e : list.events) NameEvent(list, e, ExtentOf(list, e));
}

}  // namespace mertovan
