#!/usr/bin/env python3
"""Draws the tool-bar bitmaps and the program icon of Morbek32.

Every picture is an ASCII grid, one character a pixel, so a picture can be edited in
a text editor and the output is reproducible byte for byte. Standard library only.

    scripts/make-bitmaps.py            writes resources/bitmaps/*.bmp,
                                       resources/icons/morbek32.png, morbek16.png and
                                       resources/icons/flag10.bmp, flag11.bmp, flag12.bmp
    scripts/make-bitmaps.py --show     also prints each grid with its disabled twin

Tool-bar bitmap: 32x16, 4 bits per pixel, the 16 VGA colours; the left 16x16 is the
normal picture, the right one the disabled picture derived from it. The program takes
the colour of the bottom-left pixel as transparent, so that pixel is the key colour.
"""

import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Legend of the tool-bar grids: one character per colour of the standard Windows
# 16-colour palette, in palette order.
PALETTE = [
    ('K', (0x00, 0x00, 0x00)),  # black
    ('m', (0x80, 0x00, 0x00)),  # maroon
    ('g', (0x00, 0x80, 0x00)),  # green
    ('o', (0x80, 0x80, 0x00)),  # olive (the "brown" of 16 colours)
    ('n', (0x00, 0x00, 0x80)),  # navy
    ('p', (0x80, 0x00, 0x80)),  # purple
    ('.', (0x00, 0x80, 0x80)),  # teal: the transparent key, never used in a picture
    ('s', (0xC0, 0xC0, 0xC0)),  # silver
    ('d', (0x80, 0x80, 0x80)),  # grey (dark grey)
    ('r', (0xFF, 0x00, 0x00)),  # red
    ('l', (0x00, 0xFF, 0x00)),  # lime
    ('y', (0xFF, 0xFF, 0x00)),  # yellow
    ('b', (0x00, 0x00, 0xFF)),  # blue
    ('f', (0xFF, 0x00, 0xFF)),  # fuchsia
    ('a', (0x00, 0xFF, 0xFF)),  # aqua
    ('w', (0xFF, 0xFF, 0xFF)),  # white
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
KEY = '.'

# Colours that drop out of the disabled picture, as they would in the monochrome
# conversion Windows used: light areas vanish, dark ones become the embossed shape.
LIGHT = set('wsyla')

# name -> (grid, colours that count as light for the disabled picture)
PICTURES = {}


def picture(name, rows, light=LIGHT):
    PICTURES[name] = (rows, set(light))


picture('open', [
    '.......y...y...y',
    '........y..y..y.',
    '.........y.y.y..',
    '................',
    '.............yyy',
    '.KKKKKKK........',
    '.KwwwwwKK....y..',
    '.KwwwwwKsK....y.',
    '.KwwwwwKKKK....y',
    '.KwwwwwwwwK.....',
    '.KwwwwwwwwK.....',
    '.KwwwwwwwwK.....',
    '.KwwwwwwwwK.....',
    '.KwwwwwwwwK.....',
    '.KwwwwwwwwK.....',
    '.KKKKKKKKKK.....',
], light='ws')  # keep the rays in the disabled picture

picture('extract', [
    '.......KK.......',
    '......KrrK......',
    '.....KrrrrK.....',
    '....KrrrrrrK....',
    '...KrrrrrrrrK...',
    '...KKKKrrKKKK...',
    '......KrrK......',
    '......KrrK......',
    '......KrrK......',
    '.KKKKKKrrKKKKKK.',
    '.KyyyyyyyyyyyyK.',
    '.KyoooooooooooK.',
    '.KyoooKKKKooooK.',
    '.KyoooooooooooK.',
    '.KyoooooooooooK.',
    '.KKKKKKKKKKKKKK.',
])

picture('info', [
    '.....KKKKKK.....',
    '...KKwwwwwwKK...',
    '..KwwwwwwwwwwK..',
    '.KwwwwwbbwwwwwK.',
    '.KwwwwwbbwwwwwK.',
    'KwwwwwwwwwwwwwwK',
    'KwwwwwbbbwwwwwwK',
    'KwwwwwwbbwwwwwwK',
    'KwwwwwwbbwwwwwsK',
    'KwwwwwwbbwwwwwsK',
    'KwwwwwwbbwwwwwsK',
    '.KwwwwwbbwwwwsK.',
    '.KwwwwbbbbwwssK.',
    '..KwwwwwwwsssK..',
    '...KKwwssssKK...',
    '.....KKKKKK.....',
])

picture('about', [
    '................',
    '.KKKKKKKKKKKKKK.',
    '.KppppppppppppK.',
    '.KppppKKKKKKKpK.',
    '.KpppKyyyyyKKpK.',
    '.KppKyyyyyKoKpK.',
    '.KpKKKKKKKooKpK.',
    '.KpKyyyyyKooKpK.',
    '.KpKyyyyyKooKpK.',
    '.KpKyyyyyKooKpK.',
    '.KpKyyyyyKoKppK.',
    '.KpKyyyyyKKpppK.',
    '.KpKKKKKKKppppK.',
    '.KppppppppppppK.',
    '.KKKKKKKKKKKKKK.',
    '................',
])

picture('help', [
    '.....KKKKKK.....',
    '...KKyyyyyyKK...',
    '..KyyyyyyyyyyK..',
    '.KyyyyrrrryyyyK.',
    '.KyyyrryyrryyyK.',
    'KyyyyrryyrryyyyK',
    'KyyyyyyyyrryyyyK',
    'KyyyyyyyrryyyyoK',
    'KyyyyyyrryyyyyoK',
    'KyyyyyyrryyyyyoK',
    'KyyyyyyyyyyyyyoK',
    '.KyyyyyrryyyyoK.',
    '.KyyyyyrryyyooK.',
    '..KyyyyyyyyooK..',
    '...KKyyooooKK...',
    '.....KKKKKK.....',
], light='wsylao')  # the olive shading is light, not part of the shape

picture('quit', [
    '.KKKKKKKKK......',
    '.KKKwwwwwK......',
    '.KooKKwwwK......',
    '.KooooKwwK......',
    '.KooooKwwK.K....',
    '.KooooKwwK.KK...',
    '.KooooKKKKKKgK..',
    '.KooooKgggggggK.',
    '.KoooyKggggggggK',
    '.KooooKgggggggK.',
    '.KooooKKKKKKgK..',
    '.KooooKwwK.KK...',
    '.KooooKwwK.K....',
    '.KooooKwwK......',
    '.KooKKwwwK......',
    '.KKKwwwwwK......',
])

picture('large', [
    '................',
    '................',
    'KKKK.....KKKK...',
    'KwwKK....KwwKK..',
    'KwwKwK...KwwKwK.',
    'KwwKKKK..KwwKKKK',
    'KwwwwwK..KwwwwwK',
    'KwwwwwK..KwwwwwK',
    'KwwwwwK..KwwwwwK',
    'KwwwwwK..KwwwwwK',
    'KwwwwwK..KwwwwwK',
    'KwwwwwK..KwwwwwK',
    'KKKKKKK..KKKKKKK',
    '................',
    '.KKKKK....KKKKK.',
    '................',
])

picture('small', [
    '................',
    'KKK.............',
    'KwKK............',
    'KwwK.KKK........',
    'KKKK............',
    '................',
    '....KKK.........',
    '....KwKK........',
    '....KwwK.KKK....',
    '....KKKK........',
    '................',
    '........KKK.....',
    '........KwKK....',
    '........KwwK.KKK',
    '........KKKK....',
    '................',
])

picture('list', [
    '................',
    'KK......KK......',
    'KwK.KKK.KwK.KKK.',
    'KwK.....KwK.....',
    'KKK.....KKK.....',
    '................',
    'KK......KK......',
    'KwK.KKK.KwK.KKK.',
    'KwK.....KwK.....',
    'KKK.....KKK.....',
    '................',
    'KK......KK......',
    'KwK.KKK.KwK.KKK.',
    'KwK.....KwK.....',
    'KKK.....KKK.....',
    '................',
])

picture('details', [
    'KKKKKKKKKKKKKKKK',
    'KssssssKssssKssK',
    'KKKKKKKKKKKKKKKK',
    'KwwwwwwwwwwwwwwK',
    'KwKKKKwwwKKwwKwK',
    'KwwwwwwwwwwwwwwK',
    'KwKKKwwwwKKwwKwK',
    'KwwwwwwwwwwwwwwK',
    'KwKKKKwwwKKwwKwK',
    'KwwwwwwwwwwwwwwK',
    'KwKKwwwwwKKwwKwK',
    'KwwwwwwwwwwwwwwK',
    'KwKKKKwwwKKwwKwK',
    'KwwwwwwwwwwwwwwK',
    'KKKKKKKKKKKKKKKK',
    '................',
])

picture('alpha', [
    '................',
    '................',
    '..KKK...........',
    '.....K..........',
    '..KKKK..KKKKKKK.',
    '.K...K..........',
    '..KKKK..........',
    '................',
    '................',
    '.KKKKK..........',
    '....K...........',
    '...K....KKKKKKK.',
    '..K.............',
    '.KKKKK..........',
    '................',
    '................',
])

picture('natural', [
    '................',
    '................',
    '...K............',
    '..KK............',
    '...K....KKKKKKK.',
    '...K............',
    '..KKK...........',
    '................',
    '................',
    '.KKKK...........',
    '.....K..........',
    '...KK...KKKKKKK.',
    '.....K..........',
    '.KKKK...........',
    '................',
    '................',
])


# Legend of the program icon grids (full colour, '.' transparent).
ICON_COLOURS = {
    '.': (0x00, 0x00, 0x00, 0x00),
    'K': (0x00, 0x00, 0x00, 0xFF),  # outline
    'X': (0x40, 0x20, 0x00, 0xFF),  # inside of the drawer
    'D': (0x70, 0x40, 0x10, 0xFF),  # shaded wood
    'B': (0xA0, 0x68, 0x28, 0xFF),  # wood
    'L': (0xD8, 0xA8, 0x60, 0xFF),  # lit wood
    'y': (0xF8, 0xD8, 0x40, 0xFF),  # brass handle
    'o': (0xA0, 0x78, 0x00, 0xFF),  # brass in shade
    'w': (0xFF, 0xFF, 0xFF, 0xFF),  # page
    's': (0xC0, 0xC0, 0xC0, 0xFF),  # folded corner
    'd': (0x80, 0x80, 0x80, 0xFF),  # lines of text
}

# A cabinet drawer, open, with a page coming out of it and a card behind.
ICON32 = [
    '................................',
    '................................',
    '........KKKKKKKKKK..............',
    '........KwwwwwwwwKK.............',
    '........KwwwwwwwwKsK............',
    '........KwwwwwwwwKssK...........',
    '........KwwwwwwwwKKKKK..........',
    '........KwwwwwwwwwwwwKKKKKKK....',
    '........KwddddddwwwwwKsssssK....',
    '........KwwwwwwwwwwwwKddddsK....',
    '........KwddddddddddwKsssssK....',
    '........KwwwwwwwwwwwwKddddsK....',
    '........KwddddddddwwwKsssssK....',
    '......KKKwwwwwwwwwwwwKsssssKKKK.',
    '.....KBBKwddddddddddwKsssssKBKK.',
    '....KLXXKwwwwwwwwwwwwKsssssKKDK.',
    '...KLXXXKwdddddwwwwwwKsssssKDDK.',
    '..KLLLLLLLLLLLLLLLLLLLLLLLKDDDK.',
    '.KKKKKKKKKKKKKKKKKKKKKKKKKDDDDK.',
    '.KLLLLLLLLLLLLLLLLLLLLLLLKDDDDK.',
    '.KLBBBBBBBBBBBBBBBBBBBBBBKDDDDK.',
    '.KLBBBBBBBBBBBBBBBBBBBBBBKDDDDK.',
    '.KLBBBBBBBBBBBBBBBBBBBBBBKDDDDK.',
    '.KLBBBBBBKKKKKKKKKBBBBBBBKDDDDK.',
    '.KLBBBBBBKyyyyyyyKBBBBBBBKDDDDK.',
    '.KLBBBBBBKoooooooKBBBBBBBKDDDDK.',
    '.KLBBBBBBKKKKKKKKKBBBBBBBKDDDK..',
    '.KLBBBBBBBBBBBBBBBBBBBBBBKDDK...',
    '.KLBBBBBBBBBBBBBBBBBBBBBBKDK....',
    '.KLDDDDDDDDDDDDDDDDDDDDDDKK.....',
    '.KKKKKKKKKKKKKKKKKKKKKKKKK......',
    '................................',
]

ICON16 = [
    '................',
    '....KKKK........',
    '....KwwKK.......',
    '....KwwKsK......',
    '....KwwKKKKK....',
    '....KwdddwKsK...',
    '....KwwwwwKsK...',
    '...KKwdddwKsKKKK',
    '..KXKwwwwwKsKXKK',
    '.KLLLLLLLLLLLKDK',
    'KKKKKKKKKKKKKDDK',
    'KLBBBBBBBBBBKDDK',
    'KLBBKyyyKBBBKDDK',
    'KLBBKKKKKBBBKDK.',
    'KLDDDDDDDDDDKK..',
    'KKKKKKKKKKKKK...',
]


def check(name, rows, size):
    if len(rows) != size or any(len(r) != size for r in rows):
        sys.exit(f'{name}: grid is not {size}x{size}')


def disabled(rows, light):
    """The embossed picture: every dark pixel drawn grey over a white copy of the
    shape shifted one pixel down and right, on the key colour."""
    n = len(rows)
    shape = {(x, y) for y, r in enumerate(rows) for x, c in enumerate(r)
             if c != KEY and c not in light}
    out = [[KEY] * n for _ in range(n)]
    for x, y in shape:
        if x + 1 < n and y + 1 < n:
            out[y + 1][x + 1] = 'w'
    for x, y in shape:
        out[y][x] = 'd'
    return [''.join(r) for r in out]


def bmp4(rows):
    """A 4-bit BMP with BITMAPINFOHEADER and the 16-colour palette."""
    width, height = len(rows[0]), len(rows)
    stride = (width * 4 + 31) // 32 * 4
    pixels = bytearray()
    for r in reversed(rows):  # a BMP stores its rows bottom-up
        line = bytearray()
        for x in range(0, width, 2):
            hi = INDEX[r[x]]
            lo = INDEX[r[x + 1]] if x + 1 < width else 0
            line.append(hi << 4 | lo)
        pixels += line + bytes(stride - len(line))
    palette = b''.join(bytes((b, g, r_, 0)) for _, (r_, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels),
                       2835, 2835, 16, 16)
    head = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return head + info + palette + bytes(pixels)


def write_bitmaps(show):
    folder = os.path.join(ROOT, 'resources', 'bitmaps')
    os.makedirs(folder, exist_ok=True)
    for name, (rows, light) in PICTURES.items():
        check(name, rows, 16)
        if rows[15][0] != KEY:
            sys.exit(f'{name}: the bottom-left pixel must be the key colour')
        if any(c not in INDEX for r in rows for c in r):
            sys.exit(f'{name}: unknown colour character')
        grey = disabled(rows, light)
        both = [a + b for a, b in zip(rows, grey)]
        with open(os.path.join(folder, name + '.bmp'), 'wb') as f:
            f.write(bmp4(both))
        if show:
            print(name)
            print('\n'.join(a + '  ' + b for a, b in zip(rows, grey)), end='\n\n')


def png(rows):
    """An 8-bit RGBA PNG, no filtering: small pictures need nothing cleverer."""
    width, height = len(rows[0]), len(rows)
    raw = b''.join(b'\0' + b''.join(bytes(ICON_COLOURS[c]) for c in r) for r in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def write_icons():
    folder = os.path.join(ROOT, 'resources', 'icons')
    os.makedirs(folder, exist_ok=True)
    for name, rows, size in (('morbek32', ICON32, 32), ('morbek16', ICON16, 16)):
        check(name, rows, size)
        if any(c not in ICON_COLOURS for r in rows for c in r):
            sys.exit(f'{name}: unknown colour character')
        with open(os.path.join(folder, name + '.png'), 'wb') as f:
            f.write(png(rows))


def flag(paint):
    """A 16x16 language icon: an 11-row flag with a dark frame on the key colour."""
    rows = []
    for y in range(16):
        row = ''
        for x in range(16):
            if y < 2 or y > 12:
                row += KEY
            elif y in (2, 12) or x in (0, 15):
                row += 'd'
            else:
                row += paint(x - 1, y - 3)   # inside: 14 x 9
        rows.append(row)
    return rows


def france(x, y):
    return 'b' if x < 5 else ('w' if x < 9 else 'r')


def germany(x, y):
    return 'K' if y < 3 else ('r' if y < 6 else 'y')


def united_kingdom(x, y):
    # Centre cross in red on white, diagonals in white and red, on navy.
    cx, cy = x - 6.5, y - 4
    if abs(cx) < 1 or abs(cy) < 1:
        return 'r'
    if abs(cx) < 2 or abs(cy) < 2:
        return 'w'
    d1, d2 = abs(cy - cx * 9 / 14), abs(cy + cx * 9 / 14)
    if min(d1, d2) < 0.45:
        return 'r'
    if min(d1, d2) < 1.1:
        return 'w'
    return 'n'


FLAGS = (('flag10', france), ('flag11', united_kingdom), ('flag12', germany))


def write_flags(show):
    folder = os.path.join(ROOT, 'resources', 'icons')
    os.makedirs(folder, exist_ok=True)
    for name, paint in FLAGS:
        rows = flag(paint)
        check(name, rows, 16)
        with open(os.path.join(folder, name + '.bmp'), 'wb') as f:
            f.write(bmp4(rows))
        if show:
            print(name)
            print('\n'.join(rows), end='\n\n')


if __name__ == '__main__':
    write_bitmaps('--show' in sys.argv)
    write_icons()
    write_flags('--show' in sys.argv)
