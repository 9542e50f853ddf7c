#!/usr/bin/env python3
"""Draws the application icon (a down arrow over a wave on a teal tile) at
every size Windows asks for and writes one multi-size .ico: 32-bit DIBs up to
64 px, a PNG for 256 px. Standard library only.

usage: make_icon.py <out.ico>
"""
import math
import struct
import sys
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
TOP = (0x14, 0xB8, 0xA6)
BOTTOM = (0x0F, 0x5E, 0x70)
WHITE = (0xFF, 0xFF, 0xFF)


def in_round_rect(x, y, inset, radius):
    lo, hi = inset, 1 - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_arrow(x, y):
    if 0.42 <= x <= 0.58 and 0.16 <= y <= 0.50:
        return True
    # head: triangle (0.25,0.46) (0.75,0.46) (0.5,0.72)
    if 0.46 <= y <= 0.72:
        half = 0.25 * (0.72 - y) / 0.26
        return abs(x - 0.5) <= half
    return False


def in_wave(x, y):
    if not 0.2 <= x <= 0.8:
        return False
    centre = 0.83 + 0.03 * math.sin(2 * math.pi * (x - 0.2) / 0.3)
    return abs(y - centre) <= 0.032


def render(size):
    """Rows of (r, g, b, a), top row first, 4x4 supersampled."""
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if not in_round_rect(x, y, 0.04, 0.2):
                        continue
                    if in_arrow(x, y) or in_wave(x, y):
                        c = WHITE
                    else:
                        c = tuple(TOP[i] + (BOTTOM[i] - TOP[i]) * y for i in range(3))
                    for i in range(3):
                        acc[i] += c[i]
                    acc[3] += 1
            cover = acc[3]
            if cover == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(acc[i] / cover)) for i in range(3)) +
                           (int(round(255 * cover / (n * n))),))
        rows.append(row)
    return rows


def dib(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # all visible: alpha decides
    return header + pixels + mask


def png(rows):
    size = len(rows)
    raw = b''.join(b'\0' + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size >= 256 else dib(rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
