#include "analysis/listing.h"

#include <array>
#include <cstdio>

namespace mertovan {

std::string_view ColumnHeader(int column, uint8_t viewMode) {
  static constexpr std::array<std::string_view, 7> kHeaders = {"",     "Bar",   "Meter", "Tick",
                                                              "Ch",   "Event", "Value"};
  if (column >= 0 && column < 7) return kHeaders[size_t(column)];
  if (column == 7) return viewMode == 1 ? "SystemExclusiveMessage" : "ControlChange";
  return "";
}

std::string ChannelText(uint8_t channel) {
  return channel == 255 ? std::string("-") : std::to_string(unsigned(channel) + 1);
}

std::string SysExText(const SysExList& list, const Tsys& e) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "F0 ";
  for (uint8_t b : list.Data(e)) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
    s += ' ';
    if (b == 0xF7) break;
  }
  return s;
}

namespace {

void AppendPair(std::string& s, uint8_t number, uint8_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "cc%-3d,%-3d", int(number), int(value));
  s += buf;
}

}  // namespace

std::string CcText(const Tsys& e) {
  if (e.ccNumber[0] == 224) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "pc%-3d", int(e.ccValue[0]));
    return buf;
  }
  if (e.ccNumber[0] == 255) return " -";
  std::string s;
  AppendPair(s, e.ccNumber[0], e.ccValue[0]);
  // The second and third pairs are shown each on its own; the fourth never.
  for (int i = 1; i <= 2; ++i) {
    if (e.ccNumber[i] != 255) {
      s += "  : ";
      AppendPair(s, e.ccNumber[i], e.ccValue[i]);
    }
  }
  return s;
}

std::string CellText(const SysExList& list, const Tsys& e, int column, uint8_t viewMode) {
  switch (column) {
    case 1:
      return std::to_string(e.bar);
    case 2:
      return std::to_string(e.beat);
    case 3:
      return std::to_string(e.beatTick);
    case 4:
      return ChannelText(e.channel);
    case 5:
      return std::string(e.eventName);
    case 6:
      return std::string(e.valueText);
    case 7:
      return viewMode == 1 ? SysExText(list, e) : CcText(e);
    default:
      return {};
  }
}

void AppendTsvLine(std::string& out, const SysExList& list, const Tsys& e, uint8_t viewMode) {
  for (int c = 1; c <= 7; ++c) {
    out += CellText(list, e, c, viewMode);
    out += c == 7 ? '\n' : '\t';
  }
}

}  // namespace mertovan
