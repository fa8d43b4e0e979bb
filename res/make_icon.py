#!/usr/bin/env python3
"""Draws the Setup icon (a wax seal crossed by a pen) and writes it as a .ico file.

The file holds four BMP-format images: 16x16 and 32x32, each in 16 colours (4 bpp) and 256 colours
(8 bpp), the set that old shells and Windows 2000/XP pick from. Only the standard library is used so
the build needs nothing but Python 3, and the output is byte-for-byte the same on every run.

Usage: make_icon.py OUTPUT.ico
"""

import math
import struct
import sys

# The 16 colours of the standard VGA palette, in the order every 16-colour Windows icon uses.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
MAROON, NAVY, YELLOW, WHITE = 1, 4, 11, 15

# In the 256-colour images the seal is shaded: indices 16.. hold reds from light (centre) to dark (rim).
SHADES = 32
SHADE_BASE = 16
PALETTE_256 = VGA + [(0xD0 - 0x60 * i // (SHADES - 1), 0x20 - 0x18 * i // (SHADES - 1), 0x20 - 0x18 * i // (SHADES - 1))
                     for i in range(SHADES)]
PALETTE_256 += [(0, 0, 0)] * (256 - len(PALETTE_256))

TRANSPARENT = None


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from point p to segment ab, and how far along ab (0..1) the nearest point lies."""
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)), t


def pixel(u, v, shaded):
    """The palette index at the unit-square point (u, v), v downwards, or TRANSPARENT."""
    pen_distance, along = segment_distance(u, v, 0.20, 0.80, 0.84, 0.16)
    if pen_distance <= 0.075:
        return YELLOW if along < 0.18 else NAVY
    d = math.hypot(u - 0.5, v - 0.5)
    if d > 0.47:
        return TRANSPARENT
    if 0.32 <= d <= 0.39:
        return WHITE
    if shaded:
        return SHADE_BASE + min(SHADES - 1, int(d / 0.47 * SHADES))
    return MAROON


def dib(size, bpp):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap and AND mask, rows bottom-up."""
    colours = 1 << bpp
    palette = VGA if bpp == 4 else PALETTE_256
    xor_stride = (size * bpp + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor_rows, and_rows = [], []
    for y in range(size):
        indices, mask = [], bytearray(and_stride)
        for x in range(size):
            index = pixel((x + 0.5) / size, (y + 0.5) / size, shaded=(bpp == 8))
            if index is TRANSPARENT:
                index = 0
                mask[x // 8] |= 0x80 >> (x % 8)
            indices.append(index)
        row = bytearray(xor_stride)
        if bpp == 8:
            row[:size] = bytes(indices)
        else:
            for x, index in enumerate(indices):
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor_rows.append(bytes(row))
        and_rows.append(bytes(mask))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, (xor_stride + and_stride) * size,
                         0, 0, 0, 0)
    quads = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette[:colours])
    return header + quads + b''.join(reversed(xor_rows)) + b''.join(reversed(and_rows))


def icon_file():
    formats = [(16, 4), (16, 8), (32, 4), (32, 8)]
    images = [dib(size, bpp) for size, bpp in formats]
    offset = 6 + 16 * len(images)
    out = struct.pack('<HHH', 0, 1, len(images))
    for (size, bpp), image in zip(formats, images):
        colour_count = 16 if bpp == 4 else 0  # the byte cannot say 256
        out += struct.pack('<BBBBHHII', size, size, colour_count, 0, 1, bpp, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], 'wb') as f:
        f.write(icon_file())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
