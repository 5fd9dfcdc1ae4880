#include <gtest/gtest.h>

#include "analysis/listing.h"
#include "model/song.h"

namespace mertovan {
namespace {

Tsys WithPairs(std::initializer_list<std::pair<int, int>> pairs) {
  Tsys e;
  int i = 0;
  for (auto [n, v] : pairs) {
    e.ccNumber[i] = uint8_t(n);
    e.ccValue[i] = uint8_t(v);
    ++i;
  }
  return e;
}

TEST(Listing, ControllerColumn) {
  struct Case {
    std::initializer_list<std::pair<int, int>> pairs;
    const char* text;
  } cases[] = {
      {{{224, 5}, {255, 0}}, "pc5  "},
      {{{224, 127}, {7, 1}}, "pc127"},
      {{{7, 100}, {255, 0}, {10, 64}}, "cc7  ,100  : cc10 ,64 "},
      {{{99, 2}, {98, 16}, {6, 64}, {255, 0}}, "cc99 ,2    : cc98 ,16   : cc6  ,64 "},
      {{{99, 2}, {98, 16}, {6, 64}, {5, 5}}, "cc99 ,2    : cc98 ,16   : cc6  ,64 "},  // never the fourth
      {{{7, 100}, {255, 0}, {255, 0}}, "cc7  ,100"},
      {{{255, 0}}, " -"},
  };
  for (const Case& c : cases) EXPECT_EQ(CcText(WithPairs(c.pairs)), c.text);
}

TEST(Listing, SysExColumnStopsAtTheFirstF7WithinTheStoredBytes) {
  struct Case {
    std::vector<uint8_t> raw;
    const char* text;
  } cases[] = {
      {{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, "F0 43 10 4C 00 00 7E 00 F7 "},
      {{0x43, 0x10, 0xF7, 0x00}, "F0 43 10 F7 "},
      {{0x43, 0x10, 0x4C}, "F0 43 10 4C "},
      {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, "F0 7E 7F 09 01 F7 "},  // the repeated F0 is not shown
      {{0x43, 0xF0}, "F0 43 F0 "},  // a final F0 stays in the data
      {{0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B}, "F0 43 10 4C 08 00 0B "},  // no byte the file never held
      {{}, "F0 "},
  };
  for (const Case& c : cases) {
    SysExList list;
    EXPECT_EQ(CellText(list, list.Append(0, c.raw), 7, ViewMode::SysEx), c.text);
  }
}

TEST(Listing, CellsAndHeaders) {
  SysExList list;
  Tsys& e = list.Append(0, std::vector<uint8_t>{0x43, 0x10, 0x4C, 0x08, 0x10, 0x0B, 0x64, 0xF7});
  e.bar = 12;
  e.beat = 3;
  e.beatTick = 479;
  e.channel = 16;
  e.part = 16;
  e.ccNumber[0] = 7;
  e.ccValue[0] = 100;
  e.ccNumber[1] = e.ccNumber[2] = e.ccNumber[3] = 255;
  e.eventName = "Volume";
  e.valueText = "100";
  const char* sysex[] = {"", "12", "3", "479", "17", "Volume", "100", "F0 43 10 4C 08 10 0B 64 F7 "};
  for (int c = 1; c < kListingColumns; ++c) EXPECT_EQ(CellText(list, e, c, ViewMode::SysEx), sysex[c]) << c;
  EXPECT_EQ(CellText(list, e, 7, ViewMode::Cc), "cc7  ,100");
  EXPECT_EQ(ChannelText(255), "-");
  EXPECT_EQ(ChannelText(0), "1");
  EXPECT_EQ(ColumnHeader(7, ViewMode::SysEx), "SystemExclusiveMessage");
  EXPECT_EQ(ColumnHeader(7, ViewMode::Cc), "ControlChange");
  EXPECT_EQ(ColumnHeader(4, ViewMode::SysEx), "Ch");
  // A TSV row is the seven cells as the grid shows them.
  for (uint8_t channel : {16, 255}) {
    e.channel = channel;
    for (const ViewMode view : {ViewMode::Cc, ViewMode::SysEx}) {
      std::string row, cells;
      AppendTsvRow(row, list, e, view);
      for (int c = 1; c <= 7; ++c) cells += CellText(list, e, c, view) + (c == 7 ? "\n" : "\t");
      EXPECT_EQ(row, cells) << int(channel) << " " << int(view);
    }
  }
  EXPECT_EQ(TextColour(e), kConvertedText);
  e.ccNumber[0] = 255;
  EXPECT_EQ(TextColour(e), 0xAAAAAAu);
}

}  // namespace
}  // namespace mertovan
