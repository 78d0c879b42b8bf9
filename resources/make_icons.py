#!/usr/bin/env python3
"""Draws the window icon (a checked document) at 16, 32, 48, 128 and 256 pixels.

Run it from anywhere: writes morvik-SIZE.png for each size
beside itself. Needs only the Python standard library.
"""
import math
import os
import struct
import zlib

# Shapes in a 48 x 48 design space, painted back to front.
PAPER = (255, 255, 255, 255)
EDGE = (52, 73, 94, 255)
TEXT = (133, 146, 158, 255)
BADGE = (39, 156, 80, 255)
MARK = (255, 255, 255, 255)


def sheet(x, y, inset):
    left, top, right, bottom, fold = 7 + inset, 3 + inset, 33 - inset, 43 - inset, 9
    if not (left <= x <= right and top <= y <= bottom):
        return False
    return (x - (right - fold)) - (y - top) <= 0


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width


def colour_at(x, y):
    colour = None
    if sheet(x, y, 0):
        colour = EDGE
    if sheet(x, y, 2.2):
        colour = PAPER
    if near_segment(x, y, 26 - 2.2, 3 + 2.2, 33 - 2.2, 10 + 2.2, 1.1):
        colour = EDGE
    for row in (16, 22, 28):
        if 12 <= x <= 27 and row <= y <= row + 2.4:
            colour = TEXT
    if math.hypot(x - 34, y - 34) <= 12.5:
        colour = BADGE
    if near_segment(x, y, 28, 34, 32.5, 38.5, 1.9) or near_segment(x, y, 32.5, 38.5, 40, 29.5, 1.9):
        colour = MARK
    return colour


def render(size, samples=6):
    rows = []
    scale = 48.0 / size
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    c = colour_at(x, y)
                    if c:
                        a = c[3] / 255.0
                        for i in range(3):
                            total[i] += c[i] * a
                        total[3] += a
            n = samples * samples
            alpha = total[3] / n
            if alpha > 0:
                rgb = [round(total[i] / total[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.extend(rgb + [round(alpha * 255)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32, 48, 128, 256):
        with open(os.path.join(here, "morvik-%d.png" % size), "wb") as out:
            out.write(png(size, render(size)))


if __name__ == "__main__":
    main()
