#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/gs_params.h"
#include "analysis/universal_params.h"
#include "model/midi_bytes.h"

namespace mertovan {
namespace {

using Bytes = std::vector<uint8_t>;

// A GS data set as the view after F0 holds it: 41 10 42 12, the address and
// data, the Roland checksum (128 minus their sum modulo 128), F7; `wrong`
// adds one to the checksum.
Bytes Gs(std::initializer_list<uint8_t> addressAndData, bool wrong = false) {
  Bytes m = {0x41, 0x10, 0x42, 0x12};
  unsigned sum = 0;
  for (uint8_t b : addressAndData) {
    m.push_back(b);
    sum += b;
  }
  m.push_back(uint8_t((128 - sum % 128 + (wrong ? 1 : 0)) % 128));
  m.push_back(0xF7);
  return m;
}

std::string Trace(const Bytes& m) { return ::testing::PrintToString(m); }

// Checksums of messages as GS modules and real songs send them.
TEST(GsChecksum, KnownMessagesAndWrongOnes) {
  struct Case {
    Bytes addressAndData;
    uint8_t checksum;
  } const cases[] = {
      {{0x40, 0x00, 0x7F, 0x00}, 0x41},  // GS Reset
      {{0x40, 0x11, 0x15, 0x02}, 0x18},  // part 1 plays drum map 2
      {{0x40, 0x10, 0x15, 0x00}, 0x1B},  // part 10 plays no drums
      {{0x00, 0x00, 0x7F, 0x00}, 0x01},  // SC-88 mode 1
      {{0x00, 0x00, 0x7F, 0x01}, 0x00},  // SC-88 mode 2
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RolandChecksum(c.addressAndData), c.checksum);
    Bytes m = {0x41, 0x10, 0x42, 0x12};
    m.insert(m.end(), c.addressAndData.begin(), c.addressAndData.end());
    m.push_back(c.checksum);
    m.push_back(0xF7);
    EXPECT_TRUE(ParseGs(m).checksumOk) << Trace(m);
    m[m.size() - 2] ^= 0x01;
    const GsMessage wrong = ParseGs(m);
    EXPECT_FALSE(wrong.checksumOk) << Trace(m);
    EXPECT_EQ(wrong.expectedChecksum, c.checksum);
  }
}

TEST(GsParse, NotADataSetOrTooShortForItsAddress) {
  const Bytes cases[] = {
      {0x41, 0x10, 0x42, 0x12, 0x40, 0x00},                          // two address bytes
      {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0xF7},                    // F7 in the address
      {0x41, 0x10, 0x42, 0x11, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},  // a data request
      {0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00, 0x20, 0x50, 0xF7},  // the SC-55's display model
      {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},              // XG System On
  };
  for (const Bytes& m : cases) EXPECT_FALSE(ParseGs(m).valid) << Trace(m);
  // An address with nothing after it is a data set without its checksum.
  const GsMessage bare = ParseGs(Bytes{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0xF7});
  EXPECT_TRUE(bare.valid);
  EXPECT_TRUE(bare.values.empty());
  EXPECT_FALSE(bare.checksumOk);
}

// The first and last parameter of each block of the address map, and
// addresses next to them that name nothing.
TEST(GsNames, EdgesOfEachBlock) {
  struct Case {
    Bytes message;
    std::string_view name;
  } const cases[] = {
      {Gs({0x00, 0x00, 0x7F, 0x00}), "System Mode Set"},
      {Gs({0x40, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00}), "Master Tune"},
      {Gs({0x40, 0x00, 0x03, 0x00}), "Master Tune"},
      {Gs({0x40, 0x00, 0x06, 0x40}), "Master Pan"},
      {Gs({0x40, 0x00, 0x07, 0x00}), ""},
      {Gs({0x40, 0x00, 0x7F, 0x00}), "GS Reset"},
      {Gs({0x40, 0x01, 0x00, 0x41}), "Patch Name"},
      {Gs({0x40, 0x01, 0x30, 0x04}), "Reverb Macro"},
      {Gs({0x40, 0x01, 0x40, 0x00}), "Chorus Send Level To Delay"},
      {Gs({0x40, 0x01, 0x41, 0x00}), ""},
      {Gs({0x40, 0x01, 0x50, 0x00}), "Delay Macro"},
      {Gs({0x40, 0x01, 0x5A, 0x00}), "Delay Send Level To Reverb"},
      {Gs({0x40, 0x02, 0x00, 0x00}), "EQ Low Freq"},
      {Gs({0x40, 0x02, 0x03, 0x40}), "EQ High Gain"},
      {Gs({0x40, 0x03, 0x00, 0x01, 0x00}), "EFX Type"},
      {Gs({0x40, 0x03, 0x16, 0x00}), "EFX Parameter 20"},
      {Gs({0x40, 0x03, 0x1F, 0x01}), "EFX Send EQ Switch"},
      {Gs({0x40, 0x1A, 0x00, 0x00, 0x00}), "Tone Number"},
      {Gs({0x40, 0x1A, 0x01, 0x00}), ""},  // the second byte of Tone Number
      {Gs({0x40, 0x1A, 0x02, 0x00}), "Rx. Channel"},
      {Gs({0x40, 0x1A, 0x12, 0x01}), "Rx. Soft"},
      {Gs({0x40, 0x1A, 0x40, 0x40}), "Scale Tuning C"},
      {Gs({0x40, 0x1A, 0x4B, 0x40}), "Scale Tuning B"},
      {Gs({0x40, 0x1A, 0x4C, 0x40}), ""},
      {Gs({0x40, 0x2A, 0x00, 0x40}), "MOD Pitch Control"},
      {Gs({0x40, 0x2A, 0x5A, 0x00}), "CC2 LFO2 TVA Depth"},
      {Gs({0x40, 0x4A, 0x00, 0x01}), "Tone Map Number"},
      {Gs({0x40, 0x4A, 0x22, 0x01}), "Part EFX Assign"},
      {Gs({0x41, 0x00, 0x00, 0x53}), "Drum Map Name"},
      {Gs({0x41, 0x01, 0x24, 0x24}), "Play Note Number"},
      {Gs({0x41, 0x19, 0x7F, 0x00}), "Delay Send Level"},
      {Gs({0x41, 0x21, 0x24, 0x24}), ""},  // no third drum map
      {Gs({0x50, 0x01, 0x30, 0x04}), "Reverb Macro"},
  };
  for (const Case& c : cases) EXPECT_EQ(GsName(ParseGs(c.message)), c.name) << Trace(c.message);
}

// Block 0 is part 10, blocks 1-9 parts 1-9, A-F parts 11-16; port B (5x)
// has parts 17-32. Parts count from 0 here.
TEST(GsParts, BlockOrderAndPorts) {
  struct Case {
    uint8_t high, mid;
    uint8_t part, drumMap;
  } const cases[] = {
      {0x40, 0x10, 9, 255},  {0x40, 0x11, 0, 255},  {0x40, 0x19, 8, 255},   {0x40, 0x1A, 10, 255},
      {0x40, 0x1F, 15, 255}, {0x40, 0x20, 9, 255},  {0x40, 0x4B, 11, 255},  {0x50, 0x10, 25, 255},
      {0x50, 0x11, 16, 255}, {0x50, 0x1F, 31, 255}, {0x40, 0x01, 255, 255}, {0x41, 0x02, 255, 0},
      {0x41, 0x12, 255, 1},  {0x51, 0x02, 255, 2},  {0x51, 0x12, 255, 3},
  };
  for (const Case& c : cases) {
    const uint8_t low = c.mid == 0x01 ? 0x30 : 0x00;
    const GsMessage m = ParseGs(Gs({c.high, c.mid, low, 0x00}));
    ASSERT_GE(m.row, 0);
    EXPECT_EQ(m.part, c.part) << std::hex << int(c.high) << " " << int(c.mid);
    EXPECT_EQ(m.drumMap, c.drumMap) << std::hex << int(c.high) << " " << int(c.mid);
  }
}

TEST(GsMeaning, ValuesAsTheChartsGiveThem) {
  struct Case {
    Bytes message;
    std::string meaning;
  } const cases[] = {
      {Gs({0x40, 0x00, 0x7F, 0x00}), "GS reset"},
      {Gs({0x00, 0x00, 0x7F, 0x01}), "Mode 2 (double module)"},
      {Gs({0x40, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00}), "0.0 cents"},
      {Gs({0x40, 0x00, 0x00, 0x00, 0x07, 0x0E, 0x08}), "+100.0 cents"},
      {Gs({0x40, 0x00, 0x04, 0x7F}), "100 %"},
      {Gs({0x40, 0x00, 0x05, 0x28}), "-24 semitones"},
      {Gs({0x40, 0x00, 0x05, 0x58}), "+24 semitones"},
      {Gs({0x40, 0x00, 0x06, 0x01}), "L63"},
      {Gs({0x40, 0x01, 0x00, 'G', 'S', ' ', ' '}), "\"GS\""},
      {Gs({0x40, 0x01, 0x30, 0x07}), "Panning Delay"},
      {Gs({0x40, 0x01, 0x38, 0x07}), "Short Delay (FB)"},
      {Gs({0x40, 0x01, 0x50, 0x09}), "Pan Repeat"},
      {Gs({0x40, 0x02, 0x01, 0x34}), "-12 dB"},
      {Gs({0x40, 0x11, 0x00, 0x08, 0x02}), "program 3, bank 8"},
      {Gs({0x40, 0x11, 0x00, 0x08}), ""},
      {Gs({0x40, 0x14, 0x02, 0x04}), "Ch 5"},
      {Gs({0x40, 0x14, 0x02, 0x10}), "Off"},
      {Gs({0x40, 0x11, 0x15, 0x01}), "Map 1"},
      {Gs({0x40, 0x11, 0x16, 0x4C}), "+12 semitones"},
      {Gs({0x40, 0x11, 0x17, 0x00, 0x08}), "-12.0 Hz"},
      {Gs({0x40, 0x11, 0x1C, 0x00}), "Random"},
      {Gs({0x40, 0x11, 0x1C, 0x40}), "C"},
      {Gs({0x40, 0x11, 0x19, 0x64}), ""},
      {Gs({0x40, 0x11, 0x2A, 0x7F, 0x7F}), "+100.0 cents"},
      {Gs({0x40, 0x11, 0x30, 0x0E}), "-50"},
      {Gs({0x40, 0x11, 0x32, 0x72}), "+50"},
      {Gs({0x40, 0x11, 0x33, 0x0D}), ""},  // below the chart's range
      {Gs({0x40, 0x11, 0x4B, 0x00}), "-64 cents"},
      {Gs({0x40, 0x21, 0x10, 0x4C}), "+12 semitones"},
      {Gs({0x40, 0x41, 0x00, 0x02}), "SC-88 Map"},
      {Gs({0x41, 0x04, 0x24, 0x00}), "C1: Random"},
      {Gs({0x41, 0x17, 0x26, 0x00}), "D1: Off"},
      {Gs({0x41, 0x00, 0x00, 'S', 'T', 'D'}), "\"STD\""},
      {Gs({0x40, 0x11, 0x15, 0x02}, true), "Map 2; checksum wrong (should be 18)"},
      {Gs({0x40, 0x11, 0x19, 0x64}, true), "checksum wrong (should be 32)"},
  };
  for (const Case& c : cases) EXPECT_EQ(GsMeaning(ParseGs(c.message)), c.meaning) << Trace(c.message);
}

using Pairs = std::vector<std::pair<uint8_t, uint8_t>>;

TEST(GsConversion, ChannelMessagesOfPartParameters) {
  struct Case {
    Bytes message;
    Pairs pairs;
  } const cases[] = {
      {Gs({0x40, 0x11, 0x00, 0x08, 0x02}), {{0, 8}, {kProgramChange, 2}}},
      {Gs({0x40, 0x11, 0x00, 0x08}), {{0, 8}}},
      {Gs({0x40, 0x11, 0x19, 0x64}), {{7, 100}}},
      {Gs({0x40, 0x11, 0x1C, 0x20}), {{10, 32}}},
      {Gs({0x40, 0x11, 0x22, 0x28}), {{91, 40}}},
      {Gs({0x40, 0x11, 0x21, 0x10}), {{93, 16}}},
      {Gs({0x40, 0x11, 0x2C, 0x30}), {{94, 48}}},
      {Gs({0x40, 0x11, 0x30, 0x50}), {{99, 1}, {98, 8}, {6, 0x50}}},
      {Gs({0x40, 0x11, 0x31, 0x50}), {{99, 1}, {98, 9}, {6, 0x50}}},
      {Gs({0x40, 0x11, 0x37, 0x50}), {{99, 1}, {98, 10}, {6, 0x50}}},
      {Gs({0x40, 0x11, 0x32, 0x30}), {{99, 1}, {98, 32}, {6, 0x30}}},
      {Gs({0x40, 0x11, 0x33, 0x30}), {{99, 1}, {98, 33}, {6, 0x30}}},
      {Gs({0x40, 0x11, 0x34, 0x30}), {{99, 1}, {98, 99}, {6, 0x30}}},
      {Gs({0x40, 0x11, 0x35, 0x30}), {{99, 1}, {98, 100}, {6, 0x30}}},
      {Gs({0x40, 0x11, 0x36, 0x30}), {{99, 1}, {98, 102}, {6, 0x30}}},
      {Gs({0x40, 0x11, 0x16, 0x34}), {{101, 0}, {100, 2}, {6, 0x34}}},
      {Gs({0x40, 0x21, 0x10, 0x4C}), {{101, 0}, {100, 0}, {6, 12}}},
  };
  for (const Case& c : cases) {
    const auto pairs = GsChannelMessages(ParseGs(c.message));
    ASSERT_TRUE(pairs) << Trace(c.message);
    for (size_t i = 0; i < pairs->size(); ++i) {
      const auto expected = i < c.pairs.size() ? c.pairs[i] : std::pair<uint8_t, uint8_t>{kNone, 0};
      EXPECT_EQ((*pairs)[i], expected) << Trace(c.message) << "pair " << i;
    }
  }
}

TEST(GsConversion, NothingWithoutAWholeMessageOfOnePartParameter) {
  Bytes unterminated = Gs({0x40, 0x11, 0x19, 0x64});
  unterminated.pop_back();
  Bytes trailing = Gs({0x40, 0x11, 0x19, 0x64});
  trailing.push_back(0x00);
  const Bytes cases[] = {
      Gs({0x40, 0x11, 0x19, 0x64}, true),  // wrong checksum
      unterminated,
      trailing,
      Gs({0x40, 0x11, 0x19, 0x64, 0x40}),  // Part Level and Velocity Sense Depth
      Gs({0x40, 0x11, 0x1C, 0x00}),        // random pan
      Gs({0x40, 0x21, 0x10, 0x3F}),        // a bend range below 0
      Gs({0x40, 0x11, 0x1A, 0x40}),        // no channel message for it
      Gs({0x40, 0x01, 0x33, 0x40}),        // reverb level: no part
      Gs({0x41, 0x02, 0x24, 0x40}),        // a drum's level: a drum map, no part
      Gs({0x40, 0x11, 0x01, 0x05}),        // not a parameter's first address
  };
  for (const Bytes& m : cases) EXPECT_FALSE(GsChannelMessages(ParseGs(m))) << Trace(m);
}

// Table faults that a lookup would hide: rows out of order or naming the
// same address twice.
TEST(GsTable, RowsInAddressOrderWithoutOverlap) {
  const auto table = GsParameterTable();
  for (size_t i = 0; i < table.size(); ++i) {
    const GsParameter& r = table[i];
    EXPECT_LE(r.lowFirst, r.lowLast) << r.name;
    EXPECT_FALSE(r.name.empty()) << "row " << i;
    if (i == 0) continue;
    const GsParameter& q = table[i - 1];
    const auto key = [](const GsParameter& p) { return p.addrHigh << 16 | p.addrMid << 8 | p.lowFirst; };
    EXPECT_LT(key(q), key(r)) << q.name << " / " << r.name;
    if (q.addrHigh == r.addrHigh && q.addrMid == r.addrMid) {
      EXPECT_LT(q.lowLast, r.lowFirst) << r.name;
    }
  }
}

// A row for every sub-ID #2 of a sub-ID #1 that another row names whole
// would never be reached.
TEST(UniversalTable, NoTwoRowsForOneMessage) {
  const auto table = UniversalParameterTable();
  for (size_t i = 0; i < table.size(); ++i) {
    for (size_t j = i + 1; j < table.size(); ++j) {
      const UniversalParameter& a = table[i];
      const UniversalParameter& b = table[j];
      if (a.type != b.type || a.subId1 != b.subId1) continue;
      EXPECT_TRUE(a.subId2 != kAnySubId && b.subId2 != kAnySubId && a.subId2 != b.subId2) << a.name << " / " << b.name;
    }
  }
}

TEST(Universal, NamesAndMeanings) {
  struct Case {
    Bytes message;
    std::string_view name;
    std::string meaning;
  } const cases[] = {
      {{0x7E, 0x7F, 0x09, 0x01, 0xF7}, "GM System On", "GM reset"},
      {{0x7E, 0x7F, 0x09, 0x02, 0xF7}, "GM System Off", "GM off"},
      {{0x7E, 0x7F, 0x09, 0x03, 0xF7}, "GM2 System On", "GM2 reset"},
      {{0x7E, 0x7F, 0x06, 0x01, 0xF7}, "Identity Request", ""},
      {{0x7E, 0x10, 0x06, 0x02, 0x41, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}, "Identity Reply", ""},
      {{0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7}, "Master Volume", "100 %"},
      {{0x7F, 0x7F, 0x04, 0x02, 0x00, 0x40, 0xF7}, "Master Balance", "C"},
      {{0x7F, 0x7F, 0x04, 0x02, 0x00, 0x20, 0xF7}, "Master Balance", "L50 %"},
      {{0x7F, 0x7F, 0x04, 0x02, 0x7F, 0x7F, 0xF7}, "Master Balance", "R100 %"},
      {{0x7F, 0x7F, 0x04, 0x03, 0x00, 0x40, 0xF7}, "Master Fine Tuning", "0.0 cents"},
      {{0x7F, 0x7F, 0x04, 0x03, 0x00, 0x60, 0xF7}, "Master Fine Tuning", "+50.0 cents"},
      {{0x7F, 0x7F, 0x04, 0x04, 0x00, 0x42, 0xF7}, "Master Coarse Tuning", "+2 semitones"},
      {{0x7F, 0x7F, 0x04, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x40, 0xF7}, "Global Parameter Control", ""},
      {{0x7F, 0x7F, 0x01, 0x01, 0x21, 0x02, 0x03, 0x04, 0xF7}, "MTC Full Message", "01:02:03:04 (25 fps)"},
      {{0x7E, 0x7F, 0x08, 0x01, 0x00, 0xF7}, "Bulk Tuning Dump", ""},
      {{0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 0x45, 0x45, 0x00, 0x00, 0xF7}, "Single Note Tuning Change", ""},
      {{0x7E, 0x7F, 0x07, 0x01, 0x00, 0xF7}, "File Dump Header", ""},
      {{0x7E, 0x7F, 0x07, 0x02, 0x00, 0xF7}, "File Dump Data Packet", ""},
      {{0x7E, 0x00, 0x01, 0x00, 0x00, 0x10, 0xF7}, "Sample Dump Header", ""},
      {{0x7E, 0x00, 0x02, 0x05, 0x00, 0xF7}, "Sample Data Packet", ""},
      {{0x7E, 0x00, 0x7B, 0x05, 0xF7}, "End Of File", ""},
      {{0x7E, 0x00, 0x7C, 0x05, 0xF7}, "Wait", ""},
      {{0x7E, 0x00, 0x7D, 0x05, 0xF7}, "Cancel", ""},
      {{0x7E, 0x00, 0x7E, 0x05, 0xF7}, "NAK", ""},
      {{0x7E, 0x00, 0x7F, 0x05, 0xF7}, "ACK", ""},
      {{0x7F, 0x7F, 0x0A, 0x01, 0x00, 0x24, 0x07, 0x40, 0xF7}, "Key-Based Instrument Control", ""},
      {{0x7F, 0x7F, 0x09, 0x01, 0x00, 0x00, 0x40, 0xF7}, "Channel Pressure Destination", ""},
      {{0x7F, 0x7F, 0x09, 0x02, 0x00, 0x00, 0x40, 0xF7}, "Poly Pressure Destination", ""},
      {{0x7F, 0x7F, 0x09, 0x03, 0x00, 0x01, 0x00, 0x40, 0xF7}, "Control Change Destination", ""},
      // Not named: too short, an unlisted sub-ID, not universal.
      {{0x7E, 0x7F}, "", ""},
      {{0x7E, 0x7F, 0x09, 0x04, 0xF7}, "", ""},
      {{0x7F, 0x7F, 0x04, 0x06, 0xF7}, "", ""},
      {{0x7D, 0x7F, 0x09, 0x01, 0xF7}, "", ""},
  };
  for (const Case& c : cases) {
    const UniversalMessage m = ParseUniversal(c.message);
    EXPECT_EQ(UniversalName(m), c.name) << Trace(c.message);
    EXPECT_EQ(UniversalMeaning(m), c.meaning) << Trace(c.message);
  }
}

}  // namespace
}  // namespace mertovan
