#!/usr/bin/env python3
"""Draws the bundled bitmaps of the Dravonik Configuration Manager.

Writes, beside this script:
  group_normal.bmp, group_down.bmp          navigation buttons of groups (200 x 32)
  subgroup_normal.bmp, subgroup_down.bmp    navigation buttons of R12 group ranges (200 x 32)
  logo.bmp                                  logo of the title band (153 x 53)
  connect_normal/hover/down.bmp             picture button "Connect" (82 x 22)
  refresh_normal/hover/down.bmp             picture button "Refresh" (72 x 22)
and for each NAME.bmp a NAME@2x.png: the same design drawn at twice the pixels
each way, for screens that scale twofold. The program takes it where the
window's device pixel ratio is above 1.

Python 3 standard library only. The bitmaps are uncompressed 24-bit BMPs, the
twofold pictures 24-bit PNGs. The output is deterministic, so running the
script again changes nothing.

    python3 make_images.py [--png DIR]

--png DIR also writes a PNG copy of every picture into DIR, for viewing: the
pictures at scale 1 enlarged four times, the twofold ones twice, so that the
two can be laid side by side.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Palette. The main window uses a grey tool panel RGB(212, 208, 200), grey
# separator lines RGB(172, 168, 153) and a red line under the tool panel.

WHITE = (255, 255, 255)
PANEL = (212, 208, 200)
LINE = (172, 168, 153)
RED = (190, 30, 45)
RED_DARK = (150, 22, 34)
INK = (40, 40, 40)
CHARCOAL = (58, 58, 62)
GREY_TEXT = (120, 118, 112)


def mix(a, b, t):
    """Colour a blended towards b by t (0..1)."""
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---------------------------------------------------------------------------
# Canvas with floating-point RGB and coverage blending.

class Canvas:
    """A picture of width x height pixels, held at the given scale: at scale 2
    the canvas has twice the pixels each way. Drawing calls take coordinates in
    pixels of the picture at scale 1, so one drawing serves both scales; w and h
    are the canvas's own pixels."""

    def __init__(self, width, height, colour=WHITE, scale=1):
        self.s = scale
        self.w = width * scale
        self.h = height * scale
        self.px = [[tuple(map(float, colour)) for _ in range(self.w)] for _ in range(self.h)]

    def dev(self, v):
        """A coordinate of the picture at scale 1 in the canvas's pixels."""
        return int(round(v * self.s))

    def blend(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.w and 0 <= y < self.h and alpha > 0:
            alpha = min(alpha, 1.0)
            self.px[y][x] = mix(self.px[y][x], colour, alpha)

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0..x1-1, y0..y1-1."""
        x0, y0, x1, y1 = (self.dev(v) for v in (x0, y0, x1, y1))
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = tuple(map(float, colour))

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        x0, y0, x1, y1 = (self.dev(v) for v in (x0, y0, x1, y1))
        span = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            c = mix(top, bottom, (y - y0) / span)
            for x in range(x0, x1):
                self.blend(x, y, c)

    def frame(self, x0, y0, x1, y1, colour):
        """A one-pixel outline of the box x0..x1-1, y0..y1-1."""
        self.rect(x0, y0, x1, y0 + 1, colour)
        self.rect(x0, y1 - 1, x1, y1, colour)
        self.rect(x0, y0, x0 + 1, y1, colour)
        self.rect(x1 - 1, y0, x1, y1, colour)

    def round_frame(self, x0, y0, x1, y1, colour, fill=None):
        """An outline with the four corner pixels softened."""
        if fill is not None:
            self.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)
        self.rect(x0 + 1, y0, x1 - 1, y0 + 1, colour)
        self.rect(x0 + 1, y1 - 1, x1 - 1, y1, colour)
        self.rect(x0, y0 + 1, x0 + 1, y1 - 1, colour)
        self.rect(x1 - 1, y0 + 1, x1, y1 - 1, colour)
        # Each corner (cx, cy) is a quarter circle of radius 1 around the
        # outline's inner corner (ix, iy).
        corners = (((x0, y0), (x0 + 1, y0 + 1)), ((x1 - 1, y0), (x1 - 1, y0 + 1)),
                   ((x0, y1 - 1), (x0 + 1, y1 - 1)), ((x1 - 1, y1 - 1), (x1 - 1, y1 - 1)))
        for (cx, cy), (ix, iy) in corners:
            if self.s == 1:
                # One pixel cannot show the curve: a light touch of the colour.
                self.blend(cx, cy, colour, 0.35)
            else:
                self.shape(lambda x, y, ix=ix, iy=iy: (x - ix) ** 2 + (y - iy) ** 2 <= 1.0,
                           colour, (cx, cy, cx + 1, cy + 1), samples=6)

    def shape(self, inside, colour, box=None, samples=4):
        """Anti-aliased fill of the region where inside(x, y) is true, by
        supersampling each canvas pixel on a samples x samples grid. inside and
        box (x0, y0, x1, y1) are in pixels of the picture at scale 1."""
        if box:
            x0, y0 = math.floor(box[0] * self.s), math.floor(box[1] * self.s)
            x1, y1 = math.ceil(box[2] * self.s), math.ceil(box[3] * self.s)
        else:
            x0, y0, x1, y1 = 0, 0, self.w, self.h
        step = 1.0 / samples
        for py in range(max(0, y0), min(self.h, y1)):
            for px in range(max(0, x0), min(self.w, x1)):
                hits = 0
                for j in range(samples):
                    for i in range(samples):
                        if inside((px + (i + 0.5) * step) / self.s, (py + (j + 0.5) * step) / self.s):
                            hits += 1
                if hits:
                    self.blend(px, py, colour, hits / (samples * samples))

    def strokes(self, segments, width, colour):
        """Anti-aliased strokes with round ends along line segments given as
        ((x0, y0), (x1, y1)) in pixel coordinates (pixel centres at +0.5)."""
        r = width / 2.0
        xs = [p[0] for s in segments for p in s]
        ys = [p[1] for s in segments for p in s]
        box = (int(min(xs) - r - 2), int(min(ys) - r - 2), int(max(xs) + r + 3), int(max(ys) + r + 3))
        # The segments that can reach each row of pixels, in their order: a
        # point within r of a segment lies in the rows its ends span, widened by r.
        rows = {}
        for seg in segments:
            (ax, ay), (bx, by) = seg
            for row in range(math.floor(min(ay, by) - r), math.floor(max(ay, by) + r) + 1):
                rows.setdefault(row, []).append(seg)

        def inside(x, y):
            for (ax, ay), (bx, by) in rows.get(math.floor(y), ()):
                dx, dy = bx - ax, by - ay
                ll = dx * dx + dy * dy
                t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
                ex, ey = ax + t * dx - x, ay + t * dy - y
                if ex * ex + ey * ey <= r * r:
                    return True
            return False

        self.shape(inside, colour, box, samples=5)

    def pixels(self, x, y, rows, colour):
        """Draws a pixel pattern: rows of '#' marks, one a pixel at scale 1.

        At a finer scale the marks are read as a line drawing: strokes one
        pixel wide join the centres of neighbouring marks, a slant where two
        marks touch only at a corner, so that slants and curves come out smooth
        rather than as enlarged steps."""
        if self.s == 1:
            for j, row in enumerate(rows):
                for i, ch in enumerate(row):
                    if ch == '#':
                        self.blend(x + i, y + j, colour)
            return
        marks = {(i, j) for j, row in enumerate(rows) for i, ch in enumerate(row) if ch == '#'}
        segments = []
        for i, j in sorted(marks, key=lambda m: (m[1], m[0])):
            centre = (x + i + 0.5, y + j + 0.5)
            links = [(1, 0), (0, 1)]
            # A diagonal neighbour below, unless a straight pair already joins the two.
            links += [(di, 1) for di in (1, -1) if (i + di, j) not in marks and (i, j + 1) not in marks]
            ends = [(centre, (centre[0] + di, centre[1] + dj)) for di, dj in links if (i + di, j + dj) in marks]
            lonely = not any((i + di, j + dj) in marks
                             for di in (-1, 0, 1) for dj in (-1, 0, 1) if (di, dj) != (0, 0))
            segments += [(centre, centre)] if lonely else ends
        if segments:
            self.strokes(segments, 1.0, colour)

    def polygon(self, points, colour):
        """Anti-aliased fill of a polygon given by its corners in order."""
        edges = list(zip(points, points[1:] + points[:1]))

        def inside(x, y):
            crossings = 0
            for (ax, ay), (bx, by) in edges:
                if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                    crossings += 1
            return crossings % 2 == 1

        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        box = (math.floor(min(xs)), math.floor(min(ys)), math.ceil(max(xs)), math.ceil(max(ys)))
        self.shape(inside, colour, box, samples=6)

    def rgb_rows(self):
        return [[tuple(max(0, min(255, int(round(v)))) for v in p) for p in row] for row in self.px]


# ---------------------------------------------------------------------------
# File writers.

def write_bmp(path, canvas):
    """Uncompressed 24-bit BMP (BITMAPINFOHEADER), rows bottom-up, padded to 4 bytes."""
    rows = canvas.rgb_rows()
    stride = (canvas.w * 3 + 3) & ~3
    pad = b'\0' * (stride - canvas.w * 3)
    body = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            body += bytes((b, g, r))
        body += pad
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(body), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.w, canvas.h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + bytes(body))


def write_png(path, canvas, enlarge=1):
    """24-bit PNG, each pixel repeated enlarge times each way."""
    rows = canvas.rgb_rows()
    raw = bytearray()
    for row in rows:
        line = bytearray(b'\0')
        for p in row:
            line += bytes(p) * enlarge
        for _ in range(enlarge):
            raw += line

    def chunk(kind, data):
        c = struct.pack('>I', len(data)) + kind + data
        return c + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack('>IIBBBBB', canvas.w * enlarge, canvas.h * enlarge, 8, 2, 0, 0, 0)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr)
                + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


# ---------------------------------------------------------------------------
# A small proportional pixel font for the button labels: cap height 8,
# x-height 6, one pixel between letters. Each glyph lists its rows from the
# cap line down to the baseline; lower-case letters are padded with blank rows.

GLYPHS = {
    'C': ["..###.",
          ".#...#",
          "#.....",
          "#.....",
          "#.....",
          "#.....",
          ".#...#",
          "..###."],
    'R': ["#####.",
          "#....#",
          "#....#",
          "#####.",
          "#..#..",
          "#...#.",
          "#....#",
          "#....#"],
    'o': [".....",
          ".....",
          ".###.",
          "#...#",
          "#...#",
          "#...#",
          "#...#",
          ".###."],
    'n': [".....",
          ".....",
          "#.##.",
          "##..#",
          "#...#",
          "#...#",
          "#...#",
          "#...#"],
    'e': [".....",
          ".....",
          ".###.",
          "#...#",
          "#####",
          "#....",
          "#...#",
          ".###."],
    'c': [".....",
          ".....",
          ".###.",
          "#...#",
          "#....",
          "#....",
          "#...#",
          ".###."],
    't': ["...",
          ".#.",
          "###",
          ".#.",
          ".#.",
          ".#.",
          ".#.",
          "..#"],
    'f': ["..##",
          ".#..",
          "###.",
          ".#..",
          ".#..",
          ".#..",
          ".#..",
          ".#.."],
    'r': ["...",
          "...",
          "#.#",
          "##.",
          "#..",
          "#..",
          "#..",
          "#.."],
    's': ["....",
          "....",
          ".###",
          "#...",
          ".##.",
          "...#",
          "...#",
          "###."],
    'h': ["#....",
          "#....",
          "#.##.",
          "##..#",
          "#...#",
          "#...#",
          "#...#",
          "#...#"],
}

# Small capitals for the logo's maker line: 5 rows high.
SMALL_CAPS = {
    'B': ["###.", "#..#", "###.", "#..#", "###."],
    'R': ["###.", "#..#", "###.", "#.#.", "#..#"],
    'E': ["###", "#..", "##.", "#..", "###"],
    'N': ["#..#", "##.#", "#.##", "#..#", "#..#"],
    'H': ["#..#", "#..#", "####", "#..#", "#..#"],
    'A': [".##.", "#..#", "####", "#..#", "#..#"],
    'V': ["#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
}


def text_width(text, font, spacing=1):
    return sum(len(font[ch][0]) for ch in text) + spacing * (len(text) - 1)


def draw_text(canvas, x, y, text, colour, font=GLYPHS, spacing=1):
    for ch in text:
        canvas.pixels(x, y, font[ch], colour)
        x += len(font[ch][0]) + spacing


# ---------------------------------------------------------------------------
# A stroke font for the logo's word mark. Coordinates are in units of a cap
# height of 10, y upwards from the baseline. Each glyph is a list of
# polylines plus its advance width.

def arc(cx, cy, rx, ry, a0, a1, steps=24):
    pts = []
    for k in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * k / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


XH = 7.0  # x-height in stroke units

STROKE_GLYPHS = {
    'D': ([[(0, 0), (0, 10)],
           [(0, 10), (3.4, 10)] + arc(3.4, 5, 4.6, 5, 90, -90)[1:] + [(0, 0)]], 8.0),
    'r': ([[(0, 0), (0, XH)],
           arc(3.6, XH - 3.6, 3.6, 3.6, 180, 75, 14)], 4.6),
    'a': ([arc(3.1, XH / 2, 3.1, XH / 2, 0, 360, 36),
           [(6.2, 0), (6.2, XH)]], 6.2),
    'v': ([[(0, XH), (3.0, 0), (6.0, XH)]], 6.0),
    'o': ([arc(3.3, XH / 2, 3.3, XH / 2, 0, 360, 36)], 6.6),
    'n': ([[(0, 0), (0, XH)],
           arc(3.0, XH - 3.0, 3.0, 3.0, 180, 0, 18) + [(6.0, 0)]], 6.0),
    'i': ([[(0, 0), (0, XH)], [(0, 9.4), (0, 9.41)]], 0.0),
    'k': ([[(0, 0), (0, 10)],
           [(5.4, XH), (0, 2.4)],
           [(1.9, 4.1), (5.6, 0)]], 5.6),
}


def draw_word(canvas, x, baseline, text, cap_height, stroke, colour, tracking=0.9):
    """Draws text in the stroke font; returns the x after the last glyph."""
    s = cap_height / 10.0
    segments = []
    pen = x + stroke / 2.0
    for ch in text:
        lines, adv = STROKE_GLYPHS[ch]
        for line in lines:
            for (ax, ay), (bx, by) in zip(line, line[1:]):
                segments.append(((pen + ax * s, baseline - ay * s), (pen + bx * s, baseline - by * s)))
        pen += adv * s + stroke + tracking * s * 1.6
    canvas.strokes(segments, stroke, colour)
    return pen


def word_width(text, cap_height, stroke, tracking=0.9):
    s = cap_height / 10.0
    adv = sum(STROKE_GLYPHS[ch][1] * s + stroke + tracking * s * 1.6 for ch in text)
    return adv - tracking * s * 1.6


# ---------------------------------------------------------------------------
# Navigation buttons (200 x 32). The button draws its own caption centred on
# the picture, so the pictures carry no text: a flat face, a thin border and
# a red marker at the left. Range groups of an R12 are indented and lighter.

NAV_W, NAV_H = 200, 32
SUB_INDENT = 12


def nav_button(subgroup, down, scale):
    c = Canvas(NAV_W, NAV_H, WHITE, scale)
    x0 = SUB_INDENT if subgroup else 0
    if subgroup:
        face_top, face_bottom = ((236, 233, 227), (226, 223, 216)) if down else ((252, 252, 251), (245, 244, 241))
        border = (168, 164, 152) if down else (208, 205, 197)
        marker, marker_w = (RED if down else (196, 192, 182)), 2
    else:
        face_top, face_bottom = ((222, 218, 210), (210, 206, 197)) if down else ((245, 244, 241), (234, 232, 227))
        border = (150, 146, 134) if down else LINE
        marker, marker_w = (RED_DARK if down else RED), 3
    c.vgradient(x0 + 1, 1, NAV_W - 1, NAV_H - 1, face_top, face_bottom)
    c.round_frame(x0, 0, NAV_W, NAV_H, border)
    if down:
        # A pressed face: a soft inner shadow along the top edge.
        c.rect(x0 + 1, 1, NAV_W - 1, 2, mix(face_top, border, 0.45))
    else:
        # A raised face: a light line inside the top edge.
        c.rect(x0 + 1, 1, NAV_W - 1, 2, mix(face_top, WHITE, 0.7))
    c.rect(x0 + 3, 4, x0 + 3 + marker_w, NAV_H - 4, marker)
    return c


# ---------------------------------------------------------------------------
# Logo (153 x 53): a red round mark with three air-flow lines, the word
# "Dravonik" and the maker's name underneath.

def title_band_colour(x):
    """Colour of the title band's grey-to-white gradient at column x of the
    992 pixel wide band (256 bands from RGB(221, 221, 221) to white)."""
    band = min(255, x * 256 // 992)
    v = int(221 + band * 34 / 255.0 + 0.5)
    return (v, v, v)


def ink_extent(draw, width, height):
    """Bounding box (x0, y0, x1, y1) of what draw(canvas) puts on a white canvas."""
    c = Canvas(width, height, WHITE)
    draw(c)
    xs, ys = [], []
    for y in range(height):
        for x in range(width):
            if c.px[y][x] != (255.0, 255.0, 255.0):
                xs.append(x)
                ys.append(y)
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


LOGO_LEFT = 832  # the logo's place in the title band at the window's start size


def logo(scale):
    w, h = 153, 53
    c = Canvas(w, h, WHITE, scale)
    # The background continues the title band's gradient, so that the logo
    # sits on the band without a visible box. The band paints each colour
    # across whole pixels at scale 1, so the twofold picture repeats them too.
    for x in range(w):
        c.rect(x, 0, x + 1, h, title_band_colour(LOGO_LEFT + x))

    # The mark: a red disc with three white air-flow waves.
    cx, cy, r = 22.0, 26.5, 19.5
    c.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, RED, (0, 4, 46, 50), samples=6)
    waves = []
    for k, dy in enumerate((-8.0, 0.0, 8.0)):
        half = math.sqrt(r * r - dy * dy) - 6.0
        pts = []
        for i in range(41):
            t = i / 40.0
            pts.append((cx - half + 2 * half * t, cy + dy - 2.1 * math.sin(2 * math.pi * t + 0.6 * k)))
        waves += list(zip(pts, pts[1:]))
    c.strokes(waves, 2.5, WHITE)

    # The word mark, centred in the space right of the mark, and the maker's
    # name in small capitals under it; the two together centred on the mark.
    cap, stroke, tracking = 16.0, 2.4, 0.5
    x0, y0, x1, y1 = ink_extent(lambda k: draw_word(k, 0, 30, "Dravonik", cap, stroke, INK, tracking), 130, 53)
    maker = "BRENNHAVEN"
    mw = text_width(maker, SMALL_CAPS, spacing=2)
    gap, mh = 6, len(SMALL_CAPS['B'])
    block_h = (y1 - y0) + gap + mh
    top = int(round(cy - block_h / 2.0))
    area_left, area_right = 46, w - 2
    left = area_left + ((area_right - area_left) - (x1 - x0)) / 2.0
    draw_word(c, left - x0, 30 + (top - y0), "Dravonik", cap, stroke, CHARCOAL, tracking)
    mx = int(round(left + ((x1 - x0) - mw) / 2.0))
    draw_text(c, mx, top + (y1 - y0) + gap, maker, GREY_TEXT, SMALL_CAPS, spacing=2)
    return c


# ---------------------------------------------------------------------------
# Picture buttons of the tool panel (22 high, on the panel colour): flat when
# idle, a light raised face when the mouse is over it, a darker sunken face
# when pressed (contents shifted by one pixel).

def tool_face(width, state, scale):
    c = Canvas(width, 22, PANEL, scale)
    if state == 'hover':
        c.round_frame(0, 0, width, 22, (140, 136, 124))
        c.vgradient(1, 1, width - 1, 21, (250, 249, 246), (228, 225, 218))
    elif state == 'down':
        c.round_frame(0, 0, width, 22, (120, 116, 104))
        c.vgradient(1, 1, width - 1, 21, (184, 180, 170), (198, 194, 185))
        c.rect(1, 1, width - 1, 2, (170, 166, 156))
    return c


PLUG = [
    "..#...#...",
    "..#...#...",
    "..#...#...",
    "#########.",
    "#########.",
    ".#######..",
    "..#####...",
    "...###....",
    "....#.....",
    "....#.....",
    "....#.....",
    "....##....",
]


def plug(c, x, y):
    """A mains plug in red, 9 x 12 pixels from (x, y)."""
    if c.s == 1:
        c.pixels(x, y, [row[:9] for row in PLUG], RED)
        return
    # The same plug as shapes: two prongs, a body tapering to the cable, and
    # the cable's foot turning right.
    c.strokes([((x + 2.5, y + 0.5), (x + 2.5, y + 3.0)),
               ((x + 6.5, y + 0.5), (x + 6.5, y + 3.0))], 1.0, RED)
    body = [(0, 3), (9, 3), (9, 4.5), (5, 8.5), (4, 8.5), (0, 4.5)]
    c.polygon([(x + bx, y + by) for bx, by in body], RED)
    c.strokes([((x + 4.5, y + 8.0), (x + 4.5, y + 11.5)),
               ((x + 4.5, y + 11.5), (x + 5.5, y + 11.5))], 1.0, RED)


def drop_down_marker(c, x, y, colour):
    """A small triangle pointing down, 5 x 3 pixels from (x, y)."""
    if c.s == 1:
        c.pixels(x, y, ["#####", ".###.", "..#.."], colour)
    else:
        # The triangle whose area is that of the pixel steps.
        c.polygon([(x - 0.5, y), (x + 5.5, y), (x + 2.5, y + 3)], colour)


def connect_button(state, scale):
    c = tool_face(82, state, scale)
    d = 1 if state == 'down' else 0
    plug(c, 7 + d, 5 + d)
    tx = 21 + d
    draw_text(c, tx, 7 + d, "Connect", INK)
    return c


def refresh_button(state, scale):
    c = tool_face(72, state, scale)
    d = 1 if state == 'down' else 0
    # A circular arrow in red.
    cx, cy, r = 11.0 + d, 11.0 + d, 4.6
    ring = arc(cx, cy, r, r, -60, 230, 30)
    c.strokes(list(zip(ring, ring[1:])), 1.7, RED)
    # Arrow head at the start of the ring (pointing along the turn).
    hx, hy = cx + r * math.cos(math.radians(-60)), cy + r * math.sin(math.radians(-60))
    tri = [(hx + 3.4, hy - 1.2), (hx - 1.8, hy - 2.8), (hx + 0.9, hy + 2.8)]

    def in_tri(x, y):
        (x1, y1), (x2, y2), (x3, y3) = tri
        def side(ax, ay, bx, by):
            return (x - bx) * (ay - by) - (ax - bx) * (y - by)
        s1, s2, s3 = side(x1, y1, x2, y2), side(x2, y2, x3, y3), side(x3, y3, x1, y1)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)

    c.shape(in_tri, RED, (int(cx), 0, int(cx) + 12, 12 + d), samples=6)
    draw_text(c, 21 + d, 7 + d, "Refresh", INK)
    # The button opens a menu: a small drop-down marker at the right.
    drop_down_marker(c, 62 + d, 10 + d, GREY_TEXT if state == 'normal' else INK)
    return c


# ---------------------------------------------------------------------------

def pictures(scale):
    yield 'group_normal', nav_button(False, False, scale)
    yield 'group_down', nav_button(False, True, scale)
    yield 'subgroup_normal', nav_button(True, False, scale)
    yield 'subgroup_down', nav_button(True, True, scale)
    yield 'logo', logo(scale)
    for state in ('normal', 'hover', 'down'):
        yield 'connect_' + state, connect_button(state, scale)
    for state in ('normal', 'hover', 'down'):
        yield 'refresh_' + state, refresh_button(state, scale)


def main(argv):
    png_dir = None
    if len(argv) == 3 and argv[1] == '--png':
        png_dir = argv[2]
        os.makedirs(png_dir, exist_ok=True)
    elif len(argv) != 1:
        sys.stderr.write(__doc__)
        return 2
    here = os.path.dirname(os.path.abspath(__file__))
    for scale, suffix in ((1, '.bmp'), (2, '@2x.png')):
        for name, canvas in pictures(scale):
            if scale == 1:
                write_bmp(os.path.join(here, name + suffix), canvas)
            else:
                write_png(os.path.join(here, name + suffix), canvas)
            if png_dir:
                write_png(os.path.join(png_dir, name + suffix.replace('.bmp', '.png')), canvas,
                          enlarge=4 // scale)
            print('%s%s  %d x %d' % (name, suffix, canvas.w, canvas.h))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
