// The texts of the event listing, shared by the desktop program's grid and the
// command-line companion, so both always show the same.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/song.h"
#include "model/midi_bytes.h"

namespace mertovan {

inline constexpr int kListingColumns = 8;

// What the last column shows: the message bytes, or the channel messages that
// replace them. The values are those the settings file stores.
enum class ViewMode : uint8_t { Cc = 0, SysEx = 1 };

// `value` in decimal.
void AppendNumber(std::string& out, uint64_t value);
// A blank and two upper-case hex digits for each byte: " 43 10 4C".
void AppendHexBytes(std::string& out, std::span<const uint8_t> bytes);

std::string_view ColumnHeader(int column, ViewMode view);
std::string ChannelText(uint8_t channel);
// The first controller pairs, as "pc5  ", "cc7  ,100" and so on; " -" for none.
std::string CcText(const Tsys& e);
// Text of data cell `column` (1-7) for an event; column 0 is the row number.
// The SysEx view's last column is "F0 " then each stored byte as two
// upper-case hex digits and a blank, up to and including the first F7, never
// beyond the bytes the file held.
std::string CellText(const SysExList& list, const Tsys& e, int column, ViewMode view);
void AppendCellText(std::string& out, const SysExList& list, const Tsys& e, int column, ViewMode view);
// The seven data cells of an event, tab-separated, and a newline.
void AppendTsvRow(std::string& out, const SysExList& list, const Tsys& e, ViewMode view);

// Colours of a data cell (0xRRGGBB).
inline constexpr uint32_t kUnconvertedText = 0xAAAAAA;
inline constexpr uint32_t kConvertedText = 0x000000;
inline constexpr uint32_t kSelectedBackground = 0xDDFFDD;
inline uint32_t TextColour(const Tsys& e) {
  return e.ccNumber[0] == kNone ? kUnconvertedText : kConvertedText;
}

}  // namespace mertovan
