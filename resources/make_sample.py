#!/usr/bin/env python3
"""Draws Ostrel's sample picture (a kestrel on a branch at dusk) as resources/sample.png.

Pure Python, no libraries beyond the standard ones: the picture is computed pixel by pixel
from a few shapes, then written as an 8-bit RGB PNG.
"""
import math
import struct
import sys
import zlib

W, H = 508, 412  # four times the largest raster, 127 x 103


def smooth(edge0, edge1, x):
    t = max(0.0, min(1.0, (x - edge0) / (edge1 - edge0)))
    return t * t * (3 - 2 * t)


def ellipse(x, y, cx, cy, rx, ry, angle=0.0):
    c, s = math.cos(angle), math.sin(angle)
    dx, dy = x - cx, y - cy
    u = (dx * c + dy * s) / rx
    v = (-dx * s + dy * c) / ry
    return u * u + v * v


def mountains(x):
    return (250 + 40 * math.sin(x * 0.011 + 1.3) + 22 * math.sin(x * 0.027 + 0.4)
            + 9 * math.sin(x * 0.071))


def pixel(x, y):
    # Sky: light near the horizon, darker at the top, a low sun on the left.
    t = y / H
    sky = 235 - 120 * (1 - t) ** 1.6
    sun = ellipse(x, y, 120, 215, 48, 48)
    if sun < 1:
        sky = 250
    else:
        sky += 40 * math.exp(-(sun - 1) * 0.35)
    v = sky
    # Far hills, then the near ground.
    if y > mountains(x):
        v = 150 - 0.15 * (y - mountains(x))
    if y > 330 + 12 * math.sin(x * 0.02):
        v = 70 + 15 * math.sin(x * 0.3) * math.sin(y * 0.25)
    # The branch, from the right edge.
    by = 300 - 0.18 * (x - 260)
    if x > 230 and abs(y - by) < 9 - 0.01 * (x - 230):
        v = 45 + 20 * math.sin(x * 0.5)
    # The kestrel: body, head, tail, wing, eye, beak.
    body = ellipse(x, y, 330, 215, 40, 72, -0.15)
    head = ellipse(x, y, 318, 135, 30, 28)
    tail = ellipse(x, y, 348, 305, 17, 50, -0.25)
    wing = ellipse(x, y, 352, 210, 26, 62, -0.25)
    if tail < 1:
        v = 95 + 25 * math.sin(y * 0.6)
    if body < 1:
        spots = 0.5 + 0.5 * math.sin(x * 0.55) * math.sin(y * 0.5)
        v = 150 - 70 * body + (-35 if spots > 0.85 else 0)
    if wing < 1:
        v = 80 + 30 * smooth(0, 1, wing) + (25 if math.sin(y * 0.35) > 0.7 else 0)
    if head < 1:
        v = 165 - 60 * head
        if ellipse(x, y, 315, 150, 6, 16) < 1:  # the dark "moustache" mark
            v = 40
    if ellipse(x, y, 307, 130, 6, 6) < 1:
        v = 15 if ellipse(x, y, 306, 129, 2, 2) > 1 else 230
    if 282 < x < 292 and abs(y - 138 - (x - 282) * 0.5) < 3:
        v = 30
    v = max(0, min(255, int(v)))
    # A warm tint, so that the greying has something to do.
    return (min(255, v + 18), v, max(0, v - 22))


def write_png(path, width, height, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    rows = []
    for y in range(H):
        row = []
        for x in range(W):
            row.extend(pixel(x, y))
        rows.append(row)
    write_png(sys.argv[1] if len(sys.argv) > 1 else "sample.png", W, H, rows)


if __name__ == "__main__":
    main()
