#!/usr/bin/env python3
"""Draws vidloom's built-in icons, the bar background and the shutter sound.

A developer tool, not part of the build: the generated files are committed in
resources/. Run it again after changing a drawing:

    python3 scripts/make-resources.py          (needs Pillow: apt-get install python3-pil)

Every icon is drawn at four times its final size and scaled down, which gives
clean anti-aliased edges. The style: flat shapes with a soft vertical
gradient and a faint shadow, mid-tone colours that read on a dark bar as well
as on a light panel.
"""

import math
import os
import random
import struct
import wave

from PIL import Image, ImageChops, ImageDraw, ImageFilter

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
ICON_DIR = os.path.join(ROOT, "image", "icon")

ICON = 64          # final icon size in pixels
SCALE = 4          # drawing is done at this multiple of the final size
S = ICON * SCALE   # drawing canvas size

# Palette (top colour, bottom colour) of the vertical gradients.
LIGHT = ((246, 248, 251), (208, 213, 221))
BLUE = ((104, 178, 255), (38, 116, 222))
RED = ((255, 104, 96), (214, 36, 36))
GREY = ((168, 173, 181), (106, 111, 119))
TEAL = ((86, 226, 204), (22, 166, 146))
AMBER = ((255, 214, 102), (238, 162, 36))
AMBER_BACK = ((228, 168, 48), (196, 128, 20))
CORAL = ((255, 122, 112), (224, 64, 64))
STEEL = ((196, 202, 212), (128, 135, 147))
DARK = ((74, 80, 92), (40, 44, 52))


def new_mask():
    return Image.new("L", (S, S), 0)


def gradient(top, bottom, size=(S, S)):
    """Vertical gradient image from top to bottom colour."""
    w, h = size
    img = Image.new("RGBA", size)
    draw = ImageDraw.Draw(img)
    for y in range(h):
        t = y / max(1, h - 1)
        c = tuple(int(round(top[i] + (bottom[i] - top[i]) * t)) for i in range(3)) + (255,)
        draw.line([(0, y), (w, y)], fill=c)
    return img


