#!/usr/bin/env python3
"""Draws the cursors, the icon and the bitmaps of QivPlayer.dll beside this file.

Cursors are 32 x 32 monochrome with a mask; each is a few strokes on a grid.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
N = 32


class Canvas:
    def __init__(self, w=N, h=N):
        self.w, self.h = w, h
        self.ink = [[0] * w for _ in range(h)]  # 0 none, 1 black, 2 white

    def dot(self, x, y, c=1):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            self.ink[y][x] = c

    def line(self, x0, y0, x1, y1, c=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0))) + 1
        for i in range(n + 1):
            t = i / n
            self.dot(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, c)

    def arrow(self, x0, y0, x1, y1, c=1):
        self.line(x0, y0, x1, y1, c)
        a = math.atan2(y1 - y0, x1 - x0)
        for s in (2.5, -2.5):
            self.line(x1, y1, x1 - 5 * math.cos(a + s), y1 - 5 * math.sin(a + s), c)

    def circle(self, cx, cy, r, c=1, start=0, end=360):
        for d in range(start, end, 3):
            self.dot(cx + r * math.cos(math.radians(d)), cy + r * math.sin(math.radians(d)), c)

    def box(self, x0, y0, x1, y1, c=1):
        for x, y, a, b in ((x0, y0, x1, y0), (x1, y0, x1, y1), (x1, y1, x0, y1), (x0, y1, x0, y0)):
            self.line(x, y, a, b, c)

    def outline(self):
        # A white rim around every black pixel so the cursor shows on dark and light.
        rim = [[0] * self.w for _ in range(self.h)]
        for y in range(self.h):
            for x in range(self.w):
                if self.ink[y][x] == 1:
                    for dy in (-1, 0, 1):
                        for dx in (-1, 0, 1):
                            u, v = x + dx, y + dy
                            if 0 <= u < self.w and 0 <= v < self.h and self.ink[v][u] == 0:
                                rim[v][u] = 1
        for y in range(self.h):
            for x in range(self.w):
                if rim[y][x]:
                    self.ink[y][x] = 2


def cursor_bytes(canvas, hot):
    # Monochrome DIB: XOR rows then AND rows, bottom-up, 4 bytes per row.
    xor, andm = b'', b''
    for y in reversed(range(N)):
        xo = an = 0
        for x in range(N):
            c = canvas.ink[y][x]
            bit = 1 << (31 - x)
            if c == 0:
                an |= bit
            elif c == 2:
                xo |= bit
        xor += struct.pack('>I', xo)
        andm += struct.pack('>I', an)
    header = struct.pack('<IiiHHIIiiII', 40, N, 2 * N, 1, 1, 0, len(xor) + len(andm), 0, 0, 2, 0)
    palette = struct.pack('<II', 0x000000, 0xFFFFFF)
    image = header + palette + xor + andm
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', N, N, 0, 0, hot[0], hot[1], len(image), 22) + image


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def draw_cursor(name, hot, strokes):
    c = Canvas()
    strokes(c)
    c.outline()
    write(name, cursor_bytes(c, hot))


def fly(dx, dy):
    return lambda c: (c.circle(16, 16, 3), c.arrow(16 + 4 * dx, 16 + 4 * dy, 16 + 13 * dx, 16 + 13 * dy))


CURSORS = {
    204: ('rotate', (16, 16), lambda c: (c.circle(16, 16, 10, start=30, end=330),
                                         c.arrow(24, 8, 25, 11))),
    214: ('link', (8, 2), lambda c: (c.line(8, 2, 8, 18), c.line(8, 2, 11, 5), c.line(8, 2, 5, 5),
                                     c.box(5, 18, 19, 28), c.line(11, 12, 19, 12), c.line(19, 12, 19, 18))),
    218: ('zoom', (12, 12), lambda c: (c.circle(12, 12, 8), c.line(18, 18, 28, 28), c.line(19, 18, 29, 28),
                                       c.line(8, 12, 16, 12), c.line(12, 8, 12, 16))),
    219: ('pan', (16, 16), lambda c: (c.arrow(16, 16, 16, 2), c.arrow(16, 16, 16, 30),
                                      c.arrow(16, 16, 2, 16), c.arrow(16, 16, 30, 16))),
    226: ('autoanim', (4, 4), lambda c: (c.arrow(20, 20, 4, 4), c.box(18, 18, 30, 30),
                                         c.line(21, 21, 27, 24), c.line(27, 24, 21, 27), c.line(21, 21, 21, 27))),
    232: ('flydown', (16, 16), fly(0, 1)),
    233: ('flyleft', (16, 16), fly(-1, 0)),
    234: ('flyleftup', (16, 16), fly(-0.7, -0.7)),
    235: ('flynomove', (16, 16), lambda c: (c.circle(16, 16, 3), c.circle(16, 16, 9))),
    236: ('flyright', (16, 16), fly(1, 0)),
    237: ('flyrightup', (16, 16), fly(0.7, -0.7)),
    238: ('flyturnleft', (16, 16), lambda c: (c.circle(16, 16, 3), c.circle(16, 16, 11, start=200, end=340),
                                             c.arrow(26, 12, 6, 12))),
    239: ('flyturnright', (16, 16), lambda c: (c.circle(16, 16, 3), c.circle(16, 16, 11, start=200, end=340),
                                              c.arrow(6, 12, 26, 12))),
    240: ('flyup', (16, 16), fly(0, -1)),
    241: ('flyliftup', (16, 16), lambda c: (c.circle(16, 16, 3), c.arrow(16, 12, 16, 2),
                                           c.line(6, 28, 26, 28))),
    242: ('flyliftdown', (16, 16), lambda c: (c.circle(16, 16, 3), c.arrow(16, 20, 16, 30),
                                             c.line(6, 4, 26, 4))),
    251: ('aim', (16, 16), lambda c: (c.circle(16, 16, 9), c.line(16, 2, 16, 12), c.line(16, 20, 16, 30),
                                      c.line(2, 16, 12, 16), c.line(20, 16, 30, 16))),
    252: ('grab', (16, 12), lambda c: (c.box(8, 12, 24, 26), c.line(10, 12, 10, 4), c.line(14, 12, 14, 3),
                                       c.line(18, 12, 18, 4), c.line(22, 12, 22, 6))),
    253: ('colorize', (3, 29), lambda c: (c.line(3, 29, 20, 12), c.line(5, 29, 22, 12), c.box(19, 4, 28, 13))),
    254: ('erase', (6, 26), lambda c: (c.line(6, 26, 20, 12), c.line(20, 12, 28, 20), c.line(28, 20, 14, 34),
                                       c.line(6, 26, 12, 30), c.line(2, 30, 30, 30))),
    255: ('grabbed', (16, 14), lambda c: (c.box(8, 12, 24, 26), c.line(8, 12, 24, 12), c.line(10, 10, 22, 10),
                                          c.line(12, 8, 20, 8))),
}


def bmp24(w, h, pixel):
    row = (w * 3 + 3) & ~3
    data = b''
    for y in reversed(range(h)):
        r = b''.join(struct.pack('<BBB', *pixel(x, y)[::-1]) for x in range(w))
        data += r + b'\0' * (row - w * 3)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return info, data


def write_bmp(name, w, h, pixel):
    info, data = bmp24(w, h, pixel)
    write(name, b'BM' + struct.pack('<IHHI', 14 + len(info) + len(data), 0, 0, 54) + info + data)


def cube(x, y, w, h):
    # A shaded cube on light grey: the product's sign.
    cx, cy, s = w / 2, h / 2, min(w, h) * 0.3
    u, v = (x - cx) / s, (y - cy) / s
    if abs(u) <= 1 and -0.5 <= v - 0.5 * abs(u) <= 1.5 and v >= -1:
        if v < -0.5 + 0.5 * abs(u) - 0.0:
            return (240, 200, 80)
        return (200, 120, 40) if u < 0 else (150, 80, 30)
    return (192, 192, 192)


def logo(x, y):
    if 4 <= x < 68:
        return cube(x - 4, y, 64, 72)
    return (192, 192, 192) if (x + y) % 17 else (160, 160, 160)


def icon_bytes():
    info, data = bmp24(32, 32, lambda x, y: cube(x, y, 32, 32))
    info = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 24, 0, len(data), 0, 0, 0, 0)
    mask = b'\0' * (4 * 32)
    image = info + data + mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 32, 32, 0, 0, 1, 24, len(image), 22) + image


def small_icon_bytes(pixel):
    # 16 x 16, 24 bits, an empty AND mask (rows of 4 bytes).
    info, data = bmp24(16, 16, pixel)
    info = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, 24, 0, len(data), 0, 0, 0, 0)
    image = info + data + b'\0' * (4 * 16)
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 16, 16, 0, 0, 1, 24, len(image), 22) + image


def play(x, y):
    # A green triangle pointing right.
    return (40, 150, 40) if 4 <= x <= 12 and abs(y - 7.5) <= (x - 3) * 0.6 else (192, 192, 192)


def stop(x, y):
    return (60, 60, 60) if 4 <= x <= 11 and 4 <= y <= 11 else (192, 192, 192)


for number, (name, hot, strokes) in CURSORS.items():
    draw_cursor('cur%d_%s.cur' % (number, name), hot, strokes)
write_bmp('toolbox.bmp', 16, 15, lambda x, y: cube(x, y, 16, 15))
write_bmp('logo.bmp', 131, 72, logo)
write('QivPlayer.ico', icon_bytes())
write('ico208_play.ico', small_icon_bytes(play))
write('ico210_stop.ico', small_icon_bytes(stop))
