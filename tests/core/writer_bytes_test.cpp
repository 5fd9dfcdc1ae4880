// The converted file byte for byte: primitives, the whole file for small
// lists, the channel, setup and pass-through track bodies.
#include <gtest/gtest.h>

#include "analysis/conversion.h"
#include "support/event_list.h"
#include "support/hex.h"
#include "support/recording_messages.h"
#include "support/smf_builder.h"
#include "support/strict_smf_reader.h"
#include "writer/file_image.h"
#include "writer/tracks.h"
#include "writer/writer.h"

namespace mertovan {
namespace {

using test::AddConverted;
using test::AddEvent;
using test::ByteVec;
using test::FromHex;
using test::Hex;
using test::kSomeXg;

const char kHeader3[] = "4D 54 68 64 00 00 00 06 00 01 00 03 01 E0";
const char kConductorChunk[] =
    "4D 54 72 6B 00 00 00 27 00 FF 03 10 4D 45 52 54 4F 56 41 4E 20 43 4F 4E 56 45 52 54 "
    "00 FF 51 03 07 A1 20 00 FF 58 04 04 02 18 08 00 FF 2F 00";
const char kEmptyTrackChunk[] = "4D 54 72 6B 00 00 00 04 00 FF 2F 00";

std::string Join(std::initializer_list<std::string> parts) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

ConvertOptions Options(bool formal, bool include) { return {formal ? Layout::Formal : Layout::Plain, include}; }

// Each test builds its song record by record.
class WriterBytes : public ::testing::Test {
 protected:
  // The body of one channel track as the conversion builds it, or "none".
  std::string ChannelBody(bool formal, uint8_t channel) const {
    const TickOrder order = SortEventsByTick(song.sysEx);
    SetupTable setup = InitSetupTable();
    MarkSetupUsage(setup, song, order);
    ByteBuffer body;
    const int r = formal ? BuildFormalTrack(channel, setup, song, order, body)
                         : BuildPlainTrack(channel, song, order, body);
    if (r != 0) return body.empty() ? "none" : "none, but bytes: " + Hex(body);
    return Hex(body);
  }
  std::string SysExBody(bool formal) const {
    ByteBuffer body;
    EXPECT_EQ(BuildSysExTrack(song, SortEventsByTick(song.sysEx), Options(formal, true), body), 0);
    return Hex(body);
  }
  Song song;
};

TEST(EncodeVarLen, FileOrderAcrossEveryWidth) {
  const struct {
    uint32_t value;
    const char* bytes;
  } cases[] = {
      {0, "00"},           {127, "7F"},          {128, "81 00"},       {480, "83 60"},
      {1920, "8F 00"},     {16383, "FF 7F"},     {16384, "81 80 00"},  {2097151, "FF FF 7F"},
      {2097152, "81 80 80 00"}, {268435455, "FF FF FF 7F"},
  };
  for (const auto& c : cases) {
    ByteBuffer out;
    AppendVarLen(out, c.value, "value", 0);
    EXPECT_EQ(Hex(out), c.bytes) << c.value;
    EXPECT_EQ(EncodeVarLen(c.value).count, out.size()) << c.value;
  }
  // The packed form keeps the last group lowest.
  EXPECT_EQ(EncodeVarLen(480).packed, 0x8360u);
  EXPECT_EQ(EncodeVarLen(2097152).packed, 0x81808000u);
  for (uint32_t tooLong : {268435456u, 0xFFFFFFFFu}) {
    EXPECT_EQ(EncodeVarLen(tooLong).count, 0) << tooLong;
    ByteBuffer out;
    EXPECT_THROW(AppendVarLen(out, tooLong, "value", 0), ConvertError);
    EXPECT_TRUE(out.empty());
  }
}

TEST_F(WriterBytes, OneVolumeEventMakesThe89ByteFile) {
  AddEvent(song, 0, kSomeXg, 0, {{7, 100}});
  song.channelUsage[0] = 1;
  const auto image = BuildFileImage(song, Options(false, false));
  EXPECT_EQ(image.size(), 89u);
  EXPECT_EQ(Hex(image), Join({kHeader3, kConductorChunk, kEmptyTrackChunk,
                              "4D 54 72 6B 00 00 00 08 00 B0 07 64 00 FF 2F 00"}));
}

TEST_F(WriterBytes, FormalTwinOfThe89ByteFileStartsAtTheSecondBar) {
  AddEvent(song, 0, kSomeXg, 0, {{7, 100}});
  song.channelUsage[0] = 1;
  const auto image = BuildFileImage(song, Options(true, false));
  EXPECT_EQ(Hex(image), Join({kHeader3, kConductorChunk, kEmptyTrackChunk,
                              "4D 54 72 6B 00 00 00 09 8F 00 B0 07 64 00 FF 2F 00"}));
}

TEST_F(WriterBytes, EmptyListMakesThe73ByteFileInEveryMode) {
  for (const bool formal : {false, true}) {
    for (const bool include : {false, true}) {
      const auto image = BuildFileImage(song, Options(formal, include));
      EXPECT_EQ(Hex(image), Join({"4D 54 68 64 00 00 00 06 00 01 00 02 01 E0", kConductorChunk,
                                  kEmptyTrackChunk}))
          << int(formal) << int(include);
      EXPECT_EQ(image.size(), 73u);
    }
  }
}

TEST_F(WriterBytes, MarkerSitsAtOffset26FollowedByZero) {
  AddEvent(song, 0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);
  AddEvent(song, 100, kSomeXg, 3, {{7, 90}});
  song.channelUsage[3] = 1;
  for (const bool formal : {false, true}) {
    const auto image = BuildFileImage(song, Options(formal, true));
    ASSERT_GT(image.size(), 43u);
    EXPECT_EQ(std::string(image.begin() + 26, image.begin() + 42), kMarkerText);
    EXPECT_EQ(image[42], 0);
  }
}

TEST_F(WriterBytes, UnconvertedOnlyChannelHasEmptyTrackInPlainNoneInFormal) {
  AddEvent(song, 0, kSomeXg, 0, {{7, 100}});
  AddEvent(song, 10, kSomeXg, 4);  // addressed to part 4, nothing converted
  song.channelUsage[0] = 1;
  const auto plain = BuildFileImage(song, Options(false, false));
  EXPECT_EQ(plain[11], 4);  // conductor, pass-through, channels 0 and 4
  EXPECT_EQ(Hex(std::span(plain).last(12)), kEmptyTrackChunk);
  EXPECT_EQ(ChannelBody(0, 4), "");
  EXPECT_EQ(ChannelBody(1, 4), "none");
  EXPECT_EQ(BuildFileImage(song, Options(true, false))[11], 3);
}

// The example list: XG System On, a program change and a volume on part 0,
// an NRPN on part 1.
void AddExampleList(Song& song) {
  AddEvent(song, 0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);
  AddEvent(song, 480, kSomeXg, 0, {{224, 5}});
  AddEvent(song, 490, kSomeXg, 0, {{7, 90}});
  AddEvent(song, 500, kSomeXg, 1, {{99, 1}, {98, 8}, {6, 70}});
  song.channelUsage[0] = 2;
  song.channelUsage[1] = 1;
}

TEST_F(WriterBytes, ChannelBodiesOfTheExampleList) {
  AddExampleList(song);
  const struct {
    uint8_t formal, channel;
    const char* body;
  } cases[] = {
      {0, 0, "83 60 C0 05 0A B0 07 5A"},
      {0, 1, "83 74 B1 63 01 03 B1 62 08 03 B1 06 46"},
      // The NRPN reaches part 0 with its default; bank select comes with the
      // program change.
      {1, 0, "8F 00 B0 00 00 0A B0 20 00 0A C0 05 0A B0 07 5A 0A B0 63 01 01 B0 62 08 01 B0 06 40"},
      {1, 1, "8F 00 B1 00 00 0A B1 20 00 0A C1 00 0A B1 07 64 0A B1 63 01 01 B1 62 08 01 B1 06 46"},
      {0, 2, "none"},
      {1, 2, "none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChannelBody(c.formal, c.channel), c.body) << "formal " << int(c.formal) << " channel "
                                                       << int(c.channel);
  }
}

TEST_F(WriterBytes, DrumGroupsFollowTableOrderThenTimeOrder) {
  AddConverted(song, 0, 9, {{99, 24}, {98, 36}, {6, 70}});
  AddConverted(song, 0, 9, {{99, 20}, {98, 36}, {6, 80}});
  AddConverted(song, 0, 9, {{99, 24}, {98, 38}, {6, 60}});
  EXPECT_EQ(ChannelBody(1, 9),
            "8F 00 B9 63 14 01 B9 62 24 01 B9 06 50 04 B9 63 18 01 B9 62 24 01 B9 06 46 04 B9 63 18 01 "
            "B9 62 26 01 B9 06 3C");
  // Drum settings are not spread to other parts.
  song.channelUsage[2] = 1;
  EXPECT_EQ(ChannelBody(1, 2), "none");
}

TEST_F(WriterBytes, TenthPartGetsTheDrumKitBankUnlessItSetsItsOwn) {
  AddConverted(song, 0, 0, {{0, 3}});
  AddConverted(song, 0, 9, {{7, 99}});
  EXPECT_EQ(ChannelBody(1, 9), "8F 00 B9 00 7F 0A B9 20 00 0A C9 00 0A B9 07 63");
  AddConverted(song, 5, 9, {{0, 126}});
  EXPECT_EQ(ChannelBody(1, 9), "8F 00 B9 00 7E 0A B9 20 00 0A C9 00 0A B9 07 63");
  // Other parts get the default bank 0.
  EXPECT_EQ(ChannelBody(1, 0), "8F 00 B0 00 03 0A B0 20 00 0A C0 00 0A B0 07 64");
}

TEST_F(WriterBytes, PortamentoControllersOnlyInPlainLayout) {
  // Portamento time (5) and switch (65) have no setup-table entry, pan (10) has.
  const std::pair<uint8_t, uint8_t> changes[] = {{5, 30}, {65, 127}, {10, 40}};
  uint32_t tick = 0;
  for (const auto& change : changes) {
    AddConverted(song, tick, 2, {change});
    tick += 10;
  }
  EXPECT_EQ(ChannelBody(0, 2), "00 B2 05 1E 0A B2 41 7F 0A B2 0A 28");
  EXPECT_EQ(ChannelBody(1, 2), "8F 00 B2 0A 28");
}

TEST_F(WriterBytes, PartsFrom16UseTheLowNibbleInTracksOfTheirOwn) {
  AddConverted(song, 0, 16, {{7, 1}});
  AddConverted(song, 0, 0, {{7, 2}});
  AddConverted(song, 0, 31, {{224, 3}});
  EXPECT_EQ(ChannelBody(0, 16), "00 B0 07 01");
  EXPECT_EQ(ChannelBody(0, 31), "00 CF 03");
  EXPECT_EQ(ChannelBody(1, 16), "8F 00 B0 00 00 0A B0 20 00 0A C0 00 0A B0 07 01");
  EXPECT_EQ(ChannelBody(1, 31), "8F 00 BF 00 00 0A BF 20 00 0A CF 03 0A BF 07 64");
  const auto image = BuildFileImage(song, Options(false, false));
  EXPECT_EQ(image[11], 5);
  // Channel order: 0, 16, 31.
  EXPECT_EQ(Hex(std::span(image).last(3 * 12 + 3)),
            "00 B0 07 02 00 FF 2F 00 4D 54 72 6B 00 00 00 08 00 B0 07 01 00 FF 2F 00 4D 54 72 6B 00 00 "
            "00 07 00 CF 03 00 FF 2F 00");
}

// The pass-through example: XG System On, a part mode message, a converted
// volume, a reverb setting.
void AddPassThroughList(Song& song) {
  AddEvent(song, 0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);
  AddEvent(song, 20, {0x43, 0x10, 0x4C, 0x08, 0x09, 0x07, 0x02, 0xF7}, 9);
  AddEvent(song, 30, kSomeXg, 0, {{7, 100}});
  AddEvent(song, 40, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x10, 0xF7}, 255);
}

TEST_F(WriterBytes, PassThroughBodies) {
  AddPassThroughList(song);
  EXPECT_EQ(SysExBody(0),
            "00 F0 08 43 10 4C 00 00 7E 00 F7 14 F0 08 43 10 4C 08 09 07 02 F7 14 F0 09 43 10 4C 02 01 00 01 "
            "10 F7");
  EXPECT_EQ(SysExBody(1),
            "00 F0 08 43 10 4C 00 00 7E 00 F7 83 60 F0 08 43 10 4C 08 09 07 02 F7 0A F0 09 43 10 4C 02 01 00 "
            "01 10 F7");
  ByteBuffer off;
  EXPECT_EQ(BuildSysExTrack(song, SortEventsByTick(song.sysEx), Options(true, false), off), 0);
  EXPECT_TRUE(off.empty());
}

TEST_F(WriterBytes, OnlyXgSystemOnOfDeviceZeroOpensTheGap) {
  AddEvent(song, 0, {0x43, 0x11, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);
  AddEvent(song, 0, {0x41, 0x10, 0x42, 0x12, 0xF7}, 255);
  AddEvent(song, 0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);  // last: no gap anywhere
  EXPECT_EQ(SysExBody(1),
            "00 F0 08 43 11 4C 00 00 7E 00 F7 0A F0 05 41 10 42 12 F7 0A F0 08 43 10 4C 00 00 7E 00 F7");
}

TEST_F(WriterBytes, LongAndPackedSysExPassThroughAsTheFileHeldThem) {
  ByteVec longMessage = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00};
  for (int i = 0; i < 194; ++i) longMessage.push_back(uint8_t(i & 0x7F));
  longMessage.push_back(0xF7);  // 201 bytes after F0
  const ByteVec packed = {0x43, 0x10, 0x4C, 0x08, 0x00, 0x0B, 0x64, 0xF7, 0xF0,
                          0x43, 0x10, 0x4C, 0x08, 0x01, 0x0B, 0x50, 0xF7};
  AddEvent(song, 0, longMessage, 255);
  AddEvent(song, 5, packed, 255);
  EXPECT_EQ(SysExBody(0), "00 F0 81 49 " + Hex(longMessage) + " 05 F0 11 " + Hex(packed));
}

TEST_F(WriterBytes, TracksRunForwardsWhateverTheListOrder) {
  // Two source tracks: the second one's events start again at tick 0.
  AddEvent(song, 960, kSomeXg, 0, {{7, 50}});
  AddEvent(song, 1000, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x05, 0xF7}, 255);
  AddEvent(song, 0, kSomeXg, 0, {{7, 90}});
  AddEvent(song, 0, kSomeXg, 0, {{10, 20}});
  AddEvent(song, 20, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 255);
  AddEvent(song, 960, kSomeXg, 9, {{99, 24}, {98, 40}, {6, 1}});
  AddEvent(song, 0, kSomeXg, 9, {{99, 24}, {98, 41}, {6, 2}});
  song.channelUsage[0] = 3;
  song.channelUsage[9] = 2;
  // Equal ticks keep list order (volume before pan at 0).
  EXPECT_EQ(ChannelBody(0, 0), "00 B0 07 5A 00 B0 0A 14 87 40 B0 07 32");
  EXPECT_EQ(SysExBody(0), "14 F0 08 43 10 4C 00 00 7E 00 F7 87 54 F0 08 43 10 4C 02 01 40 05 F7");
  EXPECT_EQ(SysExBody(1), "00 F0 08 43 10 4C 00 00 7E 00 F7 83 60 F0 08 43 10 4C 02 01 40 05 F7");
  // The latest setting in time wins, not the last one in the list; drum
  // events go in time order.
  EXPECT_EQ(ChannelBody(1, 0), "8F 00 B0 07 32 0A B0 0A 14");
  EXPECT_EQ(ChannelBody(1, 9),
            "8F 00 B9 07 64 0A B9 0A 40 0A B9 63 18 01 B9 62 29 01 B9 06 02 04 B9 63 18 01 B9 62 28 01 B9 "
            "06 01");
}

TEST_F(WriterBytes, PlainLayoutKeepsGroupsWholeAndTimeExact) {
  AddEvent(song, 100, kSomeXg, 0, {{99, 1}, {98, 8}, {6, 70}});  // messages at 100, 103, 106
  AddEvent(song, 101, kSomeXg, 0, {{7, 1}});                      // inside the group: right after, 106
  AddEvent(song, 110, kSomeXg, 0, {{101, 0}, {100, 0}, {6, 2}});  // 110, 113, 116
  AddEvent(song, 200, kSomeXg, 0, {{10, 3}});                     // exactly 200
  AddEvent(song, 116, kSomeXg, 0);                                // nothing converted: no message
  song.channelUsage[0] = 4;
  EXPECT_EQ(ChannelBody(0, 0),
            "64 B0 63 01 03 B0 62 08 03 B0 06 46 00 B0 07 01 04 B0 65 00 03 B0 64 00 03 B0 06 02 54 B0 0A 03");
}

TEST_F(WriterBytes, GapsTooLongForAMidiFileRefuseTheConversion) {
  AddEvent(song, 0, kSomeXg, 0, {{7, 1}});
  AddEvent(song, 268435455, kSomeXg, 0, {{7, 2}});
  song.channelUsage[0] = 2;
  EXPECT_NO_THROW(BuildFileImage(song, Options(false, true)));
  AddEvent(song, 268435455u + 268435456u, kSomeXg, 0, {{7, 3}});
  try {
    BuildFileImage(song, Options(false, true));
    ADD_FAILURE() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("536870911"), std::string::npos) << e.what();
  }
  // The formal layout does not depend on the source's times.
  EXPECT_NO_THROW(BuildFileImage(song, Options(true, true)));
  // The same for the pass-through track in plain layout.
  song = Song{};
  AddEvent(song, 300000000, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x05, 0xF7}, 255);
  EXPECT_THROW(BuildFileImage(song, Options(false, true)), ConvertError);
  EXPECT_NO_THROW(BuildFileImage(song, Options(false, false)));
  EXPECT_NO_THROW(BuildFileImage(song, Options(true, true)));
}

