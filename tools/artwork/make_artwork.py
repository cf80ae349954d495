#!/usr/bin/env python3
"""Draws the editor's pictures: the panel background, the two knob film strips and the oversampling switch,
each at 1x and 2x, into resources/.

Everything is drawn from vectors in editor points and rendered at the pixel scale of each variant, so the two
resolutions show the same design. Random texture uses fixed seeds: running the script twice gives the same files.
Text is set in Roboto from Debian's fonts-roboto-unhinted.

Usage: make_artwork.py [--scale 1|2] [output directory]   (default: both scales into resources/)
"""

import argparse
import math
import os
import random
import subprocess
import sys

import cairo

# ---------------------------------------------------------------------------------------------------------------
# Editor geometry in points (the layout places the controls at these rectangles).

PANEL_W, PANEL_H = 664, 215

FRAMES = 271          # one frame per degree of a 270 degree sweep
COLUMNS = 16
ROWS = (FRAMES + COLUMNS - 1) // COLUMNS

LEVEL_CELL = {1: 47, 2: 94}       # pixels per cell of the level-knob strip
FREQ_CELL = {1: 64, 2: 118}       # pixels per cell of the frequency-knob strip (59 points at 2x)
SWITCH_SIZE = 29                  # points per switch frame

SWEEP = 270.0                     # degrees from value 0 to value 1, centred on straight up


def rect_centre(x, y, w, h):
    return (x + w / 2.0, y + h / 2.0)


# Level knobs: (centre, lowest dB, highest dB) of the parameters they are bound to.
GAIN_KNOB = (rect_centre(53, 92, 47, 47), -20, 10)
LEVEL_KNOBS = [
    (rect_centre(270, 139, 47, 47), -20, 20),   # LoShelf Level
    (rect_centre(376, 139, 47, 47), -20, 20),   # MF Level 1
    (rect_centre(482, 139, 47, 47), -20, 20),   # MF Level 2
    (rect_centre(581, 80, 47, 47), -20, 20),    # HiShelf Level
]

# Frequency knobs: centre and the printed mark of each position, in the order of the parameter's display texts
# ("Off", "30 Hz", ...). The knob has len(marks) positions spread evenly over the sweep.
FREQ_KNOBS = [
    (rect_centre(158, 50, 64, 64), ["OFF", "30", "50", "80", "160", "300"]),               # HPF
    (rect_centre(261, 29, 64, 64), ["35", "60", "110", "220"]),                            # LoShelf Freq
    (rect_centre(367, 29, 64, 64), ["150", "180", "240", "400", "820", "1200"]),           # MF 1 Freq
    (rect_centre(471, 29, 64, 64), ["220", "315", "640", "2500", "3150", "6000", "8000"]), # MF 2 Freq
]

SWITCH_RECT = (173, 157, SWITCH_SIZE, SWITCH_SIZE)
VERSION_BOX = (576, PANEL_H - 20, 80, 20)   # the version text is drawn here by the editor: keep it plain

HPF_X = FREQ_KNOBS[0][0][0]
LO_X = FREQ_KNOBS[1][0][0]
MID1_X = FREQ_KNOBS[2][0][0]
MID2_X = FREQ_KNOBS[3][0][0]
HI_X = LEVEL_KNOBS[3][0][0]
GAIN_X = GAIN_KNOB[0][0]

BANDS = [("HPF", HPF_X), ("LO SHELF", LO_X), ("MID 1", MID1_X), ("MID 2", MID2_X), ("HI SHELF", HI_X)]
# The brand and output section sits on its own plate, centred on the gain knob.
BRAND_PLATE = (7.0, 7.0, 2 * (GAIN_X - 7.0), PANEL_H - 14.0)
SEPARATORS = [(HPF_X + LO_X) / 2, (LO_X + MID1_X) / 2, (MID1_X + MID2_X) / 2, (MID2_X + HI_X) / 2]

# Knob bodies, in points.
FREQ_SKIRT_R = 23.0
FREQ_CAP_R = 16.5
LEVEL_SKIRT_R = 15.5
LEVEL_CAP_R = 11.0

# Printed scales around the knobs, in points from the knob centre.
FREQ_TICK_IN, FREQ_TICK_OUT = 26.5, 30.0
LEVEL_TICK_IN, LEVEL_TICK_OUT = 18.5, 21.5

