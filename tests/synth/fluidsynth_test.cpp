// XG songs converted with --target gm, played by FluidSynth in its default
// (GM) mode with the FluidR3 GM SoundFont: at every note-on the preset the
// channel plays, its transposition and its volume are what the XG part
// sounded with. The same songs kept for an XG module sound wrong there.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "synth/synth_song.h"

namespace mertovan {
namespace {

using test::Cc;
using test::Events;
using test::Notes;
using test::Program;
using test::Timed;
using test::XgPart;

const char kSoundFont[] = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// What one note-on sounded with.
struct Heard {
  int channel, key, velocity;
  int bank, program;  // of the preset FluidSynth played, after its own fallbacks
  std::string preset;
  int shift, volume;  // the channel's coarse tune (semitones) and CC 7
};

// Every note-on of `events` as FluidSynth plays it.
std::vector<Heard> Play(const Events& events) {
  std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)> settings(new_fluid_settings(),
                                                                               delete_fluid_settings);
  std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)> owned(new_fluid_synth(settings.get()),
                                                                      delete_fluid_synth);
  fluid_synth_t* synth = owned.get();
  if (!synth || fluid_synth_sfload(synth, kSoundFont, 1) == FLUID_FAILED) {
    ADD_FAILURE() << "FluidSynth cannot load " << kSoundFont;
    return {};
  }
  std::vector<Heard> heard;
  for (const Timed& e : events) {
    const std::vector<uint8_t>& b = e.bytes;
    const int kind = b[0] & 0xF0, ch = b[0] & 0x0F;
    if (b[0] == 0xF0) {
      const size_t end = b.back() == 0xF7 ? b.size() - 1 : b.size();
      fluid_synth_sysex(synth, reinterpret_cast<const char*>(b.data() + 1), int(end - 1), nullptr, nullptr, nullptr, 0);
    } else if (kind == 0x90 && b[2] != 0) {
      fluid_preset_t* preset = fluid_synth_get_channel_preset(synth, ch);
      int volume = 0;
      fluid_synth_get_cc(synth, ch, 7, &volume);
      heard.push_back({ch + 1, b[1], b[2], preset ? fluid_preset_get_banknum(preset) : -1,
                       preset ? fluid_preset_get_num(preset) : -1, preset ? fluid_preset_get_name(preset) : "(none)",
                       int(fluid_synth_get_gen(synth, ch, GEN_COARSETUNE)), volume});
      fluid_synth_noteon(synth, ch, b[1], b[2]);
    } else if (kind == 0x80 || kind == 0x90) {
      fluid_synth_noteoff(synth, ch, b[1]);
    } else if (kind == 0xA0) {
      fluid_synth_key_pressure(synth, ch, b[1], b[2]);
    } else if (kind == 0xB0) {
      fluid_synth_cc(synth, ch, b[1], b[2]);
    } else if (kind == 0xC0) {
      fluid_synth_program_change(synth, ch, b[1]);
    } else if (kind == 0xD0) {
      fluid_synth_channel_pressure(synth, ch, b[1]);
    } else if (kind == 0xE0) {
      fluid_synth_pitch_bend(synth, ch, b[1] | b[2] << 7);
    }
  }
  return heard;
}

constexpr int kKitBank = 128;  // FluidSynth's percussion presets
constexpr int kAnyKit = -1;

// The sound a part's notes must come with.
struct Sound {
  int bank, program;
  int shift = 0, volume = 100;
};
Sound Kit(int program = kAnyKit, int volume = 100) { return {kKitBank, program, 0, volume}; }
Sound Gm(int program, int shift = 0, int volume = 100) { return {0, program, shift, volume}; }

struct Case {
  const char* what;
  Events song;
  std::map<int, Sound> sounds;  // by the velocity of the part's notes
};

