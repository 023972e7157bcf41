#!/usr/bin/env python3
"""Turns a 24-bit BMP (as the Windows window's screenshot tool writes it)
into a PNG, with nothing but the standard library.
Usage: bmp-to-png.py IN.bmp OUT.png"""
import struct, sys, zlib
def bmp2png(src, dst):
    d = open(src, 'rb').read()
    off = struct.unpack_from('<I', d, 10)[0]
    w, h = struct.unpack_from('<ii', d, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        sy = h - 1 - y if h > 0 else y
        r = d[off + sy * stride: off + sy * stride + w * 3]
        px = bytearray(len(r))
        px[0::3], px[1::3], px[2::3] = r[2::3], r[1::3], r[0::3]
        rows.append(b'\0' + bytes(px))
    def chunk(t, b):
        return struct.pack('>I', len(b)) + t + b + struct.pack('>I', zlib.crc32(t + b) & 0xffffffff)
    open(dst, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, abs(h), 8, 2, 0, 0, 0))
                          + chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
bmp2png(sys.argv[1], sys.argv[2])
