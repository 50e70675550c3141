#!/usr/bin/env python3
"""Draws the viewer's icon (1060), its cursor (1002) and the fourteen faces of the toolbar's
buttons, and writes them beside this script: viewer.ico, pointer.cur and toolbar/*.bmp. The
images are ours: a small monitor for the icon, a plain arrow for the cursor, and light-blue
button faces with the captions set in DejaVu Sans Bold. Run it again only to change a picture;
the outputs are committed so that the build needs no Python.

Needs Debian's python3-pil and fonts-dejavu-core: /usr/bin/python3 draw_images.py"""

import os
import struct

from PIL import Image, ImageDraw, ImageFont

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


# The toolbar's faces: 24-bit, 90 x 40. A button shows the left 89 columns, squeezed onto its
# 89 x 36, so the face is laid out on those 89 and the last column repeats the right edge.
FACE_WIDTH, FACE_HEIGHT, SHOWN_WIDTH = 90, 40, 89
FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf'
CAPTION = (0x10, 0x2A, 0x4A)
BORDER = (0x5E, 0x8C, 0xC0)
FRAME = (0x17, 0x2F, 0x52)
HIGHLIGHT = (0xFF, 0xFF, 0xFF)
SHADE = (0x9C, 0xBE, 0xE4)
# Top and bottom of the face's gradient, normal and pressed.
FACE_NORMAL = ((0xF2, 0xF8, 0xFF), (0xBF, 0xD9, 0xF4))
FACE_PRESSED = ((0xB3, 0xCF, 0xEE), (0xDD, 0xEC, 0xFB))

# File name (the pressed face adds _pressed) and caption lines, left to right on the toolbar.
BUTTONS = [
    ('alt_tab', ['Alt + Tab']),
    ('ctrl_space', ['Ctrl + Space']),
    ('alt_f4', ['Alt + F4']),
    ('ctrl_alt_del', ['Ctrl + Alt', '+ Del']),
    ('new_client', ['New Client']),
    ('virtual_device', ['Virtual', 'Device']),
    ('window_full', ['Window/Full']),
]


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def draw_face(lines, pressed):
    image = Image.new('RGB', (FACE_WIDTH, FACE_HEIGHT))
    draw = ImageDraw.Draw(image)
    right, bottom = SHOWN_WIDTH - 1, FACE_HEIGHT - 1
    top_colour, bottom_colour = FACE_PRESSED if pressed else FACE_NORMAL
    for y in range(FACE_HEIGHT):
        draw.line([(0, y), (FACE_WIDTH - 1, y)], fill=mix(top_colour, bottom_colour, y / bottom))
    if pressed:
        # Sunk in: a dark frame of two pixels, and the caption a pixel down and right.
        draw.rectangle([0, 0, right, bottom], outline=FRAME, width=2)
        shift = 1
    else:
        draw.rectangle([0, 0, right, bottom], outline=BORDER)
        draw.line([(1, 1), (right - 1, 1)], fill=HIGHLIGHT)
        draw.line([(1, 1), (1, bottom - 1)], fill=HIGHLIGHT)
        draw.line([(2, bottom - 1), (right - 1, bottom - 1)], fill=SHADE)
        draw.line([(right - 1, 2), (right - 1, bottom - 1)], fill=SHADE)
        shift = 0
    for y in range(FACE_HEIGHT):
        image.putpixel((FACE_WIDTH - 1, y), image.getpixel((right, y)))

    font = ImageFont.truetype(FONT, 11)
    ascent, descent = font.getmetrics()
    line_height = ascent + descent - 1
    # Centred on the cap height, so that descenders do not push a line up.
    cap_height = font.getbbox('H')[3] - font.getbbox('H')[1]
    block = line_height * (len(lines) - 1) + cap_height
    top = (FACE_HEIGHT - block) // 2 - font.getbbox('H')[1] + shift
    for i, line in enumerate(lines):
        width = font.getlength(line)
        left = round((SHOWN_WIDTH - width) / 2) + shift
        draw.text((left, top + i * line_height), line, font=font, fill=CAPTION)
    return image


def draw_toolbar_faces():
    folder = os.path.join(HERE, 'toolbar')
    os.makedirs(folder, exist_ok=True)
    for name, lines in BUTTONS:
        draw_face(lines, False).save(os.path.join(folder, name + '.bmp'))
        draw_face(lines, True).save(os.path.join(folder, name + '_pressed.bmp'))


if __name__ == '__main__':
    with open(os.path.join(HERE, 'viewer.ico'), 'wb') as f:
        f.write(draw_icon())
    with open(os.path.join(HERE, 'pointer.cur'), 'wb') as f:
        f.write(draw_cursor())
    draw_toolbar_faces()