class Icon:
    """One icon under construction: layers are composited on a transparent canvas."""

    def __init__(self):
        self.img = Image.new("RGBA", (S, S), (0, 0, 0, 0))
        self.shape = new_mask()   # union of every filled shape, for the shadow

    def fill(self, mask, colours, alpha=255, shadow=True):
        layer = gradient(*colours)
        if alpha != 255:
            mask = mask.point(lambda v: v * alpha // 255)
        self.img = Image.alpha_composite(self.img, Image.composite(layer, Image.new("RGBA", (S, S)), mask))
        if shadow:
            self.shape = ImageChops.lighter(self.shape, mask)

    def flat(self, mask, rgba):
        layer = Image.new("RGBA", (S, S), rgba[:3] + (0,))
        layer.putalpha(mask.point(lambda v: v * rgba[3] // 255))
        self.img = Image.alpha_composite(self.img, layer)

    def finish(self, shadow_alpha=110):
        # A soft shadow below everything drawn, then scale down to the final size.
        shadow = self.shape.filter(ImageFilter.GaussianBlur(2.5 * SCALE))
        shadow = ImageChops.offset(shadow, 0, int(1.5 * SCALE)).point(lambda v: v * shadow_alpha // 255)
        base = Image.new("RGBA", (S, S), (0, 0, 0, 0))
        base.putalpha(shadow)
        out = Image.alpha_composite(base, self.img)
        return out.resize((ICON, ICON), Image.LANCZOS)


def drawn(paint):
    """A fresh mask with paint(draw) applied to it."""
    m = new_mask()
    paint(ImageDraw.Draw(m))
    return m


def ellipse(box):
    return drawn(lambda d: d.ellipse(box, fill=255))


def rrect(box, radius):
    return drawn(lambda d: d.rounded_rectangle(box, radius=radius, fill=255))


def polygon(points):
    return drawn(lambda d: d.polygon(points, fill=255))


def stroke_line(points, width):
    """Polyline with round joins and caps."""
    m = new_mask()
    d = ImageDraw.Draw(m)
    d.line(points, fill=255, width=width, joint="curve")
    r = width / 2
    for x, y in (points[0], points[-1]):
        d.ellipse((x - r, y - r, x + r, y + r), fill=255)
    return m


def subtract(a, b):
    return ImageChops.subtract(a, b)


def union(*masks):
    out = masks[0]
    for m in masks[1:]:
        out = ImageChops.lighter(out, m)
    return out


def highlight(icon, box):
    """A faint glossy ellipse, the light falling from the top left."""
    m = ellipse(box).filter(ImageFilter.GaussianBlur(3 * SCALE))
    icon.flat(m, (255, 255, 255, 110))


# --- icons -------------------------------------------------------------------

def icon_record():
    ic = Icon()
    ring = subtract(ellipse((20, 20, 236, 236)), ellipse((44, 44, 212, 212)))
    ic.fill(ring, LIGHT)
    edge = subtract(ellipse((20, 20, 236, 236)), ellipse((26, 26, 230, 230)))
    ic.flat(edge, (0, 0, 0, 70))
    ic.fill(ellipse((62, 62, 194, 194)), RED)
    highlight(ic, (84, 76, 150, 118))
    return ic.finish()


def icon_dot(colours, glow):
    ic = Icon()
    if glow:
        # the glow fades out well inside the canvas, so no edge of it shows
        halo = ellipse((46, 46, 210, 210)).filter(ImageFilter.GaussianBlur(5 * SCALE))
        ic.flat(halo, (255, 60, 50, 190))
    ic.fill(ellipse((52, 52, 204, 204)), colours, shadow=not glow)
    ring = subtract(ellipse((52, 52, 204, 204)), ellipse((60, 60, 196, 196)))
    ic.flat(ring, (0, 0, 0, 60))
    highlight(ic, (82, 70, 160, 118))
    return ic.finish()


def monitor(ic):
    ic.fill(rrect((16, 34, 240, 190), 20), DARK)
    ic.fill(rrect((30, 48, 226, 174), 8), BLUE, shadow=False)
    # a diagonal sheen across the glass
    sheen = subtract(polygon([(30, 48), (150, 48), (70, 174), (30, 174)]), new_mask())
    sheen = ImageChops.multiply(sheen, rrect((30, 48, 226, 174), 8))
    ic.flat(sheen, (255, 255, 255, 40))
    ic.fill(polygon([(108, 190), (148, 190), (158, 216), (98, 216)]), STEEL)
    ic.fill(rrect((70, 210, 186, 228), 9), STEEL)


def icon_screen():
    ic = Icon()
    monitor(ic)
    return ic.finish()


def app_icon():
    """Window icon of the screen recorder: the monitor with a red record dot."""
    ic = Icon()
    monitor(ic)
    ic.flat(ellipse((150, 130, 250, 230)), (30, 33, 40, 255))
    ic.fill(ellipse((158, 138, 242, 222)), RED)
    highlight(ic, (172, 146, 214, 172))
    return ic.finish()


def icon_window():
    ic = Icon()
    ic.fill(rrect((20, 36, 236, 220), 18), DARK)
    ic.fill(rrect((28, 76, 228, 212), 10), LIGHT, shadow=False)
    for i, c in enumerate(((255, 95, 87), (255, 189, 46), (40, 201, 64))):
        x = 48 + i * 32
        ic.flat(ellipse((x, 46, x + 20, 66)), c + (255,))
    # two content lines in the window body
    ic.flat(rrect((48, 100, 170, 116), 8), (38, 116, 222, 255))
    ic.flat(rrect((48, 132, 208, 144), 6), (150, 157, 168, 255))
    ic.flat(rrect((48, 160, 190, 172), 6), (150, 157, 168, 255))
    return ic.finish()


def icon_grab():
    ic = Icon()
    w = 24
    a, b, arm = 34, 222, 62
    corners = [
        [(a, a + arm), (a, a), (a + arm, a)],
        [(b - arm, a), (b, a), (b, a + arm)],
        [(b, b - arm), (b, b), (b - arm, b)],
        [(a + arm, b), (a, b), (a, b - arm)],
    ]
    ic.fill(union(*[stroke_line(c, w) for c in corners]), TEAL)
    cx = cy = 128
    cross = union(stroke_line([(cx, cy - 36), (cx, cy + 36)], 14),
                  stroke_line([(cx - 36, cy), (cx + 36, cy)], 14))
    ic.fill(cross, TEAL)
    return ic.finish()


def icon_camera():
    ic = Icon()
    body = rrect((16, 66, 174, 194), 26)
    lens = polygon([(160, 116), (236, 74), (240, 78), (240, 182), (236, 186), (160, 144)])
    lens = ImageChops.multiply(lens, rrect((150, 70, 242, 190), 10))
    ic.fill(union(body, lens), BLUE)
    ic.fill(ellipse((40, 88, 84, 132)), LIGHT, shadow=False)
    highlight(ic, (30, 70, 150, 110))
    return ic.finish()


def icon_exit():
    ic = Icon()
    arc = new_mask()
    d = ImageDraw.Draw(arc)
    d.arc((34, 40, 222, 228), start=-52, end=232, fill=255, width=26)
    # round caps at both ends of the arc
    cx, cy, r = 128, 134, 94 - 13
    for ang in (-52, 232):
        x = cx + r * math.cos(math.radians(ang))
        y = cy + r * math.sin(math.radians(ang))
        d.ellipse((x - 13, y - 13, x + 13, y + 13), fill=255)
    bar = stroke_line([(128, 28), (128, 122)], 26)
    ic.fill(union(arc, bar), CORAL)
    return ic.finish()


def icon_folder():
    ic = Icon()
    back = union(rrect((20, 44, 110, 90), 14), rrect((20, 66, 236, 212), 16))
    ic.fill(back, AMBER_BACK)
    ic.flat(rrect((36, 82, 220, 160), 8), (255, 255, 255, 235))   # a sheet of paper
    front = polygon([(20, 104), (236, 104), (236, 212), (20, 212)])
    front = ImageChops.multiply(front, rrect((20, 66, 236, 212), 16))
    ic.fill(front, AMBER)
    ic.flat(stroke_line([(36, 116), (220, 116)], 4), (255, 255, 255, 120))
    return ic.finish()


def icon_mic():
    ic = Icon()
    ic.fill(rrect((90, 20, 166, 156), 38), BLUE)
    for y in (56, 80, 104):
        ic.flat(stroke_line([(108, y), (148, y)], 6), (255, 255, 255, 110))
    holder = new_mask()
    ImageDraw.Draw(holder).arc((56, 56, 200, 192), start=0, end=180, fill=255, width=16)
    holder = union(holder, stroke_line([(64, 124), (64, 112)], 16), stroke_line([(192, 124), (192, 112)], 16))
    stem = stroke_line([(128, 192), (128, 222)], 16)
    base = stroke_line([(88, 226), (168, 226)], 16)
    ic.fill(union(holder, stem, base), STEEL)
    highlight(ic, (98, 28, 130, 80))
    return ic.finish()


def icon_settings():
    ic = Icon()
    cx = cy = 128
    teeth = new_mask()
    d = ImageDraw.Draw(teeth)
    for k in range(8):
        ang = math.radians(k * 45)
        ux, uy = math.cos(ang), math.sin(ang)
        vx, vy = -uy, ux
        r0, r1, half = 60, 110, 20
        pts = [(cx + ux * r0 + vx * half, cy + uy * r0 + vy * half),
               (cx + ux * r1 + vx * (half - 4), cy + uy * r1 + vy * (half - 4)),
               (cx + ux * r1 - vx * (half - 4), cy + uy * r1 - vy * (half - 4)),
               (cx + ux * r0 - vx * half, cy + uy * r0 - vy * half)]
        d.polygon(pts, fill=255)
    teeth = teeth.filter(ImageFilter.GaussianBlur(1.5)).point(lambda v: 255 if v > 127 else 0)
    gear = subtract(union(teeth, ellipse((cx - 86, cy - 86, cx + 86, cy + 86))),
                    ellipse((cx - 36, cy - 36, cx + 36, cy + 36)))
    ic.fill(gear, STEEL)
    ring = subtract(ellipse((cx - 36, cy - 36, cx + 36, cy + 36)), ellipse((cx - 30, cy - 30, cx + 30, cy + 30)))
    ic.flat(ring, (0, 0, 0, 70))
    return ic.finish()


def chevron(colour, size=20):
    """The drop-down arrow of the combo boxes."""
    k = 8
    m = Image.new("L", (size * k, size * k), 0)
    d = ImageDraw.Draw(m)
    w = int(2.4 * k)
    pts = [(4 * k, 7.5 * k), (10 * k, 13.5 * k), (16 * k, 7.5 * k)]
    d.line(pts, fill=255, width=w, joint="curve")
    for x, y in (pts[0], pts[-1]):
        d.ellipse((x - w / 2, y - w / 2, x + w / 2, y + w / 2), fill=255)
    img = Image.new("RGBA", m.size, colour + (0,))
    img.putalpha(m)
    return img.resize((size, size), Image.LANCZOS)


# --- background of the frameless bar ------------------------------------------

def bar_background(path, width=549, height=59):
    k = 4
    w, h = width * k, height * k
    radius = 5 * k  # small: without a compositor the transparent corners show black
    body = gradient((58, 63, 72), (30, 33, 39), (w, h))
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=radius, fill=255)
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    img.paste(body, (0, 0), mask)
    d = ImageDraw.Draw(img)
    # a dark border and a light inner line at the top edge give the bar its bevel
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=radius, outline=(12, 13, 16, 255), width=k)
    d.rounded_rectangle((k, k, w - 1 - k, h - 1 - k), radius=radius - k, outline=(255, 255, 255, 20), width=k)
    d.line([(radius, k), (w - radius, k)], fill=(255, 255, 255, 52), width=k)
    img.resize((width, height), Image.LANCZOS).save(path)


# --- shutter click ------------------------------------------------------------

def shutter(path, rate=22050):
    """Two short clicks (mirror and shutter), 16-bit mono PCM, 0.2 s."""
    rnd = random.Random(7)
    n = int(rate * 0.2)
    samples = [0.0] * n

    def click(start_s, length_s, level, tone_hz):
        start = int(start_s * rate)
        lp = 0.0
        for i in range(int(length_s * rate)):
            t = i / rate
            env = math.exp(-t / (length_s / 5))
            lp += 0.45 * (rnd.uniform(-1, 1) - lp)            # softened noise
            thump = math.sin(2 * math.pi * tone_hz * t)
            if start + i < n:
                samples[start + i] += level * env * (0.75 * lp + 0.35 * thump)

    click(0.004, 0.045, 0.9, 180)
    click(0.085, 0.07, 1.0, 120)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(v * 30000)))) for v in samples))


