#!/usr/bin/env python3
"""Draws the animation shown while a cabinet is read, and writes it as an AVI clip.

The clip: a page flies out of an open cabinet box and drops into a folder, flipping
over on its way. 80x50 pixels, 8 bits per pixel with a 16-colour palette, 29 frames at
6 frames per second, one video stream, no sound. Standard library only; the output is
the same byte for byte on every run.

    scripts/make-clip.py           writes resources/clip/morbek.avi (run-length encoded,
                                   the clip the program carries) and
                                   tests/platform/data/morbek-raw.avi (the same frames
                                   uncompressed: the source pictures the tests compare
                                   the decoded clip with)
    scripts/make-clip.py --show    also prints every frame as a character grid

The first frame's top-left pixel is the background colour: a player that draws the clip
transparently shows its parent's colour wherever that colour is.
"""

import math
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLIP = os.path.join(ROOT, 'resources', 'clip', 'morbek.avi')
RAW = os.path.join(ROOT, 'tests', 'platform', 'data', 'morbek-raw.avi')

WIDTH, HEIGHT = 80, 50
FRAMES = 29
MICROSECONDS_PER_FRAME = 166666          # 6 frames per second

# Palette: (grid character, RGB). Index 0 is the background.
PALETTE = [
    ('.', (0xC0, 0xC0, 0xC0)),   # background, the grey of a dialog face
    ('K', (0x00, 0x00, 0x00)),   # outlines
    ('w', (0xFF, 0xFF, 0xFF)),   # paper
    ('d', (0x80, 0x80, 0x80)),   # shadow
    ('c', (0xDE, 0xAA, 0x64)),   # carton
    ('b', (0xA0, 0x6E, 0x32)),   # carton in shade (flaps)
    ('B', (0x78, 0x50, 0x1E)),   # carton label
    ('y', (0xFF, 0xDC, 0x50)),   # folder
    ('o', (0xC8, 0xA0, 0x1E)),   # folder back
    ('n', (0x00, 0x00, 0xA0)),   # writing on the page
    ('a', (0xA0, 0xC8, 0xFF)),   # trail of the flying page
    ('r', (0xC8, 0x00, 0x00)),   # label stripe
    ('g', (0x40, 0x40, 0x40)),   # dark grey
    ('l', (0x00, 0x80, 0x00)),   # tab of the folder
    ('s', (0xE0, 0xE0, 0xE0)),   # unused
    ('p', (0x80, 0x00, 0x80)),   # unused; the table keeps 16 entries
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}

# A 3x5 font for the box's label.
FONT = {
    'C': ['KKK', 'K..', 'K..', 'K..', 'KKK'],
    'A': ['.K.', 'K.K', 'KKK', 'K.K', 'K.K'],
    'B': ['KK.', 'K.K', 'KK.', 'K.K', 'KK.'],
}


class Canvas:
    """One frame: rows top to bottom of palette indices."""

    def __init__(self):
        self.px = [[INDEX['.']] * WIDTH for _ in range(HEIGHT)]

    def put(self, x, y, c):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            self.px[y][x] = INDEX[c]

    def rect(self, x0, y0, x1, y1, fill, outline='K'):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                self.put(x, y, outline if edge and outline else fill)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, points, fill, outline='K'):
        """Outline through the corners, filled from its centre on a mask of its own,
        so that the fill neither leaks past the outline nor leaves holes."""
        edge = Canvas()
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            edge.line(round(ax), round(ay), round(bx), round(by), 'K')
        inside = set()
        seed = (round(sum(p[0] for p in points) / len(points)),
                round(sum(p[1] for p in points) / len(points)))
        todo = [seed]
        while todo:
            x, y = todo.pop()
            if (x, y) in inside or not (0 <= x < WIDTH and 0 <= y < HEIGHT):
                continue
            if edge.px[y][x] == INDEX['K']:
                continue
            inside.add((x, y))
            todo += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
        for y in range(HEIGHT):
            for x in range(WIDTH):
                if edge.px[y][x] == INDEX['K']:
                    self.put(x, y, outline)
                elif (x, y) in inside:
                    self.put(x, y, fill)

    def text(self, x, y, word):
        for ch in word:
            for dy, row in enumerate(FONT[ch]):
                for dx, c in enumerate(row):
                    if c != '.':
                        self.put(x + dx, y + dy, c)
            x += 4


def page_at(t):
    """Centre and width of the flying page at time t in [0, 1). The page spins about
    its upright axis, so it looks thin twice on its way."""
    cx = 18.5 + (65.0 - 18.5) * t
    cy = 36.0 + 4.0 * t - 30.0 * math.sin(math.pi * t)
    width = max(1, int(round(9 * abs(math.cos(2.0 * math.pi * t)))))
    return cx, cy, width


