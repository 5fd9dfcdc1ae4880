// The XG parameter name table: names every SysEx message of the list by its
// model ID and three address bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "analysis/stored_message.h"
#include "model/song.h"

namespace mertovan {

// In an entry, a model or address byte that matches any value.
inline constexpr uint8_t kAnyByte = 255;

// One entry of the parameter name table.
struct TSYS_MSG_TYPE {
  uint8_t model;     // model ID (data[2]); 255 would match any
  uint8_t addrHigh;  // data[3]; a value with bit 7 set is masked: matches h when (h & 0x70) | 0x80 equals it
  uint8_t addrMid;   // data[4]; 255 matches any part or note number
  uint8_t addrLow;   // data[5]; 255 would match any
  std::string_view name;
  uint16_t attribute;
};

// The 901 entries, in table order: model 0x4C rows 0-523, 0x49 rows 524-646,
// 0x59 rows 647-900.
std::span<const TSYS_MSG_TYPE> ParameterNameTable();

inline constexpr std::string_view kGmSystemOn = "GM System On";
inline constexpr std::string_view kNoText = " -";

// Whether a table entry fits a model and three address bytes.
bool EntryMatches(const TSYS_MSG_TYPE& entry, uint8_t model, uint8_t high, uint8_t mid, uint8_t low);
// The same for the stored message bytes (data[2] to data[5]).
inline bool EntryMatches(const TSYS_MSG_TYPE& entry, const SysExList& list, const Tsys& e) {
  return EntryMatches(entry, list.DataByte(e, 2), list.DataByte(e, 3), list.DataByte(e, 4), list.DataByte(e, 5));
}

// Row of the last entry in table order that fits a model and three address
// bytes, or -1: the same result as walking all 901 entries.
int LastMatchingRow(uint8_t model, uint8_t high, uint8_t mid, uint8_t low);

// Row of the last entry that fits the event, or -1 when none does or the
// message is too short to hold its three address bytes.
int ParameterRow(const SysExList& list, const Tsys& e, const MessageExtent& extent);
inline int ParameterRow(const SysExList& list, const Tsys& e) {
  return ParameterRow(list, e, ExtentOf(list, e));
}

// Sets eventName and valueText of one event from one lookup of its row: the
// parameter name and the first data byte in decimal, or " -"; the universal
// GM System On message is named outside the table.
void NameEvent(const SysExList& list, Tsys& e, const MessageExtent& extent);

}  // namespace mertovan
