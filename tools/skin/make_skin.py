#!/usr/bin/env python3
"""Draws the bitmap skin of the Orvanta QV3 editor (stereo and mono build) and writes it as BMP files.

    make_skin.py [--out DIR] [--preview FILE.png]

Without --out the pictures go to editor/skin/ of this repository (mono variants in editor/skin/mono/).
--preview also writes a PNG of both editors composed with their controls in a typical state, for review.

Every control picture is cut from the finished background at the control's place, so the controls blend into the
panel whether the editor draws them opaque or keyed; none of them contains pure black, the key colour.
"""

import argparse
import math
import os
import struct

import pixelfont as font
from canvas import Canvas, bmp_bytes, mix, png_bytes

WIDTH, HEIGHT = 273, 354

# Palette. The lit meter colours are the editor's own (they are drawn by code, not taken from the bitmaps).
CHASSIS = (22, 23, 27)
STRIP_TOP, STRIP_BOTTOM = (40, 42, 49), (24, 25, 30)
ACCENT = (255, 0, 102)
ACCENT_DEEP = (140, 0, 56)
PLATE_TOP, PLATE_BOTTOM = (56, 59, 67), (45, 47, 54)
PLATE_LIGHT, PLATE_DARK, PLATE_RIM = (80, 84, 95), (33, 34, 40), (14, 15, 18)
GROOVE_DARK, GROOVE_LIGHT = (30, 31, 36), (72, 75, 86)
BRIDGE, BRIDGE_SHADE, BRIDGE_LIGHT = (36, 38, 44), (24, 25, 29), (66, 69, 79)
TEXT, TEXT_SHADOW, TEXT_DIM = (214, 217, 225), (20, 21, 25), (136, 140, 153)
HELP_TEXT, HELP_DIM = (255, 128, 178), (196, 84, 130)
TICK = (150, 154, 167)
STEP = (104, 108, 121)
WELL_RIM_DARK, WELL_RIM_LIGHT = (10, 10, 12), (84, 88, 100)
WELL_EDGE, WELL_BODY_LEFT, WELL_BODY_RIGHT = (38, 39, 45), (20, 21, 25), (28, 29, 34)
WELL_TICK, WELL_FIGURE = (50, 52, 60), (74, 77, 88)
SCALE_WELL_TOP, SCALE_WELL_BOTTOM = (16, 17, 20), (26, 27, 32)
SCALE_MAJOR, SCALE_MINOR, SCALE_FIGURE = (78, 81, 93), (48, 50, 58), (62, 65, 75)
BUTTON_RIM = (12, 13, 16)
DIM_FACE = ((74, 77, 88), (56, 59, 67), (98, 102, 116), (166, 170, 182))
LIT_FACE = ((240, 0, 98), (180, 0, 73), (255, 92, 158), (255, 238, 246))
MODE_TEXT = (255, 96, 160)
DISPLAY_RIM, DISPLAY_TOP, DISPLAY_BOTTOM, DISPLAY_GLINT = (26, 27, 31), (226, 229, 234), (170, 174, 183), (246, 247, 249)
KEY = (0, 0, 0)

# Control places in the editor window (left, top, right, bottom).
MONITOR_SWITCH = (89, 31, 249, 56)
CLIP_SWITCH = (65, 110, 246, 121)
REDUCTION_METER = (118, 72, 245, 85)
RELEASE_TOGGLE = (141, 240, 174, 251)
HELP_GAIN = (86, 161, 137, 211)
HELP_RELEASE = (86, 239, 137, 299)
CREDIT = (154, 326, 272, 353)
MAKEUP_DISPLAY = (138, 162, 176, 177)
CEILING_DISPLAY = (138, 191, 176, 206)
RELEASE_DISPLAY = (138, 261, 176, 276)
STEREO_WELLS = ((38, 162, 45, 282), (64, 162, 71, 282), (204, 162, 211, 282), (230, 162, 237, 282))
MONO_WELLS = ((47, 162, 62, 282), (213, 162, 228, 282))

# Panel plates.
TITLE_STRIP = (0, 0, WIDTH, 24)
FOOTER_STRIP = (0, 319, WIDTH, HEIGHT)
MONITOR_PLATE = (4, 27, 269, 60)
REDUCTION_PLATE = (4, 62, 269, 90)
CLIP_PLATE = (4, 92, 269, 128)
IN_PLATE = (4, 131, 82, 316)
GAIN_PLATE = (84, 131, 190, 316)
OUT_PLATE = (192, 131, 269, 316)
IN_BRIDGE = (33, 154, 76, 298)
OUT_BRIDGE = (199, 154, 242, 298)
HEADER_TOP = 137

