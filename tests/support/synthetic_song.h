// A large synthetic XG song for the benchmarks: many tracks, each a mix of
// XG parameter changes for 32 parts (part parameters, drum setup, effects,
// part modes) and notes written with running status.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include "support/smf_builder.h"

namespace mertovan::test {

inline std::vector<uint8_t> MakeSyntheticXgFile(int tracks = 16, int sysexCount = 200000, int notesPerSysex = 4,
                                                uint32_t seed = 42) {
  std::mt19937 rng(seed);
  auto next = [&rng] { return uint32_t(rng()); };  // mt19937 gives 32-bit values
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, uint8_t(tracks >> 8), uint8_t(tracks), 0x01, 0xE0};
  // Part parameters with a controller equivalent, and some without.
  static constexpr uint8_t kPartLows[] = {0x01, 0x02, 0x03, 0x0B, 0x0E, 0x12, 0x13, 0x14, 0x15, 0x18,
                                          0x19, 0x1A, 0x1C, 0x23, 0x67, 0x68, 0x72, 0x05, 0x09, 0x30};
  static constexpr uint8_t kDrumLows[] = {0x00, 0x01, 0x02, 0x04, 0x05, 0x0B, 0x0C, 0x0D, 0x03, 0x08};
  for (int t = 0; t < tracks; ++t) {
    std::vector<uint8_t> body;
    const int count = sysexCount / tracks + (t < sysexCount % tracks ? 1 : 0);
    const uint8_t channel = uint8_t(t & 15);
    for (int i = 0; i < count; ++i) {
      PutVarLen(body, 3 + next() % 40);
      uint8_t msg[7] = {0x43, 0x10, 0x4C, 0, 0, 0, 0};
      const unsigned kind = next() % 20;
      if (kind < 14) {
        msg[3] = 0x08;
        msg[4] = uint8_t(next() % 32);
        msg[5] = kPartLows[next() % std::size(kPartLows)];
      } else if (kind < 18) {
        msg[3] = uint8_t(0x30 + next() % 4);
        msg[4] = uint8_t(13 + next() % 70);
        msg[5] = kDrumLows[next() % std::size(kDrumLows)];
      } else if (kind < 19) {
        msg[3] = 0x02;
        msg[4] = 0x01;
        msg[5] = uint8_t(next() % 0x60);
      } else {
        msg[3] = 0x08;
        msg[4] = uint8_t(next() % 32);
        msg[5] = 0x07;  // part mode
      }
      msg[6] = uint8_t(next() % (msg[5] == 0x07 ? 4 : 128));
      body.push_back(0xF0);
      body.push_back(8);
      body.insert(body.end(), msg, msg + 7);
      body.push_back(0xF7);
      // Notes after each message, the later ones in running status.
      for (int n = 0; n < notesPerSysex; ++n) {
        PutVarLen(body, next() % 30);
        if (n == 0) body.push_back(uint8_t(0x90 | channel));
        body.push_back(uint8_t(36 + next() % 60));
        body.push_back(uint8_t(n % 2 ? 0 : 100));
      }
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k', uint8_t(body.size() >> 24), uint8_t(body.size() >> 16),
                             uint8_t(body.size() >> 8), uint8_t(body.size())});
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

// The default synthetic file, made once and shared by every song read from
// it, as a loaded song shares its file image, so that no benchmark run copies it.
inline const std::shared_ptr<const std::vector<uint8_t>>& SharedSyntheticXgFile() {
  static const auto image = std::make_shared<const std::vector<uint8_t>>(MakeSyntheticXgFile());
  return image;
}

}  // namespace mertovan::test
