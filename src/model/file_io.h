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

// What a program that ends on signals needs to know of a replacement under
// way: its temporary file. `created` is called once the file exists and
// `gone` once it has been removed or has taken the target's place, both while
// the signals SIGINT, SIGTERM and SIGHUP are held off, so that a handler
// never sees the one without the other. `complete` is called once the file
// holds the whole new contents, just before it takes the target's place (a
// test stops a replacement there). Any of them may be left out.
struct ReplaceWatch {
  void (*created)(const char* tempPath) = nullptr;
  void (*gone)() = nullptr;
  void (*complete)(const char* tempPath) = nullptr;
};

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
void ReplaceFile(const std::string& fileName, std::span<const uint8_t> bytes, std::string_view noun = "file",
                 const ReplaceWatch& watch = {});

}  // namespace mertovan
