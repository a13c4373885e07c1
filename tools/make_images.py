#!/usr/bin/env python3
"""Draws every image the application compiles in (resources/images/*.png, *.gif).

Standard library only and deterministic: the same run writes the same bytes.
Shapes are filled by sampling each pixel on a 4 x 4 grid, so edges come out
anti-aliased without any imaging library.

    python3 tools/make_images.py [OUTPUT_DIR]
"""
import math
import os
import struct
import sys
import zlib

SAMPLES = 4  # per axis and pixel


def hex_colour(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0,
            int(text[4:6], 16) / 255.0, alpha)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def vertical(top, bottom, y0, y1):
    """A colour function running from top at y0 to bottom at y1."""
    span = max(y1 - y0, 1e-6)

    def colour(_x, y):
        return mix(top, bottom, min(max((y - y0) / span, 0.0), 1.0))
    return colour


class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        # Premultiplied RGBA per pixel.
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def fill(self, shape, colour):
        """shape: (inside(x, y) -> bool, (x0, y0, x1, y1)); colour: tuple or function of (x, y)."""
        inside, (bx0, by0, bx1, by1) = shape
        x_from = max(int(math.floor(bx0)), 0)
        y_from = max(int(math.floor(by0)), 0)
        x_to = min(int(math.ceil(bx1)), self.width)
        y_to = min(int(math.ceil(by1)), self.height)
        step = 1.0 / SAMPLES
        offsets = [(i + 0.5) * step for i in range(SAMPLES)]
        for py in range(y_from, y_to):
            for px in range(x_from, x_to):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(px + ox, py + oy):
                            hits += 1
                if not hits:
                    continue
                cover = hits / float(SAMPLES * SAMPLES)
                c = colour(px + 0.5, py + 0.5) if callable(colour) else colour
                a = c[3] * cover
                dst = self.pixels[py * self.width + px]
                keep = 1.0 - a
                dst[0] = c[0] * a + dst[0] * keep
                dst[1] = c[1] * a + dst[1] * keep
                dst[2] = c[2] * a + dst[2] * keep
                dst[3] = a + dst[3] * keep

    def shade(self, factor):
        """Darkens (factor < 1) or lightens (factor > 1) every pixel's colour."""
        for p in self.pixels:
            for i in range(3):
                p[i] = min(p[i] * factor, p[3])

    def save(self, path):
        rows = bytearray()
        for y in range(self.height):
            rows.append(0)
            for x in range(self.width):
                r, g, b, a = self.pixels[y * self.width + x]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                rows.extend(int(round(max(0.0, min(1.0, v)) * 255)) for v in (r, g, b, a))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", header))
            out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
            out.write(chunk(b"IEND", b""))



class Animation:
    """Canvases of one size written as a looping GIF over a flat background colour.

    GIF has no partial transparency, so covered pixels are blended onto the
    background and untouched ones stay transparent."""

    def __init__(self, frames, delay_cs, background):
        self.frames = frames
        self.delay_cs = delay_cs
        self.background = background

    def _indices(self, canvas, palette):
        out = bytearray()
        for r, g, b, a in canvas.pixels:
            if a <= 0.0:
                out.append(0)
                continue
            keep = 1.0 - a
            rgb = tuple(int(round(max(0.0, min(1.0, c + bg * keep)) * 255))
                        for c, bg in zip((r, g, b), self.background))
            if rgb not in palette:
                if len(palette) == 255:
                    raise ValueError("more than 255 colours in one animation")
                palette[rgb] = len(palette) + 1
            out.append(palette[rgb])
        return out

    def save(self, path):
        palette = {}
        frames = [self._indices(frame, palette) for frame in self.frames]
        width, height = self.frames[0].width, self.frames[0].height
        table = bytearray(3 * 256)
        for rgb, index in palette.items():
            table[3 * index:3 * index + 3] = bytes(rgb)
        with open(path, "wb") as out:
            out.write(b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0) + bytes(table))
            out.write(b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00")  # loop forever
            for indices in frames:
                # Graphic control: restore to background, transparent index 0.
                out.write(b"\x21\xF9\x04\x09" + struct.pack("<H", self.delay_cs) + b"\x00\x00")
                out.write(b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0))
                data = lzw_compress(indices, 8)
                out.write(b"\x08")
                for at in range(0, len(data), 255):
                    block = data[at:at + 255]
                    out.write(bytes([len(block)]) + block)
                out.write(b"\x00")
            out.write(b"\x3B")


