#!/usr/bin/env python3
"""Draws the installer's artwork from simple shapes.

Usage: make_artwork.py OUTPUT_FOLDER

Writes into OUTPUT_FOLDER:
  wizard.bmp        the picture at the left of the wizard (24-bit, 87 x 171: the
                    58 x 105 dialog-unit picture area at 96 DPI)
  wizard_<p>.bmp    the same picture drawn for p % (125, 150, 200: 120, 144 and
                    192 DPI); the wizard shows the one nearest its DPI, unstretched
  app.ico           the application icon, 16, 32 and 48 pixels, 32-bit with alpha
  flag_<n>.ico      the flag of language index n (0 to 17): 16 x 12, 20 x 15,
                    24 x 18 and 32 x 24 pixels (100, 125, 150 and 200 %)

Shapes are drawn in the coordinates of the 100 % picture; a canvas's scale maps
them to its pixels, so every size is drawn, never resampled.

Only the Python standard library is used; the BMP and ICO files are written here.
The output depends on nothing but this file, so every run gives the same bytes.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Rasterising: shapes are "inside" tests on a point; a pixel's coverage is the
# share of its sub-samples inside the shape, which gives smooth edges.


class Canvas:
    """Premultiplied RGBA pixels, components 0..1, row 0 at the top. Shapes, colours
    and boxes are given in drawing units; `scale` pixels make one unit."""

    def __init__(self, width, height, samples=4, scale=1.0):
        self.width = width
        self.height = height
        self.samples = samples
        self.scale = scale
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def fill(self, shape, color, alpha=1.0, box=None):
        """Paints `shape` ((x, y) -> bool) with `color` (an (r, g, b) tuple of
        0..255 values or a function (x, y) -> such a tuple) over the canvas.
        `box` (x0, y0, x1, y1) limits the pixels examined."""
        n = self.samples
        k = self.scale
        offsets = [(i + 0.5) / n for i in range(n)]
        x0, y0, x1, y1 = [v * k for v in box] if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if shape((px + ox) / k, (py + oy) / k):
                            hits += 1
                if not hits:
                    continue
                a = alpha * hits / (n * n)
                c = color((px + 0.5) / k, (py + 0.5) / k) if callable(color) else color
                p = self.pixels[py * self.width + px]
                keep = 1.0 - a
                p[0] = c[0] / 255.0 * a + p[0] * keep
                p[1] = c[1] / 255.0 * a + p[1] * keep
                p[2] = c[2] / 255.0 * a + p[2] * keep
                p[3] = a + p[3] * keep

    def rgba(self, x, y):
        """Straight (not premultiplied) 0..255 components of one pixel."""
        r, g, b, a = self.pixels[y * self.width + x]
        if a <= 0.0:
            return 0, 0, 0, 0
        return (
            to_byte(r / a),
            to_byte(g / a),
            to_byte(b / a),
            to_byte(a),
        )


def to_byte(v):
    return max(0, min(255, int(round(v * 255.0))))


def everywhere(x, y):
    return True


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ring(cx, cy, r_in, r_out):
    a2, b2 = r_in * r_in, r_out * r_out
    return lambda x, y: a2 <= (x - cx) ** 2 + (y - cy) ** 2 <= b2


def polygon(points):
    """Even-odd rule inside test of a closed polygon."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        result = False
        for (xa, ya), (xb, yb) in edges:
            if (ya > y) != (yb > y):
                if x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    result = not result
        return result

    return inside


def segment(xa, ya, xb, yb, width):
    """A stroke of the given width from (xa, ya) to (xb, yb), round ends."""
    dx, dy = xb - xa, yb - ya
    length2 = dx * dx + dy * dy
    half2 = (width / 2.0) ** 2

    def inside(x, y):
        t = ((x - xa) * dx + (y - ya) * dy) / length2
        t = max(0.0, min(1.0, t))
        ex, ey = xa + t * dx - x, ya + t * dy - y
        return ex * ex + ey * ey <= half2

    return inside


