# Prints a Standard MIDI File as an independent reader (mido) sees it, for the
# round-trip test: a header line, then one line per event: track, absolute
# tick, and the bytes in hex ("meta" and the type for meta events).
import sys

import mido

f = mido.MidiFile(sys.argv[1])
print("format", f.type, "division", f.ticks_per_beat, "tracks", len(f.tracks))
for i, track in enumerate(f.tracks):
    tick = 0
    for msg in track:
        tick += msg.time
        if msg.is_meta:
            print(i, tick, "meta", msg.type)
        else:
            print(i, tick, msg.hex())