def draw_page(cv, t):
    cx, cy, w = page_at(t)
    x0 = int(round(cx - w / 2.0))
    y0 = int(round(cy - 6))
    if w < 3:
        cv.line(x0, y0, x0, y0 + 11, 'K')
        return
    cv.rect(x0, y0, x0 + w - 1, y0 + 11, 'w')
    # Shadow along the right and bottom edge, and lines of writing.
    cv.line(x0 + w, y0 + 1, x0 + w, y0 + 12, 'd')
    cv.line(x0 + 1, y0 + 12, x0 + w, y0 + 12, 'd')
    if w >= 5:
        for row in (3, 5, 7, 9):
            cv.line(x0 + 2, y0 + row, x0 + w - 3 - (row == 9) * 2, y0 + row, 'n')


def draw_trail(cv, t):
    for back, c in ((0.07, 'a'), (0.13, 'a'), (0.19, 'd')):
        if t - back > 0.08 and t < 0.93:
            cx, cy, _ = page_at(t - back)
            cv.put(int(round(cx)), int(round(cy)), c)
            cv.put(int(round(cx)) + 1, int(round(cy)), c)


def draw_box(cv, frame):
    # Flaps open wide and settle while the page leaves the box.
    lift = 6 + (2 if frame in (0, 1, 2) else 1 if frame in (3, 4) else 0)
    cv.polygon([(6, 28), (18, 28), (14, 28 - lift), (1, 28 - lift + 1)], 'b')
    cv.polygon([(19, 28), (31, 28), (36, 28 - lift + 1), (23, 28 - lift)], 'b')
    cv.rect(6, 28, 31, 46, 'c')
    cv.line(7, 47, 32, 47, 'd')
    cv.line(32, 29, 32, 47, 'd')
    cv.line(7, 31, 30, 31, 'r')
    cv.rect(11, 35, 25, 41, 'w', 'B')
    cv.text(13, 36, 'CAB')


def draw_folder_back(cv):
    cv.rect(54, 29, 62, 32, 'l')
    cv.rect(54, 32, 76, 46, 'o')


def draw_folder_front(cv):
    cv.polygon([(54, 36), (77, 36), (76, 46), (54, 46)], 'y')
    cv.line(55, 47, 77, 47, 'd')


def draw_frame(frame):
    t = frame / float(FRAMES)
    cv = Canvas()
    draw_folder_back(cv)
    draw_trail(cv, t)
    draw_page(cv, t)
    draw_box(cv, frame)
    draw_folder_front(cv)
    return cv.px


# --- run-length encoding (BI_RLE8) ------------------------------------------------------
#
# Lines are stored bottom-up. Escapes after a zero count byte: 0 end of line, 1 end of
# picture, 2 delta (move right and up by the next two bytes), 3..255 an absolute run of
# that many bytes, padded to an even length. A pixel that no code reaches keeps the
# colour of the previous frame.

def encode_span(out, values):
    i = 0
    n = len(values)
    while i < n:
        run = 1
        while i + run < n and run < 255 and values[i + run] == values[i]:
            run += 1
        if run >= 3:
            out += bytes((run, values[i]))
            i += run
            continue
        # Literal stretch up to the next run of three.
        j = i
        while j < n and j - i < 255:
            if j + 2 < n and values[j] == values[j + 1] == values[j + 2]:
                break
            j += 1
        lit = values[i:j]
        if len(lit) < 3:
            for v in lit:
                out += bytes((1, v))
        else:
            out += bytes((0, len(lit))) + bytes(lit)
            if len(lit) % 2:
                out += b'\x00'
        i = j


def changed_spans(row, prev, gap=6):
    """Spans [start, end) of pixels to code; unchanged stretches of at least gap
    pixels between them are skipped with a delta."""
    if prev is None:
        return [(0, len(row))]
    spans = []
    x = 0
    n = len(row)
    while x < n:
        if row[x] == prev[x]:
            x += 1
            continue
        start = x
        same = 0
        while x < n:
            if row[x] == prev[x]:
                same += 1
                if same >= gap:
                    x += 1
                    break
            else:
                same = 0
            x += 1
        spans.append((start, x - same))
    return spans