def star(cx, cy, r_out, points=5, ratio=0.382, turn=-90.0):
    """A regular star polygon; the first point faces `turn` degrees (-90 = up)."""
    verts = []
    for i in range(points * 2):
        r = r_out if i % 2 == 0 else r_out * ratio
        a = math.radians(turn + i * 180.0 / points)
        verts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(verts)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def mix(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(c1[i] + (c2[i] - c1[i]) * t for i in range(3))


# ---------------------------------------------------------------------------
# The emblem: a pelorus (bearing) ring around a faceted compass star. It is
# drawn at any size so that the wizard picture and the icon match.

STAR_LIGHT = (250, 246, 232)
STAR_SHADE = (168, 196, 228)
STAR_GOLD = (232, 190, 92)
STAR_GOLD_SHADE = (186, 138, 52)
DIAGONAL_LIGHT = (128, 170, 220)
DIAGONAL_SHADE = (78, 118, 178)
RING = (176, 206, 240)


def compass_star(canvas, cx, cy, r, detail=True, waist=0.2):
    """Four long points (north in gold) and, with `detail`, four short diagonal
    points; each point is split along its axis into a lit and a shaded facet.
    `waist` is the half-width of the points at the centre, relative to `r`."""
    box = (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1)
    waist = r * waist
    if detail:
        short = r * 0.58
        for k in range(4):
            a = math.radians(45 + 90 * k)
            tip = (cx + short * math.cos(a), cy + short * math.sin(a))
            left = (cx + waist * 0.8 * math.cos(a - math.pi / 2), cy + waist * 0.8 * math.sin(a - math.pi / 2))
            right = (cx + waist * 0.8 * math.cos(a + math.pi / 2), cy + waist * 0.8 * math.sin(a + math.pi / 2))
            canvas.fill(polygon([(cx, cy), left, tip]), DIAGONAL_LIGHT, box=box)
            canvas.fill(polygon([(cx, cy), tip, right]), DIAGONAL_SHADE, box=box)
    for k in range(4):
        a = math.radians(-90 + 90 * k)
        tip = (cx + r * math.cos(a), cy + r * math.sin(a))
        left = (cx + waist * math.cos(a - math.pi / 2), cy + waist * math.sin(a - math.pi / 2))
        right = (cx + waist * math.cos(a + math.pi / 2), cy + waist * math.sin(a + math.pi / 2))
        light, shade = (STAR_GOLD, STAR_GOLD_SHADE) if k == 0 else (STAR_LIGHT, STAR_SHADE)
        canvas.fill(polygon([(cx, cy), left, tip]), light, box=box)
        canvas.fill(polygon([(cx, cy), tip, right]), shade, box=box)


def bearing_ring(canvas, cx, cy, r, width, tick_alpha):
    """A thin ring with ticks every 10 degrees, longer every 30 degrees."""
    box = (cx - r - 4, cy - r - 4, cx + r + 4, cy + r + 4)
    canvas.fill(ring(cx, cy, r - width / 2.0, r + width / 2.0), RING, alpha=0.85, box=box)
    for deg in range(0, 360, 10):
        a = math.radians(deg)
        inner = r - (4.5 if deg % 30 == 0 else 2.5)
        tick = segment(
            cx + inner * math.cos(a),
            cy + inner * math.sin(a),
            cx + (r - 0.5) * math.cos(a),
            cy + (r - 0.5) * math.sin(a),
            0.9 if deg % 90 else 1.3,
        )
        canvas.fill(tick, RING, alpha=tick_alpha if deg % 30 else min(1.0, tick_alpha + 0.25), box=box)


# ---------------------------------------------------------------------------
# Wizard picture

NAVY_TOP = (8, 20, 56)
NAVY_MID = (16, 48, 108)
SEA_BOTTOM = (24, 86, 150)


# The sizes drawn, in per cent of 96 DPI.
SCALES = (100, 125, 150, 200)


def wizard_picture(percent=100, width=87, height=171):
    k = percent / 100.0
    canvas = Canvas(int(width * k + 0.5), int(height * k + 0.5), samples=4, scale=k)
    cx, cy = width / 2.0, height * 0.36

    def background(x, y):
        t = y / height
        base = mix(NAVY_TOP, NAVY_MID, t / 0.6) if t < 0.6 else mix(NAVY_MID, SEA_BOTTOM, (t - 0.6) / 0.4)
        glow = max(0.0, 1.0 - math.hypot(x - cx, (y - cy) * 0.8) / (width * 0.75))
        return mix(base, (70, 130, 200), 0.35 * glow * glow)

    canvas.fill(everywhere, background)

    # A few faint stars in the sky above the emblem.
    for x, y, r in ((12, 10, 0.7), (71, 7, 0.6), (22, 30, 0.5), (78, 26, 0.7), (8, 58, 0.5), (80, 68, 0.5), (60, 16, 0.4)):
        canvas.fill(circle(x, y, r), (220, 232, 255), alpha=0.7, box=(x - 2, y - 2, x + 2, y + 2))

    # Concentric arcs rising from below the picture: a calm sea swell, fading
    # towards the sides.
    swell_y = height + 30

    def swell(x, y):
        return mix((150, 196, 240), background(x, y), abs(x - cx) / (width * 0.7))

    for i, r in enumerate((44, 58, 72, 86, 100)):
        canvas.fill(
            ring(cx, swell_y, r - 0.55, r + 0.55),
            swell,
            alpha=0.42 - 0.06 * i,
            box=(0, swell_y - r - 2, width, height),
        )

    # Faint outer circle and the bearing ring with its ticks.
    canvas.fill(ring(cx, cy, 38.4, 39.0), RING, alpha=0.25)
    bearing_ring(canvas, cx, cy, 33.0, 1.0, tick_alpha=0.55)
    canvas.fill(ring(cx, cy, 24.6, 25.2), RING, alpha=0.35)

    compass_star(canvas, cx, cy, 30.0)
    canvas.fill(circle(cx, cy, 2.4), NAVY_TOP, box=(cx - 4, cy - 4, cx + 4, cy + 4))
    canvas.fill(circle(cx, cy, 1.3), STAR_GOLD, box=(cx - 4, cy - 4, cx + 4, cy + 4))
    return canvas


# ---------------------------------------------------------------------------
# Application icon: the emblem on a round navy badge.


def app_icon(size):
    canvas = Canvas(size, size, samples=8)
    c = size / 2.0
    r = c - 0.5

    def badge(x, y):
        t = (y + x * 0.3) / (size * 1.3)
        return mix((30, 74, 142), NAVY_TOP, t)

    canvas.fill(circle(c, c, r), badge)
    if size >= 32:
        canvas.fill(ring(c, c, r - size / 32.0, r), RING, alpha=0.7)
        bearing_size = r * 0.8
        canvas.fill(ring(c, c, bearing_size - 0.45, bearing_size + 0.45), RING, alpha=0.45)
        compass_star(canvas, c, c, r * 0.86, detail=True)
    else:
        canvas.fill(ring(c, c, r - 0.9, r), RING, alpha=0.6)
        compass_star(canvas, c, c, r * 0.95, detail=False, waist=0.3)
    return canvas


# ---------------------------------------------------------------------------
# Flags, 16 x 12. Stripes are whole pixels so they stay crisp.

W, H = 16, 12
WHITE = (255, 255, 255)


def vertical_tricolour(a, b, c):
    def draw(f):
        f.fill(rect(0, 0, 5, H), a)
        f.fill(rect(5, 0, 11, H), b)
        f.fill(rect(11, 0, W, H), c)

    return draw


def horizontal_tricolour(a, b, c, rows=(4, 4, 4)):
    def draw(f):
        f.fill(rect(0, 0, W, rows[0]), a)
        f.fill(rect(0, rows[0], W, rows[0] + rows[1]), b)
        f.fill(rect(0, rows[0] + rows[1], W, H), c)

    return draw


def nordic_cross(field, cross, inner=None):
    def draw(f):
        f.fill(rect(0, 0, W, H), field)
        if inner is None:
            f.fill(rect(4, 0, 7, H), cross)
            f.fill(rect(0, 5, W, 7), cross)
        else:
            f.fill(rect(4, 0, 8, H), cross)
            f.fill(rect(0, 4, W, 8), cross)
            f.fill(rect(5, 0, 7, H), inner)
            f.fill(rect(0, 5, W, 7), inner)

    return draw


def united_states(f):
    red, blue = (178, 34, 52), (50, 56, 112)
    for row in range(H):
        f.fill(rect(0, row, W, row + 1), red if row % 2 == 0 else WHITE)
    f.fill(rect(0, 0, 7, 7), blue)
    for y in range(1, 6):
        for x in range(1, 6):
            if (x + y) % 2 == 0:
                f.fill(rect(x, y, x + 1, y + 1), (214, 218, 236))


def spain(f):
    red, yellow = (178, 18, 30), (246, 196, 0)
    horizontal_tricolour(red, yellow, red, rows=(3, 6, 3))(f)
    f.fill(rect(3, 4, 6, 8), (168, 40, 34))
    f.fill(rect(4, 5, 5, 7), (224, 160, 40))


def portugal(f):
    green, red, yellow = (0, 102, 0), (214, 32, 28), (255, 204, 0)
    f.fill(rect(0, 0, 6, H), green)
    f.fill(rect(6, 0, W, H), red)
    f.fill(circle(6, 6, 3.1), yellow)
    f.fill(circle(6, 6, 1.9), red)
    f.fill(rect(5.5, 5, 6.5, 7.2), WHITE)


def turkey(f):
    red = (227, 10, 23)
    f.fill(rect(0, 0, W, H), red)
    f.fill(minus(circle(5.6, 6.0, 3.7), circle(6.6, 6.0, 2.9)), WHITE)
    f.fill(star(10.2, 6.0, 2.0, turn=180.0), WHITE)


def china(f):
    red, yellow = (222, 32, 16), (255, 222, 0)
    f.fill(rect(0, 0, W, H), red)
    f.fill(star(3.5, 3.5, 2.6), yellow)
    for x, y in ((7, 1), (8, 2), (8, 4), (7, 5)):
        f.fill(rect(x, y, x + 1, y + 1), yellow, alpha=0.9)


def czech(f):
    blue, red = (17, 69, 126), (215, 20, 26)
    f.fill(rect(0, 0, W, 6), WHITE)
    f.fill(rect(0, 6, W, H), red)
    f.fill(polygon([(0, 0), (8, 6), (0, 12)]), blue)


def greece(f):
    blue = (13, 94, 175)
    for row in range(H):
        f.fill(rect(0, row, W, row + 1), blue if row % 2 == 0 else WHITE)
    f.fill(rect(0, 0, 5, 5), blue)
    f.fill(rect(2, 0, 3, 5), WHITE)
    f.fill(rect(0, 2, 5, 3), WHITE)


def israel(f):
    blue = (0, 56, 184)
    f.fill(rect(0, 0, W, H), WHITE)
    f.fill(rect(0, 1, W, 3), blue)
    f.fill(rect(0, 9, W, 11), blue)
    # The star of David as the outlines of two triangles.
    cx, cy, r = 8.0, 6.0, 2.9
    up = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a))) for a in (-90, 30, 150)]
    down = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a))) for a in (90, 210, 330)]
    for tri in (up, down):
        for (xa, ya), (xb, yb) in zip(tri, tri[1:] + tri[:1]):
            f.fill(segment(xa, ya, xb, yb, 0.75), blue)