# ---------------------------------------------------------------------------------------------------------------
# Fonts

FONT_DIR = "/usr/share/fonts/truetype/roboto/unhinted/"
FONTS = {
    "regular": "Roboto",
    "medium": "Roboto Medium",
    "bold": "Roboto Black",
    "condensed": "Roboto Condensed",
}


def check_fonts():
    """Every family must resolve to Roboto from fonts-roboto-unhinted, not to a look-alike."""
    for family in FONTS.values():
        path = subprocess.run(["fc-match", "-f", "%{file}", family], capture_output=True, text=True,
                              check=True).stdout
        if not path.startswith(FONT_DIR):
            sys.exit("font '%s' resolves to %s; install fonts-roboto-unhinted" % (family, path))


def set_font(ctx, key, size):
    weight = cairo.FONT_WEIGHT_BOLD if key == "bold" else cairo.FONT_WEIGHT_NORMAL
    ctx.select_font_face(FONTS[key], cairo.FONT_SLANT_NORMAL, weight)
    ctx.set_font_size(size)
    options = cairo.FontOptions()
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    options.set_hint_style(cairo.HINT_STYLE_NONE)
    options.set_hint_metrics(cairo.HINT_METRICS_OFF)
    ctx.set_font_options(options)


def text_width(ctx, text, tracking=0.0):
    return sum(ctx.text_extents(ch).x_advance for ch in text) + tracking * (len(text) - 1)


def cap_height(ctx):
    return -ctx.text_extents("H").y_bearing


def show_text(ctx, text, x, y, tracking=0.0):
    """Sets text with its left end at x and baseline y, with extra space between letters. The glyphs are
    filled as outlines so they land exactly at fractional positions; glyph images would snap to whole pixels
    and space small print unevenly at 1x."""
    ctx.new_path()
    for ch in text:
        ctx.move_to(x, y)
        ctx.text_path(ch)
        x += ctx.text_extents(ch).x_advance + tracking
    ctx.fill()


def printed_text(ctx, text, cx, cy, key, size, colour, tracking=0.0, shadow=0.45):
    """Text centred on (cx, cy) by its width and cap height, printed with a faint dark edge one pixel below."""
    set_font(ctx, key, size)
    w = text_width(ctx, text, tracking)
    x = cx - w / 2.0
    y = cy + cap_height(ctx) / 2.0
    if shadow > 0:
        ctx.set_source_rgba(0, 0, 0, shadow)
        show_text(ctx, text, x, y + ctx.device_to_user_distance(0, 1)[1], tracking)
    ctx.set_source_rgba(*colour)
    show_text(ctx, text, x, y, tracking)
    return w


# ---------------------------------------------------------------------------------------------------------------
# Geometry helpers


def polar(cx, cy, r, degrees):
    """Angles count clockwise from straight up, as the knob pointer turns."""
    a = math.radians(degrees)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def value_angle(value):
    return -SWEEP / 2 + SWEEP * value


def frame_angle(frame):
    return value_angle(frame / (FRAMES - 1))


def circle(ctx, cx, cy, r):
    ctx.new_sub_path()
    ctx.arc(cx, cy, r, 0, 2 * math.pi)


def rounded_rect(ctx, x, y, w, h, r):
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 1.5 * math.pi)
    ctx.close_path()


def grey(v, a=1.0):
    return (v, v, v, a)


# ---------------------------------------------------------------------------------------------------------------
# Panel background


def brushed_texture(scale, seed):
    """A dark brushed-aluminium surface: long horizontal grain from smoothed noise along each row."""
    w, h = PANEL_W * scale, PANEL_H * scale
    rng = random.Random(seed)
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
    stride = surface.get_stride()
    data = surface.get_data()
    grain = 48 * scale
    row = bytearray(stride)
    for y in range(h):
        row_shift = rng.gauss(0.0, 1.1)
        noise = [rng.random() for _ in range(w + grain)]
        acc = sum(noise[:grain])
        for x in range(w):
            streak = (acc / grain - 0.5) * 70.0
            acc += noise[x + grain] - noise[x]
            v = 44.0 + row_shift + streak + (noise[x] - 0.5) * 3.0
            r = int(max(0, min(255, v)))
            g = int(max(0, min(255, v + 1.0)))
            b = int(max(0, min(255, v + 3.0)))
            row[4 * x] = b
            row[4 * x + 1] = g
            row[4 * x + 2] = r
            row[4 * x + 3] = 255
        data[y * stride:(y + 1) * stride] = row
    surface.mark_dirty()
    return surface


