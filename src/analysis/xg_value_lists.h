// The named value lists of the XG parameter charts: the GM voice names, the XG
// drum kits, the effect types and the few parameters whose values are words.
// Plain constant data, read by the value meanings (value_meanings.cpp).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mertovan {

// One effect type: the Type MSB and Type LSB that select it, and its name.
struct EffectType {
  uint8_t msb;
  uint8_t lsb;
  std::string_view name;
};

// One kit of the XG drum voice bank (bank select MSB 127).
struct DrumKit {
  uint8_t program;  // the Program Number data byte, 0-based
  std::string_view name;
};

// The 128 voices of the General MIDI sound set; index = Program Number data
// byte, so index 0 is program 1. XG plays them on the normal bank 0/0.
// clang-format off
inline constexpr std::array<std::string_view, 128> kGmVoiceNames = {
    // Piano
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-tonk Piano",
    "Electric Piano 1", "Electric Piano 2", "Harpsichord", "Clavi",
    // Chromatic percussion
    "Celesta", "Glockenspiel", "Music Box", "Vibraphone", "Marimba", "Xylophone", "Tubular Bells",
    "Dulcimer",
    // Organ
    "Drawbar Organ", "Percussive Organ", "Rock Organ", "Church Organ", "Reed Organ", "Accordion",
    "Harmonica", "Tango Accordion",
    // Guitar
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)",
    "Electric Guitar (clean)", "Electric Guitar (muted)", "Overdriven Guitar", "Distortion Guitar",
    "Guitar harmonics",
    // Bass
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass", "Slap Bass 1",
    "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    // Strings
    "Violin", "Viola", "Cello", "Contrabass", "Tremolo Strings", "Pizzicato Strings",
    "Orchestral Harp", "Timpani",
    // Ensemble
    "String Ensemble 1", "String Ensemble 2", "SynthStrings 1", "SynthStrings 2", "Choir Aahs",
    "Voice Oohs", "Synth Voice", "Orchestra Hit",
    // Brass
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet", "French Horn", "Brass Section", "SynthBrass 1",
    "SynthBrass 2",
    // Reed
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax", "Oboe", "English Horn", "Bassoon",
    "Clarinet",
    // Pipe
    "Piccolo", "Flute", "Recorder", "Pan Flute", "Blown Bottle", "Shakuhachi", "Whistle", "Ocarina",
    // Synth lead
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope)", "Lead 4 (chiff)",
    "Lead 5 (charang)", "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",
    // Synth pad
    "Pad 1 (new age)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)", "Pad 5 (bowed)",
    "Pad 6 (metallic)", "Pad 7 (halo)", "Pad 8 (sweep)",
    // Synth effects
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)", "FX 5 (brightness)",
    "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",
    // Ethnic
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bag pipe", "Fiddle", "Shanai",
    // Percussive
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock", "Taiko Drum", "Melodic Tom", "Synth Drum",
    "Reverse Cymbal",
    // Sound effects
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet", "Telephone Ring", "Helicopter",
    "Applause", "Gunshot",
};
// clang-format on

// The drum kits of the XG voice list (bank select MSB 127, any LSB), in
// program order.
inline constexpr std::array<DrumKit, 9> kXgDrumKits = {{
    {0, "Standard Kit"},
    {1, "Standard2 Kit"},
    {8, "Room Kit"},
    {16, "Rock Kit"},
    {24, "Electro Kit"},
    {25, "Analog Kit"},
    {32, "Jazz Kit"},
    {40, "Brush Kit"},
    {48, "Classic Kit"},
}};

// The effect lists share whole runs of types: a variation block can be any
// reverb up to Plate, or any chorus, flanger or celeste. Each run is written
// once and the lists are joined from them in Type MSB order.
template <size_t... N>
constexpr std::array<EffectType, (N + ...)> JoinEffectTypes(const std::array<EffectType, N>&... runs) {
  std::array<EffectType, (N + ...)> joined{};
  size_t at = 0;
  ((std::copy(runs.begin(), runs.end(), joined.begin() + std::ptrdiff_t(at)), at += N), ...);
  return joined;
}

inline constexpr std::array<EffectType, 1> kNoEffect = {{{0x00, 0x00, "No Effect"}}};

// Halls, rooms, stages and the plate: the reverb block's types that the
// variation block has too.
inline constexpr std::array<EffectType, 8> kHallToPlate = {{
    {0x01, 0x00, "Hall 1"},
    {0x01, 0x01, "Hall 2"},
    {0x02, 0x00, "Room 1"},
    {0x02, 0x01, "Room 2"},
    {0x02, 0x02, "Room 3"},
    {0x03, 0x00, "Stage 1"},
    {0x03, 0x01, "Stage 2"},
    {0x04, 0x00, "Plate"},
}};

