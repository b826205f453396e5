#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the BMP and PNG fixtures whose layouts need exact control (see FIXTURES.txt).
# Every picture is 16 x 8 pixels: the left half one colour, the right half another.
import struct
import zlib

W, H = 16, 8
PPM = 2835  # 72 dpi


def bmp(name, bits, palette, rows_bottom_up, top_down=False):
    stride = (W * bits + 31) // 32 * 4
    pixels = b''.join(r.ljust(stride, b'\0') for r in rows_bottom_up)
    pal = b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack('<IiiHHIIiiII', 40, W, -H if top_down else H, 1, bits, 0, len(pixels),
                       PPM, PPM, len(palette), 0)
    head = b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset)
    open(name, 'wb').write(head + info + pal + pixels)


def png(name, depth, ctype, raw_rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack(
            '>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    data = b''.join(b'\0' + r for r in raw_rows)
    out = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, depth, ctype, 0, 0, 0))
    out += chunk(b'pHYs', struct.pack('>IIB', PPM, PPM, 1))
    out += chunk(b'IDAT', zlib.compress(data)) + chunk(b'IEND', b'')
    open(name, 'wb').write(out)


palette16 = [(i * 10, i * 5, i * 3) for i in range(16)]
palette16[3] = (255, 0, 0)
palette16[9] = (0, 0, 255)
row4 = bytes([0x33] * 4 + [0x99] * 4)
bmp('bmp-4bit-palette.bmp', 4, palette16, [row4] * H)

palette20 = [(i, i, i) for i in range(20)]
palette20[17] = (255, 0, 0)
palette20[5] = (0, 0, 255)
bmp('bmp-8bit-palette.bmp', 8, palette20, [bytes([17] * 8 + [5] * 8)] * H)

# Top-down: the first stored row is the top one. The top half is red, the bottom half blue, so
# rows read in the wrong order show at once.
red24 = bytes([0, 0, 255] * W)  # B, G, R
blue24 = bytes([255, 0, 0] * W)
bmp('bmp-24bit-top-down.bmp', 24, [], [red24] * (H // 2) + [blue24] * (H // 2), top_down=True)

png('png-4bit-gray.png', 4, 0, [bytes([0x00] * 4 + [0xFF] * 4)] * H)
