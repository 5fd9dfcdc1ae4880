// XG parameter changes turned into their channel-message equivalents: Control
// Change, NRPN, RPN and Program Change, from a table of 42 rules.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace mertovan {

struct ConversionRule {
  uint8_t addrHigh;  // bit 7 set: drum setup rule (address high 3n)
  uint8_t addrLow;
  struct Pair {
    uint8_t controller;  // 0-127 control change, 224 program change, 255 none
    uint8_t valueCode;   // 251 dd-64, 252 am, 253 dd, 254 dd switch, else literal
  } pairs[4];
};

std::span<const ConversionRule> ConversionRules();

// Which part plays each XG part mode (0-6): drum setup 1 (address high 30)
// belongs to the part of mode 2, drum setup 2 to mode 3, and so on. It lives
// for the whole run; loading another file keeps what earlier files set.
extern std::array<uint8_t, 7> gDrumSetupPartMap;
inline constexpr std::array<uint8_t, 7> kInitialDrumSetupPartMap = {0, 9, 9, 10, 11, 12, 13};

// Value a rule's value code gives for address mid `am` and data byte `dd`.
uint8_t ApplyValueCode(uint8_t valueCode, uint8_t am, uint8_t dd);

void ConvertEvents();
void AssignChannels();

// The analysis pass: positions, conversion, parts, names and values, in this order.
void AnalyseEvents();

}  // namespace mertovan
