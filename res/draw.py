#!/usr/bin/env python3
"""Draws the player's toolbar strip (toolbar.bmp) and its icon (player.ico) from code.

Plain python3, no packages. Both use the standard 16-colour palette; the toolbar's ground
is light gray (the button face colour, which the toolbar maps to the current face colour).
Run from anywhere:  python3 res/draw.py   (writes beside this script)
"""
import os
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Letters of the pictures below, as palette indices.
INK = {'k': 0, 'R': 1, 'g': 2, 'o': 3, 'b': 4, 'c': 6, '.': 7, 'd': 8, 'r': 9,
       'G': 10, 'y': 11, 'B': 12, 'C': 14, 'w': 15}

W, H = 16, 15          # one toolbar picture
GROUND = INK['.']


def picture(rows):
    assert len(rows) == H, len(rows)
    for r in rows:
        assert len(r) == W, (len(r), r)
    return [[INK[c] for c in r] for r in rows]


def blank():
    return [[GROUND] * W for _ in range(H)]


NEW = picture([
    "................",
    "...kkkkkkk......",
    "...kwwwwwkk.....",
    "...kwwwwwkwk....",
    "...kwwwwwkkkk...",
    "...kwwwwwkkwk...",
    "...kwwwwwkwkk...",
    "...kwwwwwkwkk...",
    "...kwwwwwkwwk...",
    "...kwwwwwkwwk...",
    "...kwwwwwkwwk...",
    "...kwwwkkkwwk...",
    "...kwwkkkwwwk...",
    "...kwwwwwwwwk...",
    "...kkkkkkkkkk...",
])

OPEN = picture([
    "................",
    ".........kkk....",
    "........k...k.k.",
    ".............kk.",
    ".kkkk.......kkk.",
    "kyyyyk..........",
    "kyyyyykkkkkkk...",
    "kyyyyyyyyyyyk...",
    "kyyyykkkkkkkkkk.",
    "kyyykyyyyyyyyyk.",
    "kyykyyyyyyyyyk..",
    "kykyyyyyyyyyk...",
    "kkyyyyyyyyyk....",
    "kkkkkkkkkkkk....",
    "................",
])

SAVE = picture([
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kokwwwwwwwwkok.",
    ".kokwwwwwwwwkok.",
    ".kokwwwwwwwwkok.",
    ".kokwwwwwwwwkok.",
    ".kookkkkkkkkook.",
    ".kooooooooooook.",
    ".kooddddddddook.",
    ".koodkkdddddook.",
    ".koodkkdddddook.",
    ".koodkkdddddook.",
    ".kooddddddddook.",
    ".kkkkkkkkkkkkkk.",
    "................",
])

STOP = picture(["................"] * 3 + ["....kkkkkkkkk..."] * 9 + ["................"] * 3)

PLAY = picture(["................"] * 2 +
               ["....." + "g" * n + "." * (11 - n) for n in (1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1)] +
               ["................"] * 2)

PAUSE = picture(["................"] * 3 + ["....kkk..kkk...."] * 9 + ["................"] * 3)

ABOUT = picture([
    "................",
    "................",
    "......kkkk......",
    ".....kk..kk.....",
    ".....kk..kk.....",
    "........kk......",
    ".......kk.......",
    ".......kk.......",
    ".......kk.......",
    "................",
    ".......kk.......",
    ".......kk.......",
    "................",
    "................",
    "................",
])

LOOP = picture([
    "................",
    "................",
    "................",
    "...kkkkkkkkk....",
    "...k.......k....",
    "...k.......k....",
    "...k.......k....",
    "...k.......k....",
    "...k.....kkkkk..",
    "...k......kkk...",
    "...k.......k....",
    "...k............",
    "...kkkkkkk......",
    "................",
    "................",
])


def disc(colour, cx, cy, r):
    img = blank()
    for y in range(H):
        for x in range(W):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                img[y][x] = colour
    return img


def sliders(vertical):
    """Three slider tracks with their knobs at different places."""
    img = blank()
    knobs = (9, 3, 6)
    for i, knob in enumerate(knobs):
        line = 3 + 4 * i            # track row (or column)
        for t in range(1, 14):      # along the track
            x, y = (line, t) if vertical else (t + 1, line)
            img[y][x] = INK['k']
        for a in range(-1, 2):      # 3 x 3 knob, navy with a white light
            for b in range(-1, 2):
                x, y = (line + a, knob + b) if vertical else (knob + 1 + b, line + a)
                img[y][x] = INK['b']
        x, y = (line - 1, knob - 1) if vertical else (knob, line - 1)
        img[y][x] = INK['w']
    return img