// Chorus, celeste and flanger: the chorus block's types, which the variation
// block has too.
inline constexpr std::array<EffectType, 11> kChorusToFlanger = {{
    {0x41, 0x00, "Chorus 1"},
    {0x41, 0x01, "Chorus 2"},
    {0x41, 0x02, "Chorus 3"},
    {0x41, 0x08, "Chorus 4"},
    {0x42, 0x00, "Celeste 1"},
    {0x42, 0x01, "Celeste 2"},
    {0x42, 0x02, "Celeste 3"},
    {0x42, 0x08, "Celeste 4"},
    {0x43, 0x00, "Flanger 1"},
    {0x43, 0x01, "Flanger 2"},
    {0x43, 0x08, "Flanger 3"},
}};

// The reverb block's own types.
inline constexpr std::array<EffectType, 4> kReverbOnly = {{
    {0x10, 0x00, "White Room"},
    {0x11, 0x00, "Tunnel"},
    {0x12, 0x00, "Canyon"},
    {0x13, 0x00, "Basement"},
}};

// The variation block's own types: delays, early reflections, gates, karaoke
// echoes and the dry "Thru" (below the chorus run) ...
inline constexpr std::array<EffectType, 12> kDelayToThru = {{
    {0x05, 0x00, "Delay L,C,R"},
    {0x06, 0x00, "Delay L,R"},
    {0x07, 0x00, "Echo"},
    {0x08, 0x00, "Cross Delay"},
    {0x09, 0x00, "Early Ref 1"},
    {0x09, 0x01, "Early Ref 2"},
    {0x0A, 0x00, "Gate Reverb"},
    {0x0B, 0x00, "Reverse Gate"},
    {0x14, 0x00, "Karaoke 1"},
    {0x14, 0x01, "Karaoke 2"},
    {0x14, 0x02, "Karaoke 3"},
    {0x40, 0x00, "Thru"},
}};

// ... and the modulation, distortion and EQ types above it.
inline constexpr std::array<EffectType, 12> kSymphonicToAutoWah = {{
    {0x44, 0x00, "Symphonic"},
    {0x45, 0x00, "Rotary Speaker"},
    {0x46, 0x00, "Tremolo"},
    {0x47, 0x00, "Auto Pan"},
    {0x48, 0x00, "Phaser 1"},
    {0x48, 0x08, "Phaser 2"},
    {0x49, 0x00, "Distortion"},
    {0x4A, 0x00, "Overdrive"},
    {0x4B, 0x00, "Amp Simulator"},
    {0x4C, 0x00, "3-Band EQ (Mono)"},
    {0x4D, 0x00, "2-Band EQ (Stereo)"},
    {0x4E, 0x00, "Auto Wah (LFO)"},
}};

// Reverb types (XG effect 1, Reverb Type MSB/LSB).
inline constexpr auto kReverbTypes = JoinEffectTypes(kNoEffect, kHallToPlate, kReverbOnly);
static_assert(kReverbTypes.size() == 13);

// Chorus types (XG effect 1, Chorus Type MSB/LSB).
inline constexpr auto kChorusTypes = JoinEffectTypes(kNoEffect, kChorusToFlanger);
static_assert(kChorusTypes.size() == 12);

// Variation types (XG effect 1, Var Type MSB/LSB); the insertion effects
// choose from the same list.
inline constexpr auto kVariationTypes =
    JoinEffectTypes(kNoEffect, kHallToPlate, kDelayToThru, kChorusToFlanger, kSymphonicToAutoWah);
static_assert(kVariationTypes.size() == 44);

// Part Mode of a multi part: a normal voice, or a drum part that plays drum
// setup 1, 2, ... (XG drum setup address high 30, 31, ...).
inline constexpr std::array<std::string_view, 6> kPartModeNames = {
    "Normal", "Drum", "Drum S1", "Drum S2", "Drum S3", "Drum S4",
};

// MONO/POLY Mode of a multi part.
inline constexpr std::array<std::string_view, 2> kMonoPolyNames = {"Mono", "Poly"};

// Same Note Number Key on Assign of a multi part (Inst: per drum instrument).
inline constexpr std::array<std::string_view, 3> kPartKeyAssignNames = {"Single", "Multi", "Inst"};

// Key Assign of a drum instrument.
inline constexpr std::array<std::string_view, 2> kDrumKeyAssignNames = {"Single", "Multi"};

// Switch parameters (the Rcv ... switches, portamento, mute).
inline constexpr std::array<std::string_view, 2> kSwitchNames = {"Off", "On"};

// Note names within an octave; the octave number follows Yamaha's count, in
// which note 60 is C3 (so note 0 is C-2 and note 127 is G8).
inline constexpr std::array<std::string_view, 12> kNoteNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                                "F#", "G",  "G#", "A",  "A#", "B"};

}  // namespace mertovan
