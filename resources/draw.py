#!/usr/bin/env python3
"""Draws the application icon and the about picture. Both are this project's own work.

Pure standard library, so it runs anywhere: python3 resources/draw.py
The icon is a school desk seen from above with six seats around it (blue boys, pink girls); the
about picture is a classroom plan: a podium and nine such desks.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

BLUE = (120, 170, 235, 255)
PINK = (240, 150, 200, 255)
DESK = (245, 210, 140, 255)
EDGE = (150, 105, 50, 255)
PODIUM = (90, 90, 120, 255)


class Canvas:
    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(bg) for _ in range(w * h)]

    def blend(self, x, y, rgba, cover=1.0):
        if not (0 <= x < self.w and 0 <= y < self.h) or cover <= 0:
            return
        a = rgba[3] / 255.0 * min(cover, 1.0)
        d = self.px[y * self.w + x]
        da = d[3] / 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        for i in range(3):
            d[i] = int(round((rgba[i] * a + d[i] * da * (1 - a)) / oa))
        d[3] = int(round(oa * 255))

    def rounded_rect(self, x0, y0, x1, y1, r, rgba):
        for y in range(int(y0), int(math.ceil(y1))):
            for x in range(int(x0), int(math.ceil(x1))):
                cx = min(max(x + 0.5, x0 + r), x1 - r)
                cy = min(max(y + 0.5, y0 + r), y1 - r)
                dist = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, rgba, r + 0.5 - dist)

    def circle(self, cx, cy, r, rgba):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                dist = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, rgba, r + 0.5 - dist)


def desk(c, cx, cy, size):
    """A desk of size x size/1.6 with three seats on each long side."""
    w, h = size, size / 1.6
    c.rounded_rect(cx - w / 2 - 1, cy - h / 2 - 1, cx + w / 2 + 1, cy + h / 2 + 1, h / 5 + 1, EDGE)
    c.rounded_rect(cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2, h / 5, DESK)
    r = size / 9
    for i in range(3):
        x = cx - w / 3 + i * w / 3
        c.circle(x, cy - h / 2 - r * 1.2, r, BLUE if i != 1 else PINK)
        c.circle(x, cy + h / 2 + r * 1.2, r, PINK if i != 1 else BLUE)


def png_bytes(c):
    raw = b"".join(b"\x00" + bytes(v for p in c.px[y * c.w:(y + 1) * c.w] for v in p) for y in range(c.h))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_icon_entry(c):
    """A 32-bit BGRA DIB as ICO stores it: bottom-up rows, height doubled, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(c.h)):
        rows.append(b"".join(bytes((p[2], p[1], p[0], p[3])) for p in c.px[y * c.w:(y + 1) * c.w]))
    mask_row = ((c.w + 31) // 32) * 4
    mask = b"\x00" * (mask_row * c.h)
    return header + b"".join(rows) + mask


def icon(size):
    c = Canvas(size, size)
    c.rounded_rect(0, 0, size, size, size / 6, (60, 130, 110, 255))
    desk(c, size / 2, size / 2, size * 0.62)
    return c


def write_ico(path, sizes):
    entries = [bmp_icon_entry(icon(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, entries):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(entries))


def about_picture():
    w, h = 396, 150
    c = Canvas(w, h, (235, 245, 240, 255))
    c.rounded_rect(w / 2 - 60, 8, w / 2 + 60, 22, 5, PODIUM)
    for row in range(3):
        for col in range(3):
            desk(c, 66 + col * 132, 46 + row * 40, 38)
    return c


if __name__ == "__main__":
    write_ico(os.path.join(HERE, "app_icon.ico"), [16, 32, 48, 64])
    with open(os.path.join(HERE, "about_image.png"), "wb") as f:
        f.write(png_bytes(about_picture()))
    # The desktop menu of an installed package takes hicolor PNGs; 48 is the size menus look
    # for first, 256 what launchers and software centres scale down from.
    icons = os.path.join(HERE, "..", "packaging", "linux", "icons")
    os.makedirs(icons, exist_ok=True)
    for size in (48, 256):
        with open(os.path.join(icons, "velmora-%d.png" % size), "wb") as f:
            f.write(png_bytes(icon(size)))
