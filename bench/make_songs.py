#!/usr/bin/env python3
"""Writes a folder of songs shaped like the XG songs people exchange: format 0
and 1 files of 20-200 KB with notes in running status, tempo and meter
changes, several divisions, an XG setup (System On, effects, each part's
voice, volume, pan, sends, filter, vibrato, drum setup) and changes of part
parameters during the song; some carry GS messages, XF chunks after the
tracks, or SysEx split over F7 continuation events.

  bench/make_songs.py FOLDER [COUNT] [SEED]

The same COUNT and SEED always give the same files."""

import os
import random
import struct
import sys


def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return bytes(out)


class Track:
    def __init__(self):
        self.events = []  # (tick, order, bytes after the delta time)

    def add(self, tick, data):
        self.events.append((tick, len(self.events), bytes(data)))

    def body(self, running_status):
        out = bytearray()
        now = 0
        status = None
        for tick, _, data in sorted(self.events):
            out += varlen(tick - now)
            now = tick
            if running_status and data[0] < 0xF0 and data[0] == status:
                out += data[1:]
            else:
                out += data
                status = data[0] if data[0] < 0xF0 else None
        out += b"\x00\xff\x2f\x00"
        return bytes(out)


def sysex(body):
    """An F0 event: F0, the length, the bytes after F0 (F7 included)."""
    return bytes([0xF0]) + varlen(len(body)) + bytes(body)


def xg(high, mid, low, *data):
    return sysex([0x43, 0x10, 0x4C, high, mid, low, *data, 0xF7])


def gs(address, value):
    body = [0x40, *address, value]
    checksum = (128 - sum(body) % 128) % 128
    return sysex([0x41, 0x10, 0x42, 0x12, *body, checksum, 0xF7])


# Part parameters that songs change during the song (address low, range).
PART_CHANGES = [(0x0B, 40, 127), (0x0E, 1, 127), (0x13, 0, 127), (0x12, 0, 127), (0x18, 30, 100),
                (0x19, 40, 90), (0x15, 50, 80), (0x16, 50, 80), (0x23, 64, 76), (0x14, 0, 80),
                (0x1A, 40, 90), (0x1C, 40, 90), (0x08, 52, 76), (0x72, 52, 76)]


def song(rng, target_kb):
    division = rng.choice([96, 120, 192, 240, 384, 480, 960])
    parts = rng.randint(6, 16)
    fmt = rng.choice([0, 1, 1, 1])
    tracks = [Track() for _ in range(1 if fmt == 0 else parts + 1)]
    conductor = tracks[0]
    track_of = (lambda p: tracks[0]) if fmt == 0 else (lambda p: tracks[p + 1])

    conductor.add(0, b"\xff\x03\x08XG song ")
    conductor.add(0, b"\xff\x51\x03" + struct.pack(">I", rng.randint(300000, 800000))[1:])
    conductor.add(0, bytes([0xFF, 0x58, 0x04, rng.choice([3, 4, 6]), rng.choice([2, 3]), 24, 8]))
    setup = Track() if fmt == 1 else conductor
    if rng.random() < 0.3:
        setup.add(0, sysex([0x7E, 0x7F, 0x09, 0x01, 0xF7]))
    setup.add(division // 4, xg(0x00, 0x00, 0x7E, 0x00))
    t = division // 2
    for low, value in [(0x00, rng.choice([1, 2, 3, 4])), (0x01, 0), (0x20, 0x41), (0x21, 0), (0x40, 5)]:
        setup.add(t, xg(0x02, 0x01, low, value))
        t += 5
    if rng.random() < 0.3:  # a GS reset and part settings beside the XG ones
        setup.add(t, gs([0x00, 0x7F], 0x00))
        for part in range(min(parts, 8)):
            block = [9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15][part]
            setup.add(t + 5 + part, gs([0x10 | block, 0x19], rng.randint(60, 127)))
    messages = 0
    for part in range(parts):
        drum = part == 9 or (part == 10 and rng.random() < 0.3)
        at = division + part * 40
        if drum and part != 9:
            setup.add(at, xg(0x08, part, 0x07, 2 if rng.random() < 0.5 else 3))
        for low, value in [(0x01, 127 if drum else rng.choice([0, 0, 64, 8])), (0x02, 0),
                           (0x03, rng.randint(0, 127)), (0x0B, rng.randint(60, 120)),
                           (0x0E, rng.randint(1, 127)), (0x13, 40), (0x12, 0)]:
            setup.add(at, xg(0x08, part, low, value))
            at += 2
            messages += 1
        if drum:
            for note in rng.sample(range(35, 82), rng.randint(2, 12)):
                setup.add(at, xg(0x30, note, rng.choice([0x02, 0x04, 0x05, 0x0B]), rng.randint(0, 127)))
                at += 2
                messages += 1
    if fmt == 1:
        tracks.insert(1, setup)

    # Notes until the song is large enough, with part changes in between.
    bar = division * 4
    tick = bar * 2
    budget = target_kb * 1024
    size = 0
    while size < budget:
        for part in range(parts):
            track = track_of(part)
            channel = part & 0x0F
            for _ in range(rng.randint(1, 4)):
                note = rng.randint(36 if part == 9 else 40, 90)
                start = tick + rng.randrange(0, bar, max(1, division // 4))
                length = rng.randint(division // 8, division)
                track.add(start, bytes([0x90 | channel, note, rng.randint(40, 127)]))
                track.add(start + length, bytes([0x90 | channel, note, 0]))
                size += 8
            if rng.random() < 0.2:
                track.add(tick, bytes([0xB0 | channel, 1, rng.randint(0, 127)]))
                size += 4
            if rng.random() < 0.05 and messages < 700:
                low, lo, hi = rng.choice(PART_CHANGES)
                track.add(tick + rng.randrange(bar), xg(0x08, part, low, rng.randint(lo, hi)))
                messages += 1
                size += 10
        if rng.random() < 0.05:
            conductor.add(tick, b"\xff\x51\x03" + struct.pack(">I", rng.randint(300000, 800000))[1:])
        tick += bar
    if rng.random() < 0.2:  # a message split over an F7 continuation
        track_of(0).add(tick, bytes([0xF0, 0x05, 0x43, 0x10, 0x4C, 0x08, 0x00]))
        track_of(0).add(tick, bytes([0xF7, 0x03, 0x0B, 0x50, 0xF7]))

    out = bytearray(b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division))
    running = rng.random() < 0.8
    for track in tracks:
        body = track.body(running)
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    if rng.random() < 0.2:
        out += b"XFIH" + struct.pack(">I", 12) + b"XF02\x00\x00\x00\x00\x00\x00\x00\x00"
    return bytes(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        with open(os.path.join(folder, "song%03d.mid" % i), "wb") as f:
            f.write(song(rng, rng.randint(18, 190)))


if __name__ == "__main__":
    main()
