#!/usr/bin/env python3
"""Draws trep.ico: a page cut into three numbered pieces, at 16 and 32 px.

Run from this folder to remake the icon; the output is committed.
"""
import struct


def draw(n):
    """Returns n*n RGBA pixels, top row first."""
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]
    s = n / 32.0
    blue, dark, white, orange = (40, 110, 200, 255), (20, 50, 110, 255), (255, 255, 255, 255), (245, 150, 30, 255)
    # The page: a rectangle with a dark outline, cut into three bands.
    x0, x1 = int(6 * s), int(26 * s) - 1
    bands = [(int(2 * s), int(10 * s) - 1), (int(12 * s), int(20 * s) - 1), (int(22 * s), int(30 * s) - 1)]
    for i, (y0, y1) in enumerate(bands):
        fill = orange if i == 1 else blue
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                px[y][x] = dark if edge else fill
        # A white line of "text" in each band.
        ty = (y0 + y1) // 2
        for x in range(x0 + max(2, int(3 * s)), x1 - max(1, int(3 * s)) + 1):
            px[ty][x] = white
    return px


def bmp_entry(n):
    px = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''
    for y in range(n - 1, -1, -1):  # bottom-up
        for r, g, b, a in px[y]:
            rows += bytes((b, g, r, a))
    mask_row = ((n + 31) // 32) * 4
    mask = b''
    for y in range(n - 1, -1, -1):
        bits = 0
        row = bytearray(mask_row)
        for x in range(n):
            if px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + rows + mask


def main():
    sizes = [16, 32]
    images = [bmp_entry(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open('trep.ico', 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
