#!/usr/bin/env python3
"""Draws Stellwerk's grab hand cursor (app/resources/grabhand.cur): an open hand seen
from its back, 32 x 32 monochrome with a mask, hot spot in the palm."""
import os
import struct

N = 32
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'app', 'resources', 'grabhand.cur')


def hand():
    # 0 transparent, 1 black outline, 2 white fill
    ink = [[0] * N for _ in range(N)]

    def fill(x0, y0, x1, y1):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                ink[y][x] = 2

    fill(9, 14, 22, 26)          # palm
    for x0 in (9, 13, 17):       # three long fingers
        fill(x0, 5, x0 + 2, 14)
    fill(21, 8, 23, 15)          # little finger
    fill(4, 14, 8, 18)           # thumb, to the left
    fill(6, 18, 9, 21)
    fill(11, 26, 20, 28)         # wrist
    # black rim around the white shape, black gaps between the fingers
    rim = [[0] * N for _ in range(N)]
    for y in range(N):
        for x in range(N):
            if ink[y][x] == 2:
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        u, v = x + dx, y + dy
                        if 0 <= u < N and 0 <= v < N and ink[v][u] == 0:
                            rim[v][u] = 1
    for y in range(N):
        for x in range(N):
            if rim[y][x]:
                ink[y][x] = 1
    for x in (12, 16, 20):
        for y in range(6, 14):
            ink[y][x] = 1
    return ink


def cursor_bytes(ink, hot):
    # Monochrome DIB: XOR rows then AND rows, bottom-up, 4 bytes per row.
    xor, andm = b'', b''
    for y in reversed(range(N)):
        xo = an = 0
        for x in range(N):
            bit = 1 << (31 - x)
            if ink[y][x] == 0:
                an |= bit
            elif ink[y][x] == 2:
                xo |= bit
        xor += struct.pack('>I', xo)
        andm += struct.pack('>I', an)
    header = struct.pack('<IiiHHIIiiII', 40, N, 2 * N, 1, 1, 0, len(xor) + len(andm), 0, 0, 2, 0)
    image = header + struct.pack('<II', 0x000000, 0xFFFFFF) + xor + andm
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', N, N, 0, 0, hot[0], hot[1], len(image), 22) + image


if __name__ == '__main__':
    with open(OUT, 'wb') as f:
        f.write(cursor_bytes(hand(), (15, 18)))