def draw_screw(ctx, cx, cy, r, slot_degrees):
    shadow = cairo.RadialGradient(cx + 0.4, cy + 0.8, r * 0.6, cx + 0.4, cy + 0.8, r + 1.6)
    shadow.add_color_stop_rgba(0, 0, 0, 0, 0.7)
    shadow.add_color_stop_rgba(1, 0, 0, 0, 0)
    ctx.set_source(shadow)
    circle(ctx, cx + 0.4, cy + 0.8, r + 1.6)
    ctx.fill()
    head = cairo.LinearGradient(cx - r, cy - r, cx + r, cy + r)
    head.add_color_stop_rgb(0, 0.62, 0.63, 0.65)
    head.add_color_stop_rgb(1, 0.22, 0.23, 0.25)
    ctx.set_source(head)
    circle(ctx, cx, cy, r)
    ctx.fill()
    ctx.set_line_width(0.5)
    ctx.set_source_rgba(0, 0, 0, 0.6)
    circle(ctx, cx, cy, r - 0.25)
    ctx.stroke()
    dx, dy = math.cos(math.radians(slot_degrees)), math.sin(math.radians(slot_degrees))
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(r * 0.32)
    ctx.set_source_rgba(0.06, 0.06, 0.07, 0.95)
    ctx.move_to(cx - dx * r * 0.7, cy - dy * r * 0.7)
    ctx.line_to(cx + dx * r * 0.7, cy + dy * r * 0.7)
    ctx.stroke()


def engraved_vline(ctx, x, y0, y1):
    x = math.floor(x) + 0.5  # on a pixel centre at 1x, so the groove stays sharp
    ctx.set_line_width(1.0)
    ctx.set_source_rgba(0, 0, 0, 0.55)
    ctx.move_to(x, y0)
    ctx.line_to(x, y1)
    ctx.stroke()
    ctx.set_source_rgba(1, 1, 1, 0.07)
    ctx.move_to(x + 1.0, y0)
    ctx.line_to(x + 1.0, y1)
    ctx.stroke()


def engraved_rect(ctx, x, y, w, h, r):
    ctx.set_line_width(1.0)
    ctx.set_source_rgba(0, 0, 0, 0.5)
    rounded_rect(ctx, x, y, w, h, r)
    ctx.stroke()
    ctx.set_source_rgba(1, 1, 1, 0.07)
    rounded_rect(ctx, x + 0.8, y + 0.8, w, h, r)
    ctx.stroke()


def knob_well(ctx, cx, cy, r):
    """A slightly darker recess under a knob, so the knob sits in the panel."""
    well = cairo.RadialGradient(cx, cy, r * 0.75, cx, cy, r * 1.12)
    well.add_color_stop_rgba(0, 0, 0, 0, 0.35)
    well.add_color_stop_rgba(1, 0, 0, 0, 0)
    ctx.set_source(well)
    circle(ctx, cx, cy, r * 1.12)
    ctx.fill()


def label_at_angle(ctx, text, cx, cy, r0, degrees, key, size, colour):
    """Places a scale label just outside radius r0, keeping the same gap to its nearest edge at every angle."""
    set_font(ctx, key, size)
    w = text_width(ctx, text)
    h = cap_height(ctx)
    a = math.radians(degrees)
    r = r0 + abs(math.sin(a)) * w / 2.0 + abs(math.cos(a)) * h / 2.0
    x, y = polar(cx, cy, r, degrees)
    printed_text(ctx, text, x, y, key, size, colour, shadow=0.5)


def tick(ctx, cx, cy, r_in, r_out, degrees, width, colour):
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(width)
    ctx.set_source_rgba(*colour)
    ctx.move_to(*polar(cx, cy, r_in, degrees))
    ctx.line_to(*polar(cx, cy, r_out, degrees))
    ctx.stroke()


