#!/usr/bin/env python3
"""An independent, deliberately simple Standard MIDI File parser.

Prints what midimix should print for the chunks of a file as loaded (before the reader inserts
its default controllers), so that a corpus run can compare the two:

    chunk C channel CH program P volume V pan P listed yes|no name "TEXT"

plus one line "duration SECONDS" with the tempo map applied. Lengths of system-exclusive and
meta events are variable-length quantities; a meta or system-exclusive event does not end the
running status (real files rely on that). Written apart from the program on purpose: it shares
no code with it.

    smfsummary.py FILE
"""
import sys

NONE, MIXED = 240, 255


def varlen(data, pos, end):
    value = 0
    for _ in range(4):
        if pos >= end:
            raise ValueError("truncated variable-length quantity")
        b = data[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if b < 0x80:
            return value, pos
    raise ValueError("variable-length quantity too long")


def merge(old, new):
    if old == NONE:
        return new
    return old if old == new else MIXED


def scan_track(data, pos, end, ordinal, tempo_events):
    # note_status: offsets of the note-on and note-off status bytes that stand in the track;
    # noteoff_velocity: offsets of every note-off's release velocity; clean: the track ends
    # with its end-of-track event exactly at the end of the chunk.
    info = dict(channel=NONE, program=NONE, volume=NONE, pan=NONE, name=b"", names=0,
                note_status=[], noteoff_velocity=[], clean=False)
    running = 0
    tick = 0
    while pos < end:
        delta, pos = varlen(data, pos, end)
        tick += delta
        if pos >= end:
            raise ValueError("event cut at chunk end")
        status = data[pos]
        own = status >= 0x80
        if own:
            status_pos = pos
            pos += 1
        else:
            status = running
            if status == 0:
                raise ValueError("data byte without status")
        if status in (0xF0, 0xF7):
            length, pos = varlen(data, pos, end)
            pos += length
        elif status == 0xFF:
            if pos >= end:
                raise ValueError("meta event cut at chunk end")
            meta = data[pos]
            length, pos = varlen(data, pos + 1, end)
            body = data[pos:pos + length]
            pos += length
            if meta == 0x03:
                info["name"] = bytes(body[:259])
                info["names"] += 1
            elif meta == 0x51 and length == 3:
                tempo_events.append((tick, (body[0] << 16) | (body[1] << 8) | body[2]))
            elif meta == 0x2F:
                info["clean"] = pos == end
                break
        elif status >= 0xF0:
            raise ValueError("undecodable status %02X" % status)
        else:
            running = status
            kind, channel = status & 0xF0, status & 0x0F
            size = 1 if kind in (0xC0, 0xD0) else 2
            if pos + size > end:
                raise ValueError("channel event cut at chunk end")
            d = data[pos:pos + size]
            if own and kind in (0x80, 0x90):
                info["note_status"].append(status_pos)
            if kind == 0x80:
                info["noteoff_velocity"].append(pos + 1)
            pos += size
            if kind in (0x80, 0x90, 0xC0):
                info["channel"] = merge(info["channel"], channel)
            if kind == 0xC0 and info["program"] == NONE:
                info["program"] = d[0]
            if kind == 0xB0 and d[0] == 7:
                info["volume"] = merge(info["volume"], d[1])
            if kind == 0xB0 and d[0] == 10:
                info["pan"] = merge(info["pan"], d[1])
    info["ticks"] = tick
    return info


def seconds(ticks, division, tempo_events):
    if division & 0x8000:
        return 0.0
    tempo_events = sorted(tempo_events)
    total, last_tick, tempo = 0.0, 0, 500000
    for t, us in tempo_events:
        if t > ticks:
            break
        total += (t - last_tick) * tempo / 1e6 / division
        last_tick, tempo = t, us
    return total + (ticks - last_tick) * tempo / 1e6 / division


def summarize(data):
    """Returns (chunks, seconds): one dict per track chunk with channel, program, volume, pan,
    listed and name (as midimix prints it), and the song's length with the tempo map applied.
    Raises ValueError for a file it cannot read whole."""
    if data[:4] != b"MThd" or len(data) < 14:
        raise ValueError("not a MIDI file")
    tracks = (data[10] << 8) | data[11]
    division = (data[12] << 8) | data[13]
    pos = 8 + int.from_bytes(data[4:8], "big")
    tempo_events, longest, chunks = [], 0, []
    for ordinal in range(tracks):
        if data[pos:pos + 4] != b"MTrk":
            raise ValueError("chunk %d is not a track" % ordinal)
        length = int.from_bytes(data[pos + 4:pos + 8], "big")
        start = pos + 8
        end = min(start + length, len(data))
        info = scan_track(data, start, end, ordinal, tempo_events)
        longest = max(longest, info["ticks"])
        # As midimix prints it: the text up to a NUL, line breaks shown as \n and \r.
        name = info["name"].split(b"\0")[0].decode("latin-1")
        info["name"] = name.replace("\n", "\\n").replace("\r", "\\r")
        info["listed"] = "no" if info["channel"] == NONE else "yes"
        info["start"], info["end"] = start, end
        chunks.append(info)
        pos = end
    return chunks, seconds(longest, division, tempo_events)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: smfsummary.py FILE")
    try:
        chunks, length = summarize(open(sys.argv[1], "rb").read())
    except (OSError, ValueError) as e:
        sys.exit("smfsummary: %s: %s" % (sys.argv[1], e))
    for ordinal, c in enumerate(chunks):
        print('chunk %d channel %d program %d volume %d pan %d listed %s name "%s"' % (
            ordinal, c["channel"], c["program"], c["volume"], c["pan"], c["listed"], c["name"]))
    print("duration %.1f" % length)


if __name__ == "__main__":
    main()
