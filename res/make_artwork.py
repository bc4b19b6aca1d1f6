#!/usr/bin/env python3
"""Draws Keyscope's own artwork: the footer banner and the application icon.

Run from anywhere: python3 res/make_artwork.py
Writes res/banner.png (250 x 100 RGBA), res/keyscope.png (64 x 64 RGBA) and the
installed icon sizes res/icons/<size>.png.
Only the standard library is used (zlib + struct), so the PNGs can be
regenerated on any machine and always come out byte-identical.

Banner layout. The bar graph draws the banner at the bottom of its window, over
the lowest 40 rows of the plot and over the click prompt, so the banner is
transparent except for a logo left of the plot (x < 100, below the plot) and a
thin band along its bottom edge. Its rightmost 50 columns are repeated
sideways to fill wide windows, so everything in columns 100..249 is periodic
with period 50 and the tile joins itself seamlessly.
"""

import os
import struct
import zlib

BANNER_W, BANNER_H = 250, 100
TILE = 50
ICON_SIZE = 64
# The hicolor theme sizes the desktop entry's icon is installed in (res/icons/<size>.png).
INSTALLED_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# Palette shared with the bar graph's value bar gradient.
SEA_GREEN = (0x2E, 0x8B, 0x57)
KHAKI = (0xBD, 0xB7, 0x6B)
SLATE = (0x70, 0x80, 0x90)
RED = (0xFF, 0x00, 0x00)
NAVY = (0x1C, 0x2A, 0x3A)

# 5 x 7 pixel glyphs, one string per row, '#' = ink.
GLYPHS = {
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "C": [".####", "#....", "#....", "#....", "#....", "#....", ".####"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
}


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0, 0, 0, 0) for _ in range(w)] for _ in range(h)]

    def put(self, x, y, rgb, alpha=255):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = (rgb[0], rgb[1], rgb[2], alpha)

    def rect(self, x0, y0, w, h, rgb, alpha=255):
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                self.put(x, y, rgb, alpha)

    def png(self):
        raw = b"".join(
            b"\x00" + b"".join(struct.pack("BBBB", *p) for p in row) for row in self.px)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)  # 8-bit RGBA
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def text(canvas, x, y, word, rgb, scale):
    for ch in word:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    canvas.rect(x + col * scale, y + row * scale, scale, scale, rgb)
        x += 6 * scale


def banner():
    c = Canvas(BANNER_W, BANNER_H)
    band_top = 88
    # Bottom band: a navy strip under a hairline in the bar palette. Each column
    # depends on x only through x % TILE past the logo, so the tile repeats cleanly.
    for x in range(BANNER_W):
        phase = (x % TILE) / (TILE - 1)
        c.put(x, band_top, lerp(SEA_GREEN, KHAKI, phase))
        c.put(x, band_top + 1, lerp(SEA_GREEN, KHAKI, phase), 160)
        for y in range(band_top + 2, BANNER_H):
            shade = (y - band_top - 2) / (BANNER_H - band_top - 3)
            c.put(x, y, lerp(NAVY, (0x0E, 0x15, 0x1E), shade))
        # A tick every 10 columns, taller every 50: a ruler running under the bars.
        tick = 5 if x % TILE == 0 else (2 if x % 10 == 0 else 0)
        for y in range(BANNER_H - tick, BANNER_H):
            c.put(x, y, SLATE)
    # Logo below the legend column, left of the plot: four little bars and the name.
    heights = [10, 16, 7, 13]
    for i, h in enumerate(heights):
        x0 = 10 + i * 12
        for x in range(x0, x0 + 8):
            colour = lerp(RED if i == 2 else SEA_GREEN, KHAKI, (x - x0) / 8)
            for y in range(66 - h, 66):
                c.put(x, y, colour)
    c.rect(8, 66, 48, 1, SLATE)
    text(c, 4, 71, "KEYSCOPE", NAVY, 2)
    return c


def icon(size=ICON_SIZE):
    # Drawn on a 64-pixel grid and scaled, so each installed size is drawn, not resampled.
    def at(v):
        return int(round(v * size / ICON_SIZE))

    c = Canvas(size, size)
    radius = at(10)
    for y in range(size):
        for x in range(size):
            # Rounded square: skip pixels outside the corner circles.
            cx = min(max(x, radius), size - 1 - radius)
            cy = min(max(y, radius), size - 1 - radius)
            if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                c.put(x, y, lerp(NAVY, (0x2B, 0x3E, 0x52), y / size))
    heights = [22, 36, 16, 30]
    base, width = at(52), max(1, at(9))
    for i, h in enumerate(heights):
        x0 = at(10 + i * 12)
        for x in range(x0, x0 + width):
            colour = lerp(RED if i == 2 else SEA_GREEN, KHAKI, (x - x0) / width)
            for y in range(base - at(h), base):
                c.put(x, y, colour)
    c.rect(at(7), base, at(50), max(1, at(2)), (0xDD, 0xDD, 0xDD))
    # Peak marker over the tallest bar.
    c.rect(at(20), at(52 - 40), at(11), max(1, at(2)), (0x8C, 0xA8, 0xFF))
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    drawings = [("banner.png", banner()), ("keyscope.png", icon())]
    drawings += [(os.path.join("icons", "%d.png" % size), icon(size)) for size in INSTALLED_ICON_SIZES]
    os.makedirs(os.path.join(here, "icons"), exist_ok=True)
    for name, canvas in drawings:
        with open(os.path.join(here, name), "wb") as f:
            f.write(canvas.png())


if __name__ == "__main__":
    main()
