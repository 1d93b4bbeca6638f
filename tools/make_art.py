#!/usr/bin/python3
"""Draws every picture of the launcher and the game window.

Run with Debian's python3 (it has PIL):

    /usr/bin/python3 tools/make_art.py [output-folder]

The default output folder is res/images/ next to this script's folder.
The output is deterministic: the same bytes on every run (fixed seeds, no
timestamps, no metadata in the files).

Palette: deep navy and indigo panels, warm gold trim, ivory text and a touch
of jade.  Two colours are never painted opaque anywhere: pure yellow
RGB(255, 255, 0), the colour key of the portal page dialog that lies over the
launcher, and pure red RGB(255, 0, 0), the colour key of the cache cleaner.
"""

import math
import os
import random
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(os.path.dirname(HERE), "res", "images")

FONT_CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
FONT_SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"
FONT_SERIF_CONDENSED = "/usr/share/fonts/truetype/dejavu/DejaVuSerifCondensed-Bold.ttf"

# --------------------------------------------------------------------------
# Palette
NAVY_DEEP = (8, 12, 30)
NAVY = (16, 23, 54)
NAVY_MID = (24, 33, 74)
INDIGO = (36, 38, 98)
INDIGO_LIGHT = (62, 66, 138)
GOLD_HI = (255, 238, 186)
GOLD_LIGHT = (240, 207, 132)
GOLD = (211, 165, 80)
GOLD_DARK = (140, 98, 40)
GOLD_DEEP = (70, 45, 16)
IVORY = (243, 233, 210)
PARCHMENT = (224, 205, 164)
JADE_LIGHT = (132, 224, 188)
JADE = (50, 164, 130)
JADE_DARK = (16, 80, 64)
CRIMSON = (148, 36, 46)
CRIMSON_LIGHT = (196, 64, 70)
GLOW = (58, 42, 20)

GOLD_STOPS = [(0.0, GOLD_HI), (0.35, GOLD_LIGHT), (0.55, GOLD), (0.8, GOLD_DARK), (1.0, GOLD)]

TITLE_H = 30          # height of the game window's title strip


def font(path, size):
    for candidate in (path, FONT_CJK):
        if os.path.exists(candidate):
            return ImageFont.truetype(candidate, size)
    raise SystemExit("no usable font found")


def serif(size, condensed=False):
    return font(FONT_SERIF_CONDENSED if condensed else FONT_SERIF, size)


def cjk(size):
    return font(FONT_CJK, size)


# --------------------------------------------------------------------------
# Small drawing toolkit

def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def ramp(stops, t):
    t = min(1.0, max(0.0, t))
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return lerp(c0, c1, 0.0 if t1 == t0 else (t - t0) / (t1 - t0))
    return stops[-1][1]


def vgrad(size, stops, top=0, bottom=None):
    """RGB image of `size` whose colour follows `stops` from row `top` to `bottom`."""
    w, h = size
    bottom = h if bottom is None else bottom
    col = Image.new("RGB", (1, h))
    span = max(1, bottom - top - 1)
    col.putdata([ramp(stops, (y - top) / span) for y in range(h)])
    return col.resize((w, h), Image.NEAREST)


def gold_for(size, box):
    return vgrad(size, GOLD_STOPS, box[1], box[3])


class Pen:
    """Draws at a supersampled scale; coordinates are in output pixels."""

    def __init__(self, draw, scale, ox=0.0, oy=0.0):
        self.d, self.s, self.ox, self.oy = draw, scale, ox, oy

    def p(self, x, y):
        return ((x - self.ox) * self.s, (y - self.oy) * self.s)

    def poly(self, pts, fill=255):
        self.d.polygon([self.p(x, y) for x, y in pts], fill=fill)

    def rect(self, x0, y0, x1, y1, fill=255):
        a, b = self.p(x0, y0)
        c, d = self.p(x1, y1)
        self.d.rectangle([a, b, c - 1, d - 1], fill=fill)

    def rrect(self, x0, y0, x1, y1, r, fill=255):
        a, b = self.p(x0, y0)
        c, d = self.p(x1, y1)
        self.d.rounded_rectangle([a, b, c - 1, d - 1], radius=r * self.s, fill=fill)

    def ellipse(self, cx, cy, rx, ry=None, fill=255):
        ry = rx if ry is None else ry
        a, b = self.p(cx - rx, cy - ry)
        c, d = self.p(cx + rx, cy + ry)
        self.d.ellipse([a, b, c - 1, d - 1], fill=fill)

    def line(self, pts, width, fill=255):
        self.d.line([self.p(x, y) for x, y in pts], fill=fill, width=max(1, int(round(width * self.s))))


def aa_mask(size, fn, box=None, ss=4):
    """Antialiased L mask of `size`: `fn(pen)` draws white shapes, supersampled."""
    if box is None:
        box = (0, 0, size[0], size[1])
    x0, y0, x1, y1 = box
    big = Image.new("L", ((x1 - x0) * ss, (y1 - y0) * ss), 0)
    fn(Pen(ImageDraw.Draw(big), ss, x0, y0))
    small = big.resize((x1 - x0, y1 - y0), Image.BOX)
    if box == (0, 0, size[0], size[1]):
        return small
    out = Image.new("L", size, 0)
    out.paste(small, (x0, y0))
    return out


def scale_mask(mask, k):
    return mask.point(lambda v: min(255, int(v * k)))


def fill(canvas, src, mask, k=1.0):
    """Paints a colour or an image through `mask` (optionally weakened by k)."""
    if k != 1.0:
        mask = scale_mask(mask, k)
    canvas.paste(src, (0, 0), mask)


