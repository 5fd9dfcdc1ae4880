// Musical positions: bar, beat and tick within the beat of every SysEx message,
// counted at 480 ticks per quarter note under the file's time signatures.
#pragma once

#include <cstdint>
#include <vector>

#include "model/song.h"

namespace mertovan {

// Ticks of one beat for a denominator power (0 whole note ... 4 sixteenth);
// shorter beats get 1920 >> power, at least 1.
uint32_t TicksPerBeat(uint8_t denominatorPower);

// Packed position of a tick: bar (from 1, modulo 4096) in bits 20-31, beat
// (from 1) in bits 12-19, tick within the beat in bits 0-11.
uint32_t MusicalPosition(const std::vector<TimeSignature>& signatures, uint32_t tick);

// Fills bar, beat and beatTick of every SysEx message of the song.
void ComputePositions(Song& song);

}  // namespace mertovan
