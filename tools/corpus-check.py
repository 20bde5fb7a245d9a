#!/usr/bin/env python3
"""Runs midimix over a corpus of real MIDI files and checks, for every file:

- it loads (exit 0) without crashing, and what it reads agrees with an independent parse
  (tools/smfsummary.py): each chunk's channel, first program, volume, pan, listing and name;
- the prepared image is byte for byte what the independent parse says the reader must make
  (note-off velocities zeroed, default controllers inserted), muting every row changes exactly
  the note status bytes it finds, and muting twice gives the prepared image back;
- every kind of setting on every row, with new names, saves a song that loads again with the
  rows the edited image has and the names given, and that the independent parse reads whole;
- a save without edits loads again with the same rows, channels, programs and names.

    corpus-check.py MIDIMIX CORPUS_DIR

Prints one line per file with a fault and a summary; exits 1 when any file has a fault.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import smfsummary  # noqa: E402

CHUNK = re.compile(r'chunk (\d+) size (\d+) channel (\d+) program (\d+) volume (\d+) pan (\d+) '
                   r'listed (yes|no) name "(.*)"$')
ROW = re.compile(r'row (\d+) chunk (\d+) instrument (\d+) volume (\d+) balance (\d+)$')
SANITIZER = ("AddressSanitizer", "runtime error:", "LeakSanitizer")
NONE = 240

# Sanitizer reports must not look like midimix's own exit statuses.
ENV = dict(os.environ, ASAN_OPTIONS="exitcode=99:detect_leaks=1", UBSAN_OPTIONS="exitcode=99:print_stacktrace=1")


class Fault(Exception):
    pass


class Run:
    def __init__(self, midimix, args):
        p = subprocess.run([midimix] + args, capture_output=True, env=ENV)
        self.args = args
        self.rc = p.returncode
        self.out = p.stdout.decode("latin-1").replace("\r", "")
        self.err = p.stderr.decode("latin-1").replace("\r", "")
        if self.rc not in (0, 1, 2) or any(s in self.err for s in SANITIZER):
            raise Fault("crash (exit %d) in midimix %s:\n%s" % (self.rc, " ".join(args), self.err[-3000:]))
        self.chunks = []
        self.rows = []
        for line in self.out.splitlines():
            m = CHUNK.match(line)
            if m:
                g = m.groups()
                self.chunks.append(dict(size=int(g[1]), channel=int(g[2]), program=int(g[3]),
                                        volume=int(g[4]), pan=int(g[5]), listed=g[6], name=g[7]))
            m = ROW.match(line)
            if m:
                self.rows.append(tuple(int(x) for x in m.groups()[1:]))

    def messages(self):
        return [line for line in self.err.splitlines() if line]


def expect(cond, what):
    if not cond:
        raise Fault(what)


def edit_values(r):
    """Volume, pan, program and name given to row r: spread out, and never the defaults."""
    return (r * 13 + 5) % 128, (r * 29 + 7) % 128, (r * 7 + 3) % 128, "Row %d of the corpus" % r


def compare_with_independent_parse(path, load):
    """Returns the independent parse's chunks."""
    data = open(path, "rb").read()
    try:
        chunks, _ = smfsummary.summarize(data)
    except ValueError as e:
        raise Fault("the independent parse fails (%s) where midimix loads" % e)
    expect(len(chunks) == len(load.chunks), "chunk count %d, independent parse %d" % (len(load.chunks), len(chunks)))
    for c, (ours, theirs) in enumerate(zip(load.chunks, chunks)):
        for key in ("channel", "program", "volume", "pan", "listed", "name"):
            expect(ours[key] == theirs[key], "chunk %d %s: midimix %r, independent parse %r" % (c, key, ours[key], theirs[key]))
    return chunks


def expected_images(data, chunks):
    """The prepared image as the reader must make it from data, by the independent parse:
    note-off velocities zeroed, default pan and volume events at the start of every track on
    one channel that lacks them, bytes after the last chunk kept. Also the same image with
    every listed track switched off (its own note status bytes 8n <-> 9n)."""
    prepared = bytearray(data[:14])
    toggles = []
    pos = 14
    for c in chunks:
        start, end = c["start"], c["end"]
        inserted = b""
        if c["channel"] < 16:
            if c["pan"] == NONE:
                inserted += bytes([0x00, 0xB0 | c["channel"], 0x0A, 0x40])
            if c["volume"] == NONE:
                inserted += bytes([0x00, 0xB0 | c["channel"], 0x07, 0x7F])
        body = bytearray(data[start:end])
        for o in c["noteoff_velocity"]:
            body[o - start] = 0
        prepared += b"MTrk" + (len(inserted) + len(body)).to_bytes(4, "big") + inserted
        shift = len(prepared) - start
        prepared += body
        if c["listed"] == "yes":
            toggles += [o + shift for o in c["note_status"]]
        pos = end
    prepared += data[pos:]
    muted = bytearray(prepared)
    for o in toggles:
        muted[o] ^= 0x10
    return bytes(prepared), bytes(muted)


def same_bytes(what, expected, path):
    actual = open(path, "rb").read()
    if actual != expected:
        first = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b), min(len(expected), len(actual)))
        raise Fault("%s differs from the independent parse's at byte %d (sizes %d, %d)" % (what, first, len(expected), len(actual)))


