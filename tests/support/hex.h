// Bytes as hex text ("F0 43 10") and back.
#pragma once

#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace mertovan::test {

inline std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

inline std::vector<uint8_t> FromHex(std::string_view text) {
  std::vector<uint8_t> out;
  std::istringstream in{std::string(text)};
  std::string byte;
  while (in >> byte) out.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
  return out;
}

}  // namespace mertovan::test
