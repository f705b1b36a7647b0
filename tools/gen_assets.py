#!/usr/bin/python3
"""Draws every picture and synthesises every sound of moxsim into assets/.

Run `python3 tools/gen_assets.py` from anywhere; add `--contact-sheet` to also write assets/contact_sheet.png and
assets/2x/contact_sheet.png, one picture showing every asset at its own size on the page colour. The output is
reproducible: the same Pillow and fonts give the same bytes (no timestamps, fixed seeds, fixed JPEG settings).

Every picture is drawn twice from the same code: at its layout size into assets/, and at twice that into assets/2x/
for screens that show the program enlarged. The drawing code works in layout pixels; the canvas multiplies every
coordinate, line width, radius, font size and blur by the zoom Z, and noise and gradients are made per output pixel,
so the 2x pictures are drawn, not enlarged. The sounds and the icon are made once.

Needs Debian's python3-pil and fonts-noto-cjk. The build only embeds the files; it never runs this script.
"""
import io
import math
import os
import random
import struct
import sys
import wave
from array import array

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont
except ImportError:  # a python3 without Pillow (e.g. a pyenv shim) shadows the system one
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSETS = os.path.join(ROOT, "assets")
OUT = ASSETS  # where the set being drawn goes

PAGE = (39, 21, 10)  # the window background, also the see-through colour of buttons lying on the page
KEY_TOL = 6  # the front end treats pixels this close to PAGE (per channel) as see-through
OUTLINE = (12, 7, 3)  # dark rim around see-through shapes: soft against the page, far enough from PAGE
S = 4  # supersampling factor of every drawing
Z = 1  # output pixels per layout pixel of the set being drawn: 1, or 2 for the 2x set

GOLD = [(0.0, (255, 236, 160)), (0.45, (214, 162, 62)), (0.55, (176, 118, 34)), (1.0, (232, 186, 90))]
BRONZE = [(0.0, (206, 150, 82)), (0.5, (140, 86, 38)), (1.0, (96, 56, 24))]
DARK_BRONZE = [(0.0, (120, 76, 36)), (1.0, (64, 38, 16))]
CREAM = (255, 247, 206)
YELLOW = (255, 226, 120)

# ---------------------------------------------------------------------------------------------- fonts

FONT_FILES = {
    "sans": "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
    "sans_regular": "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "serif": "/usr/share/fonts/opentype/noto/NotoSerifCJK-Bold.ttc",
}
_face_index = {}
_fonts = {}


def font(face, size):
    """The Simplified Chinese face of a Noto CJK collection (index 0 is the Japanese one)."""
    key = (face, size)
    if key not in _fonts:
        path = FONT_FILES[face]
        if face not in _face_index:
            for i in range(16):
                name = ImageFont.truetype(path, 12, index=i).getname()[0]
                if name.endswith(" SC") and "Mono" not in name:
                    _face_index[face] = i
                    break
            else:
                raise SystemExit(f"no Simplified Chinese face in {path}")
        _fonts[key] = ImageFont.truetype(path, size, index=_face_index[face])
    return _fonts[key]


# ---------------------------------------------------------------------------------------------- colour helpers


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def shade(c, f):
    """f < 1 darkens, f > 1 lightens towards white."""
    if f <= 1:
        return tuple(round(v * f) for v in c[:3])
    return mix(c[:3], (255, 255, 255), min(1.0, f - 1))


def stop_colour(stops, t):
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, 0 if t1 == t0 else (t - t0) / (t1 - t0))
    return stops[-1][1]


def gradient(w, h, stops, vertical=True):
    n = h if vertical else w
    strip = Image.new("RGBA", (1, n) if vertical else (n, 1))
    cols = []
    for i in range(n):
        c = stop_colour(stops, i / (n - 1) if n > 1 else 0)
        cols.append(c if len(c) == 4 else c + (255,))
    strip.putdata(cols)
    return strip.resize((w, h), Image.NEAREST)


def noise(w, h, seed, amount):
    """Grey noise around 128 for ImageChops.overlay, from a fixed seed."""
    rnd = random.Random(seed)
    im = Image.new("L", (w, h))
    im.putdata([128 + int(rnd.gauss(0, amount)) for _ in range(w * h)])
    return im.convert("RGB")


# ---------------------------------------------------------------------------------------------- canvas


class Canvas:
    """An RGBA drawing surface in layout-pixel coordinates, rendered at S times the output size (Z times the layout
    size) for smooth edges."""

    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.im = Image.new("RGBA", (w * Z * S, h * Z * S), bg if len(bg) == 4 else tuple(bg) + (255,))
        self.d = ImageDraw.Draw(self.im)

    @staticmethod
    def sc(v):
        return round(v * S * Z)

    def box(self, b):
        return [self.sc(v) for v in b]

    def pts(self, p):
        return [(self.sc(x), self.sc(y)) for x, y in p]

    def rrect(self, b, r, fill=None, outline=None, width=1):
        self.d.rounded_rectangle(self.box(b), radius=self.sc(r), fill=fill, outline=outline,
                                 width=max(1, self.sc(width)))

    def rect(self, b, fill=None, outline=None, width=1):
        self.d.rectangle(self.box(b), fill=fill, outline=outline, width=max(1, self.sc(width)))

    def ellipse(self, b, fill=None, outline=None, width=1):
        self.d.ellipse(self.box(b), fill=fill, outline=outline, width=max(1, self.sc(width)))

    def circle(self, cx, cy, r, **kw):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), **kw)

    def polygon(self, p, fill=None, outline=None):
        self.d.polygon(self.pts(p), fill=fill, outline=outline)

    def line(self, p, fill, width=1, joint="curve"):
        self.d.line(self.pts(p), fill=fill, width=max(1, self.sc(width)), joint=joint)

    def _layer(self, b, pad=0):
        x0, y0, x1, y1 = self.box(b)
        x0, y0, x1, y1 = x0 - pad, y0 - pad, x1 + pad + 1, y1 + pad + 1
        return x0, y0, max(1, x1 - x0), max(1, y1 - y0)

    def _paste(self, colour_im, mask, x0, y0):
        colour_im = colour_im.copy()
        colour_im.putalpha(ImageChops.multiply(colour_im.getchannel("A"), mask))
        self.im.alpha_composite(colour_im, (x0, y0)) if x0 >= 0 and y0 >= 0 else self._paste_clipped(colour_im, x0, y0)

    def _paste_clipped(self, layer, x0, y0):
        full = Image.new("RGBA", self.im.size, (0, 0, 0, 0))
        full.paste(layer, (x0, y0))
        self.im.alpha_composite(full)

    def grad(self, shape, b, stops, vertical=True, r=0, points=None):
        """Fill a shape ('rrect', 'ellipse', 'polygon') with a gradient across its bounding box."""
        if points is not None:
            xs, ys = [x for x, _ in points], [y for _, y in points]
            b = (min(xs), min(ys), max(xs), max(ys))
        x0, y0, w, h = self._layer(b)
        mask = Image.new("L", (w, h), 0)
        md = ImageDraw.Draw(mask)
        if shape == "rrect":
            bb = [v - o for v, o in zip(self.box(b), (x0, y0, x0, y0))]
            md.rounded_rectangle(bb, radius=self.sc(r), fill=255)
        elif shape == "ellipse":
            md.ellipse([v - o for v, o in zip(self.box(b), (x0, y0, x0, y0))], fill=255)
        else:
            md.polygon([(x - x0, y - y0) for x, y in self.pts(points)], fill=255)
        self._paste(gradient(w, h, stops, vertical), mask, x0, y0)

    def glow(self, b, colour, blur, shape="ellipse", r=0):
        pad = self.sc(blur * 3)
        x0, y0, w, h = self._layer(b, pad)
        mask = Image.new("L", (w, h), 0)
        md = ImageDraw.Draw(mask)
        bb = [v - o for v, o in zip(self.box(b), (x0, y0, x0, y0))]
        if shape == "ellipse":
            md.ellipse(bb, fill=colour[3] if len(colour) == 4 else 255)
        else:
            md.rounded_rectangle(bb, radius=self.sc(r), fill=colour[3] if len(colour) == 4 else 255)
        mask = mask.filter(ImageFilter.GaussianBlur(self.sc(blur)))
        self._paste(Image.new("RGBA", (w, h), tuple(colour[:3]) + (255,)), mask, x0, y0)

    def text(self, xy, s, size, fill, face="sans", anchor="mm", stroke=0, stroke_fill=None, shadow=None):
        f = font(face, self.sc(size))
        x, y = self.sc(xy[0]), self.sc(xy[1])
        if shadow:
            self.d.text((x + self.sc(shadow[0]), y + self.sc(shadow[1])), s, font=f, fill=shadow[2], anchor=anchor,
                        stroke_width=self.sc(stroke), stroke_fill=shadow[2])
        self.d.text((x, y), s, font=f, fill=fill, anchor=anchor, stroke_width=self.sc(stroke), stroke_fill=stroke_fill)

    def grad_text(self, xy, s, size, stops, face="serif", anchor="mm", stroke=0, stroke_fill=(20, 10, 4)):
        f = font(face, self.sc(size))
        x, y = self.sc(xy[0]), self.sc(xy[1])
        if stroke:
            self.d.text((x, y), s, font=f, fill=stroke_fill, anchor=anchor, stroke_width=self.sc(stroke),
                        stroke_fill=stroke_fill)
        l, t, r, b = self.d.textbbox((x, y), s, font=f, anchor=anchor)
        mask = Image.new("L", (r - l + 2, b - t + 2), 0)
        ImageDraw.Draw(mask).text((x - l, y - t), s, font=f, fill=255, anchor=anchor)
        self._paste(gradient(mask.width, mask.height, stops), mask, l, t)

    def final(self):
        return self.im.resize((self.w * Z, self.h * Z), Image.BOX)

    def final_rgb(self, bg=PAGE):
        base = Image.new("RGB", (self.w * Z, self.h * Z), bg)
        f = self.final()
        base.paste(f.convert("RGB"), mask=f.getchannel("A"))
        return base


