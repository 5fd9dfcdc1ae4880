#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/param_names.h"
#include "model/song.h"

namespace mertovan {
namespace {

constexpr uint8_t kAny = 255;

std::string Hex(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v);
  return buf;
}

std::string Where(const TSYS_MSG_TYPE& t) {
  return Hex(t.model) + " " + Hex(t.addrHigh) + " " + Hex(t.addrMid) + " " + Hex(t.addrLow);
}

// ---------------------------------------------------------------------------
// The table itself

TEST(ParamTable, RowsPerModel) {
  const auto table = ParameterNameTable();
  ASSERT_EQ(table.size(), 901u);
  struct Range {
    size_t first, last;
    uint8_t model;
  };
  for (const Range r : {Range{0, 523, 0x4C}, Range{524, 646, 0x49}, Range{647, 900, 0x59}}) {
    for (size_t row = r.first; row <= r.last; ++row) {
      EXPECT_EQ(table[row].model, r.model) << "row " << row;
    }
  }
}

// One line per block, in table order: rows, model, address high and mid, the
// first and last entry's address low and name, and how many entries carry
// attribute 1. Typed from the parameter lists, not from the table.
struct Block {
  size_t first, last;
  uint8_t model, high, mid;
  uint8_t firstLow;
  std::string_view firstName;
  uint8_t lastLow;
  std::string_view lastName;
  int attributes;
};

constexpr Block kBlocks[] = {
    {0, 9, 0x4C, 0x00, 0x00, 0x00, "Master Tune", 0x7F, "All Prm Reset", 2},
    {10, 25, 0x4C, 0x01, 0x00, 0x00, "Model Name", 0x0F, "XG Level2", 0},
    {26, 105, 0x4C, 0x02, 0x01, 0x00, "Reverb Type MSB", 0x75, "Var Prm16", 0},
    {106, 126, 0x4C, 0x02, 0x40, 0x00, "EQ Type", 0x14, "EQ Shape5", 0},
    {127, 170, 0x4C, 0x03, 0x00, 0x00, "Ins Effect1 Type MSB", 0x43, "Ins Effect1 Prm10 LSB", 0},
    {171, 214, 0x4C, 0x03, 0x01, 0x00, "Ins Effect2 Type MSB", 0x43, "Ins Effect2 Prm10 LSB", 0},
    {215, 246, 0x4C, 0x06, 0x00, 0x00, "Disp Letter Data1", 0x1F, "Disp Letter Data32", 0},
    {247, 294, 0x4C, 0x07, 0x00, 0x00, "Disp Bitmap Data1", 0x2F, "Disp Bitmap Data48", 48},
    {295, 414, 0x4C, 0x08, kAny, 0x00, "Element Reserve", 0x7F, "not used", 27},
    {415, 417, 0x4C, 0x0A, kAny, 0x10, "Output Select", 0x21, "not used", 0},
    {418, 487, 0x4C, 0x10, kAny, 0x00, "Input Gain", 0x60, "AC2 Controller Number", 7},
    {488, 488, 0x4C, 0x11, 0x00, 0x00, "AD M/S Mode", 0x00, "AD M/S Mode", 0},
    {489, 523, 0x4C, 0xB0, kAny, 0x00, "Pitch Coarse", 0x61, "Velocity Sense LPF Cutoff", 4},
    {524, 536, 0x49, 0x00, 0x00, 0x00, "Mute Lock", 0x12, "Voice Map", 0},
    {537, 551, 0x49, 0x0A, 0x00, 0x00, "Play Switch", 0x0E, "Value+Switch", 0},
    {552, 611, 0x49, 0x30, kAny, 0x00, "Perform Name", 0x75, "Eq Gain5", 1},
    {612, 646, 0x49, 0xB0, kAny, 0x00, "Program Number", 0x22, "Velocity Limit High", 17},
    {647, 684, 0x59, 0x09, kAny, 0x00, "Program Number", 0x25, "Bank Select LSB", 11},
    {685, 743, 0x59, 0x0B, 0x00, 0x00, "Perform Name", 0x75, "Eq Gain5", 5},
    {744, 758, 0x59, 0x0C, 0x00, 0x00, "Ins Effect1 Type MSB", 0x0E, "Ins Effect1 Part", 0},
    {759, 773, 0x59, 0x0C, 0x01, 0x00, "Ins Effect2 Type MSB", 0x0E, "Ins Effect2 Part", 0},
    {774, 809, 0x59, 0xB0, kAny, 0x00, "Program Number", 0x31, "Bank Select LSB", 16},
    {810, 822, 0x59, 0x40, kAny, 0x00, "Perform Name", 0x17, "Portamento Time", 5},
    {823, 862, 0x59, 0x30, kAny, 0x20, "Reverb Type MSB", 0x47, "Var Part", 1},
    {863, 868, 0x59, 0x40, kAny, 0x70, "Eq Type", 0x75, "Eq Gain5", 0},
    {869, 883, 0x59, 0x50, kAny, 0x00, "Ins Effect1 Type MSB", 0x0E, "Ins Effect1 Part", 0},
    {884, 898, 0x59, 0x50, kAny, 0x00, "Ins Effect2 Type MSB", 0x0E, "Ins Effect2 Part", 0},
    {899, 899, 0x59, 0x60, kAny, 0x64, "Plugin Board1 Prm", 0x64, "Plugin Board1 Prm", 0},
    {900, 900, 0x59, 0x61, kAny, 0x64, "Plugin Board2 Prm", 0x64, "Plugin Board2 Prm", 0},
};

TEST(ParamTable, BlocksCoverTheTableInOrder) {
  const auto table = ParameterNameTable();
  ASSERT_EQ(table.size(), 901u);
  size_t next = 0;
  int attributes = 0;
  for (const Block& b : kBlocks) {
    SCOPED_TRACE("block of rows " + std::to_string(b.first) + "-" + std::to_string(b.last));
    ASSERT_EQ(b.first, next);
    ASSERT_LE(b.last, 900u);
    int blockAttributes = 0;
    for (size_t row = b.first; row <= b.last; ++row) {
      const TSYS_MSG_TYPE& t = table[row];
      EXPECT_EQ(t.model, b.model) << "row " << row;
      EXPECT_EQ(t.addrHigh, b.high) << "row " << row;
      EXPECT_EQ(t.addrMid, b.mid) << "row " << row;
      if (row > b.first) {
        EXPECT_GT(t.addrLow, table[row - 1].addrLow) << "row " << row;
      }
      blockAttributes += t.attribute;
    }
    EXPECT_EQ(table[b.first].addrLow, b.firstLow);
    EXPECT_EQ(table[b.first].name, b.firstName);
    EXPECT_EQ(table[b.last].addrLow, b.lastLow);
    EXPECT_EQ(table[b.last].name, b.lastName);
    EXPECT_EQ(blockAttributes, b.attributes);
    attributes += blockAttributes;
    next = b.last + 1;
  }
  EXPECT_EQ(next, 901u);
  EXPECT_EQ(attributes, 144);
}

TEST(ParamTable, EntriesAreWellFormed) {
  for (const TSYS_MSG_TYPE& t : ParameterNameTable()) {
    SCOPED_TRACE(Where(t));
    // No entry matches any model or any address low; the index relies on it.
    EXPECT_NE(t.model, 255);
    EXPECT_NE(t.addrLow, 255);
    EXPECT_LT(t.addrLow, 0x80);
    EXPECT_TRUE(t.addrHigh < 0x80 || t.addrHigh == 0xB0);
    EXPECT_TRUE(t.addrMid < 0x80 || t.addrMid == kAny);
    EXPECT_LE(t.attribute, 1);
    ASSERT_FALSE(t.name.empty());
    EXPECT_NE(t.name.front(), ' ');
    EXPECT_NE(t.name.back(), ' ');
    EXPECT_EQ(t.name.find("  "), std::string_view::npos);
    for (char c : t.name) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << t.name;
  }
}

// Names inside the blocks: the odd spellings that must survive, and the places
// where an expanded run could slip by one.
TEST(ParamTable, NamesInsideBlocks) {
  struct Case {
    uint8_t model, high, mid, low;
    std::string_view name;
    uint16_t attribute;
  };
  const Case cases[] = {
      {0x4C, 0x00, 0x00, 0x03, "Master Tune", 0},
      {0x4C, 0x00, 0x00, 0x05, "Master Attenuator", 1},
      {0x4C, 0x00, 0x00, 0x06, "Transpose", 0},
      {0x4C, 0x00, 0x00, 0x7E, "XG System on", 0},
      {0x4C, 0x01, 0x00, 0x0D, "Model Name", 0},
      {0x4C, 0x02, 0x01, 0x0B, "Reverb Prm10", 0},
      {0x4C, 0x02, 0x01, 0x10, "Reverb Prm11", 0},
      {0x4C, 0x02, 0x01, 0x2E, "Send Chorus To Reverb", 0},
      {0x4C, 0x02, 0x01, 0x42, "Var Prm1 MSB", 0},
      {0x4C, 0x02, 0x01, 0x53, "Var Prm9 LSB", 0},
      {0x4C, 0x02, 0x01, 0x55, "Var Prm10 LSB", 0},
      {0x4C, 0x02, 0x01, 0x70, "Var Prm11", 0},
      {0x4C, 0x02, 0x40, 0x0C, "not used", 0},
      {0x4C, 0x03, 0x00, 0x0B, "Ins Effect1 Prm10", 0},
      {0x4C, 0x03, 0x00, 0x30, "Ins Effect1 Prm1 MSB", 0},
      {0x4C, 0x03, 0x01, 0x25, "Ins Effect2 Prm16", 0},
      {0x4C, 0x07, 0x00, 0x17, "Disp Bitmap Data24", 1},
      {0x4C, 0x08, kAny, 0x06, "Same Note Number Key on Assign", 0},
      {0x4C, 0x08, kAny, 0x09, "Detune", 0},
      {0x4C, 0x08, kAny, 0x0A, "Detune", 0},
      {0x4C, 0x08, kAny, 0x0B, "Volume", 1},
      {0x4C, 0x08, kAny, 0x28, "Bend LFO Amod Depth", 1},
      {0x4C, 0x08, kAny, 0x31, "Rcv Ch After Touch(CAT)", 0},
      {0x4C, 0x08, kAny, 0x38, "Rcv Moduration", 0},
      {0x4C, 0x08, kAny, 0x42, "Scale Tuning C#", 0},
      {0x4C, 0x08, kAny, 0x67, "Portamento Switch", 0},
      {0x4C, 0x08, kAny, 0x68, "Portamento Time", 1},
      {0x4C, 0x08, kAny, 0x69, "Pitch EG Initial Level", 0},
      {0x4C, 0x08, kAny, 0x77, "Eq Treble Freq", 0},
      {0x4C, 0x10, kAny, 0x35, "Mute", 0},
      {0x4C, 0x10, kAny, 0x59, "AC1 Controller Number", 0},
      {0x4C, 0xB0, kAny, 0x0F, "Eg Decay2 Rate", 0},
      {0x4C, 0xB0, kAny, 0x07, "Var Send", 1},
      {0x49, 0x00, 0x00, 0x03, "Rcv GM Exclsv Mesg", 0},
      {0x49, 0x00, 0x00, 0x07, "Perform system Transpose", 0},
      {0x49, 0x00, 0x00, 0x10, "Drum Edit Rcv Note", 0},
      {0x49, 0x00, 0x00, 0x11, "OUtput Select Lock", 0},
      {0x49, 0x0A, 0x00, 0x09, "Part- Switch", 0},
      {0x49, 0x30, kAny, 0x0C, "Perform Volume", 1},
      {0x49, 0x30, kAny, 0x32, "Send Chorus to Reverb", 0},
      {0x49, 0x30, kAny, 0x3E, "Var Prm5 LSB", 0},
      {0x49, 0x30, kAny, 0x3F, "Var Prm10 MSB", 0},
      {0x49, 0x30, kAny, 0x4E, "Ins Effect1 Prm5", 0},
      {0x49, 0x30, kAny, 0x4F, "Ins Effect1 Prm10", 0},
      {0x49, 0xB0, kAny, 0x12, "Detune", 0},
      {0x49, 0xB0, kAny, 0x18, "MW LFO Fmod Depth", 1},
      {0x59, 0x09, kAny, 0x09, "Rcv Note Msg(Mute)", 0},
      {0x59, 0x09, kAny, 0x18, "MONO/POLY Mode", 0},
      {0x59, 0x0B, 0x00, 0x10, "MW LFO PMOD Depth", 1},
      {0x59, 0x0C, 0x00, 0x0B, "Ins Effect1 Prm5 LSB", 0},
      {0x59, 0x0C, 0x00, 0x0C, "Ins Effect1 Prm10 MSB", 0},
      {0x59, 0xB0, kAny, 0x04, "Dry Send Level", 1},
      {0x59, 0xB0, kAny, 0x21, "HPF Cutoff Freq", 0},
      {0x59, 0x40, kAny, 0x13, "AC1 Filter Control", 0},
      {0x59, 0x30, kAny, 0x45, "AC1 Var Control Depth", 1},
  };
  const auto table = ParameterNameTable();
  for (const Case& c : cases) {
    int found = 0;
    for (const TSYS_MSG_TYPE& t : table) {
      if (t.model == c.model && t.addrHigh == c.high && t.addrMid == c.mid && t.addrLow == c.low) {
        ++found;
        EXPECT_EQ(t.name, c.name) << Where(t);
        EXPECT_EQ(t.attribute, c.attribute) << Where(t);
      }
    }
    EXPECT_EQ(found, 1) << Hex(c.model) << " " << Hex(c.high) << " " << Hex(c.mid) << " " << Hex(c.low);
  }
}

// ---------------------------------------------------------------------------
// Naming the events of the list

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> v;
  for (int b : values) v.push_back(uint8_t(b));
  return v;
}

