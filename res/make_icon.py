#!/usr/bin/env python3
"""Draws the program's icon (a folder with an arrow leaving it) as a 32x32
and a 16x16 image and writes them as res/movix32.ico. Run by hand when the
picture changes; the .ico is kept in the tree."""
import struct, sys

def draw(n):
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]
    s = n / 32.0
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c
    rect(2, 9, 14, 12, (40, 150, 230, 255))      # folder tab
    rect(2, 12, 24, 28, (60, 170, 240, 255))     # folder body
    rect(2, 27, 24, 28, (20, 90, 160, 255))
    rect(16, 16, 27, 20, (230, 60, 40, 255))     # arrow shaft
    for i in range(7):                            # arrow head
        rect(26 + i * 0.7, 12 + i * 0.9, 27 + i * 0.7, 24 - i * 0.9, (230, 60, 40, 255))
    return px

def image(n):
    px = draw(n)
    hdr = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(struct.pack('BBBB', b, g, r, a) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((n + 31) // 32) * 4
    andm = bytearray()
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        andm += bits
    return hdr + xor + bytes(andm)

imgs = [image(32), image(16)]
out = struct.pack('<HHH', 0, 1, len(imgs))
off = 6 + 16 * len(imgs)
for n, data in zip((32, 16), imgs):
    out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), off)
    off += len(data)
out += b''.join(imgs)
open(sys.argv[1] if len(sys.argv) > 1 else 'movix32.ico', 'wb').write(out)
