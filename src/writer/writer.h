// The converted Standard MIDI File: built in memory from the analysed SysEx
// event list, then written in one piece over a target that this program wrote
// itself (or a new name).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "writer/messages.h"

namespace mertovan {

inline constexpr char kMarkerText[] = "MERTOVAN CONVERT";  // 16 characters

// Options of one conversion; a nonzero flag is on.
struct ConvertOptions {
  uint8_t formalOutput = 1;          // one setup block per part instead of event by event
  uint8_t includeUnconvertible = 1;  // carry unconverted SysEx into the pass-through track
};

// Builds the file image and writes it to `fileName`, reporting through
// `messages` at (x, y): "This file can not rewrite" for a target that exists
// without the marker text, "Convert Successful" after the file is in place.
// Throws IoError (model/events.h) when a file operation fails; then no file is
// created or changed.
void WriteConvertedFile(const std::string& fileName, const ConvertOptions& options,
                        MessageService& messages, int x, int y);

// True when a file of that name exists and does not carry the marker text.
bool IsProtectedTarget(const std::string& fileName);

// The whole converted file, from offset 0.
std::vector<uint8_t> BuildFileImage(const ConvertOptions& options);

}  // namespace mertovan
