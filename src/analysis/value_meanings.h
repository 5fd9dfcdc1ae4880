// What the value of a listed SysEx message means in the words of the XG
// parameter charts: "L16" for a pan, "+16" for an offset from 64, "Hall 1" for
// a reverb type, "Violin" for a program, "C1: +16" for a drum instrument's
// setting. The texts are made when asked for; loading a file never builds them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/xg_value_lists.h"
#include "model/song.h"

namespace mertovan {

namespace detail {
struct ParsedMessage;  // one message as the meanings read it (value_meanings.cpp)
}

// The state that some meanings depend on, as a sequencer tracks it by walking
// the list in order: the bank each part has selected (for the voice of a
// Program Number) and the last Type MSB of each effect (for a Type LSB sent on
// its own). A new context is the state after an XG reset: every part on bank
// 0/0, except the drum parts 10, 26, 42 and 58 (index 9 of each block of 16)
// on bank 127/0; no effect type known.
class MeaningContext {
 public:
  // Meaning of `e` after the messages fed before it ("" where the value says
  // it all); then takes `e` into the state. Feed every event in list order.
  std::string Feed(const SysExList& list, const Tsys& e);

  // Number of effect Type MSB/LSB pairs the context follows.
  static constexpr size_t kEffectSlots = 17;

 private:
  friend class ListMeanings;
  // What the meaning of `p` needs from the state before it, in two bytes.
  uint16_t Prior(const detail::ParsedMessage& p) const;
  void Take(const detail::ParsedMessage& p);

  std::array<uint16_t, 128> bank_ = Defaults();                // MSB << 7 | LSB, by part
  std::array<int16_t, kEffectSlots> effectMsb_ = NoEffects();  // -1: not known
  static std::array<uint16_t, 128> Defaults();
  static std::array<int16_t, kEffectSlots> NoEffects();
};

// The meanings for the window, built on demand: the first question after a
// load walks the list once and keeps two bytes per message (what the state
// before it was); every answer after that costs one message. Call Clear()
// whenever the list is loaded anew.
class ListMeanings {
 public:
  // Meaning of event `index` of `list` ("" for an index beyond the list).
  std::string Meaning(const SysExList& list, size_t index);
  void Clear();

 private:
  std::vector<uint16_t> prior_;
  const SysExList* builtFor_ = nullptr;
  bool built_ = false;
};

// Name of the effect type `msb`/`lsb` in `types`. `lsb` < 0 means that the
// message carried the MSB alone: the type with LSB 0, or where LSB 0 is not a
// type, the family the MSB selects ("Hall" for Hall 1 and Hall 2). "" for a
// type the list does not hold.
std::string EffectTypeName(std::span<const EffectType> types, uint8_t msb, int lsb);

// Where the value rules apply: address lows lowFirst to lowLast of a block of
// the parameter name table (model, address high and mid as its entries give
// them). For checking the rules against the name table.
struct ValueRuleBlock {
  uint8_t model, addrHigh, addrMid, lowFirst, lowLast;
};
std::vector<ValueRuleBlock> ValueRuleBlocks();

// Note name in Yamaha's numbering: 60 is "C3", 36 "C1", 0 "C-2".
std::string NoteName(uint8_t note);

}  // namespace mertovan