RECORD = disc(INK['r'], 7.5, 7, 5.2)
TRACKS = sliders(vertical=False)
VOLUME = sliders(vertical=True)

# Channel rows: a track's bar with three shorter bars set in under it.
CHANNELS = picture([
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kbbbbbbbbbbbbk.",
    ".kkkkkkkkkkkkkk.",
    "................",
    "....kkkkkkkkkkk.",
    "....krrrrrrrrrk.",
    "....kkkkkkkkkkk.",
    "....kkkkkkkkkkk.",
    "....kGGGGGGGGGk.",
    "....kkkkkkkkkkk.",
    "....kkkkkkkkkkk.",
    "....kyyyyyyyyyk.",
    "....kkkkkkkkkkk.",
    "................",
])

# Image index order of the toolbar button table.
STRIP = [NEW, OPEN, SAVE, STOP, PLAY, PAUSE, RECORD, ABOUT, LOOP, TRACKS, VOLUME, CHANNELS]


def pack4(row):
    """One 4-bit pixel row, padded to a multiple of 4 bytes."""
    out = bytearray()
    for i in range(0, len(row), 2):
        hi = row[i]
        lo = row[i + 1] if i + 1 < len(row) else 0
        out.append(hi << 4 | lo)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(width, height, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 16)


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    bits = b''.join(pack4(row) for row in reversed(pixels))   # bottom-up
    offset = 14 + 40 + 64
    header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(header + info_header(width, height, len(bits)) + palette_bytes() + bits)


# ---- Icon: the black-and-white emblem above a row of piano keys ----------------------

IW = 32
CLEAR = None    # transparent


def icon_pixels():
    img = [[CLEAR] * IW for _ in range(IW)]
    # Emblem: a black disc with a white ring inside and a white Z across it.
    cx, cy = 15.5, 9.5
    for y in range(0, 20):
        for x in range(IW):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 9.5 ** 2:
                img[y][x] = INK['k']
                if 7.0 ** 2 <= d2 <= 8.0 ** 2:
                    img[y][x] = INK['w']
    for x in range(11, 21):           # the Z: top bar, diagonal, bottom bar
        img[5][x] = img[6][x] = INK['w']
        img[13][x] = img[14][x] = INK['w']
    for y in range(7, 13):
        x = 19 - (y - 7) * 8 // 5
        img[y][x] = img[y][x + 1] = INK['w']
    # Piano: seven white keys of 4 pixels between black lines, five black keys.
    top, bottom = 21, 31
    for y in range(top, bottom + 1):
        for x in range(2, 31):
            edge = y in (top, bottom) or (x - 2) % 4 == 0
            img[y][x] = INK['k'] if edge else INK['w']
    for key in (0, 1, 3, 4, 5):        # black keys sit between white keys 1-2, 2-3, 4-5, 5-6, 6-7
        x0 = 2 + 4 * (key + 1) - 1
        for y in range(top, top + 6):
            for x in range(x0, x0 + 3):
                img[y][x] = INK['k']
    return img


def write_ico(path):
    img = icon_pixels()
    xor_rows = [[INK['k'] if p is CLEAR else p for p in row] for row in img]
    xor_bits = b''.join(pack4(row) for row in reversed(xor_rows))
    and_bits = bytearray()
    for row in reversed(img):
        bits = 0
        for x, p in enumerate(row):
            if p is CLEAR:
                bits |= 1 << (31 - x)
        and_bits += struct.pack('>I', bits)
    dib = info_header(IW, IW * 2, len(xor_bits) + len(and_bits)) + palette_bytes() + xor_bits + bytes(and_bits)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', IW, IW, 16, 0, 1, 4, len(dib), 6 + 16)
    with open(path, 'wb') as f:
        f.write(directory + entry + dib)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    strip = [sum((STRIP[i][y] for i in range(len(STRIP))), []) for y in range(H)]
    assert len(strip[0]) == 16 * len(STRIP)
    write_bmp(os.path.join(here, 'toolbar.bmp'), strip)
    write_ico(os.path.join(here, 'player.ico'))


if __name__ == '__main__':
    main()