def text_width(s, size, face="sans"):
    return font(face, size).getlength(s)


# ---------------------------------------------------------------------------------------------- metal pieces


def inset(b, d):
    return (b[0] + d, b[1] + d, b[2] - d, b[3] - d)


def metal_frame(c, b, r=6, width=5, stops=GOLD, inner=None, inner_stops=None):
    """A bevelled metal frame; the inside is filled with `inner` (a colour) or `inner_stops` (a gradient)."""
    c.rrect(b, r + 1, fill=OUTLINE + (255,))
    c.grad("rrect", inset(b, 1), stops, r=r)
    c.rrect(inset(b, 1), r, outline=(255, 246, 200, 110), width=0.75)
    ib = inset(b, width)
    if inner_stops:
        c.rrect(inset(ib, -1), max(1, r - width + 2), fill=(30, 16, 6, 255))
        c.grad("rrect", ib, inner_stops, r=max(1, r - width + 1))
    elif inner:
        c.rrect(inset(ib, -1), max(1, r - width + 2), fill=(30, 16, 6, 255))
        c.rrect(ib, max(1, r - width + 1), fill=inner)
    if inner or inner_stops:  # a recess: shadow along the top and left inner edge
        c.line([(ib[0] + 1, ib[3] - 2), (ib[0] + 1, ib[1] + 1), (ib[2] - 2, ib[1] + 1)], (0, 0, 0, 90), 1.2)


def rivet(c, x, y, r=3.2):
    c.circle(x + 0.6, y + 0.8, r + 0.6, fill=(10, 5, 2, 160))
    c.grad("ellipse", (x - r, y - r, x + r, y + r), [(0, (255, 240, 190)), (0.5, (196, 142, 60)), (1, (92, 56, 20))])
    c.circle(x - r * 0.35, y - r * 0.35, r * 0.3, fill=(255, 252, 230, 200))


def corner_rivets(c, b, d=9, r=3.2):
    for x, y in ((b[0] + d, b[1] + d), (b[2] - d, b[1] + d), (b[0] + d, b[3] - d), (b[2] - d, b[3] - d)):
        rivet(c, x, y, r)


def panel(w, h, vis_w=None, vis_h=None, seed=1):
    """A dark riveted panel in a bronze frame; vis_w/vis_h limit it to the part that is shown."""
    vw, vh = vis_w or w, vis_h or h
    c = Canvas(w, h, PAGE)
    b = (0, 0, vw - 1, vh - 1)
    metal_frame(c, b, r=10, width=7, stops=BRONZE,
                inner_stops=[(0, (74, 44, 22)), (0.5, (58, 33, 16)), (1, (44, 25, 12))])
    corner_rivets(c, b, d=3.5, r=2.6)
    # a faint inner engraved line
    c.rrect(inset(b, 12), 6, outline=(120, 80, 40, 90), width=1)
    return c


def textured(img, seed, amount=5):
    return ImageChops.overlay(img, noise(img.width, img.height, seed, amount))


def slot_frame(c, x, y, w, h, label=None, label_pos="above"):
    """The frame around a bench slot of w x h at (x, y): the slot picture covers the inside exactly."""
    metal_frame(c, (x - 4, y - 4, x + w + 3, y + h + 3), r=5, width=4, stops=GOLD,
                inner_stops=[(0, (18, 10, 5)), (1, (44, 26, 13))])
    # faint cross-hair so an empty slot reads as a socket
    cx, cy = x + w / 2, y + h / 2
    c.circle(cx, cy, min(w, h) * 0.28, outline=(150, 104, 50, 70), width=1)
    c.line([(cx - 6, cy), (cx + 6, cy)], (150, 104, 50, 70), 1)
    c.line([(cx, cy - 6), (cx, cy + 6)], (150, 104, 50, 70), 1)
    if label:
        ly = y - 15 if label_pos == "above" else y + h + 15
        plate_label(c, cx, ly, label)


def plate_label(c, cx, cy, s, size=13):
    w = text_width(s, size) + 16
    c.rrect((cx - w / 2, cy - 9, cx + w / 2, cy + 9), 4, fill=(22, 12, 5, 230), outline=(170, 120, 55, 255), width=1)
    c.text((cx, cy), s, size, YELLOW, stroke=0.6, stroke_fill=(40, 20, 4))


def recess(c, b, r=6, fill=PAGE):
    """A plain recessed area under a control that draws itself (buttons, links, labels)."""
    c.rrect(inset(b, -3), r + 2, fill=(150, 100, 45, 255))
    c.rrect(inset(b, -2), r + 1, fill=(30, 16, 6, 255))
    c.rrect(b, r, fill=tuple(fill) + (255,))


# ---------------------------------------------------------------------------------------------- items

CHIP_COLOURS = [(150, 150, 156), (128, 196, 112), (58, 186, 96), (64, 176, 214), (66, 116, 236),
                (134, 96, 236), (186, 74, 220), (236, 126, 44), (246, 176, 34), (255, 214, 70)]


def chip(c, cx, cy, size, level):
    """A microchip whose colour and trim rise with its level: grey, greens, blues, purples, orange, gold."""
    base = CHIP_COLOURS[level]
    half = size / 2
    pin_col = (200, 200, 206) if level < 7 else (250, 210, 110)
    n = 4
    body = (cx - half * 0.78, cy - half * 0.78, cx + half * 0.78, cy + half * 0.78)
    for i in range(n):  # pins on all four sides
        t = body[0] + (body[2] - body[0]) * (i + 0.5) / n
        pw = size * 0.06
        for pb in ((t - pw, cy - half, t + pw, body[1] + 1), (t - pw, body[3] - 1, t + pw, cy + half)):
            c.rect(pb, fill=OUTLINE + (255,))
            c.rect(inset(pb, 0.7), fill=pin_col + (255,))
        tv = body[1] + (body[3] - body[1]) * (i + 0.5) / n
        for pb in ((cx - half, tv - pw, body[0] + 1, tv + pw), (body[2] - 1, tv - pw, cx + half, tv + pw)):
            c.rect(pb, fill=OUTLINE + (255,))
            c.rect(inset(pb, 0.7), fill=pin_col + (255,))
    if level >= 7:
        c.glow(inset(body, -size * 0.02 * (level - 6)), base + (110 + 30 * (level - 7),), size * 0.05 * (level - 5),
               shape="rrect", r=size * 0.08)
    c.rrect(inset(body, -1), size * 0.1, fill=OUTLINE + (255,))
    c.grad("rrect", body, [(0, shade(base, 1.35)), (0.5, base), (1, shade(base, 0.55))], r=size * 0.09)
    rim = (240, 200, 100, 255) if level >= 7 else (230, 236, 240, 150)
    c.rrect(inset(body, size * 0.04), size * 0.07, outline=rim, width=max(0.8, size * 0.02))
    die = inset(body, size * 0.15)
    c.rrect(die, size * 0.05, fill=shade(base, 0.35) + (255,))
    # circuit traces on the die
    tr = shade(base, 1.25) + (200,)
    dx0, dy0, dx1, dy1 = die
    for k in range(3):
        yy = dy0 + (dy1 - dy0) * (k + 1) / 4
        c.line([(dx0 + 2, yy), (dx0 + (dx1 - dx0) * 0.3, yy), (dx0 + (dx1 - dx0) * 0.38, yy - 2)], tr, size * 0.018)
        c.line([(dx1 - 2, yy), (dx1 - (dx1 - dx0) * 0.3, yy), (dx1 - (dx1 - dx0) * 0.38, yy + 2)], tr, size * 0.018)
    core_r = size * 0.13
    heart = (255, 70, 60) if level == 9 else base
    c.glow((cx - core_r, cy - core_r, cx + core_r, cy + core_r), shade(heart, 1.5) + (255,), size * 0.04)
    c.grad("ellipse", (cx - core_r, cy - core_r, cx + core_r, cy + core_r),
           [(0, (255, 255, 250)), (0.45, shade(heart, 1.3)), (1, shade(heart, 0.8))])
    if level == 9:
        sparkle(c, cx + size * 0.3, cy - size * 0.3, size * 0.16)