def bevel(canvas, mask, radius=1.2, depth=1, hi=GOLD_HI, lo=GOLD_DEEP, k=2.5):
    """Lights the shape in `mask` from the top left."""
    b = mask.filter(ImageFilter.GaussianBlur(radius))
    shifted = ImageChops.offset(b, depth, depth)
    back = ImageChops.offset(b, -depth, -depth)
    light = ImageChops.multiply(ImageChops.subtract(b, shifted, scale=1.0 / k), mask)
    shade = ImageChops.multiply(ImageChops.subtract(b, back, scale=1.0 / k), mask)
    canvas.paste(hi, (0, 0), light)
    canvas.paste(lo, (0, 0), shade)


def shadow(canvas, mask, dx=1, dy=2, radius=2.0, k=0.85, colour=(0, 0, 0)):
    s = ImageChops.offset(mask, dx, dy).filter(ImageFilter.GaussianBlur(radius))
    fill(canvas, colour, s, k)


def gold_shape(canvas, mask, box, radius=1.2, k=2.5, edge=True):
    if edge:
        fill(canvas, GOLD_DEEP, mask.filter(ImageFilter.MaxFilter(3)))
    fill(canvas, gold_for(canvas.size, box), mask)
    bevel(canvas, mask, radius=radius, k=k)


def text_mask(size, xy, text, fnt, anchor="mm", spacing=0):
    m = Image.new("L", size, 0)
    d = ImageDraw.Draw(m)
    if spacing == 0:
        d.text(xy, text, font=fnt, fill=255, anchor=anchor)
        return m
    # Letter-spaced text, centred on xy.
    widths = [fnt.getlength(ch) for ch in text]
    total = sum(widths) + spacing * (len(text) - 1)
    x = xy[0] - total / 2.0
    for ch, w in zip(text, widths):
        d.text((x, xy[1]), ch, font=fnt, fill=255, anchor="lm")
        x += w + spacing
    return m


def bbox_of(mask, pad=0):
    b = mask.getbbox() or (0, 0, 1, 1)
    return (b[0] - pad, b[1] - pad, b[2] + pad, b[3] + pad)


def gold_text(canvas, mask, outline=True, glow=None):
    box = bbox_of(mask)
    if glow is not None:
        fill(canvas, glow, mask.filter(ImageFilter.GaussianBlur(4)), 0.9)
    shadow(canvas, mask, 1, 2, 1.6, 0.9)
    if outline:
        fill(canvas, GOLD_DEEP, mask.filter(ImageFilter.MaxFilter(3)))
    fill(canvas, gold_for(canvas.size, box), mask)
    bevel(canvas, mask, radius=0.8, k=1.6)


