#!/usr/bin/env python3
"""Draws the viewer's icon (1060) and cursor (1002) and writes them as viewer.ico and
pointer.cur beside this script. The images are ours: a small monitor for the icon and a
plain arrow for the cursor. Run it again only to change a picture; the outputs are committed
so that the build needs no Python."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 32


def bitmap_header(width, height, bits, colours=0):
    # The stored height counts the colour image and the AND mask together.
    return struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def and_mask(opaque):
    # One bit per pixel, 1 = transparent, rows bottom-up and padded to 4 bytes.
    out = bytearray()
    for y in reversed(range(SIZE)):
        row = 0
        for x in range(SIZE):
            row = (row << 1) | (0 if opaque[y][x] else 1)
        out += row.to_bytes(SIZE // 8, 'big')
    return bytes(out)


def draw_icon():
    frame, screen, glow, stand = (0x30, 0x30, 0x38), (0x20, 0x50, 0xA0), (0x70, 0xB0, 0xF0), (0x60, 0x60, 0x68)
    pixels = [[None] * SIZE for _ in range(SIZE)]
    for y in range(3, 23):
        for x in range(2, 30):
            pixels[y][x] = frame
    for y in range(5, 21):
        for x in range(4, 28):
            pixels[y][x] = glow if (x + y) % 9 == 0 or y < 8 else screen
    for y in range(23, 27):
        for x in range(13, 19):
            pixels[y][x] = stand
    for y in range(27, 29):
        for x in range(8, 24):
            pixels[y][x] = stand
    image = bytearray()
    for y in reversed(range(SIZE)):
        for x in range(SIZE):
            p = pixels[y][x]
            image += bytes((p[2], p[1], p[0], 0xFF)) if p else b'\0\0\0\0'
    body = bitmap_header(SIZE, SIZE, 32) + bytes(image) + and_mask([[p is not None for p in row] for row in pixels])
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(body), 22)
    return directory + body


def draw_cursor():
    # An arrow with a white body and a black outline; the hot spot is its tip at (0, 0).
    outline, body = set(), set()
    for y in range(17):
        for x in range(y + 1):
            (outline if x == 0 or x == y or y == 16 else body).add((x, y))
    for y in range(12, 24):
        for x in (y - 8, y - 7):
            if y > 16:
                outline.add((x - 2, y))
                outline.add((x + 1, y))
                body.update({(x - 1, y), (x, y)})
    body -= outline
    colour = bytearray()  # 1 bit per pixel through the two-entry table: 0 black, 1 white
    for y in reversed(range(SIZE)):
        row = 0
        for x in range(SIZE):
            row = (row << 1) | (1 if (x, y) in body else 0)
        colour += row.to_bytes(SIZE // 8, 'big')
    opaque = [[(x, y) in outline or (x, y) in body for x in range(SIZE)] for y in range(SIZE)]
    table = bytes((0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0))
    image = bitmap_header(SIZE, SIZE, 1, 2) + table + bytes(colour) + and_mask(opaque)
    directory = struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 2, 0, 0, 0, len(image), 22)
    return directory + image


if __name__ == '__main__':
    with open(os.path.join(HERE, 'viewer.ico'), 'wb') as f:
        f.write(draw_icon())
    with open(os.path.join(HERE, 'pointer.cur'), 'wb') as f:
        f.write(draw_cursor())