def main():
    os.makedirs(ICON_DIR, exist_ok=True)
    icons = {
        "camera": icon_camera(),
        "exit": icon_exit(),
        "folder": icon_folder(),
        "grab": icon_grab(),
        "mic": icon_mic(),
        "record": icon_record(),
        "recording_off": icon_dot(GREY, glow=False),
        "recording_on": icon_dot(RED, glow=True),
        "screen": icon_screen(),
        "settings": icon_settings(),
        "window": icon_window(),
    }
    for name, img in icons.items():
        img.save(os.path.join(ICON_DIR, name + ".png"), optimize=True)
    app_icon().save(os.path.join(ROOT, "image", "screen.png"), optimize=True)
    chevron((201, 206, 214)).save(os.path.join(ROOT, "image", "arrow_down.png"), optimize=True)
    chevron((92, 99, 109)).save(os.path.join(ROOT, "image", "arrow_down_disabled.png"), optimize=True)
    bar_background(os.path.join(ROOT, "bg.png"))
    shutter(os.path.join(ROOT, "shutter.wav"))
    # a contact sheet for looking at all icons at once (not committed)
    sheet = Image.new("RGBA", (ICON * 12 + 24, ICON * 2 + 24), (36, 39, 45, 255))
    light = Image.new("RGBA", (ICON * 12, ICON), (236, 238, 242, 255))
    sheet.paste(light, (12, ICON + 12))
    for i, img in enumerate(list(icons.values()) + [app_icon()]):
        sheet.alpha_composite(img, (12 + i * ICON, 12))
        sheet.alpha_composite(img, (12 + i * ICON, ICON + 12))
    sheet.save("/tmp/vidloom-icons.png")


if __name__ == "__main__":
    main()