INK = (0.90, 0.90, 0.88, 1.0)
INK_DIM = (0.70, 0.71, 0.70, 1.0)
ACCENT = (0.95, 0.55, 0.16, 1.0)


def freq_scale(ctx, cx, cy, marks):
    knob_well(ctx, cx, cy, FREQ_SKIRT_R + 2)
    steps = len(marks) - 1
    for k, text in enumerate(marks):
        degrees = value_angle(k / steps)
        tick(ctx, cx, cy, FREQ_TICK_IN, FREQ_TICK_OUT, degrees, 1.3, INK)
        label_at_angle(ctx, text, cx, cy, FREQ_TICK_OUT + 1.8, degrees, "condensed", 8.0, INK)
    printed_text(ctx, "Hz", cx, cy + 29.5, "regular", 6.5, INK_DIM, shadow=0.4)


def level_scale(ctx, cx, cy, low, high):
    knob_well(ctx, cx, cy, LEVEL_SKIRT_R + 2)
    span = high - low
    for db in range(low, high + 1, 5):
        degrees = value_angle((db - low) / span)
        major = db % 10 == 0
        tick(ctx, cx, cy, LEVEL_TICK_IN, LEVEL_TICK_OUT if major else LEVEL_TICK_OUT - 1.2, degrees,
             1.1 if major else 0.8, INK if major else INK_DIM)
        if major:
            text = "0" if db == 0 else ("%+d" % db).replace("-", "\u2212")
            label_at_angle(ctx, text, cx, cy, LEVEL_TICK_OUT + 1.6, degrees, "condensed", 7.0, INK)


def draw_background(scale):
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, PANEL_W * scale, PANEL_H * scale)
    ctx = cairo.Context(surface)
    ctx.set_source_surface(brushed_texture(scale, 1328), 0, 0)
    ctx.paint()
    ctx.scale(scale, scale)

    # Light falls from above: a faint sheen at the top, darker towards the bottom and the corners.
    sheen = cairo.LinearGradient(0, 0, 0, PANEL_H)
    sheen.add_color_stop_rgba(0.0, 1, 1, 1, 0.07)
    sheen.add_color_stop_rgba(0.45, 1, 1, 1, 0.0)
    sheen.add_color_stop_rgba(1.0, 0, 0, 0, 0.22)
    ctx.set_source(sheen)
    ctx.paint()
    vignette = cairo.RadialGradient(PANEL_W / 2, PANEL_H / 2, 80, PANEL_W / 2, PANEL_H / 2, 380)
    vignette.add_color_stop_rgba(0, 0, 0, 0, 0)
    vignette.add_color_stop_rgba(1, 0, 0, 0, 0.35)
    ctx.set_source(vignette)
    ctx.paint()

    # The brand and output section is a darker inset plate.
    plate = cairo.LinearGradient(0, 0, 0, PANEL_H)
    plate.add_color_stop_rgba(0, 0, 0, 0, 0.28)
    plate.add_color_stop_rgba(1, 0, 0, 0, 0.38)
    ctx.set_source(plate)
    rounded_rect(ctx, *BRAND_PLATE, 4)
    ctx.fill()
    engraved_rect(ctx, *BRAND_PLATE, 4)

    # Panel edge: a bright top bevel and a dark bottom one.
    ctx.set_line_width(1.0)
    ctx.set_source_rgba(1, 1, 1, 0.16)
    ctx.move_to(0, 0.5)
    ctx.line_to(PANEL_W, 0.5)
    ctx.stroke()
    ctx.set_source_rgba(0, 0, 0, 0.6)
    ctx.move_to(0, PANEL_H - 0.5)
    ctx.line_to(PANEL_W, PANEL_H - 0.5)
    ctx.stroke()
    ctx.set_source_rgba(0, 0, 0, 0.45)
    ctx.move_to(0.5, 0)
    ctx.line_to(0.5, PANEL_H)
    ctx.move_to(PANEL_W - 0.5, 0)
    ctx.line_to(PANEL_W - 0.5, PANEL_H)
    ctx.stroke()

    for x in SEPARATORS:
        engraved_vline(ctx, x, 8, PANEL_H - 8)

    # Brand
    brand_x = GAIN_X
    set_font(ctx, "bold", 22)
    w_quorl = text_width(ctx, "QUORL", 0.6)
    set_font(ctx, "regular", 22)
    w_eq = text_width(ctx, "EQ", 0.6)
    left = brand_x - (w_quorl + 5 + w_eq) / 2
    set_font(ctx, "bold", 22)
    ctx.set_source_rgba(0, 0, 0, 0.6)
    show_text(ctx, "QUORL", left, 41.7, 0.6)
    ctx.set_source_rgba(*INK)
    show_text(ctx, "QUORL", left, 41, 0.6)
    set_font(ctx, "regular", 22)
    ctx.set_source_rgba(*ACCENT)
    show_text(ctx, "EQ", left + w_quorl + 5, 41, 0.6)
    printed_text(ctx, "ONDRELL AUDIO", brand_x, 53, "medium", 6.5, INK_DIM, tracking=1.6, shadow=0.4)
    ctx.set_source_rgba(*ACCENT)
    ctx.rectangle(left, 60, w_quorl + 5 + w_eq, 1.2)
    ctx.fill()

    # Output gain
    printed_text(ctx, "GAIN", GAIN_X, 80, "medium", 8.5, INK, tracking=1.2)
    level_scale(ctx, GAIN_X, GAIN_KNOB[0][1], GAIN_KNOB[1], GAIN_KNOB[2])
    printed_text(ctx, "dB", GAIN_X, 151, "regular", 6.5, INK_DIM, shadow=0.4)

    # Band labels across the top
    for text, x in BANDS:
        printed_text(ctx, text, x, 12, "medium", 8.5, INK, tracking=1.2)

    for (centre, marks) in FREQ_KNOBS:
        freq_scale(ctx, centre[0], centre[1], marks)
    for (centre, low, high) in LEVEL_KNOBS:
        level_scale(ctx, centre[0], centre[1], low, high)

    # The high shelf's fixed corner frequency, where the other bands have their frequency knob.
    hx = HI_X
    engraved_rect(ctx, hx - 21, 33, 42, 17, 3)
    printed_text(ctx, "12 kHz", hx, 41.5, "condensed", 8.0, INK)

    # Oversampling switch: a recessed bezel and its label.
    sx, sy, sw, sh = SWITCH_RECT
    engraved_rect(ctx, sx - 3, sy - 3, sw + 6, sh + 6, 4)
    printed_text(ctx, "OVERSAMPLING", sx + sw / 2, sy + sh + 10, "medium", 7.0, INK, tracking=0.9)

    for cx, cy, slot in [(7, 7, 35), (PANEL_W - 7, 7, 120), (7, PANEL_H - 7, 80)]:
        draw_screw(ctx, cx, cy, 3.4, slot)

    surface.flush()
    return surface


