#!/usr/bin/env python3
"""Composes the editor as the layout draws it (background, knob frames for given values, switch) from the
pictures in a folder, for looking at the artwork without building the plug-in.

Usage: preview_editor.py <picture folder> <scale 1|2> <output.png> [value ...]
The optional values (0..1) set, in order: Gain, LoShelf, MF1, MF2 and HiShelf levels, then the HPF, LoShelf,
MF1 and MF2 frequency knobs, then the switch (0 or 1).
"""

import os
import sys

import cairo

COLUMNS, FRAMES = 16, 271
ROWS = (FRAMES + COLUMNS - 1) // COLUMNS

LEVEL_POSITIONS = [(53, 92), (270, 139), (376, 139), (482, 139), (581, 80)]
FREQ_POSITIONS = [(158, 50), (261, 29), (367, 29), (471, 29)]
SWITCH_POSITION = (173, 157)


def load(folder, name, scale):
    stem, ext = os.path.splitext(name)
    return cairo.ImageSurface.create_from_png(os.path.join(folder, name if scale == 1 else "%s@2x%s" % (stem, ext)))


def draw_grid_frame(ctx, strip, scale, rect, value):
    # The grid knob's frame choice and centring, in points.
    w, h = strip.get_width() / scale, strip.get_height() / scale
    cw, ch = int(w) // COLUMNS, int(h) // ROWS
    left = (rect[0] + rect[2]) * 0.5 - cw * 0.5
    top = (rect[1] + rect[3]) * 0.5 - ch * 0.5
    i = min(max(int((FRAMES - 1) * value + 0.5) + 1, 1), FRAMES) - 1
    sx, sy = cw * (i % COLUMNS), ch * (i // COLUMNS)
    ctx.save()
    ctx.rectangle(left, top, cw, ch)
    ctx.clip()
    ctx.translate(left, top)
    ctx.scale(1.0 / scale, 1.0 / scale)
    ctx.set_source_surface(strip, -sx * scale, -sy * scale)
    ctx.paint()
    ctx.restore()


def main():
    folder, scale, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    values = [float(v) for v in sys.argv[4:]]
    defaults = [2 / 3, 0.5, 0.5, 0.5, 0.5, 0.0, 0.0, 0.4, 0.5, 0.0]
    values += defaults[len(values):]
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, 664 * scale, 215 * scale)
    ctx = cairo.Context(surface)
    ctx.scale(scale, scale)
    back = load(folder, "QEQ_back.png", scale)
    ctx.save()
    ctx.scale(1.0 / scale, 1.0 / scale)
    ctx.set_source_surface(back, 0, 0)
    ctx.paint()
    ctx.restore()
    level = load(folder, "smallknob.png", scale)
    freq = load(folder, "x271_frame_stack_fixed_again.png", scale)
    for (x, y), v in zip(LEVEL_POSITIONS, values[0:5]):
        draw_grid_frame(ctx, level, scale, (x, y, x + 47, y + 47), v)
    for (x, y), v in zip(FREQ_POSITIONS, values[5:9]):
        draw_grid_frame(ctx, freq, scale, (x, y, x + 64, y + 64), v)
    switch = load(folder, "QEQ_OS.png", scale)
    frame = 1 if values[9] >= 0.5 else 0
    ctx.save()
    ctx.rectangle(SWITCH_POSITION[0], SWITCH_POSITION[1], 29, 29)
    ctx.clip()
    ctx.translate(SWITCH_POSITION[0], SWITCH_POSITION[1] - 29 * frame)
    ctx.scale(1.0 / scale, 1.0 / scale)
    ctx.set_source_surface(switch, 0, 0)
    ctx.paint()
    ctx.restore()
    ctx.select_font_face("Roboto")
    ctx.set_font_size(12)
    ctx.set_source_rgb(230 / 255, 230 / 255, 230 / 255)
    ctx.move_to(576, 215 - 10 + 4)
    ctx.show_text("4.1.0")
    surface.write_to_png(out)


if __name__ == "__main__":
    main()