TEST(ParamNames, NamesAndValuesOfMessages) {
  struct Case {
    std::vector<uint8_t> afterF0;
    std::string_view name, value;
  };
  const Case cases[] = {
      {Bytes({0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}), "XG System on", "0"},
      {Bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7}), "GM System On", " -"},
      // Outside the XG table: universal and GS messages by their own names,
      // a GS value as its first data byte; a GS address it does not know, none.
      {Bytes({0x7E, 0x10, 0x09, 0x01, 0xF7}), "GM System On", " -"},
      {Bytes({0x7F, 0x7F, 0x04, 0x01, 0x00, 0x60, 0xF7}), "Master Volume", " -"},
      {Bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}), "GS Reset", "0"},
      {Bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x19, 0x64, 0x29, 0xF7}), "Part Level", "100"},
      {Bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x7F, 0x7F, 0x00, 0x42, 0xF7}), " -", " -"},
      {Bytes({0x43, 0x10, 0x4C, 0x08, 0x02, 0x0B, 0x64, 0xF7}), "Volume", "100"},
      // Neither manufacturer nor device byte is looked at.
      {Bytes({0x43, 0x00, 0x4C, 0x08, 0x02, 0x0B, 0x64, 0xF7}), "Volume", "100"},
      {Bytes({0x43, 0x10, 0x4C, 0x00, 0x00, 0x02, 0x05, 0xF7}), "Master Tune", "5"},
      {Bytes({0x43, 0x10, 0x4C, 0x08, 0x0F, 0x0A, 0x7F, 0xF7}), "Detune", "127"},
      // Effect addresses need their exact address mid.
      {Bytes({0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0xF7}), "Reverb Type MSB", "1"},
      {Bytes({0x43, 0x10, 0x4C, 0x02, 0x02, 0x00, 0x01, 0xF7}), " -", " -"},
      // Drum setup: any address high 30-3F, any note.
      {Bytes({0x43, 0x10, 0x4C, 0x30, 0x24, 0x0B, 0x50, 0xF7}), "LPF Cutoff Freq", "80"},
      {Bytes({0x43, 0x10, 0x4C, 0x37, 0x24, 0x0B, 0x50, 0xF7}), "LPF Cutoff Freq", "80"},
      {Bytes({0x43, 0x10, 0x4C, 0x31, 0x7F, 0x61, 0x40, 0xF7}), "Velocity Sense LPF Cutoff", "64"},
      {Bytes({0x43, 0x10, 0x4C, 0x40, 0x24, 0x0B, 0x50, 0xF7}), " -", " -"},
      // 49 30: the masked part block comes later and wins where both fit.
      {Bytes({0x43, 0x10, 0x49, 0x30, 0x05, 0x00, 0x10, 0xF7}), "Program Number", "16"},
      {Bytes({0x43, 0x10, 0x49, 0x30, 0x05, 0x0C, 0x10, 0xF7}), "Eg Decay Time", "16"},
      {Bytes({0x43, 0x10, 0x49, 0x30, 0x05, 0x20, 0x10, 0xF7}), "Portamento Time", "16"},
      {Bytes({0x43, 0x10, 0x49, 0x30, 0x05, 0x23, 0x10, 0xF7}), "Reverb Prm2", "16"},
      {Bytes({0x43, 0x10, 0x49, 0x3A, 0x05, 0x00, 0x10, 0xF7}), "Program Number", "16"},
      {Bytes({0x43, 0x10, 0x49, 0x3A, 0x05, 0x23, 0x10, 0xF7}), " -", " -"},
      // 59 30: the plain block comes after the masked one and wins.
      {Bytes({0x43, 0x10, 0x59, 0x30, 0x00, 0x20, 0x02, 0xF7}), "Reverb Type MSB", "2"},
      {Bytes({0x43, 0x10, 0x59, 0x30, 0x00, 0x30, 0x02, 0xF7}), "Chorus Return", "2"},
      {Bytes({0x43, 0x10, 0x59, 0x30, 0x00, 0x1F, 0x02, 0xF7}), "Eq Bass Freq", "2"},
      // 59 50: two blocks share the addresses; the later one names them.
      {Bytes({0x43, 0x10, 0x59, 0x50, 0x03, 0x00, 0x09, 0xF7}), "Ins Effect2 Type MSB", "9"},
      {Bytes({0x43, 0x10, 0x59, 0x50, 0x03, 0x0E, 0x09, 0xF7}), "Ins Effect2 Part", "9"},
      // An F0 inside the message is not part of the data the names are read from.
      {Bytes({0x43, 0x10, 0x4C, 0xF0, 0x08, 0x02, 0x0B, 0x64, 0xF7}), "Volume", "100"},
      // Too short to hold any address: nothing to name.
      {Bytes({}), " -", " -"},
      {Bytes({0xF7}), " -", " -"},
  };
  SysExList list;
  for (const Case& c : cases) {
    Tsys& e = list.Append(0, c.afterF0);
    NameEvent(list, e, ExtentOf(list, e));
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(list.events[i].eventName, cases[i].name) << "message " << i;
    EXPECT_EQ(list.events[i].valueText, cases[i].value) << "message " << i;
  }
}

