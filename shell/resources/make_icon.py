#!/usr/bin/python3
"""Draws rivelo's application icon and writes app_icon.ico beside this script.

The icon holds one 256 x 256, 32-bit image stored as PNG: a blue rounded
square with a white device sending out three echo waves, and three amber
dots for the hosts that answered. Shapes are drawn as signed distances, so
their edges are anti-aliased without a graphics library.

    /usr/bin/python3 shell/resources/make_icon.py
"""

import math
import os
import struct
import zlib

SIZE = 256
CENTRE = (128.0, 168.0)
WAVES = (46.0, 80.0, 114.0)
WAVE_WIDTH = 15.0
WAVE_SPREAD = math.radians(50.0)  # each side of straight up
HOSTS = ((-0.62, 114.0), (0.18, 80.0), (0.55, 114.0))  # (angle from up, radius)

TOP = (21, 101, 192)
BOTTOM = (0, 172, 193)
WHITE = (255, 255, 255)
AMBER = (255, 202, 40)


def rounded_square(x, y, margin=8.0, radius=56.0):
    half = (SIZE - 2 * margin) / 2.0
    qx = abs(x - SIZE / 2.0) - (half - radius)
    qy = abs(y - SIZE / 2.0) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def arc(x, y, r):
    dx, dy = x - CENTRE[0], CENTRE[1] - y
    angle = math.atan2(dx, dy)  # 0 is straight up
    if abs(angle) <= WAVE_SPREAD:
        return abs(math.hypot(dx, dy) - r) - WAVE_WIDTH / 2.0
    end = math.copysign(WAVE_SPREAD, angle)
    ex = CENTRE[0] + r * math.sin(end)
    ey = CENTRE[1] - r * math.cos(end)
    return math.hypot(x - ex, y - ey) - WAVE_WIDTH / 2.0


def coverage(distance):
    return min(max(0.5 - distance, 0.0), 1.0)


def blend(under, over, alpha):
    return tuple(u + (o - u) * alpha for u, o in zip(under, over))


def pixel(x, y):
    px, py = x + 0.5, y + 0.5
    base = coverage(rounded_square(px, py))
    if base == 0.0:
        return (0, 0, 0, 0)
    t = py / SIZE
    colour = blend(TOP, BOTTOM, t)
    # A soft glow behind the device lifts it off the gradient.
    glow = max(0.0, 1.0 - math.hypot(px - CENTRE[0], py - CENTRE[1]) / 150.0) * 0.18
    colour = blend(colour, WHITE, glow)
    ink = max(coverage(arc(px, py, r)) for r in WAVES)
    ink = max(ink, coverage(circle(px, py, CENTRE[0], CENTRE[1], 20.0)))
    colour = blend(colour, WHITE, ink)
    for angle, r in HOSTS:
        hx = CENTRE[0] + r * math.sin(angle)
        hy = CENTRE[1] - r * math.cos(angle)
        ring = coverage(circle(px, py, hx, hy, 14.0))
        colour = blend(colour, WHITE, ring)
        colour = blend(colour, AMBER, coverage(circle(px, py, hx, hy, 10.0)))
    return tuple(int(round(c)) for c in colour) + (int(round(base * 255)),)


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png():
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)  # no filter
        for x in range(SIZE):
            rows.extend(pixel(x, y))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))


def ico(image):
    directory = struct.pack("<HHH", 0, 1, 1)
    # Width and height 0 mean 256; one plane, 32 bits per pixel.
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "app_icon.ico"), "wb") as out:
        out.write(ico(png()))


if __name__ == "__main__":
    main()