# ---------------------------------------------------------------------------------------------------------------
# Knobs


def spun_cap(radius_px, base, contrast, seed):
    """A turned metal cap lit from the top left: the concentric machining catches the light in two opposite
    sectors. Rendered once, as the light does not turn with the knob."""
    size = int(math.ceil(radius_px * 2 + 4))
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    ctx = cairo.Context(surface)
    c = size / 2.0
    steps = 360
    for i in range(steps):
        a0 = 2 * math.pi * i / steps
        a1 = 2 * math.pi * (i + 1.2) / steps
        mid = (a0 + a1) / 2
        v = base + contrast * (0.55 * math.cos(2 * (mid + math.radians(45))) + 0.45 * math.cos(mid + math.radians(135)))
        ctx.set_source_rgb(*([max(0.0, min(1.0, v))] * 3))
        ctx.move_to(c, c)
        ctx.arc(c, c, radius_px, a0, a1)
        ctx.close_path()
        ctx.fill()
    rng = random.Random(seed)
    ctx.set_line_width(max(0.5, radius_px / 60.0))
    r = 1.5
    while r < radius_px:
        ctx.set_source_rgba(1, 1, 1, rng.uniform(0.0, 0.06)) if rng.random() < 0.5 else \
            ctx.set_source_rgba(0, 0, 0, rng.uniform(0.0, 0.08))
        circle(ctx, c, c, r)
        ctx.stroke()
        r += rng.uniform(0.6, 1.6) * max(1.0, radius_px / 30.0)
    surface.flush()
    return surface


