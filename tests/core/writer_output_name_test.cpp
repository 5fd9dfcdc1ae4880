// The output name that the convert dialog and mertovan-cli propose.
#include <gtest/gtest.h>

#include "writer/outputcc_logic.h"

namespace mertovan {
namespace {

TEST(DefaultOutputName, ReplacesAFinalMidInAnyCaseElseAppends) {
  const struct {
    const char* loaded;
    const char* proposed;
  } cases[] = {
      {"song.mid", "song_cc.mid"},
      {"SONG.MID", "SONG_cc.mid"},
      {"Song.MiD", "Song_cc.mid"},
      {"/music/xg/song.mid", "/music/xg/song_cc.mid"},
      {"song.midi", "song.midi_cc.mid"},
      {"song.smf", "song.smf_cc.mid"},
      {"song", "song_cc.mid"},
      {"song.mi", "song.mi_cc.mid"},
      {"a.mid.mid", "a.mid_cc.mid"},
      {".mid", "_cc.mid"},
      {"folder.mid/song", "folder.mid/song_cc.mid"},
      {"song_cc.mid", "song_cc_cc.mid"},
      {"", "_cc.mid"},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultOutputName(c.loaded), c.proposed) << c.loaded;
}

}  // namespace
}  // namespace mertovan
