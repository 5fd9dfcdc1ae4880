// Whole files in and out: reading a regular file up to a size bound, and
// replacing a file so that it is either the old one or the complete new one.
// Every part of the program that touches a file on disk goes through here:
// the MIDI file reader, the converted-file writer and the settings file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mertovan {

// Raised for every input/output failure; the text names the fault and the file.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The one shape of a file error: "<what> (<reason>): <file>", for example
// "Cannot open file (No such file or directory): song.mid".
std::string FileErrorText(std::string_view what, std::string_view reason, const std::string& fileName);
[[noreturn]] void ThrowFileError(std::string_view what, int err, const std::string& fileName);
[[noreturn]] void ThrowFileError(std::string_view what, std::string_view reason, const std::string& fileName);

struct FileContents {
  std::vector<uint8_t> bytes;
  bool whole = true;  // false: the file holds more than the bound, `bytes` is its start
};

// Reads up to `maxBytes` of the regular file `fileName`. A folder, a pipe, a
// device or a socket is refused with "… (not a regular file)" before it is
// read, and never waited on. `noun` names the file in errors ("file", "the
// settings file"). A larger file gives its first `maxBytes` with `whole`
// false, or, when `tooLarge` is given, is refused with that reason before
// anything is read. Throws IoError.
FileContents ReadRegularFile(const std::string& fileName, size_t maxBytes, std::string_view noun = "file",
                             std::string_view tooLarge = {});

// Puts `bytes` in place as `fileName`:
// - the new contents go to a hidden temporary file beside the target, created
//   exclusively, flushed to the disk and renamed over the target, and the
//   folder is synced; on any failure the temporary file is removed and the
//   target is as it was;
// - a symbolic link to a regular file is written through (the link stays);
// - an existing target must be writable by this user, and keeps its mode,
//   owner and group; a target the rename would give another owner is refused
//   ("Permission denied"), nothing changed;
// - where the folder does not let this user create the temporary file (or the
//   group cannot be kept) but the target itself is writable, the target is
//   overwritten in place, as an editor saving in such a folder would; that
//   write is not all-or-nothing.
// Throws IoError.
void ReplaceFile(const std::string& fileName, std::span<const uint8_t> bytes, std::string_view noun = "file");
// The same for contents built in pieces, which follow one another in the file.
using FilePieces = std::span<const std::span<const uint8_t>>;
void ReplaceFile(const std::string& fileName, FilePieces pieces, std::string_view noun = "file");

// For a signal handler: removes the temporary file of a replacement under way,
// if any. Async-signal-safe.
void RemovePendingTempFile() noexcept;

// Called with the temporary file's path once it holds the whole new contents,
// just before it takes the target's place (nullptr: none, the default). Lets a
// test stop a replacement at that point.
using TempFileHook = void (*)(const char* tempPath);
void SetTempFileHook(TempFileHook hook);

}  // namespace mertovan