// Drum kits are tagged with velocities 101 and 102, normal parts with 90–94.
std::vector<Case> Cases() {
  const Timed xgOn{0, test::kXgSystemOn};
  const std::vector<uint8_t> drums = {36, 38, 42, 46}, drums2 = {35, 39, 44}, tune = {60, 64, 67};
  return {
      {"kit on part 11 by Part Mode, part 10 normal by Part Mode, volumes and program by SysEx",
       Events{xgOn, XgPart(10, 10, 0x07, 2), XgPart(10, 9, 0x07, 0), XgPart(20, 9, 0x03, 24), XgPart(20, 10, 0x0B, 80),
              XgPart(20, 9, 0x0B, 110)} +
           Notes(10, drums, 101) + Notes(9, tune, 90),
       {{101, Kit(0, 80)}, {90, Gm(24, 0, 110)}}},
      {"kit on channel 11 by bank select 127 and program 25, channel 10 normal by bank select 0",
       Events{xgOn, Cc(10, 10, 0, 127), Program(11, 10, 25), Cc(10, 9, 0, 0), Program(11, 9, 40)} +
           Notes(10, drums, 101) + Notes(9, tune, 90),
       {{101, Kit(25)}, {90, Gm(40)}}},
      {"kits on parts 11 (SysEx bank 127) and 12 (Part Mode), part 10 normal by bank select 0",
       Events{xgOn, XgPart(10, 10, 0x01, 127), XgPart(10, 11, 0x07, 1), Cc(10, 9, 0, 0), Program(11, 9, 40)} +
           Notes(10, drums, 101) + Notes(11, drums2, 102, 360) + Notes(9, tune, 90),
       {{101, Kit(0)}, {102, Kit(0)}, {90, Gm(40)}}},
      {"SFX kit by bank select 126 on channel 12 beside the kit of part 10",
       Events{xgOn, Cc(10, 11, 0, 126), Program(11, 11, 0)} + Notes(9, drums2, 101) + Notes(11, drums, 102, 360),
       {{101, Kit(0)}, {102, Kit()}}},
      // XG SFX bank 64: Telephone Ring 2, Bird 2, Machine Gun.
      {"SFX voices by bank select 64 as CC and as SysEx",
       Events{xgOn, Cc(10, 2, 0, 64), Program(11, 2, 70), XgPart(10, 3, 0x01, 64), XgPart(11, 3, 0x03, 50),
              Cc(10, 4, 0, 64), Program(11, 4, 112)} +
           Notes(2, tune, 91) + Notes(3, tune, 92) + Notes(4, tune, 93),
       {{91, Gm(124)}, {92, Gm(123)}, {93, Gm(127)}}},
      {"note shift of parts 2 and 3",
       Events{xgOn, XgPart(10, 1, 0x08, 0x40 - 5), Program(11, 1, 40), XgPart(10, 2, 0x08, 0x40 + 12)} +
           Notes(1, tune, 91) + Notes(2, tune, 92),
       {{91, Gm(40, -5)}, {92, Gm(0, 12)}}},
  };
}

// How the heard notes differ from the parts' sounds: one line per wrong note,
// and one per part whose number of notes changed.
std::vector<std::string> Faults(const std::vector<Heard>& heard, const Case& c) {
  std::vector<std::string> faults;
  std::map<int, int> sent, got;
  for (const Timed& e : c.song) {
    if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] != 0) ++sent[e.bytes[2]];
  }
  for (const Heard& h : heard) {
    ++got[h.velocity];
    const auto sound = c.sounds.find(h.velocity);
    if (sound == c.sounds.end()) continue;
    const Sound& s = sound->second;
    if (h.bank != s.bank || (s.program != kAnyKit && h.program != s.program) || h.shift != s.shift ||
        h.volume != s.volume) {
      std::ostringstream line;
      line << "key " << h.key << " of the part with velocity " << h.velocity << " on channel " << h.channel
           << ": preset " << h.bank << "/" << h.program << " (" << h.preset << "), shift " << h.shift << ", volume "
           << h.volume << "; wanted " << s.bank << "/" << s.program << ", shift " << s.shift << ", volume " << s.volume;
      faults.push_back(line.str());
    }
  }
  for (const auto& [velocity, count] : sent) {
    if (got[velocity] != count) {
      faults.push_back("the part with velocity " + std::to_string(velocity) + " sent " + std::to_string(count) +
                       " notes, FluidSynth got " + std::to_string(got[velocity]));
    }
  }
  return faults;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

class FluidSynthGm : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kSoundFont)) GTEST_SKIP() << kSoundFont << " is missing (fluid-soundfont-gm)";
    // The presets FluidSynth falls back to show in the faults.
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  }
  test::ScratchDir dir;
};

TEST_F(FluidSynthGm, EveryNoteSoundsWithItsPartsVoice) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> faults =
        Faults(Play(test::PlayedInOrder(test::ConvertedFor(dir, test::SongFile(c.song), "gm"))), c);
    EXPECT_TRUE(faults.empty()) << Lines(faults);
  }
}

// What the GM target mends: kept for an XG module, each song has notes that
// FluidSynth plays with another sound (a piano for a kit, a kit for a piano,
// a bell for a machine gun, no shift).
TEST_F(FluidSynthGm, TheSongForAnXgModuleSoundsWrong) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Faults(Play(test::PlayedInOrder(test::ConvertedFor(dir, test::SongFile(c.song), "xg"))), c).empty());
  }
}

}  // namespace
}  // namespace mertovan