def sparkle(c, x, y, r, colour=(255, 255, 235)):
    c.polygon([(x, y - r), (x + r * 0.22, y - r * 0.22), (x + r, y), (x + r * 0.22, y + r * 0.22), (x, y + r),
               (x - r * 0.22, y + r * 0.22), (x - r, y), (x - r * 0.22, y - r * 0.22)], fill=colour + (240,))


def badge(c, x, y, level, size):
    """The +N badge in the top-left corner of chips of level 1 to 9."""
    s = f"+{level}"
    w = text_width(s, size) + size * 0.6
    h = size * 1.15
    c.rrect((x, y, x + w, y + h), h * 0.3, fill=OUTLINE + (255,))
    c.grad("rrect", inset((x, y, x + w, y + h), 0.8), [(0, (236, 64, 40)), (1, (150, 20, 14))], r=h * 0.25)
    c.rrect(inset((x, y, x + w, y + h), 0.8), h * 0.25, outline=(255, 214, 110, 255), width=0.8)
    c.text((x + w / 2, y + h / 2 + 0.3), s, size, (255, 250, 225), stroke=0.3, stroke_fill=(90, 10, 6))


def facets(c, cx, cy, r, base, polys):
    """A gem from facet polygons in unit coordinates, each with a brightness factor."""
    outline = [(cx + x * r, cy + y * r) for x, y in polys[0][0]]
    c.polygon([(x, y) for x, y in grow(outline, (cx, cy), 1.2)], fill=OUTLINE + (255,))
    for pts, f in polys[1:]:
        c.polygon([(cx + x * r, cy + y * r) for x, y in pts], fill=shade(base, f) + (255,))
    for pts, _ in polys[1:]:
        p = [(cx + x * r, cy + y * r) for x, y in pts]
        c.line(p + [p[0]], shade(base, 1.5) + (90,), max(0.5, r * 0.025))


def grow(pts, centre, d):
    out = []
    for x, y in pts:
        vx, vy = x - centre[0], y - centre[1]
        n = math.hypot(vx, vy) or 1
        out.append((x + vx / n * d, y + vy / n * d))
    return out


def small_crystal(c, cx, cy, r):  # blue hexagonal prism
    T, UR, LR, B, LL, UL = (0, -1), (0.5, -0.5), (0.5, 0.55), (0, 1), (-0.5, 0.55), (-0.5, -0.5)
    Ct, Cb = (0.05, -0.42), (0.05, 0.62)
    base = (52, 132, 236)
    c.glow((cx - r * 0.6, cy - r * 0.9, cx + r * 0.6, cy + r * 0.9), (80, 170, 255, 120), r * 0.12)
    facets(c, cx, cy, r, base, [([T, UR, LR, B, LL, UL], 0), ([T, UR, Ct], 1.55), ([T, Ct, UL], 1.75),
                                ([UL, Ct, Cb, LL], 1.2), ([Ct, UR, LR, Cb], 0.75), ([LL, Cb, B], 0.9),
                                ([Cb, LR, B], 0.55)])
    sparkle(c, cx - r * 0.2, cy - r * 0.45, r * 0.22)


def big_crystal(c, cx, cy, r):  # violet brilliant-cut gem
    L, TL, TR, R, B = (-1, -0.2), (-0.55, -0.7), (0.55, -0.7), (1, -0.2), (0, 0.95)
    M1, M2 = (-0.25, -0.2), (0.25, -0.2)
    base = (150, 70, 220)
    c.glow((cx - r, cy - r * 0.8, cx + r, cy + r * 0.9), (190, 110, 255, 120), r * 0.12)
    facets(c, cx, cy, r, base, [([L, TL, TR, R, B], 0), ([TL, TR, M2, M1], 1.7), ([L, TL, M1], 1.35),
                                ([TR, R, M2], 1.05), ([L, M1, B], 1.0), ([M1, M2, B], 1.3), ([M2, R, B], 0.6)])
    sparkle(c, cx - r * 0.3, cy - r * 0.45, r * 0.25)


def magic_crystal(c, cx, cy, r):  # red/pink star crystal with a halo
    base = (232, 46, 96)
    c.glow((cx - r * 0.9, cy - r * 0.9, cx + r * 0.9, cy + r * 0.9), (255, 80, 150, 170), r * 0.18)
    T, Rr, B, Ll = (0, -1), (0.62, 0), (0, 1), (-0.62, 0)
    C = (0, 0)
    facets(c, cx, cy, r, base, [([T, Rr, B, Ll], 0), ([T, C, Ll], 1.7), ([T, Rr, C], 1.15),
                                ([Ll, C, B], 0.95), ([C, Rr, B], 0.6)])
    c.grad("ellipse", (cx - r * 0.16, cy - r * 0.16, cx + r * 0.16, cy + r * 0.16),
           [(0, (255, 255, 255)), (1, (255, 150, 200))])
    sparkle(c, cx + r * 0.55, cy - r * 0.6, r * 0.28, (255, 220, 240))
    sparkle(c, cx - r * 0.6, cy + r * 0.55, r * 0.18, (255, 220, 240))


def catalyst(c, cx, cy, r):  # green round-bottom flask
    neck_w, neck_h = r * 0.34, r * 0.7
    bulb_r = r * 0.68
    by = cy + r * 0.28
    c.circle(cx, by, bulb_r + 1.2, fill=OUTLINE + (255,))
    c.rect((cx - neck_w / 2 - 1.2, cy - r * 0.95, cx + neck_w / 2 + 1.2, by - bulb_r * 0.6), fill=OUTLINE + (255,))
    c.grad("ellipse", (cx - bulb_r, by - bulb_r, cx + bulb_r, by + bulb_r),
           [(0, (200, 236, 224)), (1, (120, 160, 150))])
    c.rect((cx - neck_w / 2, cy - r * 0.88, cx + neck_w / 2, by - bulb_r * 0.5), fill=(186, 226, 214, 255))
    # liquid fills the lower part of the bulb
    lr = bulb_r * 0.86
    liquid = Canvas(c.w, c.h)
    liquid.grad("ellipse", (cx - lr, by - lr, cx + lr, by + lr), [(0, (150, 255, 120)), (1, (30, 150, 40))])
    cut = Image.new("L", liquid.im.size, 0)
    ImageDraw.Draw(cut).rectangle([0, Canvas.sc(by - lr * 0.25), cut.width, cut.height], fill=255)
    liquid.im.putalpha(ImageChops.multiply(liquid.im.getchannel("A"), cut))
    c.im.alpha_composite(liquid.im)
    c.ellipse((cx - lr * 0.95, by - lr * 0.25 - 1.2, cx + lr * 0.95, by - lr * 0.25 + 1.2), fill=(200, 255, 170, 255))
    for bx, byy, br in ((-0.25, 0.25, 0.09), (0.2, 0.45, 0.07), (0.05, 0.05, 0.06)):
        c.circle(cx + bx * r, by + byy * r, br * r, fill=(230, 255, 220, 220))
    c.ellipse((cx - bulb_r * 0.7, by - bulb_r * 0.75, cx - bulb_r * 0.25, by - bulb_r * 0.2),
              fill=(255, 255, 255, 130))
    c.rrect((cx - neck_w / 2 - 2.5, cy - r * 1.0, cx + neck_w / 2 + 2.5, cy - r * 0.8), 1.5,
            fill=(190, 130, 60, 255), outline=OUTLINE + (255,), width=0.8)