def knob_frame(ctx, cx, cy, degrees, skirt_r, cap_r, cap, pointer_colour, ridges):
    """One frame of a knob, in points, centred on (cx, cy). Only the ridges and the pointer turn."""
    # Drop shadow, light from the top left.
    shadow = cairo.RadialGradient(cx + 0.6, cy + 1.6, skirt_r * 0.85, cx + 0.6, cy + 1.6, skirt_r + 4.5)
    shadow.add_color_stop_rgba(0, 0, 0, 0, 0.75)
    shadow.add_color_stop_rgba(0.45, 0, 0, 0, 0.35)
    shadow.add_color_stop_rgba(1, 0, 0, 0, 0)
    ctx.set_source(shadow)
    circle(ctx, cx + 0.6, cy + 1.6, skirt_r + 4.5)
    ctx.fill()

    # Skirt body.
    body = cairo.LinearGradient(cx - skirt_r, cy - skirt_r, cx + skirt_r, cy + skirt_r)
    body.add_color_stop_rgb(0, 0.25, 0.255, 0.265)
    body.add_color_stop_rgb(0.5, 0.13, 0.135, 0.14)
    body.add_color_stop_rgb(1, 0.05, 0.05, 0.055)
    ctx.set_source(body)
    circle(ctx, cx, cy, skirt_r)
    ctx.fill()

    # Knurled rim: the ridges turn with the knob, their lighting stays put.
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)
    ridge_in = cap_r + (skirt_r - cap_r) * 0.35
    for i in range(ridges):
        a = degrees + 360.0 * i / ridges
        light = math.cos(math.radians(a + 45))
        ctx.set_line_width(skirt_r * 0.055)
        ctx.set_source_rgba(1, 1, 1, 0.05 + 0.13 * max(0.0, light))
        ctx.move_to(*polar(cx, cy, ridge_in, a))
        ctx.line_to(*polar(cx, cy, skirt_r - 0.4, a))
        ctx.stroke()
        ctx.set_source_rgba(0, 0, 0, 0.35)
        ctx.move_to(*polar(cx, cy, ridge_in, a + 180.0 / ridges))
        ctx.line_to(*polar(cx, cy, skirt_r - 0.4, a + 180.0 / ridges))
        ctx.stroke()

    # Rim highlight and edge.
    rim = cairo.LinearGradient(cx - skirt_r, cy - skirt_r, cx + skirt_r, cy + skirt_r)
    rim.add_color_stop_rgba(0, 1, 1, 1, 0.35)
    rim.add_color_stop_rgba(0.5, 1, 1, 1, 0.04)
    rim.add_color_stop_rgba(1, 1, 1, 1, 0.0)
    ctx.set_source(rim)
    ctx.set_line_width(0.8)
    circle(ctx, cx, cy, skirt_r - 0.4)
    ctx.stroke()

    # Step between skirt and cap.
    step = cairo.RadialGradient(cx + 0.3, cy + 0.9, cap_r, cx + 0.3, cy + 0.9, cap_r + 2.2)
    step.add_color_stop_rgba(0, 0, 0, 0, 0.7)
    step.add_color_stop_rgba(1, 0, 0, 0, 0)
    ctx.set_source(step)
    circle(ctx, cx + 0.3, cy + 0.9, cap_r + 2.2)
    ctx.fill()

    # Cap: turned metal, then its bevel.
    ctx.save()
    circle(ctx, cx, cy, cap_r)
    ctx.clip()
    user_px = ctx.user_to_device_distance(1.0, 0.0)[0]
    ctx.translate(cx, cy)
    ctx.scale(1.0 / user_px, 1.0 / user_px)
    ctx.set_source_surface(cap, -cap.get_width() / 2.0, -cap.get_height() / 2.0)
    ctx.paint()
    ctx.restore()
    bevel = cairo.LinearGradient(cx - cap_r, cy - cap_r, cx + cap_r, cy + cap_r)
    bevel.add_color_stop_rgba(0, 1, 1, 1, 0.45)
    bevel.add_color_stop_rgba(0.5, 1, 1, 1, 0.0)
    bevel.add_color_stop_rgba(1, 0, 0, 0, 0.5)
    ctx.set_source(bevel)
    ctx.set_line_width(0.9)
    circle(ctx, cx, cy, cap_r - 0.45)
    ctx.stroke()

    # Pointer: a filled line from near the centre across the rim.
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    inner = cap_r * 0.35
    outer = skirt_r - 1.2
    ctx.set_line_width(skirt_r * 0.13)
    ctx.set_source_rgba(0, 0, 0, 0.55)
    ctx.move_to(*polar(cx + 0.25, cy + 0.5, inner, degrees))
    ctx.line_to(*polar(cx + 0.25, cy + 0.5, outer, degrees))
    ctx.stroke()
    ctx.set_line_width(skirt_r * 0.095)
    ctx.set_source_rgba(*pointer_colour)
    ctx.move_to(*polar(cx, cy, inner, degrees))
    ctx.line_to(*polar(cx, cy, outer, degrees))
    ctx.stroke()


