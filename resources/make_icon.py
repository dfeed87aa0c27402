#!/usr/bin/env python3
"""Draw the Tarnelis launcher icon and write it as a multi-image .ico.

Usage: python3 resources/make_icon.py [output.ico]

Standard library only, so the icon can be rebuilt anywhere without
extra packages. Output is byte-for-byte deterministic.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)

# Diagonal badge gradient: teal at the top-left, indigo at the bottom-right.
TEAL = (18, 168, 170)
INDIGO = (52, 44, 150)
WHITE = (255, 255, 255)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def sd_round_box(px, py, cx, cy, hw, hh, r):
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    ox, oy = max(qx, 0.0), max(qy, 0.0)
    return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_triangle(px, py, a, b, c):
    # Exact signed distance to a triangle (negative inside).
    pts = (a, b, c)
    d = float("inf")
    s = 1.0
    inside = 0
    for i in range(3):
        x0, y0 = pts[i]
        x1, y1 = pts[(i + 1) % 3]
        ex, ey = x1 - x0, y1 - y0
        wx, wy = px - x0, py - y0
        t = clamp01((wx * ex + wy * ey) / (ex * ex + ey * ey))
        dx, dy = wx - ex * t, wy - ey * t
        d = min(d, dx * dx + dy * dy)
        # Winding-independent inside test via consistent cross sign.
        inside += 1 if ex * wy - ey * wx > 0 else -1
    if abs(inside) == 3:
        s = -1.0
    return s * math.sqrt(d)


# Geometry in unit coordinates (0..1, y down).
BADGE_HALF = 0.455
BADGE_RADIUS = 0.2
CLOUD_PARTS = (
    ("c", 0.52, 0.43, 0.215),
    ("c", 0.30, 0.56, 0.145),
    ("c", 0.72, 0.55, 0.155),
    ("b", 0.51, 0.625, 0.215, 0.09, 0.09),
)
CLOUD_CENTRE = (0.51, 0.52)
PLAY = ((0.435, 0.375), (0.435, 0.655), (0.66, 0.515))
PLAY_ROUND = 0.025


def style(size):
    """Per-size tweaks: tiny icons need bolder shapes and no shadow."""
    if size <= 24:
        st = {"half": 0.485, "radius": 0.19, "cloud": 1.1, "play": 1.12,
              "shadow": False, "dark": 0.4, "ss": 4}
    elif size <= 64:
        st = {"half": 0.47, "radius": 0.2, "cloud": 1.04, "play": 1.04,
              "shadow": True, "dark": 0.25, "ss": 4}
    else:
        # One sample per pixel is enough here: coverage is analytic.
        st = {"half": BADGE_HALF, "radius": BADGE_RADIUS, "cloud": 1.0,
              "play": 1.0, "shadow": True, "dark": 0.15, "ss": 1}
    st["cloud_dy"] = st["play_dx"] = 0.0
    if size <= 48:
        # Put the flat cloud base and the play triangle's straight left
        # edge on pixel boundaries so small sizes stay sharp, not smeared.
        base = CLOUD_CENTRE[1] + (0.715 - CLOUD_CENTRE[1]) * st["cloud"]
        st["cloud_dy"] = (round(base * size) - base * size) / size
        gx = sum(p[0] for p in PLAY) / 3.0
        left = gx - (gx - PLAY[0][0] + PLAY_ROUND) * st["play"]
        st["play_dx"] = (round(left * size) - left * size) / size
    return st


def sd_cloud(x, y, k, dy=0.0):
    # Scale about the cloud centre; distances scale back by k.
    cx, cy = CLOUD_CENTRE
    y -= dy
    x = cx + (x - cx) / k
    y = cy + (y - cy) / k
    d = float("inf")
    for part in CLOUD_PARTS:
        if part[0] == "c":
            d = min(d, sd_circle(x, y, part[1], part[2], part[3]))
        else:
            d = min(d, sd_round_box(x, y, *part[1:]))
    return d * k


def sd_play(x, y, k, dx=0.0):
    # Scale about the centroid so the triangle grows in place.
    gx = sum(p[0] for p in PLAY) / 3.0
    gy = sum(p[1] for p in PLAY) / 3.0
    x -= dx
    x = gx + (x - gx) / k
    y = gy + (y - gy) / k
    return (sd_triangle(x, y, *PLAY) - PLAY_ROUND) * k


def shade(x, y, px, st):
    """Return straight-alpha RGBA floats for one sample point.

    px is the width of the antialiasing ramp in unit coordinates.
    """
    h = st["half"]
    a_badge = clamp01(0.5 - sd_round_box(x, y, 0.5, 0.5, h, h,
                                         st["radius"]) / px)
    if a_badge <= 0.0:
        return 0.0, 0.0, 0.0, 0.0
    t = clamp01((x + y - 0.1) / 1.8)
    col = [TEAL[i] + (INDIGO[i] - TEAL[i]) * t for i in range(3)]
    # Soft light along the top so the badge does not read as flat.
    hl = 0.12 * clamp01(1.0 - y / 0.45)
    col = [c + (255 - c) * hl for c in col]
    if st["shadow"]:
        # Faint drop shadow separates the white cloud from the light teal.
        ds = sd_cloud(x, y - 0.03, st["cloud"], st["cloud_dy"])
        sh = clamp01(0.5 - ds / (px + 0.012))
        col = [c * (1.0 - 0.25 * sh) for c in col]
    cloud = clamp01(0.5 - sd_cloud(x, y, st["cloud"], st["cloud_dy"]) / px)
    tri = clamp01(0.5 - sd_play(x, y, st["play"], st["play_dx"]) / px)
    # Darken the cut-out triangle so it holds contrast against the cloud.
    col = [c * (1.0 - st["dark"] * tri) for c in col]
    w = cloud * (1.0 - tri)
    col = [c + (WHITE[i] - c) * w for i, c in enumerate(col)]
    return col[0], col[1], col[2], a_badge


def render(size):
    """Return rows of (r, g, b, a) byte tuples, top row first."""
    st = style(size)
    ss = st["ss"]
    px = 1.0 / size
    sub = 1.0 / ss
    # Edge ramp one sub-sample wide: together with the box filter this
    # gives about one pixel of antialiasing, no more, so edges stay crisp.
    ramp = px * sub
    n = ss * ss
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(ss):
                y = (j + (sj + 0.5) * sub) * px
                for si in range(ss):
                    x = (i + (si + 0.5) * sub) * px
                    r, g, b, a = shade(x, y, ramp, st)
                    # Accumulate premultiplied so edges do not darken.
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / n
            alpha = int(round(a * 255))
            if alpha == 0:
                row.append((0, 0, 0, 0))
                continue
            rgb = [int(round(min(255.0, acc[k] / acc[3]))) for k in range(3)]
            row.append((rgb[0], rgb[1], rgb[2], alpha))
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type: none
        for p in row:
            raw.extend(p)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def dib_bytes(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        for r, g, b, a in row:
            xor.extend((b, g, r, a))
    # AND mask: 1 bit per pixel, rows padded to 32 bits; set = transparent.
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for i, p in enumerate(row):
            if p[3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask.extend(line)
    # Height is doubled because the image and the mask are stacked.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(images):
    """images: list of (size, payload bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 means 256 in the directory
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32,
                               len(data), offset)
        offset += len(data)
    return out + entries + b"".join(d for _, d in images)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "launcher.ico")
    images = []
    for size in SIZES:
        rows = render(size)
        # Large images as PNG keep the file small; small ones as DIB for
        # older tooling that cannot read PNG entries.
        data = png_bytes(rows) if size >= 256 else dib_bytes(rows)
        images.append((size, data))
    blob = ico_bytes(images)
    with open(out, "wb") as f:
        f.write(blob)
    print("wrote %s (%d bytes)" % (out, len(blob)))


if __name__ == "__main__":
    main(sys.argv)