# Level scale: dB below full scale -> row inside the well (3 rows per dB, -40 dB on the bottom row 119).
LEVEL_MARKS = (0, 3, 6, 10, 15, 20, 30, 40)
# Figures inside the mono well; 3 dB has a tick only, its figure would touch the 0 on top of the well.
MONO_FIGURES = (0, 6, 10, 15, 20, 30, 40)
# Reduction scale: dB of reduction -> column inside the meter (5 columns per dB, 0 dB on column 125).
REDUCTION_MARKS = (0, 5, 10, 15, 20)
# Clip switch: five segments of 181 / 5 pixels.
CLIP_LABELS = ("SOFT", "2", "3", "4", "HARD")


def level_row(decibels):
    return min(3 * decibels, 119)


def reduction_column(decibels):
    return 125 - 5 * decibels


def stamp_text(canvas, mask, x, y, colour, shadow=TEXT_SHADOW):
    if shadow:
        canvas.stamp(mask, x, y + 1, shadow)
    canvas.stamp(mask, x, y, colour)


def label(string, heavy=False):
    return font.bold(font.text(font.LABEL, string, spacing=2)) if heavy else font.text(font.LABEL, string)


def middle(rect):
    return (rect[0] + rect[2] - 1) / 2.0


def centred_x(mask, centre):
    """Left column that puts the mask's middle on `centre` (a half-integer centre rounds left)."""
    return int(math.floor(centre - (font.width(mask) - 1) / 2.0))


def plate(canvas, rect):
    left, top, right, bottom = rect
    canvas.outline(rect, PLATE_RIM)
    canvas.vgradient((left + 1, top + 1, right - 1, bottom - 1), PLATE_TOP, PLATE_BOTTOM)
    canvas.bevel((left + 1, top + 1, right - 1, bottom - 1), PLATE_LIGHT, PLATE_DARK)


def groove(canvas, left, right, y):
    canvas.hline(left, right, y, GROOVE_DARK)
    canvas.hline(left, right, y + 1, GROOVE_LIGHT)


def recess(canvas, rect, fill, shade, light):
    """A sunken area: shade on top and left, light on bottom and right."""
    canvas.fill(rect, fill)
    canvas.bevel(rect, shade, light)


def header(canvas, rect, string, centre):
    """A plate's heading over the middle of its content, with a groove across the plate below it."""
    left, _, right, _ = rect
    mask = label(string)
    stamp_text(canvas, mask, centred_x(mask, centre), HEADER_TOP, TEXT)
    groove(canvas, left + 4, right - 4, HEADER_TOP + 11)


def strip(canvas, rect, accent_row):
    canvas.vgradient(rect, STRIP_TOP, STRIP_BOTTOM)
    left, _, right, _ = rect
    canvas.hline(left, right, accent_row, ACCENT)


def title(canvas, mono):
    strip(canvas, TITLE_STRIP, TITLE_STRIP[3] - 1)
    name = font.scale2x(font.text(font.LABEL, "ORVANTA", spacing=1))
    model = font.scale2x(font.text(font.LABEL, "QV3", spacing=1))
    x, y = 10, 5
    stamp_text(canvas, name, x, y, TEXT)
    x += font.width(name) + 8
    stamp_text(canvas, model, x, y, ACCENT)
    if mono:
        x += font.width(model) + 8
        stamp_text(canvas, font.scale2x(font.text(font.LABEL, "MONO", spacing=1)), x, y, TEXT_DIM)
    vendor = label("tarnwick")
    stamp_text(canvas, vendor, 263 - font.width(vendor), y + 14 - 7, TEXT_DIM)


def footer(canvas, mono):
    strip(canvas, FOOTER_STRIP, FOOTER_STRIP[1])
    product = label("ORVANTA QV3 MONO" if mono else "ORVANTA QV3", heavy=True)
    stamp_text(canvas, product, 10, 328, TEXT)
    stamp_text(canvas, label("VERSION 1.1"), 10, 339, TEXT_DIM)