def draw_strip(scale, cell_px, skirt_r, cap_r, cap_base, cap_contrast, pointer_colour, ridges, seed):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, cell_px * COLUMNS, cell_px * ROWS)
    ctx = cairo.Context(surface)
    cap = spun_cap(cap_r * scale, cap_base, cap_contrast, seed)
    cell_pt = cell_px / scale
    for frame in range(FRAMES):
        col, row = frame % COLUMNS, frame // COLUMNS
        ctx.save()
        ctx.scale(scale, scale)
        ctx.rectangle(col * cell_pt, row * cell_pt, cell_pt, cell_pt)
        ctx.clip()
        knob_frame(ctx, col * cell_pt + cell_pt / 2, row * cell_pt + cell_pt / 2, frame_angle(frame),
                   skirt_r, cap_r, cap, pointer_colour, ridges)
        ctx.restore()
    surface.flush()
    return surface


def draw_level_strip(scale):
    return draw_strip(scale, LEVEL_CELL[scale], LEVEL_SKIRT_R, LEVEL_CAP_R, 0.62, 0.22,
                      (0.96, 0.42, 0.12, 1.0), 36, 47)


def draw_freq_strip(scale):
    return draw_strip(scale, FREQ_CELL[scale], FREQ_SKIRT_R, FREQ_CAP_R, 0.20, 0.10,
                      (0.97, 0.97, 0.95, 1.0), 48, 64)


# ---------------------------------------------------------------------------------------------------------------
# Oversampling switch: an illuminated push button over the panel surface it covers.