def rle8(frame, prev):
    """Encodes frame (rows top to bottom) as a delta against prev, or whole if None."""
    out = bytearray()
    cx, cy = 0, 0           # decoder's cursor: column, line counted from the bottom
    for y in range(HEIGHT):
        row = frame[HEIGHT - 1 - y]
        old = prev[HEIGHT - 1 - y] if prev is not None else None
        for start, end in changed_spans(row, old):
            # Move the cursor to (start, y): end of line first, then deltas.
            if cy < y and start < cx:
                out += b'\x00\x00'
                cx, cy = 0, cy + 1
            while (cx, cy) != (start, y):
                dx = min(start - cx, 255)
                dy = min(y - cy, 255)
                out += bytes((0, 2, dx, dy))
                cx, cy = cx + dx, cy + dy
            encode_span(out, row[start:end])
            cx = end
        if prev is None and y < HEIGHT - 1:
            out += b'\x00\x00'
            cx, cy = 0, cy + 1
    out += b'\x00\x01'
    return bytes(out)


def unrle8(data, prev):
    """Reference decoder, used to check the encoder before anything is written."""
    px = [r[:] for r in prev] if prev is not None else [[0] * WIDTH for _ in range(HEIGHT)]
    x = y = i = 0
    while True:
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            for _ in range(count):
                px[HEIGHT - 1 - y][x] = value
                x += 1
        elif value == 0:
            x, y = 0, y + 1
        elif value == 1:
            return px
        elif value == 2:
            x, y = x + data[i], y + data[i + 1]
            i += 2
        else:
            for k in range(value):
                px[HEIGHT - 1 - y][x] = data[i + k]
                x += 1
            i += value + (value & 1)


# --- RIFF AVI ---------------------------------------------------------------------------

def chunk(fourcc, payload):
    data = fourcc + struct.pack('<I', len(payload)) + payload
    return data + (b'\x00' if len(payload) % 2 else b'')


def riff_list(kind, fourcc, children):
    return chunk(kind, fourcc + b''.join(children)) if kind == b'LIST' else \
        kind + struct.pack('<I', 4 + len(b''.join(children))) + fourcc + b''.join(children)


def avi(frame_chunks, compressed):
    ckid = b'00dc' if compressed else b'00db'
    largest = max(len(c) for c in frame_chunks)
    avih = struct.pack('<IIIIIIIIII4I',
                       MICROSECONDS_PER_FRAME,
                       largest * 6,           # max bytes per second
                       0,                     # padding granularity
                       0x10,                  # AVIF_HASINDEX
                       len(frame_chunks), 0, 1, largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh',
                       b'vids', b'mrle' if compressed else b'DIB ',
                       0, 0, 0, 0,
                       1, 6,                  # scale, rate: 6 frames per second
                       0, len(frame_chunks), largest, 0xFFFFFFFF, 0,
                       0, 0, WIDTH, HEIGHT)
    strf = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8,
                       1 if compressed else 0,          # BI_RLE8 or BI_RGB
                       WIDTH * HEIGHT, 0, 0, len(PALETTE), 0)
    strf += b''.join(bytes((b, g, r, 0)) for _, (r, g, b) in PALETTE)
    hdrl = riff_list(b'LIST', b'hdrl', [
        chunk(b'avih', avih),
        riff_list(b'LIST', b'strl', [chunk(b'strh', strh), chunk(b'strf', strf)]),
    ])
    movi_children = [chunk(ckid, c) for c in frame_chunks]
    index = bytearray()
    offset = 4                                  # counted from the 'movi' type
    for n, c in enumerate(frame_chunks):
        keyframe = compressed is False or n == 0
        index += ckid + struct.pack('<III', 0x10 if keyframe else 0, offset, len(c))
        offset += 8 + len(c) + (len(c) % 2)
    return riff_list(b'RIFF', b'AVI ', [
        hdrl,
        riff_list(b'LIST', b'movi', movi_children),
        chunk(b'idx1', bytes(index)),
    ])


def raw8(frame):
    # Bottom-up lines, each padded to four bytes (80 needs no padding).
    stride = (WIDTH + 3) & ~3
    return b''.join(bytes(frame[HEIGHT - 1 - y]) + b'\x00' * (stride - WIDTH)
                    for y in range(HEIGHT))


def main():
    show = '--show' in sys.argv[1:]
    frames = [draw_frame(n) for n in range(FRAMES)]
    assert frames[0][0][0] == INDEX['.'], 'the top-left pixel must be the background'
    encoded = []
    prev = None
    for n, f in enumerate(frames):
        data = rle8(f, prev)
        assert unrle8(data, prev) == f, 'frame %d does not survive its encoding' % n
        encoded.append(data)
        prev = f
        if show:
            print('frame %d (%d bytes)' % (n, len(data)))
            for row in f:
                print(''.join(PALETTE[v][0] for v in row))
    for path, data in ((CLIP, avi(encoded, True)),
                       (RAW, avi([raw8(f) for f in frames], False))):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as out:
            out.write(data)
        print('%s: %d bytes' % (os.path.relpath(path, ROOT), len(data)))


if __name__ == '__main__':
    main()