// Every event of `list` with its data bytes 2 to 5 set to the given address.
// The bytes are written into the data view directly, so that address bytes F0
// (which the reader would drop) are covered too.
void SetAddress(SysExList& list, const Tsys& e, uint8_t model, uint8_t high, uint8_t mid, uint8_t low) {
  const size_t at = size_t(list.Data(e).data() - list.bytes.data());
  list.bytes[at + 2] = model;
  list.bytes[at + 3] = high;
  list.bytes[at + 4] = mid;
  list.bytes[at + 5] = low;
}

// The index must give exactly the row of the last matching entry, for every
// address. The reference is the plain walk with EntryMatches. An entry can only
// fit a message whose address low equals its own (no entry has an "any"
// address low: see EntriesAreWellFormed), so the walk for a message tries the
// entries of its address low, in table order; the full walk over all 901
// entries is checked against the index separately below, on fewer addresses.
TEST(ParamIndex, AgreesWithTheLastMatchWalk) {
  const auto table = ParameterNameTable();
  ASSERT_EQ(table.size(), 901u);
  std::array<std::vector<size_t>, 256> rowsOfLow;
  for (size_t row = 0; row < table.size(); ++row) rowsOfLow[table[row].addrLow].push_back(row);

  const uint8_t models[] = {0x4C, 0x49, 0x59, 0x43};
  const uint8_t mids[] = {0x00, 0x01, 0x02, 0x40, 0x7F, 0xFF};
  SysExList list;
  const uint8_t msg[] = {0x43, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
  const Tsys& e = list.Append(0, msg);
  long mismatches = 0;
  long named = 0;
  for (uint8_t model : models) {
    for (int high = 0; high < 256; ++high) {
      for (uint8_t mid : mids) {
        for (int low = 0; low < 256; ++low) {
          SetAddress(list, e, model, uint8_t(high), mid, uint8_t(low));
          int walk = -1;
          for (size_t row : rowsOfLow[size_t(low)]) {
            if (EntryMatches(table[row], list, e)) walk = int(row);
          }
          const int row = ParameterRow(list, e);
          if (row >= 0) ++named;
          if (row != walk && ++mismatches <= 10) {
            ADD_FAILURE() << Hex(model) << " " << Hex(high) << " " << Hex(mid) << " " << Hex(low)
                          << ": index row " << row << ", walk row " << walk;
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Guards against a vacuous pass (an empty table agrees with everything).
  EXPECT_GT(named, 10000);
}

// The full walk over all 901 entries, on the addresses around every entry
// (its own address low and the neighbours) at the plain and masked address
// highs and at several address mids.
TEST(ParamIndex, AgreesWithTheFullWalkAroundEveryEntry) {
  const auto table = ParameterNameTable();
  std::vector<std::array<uint8_t, 4>> probes;
  for (const TSYS_MSG_TYPE& t : table) {
    for (int high : {int(t.addrHigh), 0x2F, 0x30, 0x3F, 0x40, 0xB0, 0xBF, 0xF0}) {
      for (int mid : {0x00, 0x01, 0x40, 0x7F, 0xFF}) {
        for (int low : {int(t.addrLow) - 1, int(t.addrLow), int(t.addrLow) + 1}) {
          if (low >= 0) probes.push_back({t.model, uint8_t(high), uint8_t(mid), uint8_t(low)});
        }
      }
    }
  }
  std::sort(probes.begin(), probes.end());
  probes.erase(std::unique(probes.begin(), probes.end()), probes.end());

  SysExList list;
  const uint8_t msg[] = {0x43, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
  const Tsys& e = list.Append(0, msg);
  long mismatches = 0;
  for (const auto& p : probes) {
    SetAddress(list, e, p[0], p[1], p[2], p[3]);
    int walk = -1;
    for (size_t row = 0; row < table.size(); ++row) {
      if (EntryMatches(table[row], list, e)) walk = int(row);
    }
    const int row = ParameterRow(list, e);
    if (row != walk && ++mismatches <= 10) {
      ADD_FAILURE() << Hex(p[0]) << " " << Hex(p[1]) << " " << Hex(p[2]) << " " << Hex(p[3])
                    << ": index row " << row << ", walk row " << walk;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace mertovan
