#!/usr/bin/env python3
"""Writes checkglyphs.bmp: three 11x11 check-box glyphs side by side
(empty box, checked box, checked box on a silver face), 16 colours."""
import struct, sys

W, H, SIDE = 33, 11, 11
BLACK, SILVER, GREY, WHITE = 0, 7, 8, 15
# Standard 16-colour palette (red, green, blue).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
MARK = [(2, 4), (2, 5), (2, 6), (3, 5), (3, 6), (3, 7), (4, 6), (4, 7), (4, 8),
        (5, 5), (5, 6), (5, 7), (6, 4), (6, 5), (6, 6), (7, 3), (7, 4), (7, 5),
        (8, 2), (8, 3), (8, 4)]


def glyph(face, mark):
    g = [[face] * SIDE for _ in range(SIDE)]
    for i in range(SIDE):
        g[0][i] = g[SIDE - 1][i] = g[i][0] = g[i][SIDE - 1] = GREY
    if mark:
        for x, y in MARK:
            g[y][x] = BLACK
    return g


def main(path):
    glyphs = [glyph(WHITE, False), glyph(WHITE, True), glyph(SILVER, True)]
    stride = ((W * 4 + 31) // 32) * 4
    rows = []
    for y in range(H - 1, -1, -1):  # bottom-up
        px = [glyphs[x // SIDE][y][x % SIDE] for x in range(W)] + [0]
        row = bytes((px[i] << 4) | px[i + 1] for i in range(0, W, 2))
        rows.append(row + b"\0" * (stride - len(row)))
    pixels = b"".join(rows)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    off = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    with open(path, "wb") as f:
        f.write(head + info + pal + pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "checkglyphs.bmp")