def protectant(c, cx, cy, r):  # steel shield with a gold rim and emblem
    pts = [(cx, cy - r), (cx + r * 0.82, cy - r * 0.7), (cx + r * 0.78, cy + r * 0.05), (cx + r * 0.5, cy + r * 0.6),
           (cx, cy + r), (cx - r * 0.5, cy + r * 0.6), (cx - r * 0.78, cy + r * 0.05), (cx - r * 0.82, cy - r * 0.7)]
    c.glow((cx - r * 0.8, cy - r * 0.9, cx + r * 0.8, cy + r * 0.9), (120, 220, 255, 110), r * 0.12)
    c.polygon(grow(pts, (cx, cy), 1.3), fill=OUTLINE + (255,))
    c.grad("polygon", None, [(0, (255, 232, 150)), (1, (176, 116, 30))], points=pts)
    inner = grow(pts, (cx, cy), -r * 0.14)
    c.grad("polygon", None, [(0, (222, 236, 248)), (0.5, (140, 168, 196)), (1, (70, 96, 126))], points=inner)
    # emblem: a small gold cross with a light half on the left
    c.polygon([(cx, cy - r * 0.8), (cx, cy + r * 0.78), (cx - r * 0.55, cy + r * 0.4), (cx - r * 0.64, cy - r * 0.55)],
              fill=(255, 255, 255, 45))
    aw = r * 0.13
    c.rect((cx - aw, cy - r * 0.5, cx + aw, cy + r * 0.55), fill=(255, 214, 90, 255), outline=(110, 70, 10, 255),
           width=0.7)
    c.rect((cx - r * 0.42, cy - r * 0.12 - aw, cx + r * 0.42, cy - r * 0.12 + aw), fill=(255, 214, 90, 255),
           outline=(110, 70, 10, 255), width=0.7)


ITEMS = {
    "small_crystal": small_crystal,
    "big_crystal": big_crystal,
    "magic_crystal": magic_crystal,
    "catalyst": catalyst,
    "protectant": protectant,
}

# ---------------------------------------------------------------------------------------------- output

written = {}  # name -> Image (for the contact sheet)
keyed_quality = {}  # name -> JPEG quality a see-through picture needed


def save_bytes(filename, data):
    with open(os.path.join(OUT, filename), "wb") as f:
        f.write(data)


# JPEG quality of layout pictures per zoom. At 2x the picture is shown at twice the density, where quality 85 looks
# like 92 does at 1x and costs a quarter less; the 2x set also takes optimised Huffman tables (lossless, 10 % smaller;
# the 1x pictures keep their bytes).
LAYOUT_QUALITY = {1: 92, 2: 85}


def jpeg_bytes(img, quality):
    buf = io.BytesIO()
    img.save(buf, "JPEG", quality=quality, subsampling=0, progressive=False, optimize=Z > 1)
    return buf.getvalue()


def save_jpeg(name, img):
    assert img.mode == "RGB"
    save_bytes(name + ".jpg", jpeg_bytes(img, LAYOUT_QUALITY[Z]))
    written[name] = img


def near_page(p, tol=KEY_TOL):
    return all(abs(a - b) <= tol for a, b in zip(p, PAGE))


def save_keyed(name, c, margin=2):
    """A picture whose see-through parts are exactly the page colour: hard shape edges, a page-coloured margin,
    no page-like colour inside the shape, and a check that JPEG keeps both apart within the front end's tolerance."""
    f = c.final()
    alpha = f.getchannel("A").point(lambda a: 255 if a >= 128 else 0)
    img = Image.new("RGB", f.size, PAGE)
    img.paste(f.convert("RGB"), mask=alpha)
    w, h = img.size
    px, am = img.load(), alpha.load()
    for y in range(h):
        for x in range(w):
            if am[x, y] and (x < margin * Z or y < margin * Z or x >= w - margin * Z or y >= h - margin * Z):
                raise SystemExit(f"{name}: shape touches the margin at {x},{y}")
            if am[x, y] and near_page(px[x, y], KEY_TOL + 8):
                px[x, y] = OUTLINE
    # JPEG rings around the hard edge between page and metal; raise the quality until no see-through pixel
    # drifts out of the key tolerance and no shape pixel drifts into it.
    for quality in sorted({LAYOUT_QUALITY[Z], 92, 95, 97, 98, 99, 100}):
        data = jpeg_bytes(img, quality)
        dec = Image.open(io.BytesIO(data)).convert("RGB").load()
        bad_bg = sum(1 for y in range(h) for x in range(w) if not am[x, y] and not near_page(dec[x, y]))
        bad_fg = sum(1 for y in range(h) for x in range(w) if am[x, y] and near_page(dec[x, y]))
        if not bad_bg and not bad_fg:
            break
    else:
        raise SystemExit(f"{name}: after JPEG {bad_bg} background pixels off the page colour, "
                         f"{bad_fg} shape pixels keyed away")
    keyed_quality[name] = quality
    save_bytes(name + ".jpg", data)
    written[name] = img


def save_png(name, img):
    buf = io.BytesIO()
    img.save(buf, "PNG", optimize=False, compress_level=9)
    save_bytes(name + ".png", buf.getvalue())
    written[name] = img


# ---------------------------------------------------------------------------------------------- buttons

BUTTON_STATES = {
    "normal": dict(face=GOLD, text=(70, 34, 6), glow=0),
    "hover": dict(face=[(0, (255, 250, 205)), (0.45, (246, 204, 96)), (0.55, (220, 160, 52)), (1, (255, 220, 120))],
                  text=(90, 40, 0), glow=1),
    "pressed": dict(face=[(0, (150, 100, 40)), (0.5, (196, 142, 56)), (1, (236, 190, 96))], text=(60, 28, 4), glow=0),
    "disabled": dict(face=[(0, (150, 144, 134)), (1, (100, 94, 86))], text=(66, 62, 56), glow=0),
}


def small_button(word, state, w=55):
    st = BUTTON_STATES[state]
    c = Canvas(w, 31, PAGE + (0,))
    b = (2, 2, w - 3, 28)
    off = 1 if state == "pressed" else 0
    c.rrect(b, 6, fill=OUTLINE + (255,))
    c.grad("rrect", inset(b, 1.2), st["face"], r=5)
    c.rrect(inset(b, 2.2), 4, outline=(255, 255, 235, 120 if state != "disabled" else 60), width=0.7)
    c.text((w / 2 + off, 15.5 + off), word, 14, st["text"],
           shadow=(0.6, 0.8, (255, 240, 190, 140)) if state != "disabled" else None)
    return c


def big_button(w, h, word, state, face_hue):
    st = BUTTON_STATES[state]
    c = Canvas(w, h, PAGE + (0,))
    b = (2, 2, w - 3, h - 3)
    pressed = state == "pressed"
    off = 1 if pressed else 0
    r = (h - 4) / 2 - 2
    c.rrect(b, r + 1, fill=OUTLINE + (255,))
    c.grad("rrect", inset(b, 1.2), st["face"], r=r)
    inner = inset(b, 5)
    if state == "disabled":
        fstops = [(0, (128, 120, 112)), (1, (84, 78, 72))]
    else:
        k = {"normal": 1.0, "hover": 1.0, "pressed": 0.82}[state]
        top, mid, bot = face_hue
        if state == "hover":  # warmer and brighter, not washed out
            top, mid, bot = mix(top, (255, 236, 150), 0.3), mix(mid, (255, 200, 90), 0.22), mix(bot, (200, 120, 40), 0.15)
        fstops = [(0, shade(top, k)), (0.5, shade(mid, k)), (1, shade(bot, k))]
        if pressed:
            fstops = [(0, shade(bot, k)), (0.5, shade(mid, k)), (1, shade(top, k))]
    c.rrect(inset(inner, -1), r - 3, fill=(40, 16, 4, 255))
    c.grad("rrect", inner, fstops, r=r - 4)
    if state != "disabled":  # glassy highlight on the upper half
        hl = (inner[0] + 6, inner[1] + 1.5, inner[2] - 6, (inner[1] + inner[3]) / 2)
        c.grad("rrect", hl, [(0, (255, 255, 255, 120)), (1, (255, 255, 255, 10))], r=(hl[3] - hl[1]) / 2)
    for x in (b[0] + r * 0.55, b[2] - r * 0.55):
        rivet(c, x, (b[1] + b[3]) / 2, 2.4)
    tcol = (255, 246, 206) if state != "disabled" else (190, 184, 176)
    c.text(((w - 1) / 2 + off, (h - 1) / 2 + off), word, h * 0.42, tcol, face="serif", stroke=1.1,
           stroke_fill=(60, 20, 4) if state != "disabled" else (70, 66, 60))
    return c