def diamond(pen, cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    pen.poly([(cx, cy - ry), (cx + rx, cy), (cx, cy + ry), (cx - rx, cy)])


def gem(canvas, cx, cy, r, body=JADE, light=JADE_LIGHT, dark=JADE_DARK, shape="round"):
    """A small faceted gem with a gold setting."""
    size = canvas.size
    box = (int(cx - r - 4), int(cy - r - 4), int(cx + r + 5), int(cy + r + 5))
    if shape == "round":
        setting = aa_mask(size, lambda p: p.ellipse(cx, cy, r + 2), box)
        stone = aa_mask(size, lambda p: p.ellipse(cx, cy, r), box)
    else:
        setting = aa_mask(size, lambda p: diamond(p, cx, cy, r + 2.5), box)
        stone = aa_mask(size, lambda p: diamond(p, cx, cy, r), box)
    gold_shape(canvas, setting, (box[0], box[1], box[2], box[3]), radius=0.8, k=2.0)
    fill(canvas, vgrad(size, [(0, light), (0.5, body), (1, dark)], int(cy - r), int(cy + r)), stone)
    bevel(canvas, stone, radius=0.8, hi=(220, 255, 240), lo=(6, 40, 32), k=1.6)
    spark = aa_mask(size, lambda p: p.ellipse(cx - r * 0.35, cy - r * 0.4, max(0.8, r * 0.28)), box)
    fill(canvas, (236, 255, 248), spark, 0.9)


def frame_rect(pen, x0, y0, x1, y1, w):
    """A rectangular ring of width w (outer edge x0..x1, y0..y1)."""
    pen.rect(x0, y0, x1, y1, 255)
    pen.rect(x0 + w, y0 + w, x1 - w, y1 - w, 0)


# --------------------------------------------------------------------------
# Launcher (PNG 155)

W155, H155 = 980, 668
CORE = (75, 60, 940, 630)           # the fully opaque panel
SCREEN = (270, 141, 901, 585)       # where the portal page's browser lies
MIN_BTN = (859, 90, 24, 24)
CLOSE_BTN = (901, 82, 28, 28)
CREST_X = (SCREEN[0] + SCREEN[2]) / 2.0
PLATE = (849, 75, 936, 121)         # plate under the two window buttons


def crest_outline(pen, cx, top, w, h, inset=0.0):
    """A heater shield with an arched top and curved flanks meeting in a point."""
    hw = w / 2.0 - inset
    t = top + inset
    bottom = top + h - inset * 1.5
    shoulder = t + 8
    knee = shoulder + (bottom - shoulder) * 0.38
    pts = [(cx - hw, shoulder), (cx - hw * 0.55, shoulder), (cx - hw * 0.28, t + 2), (cx, t - 4),
           (cx + hw * 0.28, t + 2), (cx + hw * 0.55, shoulder), (cx + hw, shoulder), (cx + hw, knee)]
    ctrl = (cx + hw, bottom - (bottom - knee) * 0.2)
    steps = 20
    right = []
    for i in range(1, steps + 1):
        a = i / float(steps)
        x = (1 - a) ** 2 * (cx + hw) + 2 * (1 - a) * a * ctrl[0] + a * a * cx
        y = (1 - a) ** 2 * knee + 2 * (1 - a) * a * ctrl[1] + a * a * bottom
        right.append((x, y))
    pts += right
    pts += [(2 * cx - x, y) for x, y in reversed(right[:-1])]
    pts.append((cx - hw, knee))
    pen.poly(pts)


def star(pen, cx, cy, r_out, r_in, n=8, rot=-math.pi / 2):
    pts = []
    for i in range(n * 2):
        r = r_out if i % 2 == 0 else r_in
        a = rot + i * math.pi / n
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    pen.poly(pts)


def draw_crest(canvas, cx, top, w, h, watermark=None):
    """The program's emblem: gold shield, indigo field, gold star, jade heart."""
    size = canvas.size
    box = (int(cx - w / 2 - 6), int(top - 10), int(cx + w / 2 + 7), int(top + h + 6))
    outer = aa_mask(size, lambda p: crest_outline(p, cx, top, w, h), box)
    inner = aa_mask(size, lambda p: crest_outline(p, cx, top, w, h, inset=w * 0.09), box)
    shadow(canvas, outer, 2, 3, 3.0, 0.8)
    gold_shape(canvas, outer, box, radius=1.4, k=2.8)
    fill(canvas, vgrad(size, [(0, INDIGO_LIGHT), (0.5, INDIGO), (1, NAVY_DEEP)], box[1], box[3]), inner)
    bevel(canvas, inner, radius=1.0, hi=(120, 124, 200), lo=(0, 0, 10), k=1.5)
    # inner thin gold line
    ring = ImageChops.subtract(inner, aa_mask(size, lambda p: crest_outline(p, cx, top, w, h, inset=w * 0.09 + 2.2), box))
    fill(canvas, GOLD, ring, 0.8)
    cy = top + h * 0.47
    st = aa_mask(size, lambda p: star(p, cx, cy, w * 0.3, w * 0.1), box)
    shadow(canvas, st, 1, 1, 1.2, 0.8)
    gold_shape(canvas, st, box, radius=0.8, k=2.0, edge=False)
    gem(canvas, cx, cy, max(2.0, w * 0.075))


def launcher_shape():
    """Alpha of the launcher before its glow: panel plus protruding ornaments."""
    def draw(p):
        x0, y0, x1, y1 = CORE
        p.rect(x0, y0, x1, y1)
        for cx, cy in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
            p.ellipse(cx, cy, 10)
        mid = (y0 + y1) / 2.0
        diamond(p, x0, mid, 9, 16)
        diamond(p, x1, mid, 9, 16)
        diamond(p, CREST_X, y1, 16, 10)
        crest_outline(p, CREST_X, 30, 62, 64)
    return aa_mask((W155, H155), draw)


def panel_background():
    w, h = W155, H155
    rnd = random.Random(155)
    cloud = Image.new("L", (w // 16 + 2, h // 16 + 2))
    cloud.putdata([rnd.randrange(0, 256) for _ in range(cloud.size[0] * cloud.size[1])])
    cloud = cloud.resize((w + 32, h + 32), Image.BICUBIC).crop((16, 16, w + 16, h + 16))
    cloud = cloud.filter(ImageFilter.GaussianBlur(6))
    dark = vgrad((w, h), [(0, (18, 24, 60)), (0.5, (14, 20, 50)), (1, (8, 12, 32))], CORE[1], CORE[3])
    light = vgrad((w, h), [(0, (34, 38, 92)), (0.5, (26, 32, 76)), (1, (16, 22, 52))], CORE[1], CORE[3])
    bg = Image.composite(light, dark, cloud)
    # a soft light behind the title
    halo = aa_mask((w, h), lambda p: p.ellipse(CREST_X, 100, 300, 70))
    halo = halo.filter(ImageFilter.GaussianBlur(40))
    fill(bg, (60, 62, 132), halo, 0.5)
    return bg


def draw_flourish(canvas, cx, cy, half, jade=True, k=1.0):
    """A horizontal ornamental rule: tapering gold lines with diamonds."""
    size = canvas.size
    box = (int(cx - half - 4), int(cy - 8), int(cx + half + 5), int(cy + 9))

    def lines(p):
        for side in (-1, 1):
            p.poly([(cx + side * 12, cy - 1.2), (cx + side * half, cy), (cx + side * 12, cy + 1.2)])
            diamond(p, cx + side * (half * 0.55), cy, 3.5, 3.5)
            p.ellipse(cx + side * (half + 0.5), cy, 1.6)
        diamond(p, cx, cy, 8, 6)
    m = aa_mask(size, lines, box)
    shadow(canvas, m, 1, 1, 1.0, 0.7)
    gold_shape(canvas, m, box, radius=0.7, k=1.8, edge=False)
    if jade:
        gem(canvas, cx, cy, 3.2, shape="diamond")


def draw_banner(canvas, cx, top, bottom, width, text):
    size = canvas.size
    hw = width / 2.0
    box = (int(cx - hw - 20), int(top - 12), int(cx + hw + 21), int(bottom + 6))

    def cloth(p, inset=0.0):
        p.poly([(cx - hw + inset, top + inset), (cx + hw - inset, top + inset),
                (cx + hw - inset, bottom - inset * 1.2), (cx, bottom - 34 - inset * 0.4 + inset),
                (cx - hw + inset, bottom - inset * 1.2)])
    outer = aa_mask(size, cloth, box)
    inner = aa_mask(size, lambda p: cloth(p, 5), box)
    line = ImageChops.subtract(aa_mask(size, lambda p: cloth(p, 8), box), aa_mask(size, lambda p: cloth(p, 9.4), box))
    shadow(canvas, outer, 3, 4, 4.0, 0.8)
    gold_shape(canvas, outer, box, radius=1.2, k=2.5)
    fill(canvas, vgrad(size, [(0, (40, 42, 108)), (0.6, (28, 30, 80)), (1, (14, 16, 44))], top, bottom), inner)
    bevel(canvas, inner, radius=2.0, hi=(90, 96, 180), lo=(0, 0, 8), k=1.4)
    fill(canvas, JADE, line, 0.8)
    # the rod it hangs from
    rod = aa_mask(size, lambda p: (p.rrect(cx - hw - 12, top - 7, cx + hw + 12, top + 2, 4),
                                   p.ellipse(cx - hw - 14, top - 2.5, 6), p.ellipse(cx + hw + 14, top - 2.5, 6)), box)
    shadow(canvas, rod, 1, 2, 2.0, 0.8)
    gold_shape(canvas, rod, (box[0], top - 9, box[2], top + 4), radius=1.0, k=2.4)
    # the characters, top to bottom
    fnt = cjk(50)
    first, last = top + 46, bottom - 62
    step = (last - first) / float(len(text))
    for i, ch in enumerate(text):
        m = text_mask(size, (cx, first + step * (i + 0.5)), ch, fnt)
        gold_text(canvas, m, glow=(70, 60, 140))
    gem(canvas, cx, top + 24, 4.5, shape="diamond")
    gem(canvas, cx, bottom - 50, 3.5)


def draw_screen(canvas):
    """The dark inset on which the portal page's browser lies."""
    size = canvas.size
    x0, y0, x1, y1 = SCREEN
    # recess: dark shadow, gold frame, then the screen itself
    frame = aa_mask(size, lambda p: frame_rect(p, x0 - 6, y0 - 6, x1 + 6, y1 + 6, 4))
    shadow(canvas, aa_mask(size, lambda p: p.rect(x0 - 6, y0 - 6, x1 + 6, y1 + 6)), 2, 3, 4.0, 0.9)
    gold_shape(canvas, frame, (x0, y0 - 6, x1, y1 + 6), radius=1.0, k=2.2, edge=False)
    fill(canvas, NAVY_DEEP, aa_mask(size, lambda p: frame_rect(p, x0 - 2, y0 - 2, x1 + 2, y1 + 2, 2)))
    scr = vgrad((W155, H155), [(0, (14, 20, 46)), (0.5, (10, 15, 36)), (1, (6, 9, 24))], y0, y1)
    canvas.paste(scr.crop(SCREEN), (x0, y0))
    # inner vignette
    v = aa_mask(size, lambda p: frame_rect(p, x0, y0, x1, y1, 14)).filter(ImageFilter.GaussianBlur(10))
    inside = Image.new("L", size, 0)
    inside.paste(255, SCREEN)
    fill(canvas, (2, 3, 10), ImageChops.multiply(v, inside), 0.7)
    # a faint watermark of the emblem's star in rings
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    wm = aa_mask(size, lambda p: (p.ellipse(cx, cy, 120), p.ellipse(cx, cy, 117, fill=0),
                                  p.ellipse(cx, cy, 96), p.ellipse(cx, cy, 95, fill=0),
                                  star(p, cx, cy, 88, 30), star(p, cx, cy, 60, 12, rot=-math.pi / 2 + math.pi / 8)),
                 (int(cx - 125), int(cy - 125), int(cx + 126), int(cy + 126)))
    fill(canvas, (34, 42, 86), ImageChops.multiply(wm, inside), 0.45)
    # corner brackets of the frame
    for (bx, by, sx, sy) in ((x0 - 6, y0 - 6, 1, 1), (x1 + 6, y0 - 6, -1, 1), (x0 - 6, y1 + 6, 1, -1), (x1 + 6, y1 + 6, -1, -1)):
        m = aa_mask(size, lambda p: (p.poly([(bx - sx * 4, by - sy * 4), (bx + sx * 26, by - sy * 4), (bx + sx * 26, by),
                                              (bx + sx * 4, by), (bx + sx * 4, by + sy * 26), (bx - sx * 4, by + sy * 26)]),
                                     diamond(p, bx - sx * 1, by - sy * 1, 6)))
        gold_shape(canvas, m, (min(bx, bx + sx * 26) - 4, min(by, by + sy * 26) - 4, max(bx, bx + sx * 26) + 4, max(by, by + sy * 26) + 4), radius=0.8, k=2.0)
    for (gx, gy) in ((x0 - 7, y0 - 7), (x1 + 7, y0 - 7), (x0 - 7, y1 + 7), (x1 + 7, y1 + 7)):
        gem(canvas, gx, gy, 2.6, shape="diamond")


def draw_button_plate(canvas):
    size = canvas.size
    x0, y0, x1, y1 = PLATE
    outer = aa_mask(size, lambda p: p.rrect(x0, y0, x1, y1, 12))
    inner = aa_mask(size, lambda p: p.rrect(x0 + 3, y0 + 3, x1 - 3, y1 - 3, 9))
    shadow(canvas, outer, 2, 3, 3.0, 0.85)
    gold_shape(canvas, outer, PLATE, radius=1.0, k=2.4)
    fill(canvas, vgrad(size, [(0, (12, 16, 40)), (1, (26, 30, 70))], y0, y1), inner)
    bevel(canvas, inner, radius=1.5, hi=(70, 74, 140), lo=(0, 0, 6), k=1.6)
    # sockets under the two buttons
    for (bx, by, bw, _bh) in (MIN_BTN, CLOSE_BTN):
        r = bw / 2.0
        sock = aa_mask(size, lambda p: p.ellipse(bx + r, by + r, r - 0.5))
        fill(canvas, (4, 6, 16), sock)
        bevel(canvas, sock, radius=1.0, hi=(0, 0, 0), lo=(90, 90, 150), k=1.4)


def draw_corner_filigree(canvas, ix, iy, sx, sy):
    """Gold scrollwork in an inner corner of the frame; (sx, sy) point inwards."""
    size = canvas.size
    box = (int(min(ix, ix + sx * 60)) - 3, int(min(iy, iy + sy * 60)) - 3,
           int(max(ix, ix + sx * 60)) + 4, int(max(iy, iy + sy * 60)) + 4)

    def arms(p):
        # the frame's thin inner line thickens towards the corner
        p.poly([(ix - 2 * sx, iy - 2.2 * sy), (ix + sx * 58, iy), (ix - 2 * sx, iy + 2.2 * sy)])
        p.poly([(ix - 2.2 * sx, iy - 2 * sy), (ix, iy + sy * 58), (ix + 2.2 * sx, iy - 2 * sy)])
        diamond(p, ix + sx * 40, iy, 3.4, 3.0)
        diamond(p, ix, iy + sy * 40, 3.0, 3.4)
        # a curl between the two arms
        p.poly([(ix + sx * 16, iy), (ix + sx * 26, iy + sy * 8), (ix + sx * 16, iy + sy * 5)])
        p.poly([(ix, iy + sy * 16), (ix + sx * 8, iy + sy * 26), (ix + sx * 5, iy + sy * 16)])
    m = aa_mask(size, arms, box)
    # two quarter rings, clipped to the inner quadrant by their drawing box
    qbox = (int(min(ix, ix + sx * 34)), int(min(iy, iy + sy * 34)), int(max(ix, ix + sx * 34)), int(max(iy, iy + sy * 34)))
    for r, wdt in ((26, 2.0), (19, 1.3)):
        ring = aa_mask(size, lambda p: (p.ellipse(ix, iy, r), p.ellipse(ix, iy, r - wdt, fill=0)), qbox)
        m = ImageChops.lighter(m, ring)
    shadow(canvas, m, 1, 1, 1.0, 0.8)
    gold_shape(canvas, m, box, radius=0.6, k=1.8, edge=False)
    gem(canvas, ix + sx * 9, iy + sy * 9, 4.0)


GLOW_RADIUS = 3.0


def make_launcher():
    w, h = W155, H155
    canvas = Image.new("RGB", (w, h), GLOW)
    shape = launcher_shape()
    fill(canvas, panel_background(), shape)
    x0, y0, x1, y1 = CORE

    # the outer frame: a bevelled gold band, a dark groove, a thin inner line
    band = aa_mask((w, h), lambda p: frame_rect(p, x0, y0, x1, y1, 8))
    gold_shape(canvas, band, CORE, radius=1.6, k=3.0, edge=False)
    engraving = aa_mask((w, h), lambda p: frame_rect(p, x0 + 3.5, y0 + 3.5, x1 - 3.5, y1 - 3.5, 1))
    fill(canvas, GOLD_DARK, engraving, 0.7)
    fill(canvas, GOLD_HI, ImageChops.offset(engraving, 1, 1), 0.35)
    groove = aa_mask((w, h), lambda p: frame_rect(p, x0 + 8, y0 + 8, x1 - 8, y1 - 8, 2))
    fill(canvas, NAVY_DEEP, groove)
    thin = aa_mask((w, h), lambda p: frame_rect(p, x0 + 11, y0 + 11, x1 - 11, y1 - 11, 1.5))
    fill(canvas, GOLD_DARK, thin)
    # depth along the inner side of the frame
    inner_shade = aa_mask((w, h), lambda p: frame_rect(p, x0 + 10, y0 + 10, x1 - 10, y1 - 10, 10)).filter(ImageFilter.GaussianBlur(6))
    inside = Image.new("L", (w, h), 0)
    inside.paste(255, (x0 + 13, y0 + 13, x1 - 13, y1 - 13))
    fill(canvas, (0, 0, 8), ImageChops.multiply(inner_shade, inside), 0.6)

    # the knobs at the corners and the middle of the sides
    for cx, cy in ((x0, y0), (x1, y0), (x0, y1), (x1, y1)):
        knob = aa_mask((w, h), lambda p: p.ellipse(cx, cy, 10), (cx - 12, cy - 12, cx + 13, cy + 13))
        gold_shape(canvas, knob, (cx - 10, cy - 10, cx + 10, cy + 10), radius=1.0, k=2.4, edge=False)
        gem(canvas, cx, cy, 4.5)
    mid = (y0 + y1) / 2.0
    for cx in (x0, x1):
        tab = aa_mask((w, h), lambda p: diamond(p, cx, mid, 9, 16))
        gold_shape(canvas, tab, (cx - 9, int(mid) - 16, cx + 9, int(mid) + 16), radius=1.0, k=2.4, edge=False)
        gem(canvas, cx, mid, 3.5, shape="diamond")
    pend = aa_mask((w, h), lambda p: diamond(p, CREST_X, y1, 16, 10))
    gold_shape(canvas, pend, (int(CREST_X) - 16, y1 - 10, int(CREST_X) + 16, y1 + 10), radius=1.0, k=2.4, edge=False)
    gem(canvas, CREST_X, y1, 4, shape="diamond")

    # the left strip: a hanging banner with the world's name
    strip_cx = (x0 + SCREEN[0] - 6) / 2.0
    draw_banner(canvas, strip_cx, 150, 560, 92, "奇幻大陆")
    draw_flourish(canvas, strip_cx, 112, 58)
    draw_flourish(canvas, strip_cx, 590, 58)
    for ix, iy, sx, sy in ((x0 + 11.75, y0 + 11.75, 1, 1), (x0 + 11.75, y1 - 11.75, 1, -1)):
        draw_corner_filigree(canvas, ix, iy, sx, sy)

    # title, crest and the screen
    draw_screen(canvas)
    title = text_mask((w, h), (CREST_X, 116), "PellumoZarvotek", serif(27), spacing=1.5)
    gold_text(canvas, title, glow=(90, 80, 170))
    tb = title.getbbox()
    for side in (-1, 1):
        edge = tb[0] - 14 if side < 0 else tb[2] + 14
        cxf = edge + side * 52
        draw_flourish(canvas, cxf, 116, 48, jade=True)
    draw_crest(canvas, CREST_X, 30, 62, 64)

    # footer ornament under the screen
    draw_flourish(canvas, CREST_X, 603, 150)
    # the right strip: a column of small gems
    rx = (SCREEN[2] + 6 + x1 - 12) / 2.0
    col = aa_mask((w, h), lambda p: p.rect(rx - 0.7, 150, rx + 0.7, 576))
    fill(canvas, GOLD_DARK, col, 0.9)
    for gy in (180, 270, 363, 456, 546):
        gem(canvas, rx, gy, 3.2, shape="diamond")

    draw_button_plate(canvas)

    # alpha: the shape plus a soft glow around it
    glow = shape.filter(ImageFilter.GaussianBlur(GLOW_RADIUS))
    glow = glow.point(lambda v: 0 if v < 24 else min(255, int((v - 24) * 0.55)))
    alpha = ImageChops.lighter(shape, glow)
    # the opaque core is exactly opaque
    alpha.paste(255, CORE)
    canvas.paste(GLOW, (0, 0), ImageChops.subtract(glow, shape))
    black = Image.new("RGB", (w, h), (0, 0, 0))
    canvas = Image.composite(canvas, black, alpha.point(lambda v: 255 if v else 0))
    out = canvas.convert("RGBA")
    out.putalpha(alpha)
    return out


# --------------------------------------------------------------------------
# Round buttons of the portal page dialog (PNG 160, 162)

def round_button_strip(launcher, place, glyph):
    """Four frames of a round gold-rimmed button, drawn over the launcher's own
    pixels at the button's place so the frame blends seamlessly whatever the
    surface under the button shows."""
    bx, by, size, _ = place
    under = launcher.crop((bx, by, bx + size, by + size)).convert("RGB")
    frames = []
    for state in range(4):
        img = under.copy()
        sz = (size, size)
        shift = 1 if state == 2 else 0
        c = size / 2.0 + shift - 0.0
        r = size / 2.0 - 1.5
        rim = aa_mask(sz, lambda p: p.ellipse(c, c, r))
        face = aa_mask(sz, lambda p: p.ellipse(c, c, r - 2.4))
        if state == 1:
            fill(img, (200, 160, 90), aa_mask(sz, lambda p: p.ellipse(c, c, r + 1.5)).filter(ImageFilter.GaussianBlur(1.2)), 0.8)
        shadow(img, rim, 1, 1, 1.0, 0.8)
        stops = GOLD_STOPS if state != 3 else [(0, (150, 146, 140)), (1, (80, 78, 76))]
        if state == 2:
            stops = [(0, GOLD_DARK), (0.5, GOLD), (1, GOLD_LIGHT)]
        fill(img, vgrad(sz, stops, int(c - r), int(c + r)), rim)
        bevel(img, rim, radius=0.7, k=1.6)
        if glyph == "close":
            body = {0: [(0, (70, 40, 60)), (1, (26, 14, 30))], 1: [(0, (150, 56, 62)), (1, (70, 20, 34))],
                    2: [(0, (40, 18, 28)), (1, (70, 28, 40))], 3: [(0, (50, 50, 56)), (1, (30, 30, 34))]}[state]
        else:
            body = {0: [(0, (44, 50, 110)), (1, (16, 20, 50))], 1: [(0, (74, 82, 168)), (1, (30, 36, 90))],
                    2: [(0, (14, 18, 44)), (1, (36, 42, 96))], 3: [(0, (50, 50, 56)), (1, (30, 30, 34))]}[state]
        fill(img, vgrad(sz, body, int(c - r), int(c + r)), face)
        bevel(img, face, radius=0.8, hi=(170, 170, 230) if state != 2 else (0, 0, 0), lo=(0, 0, 0), k=1.2)
        g = size * 0.17
        if glyph == "close":
            gm = aa_mask(sz, lambda p: (p.line([(c - g, c - g), (c + g, c + g)], 2.2), p.line([(c - g, c + g), (c + g, c - g)], 2.2)))
        else:
            gm = aa_mask(sz, lambda p: p.rrect(c - g - 1, c - 1.2, c + g + 1, c + 1.4, 1))
        colour = {0: IVORY, 1: (255, 246, 224), 2: PARCHMENT, 3: (140, 140, 140)}[state]
        shadow(img, gm, 0, 1, 0.6, 0.9)
        fill(img, colour, gm)
        frames.append(img)
    strip = Image.new("RGB", (size, size * 4))
    for i, f in enumerate(frames):
        strip.paste(f, (0, i * size))
    out = strip.convert("RGBA")
    out.putalpha(255)
    return out


# --------------------------------------------------------------------------
# The game window's title strip (bitmaps 136, 141 and the nine buttons)

def strip_background(width):
    img = vgrad((width, TITLE_H), [(0, (40, 48, 100)), (0.5, (24, 31, 70)), (1, (12, 16, 40))], 1, TITLE_H - 3)
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (width, 0)], fill=(60, 68, 128))
    d.line([(0, TITLE_H - 3), (width, TITLE_H - 3)], fill=(8, 10, 26))
    d.line([(0, TITLE_H - 2), (width, TITLE_H - 2)], fill=GOLD)
    d.line([(0, TITLE_H - 1), (width, TITLE_H - 1)], fill=GOLD_DEEP)
    return img


def make_title_tile():
    return strip_background(66)


def make_logo():
    w = 144
    img = strip_background(w)
    gem(img, 11, 13.5, 4.5, shape="diamond")
    m = text_mask((w, TITLE_H), (79, 13.5), "PellumoZarvotek", serif(13, condensed=True))
    fill(img, (0, 0, 0), ImageChops.offset(m, 1, 1), 0.85)
    fill(img, vgrad((w, TITLE_H), [(0, GOLD_HI), (0.5, GOLD_LIGHT), (1, GOLD)], 7, 20), m)
    return img


def glyph_mask(size, kind, dx):
    w, h = size
    c, cy = w / 2.0 + dx, 13.5 + dx
    g = 5.0
    if kind == "close":
        return aa_mask(size, lambda p: (p.line([(c - g, cy - g), (c + g, cy + g)], 1.9), p.line([(c - g, cy + g), (c + g, cy - g)], 1.9)))
    if kind == "min":
        return aa_mask(size, lambda p: p.rect(c - g, cy + 2.5, c + g, cy + 4.3))
    if kind == "max":
        return aa_mask(size, lambda p: (frame_rect(p, c - g, cy - g, c + g, cy + g, 1.4), p.rect(c - g, cy - g, c + g, cy - g + 2.6)))
    if kind == "restore":
        def two(p):
            frame_rect(p, c - g + 3, cy - g, c + g, cy + g - 3, 1.3)
            p.rect(c - g, cy - g + 3, c + g - 3, cy + g, 0)
            frame_rect(p, c - g, cy - g + 3, c + g - 3, cy + g, 1.3)
            p.rect(c - g, cy - g + 3, c + g - 3, cy - g + 5.4)
        return aa_mask(size, two)
    raise ValueError(kind)


def title_button(width, kind=None, label=None, visible=None, danger=False):
    """Four 30-pixel frames for the title strip; `visible` is the width the
    window actually shows (some buttons are laid out narrower than their strip)."""
    visible = width if visible is None else visible
    frames = []
    for state in range(4):
        img = strip_background(width)
        sz = (width, TITLE_H)
        dx = 1 if state == 2 else 0
        if label is None:
            x0, x1 = 2.0, visible - 2.0
        else:
            x0, x1 = 2.5, visible - 2.5
        y0, y1 = 3.0, TITLE_H - 5.0
        plate = aa_mask(sz, lambda p: p.rrect(x0 + dx, y0 + dx, x1 + dx, y1 + dx, 4))
        rim = ImageChops.subtract(plate, aa_mask(sz, lambda p: p.rrect(x0 + dx + 1.2, y0 + dx + 1.2, x1 + dx - 1.2, y1 + dx - 1.2, 3)))
        if label is not None or state in (1, 2):
            if state == 0:
                body, rim_k, rim_c = [(0, (40, 46, 100)), (1, (20, 24, 58))], 0.75, GOLD_DARK
            elif state == 1:
                body = [(0, (150, 50, 58)), (1, (84, 22, 36))] if danger else [(0, (72, 80, 160)), (1, (34, 40, 96))]
                rim_k, rim_c = 1.0, GOLD_LIGHT
            elif state == 2:
                body = [(0, (60, 16, 26)), (1, (100, 34, 44))] if danger else [(0, (12, 14, 36)), (1, (30, 36, 80))]
                rim_k, rim_c = 1.0, GOLD
            else:
                body, rim_k, rim_c = [(0, (38, 40, 52)), (1, (24, 26, 36))], 0.6, (96, 92, 84)
            if state == 1:
                fill(img, (120, 100, 60), plate.filter(ImageFilter.GaussianBlur(1.5)), 0.6)
            fill(img, vgrad(sz, body, int(y0), int(y1)), plate)
            if state == 2:
                fill(img, (0, 0, 0), ImageChops.subtract(plate, ImageChops.offset(plate, 1, 1)), 0.6)
            fill(img, rim_c, rim, rim_k)
        colour = {0: PARCHMENT, 1: (255, 244, 220), 2: GOLD_LIGHT, 3: (120, 118, 112)}[state]
        if label is not None:
            cx = visible / 2.0 + dx
            m = text_mask(sz, (cx, 13.5 + dx), label, cjk(12))
            shadow(img, m, 1, 1, 0.8, 0.9)
            if state == 1:
                fill(img, vgrad(sz, [(0, GOLD_HI), (1, GOLD_LIGHT)], 7, 21), m)
            else:
                fill(img, colour, m)
        else:
            m = glyph_mask(sz, kind, dx)
            shadow(img, m, 1, 1, 0.8, 0.9)
            if state == 0:
                fill(img, vgrad(sz, [(0, GOLD_LIGHT), (1, GOLD)], 8, 20), m)
            else:
                fill(img, colour, m)
        frames.append(img)
    strip = Image.new("RGB", (width, TITLE_H * 4))
    for i, f in enumerate(frames):
        strip.paste(f, (0, i * TITLE_H))
    return strip


# --------------------------------------------------------------------------
# Confirmation dialog (bitmap 177 and the buttons 175, 176)

CONFIRM_SIZE = (256, 110)
CONFIRM_OK = (40, 72, 74, 26)
CONFIRM_CANCEL = (140, 72, 74, 26)


def make_confirm_background():
    w, h = CONFIRM_SIZE
    img = vgrad((w, h), [(0, (30, 34, 84)), (0.3, (20, 26, 62)), (1, (10, 14, 36))])
    fr = aa_mask((w, h), lambda p: frame_rect(p, 0, 0, w, h, 4))
    gold_shape(img, fr, (0, 0, w, h), radius=1.0, k=2.4, edge=False)
    fill(img, NAVY_DEEP, aa_mask((w, h), lambda p: frame_rect(p, 4, 4, w - 4, h - 4, 1)))
    fill(img, GOLD_DARK, aa_mask((w, h), lambda p: frame_rect(p, 6, 6, w - 6, h - 6, 1)), 0.8)
    # soft light behind the title
    halo = aa_mask((w, h), lambda p: p.ellipse(w / 2.0, 14, 90, 22)).filter(ImageFilter.GaussianBlur(12))
    fill(img, (56, 60, 128), halo, 0.45)
    # small ornaments beside the title
    for cx in (44, w - 44):
        m = aa_mask((w, h), lambda p: (p.poly([(cx - 26, 17), (cx, 16.2), (cx + 26, 17), (cx, 17.8)]), diamond(p, cx, 17, 4, 4)))
        gold_shape(img, m, (cx - 26, 12, cx + 26, 22), radius=0.6, k=1.6, edge=False)
    for (cx, cy) in ((7, 7), (w - 7, 7), (7, h - 7), (w - 7, h - 7)):
        m = aa_mask((w, h), lambda p: diamond(p, cx, cy, 4.5))
        gold_shape(img, m, (cx - 5, cy - 5, cx + 5, cy + 5), radius=0.6, k=1.8, edge=False)
    return img


def confirm_button(background, place, label, primary):
    bx, by, bw, bh = place
    under = background.crop((bx, by, bx + bw, by + bh))
    frames = []
    for state in range(4):
        img = under.copy()
        sz = (bw, bh)
        dx = 1 if state == 2 else 0
        outer = aa_mask(sz, lambda p: p.rrect(1 + dx, 1 + dx, bw - 1 + dx, bh - 1 + dx, 6))
        inner = aa_mask(sz, lambda p: p.rrect(3 + dx, 3 + dx, bw - 3 + dx, bh - 3 + dx, 4.5))
        if state == 1:
            fill(img, (160, 130, 70), outer.filter(ImageFilter.GaussianBlur(1.5)), 0.7)
        shadow(img, outer, 1, 1, 1.0, 0.8)
        stops = GOLD_STOPS if state != 3 else [(0, (150, 146, 140)), (1, (80, 78, 76))]
        if state == 2:
            stops = [(0, GOLD_DARK), (0.5, GOLD), (1, GOLD_LIGHT)]
        fill(img, vgrad(sz, stops, 1, bh - 1), outer)
        bevel(img, outer, radius=0.7, k=1.6)
        if primary:
            body = {0: [(0, (40, 128, 104)), (1, (12, 62, 50))], 1: [(0, (70, 170, 140)), (1, (20, 90, 72))],
                    2: [(0, (10, 50, 40)), (1, (30, 100, 80))], 3: [(0, (60, 64, 66)), (1, (36, 38, 40))]}[state]
        else:
            body = {0: [(0, (50, 56, 120)), (1, (20, 24, 60))], 1: [(0, (80, 88, 170)), (1, (34, 40, 98))],
                    2: [(0, (14, 16, 42)), (1, (40, 46, 104))], 3: [(0, (60, 62, 70)), (1, (36, 38, 44))]}[state]
        fill(img, vgrad(sz, body, 3, bh - 3), inner)
        bevel(img, inner, radius=1.0, hi=(200, 220, 230) if state != 2 else (0, 0, 0), lo=(0, 0, 0), k=1.0)
        m = text_mask(sz, (bw / 2.0 + dx, bh / 2.0 - 0.5 + dx), label, cjk(13))
        shadow(img, m, 1, 1, 0.8, 1.0)
        fill(img, {0: IVORY, 1: (255, 248, 230), 2: PARCHMENT, 3: (150, 150, 150)}[state], m)
        frames.append(img)
    strip = Image.new("RGB", (bw, bh * 4))
    for i, f in enumerate(frames):
        strip.paste(f, (0, i * bh))
    return strip


# --------------------------------------------------------------------------
# Icon 128: the emblem on its own, 64 x 64, 32 bits per pixel

def make_icon_image():
    n = 64
    img = Image.new("RGB", (n, n), GOLD_DEEP)
    shape = aa_mask((n, n), lambda p: crest_outline(p, 32, 7, 54, 55))
    draw_crest(img, 32, 7, 54, 55)
    out = img.convert("RGBA")
    out.putalpha(shape)
    return out


def ico_bytes(img):
    """A .ico holding exactly one 32-bpp DIB image (with its AND mask)."""
    w, h = img.size
    rows = []
    mask_rows = []
    px = img.load()
    for y in range(h - 1, -1, -1):                      # bottom-up
        row = bytearray()
        bits = bytearray((w + 31) // 32 * 4)
        for x in range(w):
            r, g, b, a = px[x, y]
            if a == 0:
                r = g = b = 0
                bits[x // 8] |= 0x80 >> (x % 8)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
        mask_rows.append(bytes(bits))
    xor = b"".join(rows)
    andm = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
    data = header + xor + andm
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), 6 + 16)
    return icondir + entry + data


# --------------------------------------------------------------------------

def check_keys(name, img):
    """No opaque pixel may be pure yellow or pure red (colour keys)."""
    rgba = img.convert("RGBA")
    for r, g, b, a in rgba.getdata():
        if a == 255 and ((r, g, b) == (255, 255, 0) or (r, g, b) == (255, 0, 0)):
            raise SystemExit("%s holds a colour-key pixel" % name)


def save_png(img, folder, name):
    check_keys(name, img)
    img.save(os.path.join(folder, name), format="PNG", optimize=False, compress_level=9)


def save_bmp(img, folder, name):
    img.save(os.path.join(folder, name), format="BMP")


def main(argv):
    out = argv[1] if len(argv) > 1 else DEFAULT_OUT
    os.makedirs(out, exist_ok=True)

    launcher = make_launcher()
    save_png(launcher, out, "png_155.png")
    save_png(round_button_strip(launcher, CLOSE_BTN, "close"), out, "png_160.png")
    save_png(round_button_strip(launcher, MIN_BTN, "min"), out, "png_162.png")

    save_png(title_button(30, "close", danger=True), out, "png_166.png")
    save_png(title_button(29, "restore"), out, "png_189.png")
    save_png(title_button(29, "max"), out, "png_168.png")
    save_png(title_button(29, "min"), out, "png_169.png")
    save_png(title_button(64, label="全屏"), out, "png_167.png")
    save_png(title_button(106, label="老板键 F10", visible=104), out, "png_164.png")
    save_png(title_button(82, label="刷新", visible=80), out, "png_170.png")
    save_png(title_button(61, label="选服"), out, "png_171.png")
    save_png(title_button(87, label="清理缓存", visible=85), out, "png_1000.png")

    confirm = make_confirm_background()
    save_png(confirm_button(confirm, CONFIRM_OK, "确定", True), out, "png_175.png")
    save_png(confirm_button(confirm, CONFIRM_CANCEL, "取消", False), out, "png_176.png")

    save_bmp(make_title_tile(), out, "bmp_136.bmp")
    save_bmp(make_logo(), out, "bmp_141.bmp")
    save_bmp(confirm, out, "bmp_177.bmp")
    black = Image.new("P", (57, 40), 0)
    black.putpalette([0, 0, 0] * 256)
    save_bmp(black, out, "bmp_187.bmp")

    with open(os.path.join(out, "icon_128.ico"), "wb") as f:
        f.write(ico_bytes(make_icon_image()))


if __name__ == "__main__":
    main(sys.argv)
