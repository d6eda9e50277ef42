#!/usr/bin/env python3
"""Draws the 16 x 16 Horavox icon (an alarm clock face on a teal tile) and writes
resources/horavox.png and resources/horavox.ico. Run it again only to change the design."""
import math
import pathlib
import struct
import zlib

SIZE, SS = 16, 8  # pixels, supersampling per axis
TILE = (0x12, 0x6E, 0x82)
FACE = (0xFA, 0xF7, 0xEE)
RIM = (0xF2, 0xB1, 0x34)
HAND = (0x20, 0x20, 0x28)


def colour_at(x, y):
    cx, cy = 8.0, 8.6
    d = math.hypot(x - cx, y - cy)
    # two bells on top of the clock
    for bx in (3.6, 12.4):
        if math.hypot(x - bx, y - 2.9) < 2.2 and y < 3.6:
            return RIM
    if d < 5.0:
        # hands: minute towards 12, hour towards 3
        def near(angle_deg, length, width):
            a = math.radians(angle_deg)
            ux, uy = math.sin(a), -math.cos(a)
            t = (x - cx) * ux + (y - cy) * uy
            perp = abs((x - cx) * uy - (y - cy) * ux)
            return -0.4 <= t <= length and perp <= width
        if near(0, 3.9, 0.55) or near(90, 3.0, 0.7) or d < 0.9:
            return HAND
        return FACE
    if d < 6.4:
        return RIM
    return TILE


def render():
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter: none
        for px in range(SIZE):
            acc = [0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = colour_at(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
                    for i in range(3):
                        acc[i] += c[i]
            row += bytes(round(a / (SS * SS)) for a in acc) + b"\xff"  # opaque
        rows.append(bytes(row))
    return b"".join(rows)


def png(raw):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    ihdr = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(png_bytes):
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(png_bytes), 6 + 16)
    return header + entry + png_bytes


def main():
    out = pathlib.Path(__file__).resolve().parent.parent / "resources"
    data = png(render())
    (out / "horavox.png").write_bytes(data)
    (out / "horavox.ico").write_bytes(ico(data))


if __name__ == "__main__":
    main()