def draw_switch(scale, background):
    size = SWITCH_SIZE
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, size * scale, 2 * size * scale)
    ctx = cairo.Context(surface)
    sx, sy = SWITCH_RECT[0], SWITCH_RECT[1]
    for frame, lit in enumerate([False, True]):
        ctx.save()
        ctx.rectangle(0, frame * size * scale, size * scale, size * scale)
        ctx.clip()
        ctx.set_source_surface(background, -sx * scale, frame * size * scale - sy * scale)
        ctx.paint()
        ctx.scale(scale, scale)
        ctx.translate(0, frame * size)
        c = size / 2.0
        # Recess, then the button cap sitting a little lower when it is pressed in (on).
        recess = cairo.RadialGradient(c, c, 9.0, c, c, 13.0)
        recess.add_color_stop_rgba(0, 0, 0, 0, 0.85)
        recess.add_color_stop_rgba(1, 0, 0, 0, 0.0)
        ctx.set_source(recess)
        circle(ctx, c, c, 13.0)
        ctx.fill()
        ctx.set_source_rgb(0.03, 0.03, 0.035)
        circle(ctx, c, c, 10.6)
        ctx.fill()
        press = 0.5 if lit else 0.0
        cap = cairo.LinearGradient(c - 9, c - 9 + press, c + 9, c + 9 + press)
        cap.add_color_stop_rgb(0, 0.42, 0.43, 0.45)
        cap.add_color_stop_rgb(0.55, 0.22, 0.225, 0.235)
        cap.add_color_stop_rgb(1, 0.10, 0.10, 0.11)
        ctx.set_source(cap)
        circle(ctx, c, c + press, 9.2)
        ctx.fill()
        face = cairo.RadialGradient(c - 2, c - 3 + press, 1.0, c, c + press, 7.6)
        face.add_color_stop_rgb(0, 0.30, 0.305, 0.315)
        face.add_color_stop_rgb(1, 0.17, 0.175, 0.18)
        ctx.set_source(face)
        circle(ctx, c, c + press, 7.6)
        ctx.fill()
        ctx.set_line_width(0.6)
        ctx.set_source_rgba(1, 1, 1, 0.18)
        ctx.arc(c, c + press, 9.0, math.radians(180), math.radians(300))
        ctx.stroke()
        # The lamp in the button.
        lamp_r = 3.2
        if lit:
            glow = cairo.RadialGradient(c, c + press, 0.5, c, c + press, 9.0)
            glow.add_color_stop_rgba(0, 1.0, 0.55, 0.15, 0.75)
            glow.add_color_stop_rgba(0.4, 1.0, 0.40, 0.08, 0.25)
            glow.add_color_stop_rgba(1, 1.0, 0.30, 0.05, 0.0)
            ctx.set_source(glow)
            circle(ctx, c, c + press, 9.0)
            ctx.fill()
            lamp = cairo.RadialGradient(c - 0.8, c - 0.8 + press, 0.2, c, c + press, lamp_r)
            lamp.add_color_stop_rgb(0, 1.0, 0.93, 0.70)
            lamp.add_color_stop_rgb(0.5, 1.0, 0.62, 0.18)
            lamp.add_color_stop_rgb(1, 0.90, 0.35, 0.05)
        else:
            lamp = cairo.RadialGradient(c - 0.8, c - 0.8, 0.2, c, c, lamp_r)
            lamp.add_color_stop_rgb(0, 0.42, 0.26, 0.16)
            lamp.add_color_stop_rgb(0.6, 0.22, 0.11, 0.05)
            lamp.add_color_stop_rgb(1, 0.10, 0.05, 0.03)
        ctx.set_source(lamp)
        circle(ctx, c, c + press, lamp_r)
        ctx.fill()
        ctx.set_line_width(0.5)
        ctx.set_source_rgba(0, 0, 0, 0.7)
        circle(ctx, c, c + press, lamp_r)
        ctx.stroke()
        ctx.restore()
    surface.flush()
    return surface


# ---------------------------------------------------------------------------------------------------------------


PNG_RGB = 2
PNG_RGBA = 6


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Draws the editor's pictures.")
    parser.add_argument("--scale", type=int, choices=[1, 2], help="draw only this resolution")
    parser.add_argument("out_dir", nargs="?", default=os.path.join(here, "..", "..", "resources"))
    args = parser.parse_args()
    out_dir = args.out_dir
    os.makedirs(out_dir, exist_ok=True)
    check_fonts()

    def save(surface, name, width, height, colour_type):
        if (surface.get_width(), surface.get_height()) != (width, height):
            sys.exit("%s: drawn %dx%d, expected %dx%d" % (name, surface.get_width(), surface.get_height(),
                                                          width, height))
        path = os.path.join(out_dir, name)
        surface.write_to_png(path)
        # Cairo picks the PNG colour type from the content; the editor needs exactly RGB or RGBA.
        with open(path, "rb") as f:
            header = f.read(26)
        if header[25] != colour_type:
            sys.exit("%s: PNG colour type %d, expected %d" % (name, header[25], colour_type))
        print("wrote %s (%dx%d, %s)" % (name, width, height, "RGBA" if colour_type == PNG_RGBA else "RGB"))

    for scale, suffix in [(1, ""), (2, "@2x")]:
        if args.scale and args.scale != scale:
            continue
        background = draw_background(scale)
        save(background, "QEQ_back%s.png" % suffix, PANEL_W * scale, PANEL_H * scale, PNG_RGB)
        save(draw_switch(scale, background), "QEQ_OS%s.png" % suffix, SWITCH_SIZE * scale,
             2 * SWITCH_SIZE * scale, PNG_RGB)
        save(draw_level_strip(scale), "smallknob%s.png" % suffix, LEVEL_CELL[scale] * COLUMNS,
             LEVEL_CELL[scale] * ROWS, PNG_RGBA)
        save(draw_freq_strip(scale), "x271_frame_stack_fixed_again%s.png" % suffix, FREQ_CELL[scale] * COLUMNS,
             FREQ_CELL[scale] * ROWS, PNG_RGBA)


if __name__ == "__main__":
    main()
