// The converted Standard MIDI File: built in memory from an analysed song,
// then written in one piece over a target that this program wrote itself (or
// a new name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/file_io.h"
#include "model/messages.h"
#include "model/song.h"
#include "writer/target.h"

namespace mertovan {

inline constexpr char kMarkerText[] = "MERTOVAN CONVERT";  // 16 characters
inline constexpr size_t kMarkerLength = sizeof(kMarkerText) - 1;

// How the converted file is laid out:
//  - Formal: a setup layer, one setup block per part from bar 2;
//  - Plain:  a setup layer, each converted message at the tick of its SysEx;
//  - Song:   the whole source song, its XG parameter changes replaced in
//            place by channel messages on one track per part.
enum class Layout : uint8_t { Formal, Plain, Song };

struct ConvertOptions {
  Layout layout = Layout::Formal;
  // Carry the SysEx messages that did not convert into the file (the
  // pass-through track of the setup layers; their own places in a song).
  bool includeUnconvertible = true;
  // The synthesizer the song layout is made for; the setup layers take no
  // target.
  Target target = Target::Xg;
};

// What a conversion did, for the user.
struct ConvertReport {
  size_t converted = 0;  // SysEx messages written as channel messages
  size_t total = 0;      // SysEx messages of the song
  // The formal layout sums a song up: part parameters set to different values
  // during the song, of which its setup keeps the last, and whether it
  // carries SysEx messages from after the song's first note.
  size_t changingParameters = 0;
  bool sysExAfterFirstNote = false;
  // A song made for another target: what became of its settings.
  std::vector<TargetReportRow> target;
};
// How many settings a target could not carry.
size_t LostSettings(const ConvertReport& report);
// "(N of M SysEx messages converted)"
std::string ConvertedCountText(const ConvertReport& report);
// The warning for a formal setup that sums up a changing song, or "" when the
// setup is what the song sets before it plays.
std::string FlattenedSongText(const ConvertReport& report);

// A conversion that cannot be written as a Standard MIDI File (a time gap or a
// SysEx message too long for a variable-length quantity, a song the song
// layout cannot keep). It is an IoError, so every caller that reports file
// errors reports it too; nothing has been written.
class ConvertError : public IoError {
 public:
  using IoError::IoError;
};

inline constexpr char kCannotRewriteText[] = "This file can not rewrite";
inline constexpr char kConvertSuccessfulText[] = "Convert Successful";

// Builds the file image and writes it to `fileName`, reporting through
// `messages` at (x, y): "This file can not rewrite" for a target that exists
// without the marker text (then it returns nothing), "Convert Successful"
// after the file is in place (then it returns what it did). Throws IoError
// (model/file_io.h) when a file operation fails, ConvertError when the song
// cannot be written as a MIDI file; then no file is created or changed, and an
// earlier file of that name is left as it was.
std::optional<ConvertReport> WriteConvertedFile(const Song& song, const std::string& fileName, const ConvertOptions& options,
                        MessageService& messages, int x, int y, const ReplaceWatch& watch = {});

// True when a file of that name exists and does not carry the marker text.
// Throws IoError when such a file exists but cannot be read.
bool IsProtectedTarget(const std::string& fileName);

// The whole converted file, and what the conversion did in `report` when
// given. Throws ConvertError when the song cannot be written as a MIDI file.
std::vector<uint8_t> BuildFileImage(const Song& song, const ConvertOptions& options, ConvertReport* report = nullptr);

}  // namespace mertovan