def link_button(w, h, word, state, size=15):
    """A text link lying in a recess of the bench or on the page (no see-through colour)."""
    c = Canvas(w, h, PAGE)
    off = 1 if state == "pressed" else 0
    bg = {"normal": [(0, (44, 24, 11)), (1, (32, 17, 7))], "hover": [(0, (70, 40, 16)), (1, (48, 26, 10))],
          "pressed": [(0, (24, 12, 5)), (1, (38, 20, 9))]}[state]
    c.grad("rrect", (0, 0, w - 1, h - 1), bg, r=4)
    c.rrect((0, 0, w - 1, h - 1), 4, outline=(150, 104, 48, 255) if state != "hover" else (240, 200, 110, 255), width=1)
    col = {"normal": (246, 206, 110), "hover": (255, 244, 170), "pressed": (220, 170, 80)}[state]
    tw = text_width(word, size)
    c.text((w / 2 + off, h / 2 - 1 + off), word, size, col, stroke=0.4 * size / 15, stroke_fill=(40, 18, 2))
    under = h / 2 + 9 * size / 15 + off
    c.line([(w / 2 - tw / 2 + off, under), (w / 2 + tw / 2 + off, under)], col + (255,), 1)
    return c


# ---------------------------------------------------------------------------------------------- benches


def enhance_bench():
    # The picture box shows 440 x 410 of the 446 x 417 picture: the frame is drawn inside the part that shows.
    c = panel(446, 417, 440, 410, seed=11)
    # title plate and the decorative machine in the top strip
    metal_frame(c, (150, 10, 290, 40), r=6, width=3, stops=GOLD, inner=(36, 18, 6, 255))
    c.grad_text((220, 24.5), "芯片强化", 19, [(0, (255, 246, 190)), (1, (232, 160, 40))], stroke=0.8)
    # energy core: a ring of metal with a glowing heart, pipes to both sides
    cx, cy = 220, 96
    for x0, x1 in ((60, 176), (264, 380)):
        c.rect((x0, cy - 5, x1, cy + 5), fill=OUTLINE + (255,))
        c.grad("rrect", (x0, cy - 4, x1, cy + 4), [(0, (220, 170, 90)), (0.5, (150, 96, 40)), (1, (80, 46, 18))], r=2)
        for xx in range(x0 + 14, x1 - 4, 26):
            c.rect((xx, cy - 6, xx + 4, cy + 6), fill=(196, 140, 60, 255), outline=OUTLINE + (255,), width=0.6)
    c.glow((cx - 40, cy - 40, cx + 40, cy + 40), (255, 170, 60, 160), 10)
    c.circle(cx, cy, 44, fill=OUTLINE + (255,))
    c.grad("ellipse", (cx - 43, cy - 43, cx + 43, cy + 43), GOLD)
    c.circle(cx, cy, 35, fill=(30, 14, 4, 255))
    c.grad("ellipse", (cx - 32, cy - 32, cx + 32, cy + 32),
           [(0, (255, 250, 210)), (0.35, (255, 190, 70)), (0.75, (220, 90, 20)), (1, (90, 30, 6))])
    for k in range(12):
        a = k * math.pi / 6
        c.circle(cx + math.cos(a) * 39, cy + math.sin(a) * 39, 1.8, fill=(90, 56, 18, 255))
    chip(c, cx, cy, 36, 9)
    # gear on the left, gift pack on the right of the core
    gear(c, 58, 96, 30)
    gift(c, 384, 96, 46, hue=((220, 50, 50), (140, 20, 24)))
    # slot frames: the slots lie on the window, the picture box at (0, 96)
    slot_frame(c, 143, 224, 69, 79, "芯片")
    for x, y in ((264, 169), (360, 169), (265, 263), (361, 263)):
        slot_frame(c, x, y, 61, 63)
    plate_label(c, 343, 150, "晶体")
    slot_frame(c, 34, 172, 61, 63, "催化剂")
    slot_frame(c, 33, 263, 63, 63)
    plate_label(c, 64.5, 341, "防护剂")
    # conduits from the side slots towards the chip
    for (x0, y0, x1, y1) in ((99, 203, 138, 250), (100, 294, 138, 280), (260, 200, 217, 250), (260, 294, 217, 280)):
        c.line([(x0, y0), ((x0 + x1) / 2, y0), ((x0 + x1) / 2, y1), (x1, y1)], (200, 150, 70, 150), 1.5)
    # the success-rate line under the chip (the labels draw over it), the button well and the help link well
    rate_line(c, 133, 319, 256, 342)
    recess(c, (115, 347, 234, 397), r=10)
    recess(c, (16, 356, 105, 383), r=4)
    # a second gift pack fills the lower right corner
    gift(c, 350, 372, 40, hue=((80, 120, 230), (30, 50, 140)))
    c.text((400, 385), "礼包", 12, (230, 200, 140), stroke=0.5, stroke_fill=(30, 14, 4))
    img = textured(c.final_rgb(), 11, 3)
    save_jpeg("enhance_bench", img)


def rate_line(c, x0, y0, x1, y1, label="成功率：", value="未知", bg=(50, 27, 13)):
    c.rrect((x0 - 2, y0 - 2, x1 + 2, y1 + 2), 3, fill=(150, 100, 45, 255))
    c.rect((x0, y0, x1, y1), fill=bg + (255,))
    mid = (y0 + y1) / 2
    lw = text_width(label, 14)
    c.text((x0 + 4, mid), label, 14, (255, 255, 0), anchor="lm")
    c.text((x0 + 6 + lw, mid), value, 14, (255, 255, 255), anchor="lm")


def gear(c, cx, cy, r, teeth=10):
    pts = []
    for k in range(teeth * 2):
        a0 = k * math.pi / teeth
        rr = r if k % 2 == 0 else r * 0.8
        for da in (-0.16, 0.16):
            pts.append((cx + math.cos(a0 + da) * rr, cy + math.sin(a0 + da) * rr))
    c.polygon(grow(pts, (cx, cy), 1.2), fill=OUTLINE + (255,))
    c.grad("polygon", None, BRONZE, points=pts)
    c.circle(cx, cy, r * 0.55, fill=OUTLINE + (255,))
    c.grad("ellipse", (cx - r * 0.5, cy - r * 0.5, cx + r * 0.5, cy + r * 0.5), GOLD)
    c.circle(cx, cy, r * 0.2, fill=(30, 14, 4, 255))


def gift(c, cx, cy, s, hue):
    top, bot = hue
    b = (cx - s / 2, cy - s * 0.32, cx + s / 2, cy + s / 2)
    lid = (cx - s * 0.56, cy - s * 0.46, cx + s * 0.56, cy - s * 0.22)
    c.rect(inset(b, -1.2), fill=OUTLINE + (255,))
    c.grad("rrect", b, [(0, top), (1, bot)], r=2)
    c.rect(inset(lid, -1.2), fill=OUTLINE + (255,))
    c.grad("rrect", lid, [(0, shade(top, 1.2)), (1, top)], r=2)
    rw = s * 0.09
    c.rect((cx - rw, lid[1], cx + rw, b[3]), fill=(255, 210, 90, 255))
    c.rect((b[0], cy + s * 0.05, b[2], cy + s * 0.05 + rw * 1.2), fill=(255, 210, 90, 255))
    for sgn in (-1, 1):  # bow
        c.polygon([(cx, lid[1]), (cx + sgn * s * 0.3, lid[1] - s * 0.22), (cx + sgn * s * 0.34, lid[1] - s * 0.02)],
                  fill=(255, 200, 70, 255), outline=OUTLINE + (255,))
    c.circle(cx, lid[1], rw * 1.1, fill=(255, 230, 140, 255), outline=OUTLINE + (255,))


def arrow(c, x0, y0, x1, y1, w=5):
    ang = math.atan2(y1 - y0, x1 - x0)
    ux, uy = math.cos(ang), math.sin(ang)
    nx, ny = -uy, ux
    hx, hy = x1 - ux * w * 2.2, y1 - uy * w * 2.2
    pts = [(x0 + nx * w / 2, y0 + ny * w / 2), (hx + nx * w / 2, hy + ny * w / 2), (hx + nx * w * 1.4, hy + ny * w * 1.4),
           (x1, y1), (hx - nx * w * 1.4, hy - ny * w * 1.4), (hx - nx * w / 2, hy - ny * w / 2),
           (x0 - nx * w / 2, y0 - ny * w / 2)]
    c.polygon(grow(pts, ((x0 + x1) / 2, (y0 + y1) / 2), 1), fill=OUTLINE + (255,))
    c.grad("polygon", None, GOLD, points=pts)


RULE_LINES = ("合成失败时，等级较低的芯片消失，等级较高的芯片保留",
              "投入的芯片等级越高，合成出9级芯片的几率越大")


