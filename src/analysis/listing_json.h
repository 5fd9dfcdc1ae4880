// The JSON listing, as `mertovan-cli list --format json` prints it and the
// web page reads it: an array with one object per file, each with its events
// (tick, position, part, length, bytes, controller pairs, name, value,
// meaning), keys in alphabetical order, indented by two.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "model/song.h"

namespace mertovan {

// The JSON object of one event, set `depth` columns in, as an element of
// the file's "events" array (`meaning` is what the value means, "" for
// nothing).
std::string EventJsonText(const SysExList& list, const Tsys& e, const std::string& meaning, size_t depth = 6);

// Writes the JSON listing, an array with one object per file, as it goes, one
// event at a time, so that memory stays flat however many events and files
// there are.
class JsonListing {
 public:
  explicit JsonListing(std::ostream& out) : out_(out) {}

  // A file that could not be read: its error and no events.
  void FailedFile(const std::string& path, const std::string& error);
  void Events(const std::string& path, const SysExList& list);
  void Finish() { out_ << (files_ == 0 ? "[]\n" : "\n]\n"); }

 private:
  void BeginFile() { out_ << (files_++ == 0 ? "[\n  {\n" : ",\n  {\n"); }
  void EndFile(const std::string& path);

  std::ostream& out_;
  size_t files_ = 0;
};

}  // namespace mertovan
