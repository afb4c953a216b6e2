#!/usr/bin/env python3
"""Draws the 32x32 icons of the generator and the desktop entries.

Pure Python (zlib only), so the PNGs come out byte-identical on every run:
    python3 generator/icons/make_icons.py
writes generator/icons/{morvanta,wait}.png and the desktop icons
packaging/icons/<N>x<N>/{morvanta,tolberin,morvanta-print}.png at the sizes desktops ask for,
resampled from the 32x32 drawing.
"""
import os
import struct
import zlib

SIZE = 32
DESKTOP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# The classic 16-colour palette; the wait form icon keeps to it.
BLACK = (0, 0, 0, 255)
NAVY = (0, 0, 128, 255)
MAROON = (128, 0, 0, 255)
GREY = (128, 128, 128, 255)
SILVER = (192, 192, 192, 255)
RED = (255, 0, 0, 255)
YELLOW = (255, 255, 0, 255)
BLUE = (0, 0, 255, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)
CREAM = (255, 250, 232, 255)
GOLD = (214, 160, 32, 255)


class Canvas:
    def __init__(self):
        self.px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def put(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def hline(self, x0, x1, y, c):
        self.fill(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.fill(x, y0, x, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r, c):
        for y in range(SIZE):
            for x in range(SIZE):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if (r - 1) ** 2 <= d <= r * r:
                    self.put(x, y, c)

    def png(self):
        return encode_png(self.px)

    def scaled(self, size):
        """The drawing at size x size: each target pixel averages the source
        area it covers (alpha-weighted), so integer enlargements stay sharp."""
        step = SIZE / size
        rows = []
        for ty in range(size):
            row = []
            for tx in range(size):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(int(ty * step), min(SIZE, int((ty + 1) * step + 0.999))):
                    wy = min(sy + 1, (ty + 1) * step) - max(sy, ty * step)
                    for sx in range(int(tx * step), min(SIZE, int((tx + 1) * step + 0.999))):
                        wx = min(sx + 1, (tx + 1) * step) - max(sx, tx * step)
                        r, g, b, a = self.px[sy][sx]
                        w = wx * wy * a
                        acc[0] += r * w
                        acc[1] += g * w
                        acc[2] += b * w
                        acc[3] += wx * wy * a
                area = step * step
                alpha = acc[3] / area
                if acc[3] == 0:
                    row.append(CLEAR)
                else:
                    row.append(tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(alpha),))
            rows.append(row)
        return encode_png(rows)


def encode_png(px):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", len(px[0]), len(px), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def certificate():
    """A certificate sheet with a title, text lines and a red seal."""
    c = Canvas()
    c.fill(4, 2, 27, 29, CREAM)
    c.frame(4, 2, 27, 29, MAROON)
    c.frame(6, 4, 25, 27, GOLD)
    c.hline(10, 21, 7, MAROON)
    c.hline(11, 20, 8, MAROON)
    for y in (12, 15, 18):
        c.hline(9, 22, y, NAVY)
    c.hline(9, 15, 21, NAVY)
    c.disc(21, 23, 4, RED)
    c.ring(21, 23, 4, MAROON)
    c.put(21, 23, YELLOW)
    c.hline(20, 22, 23, YELLOW)
    c.vline(21, 22, 24, YELLOW)
    return c


def printer():
    """A printer with a sheet coming out: the wait form icon, 16 colours."""
    c = Canvas()
    c.fill(9, 2, 22, 12, WHITE)
    c.frame(9, 2, 22, 12, GREY)
    for y in (5, 7, 9):
        c.hline(11, 20, y, BLUE)
    c.fill(3, 12, 28, 23, SILVER)
    c.frame(3, 12, 28, 23, BLACK)
    c.hline(4, 27, 13, WHITE)
    c.fill(7, 15, 24, 16, GREY)
    c.fill(24, 19, 26, 20, RED)
    c.fill(8, 21, 23, 29, WHITE)
    c.frame(8, 21, 23, 29, GREY)
    for y in (24, 26):
        c.hline(10, 21, y, BLUE)
    c.hline(3, 28, 23, BLACK)
    return c


def printed_certificate():
    """The printer with a sealed certificate coming out: the print program."""
    c = printer()
    c.disc(20, 26, 3, RED)
    c.ring(20, 26, 3, MAROON)
    c.put(20, 26, YELLOW)
    return c


def margins():
    """A page with dashed margin lines and a ruler: the margin program."""
    c = Canvas()
    c.fill(5, 2, 26, 29, WHITE)
    c.frame(5, 2, 26, 29, GREY)
    for x in range(6, 26, 2):
        c.put(x, 7, BLUE)
        c.put(x, 24, BLUE)
    for y in range(3, 29, 2):
        c.put(10, y, BLUE)
        c.put(21, y, BLUE)
    for y in (11, 14, 17, 20):
        c.hline(12, 19, y, BLACK)
    c.fill(0, 27, 31, 31, YELLOW)
    c.frame(0, 27, 31, 31, MAROON)
    for x in range(2, 31, 3):
        c.vline(x, 27, 29, MAROON)
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    outputs = {
        os.path.join(here, "morvanta.png"): certificate().png(),
        os.path.join(here, "wait.png"): printer().png(),
    }
    for size in DESKTOP_ICON_SIZES:
        folder = os.path.join(root, "packaging", "icons", "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        outputs[os.path.join(folder, "morvanta.png")] = certificate().scaled(size)
        outputs[os.path.join(folder, "tolberin.png")] = margins().scaled(size)
        outputs[os.path.join(folder, "morvanta-print.png")] = printed_certificate().scaled(size)
    for path, data in outputs.items():
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