def synth_bench():
    c = panel(443, 412, seed=12)
    metal_frame(c, (20, 14, 132, 42), r=6, width=3, stops=GOLD, inner=(36, 18, 6, 255))
    c.grad_text((76, 28.5), "芯片合成", 18, [(0, (255, 246, 190)), (1, (232, 160, 40))], stroke=0.8)
    # flow arrows: both inputs into the plate, the plate into the result
    arrow(c, 112, 114, 150, 168, 5)
    arrow(c, 112, 232, 150, 208, 5)
    arrow(c, 300, 168, 318, 168, 6)
    slot_frame(c, 34, 75, 69, 79, "芯片")
    slot_frame(c, 34, 192, 69, 79)
    c.text((68.5, 173), "+", 22, (255, 220, 120), stroke=1, stroke_fill=OUTLINE)
    slot_frame(c, 185, 30, 63, 63)
    plate_label(c, 216.5, 110, "防护剂")
    c.glow((318, 122, 400, 214), (255, 190, 80, 120), 6, shape="rrect", r=8)
    slot_frame(c, 325, 129, 69, 79, "合成结果")
    # the plate that shows the level a synthesis would give
    metal_frame(c, (140, 148, 298, 228), r=8, width=4, stops=GOLD,
                inner_stops=[(0, (70, 40, 18)), (1, (42, 23, 10))])
    c.text((219, 168), "合成成功后芯片等级", 13, YELLOW, stroke=0.5, stroke_fill=(30, 14, 4))
    recess(c, (194, 197, 241, 220), r=4, fill=(26, 13, 5))
    # success-rate strip: its labels carry their own #321b0d background and text, and only some of them show
    # at a time, so the strip itself stays plain
    c.rrect((155, 233, 304, 261), 3, fill=(150, 100, 45, 255))
    c.rect((157, 235, 302, 259), fill=(50, 27, 13, 255))
    # the two rule lines, clear of the second chip frame above and the button well below
    c.rrect((16, 281, 425, 336), 6, fill=(28, 14, 6, 200), outline=(150, 104, 48, 255), width=1)
    for i, s in enumerate(RULE_LINES):
        c.text((220.5, 296 + i * 25), s, 13, (250, 236, 196), stroke=0.3, stroke_fill=(20, 10, 2))
        c.circle(26, 296 + i * 25, 2.2, fill=(255, 200, 90, 255))
    recess(c, (150, 344, 274, 399), r=12)
    recess(c, (17, 358, 108, 384), r=4)
    gear(c, 392, 372, 22, 8)
    img = textured(c.final_rgb(), 12, 3)
    save_jpeg("synth_bench", img)


BAG_COLS = (34, 100, 166, 232, 298, 364)
BAG_ROWS = (22, 91, 155, 219, 291, 355)
CELL_INNER = (21, 12, 6)


def bag():
    c = panel(443, 457, seed=13)
    for y in BAG_ROWS:
        for x in BAG_COLS:
            b = (x - 3, y - 3, x + 54, y + 54)
            c.rrect(inset(b, -1), 5, fill=OUTLINE + (255,))
            c.grad("rrect", b, [(0, (150, 100, 46)), (1, (86, 52, 22))], r=4)
            c.rect((x, y, x + 51, y + 51), fill=CELL_INNER + (255,))
            c.line([(x, y + 51), (x, y), (x + 51, y)], (0, 0, 0, 140), 1)
    for x, y in ((8, 8), (434, 8), (8, 448), (434, 448)):
        rivet(c, x, y, 3)
    # page indicator 1/1 with its arrows
    cy = 432
    c.rrect((190, cy - 12, 252, cy + 12), 6, fill=(22, 11, 4, 255), outline=(180, 128, 60, 255), width=1)
    c.text((221, cy), "1/1", 15, CREAM)
    for sgn, x in ((-1, 176), (1, 266)):
        c.polygon([(x + sgn * 7, cy), (x - sgn * 5, cy - 8), (x - sgn * 5, cy + 8)], fill=(200, 150, 70, 255),
                  outline=OUTLINE + (255,))
    img = textured(c.final_rgb(), 13, 3)
    save_jpeg("bag", img)


# ---------------------------------------------------------------------------------------------- help panels

HELP_ENHANCE = (
    "强化可以提升芯片的等级，芯片等级越高，提供的属性加成也越高。",
    "强化时必须放入一枚芯片和至少一个晶体。",
    "7级以下的芯片使用小能量晶体和大能量晶体强化；7级及以上的芯片使用魔晶体和大能量晶体强化。",
    "强化成功率由芯片的等级决定，放入更多的晶体、放入充能催化剂或者开启达人加成，都可以提高成功率。",
    "5级、6级和8级芯片强化失败时会降低一级；放入充能防护剂可以防止芯片降级。",
)
HELP_SYNTH = (
    "合成需要放入两枚芯片。",
    "合成成功后获得一枚新芯片，新芯片的等级由两枚芯片的等级共同决定，最高为9级；两枚芯片都会被消耗。",
    "合成失败时，等级较低的芯片消失，等级较高的芯片保留。",
    "7级以下的芯片不能与7级及以上的芯片一起合成。",
    "7级以下的芯片最多合成出7级芯片；9级芯片只能由7级及以上的芯片合成。",
    "投入的芯片等级越高，成功率越高；两枚芯片的等级相差越大，成功率越低。",
)
NO_LINE_START = "，。；：！？、）》"


def wrap(s, size, width, face="sans_regular"):
    lines, cur = [], ""
    for ch in s:
        if text_width(cur + ch, size, face) > width and cur:
            if ch in NO_LINE_START:  # keep punctuation with the character before it
                ch, cur = cur[-1] + ch, cur[:-1]
            lines.append(cur)
            cur = ch
        else:
            cur += ch
    if cur:
        lines.append(cur)
    return lines


def help_panel(name, w, h, title, paras, close_box, ok_box):
    c = panel(w, h, seed=len(name))
    metal_frame(c, (w / 2 - 90, 14, w / 2 + 90, 50), r=8, width=3, stops=GOLD, inner=(40, 20, 6, 255))
    c.grad_text((w / 2, 32), title, 22, [(0, (255, 250, 210)), (1, (236, 160, 40))], stroke=0.9)
    # close cross centred on its click area
    x0, y0, cw, ch = close_box
    ccx, ccy = x0 + cw / 2, y0 + ch / 2
    r = min(cw, ch) / 2 - 0.5
    c.circle(ccx, ccy, r + 1, fill=OUTLINE + (255,))
    c.grad("ellipse", (ccx - r, ccy - r, ccx + r, ccy + r), [(0, (240, 90, 60)), (1, (130, 20, 10))])
    c.circle(ccx, ccy, r, outline=(255, 214, 110, 255), width=1.2)
    k = r * 0.45
    for a, b in (((-k, -k), (k, k)), ((-k, k), (k, -k))):
        c.line([(ccx + a[0], ccy + a[1]), (ccx + b[0], ccy + b[1])], (255, 246, 220, 255), 2.4)
    # text area
    area = (28, 64, w - 29, ok_box[1] - 14)
    c.rrect(area, 8, fill=(26, 13, 5, 210), outline=(150, 104, 48, 255), width=1)
    size, lh = 16, 28
    y = area[1] + 18
    for i, p in enumerate(paras):
        num = f"{i + 1}."
        c.text((area[0] + 14, y), num, size, (255, 210, 100), anchor="lm")
        for j, line in enumerate(wrap(p, size, area[2] - area[0] - 54)):
            c.text((area[0] + 38, y), line, size, (250, 238, 205), face="sans_regular", anchor="lm")
            y += lh
        y += 10
    if y - 10 > area[3]:
        raise SystemExit(f"{name}: help text overflows its area")
    # OK button centred on its click area
    x0, y0, bw, bh = ok_box
    b = (x0, y0, x0 + bw - 1, y0 + bh - 1)
    c.rrect(inset(b, -1), 9, fill=OUTLINE + (255,))
    c.grad("rrect", b, GOLD, r=8)
    c.grad("rrect", inset(b, 4), [(0, (214, 92, 40)), (1, (130, 40, 12))], r=5)
    c.text((x0 + bw / 2, y0 + bh / 2), "确定", 18, CREAM, face="serif", stroke=1, stroke_fill=(60, 20, 4))
    save_jpeg(name, textured(c.final_rgb(), len(name), 3))


# ---------------------------------------------------------------------------------------------- header etc.


