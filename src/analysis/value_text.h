// The few ways a value is written in a meaning, shared by the XG, GS and
// universal messages: a signed offset, tenths of a unit, a share in percent,
// a pan position, nibbles.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mertovan {

// "+16", "-3 semitones", "0 dB".
inline std::string Signed(int v, std::string_view unit = {}) {
  std::string s = v > 0 ? "+" + std::to_string(v) : std::to_string(v);
  if (!unit.empty()) {
    s += ' ';
    s += unit;
  }
  return s;
}

// Tenths of a unit, as "+10.0 cents" or "-12.8 Hz".
inline std::string Tenths(int tenths, std::string_view unit) {
  const int a = tenths < 0 ? -tenths : tenths;
  std::string s = tenths > 0 ? "+" : tenths < 0 ? "-" : "";
  s += std::to_string(a / 10) + "." + std::to_string(a % 10) + " ";
  s += unit;
  return s;
}

// `value` as a rounded share of `full`: "79 %".
inline std::string Percent(unsigned value, unsigned full) {
  return std::to_string((value * 200 + full) / (2 * full)) + " %";
}

// A pan position 1-127: L63 ... L1, C, R1 ... R63; 0 is Random where the
// parameter has it, else nothing.
inline std::string PanText(uint8_t v, bool random) {
  if (v == 0) return random ? "Random" : "";
  if (v < 64) return "L" + std::to_string(64 - v);
  if (v == 64) return "C";
  return "R" + std::to_string(v - 64);
}

// Whether every byte is a nibble (0-F), as values sent in nibbles are.
inline bool Nibbles(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    if (b > 0x0F) return false;
  }
  return true;
}

}  // namespace mertovan
