// Converted files read back by independent readers: mido (through
// tests/core/mido_dump.py) and midicsv. Both must read the file without a
// complaint, and mido must see the events the strict reader sees.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "support/cli_runner.h"
#include "support/hex.h"
#include "support/strict_smf_reader.h"

namespace mertovan::test {

inline constexpr char kPython[] = "/usr/bin/python3";

inline bool CommandSucceeds(const std::string& cmd) {
  const int raw = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

inline bool HaveMido() {
  static const bool have = CommandSucceeds(std::string(kPython) + " -c 'import mido'");
  return have;
}
inline bool HaveMidicsv() {
  static const bool have = CommandSucceeds("command -v midicsv");
  return have;
}

// The strict reading in the form the mido script prints.
inline std::string DumpLikeMido(const ParsedSmf& f) {
  static const std::map<uint8_t, const char*> names = {
      {0x00, "sequence_number"}, {0x01, "text"},        {0x02, "copyright"},    {0x03, "track_name"},
      {0x04, "instrument_name"}, {0x05, "lyrics"},      {0x06, "marker"},       {0x07, "cue_marker"},
      {0x20, "channel_prefix"},  {0x21, "midi_port"},   {0x2F, "end_of_track"}, {0x51, "set_tempo"},
      {0x54, "smpte_offset"},    {0x58, "time_signature"}, {0x59, "key_signature"},
      {0x7F, "sequencer_specific"}};
  std::ostringstream s;
  s << "format " << f.format << " division " << f.division << " tracks " << f.tracks.size() << "\n";
  for (size_t t = 0; t < f.tracks.size(); ++t) {
    for (const SmfEvent& e : f.tracks[t]) {
      s << t << " " << e.tick << " ";
      if (e.bytes[0] == 0xFF) {
        s << "meta " << (names.count(e.bytes[1]) ? names.at(e.bytes[1]) : "?") << "\n";
      } else {
        s << Hex(e.bytes) << "\n";
      }
    }
  }
  return s.str();
}

// Reads the file at `path` with mido (when `withMido`: some files are beyond
// it) and with midicsv; `parsed` is the strict reading of the same file.
inline void ExpectIndependentReadersAgree(const std::string& path, const ParsedSmf& parsed, bool withMido = true) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (withMido) {
    if (HaveMido()) {
      const CliRun mido =
          RunProgram(kPython, {std::string(MERTOVAN_SOURCE_DIR) + "/tests/core/mido_dump.py", path}, folder);
      EXPECT_EQ(mido.status, 0) << mido.err;
      EXPECT_EQ(mido.err, "");
      EXPECT_EQ(mido.out, DumpLikeMido(parsed));
    } else {
      ADD_FAILURE() << "python3-mido is missing (scripts/setup installs it)";
    }
  }
  if (HaveMidicsv()) {
    const CliRun csv = RunProgram("midicsv", {path, "/dev/null"}, folder);
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out + csv.err, "");
  } else {
    ADD_FAILURE() << "midicsv is missing (scripts/setup installs it)";
  }
}

}  // namespace mertovan::test