def header():
    w, h = 989, 80
    c = Canvas(w, h, PAGE)
    c.grad("rrect", (0, 0, w - 1, h - 1), [(0, (84, 48, 22)), (0.5, (52, 29, 13)), (1, (30, 16, 7))], r=0)
    # circuit traces fading to the right
    rnd = random.Random(4)
    for k in range(26):
        y = rnd.randint(8, 72)
        x = rnd.randint(330, 950)
        ln = rnd.randint(30, 120)
        a = rnd.randint(50, 110)
        c.line([(x, y), (x + ln, y), (x + ln + 8, y + rnd.choice((-8, 8)))], (220, 160, 70, a), 1)
        c.circle(x, y, 2, fill=(240, 190, 90, a + 40))
    for y0, y1 in ((0, 4), (h - 5, h - 1)):
        c.grad("rrect", (0, y0, w - 1, y1), GOLD, r=0)
    chip(c, 48, 40, 54, 9)
    c.grad_text((92, 38), "MOX", 40, [(0, (255, 255, 230)), (0.5, (250, 200, 80)), (1, (190, 110, 20))],
                face="serif", anchor="lm", stroke=1.5)
    c.grad_text((196, 38), "芯片强化模拟器", 34, [(0, (255, 250, 220)), (0.6, (246, 190, 70)), (1, (200, 120, 30))],
                face="serif", anchor="lm", stroke=1.5)
    c.text((442, 52), "V1.21", 14, (230, 200, 140), anchor="lm", stroke=0.5, stroke_fill=(20, 10, 2))
    c.text((880, 40), "强化 · 合成", 16, (230, 190, 120), anchor="rm", stroke=0.5, stroke_fill=(20, 10, 2))
    save_jpeg("header", textured(c.final_rgb(), 3, 3))


def balance_label():
    c = Canvas(46, 21, PAGE)
    c.text((1, 10.5), "余额：", 14, (255, 214, 100), anchor="lm")
    save_jpeg("balance_label", c.final_rgb())


def rate_texture():
    c = Canvas(138, 23, PAGE)
    c.grad("rrect", (0, 0, 137, 22), [(0, (62, 34, 16)), (0.5, (46, 25, 11)), (1, (56, 31, 14))])
    save_jpeg("rate_texture", textured(c.final_rgb(), 5, 4))


def items():
    # empty bag cell: a dark socket with a faint bevel, leaving the page colour round it
    c = Canvas(52, 52, PAGE + (0,))
    c.rect((2, 2, 49, 49), fill=CELL_INNER + (255,))
    c.rect((2, 2, 49, 49), outline=(88, 58, 28, 255), width=1)
    c.line([(3.5, 48), (3.5, 3.5), (48, 3.5)], (0, 0, 0, 255), 1)
    save_keyed("cell_empty", c)
    for level in range(10):
        c = Canvas(52, 52, PAGE + (0,))
        chip(c, 26, 25, 40, level)
        if level:
            badge(c, 3, 3, level, 11)
        save_keyed(f"bag_chip{level}", c)
        c = slot_tile(69, 79)
        chip(c, 34.5, 40, 54, level)
        if level:
            badge(c, 4, 4, level, 13)
        save_jpeg(f"slot_chip{level}", c.final_rgb())
    for name, fn in ITEMS.items():
        c = Canvas(52, 52, PAGE + (0,))
        fn(c, 26, 25, 19)
        save_keyed(f"bag_{name}", c)
        w, h = (63, 65) if name == "protectant" else (61, 63)
        c = slot_tile(w, h)
        # the protectant's button is 63 x 63: its picture's lowest two rows are cut off
        fn(c, w / 2, 31.5, 23)
        save_jpeg(f"slot_{name}", c.final_rgb())
    # 24 px pictures for the planner's recipe table
    for name, fn in ITEMS.items():
        c = Canvas(24, 24, PAGE + (0,))
        fn(c, 12, 12, 9)
        save_keyed(f"icon_{name}", c)


def slot_tile(w, h):
    c = Canvas(w, h, PAGE)
    c.grad("rrect", (0, 0, w - 1, h - 1), [(0, (28, 16, 8)), (1, (54, 32, 15))])
    c.rect((0, 0, w - 1, h - 1), outline=(120, 84, 40, 255), width=1)
    return c


def buttons():
    for state in ("normal", "hover", "pressed", "disabled"):
        save_keyed(f"btn_enhance_{state}", big_button(120, 51, "强化", state,
                                                      ((255, 150, 60), (214, 70, 20), (120, 24, 6))))
        save_keyed(f"btn_synth_{state}", big_button(125, 56, "合成", state,
                                                    ((170, 120, 255), (110, 60, 210), (52, 20, 120))))
        for key, word in (("save", "保存"), ("enhance", "强化"), ("synth", "合成"), ("topup", "充值"), ("buy", "购买"),
                          ("plan", "规划")):
            save_keyed(f"small_{key}_{state}", small_button(word, state))
        # the planner window's buttons: the same look, wide enough for four characters
        for key, word in (("autorun", "自动强化"), ("stop", "停止"), ("export", "导出记录")):
            save_keyed(f"wide_{key}_{state}", small_button(word, state, w=87))
    for state in ("normal", "hover", "pressed"):
        save_jpeg(f"link_enhance_help_{state}", link_button(90, 28, "强化说明", state).final_rgb())
        save_jpeg(f"link_synth_help_{state}", link_button(92, 27, "合成说明", state).final_rgb())
        # the planner's link to the question it shows
        save_jpeg(f"link_plan_{state}", link_button(80, 22, "复制规划链接", state, size=12).final_rgb())


# ---------------------------------------------------------------------------------------------- icon