def check_file(midimix, path, tmp):
    load = Run(midimix, [path])
    expect(load.rc == 0, "not loaded (exit %d): %s" % (load.rc, load.err.strip()))
    independent = compare_with_independent_parse(path, load)
    bad_tracks = any("Error" in m or "Ptr error" in m for m in load.messages())
    clean = all(c["clean"] for c in independent)
    expect(not (bad_tracks and clean), "reports %s for a song the independent parse reads whole" % "; ".join(load.messages()))

    p0, s0 = os.path.join(tmp, "p0.mid"), os.path.join(tmp, "s0.mid")
    run = Run(midimix, [path, "--prepared", p0, "--save", s0])
    expect(run.rc == 0, "plain save failed: %s" % run.err.strip())

    rows = len(load.rows)
    mutes = []
    for r in range(rows):
        mutes += ["--mute", str(r)]
    p1, p2 = os.path.join(tmp, "p1.mid"), os.path.join(tmp, "p2.mid")
    once = Run(midimix, [path] + mutes + ["--prepared", p1])
    twice = Run(midimix, [path] + mutes + mutes + ["--prepared", p2])
    if not bad_tracks:
        expect(once.rc == 0 and twice.rc == 0, "mute failed: %s" % (once.err + twice.err).strip())
    if clean:
        prepared, muted = expected_images(open(path, "rb").read(), independent)
        same_bytes("the prepared image", prepared, p0)
        same_bytes("the image with every row switched off", muted, p1)
    expect(open(p0, "rb").read() == open(p2, "rb").read(), "muting twice did not restore the image")

    # Every kind of setting on every row, and new names.
    args = [path]
    for r in range(rows):
        v, pan, prog, name = edit_values(r)
        args += ["--mute", str(r), "--volume", "%d=%d" % (r, v), "--pan", "%d=%d" % (r, pan),
                 "--program", "%d=%d" % (r, prog), "--name", "%d=%s" % (r, name)]
    pe, se = os.path.join(tmp, "pe.mid"), os.path.join(tmp, "se.mid")
    edited = Run(midimix, args + ["--prepared", pe, "--save", se])
    if not bad_tracks:
        expect(edited.rc == 0, "edits failed: %s" % edited.err.strip())
    expect(os.path.exists(se), "no saved file")

    # The edited image holds the new values wherever the track has such events.
    edited_image = Run(midimix, [pe])
    expect(edited_image.rc == 0, "the edited image does not load")
    for r, (chunk, instr, vol, bal) in enumerate(edited_image.rows):
        v, pan, prog, _ = edit_values(r)
        was = load.chunks[chunk]
        single = was["channel"] < 16
        if not bad_tracks:
            if load.rows[r][1] < 128:
                expect(instr == prog, "row %d instrument %d after setting %d" % (r, instr, prog))
            if was["volume"] != NONE or single:
                expect(vol == v, "row %d volume %d after setting %d" % (r, vol, v))
            if was["pan"] != NONE or single:
                expect(bal == pan, "row %d balance %d after setting %d" % (r, bal, pan))

    # The saved song: the edited image's rows, the names given, readable by the other parser.
    saved = Run(midimix, [se])
    expect(saved.rc == 0, "the saved song does not load: %s" % saved.err.strip())
    expect(saved.rows == edited_image.rows, "the saved song's rows differ from the edited image's")
    listed = [c for c, ch in enumerate(load.chunks) if ch["listed"] == "yes"]
    for r, c in enumerate(listed):
        # The first name event takes the new name; the record shows the last one.
        want = edit_values(r)[3] if independent[c]["names"] < 2 else load.chunks[c]["name"]
        expect(saved.chunks[c]["name"] == want, "chunk %d saved with name %r, expected %r" % (c, saved.chunks[c]["name"], want))
    for c, ch in enumerate(load.chunks):
        if ch["listed"] == "no":
            expect(saved.chunks[c] == ch, "unlisted chunk %d changed" % c)
    try:
        theirs, _ = smfsummary.summarize(open(se, "rb").read())
    except ValueError as e:
        raise Fault("the independent parse cannot read the saved song: %s" % e)
    expect([c["name"] for c in theirs] == [c["name"] for c in saved.chunks], "the saved names read differently elsewhere")

    # Saved without edits: same rows, channels, programs and names.
    plain = Run(midimix, [s0])
    expect(plain.rc == 0, "the plainly saved song does not load")
    expect(plain.rows == load.rows, "a save without edits changed the rows")
    for c, (a, b) in enumerate(zip(load.chunks, plain.chunks)):
        for key in ("channel", "program", "listed", "name"):
            expect(a[key] == b[key], "chunk %d %s changed by a save without edits" % (c, key))
    return load, bad_tracks


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: corpus-check.py MIDIMIX CORPUS_DIR")
    midimix, corpus = sys.argv[1], sys.argv[2]
    files = sorted(os.path.join(d, f) for d, _, names in os.walk(corpus) for f in names if not f.startswith("."))
    expect_files = len(files)
    if not files:
        sys.exit("corpus-check: no files in %s (run tools/fetch-corpus.sh)" % corpus)
    start = time.time()
    faults = 0
    with_messages = 0
    total_bytes = 0
    rows = 0
    with tempfile.TemporaryDirectory() as tmp:
        for path in files:
            total_bytes += os.path.getsize(path)
            try:
                load, bad = check_file(midimix, path, tmp)
                rows += len(load.rows)
                if load.messages():
                    with_messages += 1
                    print("note: %s: %s" % (path, "; ".join(load.messages())))
            except Fault as e:
                faults += 1
                print("FAULT: %s: %s" % (path, e))
    print("corpus: %d files (%.1f MB, %d rows) checked in %.1f s; %d with load messages; %d with faults"
          % (expect_files, total_bytes / 1e6, rows, time.time() - start, with_messages, faults))
    print("corpus: %d passed, %d failed" % (expect_files - faults, faults))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
