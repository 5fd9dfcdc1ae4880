// The converted Standard MIDI File: built in memory from the analysed SysEx
// event list, then written in one piece over a target that this program wrote
// itself (or a new name).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/events.h"
#include "model/large_buffer.h"
#include "model/messages.h"

namespace mertovan {

inline constexpr char kMarkerText[] = "MERTOVAN CONVERT";  // 16 characters
inline constexpr size_t kMarkerLength = sizeof(kMarkerText) - 1;

// Options of one conversion; a nonzero flag is on.
struct ConvertOptions {
  uint8_t formalOutput = 1;          // one setup block per part instead of event by event
  uint8_t includeUnconvertible = 1;  // carry unconverted SysEx into the pass-through track
  // The whole source song, its XG parameter changes replaced in place by channel
  // messages (formalOutput is then not used).
  uint8_t songMode = 0;
};

// A conversion that cannot be written as a Standard MIDI File (a time gap or a
// SysEx message too long for a variable-length quantity). It is an IoError, so
// every caller that reports file errors reports it too; nothing has been written.
class ConvertError : public IoError {
 public:
  using IoError::IoError;
};

inline constexpr char kCannotRewriteText[] = "This file can not rewrite";
inline constexpr char kConvertSuccessfulText[] = "Convert Successful";

// Builds the file image and writes it to `fileName`, reporting through
// `messages` at (x, y): "This file can not rewrite" for a target that exists
// without the marker text, "Convert Successful" after the file is in place.
// Throws IoError (model/file_io.h) when a file operation fails, ConvertError when
// the events cannot be written as a MIDI file; then no file is created or
// changed, and an earlier file of that name is left as it was.
void WriteConvertedFile(const std::string& fileName, const ConvertOptions& options,
                        MessageService& messages, int x, int y);

// True when a file of that name exists and does not carry the marker text.
// Throws IoError when such a file exists but cannot be read.
bool IsProtectedTarget(const std::string& fileName);

// The whole converted file, from offset 0. Throws ConvertError when the events
// cannot be written as a MIDI file.
std::vector<uint8_t> BuildFileImage(const ConvertOptions& options);
// The bytes of a converted file as they are built: every byte is written as
// the buffer grows or right after, so that growing it zeroes nothing.
using FileBytes = UnzeroedVector<uint8_t>;
// A converted file as it is built: the file is the stretches `pieces` of
// `bytes`, one after another (the song layout writes each chunk into room of
// its own, on two threads for a large song). Written as it is, never joined.
struct BuiltFile {
  struct Piece {
    size_t offset = 0;
    size_t size = 0;
  };
  FileBytes bytes;
  std::vector<Piece> pieces;
  std::vector<std::span<const uint8_t>> Spans() const {
    std::vector<std::span<const uint8_t>> spans;
    for (const Piece& p : pieces) spans.emplace_back(bytes.data() + p.offset, p.size);
    return spans;
  }
  std::vector<uint8_t> Joined() const {
    std::vector<uint8_t> joined;
    for (const auto span : Spans()) joined.insert(joined.end(), span.begin(), span.end());
    return joined;
  }
};
BuiltFile BuildFile(const ConvertOptions& options);

}  // namespace mertovan
