#!/usr/bin/env python3
"""Draws the program's icon, the mark of the logo (a red disc with three white air-flow
waves) on a transparent ground, as PNG files at the hicolor theme's usual sizes:
dravonik-config-<size>.png in this folder. Standard library only; the files are committed
and the build only installs them.

    python3 make_icons.py
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
RED = (200, 16, 46)
WHITE = (255, 255, 255)
SAMPLES = 4  # per pixel and axis


def wave_distance(x, y, cx, cy, r):
    """Distance from (x, y) to the nearest of the three waves."""
    best = 1e9
    for k, dy in enumerate((-8.0, 0.0, 8.0)):
        half = math.sqrt(r * r - dy * dy) - 6.0
        previous = None
        for i in range(41):
            t = i / 40.0
            point = (cx - half + 2 * half * t, cy + dy - 2.1 * math.sin(2 * math.pi * t + 0.6 * k))
            if previous is not None:
                best = min(best, segment_distance(x, y, previous, point))
            previous = point
    return best


def segment_distance(x, y, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return math.hypot(x - px, y - py)


def icon(size):
    """RGBA rows of the icon at size x size, drawn in the logo's 44-unit box."""
    scale = size / 44.0
    cx, cy, r = 22.0, 22.0, 20.5
    stroke = 2.5 if size >= 32 else 3.4  # thicker waves where pixels are few
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            red = white = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / scale
                    y = (py + (sy + 0.5) / SAMPLES) / scale
                    if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                        if wave_distance(x, y, cx, cy, r - 1.0) <= stroke / 2:
                            white += 1
                        else:
                            red += 1
            n = SAMPLES * SAMPLES
            covered = red + white
            if covered == 0:
                row += bytes((0, 0, 0, 0))
                continue
            colour = [(RED[i] * red + WHITE[i] * white) // covered for i in range(3)]
            row += bytes(colour + [255 * covered // n])
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    raw = b''.join(b'\x00' + row for row in rows)
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
        out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)))
        out.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        out.write(chunk(b'IEND', b''))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in SIZES:
        write_png(os.path.join(here, 'dravonik-config-%d.png' % size), size, icon(size))
        print('dravonik-config-%d.png' % size)
    return 0


if __name__ == '__main__':
    sys.exit(main())