def row_label(canvas, string, rect):
    """A panel's caption at the left edge, centred on the height of the control beside it."""
    mask = label(string)
    stamp_text(canvas, mask, 12, (rect[1] + rect[3] - 1) // 2 - 3, TEXT)


def side_title(canvas, plate_rect, bridge, string, upwards):
    """The plate's name set vertically in the free column between the plate edge and the meter bridge."""
    mask = font.rotated(label(string), upwards)
    outer = plate_rect[0] + 2 if upwards else bridge[2]
    inner = bridge[0] if upwards else plate_rect[2] - 2
    x = centred_x(mask, (outer + inner - 1) / 2.0)
    y = int((bridge[1] + bridge[3] - 1) / 2.0 - (len(mask) - 1) / 2.0)
    canvas.stamp(mask, x + 1, y, TEXT_SHADOW)
    canvas.stamp(mask, x, y, TEXT_DIM)


def reduction_scale(canvas):
    left, top = REDUCTION_METER[0], REDUCTION_METER[1]
    for decibels in range(0, 25):
        canvas.put(left + reduction_column(decibels), top - 2, TICK if decibels % 5 == 0 else TEXT_DIM)
    for decibels in REDUCTION_MARKS:
        column = left + reduction_column(decibels)
        figure = font.text(font.SCALE, "-%d" % decibels if decibels else "0")
        stamp_text(canvas, figure, centred_x(figure, column), top - 8, TICK, shadow=None)


def clip_steps(canvas):
    """A rising step over each clip button: the gain transitions grow harder from left to right."""
    edges = clip_segment_edges()
    base = CLIP_SWITCH[1] - 4
    for index in range(5):
        left, right = CLIP_SWITCH[0] + edges[index] + 3, CLIP_SWITCH[0] + edges[index + 1] - 4
        canvas.fill((left, base - index, right, base + 1), STEP)
        canvas.hline(left, right, base + 1, TEXT_SHADOW)


def drag_hint(canvas, display):
    """Small up and down arrows beside a value field: drag vertically to change it."""
    x = display[2] + 4
    middle = (display[1] + display[3] - 1) // 2
    for step in range(3):
        canvas.hline(x + 2 - step, x + 3 + step, middle - 4 + step, TEXT_DIM)
        canvas.hline(x + 2 - step, x + 3 + step, middle + 4 - step, TEXT_DIM)


def well_frame(canvas, well):
    left, top, right, bottom = well
    canvas.bevel((left - 1, top - 1, right + 1, bottom + 1), WELL_RIM_DARK, WELL_RIM_LIGHT)


def level_ticks(canvas, well, columns):
    for decibels in LEVEL_MARKS:
        y = well[1] + level_row(decibels)
        for x in columns:
            canvas.put(x, y, TICK)


def stereo_scale(canvas, left_well, right_well):
    inner_left, inner_right = left_well[2] + 1, right_well[0] - 2
    level_ticks(canvas, left_well, (inner_left, inner_left + 1))
    level_ticks(canvas, left_well, (inner_right - 1, inner_right))
    centre = (inner_left + inner_right) / 2.0
    for decibels in LEVEL_MARKS:
        figure = font.text(font.SCALE, "%d" % decibels)
        y = left_well[1] + level_row(decibels) - 2
        stamp_text(canvas, figure, centred_x(figure, centre), y, TICK, shadow=None)
    for centre, name in (((left_well[0] + left_well[2] - 1) / 2.0, "L"), (centre, "dB"),
                         ((right_well[0] + right_well[2] - 1) / 2.0, "R")):
        mask = label(name)
        stamp_text(canvas, mask, centred_x(mask, centre), left_well[3] + 6, TEXT_DIM)


def mono_scale(canvas, well):
    level_ticks(canvas, well, (well[0] - 5, well[0] - 4, well[0] - 3))
    level_ticks(canvas, well, (well[2] + 2, well[2] + 3, well[2] + 4))
    mask = label("dB")
    stamp_text(canvas, mask, centred_x(mask, (well[0] + well[2] - 1) / 2.0), well[3] + 6, TEXT_DIM)


def level_well_picture(mono):
    """Bitmap 10009: the unlit meter well. Column 0 and row 0 are the dark border the bar never lights."""
    width = 15 if mono else 7
    edge_start = 13 if mono else 6
    well = Canvas(width, 120, None)
    for x in range(width):
        if x == 0:
            colour = WELL_RIM_DARK
        elif x >= edge_start:
            colour = WELL_EDGE
        else:
            colour = mix(WELL_BODY_LEFT, WELL_BODY_RIGHT, x - 1, edge_start - 2)
        well.vline(x, 0, 120, colour)
    well.hline(0, width, 0, WELL_RIM_DARK)
    tick_columns = (1, 2, edge_start - 2, edge_start - 1) if mono else range(1, edge_start)
    for decibels in LEVEL_MARKS[1:]:
        for x in tick_columns:
            well.put(x, level_row(decibels), WELL_TICK)
    if mono:
        for decibels in MONO_FIGURES:
            figure = font.text(font.SCALE, "%d" % decibels)
            y = min(max(level_row(decibels) - 2, 2), 119 - 6)
            well.stamp(figure, centred_x(figure, 7), y, WELL_FIGURE)
    return well


def reduction_well_picture():
    """Bitmap 10002: the darker scale inside the gain-reduction meter, ticks on the marker's centre columns."""
    well = Canvas(127, 13, None)
    well.vgradient((0, 0, 127, 13), SCALE_WELL_TOP, SCALE_WELL_BOTTOM)
    well.hline(0, 127, 0, WELL_RIM_DARK)
    well.vline(0, 0, 13, WELL_RIM_DARK)
    for decibels in range(0, 26):
        column = reduction_column(decibels)
        if decibels % 5 == 0:
            for y in (1, 2, 10, 11):
                well.put(column, y, SCALE_MAJOR)
        else:
            for y in (1, 11):
                well.put(column, y, SCALE_MINOR)
    for decibels in REDUCTION_MARKS:
        figure = font.text(font.SCALE, "-%d" % decibels if decibels else "0")
        well.stamp(figure, centred_x(figure, reduction_column(decibels)), 4, SCALE_FIGURE)
    return well


def display_picture():
    """Bitmap 10003: the light box behind the three value fields."""
    box = Canvas(38, 15, None)
    box.outline((0, 0, 38, 15), DISPLAY_RIM)
    box.vgradient((1, 1, 37, 14), DISPLAY_TOP, DISPLAY_BOTTOM)
    box.hline(1, 37, 1, DISPLAY_GLINT)
    return box


def button(canvas, rect, lit, mask):
    face_top, face_bottom, highlight, ink = LIT_FACE if lit else DIM_FACE
    left, top, right, bottom = rect
    canvas.outline(rect, BUTTON_RIM)
    canvas.vgradient((left + 1, top + 1, right - 1, bottom - 1), face_top, face_bottom)
    canvas.hline(left + 1, right - 1, top + 1, highlight)
    x = centred_x(mask, (left + right - 1) / 2.0)
    y = (top + bottom - 7) // 2
    canvas.stamp(mask, x, y + 1, BUTTON_RIM if lit else face_bottom)
    canvas.stamp(mask, x, y, ink)


def monitor_band(background, lit_index):
    band = background.crop(MONITOR_SWITCH)
    half = band.width // 2
    for index, (name, rect) in enumerate((("ON", (0, 0, half - 1, band.height)),
                                           ("BYPASS", (half + 1, 0, band.width, band.height)))):
        button(band, rect, index == lit_index, label(name, heavy=True))
    return band


def clip_segment_edges():
    width = CLIP_SWITCH[2] - CLIP_SWITCH[0]
    return [(k * width * 2 + 5) // 10 for k in range(6)]


def clip_band(background, lit_index):
    band = background.crop(CLIP_SWITCH)
    edges = clip_segment_edges()
    for index, name in enumerate(CLIP_LABELS):
        right = edges[index + 1] - 1 if index < 4 else edges[5]
        button(band, (edges[index], 0, right, band.height), index == lit_index, label(name))
    return band


def release_band(background, mode):
    band = background.crop(RELEASE_TOGGLE)
    rect = (0, 0, band.width, band.height)
    band.outline(rect, BUTTON_RIM)
    band.vgradient((1, 1, band.width - 1, band.height - 1), DIM_FACE[0], DIM_FACE[1])
    band.hline(1, band.width - 1, 1, DIM_FACE[2])
    mask = label(mode)
    x = centred_x(mask, (band.width - 1) / 2.0)
    band.stamp(mask, x, 3, DIM_FACE[1])
    band.stamp(mask, x, 2, MODE_TEXT)
    return band


def right_aligned_lines(canvas, lines, right, colours):
    """Lines of (text, top, dim) whose last column is `right`, in the (main, dim) colours."""
    for string, top, dim in lines:
        mask = label(string)
        stamp_text(canvas, mask, right - font.width(mask) + 1, top, colours[dim])


# Help texts: (text, top row, dim) set against the right edge of the help toggles.
HELP_GAIN_LABELS = (("MAKEUP", 161, False), ("(dB)", 170, True), ("CEILING", 190, False), ("(dB)", 199, True))
HELP_GAIN_RANGES = (("0.0~+48", 161, False), ("(dB)", 170, True), ("-6.0~0.0", 190, False), ("(dB)", 199, True))
HELP_RELEASE_LABELS = (("MODE", 242, False), ("DEPTH/", 260, False), ("TIME", 269, False), ("(%/ms)", 278, True))
HELP_RELEASE_RANGES = (("(AUTO)", 240, True), ("MIN~MAX", 249, False), ("(%)", 258, True),
                       ("(MANUAL)", 268, True), ("0.01~1000", 277, False), ("(ms)", 286, True))
HELP_RIGHT = 134
LABEL_COLOURS = (TEXT, TEXT_DIM)
HELP_COLOURS = (HELP_TEXT, HELP_DIM)


def help_band(bare, rect, lines, colours):
    """A help toggle picture: the bare panel under the toggle with the given lines set against its right edge."""
    panel = Canvas(WIDTH, HEIGHT, None)
    panel.pixels = list(bare.pixels)
    right_aligned_lines(panel, lines, HELP_RIGHT, colours)
    return panel.crop(rect)


# The tarnwick monogram: a lower-case t cut out of a rounded tile.
MONOGRAM = font.text({"t": """
    ..#############..
    .###############.
    ######...########
    ######...########
    ######...########
    ###.........#####
    ###.........#####
    ######...########
    ######...########
    ######...########
    ######...########
    ######...########
    ######....#...###
    #######......####
    ########....#####
    .###############.
    ..#############..""".split()}, "t")


def maker_mark(band):
    """The tarnwick mark: the monogram tile and the name in lower case."""
    name = font.scale2x(font.text(font.LABEL, "tarnwick"))
    right = band.width - 4
    x = right - font.width(name) - 6 - font.width(MONOGRAM)
    y = (band.height - len(MONOGRAM)) // 2
    band.stamp(MONOGRAM, x, y + 1, ACCENT_DEEP)
    band.stamp(MONOGRAM, x, y, ACCENT)
    stamp_text(band, name, right - font.width(name) + 1, y + 1, TEXT)


def credit_text(band):
    """The plug-in interface credit, set in type only."""
    big = font.scale2x(font.text(font.LABEL, "VST"))
    lines = (label("PLUG-IN"), label("TECHNOLOGY"))
    text_width = max(font.width(line) for line in lines)
    right = band.width - 4
    x = right - text_width - 6 - font.width(big) + 1
    y = (band.height - 14) // 2
    stamp_text(band, big, x, y, TEXT)
    for index, line in enumerate(lines):
        stamp_text(band, line, right - text_width + 1, y + index * 8, TEXT_DIM)


def bare_panel(mono):
    """The background before any control picture is put onto it."""
    canvas = Canvas(WIDTH, HEIGHT, CHASSIS)
    title(canvas, mono)
    footer(canvas, mono)
    for rect in (MONITOR_PLATE, REDUCTION_PLATE, CLIP_PLATE, IN_PLATE, GAIN_PLATE, OUT_PLATE):
        plate(canvas, rect)
    row_label(canvas, "MONITOR", MONITOR_SWITCH)
    row_label(canvas, "REDUCTION (dB)", REDUCTION_METER)
    row_label(canvas, "CLIP", CLIP_SWITCH)
    reduction_scale(canvas)
    clip_steps(canvas)
    well_frame(canvas, REDUCTION_METER)
    side_title(canvas, IN_PLATE, IN_BRIDGE, "INPUT LEVEL", True)
    side_title(canvas, OUT_PLATE, OUT_BRIDGE, "OUTPUT LEVEL", False)
    header(canvas, IN_PLATE, "IN", middle(IN_BRIDGE))
    header(canvas, GAIN_PLATE, "GAIN", middle(GAIN_PLATE))
    header(canvas, OUT_PLATE, "OUT", middle(OUT_BRIDGE))
    for bridge in (IN_BRIDGE, OUT_BRIDGE):
        recess(canvas, bridge, BRIDGE, BRIDGE_SHADE, BRIDGE_LIGHT)
    if mono:
        for well in MONO_WELLS:
            well_frame(canvas, well)
            mono_scale(canvas, well)
    else:
        for well in STEREO_WELLS:
            well_frame(canvas, well)
        stereo_scale(canvas, STEREO_WELLS[0], STEREO_WELLS[1])
        stereo_scale(canvas, STEREO_WELLS[2], STEREO_WELLS[3])
    groove(canvas, GAIN_PLATE[0] + 4, GAIN_PLATE[2] - 4, 216)
    caption = label("(RELEASE)")
    stamp_text(canvas, caption, centred_x(caption, (GAIN_PLATE[0] + GAIN_PLATE[2] - 1) / 2.0), 223, TEXT)
    for display in (MAKEUP_DISPLAY, CEILING_DISPLAY, RELEASE_DISPLAY):
        drag_hint(canvas, display)
    return canvas


def build(mono):
    """All pictures of one build, by resource id, and the finished background."""
    bare = bare_panel(mono)
    pictures = {
        10002: reduction_well_picture(),
        10003: display_picture(),
        10004: Canvas(38, 15, KEY),
        10005: Canvas(38, 11, KEY),
        10006: bare.stacked([monitor_band(bare, lit) for lit in (0, 1)]),
        10007: bare.stacked([release_band(bare, mode) for mode in ("AUTO", "MANU")]),
        10008: bare.stacked([clip_band(bare, lit) for lit in range(5)]),
        10009: level_well_picture(mono),
        10010: bare.stacked([help_band(bare, HELP_GAIN, HELP_GAIN_LABELS, LABEL_COLOURS),
                             help_band(bare, HELP_GAIN, HELP_GAIN_RANGES, HELP_COLOURS)]),
        10011: bare.stacked([help_band(bare, HELP_RELEASE, HELP_RELEASE_LABELS, LABEL_COLOURS),
                             help_band(bare, HELP_RELEASE, HELP_RELEASE_RANGES, HELP_COLOURS)]),
    }
    maker, credit = bare.crop(CREDIT), bare.crop(CREDIT)
    maker_mark(maker)
    credit_text(credit)
    pictures[10012] = bare.stacked([maker, credit])

    background = bare
    for rect, picture, band_height in ((MONITOR_SWITCH, 10006, 25), (CLIP_SWITCH, 10008, 11),
                                       (RELEASE_TOGGLE, 10007, 11), (HELP_GAIN, 10010, 50),
                                       (HELP_RELEASE, 10011, 60), (CREDIT, 10012, 27)):
        background.paste(pictures[picture].crop((0, 0, pictures[picture].width, band_height)), rect[0], rect[1])
    for display in (MAKEUP_DISPLAY, CEILING_DISPLAY, RELEASE_DISPLAY):
        background.paste(pictures[10003], display[0], display[1])
    for well in (MONO_WELLS if mono else STEREO_WELLS):
        background.paste(pictures[10009], well[0], well[1])
    background.paste(pictures[10002], REDUCTION_METER[0], REDUCTION_METER[1])
    pictures[10001] = background
    return pictures


BIT_DEPTH = {10012: 24}
MONO_VARIANTS = (10001, 10009)


def write_skin(directory, stereo, mono):
    os.makedirs(os.path.join(directory, "mono"), exist_ok=True)
    for resource_id, picture in sorted(stereo.items()):
        with open(os.path.join(directory, "%d.bmp" % resource_id), "wb") as out:
            out.write(bmp_bytes(picture, BIT_DEPTH.get(resource_id, 8)))
    for resource_id in MONO_VARIANTS:
        with open(os.path.join(directory, "mono", "%d.bmp" % resource_id), "wb") as out:
            out.write(bmp_bytes(mono[resource_id], 8))


# Preview: the editor as a host shows it, with the meters lit the way the editor's meter views light them.
STEREO_METER_BODY = ((255, 0, 102), (217, 0, 87))
OUTPUT_METER_BODY = ((255, 55, 96), (230, 0, 47))


def unlit_rows(level):
    if level >= 1.0:
        return 0
    if level <= 0.01:
        return 120
    single = struct.unpack("f", struct.pack("f", level))[0]
    return int(-0.5 * math.log10(single) * 120)


def light_level(canvas, well, level, colours, mono):
    body, edge = colours
    first = unlit_rows(level) + 1
    edge_start = 13 if mono else 6
    for y in range(first, 120):
        for x in range(1, well[2] - well[0]):
            canvas.put(well[0] + x, well[1] + y, edge if x >= edge_start else body)


def light_reduction(canvas, gain):
    decibels = 0.0 if gain > 0.99 else -30.0 if gain <= 0.0316 else 20 * math.log10(gain)
    p = min(max(124 - int(-5 * decibels), 0), 125)
    left, top = REDUCTION_METER[0], REDUCTION_METER[1]
    outline, inner = (255, 0, 102), (196, 0, 79)
    for y in range(13):
        canvas.put(left + p, top + y, outline)
        canvas.put(left + p + 2, top + y, outline)
        canvas.put(left + p + 1, top + y, outline if y in (0, 12) else inner)
        if y and p + 3 < 127:
            canvas.put(left + p + 3, top + y, inner)


def value_text(canvas, display, string):
    mask = font.text(font.LABEL, string)
    canvas.stamp(mask, centred_x(mask, (display[0] + display[2] - 1) / 2.0), display[1] + 4, (1, 1, 1))


def band(picture, index, height):
    return picture.crop((0, index * height, picture.width, (index + 1) * height))


def compose(pictures, mono, helps_shown, levels):
    window = pictures[10001].crop((0, 0, WIDTH, HEIGHT))
    wells = MONO_WELLS if mono else STEREO_WELLS
    colours = ([STEREO_METER_BODY, OUTPUT_METER_BODY] if mono
               else [STEREO_METER_BODY, STEREO_METER_BODY, OUTPUT_METER_BODY, OUTPUT_METER_BODY])
    for well, level, colour in zip(wells, levels, colours):
        light_level(window, well, level, colour, mono)
    light_reduction(window, 0.5)
    window.paste(band(pictures[10007], 0, 11), RELEASE_TOGGLE[0], RELEASE_TOGGLE[1])
    window.paste(band(pictures[10010], helps_shown, 50), HELP_GAIN[0], HELP_GAIN[1])
    window.paste(band(pictures[10011], helps_shown, 60), HELP_RELEASE[0], HELP_RELEASE[1])
    window.paste(band(pictures[10006], helps_shown, 25), MONITOR_SWITCH[0], MONITOR_SWITCH[1])
    window.paste(band(pictures[10008], 2, 11), CLIP_SWITCH[0], CLIP_SWITCH[1])
    window.paste(band(pictures[10012], helps_shown, 27), CREDIT[0], CREDIT[1])
    for display, string in ((RELEASE_DISPLAY, " 50 %"), (MAKEUP_DISPLAY, "12.0"), (CEILING_DISPLAY, "-0.30")):
        value_text(window, display, string)
    return window


def preview(stereo, mono):
    shots = [compose(stereo, False, 0, (0.71, 0.56, 0.93, 0.9)),
             compose(stereo, False, 1, (0.2, 0.25, 0.5, 0.45)),
             compose(mono, True, 0, (0.71, 0.93))]
    gap = 8
    sheet = Canvas(len(shots) * (WIDTH + gap) + gap, HEIGHT + 2 * gap, (90, 90, 90))
    for index, shot in enumerate(shots):
        sheet.paste(shot, gap + index * (WIDTH + gap), gap)
    return sheet.scaled(2)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Draws the editor skin.")
    parser.add_argument("--out", default=os.path.join(here, "..", "..", "editor", "skin"),
                        help="folder for the BMP files (default: editor/skin of this repository)")
    parser.add_argument("--preview", help="also write a PNG of both editors in a typical state")
    args = parser.parse_args()
    stereo, mono = build(False), build(True)
    for resource_id in stereo:
        if resource_id not in MONO_VARIANTS and bmp_bytes(stereo[resource_id], BIT_DEPTH.get(resource_id, 8)) != \
                bmp_bytes(mono[resource_id], BIT_DEPTH.get(resource_id, 8)):
            raise SystemExit("picture %d differs between the builds but only %s may" % (resource_id, MONO_VARIANTS))
    write_skin(args.out, stereo, mono)
    if args.preview:
        with open(args.preview, "wb") as out:
            out.write(png_bytes(preview(stereo, mono)))


if __name__ == "__main__":
    main()