def lzw_compress(indices, min_code_size):
    """GIF's variable-width LZW, least significant bit first."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    bits = [0, 0]  # pending value, pending bit count

    def emit(code, size):
        bits[0] |= code << bits[1]
        bits[1] += size
        while bits[1] >= 8:
            out.append(bits[0] & 0xFF)
            bits[0] >>= 8
            bits[1] -= 8

    def fresh():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    codes, next_code, size = fresh()
    emit(clear, size)
    run = b""
    for index in indices:
        longer = run + bytes([index])
        if longer in codes:
            run = longer
            continue
        emit(codes[run], size)
        # The decoder widens its codes once the table reaches the next power of two.
        if next_code == 1 << size and size < 12:
            size += 1
        codes[longer] = next_code
        next_code += 1
        if next_code == 4096:
            emit(clear, size)
            codes, next_code, size = fresh()
        run = bytes([index])
    if run:
        emit(codes[run], size)
    emit(end, size)
    if bits[1]:
        out.append(bits[0] & 0xFF)
    return bytes(out)


# Shapes: each is (inside function, bounding box).

def rect(x0, y0, x1, y1):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1), (x0, y0, x1, y1)


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (x0, y0, x1, y1)


def ellipse(cx, cy, rx, ry):
    return ((lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0),
            (cx - rx, cy - ry, cx + rx, cy + ry))


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside, (min(xs), min(ys), max(xs), max(ys))


def stroke(points, width):
    """A polyline of the given width with round joins and ends."""
    half = width / 2.0
    segments = list(zip(points, points[1:]))

    def near(x, y):
        for (ax, ay), (bx, by) in segments:
            dx, dy = bx - ax, by - ay
            length = dx * dx + dy * dy
            t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length))
            if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half * half:
                return True
        return False
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return near, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)


def arc(cx, cy, r, start, end, width, steps=24):
    """An arc of a circle as a stroke; angles in degrees, 0 to the right, counter-clockwise."""
    points = []
    for i in range(steps + 1):
        angle = math.radians(start + (end - start) * i / steps)
        points.append((cx + r * math.cos(angle), cy - r * math.sin(angle)))
    return stroke(points, width)


def minus(shape, hole):
    inside, box = shape
    cut = hole[0]
    return (lambda x, y: inside(x, y) and not cut(x, y)), box


def union(*shapes):
    boxes = [s[1] for s in shapes]
    box = (min(b[0] for b in boxes), min(b[1] for b in boxes),
           max(b[2] for b in boxes), max(b[3] for b in boxes))
    return (lambda x, y: any(s[0](x, y) for s in shapes)), box


# Category glyphs, drawn on a 32 x 32 tile.

def glyph_mail(c, ink, paper):
    c.fill(rounded(7, 10, 25, 23, 1.5), ink)
    c.fill(rect(8.3, 11.3, 23.7, 21.7), paper)
    c.fill(stroke([(8.5, 11.8), (16, 17.5), (23.5, 11.8)], 1.6), ink)


def glyph_contacts(c, ink, paper):
    c.fill(ellipse(16, 12, 4.3, 4.5), ink)
    c.fill(minus(ellipse(16, 26, 8.5, 7.5), rect(0, 24.5, 32, 40)), ink)


def glyph_calendar(c, ink, paper):
    c.fill(rounded(7, 9, 25, 25, 1.5), ink)
    c.fill(rect(8.3, 13.5, 23.7, 23.7), paper)
    for row in range(3):
        for col in range(4):
            c.fill(rect(9.6 + col * 3.6, 15 + row * 2.9, 11.6 + col * 3.6, 16.8 + row * 2.9), ink)
    c.fill(rounded(10.5, 7, 12.5, 11.5, 0.8), ink)
    c.fill(rounded(19.5, 7, 21.5, 11.5, 0.8), ink)


def glyph_notes(c, ink, paper):
    c.fill(polygon([(9, 7), (20, 7), (24, 11), (24, 25), (9, 25)]), ink)
    c.fill(polygon([(10.3, 8.3), (19.4, 8.3), (22.7, 11.6), (22.7, 23.7), (10.3, 23.7)]), paper)
    c.fill(polygon([(19, 7), (24, 12), (19, 12)]), ink)
    for i in range(4):
        c.fill(rect(12, 14 + i * 2.6, 21, 15.1 + i * 2.6), ink)


def glyph_tasks(c, ink, paper):
    c.fill(rounded(7, 9, 16, 18, 1.2), ink)
    c.fill(rect(8.3, 10.3, 14.7, 16.7), paper)
    c.fill(stroke([(9, 13), (11.2, 15.6), (16.5, 8.5)], 1.9), ink)
    c.fill(rect(18, 12, 25, 13.6), ink)
    c.fill(rounded(7, 20, 12, 25, 1), ink)
    c.fill(rect(14, 21.7, 25, 23.3), ink)


CATEGORIES = [
    # stem, glyph, click image
    ("img_Normal", glyph_mail, "img_MailClick"),
    ("img_NormalC", glyph_contacts, "img_AddressClick"),
    ("img_NormalCA", glyph_calendar, "img_CalendarClick"),
    ("img_NormalN", glyph_notes, "img_NotesClick"),
    ("img_NormalT", glyph_tasks, "img_TasksClick"),
]

HOVER_FRAMES = 13

TILE_REST = (hex_colour("f4f5f8"), hex_colour("cdd1da"), hex_colour("5b6273"), hex_colour("a9afbd"))
TILE_HOVER = (hex_colour("e4eeff"), hex_colour("8fb3ee"), hex_colour("1b5bc4"), hex_colour("4f86dc"))
TILE_CLICK = (hex_colour("4a86e6"), hex_colour("1d4b98"), hex_colour("ffffff"), hex_colour("163d80"))


def category_tile(glyph, style):
    top, bottom, ink, edge = style
    c = Canvas(32, 32)
    c.fill(rounded(1, 2, 31, 30, 6), edge)
    c.fill(rounded(2, 3, 30, 29, 5), vertical(top, bottom, 3, 29))
    glyph(c, ink, mix(top, bottom, 0.35) if style is not TILE_CLICK else hex_colour("2c62bd"))
    return c


def hover_style(n):
    t = n / float(HOVER_FRAMES)
    return tuple(mix(a, b, t) for a, b in zip(TILE_REST, TILE_HOVER))


# Folder and column icons.

FOLDER_BACK = hex_colour("d9a93a")
FOLDER_FRONT_TOP = hex_colour("ffe08a")
FOLDER_FRONT_BOTTOM = hex_colour("f1bd45")


def folder(c):
    c.fill(polygon([(1.5, 4), (7.5, 4), (9, 5.8), (18.5, 5.8), (18.5, 16.5), (1.5, 16.5)]), FOLDER_BACK)
    c.fill(rounded(1.5, 7.2, 18.5, 17, 1.2), vertical(FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM, 7, 17))


def badge_arrow(c, colour, down):
    if down:
        c.fill(polygon([(11, 9), (15, 9), (15, 12.5), (18, 12.5), (13, 18), (8, 12.5), (11, 12.5)]), colour)
    else:
        c.fill(polygon([(13, 8.5), (18.5, 13.5), (15.2, 13.5), (15.2, 18), (10.8, 18), (10.8, 13.5), (7.5, 13.5)]),
               colour)


def icon_folder():
    c = Canvas(20, 20)
    folder(c)
    return c


def icon_inbox():
    c = Canvas(20, 20)
    c.fill(polygon([(2, 11), (5, 3.5), (15, 3.5), (18, 11), (18, 17), (2, 17)]), hex_colour("4a78c2"))
    c.fill(polygon([(3.4, 11), (5.9, 4.8), (14.1, 4.8), (16.6, 11)]), hex_colour("e9f0fb"))
    c.fill(polygon([(3.3, 11.5), (7, 11.5), (8, 13.5), (12, 13.5), (13, 11.5), (16.7, 11.5), (16.7, 15.8),
                    (3.3, 15.8)]), hex_colour("9cbbe9"))
    c.fill(polygon([(8.8, 5.5), (11.2, 5.5), (11.2, 8), (13, 8), (10, 11), (7, 8), (8.8, 8)]), hex_colour("2d5fae"))
    return c


def icon_sent():
    c = Canvas(20, 20)
    folder(c)
    c.fill(polygon([(18.8, 3), (6, 9.2), (10.5, 10.8), (12.2, 16), (14.5, 12.2)]), hex_colour("2f8f46"))
    c.fill(polygon([(18.8, 3), (10.5, 10.8), (12.2, 16)]), hex_colour("45b561"))
    return c


def icon_drafts():
    c = Canvas(20, 20)
    folder(c)
    c.fill(stroke([(8, 15.5), (17, 6.5)], 3.0), hex_colour("3a6fc4"))
    c.fill(polygon([(6.3, 17.5), (7, 14.2), (9.5, 16.8)]), hex_colour("f2d7a8"))
    c.fill(stroke([(15.8, 5.3), (18.2, 7.7)], 3.0), hex_colour("e2777a"))
    return c


def icon_deleted():
    c = Canvas(20, 20)
    grey_dark = hex_colour("5d6470")
    c.fill(rounded(4, 3.5, 16, 5.8, 1), grey_dark)
    c.fill(rounded(8, 2, 12, 4, 0.8), grey_dark)
    c.fill(polygon([(5, 6.5), (15, 6.5), (14, 18), (6, 18)]), vertical(hex_colour("c6cbd3"), hex_colour("8f97a3"), 6, 18))
    for x in (7.6, 9.6, 11.6):
        c.fill(rect(x, 8.5, x + 0.9, 16.3), grey_dark)
    return c


def icon_address_book():
    c = Canvas(20, 20)
    c.fill(rounded(3.5, 2, 17, 18, 1.5), hex_colour("8a5a2b"))
    c.fill(rect(5, 3.3, 15.8, 16.7), hex_colour("f7efe2"))
    c.fill(ellipse(10.4, 8, 2.4, 2.5), hex_colour("4a6fa8"))
    c.fill(minus(ellipse(10.4, 15.5, 4.4, 4.4), rect(0, 14.2, 20, 20)), hex_colour("4a6fa8"))
    for y in (5, 9, 13):
        c.fill(rect(2, y, 4.5, y + 1.2), hex_colour("3d2a14"))
    return c


def icon_calendar_small(size=20):
    c = Canvas(size, size)
    s = size / 20.0
    c.fill(rounded(2.5 * s, 3.5 * s, 17.5 * s, 17.5 * s, 1.5 * s), hex_colour("c03a35"))
    c.fill(rect(3.6 * s, 7 * s, 16.4 * s, 16.4 * s), hex_colour("ffffff"))
    for row in range(3):
        for col in range(4):
            x = 4.8 * s + col * 2.9 * s
            y = 8.3 * s + row * 2.6 * s
            c.fill(rect(x, y, x + 1.8 * s, y + 1.6 * s), hex_colour("8c8c8c"))
    c.fill(rounded(5.5 * s, 2 * s, 7 * s, 5.5 * s, 0.6 * s), hex_colour("555555"))
    c.fill(rounded(13 * s, 2 * s, 14.5 * s, 5.5 * s, 0.6 * s), hex_colour("555555"))
    return c


def icon_task():
    c = Canvas(20, 20)
    c.fill(rounded(2.5, 3, 15.5, 16, 2), hex_colour("4f7f3a"))
    c.fill(rounded(3.8, 4.3, 14.2, 14.7, 1.2), hex_colour("f4fbef"))
    c.fill(stroke([(5.5, 9.5), (8.3, 12.6), (17.5, 2.8)], 2.4), hex_colour("2f9a3c"))
    return c


def icon_notes_small():
    c = Canvas(20, 20)
    c.fill(polygon([(3, 2.5), (17, 2.5), (17, 13), (12.5, 17.5), (3, 17.5)]), hex_colour("c8a227"))
    c.fill(polygon([(3.9, 3.4), (16.1, 3.4), (16.1, 12.6), (12.1, 16.6), (3.9, 16.6)]), hex_colour("fff1a6"))
    c.fill(polygon([(12, 17.5), (12, 12.5), (17, 12.5)]), hex_colour("e3c24d"))
    for i in range(3):
        c.fill(rect(5.5, 6 + i * 2.4, 14.5, 6.9 + i * 2.4), hex_colour("a88a2a"))
    return c


def icon_priority():
    c = Canvas(16, 16)
    red = hex_colour("d32f2f")
    c.fill(polygon([(6.4, 2), (9.6, 2), (8.9, 10.5), (7.1, 10.5)]), red)
    c.fill(ellipse(8, 13, 1.6, 1.6), red)
    return c


def icon_file_type():
    c = Canvas(16, 16)
    ink = hex_colour("5b6273")
    c.fill(rounded(1.5, 3.5, 14.5, 12.5, 1), ink)
    c.fill(rect(2.5, 4.5, 13.5, 11.5), hex_colour("f7f8fb"))
    c.fill(stroke([(2.8, 4.8), (8, 8.8), (13.2, 4.8)], 1.1), ink)
    return c


def icon_attachment():
    c = Canvas(16, 16)
    ink = hex_colour("5b6273")
    # A paper clip: outer loop down the left, up the right, and an inner leg back down.
    c.fill(stroke([(4.5, 4), (4.5, 11.5)], 1.2), ink)
    c.fill(arc(7.5, 11.5, 3, 180, 360, 1.2), ink)
    c.fill(stroke([(10.5, 11.5), (10.5, 3.5)], 1.2), ink)
    c.fill(arc(8.5, 3.5, 2, 0, 180, 1.2), ink)
    c.fill(stroke([(6.5, 3.5), (6.5, 10.5)], 1.2), ink)
    return c


# Toolbar, dialog and log window images.

def icon_open_file():
    c = Canvas(35, 35)
    c.fill(polygon([(3, 8), (13, 8), (15.5, 11), (29, 11), (29, 28), (3, 28)]), hex_colour("c99a2e"))
    c.fill(rect(6, 13, 27, 22), hex_colour("ffffff"))
    c.fill(polygon([(7.5, 16), (33, 16), (28.5, 29), (3, 29)]), vertical(FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM, 16, 29))
    c.fill(polygon([(19, 2), (25, 7), (21.5, 7), (21.5, 12.5), (16.5, 12.5), (16.5, 7), (13, 7)]), hex_colour("2d7d3f"))
    return c


def disk(c, size, body, label, shutter):
    s = size / 32.0
    c.fill(polygon([(4 * s, 4 * s), (24 * s, 4 * s), (28 * s, 8 * s), (28 * s, 28 * s), (4 * s, 28 * s)]), body)
    c.fill(rounded(9 * s, 4 * s, 22 * s, 12 * s, 0.8 * s), shutter)
    c.fill(rect(17 * s, 5.5 * s, 20 * s, 10.5 * s), body)
    c.fill(rounded(7.5 * s, 16 * s, 24.5 * s, 28 * s, 1 * s), label)
    for i in range(3):
        c.fill(rect(10 * s, (19 + i * 2.8) * s, 22 * s, (19.9 + i * 2.8) * s), hex_colour("9aa3b2"))


def icon_save_file():
    c = Canvas(35, 35)
    disk(c, 35, vertical(hex_colour("4f82d1"), hex_colour("254f95"), 4, 30), hex_colour("f6f8fb"), hex_colour("c7ced9"))
    return c


def icon_save():
    c = Canvas(32, 32)
    disk(c, 32, vertical(hex_colour("4f82d1"), hex_colour("254f95"), 4, 28), hex_colour("f6f8fb"), hex_colour("c7ced9"))
    return c


def icon_clear_log():
    c = Canvas(32, 32)
    c.fill(polygon([(6, 3), (20, 3), (25, 8), (25, 29), (6, 29)]), hex_colour("8c95a3"))
    c.fill(polygon([(7.3, 4.3), (19.4, 4.3), (23.7, 8.6), (23.7, 27.7), (7.3, 27.7)]), hex_colour("ffffff"))
    for i in range(5):
        c.fill(rect(10, 9 + i * 3, 21, 10.2 + i * 3), hex_colour("b7bdc8"))
    c.fill(ellipse(22, 22, 7.5, 7.5), hex_colour("d33c31"))
    c.fill(stroke([(19, 19), (25, 25)], 2.2), hex_colour("ffffff"))
    c.fill(stroke([(25, 19), (19, 25)], 2.2), hex_colour("ffffff"))
    return c


def stop_button(outer, inner_top, inner_bottom):
    c = Canvas(32, 32)
    c.fill(ellipse(16, 16, 15, 15), outer)
    c.fill(ellipse(16, 16, 13.6, 13.6), vertical(inner_top, inner_bottom, 2, 30))
    c.fill(rounded(10.5, 10.5, 21.5, 21.5, 1.5), hex_colour("ffffff"))
    return c


# The caption "Scan Now" in strokes: (advance, shapes) per letter, drawn from a left edge x
# on a baseline; capitals stand 12 px high, small letters 9 px.
def caption_letters(x, base, width):
    def s_cap(x):
        return 8, [arc(x + 3.5, base - 9, 3, 30, 270, width), arc(x + 3.5, base - 3, 3, 90, -150, width)]

    def c_small(x):
        return 8.5, [arc(x + 4, base - 4.5, 4, 45, 315, width)]

    def a_small(x):
        return 9, [arc(x + 3.5, base - 4.5, 3.8, 0, 360, width, 32),
                   stroke([(x + 7.4, base - 9), (x + 7.4, base)], width)]

    def n_small(x):
        return 9, [stroke([(x + 0.5, base - 9), (x + 0.5, base)], width),
                   arc(x + 4, base - 5.5, 3.5, 180, 0, width),
                   stroke([(x + 7.5, base - 5.5), (x + 7.5, base)], width)]

    def n_cap(x):
        return 11, [stroke([(x + 0.5, base), (x + 0.5, base - 12), (x + 8.5, base), (x + 8.5, base - 12)], width)]

    def o_small(x):
        return 10, [arc(x + 4.2, base - 4.5, 4.2, 0, 360, width, 32)]

    def w_small(x):
        return 12, [stroke([(x, base - 9), (x + 2.6, base), (x + 5.2, base - 6.5), (x + 7.8, base),
                            (x + 10.4, base - 9)], width)]

    shapes = []
    for letter in (s_cap, c_small, a_small, n_small, None, n_cap, o_small, w_small):
        if letter is None:
            x += 5
            continue
        advance, parts = letter(x)
        shapes += parts
        x += advance
    return shapes


def start_button(top="6ea2f0", bottom="2a63c2", edge="1f4f9e", text="ffffff"):
    c = Canvas(110, 32)
    c.fill(rounded(0.5, 0.5, 109.5, 31.5, 7), hex_colour(edge))
    c.fill(rounded(1.5, 1.5, 108.5, 30.5, 6), vertical(hex_colour(top), hex_colour(bottom), 1, 31))
    c.fill(rounded(2.5, 2.5, 107.5, 15, 5), hex_colour("ffffff", 0.18))
    for shape in caption_letters(19, 22, 1.9):
        c.fill(shape, hex_colour(text))
    return c


def logo():
    c = Canvas(48, 48)
    c.fill(rounded(2, 2, 46, 46, 10), vertical(hex_colour("3f8ee8"), hex_colour("1b4f9c"), 2, 46))
    c.fill(rounded(9, 13, 39, 35, 2.5), hex_colour("ffffff"))
    c.fill(stroke([(10.5, 14.5), (24, 25), (37.5, 14.5)], 2.6), hex_colour("2a63c2"))
    c.fill(ellipse(36, 35, 8.5, 8.5), hex_colour("ffffff"))
    c.fill(ellipse(36, 35, 7, 7), hex_colour("2f9a3c"))
    c.fill(stroke([(32.3, 35.2), (35, 38), (39.8, 32)], 2.2), hex_colour("ffffff"))
    return c


def scan_animation():
    """Twelve dots around a circle, the bright one moving on a step per frame."""
    dots = 12
    frames = []
    for step in range(dots):
        c = Canvas(24, 24)
        for dot in range(dots):
            angle = 2 * math.pi * dot / dots - math.pi / 2
            age = (step - dot) % dots
            c.fill(ellipse(12 + 8.5 * math.cos(angle), 12 + 8.5 * math.sin(angle), 2.1, 2.1),
                   hex_colour("2a63c2", max(0.15, 1.0 - age / 7.0)))
        frames.append(c)
    return Animation(frames, 8, hex_colour("efefef"))


def solid(width, height, colour):
    c = Canvas(width, height)
    c.fill(rect(0, 0, width, height), colour)
    return c


def pressed(draw):
    c = draw()
    c.shade(0.72)
    return c


def images():
    """Yields (file name, canvas) for every image."""
    for stem, glyph, click in CATEGORIES:
        yield stem + ".png", category_tile(glyph, TILE_REST)
        for n in range(1, HOVER_FRAMES + 1):
            yield "%s%d.png" % (stem, n), category_tile(glyph, hover_style(n))
        yield click + ".png", category_tile(glyph, TILE_CLICK)

    yield "img_Folder.png", icon_folder()
    yield "img_InboxFolderIcon.png", icon_inbox()
    yield "img_SentFolderIcon.png", icon_sent()
    yield "img_DraftsFolderIcon.png", icon_drafts()
    yield "img_DeletedFolderIcon.png", icon_deleted()
    yield "img_AddressBookIcon.png", icon_address_book()
    yield "img_CalendarIcon.png", icon_calendar_small()
    yield "img_TaskIcon.png", icon_task()
    yield "img_NotesIcon.png", icon_notes_small()

    yield "img_Priority.png", icon_priority()
    yield "img_FileType.png", icon_file_type()
    yield "img_Attachment.png", icon_attachment()

    yield "img_openFile.png", icon_open_file()
    yield "img_SaveFile.png", icon_save_file()

    splitter = hex_colour("ababab")
    yield "img_Vsplitter.png", solid(1, 8, splitter)
    yield "img_Hsplitter.png", solid(8, 1, splitter)

    yield "img_logo_progressbar.png", logo()
    yield "img_Stop.png", stop_button(hex_colour("9e1f1a"), hex_colour("f0645a"), hex_colour("c2271e"))
    yield "img_HoverStop.png", stop_button(hex_colour("b3231d"), hex_colour("ff8a80"), hex_colour("e0362c"))
    yield "img_StopClick.png", stop_button(hex_colour("6e1511"), hex_colour("b8322a"), hex_colour("8a1a14"))
    yield "img_Stop_Click.png", stop_button(hex_colour("6e1511"), hex_colour("b8322a"), hex_colour("8a1a14"))
    yield "img_Start.png", start_button()
    yield "img_StartDisabled.png", start_button("d4d8de", "b4bac4", "9aa0aa", "f4f5f7")
    yield "img_Scan.gif", scan_animation()

    yield "img_Save.png", icon_save()
    yield "img_Save_Click.png", pressed(icon_save)
    yield "img_ClearLog.png", icon_clear_log()
    yield "img_ClearLog_Click.png", pressed(icon_clear_log)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "images")
    os.makedirs(out_dir, exist_ok=True)
    count = 0
    for name, canvas in images():
        canvas.save(os.path.join(out_dir, name))
        count += 1
    print("wrote %d images to %s" % (count, os.path.normpath(out_dir)))


if __name__ == "__main__":
    main()
