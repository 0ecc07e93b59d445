#!/usr/bin/env python3
"""Draw the updater's background picture and window icon.

Writes resources/update_bg.png (640 x 455 RGBA) and resources/icon.ico (one 64 x 64, 32-bit
image). With --check, draws both in memory and compares them byte for byte with the files in
resources/, so the committed pictures cannot drift from this script.

Everything is drawn with signed distance functions: a pixel's coverage of a shape is its
distance to the edge, clamped to one pixel, which anti-aliases without supersampling. Only
+, -, *, / and sqrt are used on pixel values, because those are correctly rounded everywhere;
sin, exp and pow may differ in the last bit between C libraries and would change the bytes.
"""

import argparse
import math
import os
import struct
import sys
import zlib

BG_WIDTH = 640
BG_HEIGHT = 455
ICON_SIZE = 64

RESOURCES_DIR = os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "resources"))
BG_PATH = os.path.join(RESOURCES_DIR, "update_bg.png")
ICON_PATH = os.path.join(RESOURCES_DIR, "icon.ico")

WHITE = (255.0, 255.0, 255.0)
MARK_BLUE = (24.0, 104.0, 214.0)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def smoothstep(edge0, edge1, v):
    t = clamp01((v - edge0) / (edge1 - edge0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


# Signed distance functions: negative inside, positive outside, in pixels.


def circle(cx, cy, r):
    def sdf(px, py):
        dx = px - cx
        dy = py - cy
        return math.sqrt(dx * dx + dy * dy) - r

    return sdf


def rounded_box(cx, cy, half_w, half_h, radius):
    def sdf(px, py):
        qx = abs(px - cx) - half_w + radius
        qy = abs(py - cy) - half_h + radius
        ox = qx if qx > 0.0 else 0.0
        oy = qy if qy > 0.0 else 0.0
        inside = qx if qx > qy else qy
        return math.sqrt(ox * ox + oy * oy) + (inside if inside < 0.0 else 0.0) - radius

    return sdf


def segment_distance(px, py, ax, ay, bx, by):
    pax = px - ax
    pay = py - ay
    bax = bx - ax
    bay = by - ay
    h = clamp01((pax * bax + pay * bay) / (bax * bax + bay * bay))
    dx = pax - bax * h
    dy = pay - bay * h
    return math.sqrt(dx * dx + dy * dy)


def stroke(points, half_width):
    """A polyline drawn with a round pen."""
    segments = list(zip(points, points[1:]))

    def sdf(px, py):
        d = min(segment_distance(px, py, a[0], a[1], b[0], b[1]) for a, b in segments)
        return d - half_width

    return sdf


def convex_polygon(points, radius=0.0):
    """Convex polygon in clockwise order (y down), optionally with rounded corners."""
    edges = []
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        ex = bx - ax
        ey = by - ay
        length = math.sqrt(ex * ex + ey * ey)
        edges.append((ax, ay, bx, by, ey / length, -ex / length))

    def sdf(px, py):
        outside = max((px - ax) * nx + (py - ay) * ny for ax, ay, _, _, nx, ny in edges)
        if outside <= 0.0:
            return outside - radius
        d = min(segment_distance(px, py, ax, ay, bx, by) for ax, ay, bx, by, _, _ in edges)
        return d - radius

    return sdf


def union(*shapes):
    def sdf(px, py):
        return min(shape(px, py) for shape in shapes)

    return sdf


def subtract(shape, cut):
    def sdf(px, py):
        a = shape(px, py)
        b = -cut(px, py)
        return a if a > b else b

    return sdf


def translate(shape, dx, dy):
    def sdf(px, py):
        return shape(px - dx, py - dy)

    return sdf


class Canvas:
    """Straight-alpha RGBA picture with colour values in 0..255 as floats."""

    def __init__(self, width, height, colour=(0.0, 0.0, 0.0), alpha=0.0):
        self.width = width
        self.height = height
        count = width * height
        self.r = [colour[0]] * count
        self.g = [colour[1]] * count
        self.b = [colour[2]] * count
        self.a = [alpha] * count

    def blend(self, i, colour, alpha):
        da = self.a[i]
        out = alpha + da * (1.0 - alpha)
        if out <= 0.0:
            return
        keep = da * (1.0 - alpha) / out
        take = alpha / out
        self.r[i] = colour[0] * take + self.r[i] * keep
        self.g[i] = colour[1] * take + self.g[i] * keep
        self.b[i] = colour[2] * take + self.b[i] * keep
        self.a[i] = out

    def region(self, box):
        x0, y0, x1, y1 = box
        x0 = max(0, int(x0))
        y0 = max(0, int(y0))
        x1 = min(self.width, int(x1) + 1)
        y1 = min(self.height, int(y1) + 1)
        for y in range(y0, y1):
            row = y * self.width
            for x in range(x0, x1):
                yield row + x, x + 0.5, y + 0.5

    def fill(self, shape, paint, box, opacity=1.0):
        """Fills a shape; paint is a colour or a function of the pixel centre giving one."""
        for i, px, py in self.region(box):
            coverage = clamp01(0.5 - shape(px, py))
            if coverage > 0.0:
                colour = paint(px, py) if callable(paint) else paint
                self.blend(i, colour, coverage * opacity)

    def soft(self, shape, colour, box, inner, outer, opacity):
        """A shape whose edge fades from distance inner to distance outer."""
        for i, px, py in self.region(box):
            d = shape(px, py)
            if d < outer:
                self.blend(i, colour, opacity * (1.0 - smoothstep(inner, outer, d)))

    def glow(self, cx, cy, radius, colour, opacity):
        """A radial light whose strength falls to zero at the radius, smooth at both ends."""
        box = (cx - radius, cy - radius, cx + radius, cy + radius)
        r2 = radius * radius
        for i, px, py in self.region(box):
            dx = px - cx
            dy = py - cy
            t = 1.0 - (dx * dx + dy * dy) / r2
            if t > 0.0:
                self.blend(i, colour, opacity * t * t)

    def rgba_rows(self):
        rows = []
        for y in range(self.height):
            row = bytearray(self.width * 4)
            base = y * self.width
            for x in range(self.width):
                i = base + x
                row[x * 4] = quantise(self.r[i])
                row[x * 4 + 1] = quantise(self.g[i])
                row[x * 4 + 2] = quantise(self.b[i])
                row[x * 4 + 3] = quantise(self.a[i] * 255.0)
            rows.append(bytes(row))
        return rows


def quantise(v):
    n = int(v + 0.5)
    return 0 if n < 0 else 255 if n > 255 else n


# The brand mark: a rounded badge with two chevrons pointing up, "get the newer version".


def mark_badge(cx, cy, size):
    half = size / 2.0
    return rounded_box(cx, cy, half, half, size * 0.25)


def mark_chevrons(cx, cy, size):
    half_width = size * 0.065
    wing = size * 0.23
    rise = size * 0.16
    gap = size * 0.26
    chevrons = []
    for offset in (-gap / 2.0, gap / 2.0):
        tip = cy + offset - rise / 2.0
        base = cy + offset + rise / 2.0
        chevrons.append(stroke([(cx - wing, base), (cx, tip), (cx + wing, base)], half_width))
    return union(*chevrons)


def mark_box(cx, cy, size):
    half = size / 2.0 + 2.0
    return (cx - half, cy - half, cx + half, cy + half)


# The background picture.


def wave(x, base, amplitude, shift):
    """A gentle S curve across the picture; returns the edge height and its slope."""
    u = 2.0 * (x / BG_WIDTH) - 1.0 + shift
    height = base + amplitude * (u * u * u - u)
    slope = amplitude * (3.0 * u * u - 1.0) * (2.0 / BG_WIDTH)
    return height, slope


def fill_below_wave(canvas, base, amplitude, shift, paint, opacity):
    top = int(base - amplitude) - 2
    for i, px, py in canvas.region((0, top, BG_WIDTH, BG_HEIGHT)):
        edge, slope = wave(px, base, amplitude, shift)
        coverage = clamp01((py - edge) / math.sqrt(1.0 + slope * slope) + 0.5)
        if coverage > 0.0:
            colour = paint(px, py) if callable(paint) else paint
            canvas.blend(i, colour, coverage * opacity)


def draw_sky(canvas):
    top = (44.0, 132.0, 232.0)
    bottom = (18.0, 78.0, 178.0)
    for y in range(BG_HEIGHT):
        t = clamp01(y / 270.0)
        row = y * BG_WIDTH
        for x in range(BG_WIDTH):
            # A slight left-to-right fall keeps the blue from looking flat.
            colour = mix(top, bottom, t * 0.85 + (x / BG_WIDTH) * 0.15)
            i = row + x
            canvas.r[i], canvas.g[i], canvas.b[i] = colour
            canvas.a[i] = 1.0


def draw_lights(canvas):
    canvas.glow(70.0, 10.0, 260.0, WHITE, 0.16)
    canvas.glow(610.0, 250.0, 240.0, (120.0, 200.0, 255.0), 0.14)
    canvas.glow(320.0, 150.0, 190.0, (170.0, 220.0, 255.0), 0.30)

    for cx, cy, r, opacity in ((-40.0, 230.0, 150.0, 0.05), (690.0, 20.0, 170.0, 0.06)):
        canvas.fill(circle(cx, cy, r), WHITE, (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1),
                    opacity)

    for cx, cy, r in ((120.0, 110.0, 46.0), (520.0, 96.0, 34.0)):
        ring = subtract(circle(cx, cy, r), circle(cx, cy, r - 1.6))
        canvas.fill(ring, WHITE, (cx - r - 2, cy - r - 2, cx + r + 2, cy + r + 2), 0.22)

    sparkles = ((84.0, 64.0, 2.2, 0.55), (168.0, 178.0, 1.6, 0.45), (212.0, 54.0, 1.4, 0.5),
                (446.0, 60.0, 1.8, 0.5), (470.0, 196.0, 2.4, 0.4), (566.0, 140.0, 1.5, 0.55),
                (590.0, 44.0, 2.0, 0.45), (40.0, 160.0, 1.6, 0.4), (224.0, 232.0, 1.4, 0.35),
                (396.0, 230.0, 1.7, 0.35))
    for cx, cy, r, opacity in sparkles:
        canvas.fill(circle(cx, cy, r), WHITE, (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1),
                    opacity)


def draw_brand_mark(canvas):
    cx, cy, size = 320.0, 38.0, 38.0
    box = mark_box(cx, cy, size)
    canvas.soft(translate(mark_badge(cx, cy, size), 0.0, 2.0), (8.0, 40.0, 110.0),
                (box[0] - 6, box[1], box[2] + 6, box[3] + 8), -2.0, 6.0, 0.25)
    canvas.fill(mark_badge(cx, cy, size), WHITE, box)
    canvas.fill(mark_chevrons(cx, cy, size), MARK_BLUE, box)


def cloud_shape():
    return union(circle(268.0, 148.0, 34.0), circle(316.0, 126.0, 48.0),
                 circle(364.0, 146.0, 32.0), rounded_box(317.0, 160.0, 84.0, 26.0, 26.0))


def draw_illustration(canvas):
    cloud = cloud_shape()
    cloud_box = (228.0, 74.0, 406.0, 192.0)

    canvas.soft(translate(cloud, 0.0, 8.0), (6.0, 34.0, 96.0),
                (220.0, 76.0, 414.0, 216.0), -6.0, 14.0, 0.28)

    def cloud_paint(px, py):
        return mix(WHITE, (214.0, 232.0, 252.0), clamp01((py - 86.0) / 100.0))

    canvas.fill(cloud, cloud_paint, cloud_box)

    arrow = union(rounded_box(317.0, 138.0, 8.0, 22.0, 4.0),
                  convex_polygon([(296.0, 152.0), (338.0, 152.0), (317.0, 174.0)], 3.0))

    def arrow_paint(px, py):
        return mix((58.0, 148.0, 245.0), (20.0, 96.0, 210.0), clamp01((py - 114.0) / 62.0))

    canvas.fill(arrow, arrow_paint, (290.0, 110.0, 344.0, 180.0))

    for cy, r, opacity in ((203.0, 3.0, 0.85), (213.0, 2.4, 0.6)):
        canvas.fill(circle(317.0, cy, r), WHITE, (310.0, cy - 5, 324.0, cy + 5), opacity)

    tray = stroke([(262.0, 210.0), (272.0, 230.0), (362.0, 230.0), (372.0, 210.0)], 3.5)
    canvas.fill(tray, WHITE, (254.0, 202.0, 380.0, 238.0), 0.92)


def draw_panel(canvas):
    fill_below_wave(canvas, 246.0, 16.0, 0.35, (200.0, 226.0, 252.0), 0.35)

    def panel_paint(px, py):
        return mix((250.0, 252.0, 255.0), (234.0, 242.0, 251.0), clamp01((py - 255.0) / 200.0))

    fill_below_wave(canvas, 259.0, 12.0, -0.2, panel_paint, 1.0)


def draw_background():
    canvas = Canvas(BG_WIDTH, BG_HEIGHT)
    draw_sky(canvas)
    draw_lights(canvas)
    draw_brand_mark(canvas)
    draw_illustration(canvas)
    draw_panel(canvas)
    return canvas


def draw_icon():
    canvas = Canvas(ICON_SIZE, ICON_SIZE)
    centre = ICON_SIZE / 2.0
    size = ICON_SIZE - 2.0

    def badge_paint(px, py):
        return mix((64.0, 154.0, 246.0), (18.0, 86.0, 196.0), clamp01(py / ICON_SIZE))

    whole = (0, 0, ICON_SIZE, ICON_SIZE)
    canvas.fill(mark_badge(centre, centre, size), badge_paint, whole)
    canvas.fill(mark_chevrons(centre, centre, size), WHITE, whole)
    return canvas


# File formats.


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def paeth_filter(row, prev):
    out = bytearray(len(row))
    for i in range(len(row)):
        a = row[i - 4] if i >= 4 else 0
        b = prev[i]
        c = prev[i - 4] if i >= 4 else 0
        p = a + b - c
        pa = abs(p - a)
        pb = abs(p - b)
        pc = abs(p - c)
        predictor = a if pa <= pb and pa <= pc else b if pb <= pc else c
        out[i] = (row[i] - predictor) & 0xFF
    return bytes(out)


def encode_png(canvas):
    # Paeth suits smooth gradients best; one fixed filter keeps the encoder short.
    raw = bytearray()
    prev = bytes(canvas.width * 4)
    for row in canvas.rgba_rows():
        raw.append(4)
        raw += paeth_filter(row, prev)
        prev = row
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def encode_ico(canvas):
    size = canvas.width
    pixels = bytearray()
    mask = bytearray()
    rows = canvas.rgba_rows()
    # A DIB stores rows bottom-up; colour of fully transparent pixels is zeroed so that
    # viewers which ignore alpha and use the mask show clean corners.
    for row in reversed(rows):
        mask_row = bytearray(size // 8)
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            if a == 0:
                pixels += b"\0\0\0\0"
                mask_row[x // 8] |= 0x80 >> (x % 8)
            else:
                pixels += bytes((b, g, r, a))
        mask += mask_row
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                       0, 0, 0, 0)
    image = info + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def render():
    return {BG_PATH: encode_png(draw_background()), ICON_PATH: encode_ico(draw_icon())}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in resources/ instead of writing them")
    args = parser.parse_args()

    outputs = render()
    if args.check:
        stale = []
        for path, data in outputs.items():
            try:
                with open(path, "rb") as f:
                    current = f.read()
            except OSError as e:
                stale.append(f"{path}: cannot read ({e.strerror})")
                continue
            if current != data:
                stale.append(f"{path}: differs from what the script draws "
                             f"({len(current)} bytes on disk, {len(data)} drawn)")
        for line in stale:
            print(line, file=sys.stderr)
        if stale:
            print("run tools/make_artwork.py and commit the result", file=sys.stderr)
            return 1
        print("artwork matches the script")
        return 0

    for path, data in outputs.items():
        with open(path, "wb") as f:
            f.write(data)
        print(f"wrote {os.path.normpath(path)} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