def icon():
    images = []
    for s in (64, 48, 32, 24, 16):
        # each size drawn on its own: a shrunken 64 px picture turns the pins and letter into mush
        c = Canvas(s, s)
        chip(c, s / 2, s / 2, s * (0.9 if s >= 32 else 0.98), 8)
        if s >= 32:
            c.grad_text((s / 2, s / 2 + s / 64), "M", s * 0.375, [(0, (255, 255, 240)), (1, (255, 200, 90))],
                        face="serif", stroke=s / 50)
        images.append(c.final())
    # classic icon: each image an uncompressed 32-bit BGRA bitmap (bottom-up) with its 1-bit AND mask
    head = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for im in images:
        s = im.width
        bih = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        px = im.load()
        rows = b"".join(bytes(v for x in range(s) for v in (px[x, y][2], px[x, y][1], px[x, y][0], px[x, y][3]))
                        for y in range(s - 1, -1, -1))
        stride = ((s + 31) // 32) * 4
        mask = b""
        for y in range(s - 1, -1, -1):
            bits = bytearray(stride)
            for x in range(s):
                if px[x, y][3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
        blob = bih + rows + mask
        entries += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    save_bytes("icon.ico", head + entries + blobs)
    written["icon"] = Image.new("RGBA", (64 + 48 + 32 + 24 + 16 + 16, 64))
    x = 0
    for im in images:
        written["icon"].paste(im, (x, 0))
        x += im.width + 4


# ---------------------------------------------------------------------------------------------- banners

BANNERS = (
    ("banner_enhance_success", "芯片升级成功！"),
    ("banner_enhance_fail_down", "芯片升级失败：糟糕啊，芯片降级了"),
    ("banner_enhance_fail_same", "芯片升级失败：运气不好，芯片等级没变"),
    ("banner_max_level", "芯片已达到最高强化等级！"),
    ("banner_need_chip", "请选择待升级的芯片！"),
    ("banner_need_crystal", "你需要放入至少一个晶体才能进行强化哦！"),
    ("banner_low_balance", "余额不足，请充值！"),
    ("banner_need_two", "必须选择两枚芯片进行合成！"),
    ("banner_synth_success", "芯片合成成功！"),
    ("banner_synth_fail", "芯片合成失败！"),
    ("banner_saved", "数据保存成功！"),
)
BAND = (183, 131, 5)
BAND_MAX_ALPHA = 164


def smooth(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def banner(name, message, full_width):
    # the band's extent in layout pixels, then everything in output pixels
    size, fade = 40, 120
    band_w = 908 if full_width else min(908, int(font("sans", size).getlength(message) + 2 * fade + 40))
    left = (908 - band_w) // 2
    w, h, band_w, left, fade = 908 * Z, 121 * Z, band_w * Z, left * Z, fade * Z
    f = font("sans", size * Z)
    # alpha: a flat middle, smooth fades to 0 at the top/bottom rows and at the band's ends
    col = [round(BAND_MAX_ALPHA * smooth(min(y, h - 1 - y) / (26 * Z))) for y in range(h)]
    row = [0] * w
    for x in range(left, left + band_w):
        row[x] = smooth(min(x - left, left + band_w - 1 - x) / fade)
    alpha = Image.new("L", (w, h))
    alpha.putdata([round(a * r) for a in col for r in row])
    band = Image.new("RGBA", (w, h), BAND + (0,))
    band.putalpha(alpha)
    # text with a soft brown shadow so cream stays readable on gold
    tmask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(tmask).text((w / 2, h / 2), message, font=f, fill=255, anchor="mm")
    shadow = tmask.filter(ImageFilter.GaussianBlur(2.5 * Z)).point(lambda v: min(255, v * 2) * 150 // 255)
    shadow = ImageChops.offset(shadow, 2 * Z, 2 * Z)
    shadow = ImageChops.multiply(shadow, Image.new("L", (w, h), 255).point(lambda v: v))
    sh = Image.new("RGBA", (w, h), (70, 36, 0, 0))
    sh.putalpha(ImageChops.multiply(shadow, alpha.point(lambda a: 255 if a else 0)))
    txt = Image.new("RGBA", (w, h), CREAM + (0,))
    txt.putalpha(tmask)
    img = Image.alpha_composite(Image.alpha_composite(band, sh), txt)
    # pixels that no band, shadow or glyph covers are fully transparent black
    img = Image.composite(img, Image.new("RGBA", (w, h), (0, 0, 0, 0)), img.getchannel("A"))
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, 0), (w // 2, h - 1), (0, h // 2),
                 (w - 1, h // 2)):
        assert img.getpixel((x, y))[3] == 0, (name, x, y)
    save_png(name, img)


# ---------------------------------------------------------------------------------------------- sounds

RATE = 44100


def write_wav(name, data_bytes, left, right, peak=0.72, fade_in=0.002, fade_out=0.012):
    n = data_bytes // 4
    assert len(left) == n and len(right) == n, (name, len(left), n)
    fi, fo = max(2, int(fade_in * RATE)), max(2, int(fade_out * RATE))
    top = max(max(abs(v) for v in left), max(abs(v) for v in right)) or 1
    g = peak / top
    pcm = array("h")
    for i in range(n):
        e = 1.0
        if i < fi:
            e = math.sin(math.pi / 2 * i / fi) ** 2
        j = n - 1 - i
        if j < fo:
            e = min(e, math.sin(math.pi / 2 * j / fo) ** 2)
        pcm.append(round(left[i] * g * e * 32767))
        pcm.append(round(right[i] * g * e * 32767))
    if sys.byteorder != "little":
        pcm.byteswap()
    raw = pcm.tobytes()
    assert len(raw) == data_bytes
    buf = io.BytesIO()
    with wave.open(buf, "wb") as wf:
        wf.setnchannels(2)
        wf.setsampwidth(2)
        wf.setframerate(RATE)
        wf.writeframes(raw)
    data = buf.getvalue()
    assert len(data) == 44 + data_bytes
    save_bytes(name + ".wav", data)


def tone(t, f, partials=((1, 1.0),)):
    return sum(a * math.sin(2 * math.pi * f * k * t) for k, a in partials)


def sound_click():
    n = 36864 // 4
    rnd = random.Random(7)
    lp = 0.0
    out = []
    for i in range(n):
        t = i / RATE
        lp += 0.35 * (rnd.uniform(-1, 1) - lp)
        v = (0.9 * math.exp(-t / 0.006) * math.sin(2 * math.pi * 2100 * t)
             + 0.55 * math.exp(-t / 0.016) * math.sin(2 * math.pi * 820 * t)
             + 0.8 * math.exp(-t / 0.0025) * lp)
        out.append(v)
    write_wav("sound_click", 36864, out, out, peak=0.7, fade_in=0.0008)


def sound_refusal():
    n = 55296 // 4
    left, right = [], []
    lp1 = lp2 = 0.0
    for i in range(n):
        t = i / RATE
        # two short buzzes of beating square waves, low-passed to sound dull
        env = 0.0
        for start, length in ((0.0, 0.125), (0.165, 0.14)):
            u = t - start
            if 0 <= u < length:
                env = min(1.0, u / 0.006) * min(1.0, (length - u) / 0.03)
        sq = (1 if math.sin(2 * math.pi * 98 * t) >= 0 else -1) + 0.7 * (1 if math.sin(2 * math.pi * 103.5 * t) >= 0 else -1)
        lp1 += 0.09 * (sq * env - lp1)
        lp2 += 0.09 * (lp1 - lp2)
        left.append(lp2)
        right.append(lp2)
    write_wav("sound_refusal", 55296, left, right, peak=0.7)


def bell(t, f, tau):
    if t < 0:
        return 0.0
    return math.exp(-t / tau) * min(1.0, t / 0.002) * tone(t, f, ((1, 1.0), (2.76, 0.35), (5.4, 0.12)))


def sound_purchase():
    n = 34816 // 4
    left, right = [], []
    for i in range(n):
        t = i / RATE
        a = bell(t, 1975.5, 0.035)
        b = bell(t - 0.055, 2637.0, 0.06)
        left.append(0.8 * a + b)
        right.append(a + 0.8 * b)
    write_wav("sound_purchase", 34816, left, right, peak=0.68)


def sound_success():
    n = 127116 // 4
    notes = ((0.0, 523.25, 0.12, -0.3), (0.085, 659.25, 0.12, 0.3), (0.17, 783.99, 0.12, -0.2),
             (0.255, 1046.5, 0.3, 0.2), (0.34, 1318.5, 0.22, -0.1), (0.34, 1567.98, 0.22, 0.1))
    harm = ((1, 1.0), (2, 0.32), (3, 0.14), (4, 0.05))
    left, right = [], []
    for i in range(n):
        t = i / RATE
        lsum = rsum = 0.0
        for start, f, tau, pan in notes:
            u = t - start
            if u < 0:
                continue
            v = min(1.0, u / 0.004) * math.exp(-u / tau) * tone(u, f * (1 + 0.003 * math.sin(2 * math.pi * 6 * u)), harm)
            lsum += v * (1 - pan) / 2
            rsum += v * (1 + pan) / 2
        left.append(lsum)
        right.append(rsum)
    write_wav("sound_success", 127116, left, right, peak=0.75, fade_out=0.03)


def sound_failure():
    n = 112460 // 4
    # a falling "wah-wah" phrase; the last note sags further and wobbles
    notes = ((0.0, 392.0, 0.14), (0.15, 369.99, 0.14), (0.30, 349.23, 0.14), (0.45, 329.63, 0.188))
    left, right = [], []
    phase = 0.0
    for i in range(n):
        t = i / RATE
        idx = max(k for k, nt in enumerate(notes) if nt[0] <= t)
        start, f, length = notes[idx]
        u = t - start
        if idx == len(notes) - 1:
            f = f * (1 - 0.12 * min(1.0, u / length)) * (1 + 0.012 * math.sin(2 * math.pi * 7 * u))
        phase += 2 * math.pi * f / RATE
        env = min(1.0, u / 0.012) * min(1.0, max(0.0, (length - u) / 0.04))
        bright = 0.25 + 0.75 * math.sin(math.pi * min(1.0, u / length))  # the "wah": harmonics open and close
        v = sum((bright ** (k - 1)) / k * math.sin(k * phase) for k in range(1, 7))
        left.append(v * env)
        right.append(v * env)
    write_wav("sound_failure", 112460, left, right, peak=0.72)


# ---------------------------------------------------------------------------------------------- contact sheet


def contact_sheet():
    w = 1500
    x = y = 10
    row_h = 0
    placed = []
    order = sorted(written)
    for name in order:
        im = written[name]
        if x + im.width + 10 > w:
            x, y = 10, y + row_h + 24
            row_h = 0
        placed.append((name, x, y))
        x += max(im.width, 110) + 14
        row_h = max(row_h, im.height)
    sheet = Image.new("RGB", (w, y + row_h + 30), PAGE)
    d = ImageDraw.Draw(sheet)
    label = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 10)
    for name, x, y in placed:
        im = written[name]
        if im.mode == "RGBA":
            sheet.paste(im, (x, y), im)
        else:
            sheet.paste(im, (x, y))
        d.text((x, y + im.height + 3), name, font=label, fill=(200, 190, 170))
    buf = io.BytesIO()
    sheet.save(buf, "PNG")
    save_bytes("contact_sheet.png", buf.getvalue())


def pictures():
    header()
    enhance_bench()
    synth_bench()
    bag()
    help_panel("help_enhance", 522, 483, "强化说明", HELP_ENHANCE, (487, 8, 24, 32), (216, 432, 88, 40))
    help_panel("help_synth", 520, 481, "合成说明", HELP_SYNTH, (480, 5, 32, 24), (216, 429, 88, 40))
    balance_label()
    rate_texture()
    buttons()
    items()
    for name, message in BANNERS:
        banner(name, message, name == "banner_low_balance")


def main():
    global Z, OUT
    for Z, OUT in ((1, ASSETS), (2, os.path.join(ASSETS, "2x"))):
        os.makedirs(OUT, exist_ok=True)
        written.clear()
        pictures()
        if Z == 1:
            icon()
            sound_click()
            sound_refusal()
            sound_purchase()
            sound_success()
            sound_failure()
        if "--contact-sheet" in sys.argv[1:]:
            contact_sheet()


if __name__ == "__main__":
    main()
