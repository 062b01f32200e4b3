#!/usr/bin/env python3
"""Draws Lumitra's icons and toolbar bitmaps as PNG files in this folder.

Plain Python (zlib only): every picture is drawn at four times its size and
averaged down, which smooths the edges. Run it again after changing a drawing:

    python3 resources/draw_icons.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w * SS, h * SS
        self.out_w, self.out_h = w, h
        self.px = [[(0, 0, 0, 0)] * self.w for _ in range(self.h)]

    # All coordinates are in output pixels (floats allowed).
    def _put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(int(y0 * SS), int(y1 * SS)):
            for x in range(int(x0 * SS), int(x1 * SS)):
                self._put(x, y, c)

    def frame(self, x0, y0, x1, y1, t, c):
        self.rect(x0, y0, x1, y0 + t, c)
        self.rect(x0, y1 - t, x1, y1, c)
        self.rect(x0, y0, x0 + t, y1, c)
        self.rect(x1 - t, y0, x1, y1, c)

    def round_rect(self, x0, y0, x1, y1, r, c):
        for y in range(int(y0 * SS), int(y1 * SS)):
            for x in range(int(x0 * SS), int(x1 * SS)):
                fx, fy = (x + 0.5) / SS, (y + 0.5) / SS
                cx = min(max(fx, x0 + r), x1 - r)
                cy = min(max(fy, y0 + r), y1 - r)
                if (fx - cx) ** 2 + (fy - cy) ** 2 <= r * r:
                    self._put(x, y, c)

    def ellipse(self, cx, cy, rx, ry, c, ring=None):
        for y in range(int((cy - ry) * SS) - 1, int((cy + ry) * SS) + 2):
            for x in range(int((cx - rx) * SS) - 1, int((cx + rx) * SS) + 2):
                fx, fy = (x + 0.5) / SS, (y + 0.5) / SS
                d = ((fx - cx) / rx) ** 2 + ((fy - cy) / ry) ** 2
                if ring is None:
                    if d <= 1:
                        self._put(x, y, c)
                else:
                    inner = ((fx - cx) / max(rx - ring, 0.01)) ** 2 + ((fy - cy) / max(ry - ring, 0.01)) ** 2
                    if d <= 1 and inner >= 1:
                        self._put(x, y, c)

    def line(self, x0, y0, x1, y1, t, c):
        length = math.hypot(x1 - x0, y1 - y0) or 1
        minx, maxx = min(x0, x1) - t, max(x0, x1) + t
        miny, maxy = min(y0, y1) - t, max(y0, y1) + t
        for y in range(int(miny * SS), int(maxy * SS) + 1):
            for x in range(int(minx * SS), int(maxx * SS) + 1):
                fx, fy = (x + 0.5) / SS, (y + 0.5) / SS
                u = ((fx - x0) * (x1 - x0) + (fy - y0) * (y1 - y0)) / (length * length)
                u = min(max(u, 0), 1)
                px, py = x0 + u * (x1 - x0), y0 + u * (y1 - y0)
                if math.hypot(fx - px, fy - py) <= t / 2:
                    self._put(x, y, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys) * SS), int(max(ys) * SS) + 1):
            fy = (y + 0.5) / SS
            xs = []
            for i in range(len(pts)):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
                if (ay <= fy < by) or (by <= fy < ay):
                    xs.append(ax + (fy - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(xs[i] * SS), int(xs[i + 1] * SS) + 1):
                    self._put(x, y, c)

    def text(self, s, x, y, scale, c):
        """Draws s with the 5x7 font; scale is the size of one font dot."""
        for ch in s:
            rows = FONT.get(ch)
            if rows:
                for j, row in enumerate(rows):
                    for i, bit in enumerate(row):
                        if bit == "#":
                            self.rect(x + i * scale, y + j * scale, x + (i + 1) * scale, y + (j + 1) * scale, c)
            x += 6 * scale

    def save(self, name):
        raw = bytearray()
        for oy in range(self.out_h):
            raw.append(0)
            for ox in range(self.out_w):
                r = g = b = a = 0
                for sy in range(SS):
                    row = self.px[oy * SS + sy]
                    for sx in range(SS):
                        pr, pg, pb, pa = row[ox * SS + sx]
                        r += pr * pa
                        g += pg * pa
                        b += pb * pa
                        a += pa
                n = SS * SS
                if a:
                    raw += bytes((r // a, g // a, b // a, a // n))
                else:
                    raw += bytes((0, 0, 0, 0))
        data = zlib.compress(bytes(raw), 9)

        def chunk(tag, body):
            return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.out_w, self.out_h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", data) + chunk(b"IEND", b"")
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(png)


FONT = {
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
}

WHITE = (255, 255, 255, 255)
PAPER = (250, 250, 246, 255)
INK = (40, 48, 64, 255)
BLUE = (36, 99, 200, 255)
TEAL = (0, 150, 136, 255)
RED = (214, 54, 64, 255)
ORANGE = (240, 140, 20, 255)
GREEN = (60, 160, 70, 255)
GREY = (128, 128, 128, 255)
DARK = (70, 70, 70, 255)


def scatter(c, ox, oy, s, seed, cx, cy, spread, n, col, dot):
    x = seed
    for _ in range(n):
        # Small deterministic generator: the same dots every run.
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        a = (x % 6283) / 1000.0
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        r = spread * math.sqrt((x % 1000) / 1000.0)
        c.ellipse(ox + (cx + r * math.cos(a)) * s, oy + (cy + r * math.sin(a) * 0.8) * s, dot, dot, col)


def program_icon(size, name):
    c = Canvas(size, size)
    s = size / 64.0
    c.round_rect(2 * s, 2 * s, 62 * s, 62 * s, 10 * s, (28, 52, 96, 255))
    c.round_rect(6 * s, 6 * s, 58 * s, 58 * s, 7 * s, PAPER)
    # Axes of a dot plot.
    c.rect(13 * s, 12 * s, 15 * s, 51 * s, INK)
    c.rect(13 * s, 49 * s, 53 * s, 51 * s, INK)
    dot = max(0.9, 1.2 * s)
    scatter(c, 0, 0, s, 7, 25, 38, 7, 26, BLUE, dot)
    scatter(c, 0, 0, s, 11, 42, 22, 6, 22, RED, dot)
    # A gate drawn around the red population.
    c.ellipse(42 * s, 22 * s, 10 * s, 8 * s, ORANGE, ring=max(1.0, 1.6 * s))
    c.save(name)


def document_icon():
    c = Canvas(32, 32)
    c.polygon([(6, 2), (21, 2), (27, 8), (27, 30), (6, 30)], WHITE)
    c.polygon([(21, 2), (27, 8), (21, 8)], (200, 200, 200, 255))
    c.frame(6, 2, 27, 30, 1, DARK)
    c.rect(9, 12, 10, 26, INK)
    c.rect(9, 25, 24, 26, INK)
    scatter(c, 0, 0, 1, 3, 15, 20, 3.5, 10, BLUE, 0.8)
    scatter(c, 0, 0, 1, 5, 20, 15, 2.5, 8, RED, 0.8)
    c.save("document.png")


def tool_new():
    c = Canvas(32, 32)
    c.polygon([(7, 3), (20, 3), (26, 9), (26, 29), (7, 29)], WHITE)
    c.polygon([(20, 3), (26, 9), (20, 9)], (210, 210, 210, 255))
    c.frame(7, 3, 26, 29, 1.5, DARK)
    c.ellipse(24, 8, 4, 4, (255, 210, 40, 255))
    c.save("new.png")


def tool_open():
    c = Canvas(32, 32)
    c.polygon([(3, 8), (12, 8), (14, 11), (27, 11), (27, 27), (3, 27)], (230, 180, 60, 255))
    c.polygon([(7, 15), (31, 15), (26, 27), (3, 27)], (250, 210, 100, 255))
    c.line(3, 27, 27, 27, 1.5, (150, 100, 20, 255))
    c.line(7, 15, 31, 15, 1.2, (170, 120, 30, 255))
    c.save("open.png")


def tool_save():
    c = Canvas(32, 32)
    c.round_rect(4, 4, 28, 28, 2, (40, 80, 150, 255))
    c.rect(9, 4, 23, 13, (225, 230, 240, 255))
    c.rect(18, 6, 21, 11, (40, 80, 150, 255))
    c.rect(8, 17, 24, 28, WHITE)
    c.rect(10, 20, 22, 21, GREY)
    c.rect(10, 23, 22, 24, GREY)
    c.save("save.png")


def tool_print():
    c = Canvas(32, 32)
    c.rect(9, 3, 23, 13, WHITE)
    c.frame(9, 3, 23, 13, 1.2, DARK)
    c.round_rect(3, 12, 29, 24, 3, (110, 115, 125, 255))
    c.rect(8, 20, 24, 30, WHITE)
    c.frame(8, 20, 24, 30, 1.2, DARK)
    c.rect(11, 24, 21, 25, GREY)
    c.ellipse(25, 16, 1.3, 1.3, (90, 220, 90, 255))
    c.save("print.png")


def tool_note():
    c = Canvas(32, 32)
    c.ellipse(16, 16, 13, 13, BLUE)
    c.ellipse(16, 9.5, 2.2, 2.2, WHITE)
    c.round_rect(14, 14, 18, 25, 1.5, WHITE)
    c.save("note.png")


def pane_button(letter, name, color):
    c = Canvas(20, 20)
    c.round_rect(1, 1, 19, 19, 3, color)
    c.text(letter, 7, 3, 2, WHITE)
    c.save(name)


def auto_arrange():
    c = Canvas(20, 20)
    for i, col in enumerate([BLUE, RED, GREEN, ORANGE]):
        x = 2 + (i % 2) * 9
        y = 2 + (i // 2) * 9
        c.round_rect(x, y, x + 7, y + 7, 1.5, col)
    c.save("autoarrange.png")


def banner():
    c = Canvas(61, 19)
    c.round_rect(0, 0, 61, 19, 4, (28, 52, 96, 255))
    scatter(c, 0, 0, 1, 9, 8, 10, 4, 12, (120, 180, 255, 255), 0.7)
    c.text("Lumitra", 17, 6, 1, WHITE)
    c.save("banner.png")


if __name__ == "__main__":
    program_icon(256, "lumitra.png")
    program_icon(48, "lumitra-48.png")
    document_icon()
    tool_new()
    tool_open()
    tool_save()
    tool_print()
    tool_note()
    pane_button("F", "pane_f.png", TEAL)
    pane_button("G", "pane_g.png", GREY)
    pane_button("D", "pane_d.png", (120, 80, 170, 255))
    pane_button("N", "pane_n.png", (200, 110, 30, 255))
    auto_arrange()
    banner()