def vietnam(f):
    f.fill(rect(0, 0, W, H), (218, 37, 29))
    f.fill(star(8, 6.3, 4.2), (255, 221, 0))


# Language index -> (resource id, drawing); the ids are the flag icons of the
# language table.
FLAGS = [
    (144, vertical_tricolour((0, 35, 149), WHITE, (237, 41, 57))),  # 0 French
    (145, united_states),  # 1 English (United States)
    (141, horizontal_tricolour((16, 16, 16), (221, 0, 0), (255, 206, 0))),  # 2 German
    (143, spain),  # 3 Spanish
    (148, portugal),  # 4 Portuguese
    (147, horizontal_tricolour((174, 28, 40), WHITE, (33, 70, 139))),  # 5 Dutch
    (142, nordic_cross((200, 16, 46), WHITE)),  # 6 Danish
    (149, turkey),  # 7 Turkish
    (150, horizontal_tricolour(WHITE, (0, 150, 110), (214, 38, 18))),  # 8 Bulgarian
    (151, vertical_tricolour((0, 43, 127), (252, 209, 22), (206, 17, 38))),  # 9 Romanian
    (152, china),  # 10 Chinese
    (146, vertical_tricolour((0, 146, 70), WHITE, (206, 43, 55))),  # 11 Italian
    (153, czech),  # 12 Czech
    (154, nordic_cross((186, 12, 47), WHITE, (0, 32, 91))),  # 13 Norwegian
    (155, greece),  # 14 Greek
    (156, horizontal_tricolour(WHITE, WHITE, (220, 20, 60), rows=(3, 3, 6))),  # 15 Polish
    (157, israel),  # 16 Hebrew
    (158, vietnam),  # 17 Vietnamese
]


