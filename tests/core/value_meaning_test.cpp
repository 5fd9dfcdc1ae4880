#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/listing.h"
#include "analysis/param_names.h"
#include "analysis/value_meanings.h"
#include "model/song.h"

namespace mertovan {
namespace {

using Bytes = std::vector<uint8_t>;

// A Yamaha parameter change: the bytes after F0 of F0 43 10 model ah am al data... F7.
Bytes Param(uint8_t ah, uint8_t am, uint8_t al, std::initializer_list<uint8_t> data, uint8_t model = 0x4C) {
  Bytes m = {0x43, 0x10, model, ah, am, al};
  for (uint8_t d : data) m.push_back(d);
  m.push_back(0xF7);
  return m;
}

// The meanings of messages listed in this order, as the command line walks them.
std::vector<std::string> Meanings(const std::vector<Bytes>& messages) {
  SysExList list;
  for (const Bytes& m : messages) list.Append(0, m);
  MeaningContext context;
  std::vector<std::string> out;
  for (const Tsys& e : list.events) out.push_back(context.Feed(list, e));
  return out;
}

std::string MeaningOf(const Bytes& message) { return Meanings({message}).front(); }

struct Case {
  Bytes message;
  std::string meaning;
};

void ExpectMeanings(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    SysExList list;
    SCOPED_TRACE(CellText(list, list.Append(0, c.message), 7, ViewMode::SysEx));
    EXPECT_EQ(MeaningOf(c.message), c.meaning);
  }
}

TEST(ValueMeaning, PanAndSignedOffsets) {
  ExpectMeanings({
      // Part pan, where 0 is Random.
      {Param(0x08, 0x00, 0x0E, {0}), "Random"},
      {Param(0x08, 0x00, 0x0E, {1}), "L63"},
      {Param(0x08, 0x00, 0x0E, {63}), "L1"},
      {Param(0x08, 0x00, 0x0E, {64}), "C"},
      {Param(0x08, 0x00, 0x0E, {65}), "R1"},
      {Param(0x08, 0x00, 0x0E, {127}), "R63"},
      {Param(0x10, 0x01, 0x0E, {0}), "Random"},  // A/D part
      // Effect pans have no Random.
      {Param(0x02, 0x01, 0x0D, {0}), ""},
      {Param(0x02, 0x01, 0x2D, {1}), "L63"},
      {Param(0x02, 0x01, 0x57, {127}), "R63"},
      // Offsets over the whole range.
      {Param(0x08, 0x03, 0x18, {0}), "-64"},
      {Param(0x08, 0x03, 0x18, {1}), "-63"},
      {Param(0x08, 0x03, 0x18, {63}), "-1"},
      {Param(0x08, 0x03, 0x18, {64}), "0"},
      {Param(0x08, 0x03, 0x18, {65}), "+1"},
      {Param(0x08, 0x03, 0x1C, {127}), "+63"},
      {Param(0x0A, 0x03, 0x20, {80}), "+16"},
      {Param(0x08, 0x03, 0x41, {0}), "-64 cents"},
      // Offsets within their XG range.
      {Param(0x08, 0x00, 0x08, {39}), ""},
      {Param(0x08, 0x00, 0x08, {40}), "-24 semitones"},
      {Param(0x08, 0x00, 0x08, {64}), "0 semitones"},
      {Param(0x08, 0x00, 0x08, {88}), "+24 semitones"},
      {Param(0x08, 0x00, 0x08, {89}), ""},
      {Param(0x08, 0x00, 0x23, {66}), "+2 semitones"},
      {Param(0x08, 0x00, 0x72, {51}), ""},
      {Param(0x08, 0x00, 0x72, {52}), "-12 dB"},
      {Param(0x08, 0x00, 0x73, {76}), "+12 dB"},
      {Param(0x02, 0x40, 0x11, {77}), ""},
      // A plain number has nothing to add.
      {Param(0x08, 0x02, 0x0B, {100}), ""},
  });
}

TEST(ValueMeaning, SwitchesModesAndNotes) {
  ExpectMeanings({
      {Param(0x08, 0x00, 0x30, {0}), "Off"},
      {Param(0x08, 0x00, 0x40, {1}), "On"},
      {Param(0x08, 0x00, 0x40, {2}), ""},
      {Param(0x08, 0x00, 0x67, {1}), "On"},  // Portamento Switch
      {Param(0x10, 0x00, 0x35, {1}), "On"},  // Mute
      {Param(0x08, 0x00, 0x05, {0}), "Mono"},
      {Param(0x08, 0x00, 0x05, {1}), "Poly"},
      {Param(0x08, 0x00, 0x05, {2}), ""},
      {Param(0x08, 0x00, 0x06, {2}), "Inst"},
      {Param(0x08, 0x00, 0x07, {0}), "Normal"},
      {Param(0x08, 0x00, 0x07, {1}), "Drum"},
      {Param(0x08, 0x00, 0x07, {2}), "Drum S1"},
      {Param(0x08, 0x00, 0x07, {5}), "Drum S4"},
      {Param(0x08, 0x00, 0x07, {6}), ""},
      {Param(0x08, 0x00, 0x0F, {0}), "C-2"},
      {Param(0x08, 0x00, 0x10, {127}), "G8"},
  });
}

TEST(ValueMeaning, DrumSetupNamesTheNoteThenTheValue) {
  ExpectMeanings({
      {Param(0x30, 36, 0x0B, {80}), "C1: +16"},
      {Param(0x37, 36, 0x0B, {80}), "C1: +16"},  // any drum setup 3n
      {Param(0x31, 60, 0x00, {76}), "C3: +12 semitones"},
      {Param(0x30, 61, 0x01, {54}), "C#3: -10 cents"},
      {Param(0x30, 0, 0x04, {0}), "C-2: Random"},
      {Param(0x30, 127, 0x04, {48}), "G8: L16"},
      {Param(0x30, 38, 0x08, {1}), "D1: Multi"},
      {Param(0x30, 38, 0x09, {0}), "D1: Off"},
      {Param(0x30, 38, 0x20, {52}), "D1: -12 dB"},
      {Param(0x30, 38, 0x60, {47}), "D1"},
      {Param(0x30, 38, 0x61, {80}), "D1: +16"},
      {Param(0x30, 38, 0x02, {100}), "D1"},  // a plain level
      {Param(0x30, 38, 0x0B, {}), "D1"},     // cut before its value
  });
}

TEST(ValueMeaning, System) {
  ExpectMeanings({
      {Param(0x00, 0x00, 0x7E, {0}), "XG reset"},
      {{0x7E, 0x7F, 0x09, 0x01, 0xF7}, "GM reset"},
      {{0x7E, 0x10, 0x09, 0x01, 0xF7}, "GM reset"},  // to one device
      {Param(0x00, 0x00, 0x04, {0}), "0 %"},
      {Param(0x00, 0x00, 0x04, {64}), "50 %"},
      {Param(0x00, 0x00, 0x04, {127}), "100 %"},
      {{0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7}, "Master Volume 50 %"},
      {{0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7}, "Master Volume 100 %"},
      {Param(0x00, 0x00, 0x06, {40}), "-24 semitones"},
      {Param(0x00, 0x00, 0x06, {88}), "+24 semitones"},
      // Master Tune: four nibbles of 0x000-0x7FF around 0x400, in tenths of a cent.
      {Param(0x00, 0x00, 0x00, {0x00, 0x04, 0x00, 0x00}), "0.0 cents"},
      {Param(0x00, 0x00, 0x00, {0x00, 0x00, 0x00, 0x00}), "-102.4 cents"},
      {Param(0x00, 0x00, 0x00, {0x00, 0x07, 0x0F, 0x0F}), "+102.3 cents"},
      {Param(0x00, 0x00, 0x00, {0x00, 0x04, 0x06, 0x04}), "+10.0 cents"},
      {Param(0x00, 0x00, 0x00, {0x00, 0x03, 0x0F, 0x0B}), "-0.5 cents"},
      {Param(0x00, 0x00, 0x00, {0x00, 0x04, 0x06}), ""},  // three nibbles of four
      {Param(0x00, 0x00, 0x00, {0x00, 0x08, 0x00, 0x00}), ""},
      {Param(0x00, 0x00, 0x00, {0x00, 0x04, 0x10, 0x00}), ""},
      // Detune: two nibbles around 0x80, in tenths of a hertz.
      {Param(0x08, 0x00, 0x09, {0x08, 0x00}), "0.0 Hz"},
      {Param(0x08, 0x00, 0x09, {0x00, 0x00}), "-12.8 Hz"},
      {Param(0x08, 0x00, 0x09, {0x0F, 0x0F}), "+12.7 Hz"},
      {Param(0x08, 0x00, 0x09, {0x08}), ""},
  });
}

TEST(ValueMeaning, OnlyParameterChangesAreRead) {
  ExpectMeanings({
      {{0x43, 0x00, 0x4C, 0x08, 0x00, 0x0E, 0x40, 0xF7}, ""},  // bulk dump
      {{0x43, 0x20, 0x4C, 0x08, 0x00, 0x0E, 0x40, 0xF7}, ""},  // dump request
      {{0x41, 0x10, 0x4C, 0x08, 0x00, 0x0E, 0x40, 0xF7}, ""},  // another maker
      {{0x43, 0x10, 0x4C, 0x08, 0x00, 0x0E, 0xF7}, ""},        // cut before the value
      {{0x43, 0x10, 0x4C, 0x08, 0x00, 0x0E, 0x40}, "C"},       // no F7: the byte is still there
  });
}

TEST(ValueMeaning, OtherModelsWhereTheParameterIsTheSame) {
  ExpectMeanings({
      {Param(0x09, 0x02, 0x03, {48}, 0x59), "L16"},
      {Param(0x09, 0x02, 0x18, {1}, 0x59), "Poly"},
      {Param(0x0B, 0x00, 0x20, {0x01, 0x01}, 0x59), "Hall 2"},
      {Param(0x0C, 0x01, 0x00, {0x49, 0x00}, 0x59), "Distortion"},
      {Param(0x40, 0x00, 0x16, {1}, 0x59), "On"},
      {Param(0x31, 0x02, 0x08, {76}, 0x49), "+12 semitones"},
      {Param(0x30, 0x00, 0x29, {0x42}, 0x49), "Celeste 1"},
      // 49 30 pp 0D is named "Eg Release Time" from the part block, and means what that does.
      {Param(0x30, 0x00, 0x0D, {80}, 0x49), "+16"},
  });
}

TEST(ValueMeaning, EffectTypes) {
  ExpectMeanings({
      {Param(0x02, 0x01, 0x00, {0x00, 0x00}), "No Effect"},
      {Param(0x02, 0x01, 0x00, {0x01, 0x00}), "Hall 1"},
      {Param(0x02, 0x01, 0x00, {0x01, 0x01}), "Hall 2"},
      {Param(0x02, 0x01, 0x00, {0x13, 0x00}), "Basement"},
      {Param(0x02, 0x01, 0x00, {0x01, 0x05}), ""},
      {Param(0x02, 0x01, 0x20, {0x00, 0x00}), "No Effect"},
      {Param(0x02, 0x01, 0x20, {0x41, 0x00}), "Chorus 1"},
      {Param(0x02, 0x01, 0x20, {0x43, 0x08}), "Flanger 3"},
      {Param(0x02, 0x01, 0x40, {0x00, 0x00}), "No Effect"},
      {Param(0x02, 0x01, 0x40, {0x05, 0x00}), "Delay L,C,R"},
      {Param(0x02, 0x01, 0x40, {0x4E, 0x00}), "Auto Wah (LFO)"},
      {Param(0x03, 0x00, 0x00, {0x49, 0x00}), "Distortion"},
      {Param(0x03, 0x01, 0x00, {0x48, 0x08}), "Phaser 2"},
      // The MSB alone: the type with LSB 0.
      {Param(0x02, 0x01, 0x00, {0x03}), "Stage 1"},
      {Param(0x02, 0x01, 0x20, {0x42}), "Celeste 1"},
      {Param(0x02, 0x01, 0x00, {0x05}), ""},
      // The LSB alone, with no MSB before it.
      {Param(0x02, 0x01, 0x01, {0x01}), ""},
  });
  // Where LSB 0 is not a type, the MSB alone names the family.
  const EffectType tapes[] = {{0x20, 1, "Tape Echo 1"}, {0x20, 2, "Tape Echo 2"}, {0x21, 1, "Reel"}};
  EXPECT_EQ(EffectTypeName(tapes, 0x20, -1), "Tape Echo");
  EXPECT_EQ(EffectTypeName(tapes, 0x21, -1), "Reel");
  EXPECT_EQ(EffectTypeName(tapes, 0x20, 0), "");
  EXPECT_EQ(EffectTypeName(tapes, 0x20, 2), "Tape Echo 2");
}

TEST(ValueMeaning, TypeLsbFollowsTheMsbSentBeforeIt) {
  const std::vector<std::string> expected = {"Stage 1", "Stage 2", "", "XG reset", ""};
  EXPECT_EQ(Meanings({Param(0x02, 0x01, 0x00, {0x03}), Param(0x02, 0x01, 0x01, {0x01}),
                      Param(0x02, 0x01, 0x21, {0x01}),  // chorus: its MSB is not known
                      Param(0x00, 0x00, 0x7E, {0}), Param(0x02, 0x01, 0x01, {0x01})}),
            expected);
}

TEST(ValueMeaning, VoicesFollowTheBankOfTheirPart) {
  struct VoiceCase {
    const char* what;
    std::vector<Bytes> before;
    Bytes program;
    std::string meaning;
  };
  // clang-format off
  const VoiceCase cases[] = {
      {"first GM voice", {}, Param(0x08, 0x00, 0x03, {0}), "Acoustic Grand Piano"},
      {"GM voice", {}, Param(0x08, 0x00, 0x03, {40}), "Violin"},
      {"last GM voice", {}, Param(0x08, 0x00, 0x03, {127}), "Gunshot"},
      {"part 10 plays drums", {}, Param(0x08, 0x09, 0x03, {0}), "Standard Kit"},
      {"last kit", {}, Param(0x08, 0x19, 0x03, {48}), "Classic Kit"},
      {"no kit there", {}, Param(0x08, 0x09, 0x03, {2}), "program 3, bank 127/0"},
      {"bank on the same part", {Param(0x08, 0x00, 0x01, {8})}, Param(0x08, 0x00, 0x03, {40}),
       "program 41, bank 8/0"},
      {"bank on another part", {Param(0x08, 0x01, 0x01, {8})}, Param(0x08, 0x00, 0x03, {40}), "Violin"},
      {"drum bank", {Param(0x08, 0x02, 0x01, {127})}, Param(0x08, 0x02, 0x03, {1}), "Standard2 Kit"},
      {"bank LSB", {Param(0x08, 0x00, 0x02, {3})}, Param(0x08, 0x00, 0x03, {0}), "program 1, bank 0/3"},
      {"MSB and LSB in one message", {Param(0x08, 0x00, 0x01, {8, 5})}, Param(0x08, 0x00, 0x03, {0}),
       "program 1, bank 8/5"},
      {"MSB keeps the LSB", {Param(0x08, 0x00, 0x02, {3}), Param(0x08, 0x00, 0x01, {8})},
       Param(0x08, 0x00, 0x03, {0}), "program 1, bank 8/3"},
      {"part 10 back to normal", {Param(0x08, 0x09, 0x01, {0})}, Param(0x08, 0x09, 0x03, {0}),
       "Acoustic Grand Piano"},
      {"XG reset", {Param(0x08, 0x00, 0x01, {8}), Param(0x00, 0x00, 0x7E, {0})},
       Param(0x08, 0x00, 0x03, {40}), "Violin"},
      {"All Parameter Reset", {Param(0x08, 0x00, 0x01, {8}), Param(0x00, 0x00, 0x7F, {0})},
       Param(0x08, 0x00, 0x03, {40}), "Violin"},
      {"GM reset", {Param(0x08, 0x00, 0x01, {8}), {0x7E, 0x7F, 0x09, 0x01, 0xF7}},
       Param(0x08, 0x00, 0x03, {40}), "Violin"},
  };
  // clang-format on
  for (const VoiceCase& c : cases) {
    std::vector<Bytes> messages = c.before;
    messages.push_back(c.program);
    EXPECT_EQ(Meanings(messages).back(), c.meaning) << c.what;
  }
}

// The window's form, built on demand, says what the command line's walk says.
TEST(ValueMeaning, OnDemandMeaningsMatchTheWalk) {
  const std::vector<Bytes> messages = {
      Param(0x08, 0x00, 0x01, {8}),    Param(0x02, 0x01, 0x00, {0x02}), Param(0x08, 0x00, 0x03, {40}),
      Param(0x02, 0x01, 0x01, {0x02}), Param(0x30, 36, 0x0B, {80}),     Param(0x00, 0x00, 0x7E, {0}),
      Param(0x08, 0x00, 0x03, {40}),   {0x41, 0x10, 0x42, 0x12, 0xF7},
  };
  SysExList list;
  for (const Bytes& m : messages) list.Append(0, m);
  const std::vector<std::string> walked = Meanings(messages);
  ListMeanings meanings;
  // Asked from the back, so nothing depends on the order of the questions.
  for (size_t i = list.size(); i-- > 0;) EXPECT_EQ(meanings.Meaning(list, i), walked[i]) << "event " << i;
  EXPECT_EQ(walked[3], "Room 3");
  EXPECT_EQ(meanings.Meaning(list, list.size()), "");

  // The same list loaded anew with as many messages: Clear() forgets the old
  // state, in which part 1 was on bank 8/0 at event 2.
  list = {};
  for (size_t i = 0; i < messages.size(); ++i) list.Append(0, Param(0x08, 0x00, 0x03, {40}));
  meanings.Clear();
  EXPECT_EQ(meanings.Meaning(list, 2), "Violin");
}

// Every value rule lies on parameters of the name table that a message can
// reach, and no two rules share a parameter.
TEST(ValueMeaning, RulesLieOnNamedParameters) {
  const auto table = ParameterNameTable();
  std::vector<int> rulesOfRow(table.size(), 0);
  for (const ValueRuleBlock& b : ValueRuleBlocks()) {
    ASSERT_LE(b.lowFirst, b.lowLast);
    for (int low = b.lowFirst; low <= b.lowLast; ++low) {
      SCOPED_TRACE(testing::Message() << std::hex << int(b.model) << " " << int(b.addrHigh) << " "
                                      << int(b.addrMid) << " " << low);
      // A message at this address, with the first part or drum setup of a block.
      SysExList list;
      const uint8_t high = b.addrHigh == 0xB0 ? 0x30 : b.addrHigh;
      const uint8_t mid = b.addrMid == 255 ? 0 : b.addrMid;
      const Tsys& e = list.Append(0, Param(high, mid, uint8_t(low), {64}, b.model));
      const int row = ParameterRow(list, e);
      ASSERT_GE(row, 0);
      const TSYS_MSG_TYPE& t = table[size_t(row)];
      EXPECT_EQ(t.addrHigh, b.addrHigh);
      EXPECT_EQ(t.addrMid, b.addrMid);
      EXPECT_NE(t.name, "not used");
      for (size_t r = 0; r < table.size(); ++r) {
        const TSYS_MSG_TYPE& u = table[r];
        if (u.model == b.model && u.addrHigh == b.addrHigh && u.addrMid == b.addrMid && u.addrLow == low) {
          ++rulesOfRow[r];
        }
      }
    }
  }
  for (size_t r = 0; r < table.size(); ++r) EXPECT_LE(rulesOfRow[r], 1) << "row " << r;
}

TEST(ValueMeaning, NamedListsAreWellFormed) {
  for (std::string_view name : kGmVoiceNames) EXPECT_FALSE(name.empty());
  for (auto types : {std::span<const EffectType>(kReverbTypes), std::span<const EffectType>(kChorusTypes),
                     std::span<const EffectType>(kVariationTypes)}) {
    EXPECT_EQ(types.front().name, "No Effect");
    for (size_t i = 1; i < types.size(); ++i) {
      EXPECT_FALSE(types[i].name.empty());
      // In MSB, LSB order, each type once.
      EXPECT_LT(types[i - 1].msb << 7 | types[i - 1].lsb, types[i].msb << 7 | types[i].lsb) << types[i].name;
    }
  }
  for (size_t i = 1; i < kXgDrumKits.size(); ++i) {
    EXPECT_LT(kXgDrumKits[i - 1].program, kXgDrumKits[i].program);
  }
}

}  // namespace
}  // namespace mertovan
