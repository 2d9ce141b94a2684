#!/usr/bin/env python3
"""Draws the window's pictures and writes them as Windows resource files.

    python3 make_res.py            writes VESKFlash.ico, start.bmp, exit.bmp here

The pictures are kept as pixel art in this file; the written files are
checked in beside it so that the build needs no Python. Every picture uses
the sixteen standard VGA colours. The glyphs are 32 x 16: the normal
image on the left, the image shown while the button is disabled on the
right. Olive is the background of both halves; the button draws the
colour of the bottom-left pixel transparent.
"""
import math
import os
import struct

# The sixteen colours, in the order of the standard palette (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# Characters of the pixel art and their colours. '.' is the background.
KEY = {
    '.': OLIVE, 'k': BLACK, 'm': MAROON, 'g': GREEN, 'n': NAVY, 'p': PURPLE,
    't': TEAL, 's': SILVER, 'G': GRAY, 'r': RED, 'l': LIME, 'y': YELLOW,
    'b': BLUE, 'f': FUCHSIA, 'a': AQUA, 'w': WHITE,
}

# A lit light bulb: yellow glass with a white highlight, rays around it,
# a grey screw base and a black contact.
BULB = [
    "......y.........",
    "..y...y...y.....",
    "...y.....y......",
    "......kkk.......",
    ".....kyyyk......",
    "yy..kywwyyk..yy.",
    "....kywyyyk.....",
    "....kyyyyyk.....",
    "....kyyyyyk.....",
    ".....kyyyk......",
    "..y...kyk...y...",
    "......sGs.......",
    "......GsG.......",
    "......sGs.......",
    ".......k........",
    "................",
]

# An open door: the frame with light falling through the doorway, the
# door leaf swung open towards the viewer with its knob.
DOOR = [
    "................",
    "..kkkkkkkk......",
    "..kwwwwwwkm.....",
    "..kwwwwwwkmm....",
    "..kwwwwwwkmmm...",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmymk..",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmmmk..",
    "..kwwwwwwkmmk...",
    "..kwwwwwwkmk....",
    "..kkkkkkkkk.....",
    "................",
]


def parse(art):
    return [[KEY[c] for c in row] for row in art]


def disabled(image):
    """The disabled look: the dark parts of the picture in grey with a white
    edge below and to the right, everything else background."""
    h, w = len(image), len(image[0])
    out = [[OLIVE] * w for _ in range(h)]

    def dark(c):
        r, g, b = PALETTE[c]
        return c != OLIVE and (r * 30 + g * 59 + b * 11) < 150 * 100

    for y in range(h):
        for x in range(w):
            if dark(image[y][x]) and y + 1 < h and x + 1 < w:
                out[y + 1][x + 1] = WHITE
    for y in range(h):
        for x in range(w):
            if dark(image[y][x]):
                out[y][x] = GRAY
    return out


def glyph(art):
    normal = parse(art)
    grey = disabled(normal)
    return [normal[y] + grey[y] for y in range(16)]


def pack4(rows):
    """Rows of palette indices as 4-bit DIB rows (bottom-up, 4-byte aligned)."""
    data = b""
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, len(row), 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < len(row) else 0
            line.append((hi << 4) | lo)
        while len(line) % 4:
            line.append(0)
        data += bytes(line)
    return data


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(w, h, image_size):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, image_size, 0, 0, 16, 16)


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    pixels = pack4(rows)
    offset = 14 + 40 + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info_header(w, h, len(pixels)) + palette_bytes() + pixels)


def write_ico(path, rows, transparent):
    """A one-image icon: 4-bit colours plus the 1-bit AND mask (set where
    the picture is transparent)."""
    h, w = len(rows), len(rows[0])
    xor = pack4([[0 if c is None else c for c in row] for row in rows])
    mask = b""
    for row in reversed(rows):
        line = bytearray((w + 7) // 8)
        for x, c in enumerate(row):
            if c is transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        while len(line) % 4:
            line.append(0)
        mask += bytes(line)
    # An icon's DIB header counts the XOR and AND bitmaps together in its height.
    dib = info_header(w, h * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(dib), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + dib)


def icon_rows():
    """The program icon: an optical disc with a lightning bolt over it
    (firmware being written into the drive)."""
    size = 32
    rows = [[None] * size for _ in range(size)]
    cx = cy = 15.5
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - cx, y - cy)
            if d > 15.2:
                continue
            if d < 2.6:
                continue  # the hole in the middle
            if d > 14.2 or d < 3.6:
                rows[y][x] = GRAY  # rim and hole edge
                continue
            if d < 6.0:
                rows[y][x] = WHITE  # clamping ring
                continue
            # Reflections: coloured bands by angle, silver elsewhere.
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            if 200 <= a < 215:
                rows[y][x] = AQUA
            elif 215 <= a < 230:
                rows[y][x] = WHITE
            elif 230 <= a < 245:
                rows[y][x] = FUCHSIA
            elif 20 <= a < 35:
                rows[y][x] = AQUA
            elif 35 <= a < 50:
                rows[y][x] = WHITE
            else:
                rows[y][x] = SILVER
    bolt = [
        "..........kkkkk",
        ".........kyyyyk",
        "........kyyyyk.",
        ".......kyyyyk..",
        "......kyyyyk...",
        ".....kyyyykkkk.",
        "....kyyyyyyyyk.",
        "...kkkkkyyyyk..",
        ".......kyyyk...",
        "......kyyyk....",
        ".....kyyyk.....",
        "....kyyk.......",
        "...kyyk........",
        "...kyk.........",
        "..kk...........",
    ]
    top, left = 14, 14
    for dy, line in enumerate(bolt):
        for dx, c in enumerate(line):
            if c != '.' and 0 <= top + dy < size and 0 <= left + dx < size:
                rows[top + dy][left + dx] = KEY[c]
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "start.bmp"), glyph(BULB))
    write_bmp(os.path.join(here, "exit.bmp"), glyph(DOOR))
    write_ico(os.path.join(here, "VESKFlash.ico"), icon_rows(), None)


if __name__ == "__main__":
    main()
