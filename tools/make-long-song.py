#!/usr/bin/env python3
"""Writes a long format 0 song for the live output's gap measurement: a two-note chord
(piano) on every beat at 120 beats a minute, for the seconds asked.

    python3 tools/make-long-song.py 600 build/ten-minutes.mid
"""
import struct
import sys


def var_len(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def main():
    seconds, path = int(sys.argv[1]), sys.argv[2]
    ppq = 96
    events = bytearray(b"\x00\xFF\x51\x03\x07\xA1\x20" + b"\x00\xC0\x00")   # 120 bpm, piano
    for beat in range(seconds * 2):
        low, high = 48 + beat % 12, 55 + beat % 12
        events += b"\x00\x90" + bytes([low, 90]) + b"\x00\x90" + bytes([high, 90])
        events += var_len(ppq * 3 // 4) + b"\x80" + bytes([low, 0]) + b"\x00\x80" + bytes([high, 0])
        events += var_len(ppq // 4) + b"\xB0\x7B\x00"    # all notes off: the next beat follows
    events += b"\x00\xFF\x2F\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, ppq))
        f.write(b"MTrk" + struct.pack(">I", len(events)) + events)


if __name__ == "__main__":
    main()
