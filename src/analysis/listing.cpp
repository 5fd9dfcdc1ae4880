#include "analysis/listing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace mertovan {

std::string_view ColumnHeader(int column, ViewMode view) {
  static constexpr std::array<std::string_view, 7> kHeaders = {"",     "Bar",   "Meter", "Tick",
                                                              "Ch",   "Event", "Value"};
  if (column >= 0 && column < 7) return kHeaders[size_t(column)];
  if (column == 7) return view == ViewMode::SysEx ? "SystemExclusiveMessage" : "ControlChange";
  return "";
}

std::string ChannelText(uint8_t channel) {
  return channel == kNone ? std::string("-") : std::to_string(unsigned(channel) + 1);
}

void AppendNumber(std::string& out, uint64_t value) {
  char text[20];
  const auto end = std::to_chars(std::begin(text), std::end(text), value).ptr;
  out.append(text, end);
}

namespace {

// The bytes of the data view that the file held, up to and including the
// first F7. Dropping a repeated F0 leaves padding at the end of the data
// view; that padding was never in the file and is not shown.
std::span<const uint8_t> ShownBytes(const SysExList& list, const Tsys& e) {
  const auto raw = list.Raw(e);
  size_t held = raw.size();
  if (!raw.empty() && std::memchr(raw.data(), kStatusSysEx, raw.size())) {
    held = size_t(std::count_if(raw.begin(), raw.end(), [](uint8_t b) { return b != kStatusSysEx; }));
    if (raw.back() == kStatusSysEx) ++held;  // a final F0 stays in the data view
  }
  const auto data = list.Data(e).first(held);
  const void* f7 = data.empty() ? nullptr : std::memchr(data.data(), kStatusSysExEnd, data.size());
  return f7 ? data.first(size_t(static_cast<const uint8_t*>(f7) - data.data()) + 1) : data;
}

}  // namespace

void AppendHexBytes(std::string& out, std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (uint8_t b : bytes) {
    out += ' ';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
}

namespace {

// The SysEx column: "F0 43 10 ... F7 ".
void AppendSysExText(std::string& out, const SysExList& list, const Tsys& e) {
  out += "F0";
  AppendHexBytes(out, ShownBytes(list, e));
  out += ' ';
}

}  // namespace


namespace {

void AppendPair(std::string& s, uint8_t number, uint8_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "cc%-3d,%-3d", int(number), int(value));
  s += buf;
}

}  // namespace

std::string CcText(const Tsys& e) {
  if (e.ccNumber[0] == kProgramChange) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "pc%-3d", int(e.ccValue[0]));
    return buf;
  }
  if (e.ccNumber[0] == kNone) return " -";
  std::string s;
  AppendPair(s, e.ccNumber[0], e.ccValue[0]);
  // The second and third pairs are shown each on its own; the fourth never.
  for (int i = 1; i <= 2; ++i) {
    if (e.ccNumber[i] != kNone) {
      s += "  : ";
      AppendPair(s, e.ccNumber[i], e.ccValue[i]);
    }
  }
  return s;
}

void AppendCellText(std::string& out, const SysExList& list, const Tsys& e, int column, ViewMode view) {
  switch (column) {
    case 1:
      AppendNumber(out, e.bar);
      break;
    case 2:
      AppendNumber(out, e.beat);
      break;
    case 3:
      AppendNumber(out, e.beatTick);
      break;
    case 4:
      out += ChannelText(e.part);
      break;
    case 5:
      out += e.eventName.view();
      break;
    case 6:
      out += e.valueText.view();
      break;
    case 7:
      if (view == ViewMode::SysEx) {
        AppendSysExText(out, list, e);
      } else {
        out += CcText(e);
      }
      break;
    default:
      break;
  }
}

std::string CellText(const SysExList& list, const Tsys& e, int column, ViewMode view) {
  std::string s;
  AppendCellText(s, list, e, column, view);
  return s;
}

void AppendTsvRow(std::string& out, const SysExList& list, const Tsys& e, ViewMode view) {
  for (int c = 1; c <= 7; ++c) {
    AppendCellText(out, list, e, c, view);
    out += c == 7 ? '\n' : '\t';
  }
}

}  // namespace mertovan
