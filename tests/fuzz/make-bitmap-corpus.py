#!/usr/bin/env python3
"""Writes small bitmap files of every layout the reader knows into a folder,
as the seed corpus of the bitmap fuzz target. usage: make-bitmap-corpus.py DIR"""
import os
import struct
import sys


def bitmap(bits, width, height, pixels, palette=(), compression=0, masks=(), header=40, top_down=False):
    row = (width * bits + 31) // 32 * 4
    data = b""
    for i in range(height):
        y = i if top_down else height - 1 - i
        line = bytearray(row)
        for x in range(width):
            v = pixels[(y * width + x) % len(pixels)]
            if bits < 8:
                per = 8 // bits
                line[x // per] |= (v << (8 - bits * (x % per + 1))) & 0xFF
            else:
                line[x * bits // 8:(x + 1) * bits // 8] = v.to_bytes(bits // 8, "little")
        data += bytes(line)
    if header == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(struct.pack("<I", c)[:3] for c in palette)
    else:
        info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                           compression, len(data), 0, 0, len(palette), 0)
        extra = b"".join(struct.pack("<I", m) for m in masks)
        info = (info + extra).ljust(header, b"\0") if header > 40 else info + extra
        table = b"".join(struct.pack("<I", c) for c in palette)
    offset = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + table + data


seeds = {
    "1bit.bmp": bitmap(1, 9, 3, [0, 1, 1], [0x000000, 0xFFFFFF]),
    "4bit.bmp": bitmap(4, 5, 4, [0, 3, 2, 1, 3], [0xC0C0C0, 0xFF0000, 0x00FF00, 0xC0C0C0]),
    "8bit-top-down.bmp": bitmap(8, 6, 3, [0, 1, 2, 0], [0xC0C0C0, 0x000080, 0xFFFFFF], top_down=True),
    "8bit-core.bmp": bitmap(8, 4, 2, [0, 1], [0xC0C0C0, 0x000080] + [0] * 254, header=12),
    "16bit.bmp": bitmap(16, 4, 3, [0x6318, 0x7C00, 0x6318]),
    "16bit-565.bmp": bitmap(16, 3, 3, [0xC618, 0xF800], compression=3, masks=(0xF800, 0x07E0, 0x001F)),
    "24bit.bmp": bitmap(24, 7, 5, [0xC0C0C0, 0x123456, 0xC0C0C0, 0xC0C0C0]),
    "32bit.bmp": bitmap(32, 5, 2, [0xC0C0C0, 0xFF00FF00]),
    "32bit-fields-v5.bmp": bitmap(32, 3, 3, [0xC0C0C0, 0x0000FF], compression=3, masks=(0xFF, 0xFF00, 0xFF0000),
                                  header=124, top_down=True),
}
os.makedirs(sys.argv[1], exist_ok=True)
for name, content in seeds.items():
    with open(os.path.join(sys.argv[1], name), "wb") as f:
        f.write(content)