def flag(draw, percent=100):
    k = percent / 100.0
    canvas = Canvas(int(W * k + 0.5), int(H * k + 0.5), samples=8, scale=k)
    draw(canvas)
    # A soft dark edge keeps white flags apart from a white list background.
    edge = union(rect(0, 0, W, 1), rect(0, H - 1, W, H), rect(0, 1, 1, H - 1), rect(W - 1, 1, W, H - 1))
    canvas.fill(edge, (40, 40, 48), alpha=0.28)
    return canvas


# ---------------------------------------------------------------------------
# File formats


def bmp_24(canvas):
    """A bottom-up 24-bit BMP; rows padded to four bytes."""
    row_size = (canvas.width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b, _ = canvas.rgba(x, y)
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        pixels += row
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    offset = 14 + len(header)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + header + pixels


def ico_image(canvas):
    """One 32-bit icon image: BITMAPINFOHEADER (double height), BGRA colour rows
    bottom-up, then the 1-bit AND mask (set where fully transparent)."""
    w, h = canvas.width, canvas.height
    colour = bytearray()
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b, a = canvas.rgba(x, y)
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def ico(canvases):
    images = [ico_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack(
            "<BBBBHHII", canvas.width % 256, canvas.height % 256, 0, 0, 1, 32, len(image), offset
        )
        offset += len(image)
    return out + b"".join(images)


def write(folder, name, data):
    path = os.path.join(folder, name)
    # Write through a temporary name so that an interrupted run leaves no
    # truncated file that a later build would take as up to date.
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_artwork.py OUTPUT_FOLDER\n")
        return 2
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    for percent in SCALES:
        name = "wizard.bmp" if percent == 100 else "wizard_%d.bmp" % percent
        write(folder, name, bmp_24(wizard_picture(percent)))
    write(folder, "app.ico", ico([app_icon(s) for s in (16, 32, 48)]))
    for index, (_, draw) in enumerate(FLAGS):
        write(folder, "flag_%d.ico" % index, ico([flag(draw, percent) for percent in SCALES]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
