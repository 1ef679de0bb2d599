#!/usr/bin/env python3
"""Draws the program's three icons, each at 16 and 32 px:

- trep.ico (500): the program, a page cut into three numbered pieces;
- join.ico (501): the rebuilt file, the three pieces put back into one page,
  with a check mark;
- segment.ico (502): a segment file (NAME0001.trp ...), a document holding
  one piece; the file-type association points the shell at it.

Run from this folder to remake the icons; the output is committed.
"""
import struct

CLEAR = (0, 0, 0, 0)
BLUE = (40, 110, 200, 255)
DARK = (20, 50, 110, 255)
WHITE = (255, 255, 255, 255)
ORANGE = (245, 150, 30, 255)
GREEN = (40, 160, 60, 255)
DARK_GREEN = (20, 90, 30, 255)
PAPER = (250, 250, 245, 255)
GREY = (120, 120, 120, 255)
LIGHT_GREY = (190, 190, 190, 255)


def blank(n):
    return [[CLEAR] * n for _ in range(n)]


def box(px, x0, y0, x1, y1, fill, edge):
    """Fills the rectangle x0..x1, y0..y1 (inclusive) with an outline."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px[y][x] = edge if x in (x0, x1) or y in (y0, y1) else fill


def draw(n):
    """The program icon (500): n*n RGBA pixels, top row first."""
    px = blank(n)
    s = n / 32.0
    blue, dark, white, orange = BLUE, DARK, WHITE, ORANGE
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


def draw_join(n):
    """The rebuilt file (501): the three bands of the program icon closed up
    into one page, and a green check mark over its lower right corner."""
    px = blank(n)
    s = n / 32.0
    x0, x1 = int(4 * s), int(24 * s) - 1
    y0, y1 = int(2 * s), int(28 * s) - 1
    box(px, x0, y0, x1, y1, BLUE, DARK)
    # The middle third stays orange, so the pieces can still be told apart.
    third = (y1 - y0) // 3
    for y in range(y0 + third + 1, y0 + 2 * third + 1):
        for x in range(x0 + 1, x1):
            px[y][x] = ORANGE
    # One white line of "text" in each third.
    for k in range(3):
        ty = y0 + third * k + third // 2 + 1
        for x in range(x0 + max(2, int(3 * s)), x1 - max(1, int(3 * s)) + 1):
            px[ty][x] = WHITE
    # The check mark: a short stroke down to the right, a long one up to the
    # right, 3 px thick with a dark rim at 32 px, 2 px without one at 16.
    if n >= 32:
        w, (ax, ay), (bx, by), (cx, cy) = 3, (15, 22), (20, 27), (30, 14)
    else:
        w, (ax, ay), (bx, by), (cx, cy) = 2, (7, 10), (9, 13), (14, 7)
    # (ax, ay) starts the short stroke, (bx, by) is the bottom of the check,
    # (cx, cy) ends the long stroke.

    def stroke(xa, ya, xb, yb, colour, grow):
        steps = max(abs(xb - xa), abs(yb - ya))
        for i in range(steps + 1):
            x = xa + (xb - xa) * i // steps
            y = ya + (yb - ya) * i // steps
            for dy in range(-grow, w + grow):
                for dx in range(-grow, grow + 1):
                    yy, xx = y + dy, x + dx
                    if 0 <= yy < n and 0 <= xx < n:
                        px[yy][xx] = colour

    layers = ((DARK_GREEN, 1), (GREEN, 0)) if n >= 32 else ((GREEN, 0),)
    for colour, grow in layers:
        stroke(ax, ay, bx, by - w + 1, colour, grow)
        stroke(bx, by - w + 1, cx, cy, colour, grow)
    return px


def draw_segment(n):
    """A segment file (502): a paper document with a folded corner holding
    one orange piece and a few grey lines of "text"."""
    px = blank(n)
    s = n / 32.0
    x0, x1 = int(5 * s), int(27 * s) - 1
    y0, y1 = int(1 * s), n - 1 - int(1 * s)
    fold = max(4, int(8 * s))
    # The sheet, its top right corner cut off diagonally.
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if x - (x1 - fold) > y - y0:
                continue  # beyond the cut
            edge = x in (x0, x1) or y in (y0, y1) or x - (x1 - fold) == y - y0
            px[y][x] = GREY if edge else PAPER
    # The folded-down flap.
    for y in range(y0, y0 + fold + 1):
        for x in range(x1 - fold, x1 + 1):
            if x - (x1 - fold) <= y - y0:
                edge = x == x1 - fold or y == y0 + fold or x - (x1 - fold) == y - y0
                px[y][x] = GREY if edge else LIGHT_GREY
    # The piece: an orange band with a dark outline and a white line.
    by0, by1 = int(12 * s), int(20 * s) - 1
    bx0, bx1 = x0 + max(2, int(3 * s)), x1 - max(2, int(3 * s))
    box(px, bx0, by0, bx1, by1, ORANGE, DARK)
    ty = (by0 + by1) // 2
    for x in range(bx0 + max(2, int(3 * s)), bx1 - max(1, int(3 * s)) + 1):
        px[ty][x] = WHITE
    # Grey lines of "text" above and below the piece.
    step = max(2, int(3 * s))
    for ty in list(range(int(6 * s), by0 - 1, step)) + list(range(by1 + step, y1 - 1, step)):
        for x in range(x0 + max(2, int(3 * s)), x1 - max(2, int(3 * s)) - (fold if ty <= y0 + fold else 0)):
            px[ty][x] = LIGHT_GREY
    return px


def bmp_entry(px):
    n = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''
    for y in range(n - 1, -1, -1):  # bottom-up
        for r, g, b, a in px[y]:
            rows += bytes((b, g, r, a))
    mask_row = ((n + 31) // 32) * 4
    mask = b''
    for y in range(n - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(n):
            if px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + rows + mask


def write_icon(path, drawing):
    sizes = [16, 32]
    images = [bmp_entry(drawing(n)) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, 'wb') as f:
        f.write(out)


def main():
    write_icon('trep.ico', draw)
    write_icon('join.ico', draw_join)
    write_icon('segment.ico', draw_segment)


if __name__ == '__main__':
    main()