TEST(SetupControllerTable, EntriesAndTheirOrder) {
  ASSERT_EQ(kSetupControllers.size(), 38u);
  // The voice first, then single controllers, NRPN, RPN, drum NRPN; each
  // kind in one block, in that order.
  EXPECT_EQ(kSetupControllers[0].number, 0);
  EXPECT_EQ(kSetupControllers[1].number, 32);
  EXPECT_EQ(kSetupControllers[2].number, kProgramChange);
  int lastKind = 0;
  for (const auto& c : kSetupControllers) {
    EXPECT_GE(int(c.kind), lastKind) << c.source;
    lastKind = int(c.kind);
  }
  const auto kindCount = [](SetupKind k) {
    return std::count_if(kSetupControllers.begin(), kSetupControllers.end(),
                         [k](const SetupController& c) { return c.kind == k; });
  };
  EXPECT_EQ(kindCount(SetupKind::Controller), 12);
  EXPECT_EQ(kindCount(SetupKind::Nrpn), 9);
  EXPECT_EQ(kindCount(SetupKind::Rpn), 1);
  EXPECT_EQ(kindCount(SetupKind::DrumNrpn), 16);
  // No two entries write the same message.
  for (size_t i = 0; i < kSetupControllers.size(); ++i) {
    for (size_t j = i + 1; j < kSetupControllers.size(); ++j) {
      const auto& a = kSetupControllers[i];
      const auto& b = kSetupControllers[j];
      EXPECT_FALSE(a.kind == b.kind && a.number == b.number && a.lsb == b.lsb) << a.source << " / " << b.source;
    }
  }
  // Edges of the blocks and the defaults that are not the usual 64.
  EXPECT_EQ(kSetupControllers[3].defaultValue, 100);   // volume
  EXPECT_EQ(kSetupControllers[6].defaultValue, 40);    // reverb send
  EXPECT_EQ(kSetupControllers[12].lsb, 100);           // eg decay NRPN 1/100
  EXPECT_EQ(kSetupControllers[19].defaultValue, 12);   // eq bass freq
  EXPECT_EQ(kSetupControllers[20].defaultValue, 54);   // eq treble freq
  EXPECT_EQ(kSetupControllers[21].defaultValue, 2);    // pitch bend sensitivity
  EXPECT_EQ(kSetupControllers[22].number, 20);
  EXPECT_EQ(kSetupControllers[37].number, 53);
}

TEST_F(WriterBytes, EveryConvertedControllerOfTheRulesHasASetupEntryExceptPortamento) {
  // Each single controller, NRPN and RPN that the conversion rules can
  // produce reaches the formal layout, except controllers 5 and 65.
  for (const ConversionRule& r : ConversionRules()) {
    const auto& p = r.pairs;
    if (p[0].controller == 255 || (r.addrHigh & 0x80)) continue;
    bool found = false;
    for (const auto& c : kSetupControllers) {
      if (p[1].controller == 255) {
        found |= c.kind == SetupKind::Controller && c.number == p[0].controller;
      } else {
        const SetupKind k = p[0].controller == 99 ? SetupKind::Nrpn : SetupKind::Rpn;
        found |= c.kind == k && c.number == p[0].valueCode && c.lsb == p[1].valueCode;
      }
    }
    const bool portamento = p[0].controller == 5 || p[0].controller == 65;
    EXPECT_EQ(found, !portamento) << int(r.addrHigh) << "/" << int(r.addrLow);
  }
}

}  // namespace
}  // namespace mertovan
