"""A plain RGB pixel canvas and the fixed-format BMP and PNG writers of the skin generator.

Everything is integer arithmetic on lists, so the same script writes the same bytes with any Python 3.
Rectangles are (left, top, right, bottom) with right and bottom exclusive.
"""

import struct
import zlib


def mix(colour_a, colour_b, numerator, denominator):
    """The colour numerator/denominator of the way from colour_a to colour_b, rounded down."""
    return tuple(a + (b - a) * numerator // denominator for a, b in zip(colour_a, colour_b))


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [colour] * (width * height)

    def get(self, x, y):
        return self.pixels[y * self.width + x]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = colour

    def fill(self, rect, colour):
        left, top, right, bottom = rect
        for y in range(max(top, 0), min(bottom, self.height)):
            for x in range(max(left, 0), min(right, self.width)):
                self.pixels[y * self.width + x] = colour

    def hline(self, left, right, y, colour):
        self.fill((left, y, right, y + 1), colour)

    def vline(self, x, top, bottom, colour):
        self.fill((x, top, x + 1, bottom), colour)

    def vgradient(self, rect, top_colour, bottom_colour):
        left, top, right, bottom = rect
        steps = max(bottom - top - 1, 1)
        for y in range(top, bottom):
            self.hline(left, right, y, mix(top_colour, bottom_colour, y - top, steps))

    def bevel(self, rect, light, dark):
        """One-pixel raised edge: light on top and left, dark on bottom and right."""
        left, top, right, bottom = rect
        self.hline(left, right, top, light)
        self.vline(left, top, bottom, light)
        self.hline(left, right, bottom - 1, dark)
        self.vline(right - 1, top, bottom, dark)

    def outline(self, rect, colour):
        self.bevel(rect, colour, colour)

    def stamp(self, mask, x, y, colour):
        for row_index, row in enumerate(mask):
            for column, ink in enumerate(row):
                if ink:
                    self.put(x + column, y + row_index, colour)

    def crop(self, rect):
        left, top, right, bottom = rect
        piece = Canvas(right - left, bottom - top, None)
        for y in range(top, bottom):
            for x in range(left, right):
                piece.put(x - left, y - top, self.get(x, y))
        return piece

    def paste(self, piece, x, y):
        for row in range(piece.height):
            for column in range(piece.width):
                self.put(x + column, y + row, piece.get(column, row))

    def stacked(self, pieces):
        """A new canvas holding the equal-sized pieces as bands from top to bottom."""
        strip = Canvas(pieces[0].width, pieces[0].height * len(pieces), None)
        for index, piece in enumerate(pieces):
            strip.paste(piece, 0, index * piece.height)
        return strip

    def scaled(self, factor):
        big = Canvas(self.width * factor, self.height * factor, None)
        for y in range(big.height):
            for x in range(big.width):
                big.pixels[y * big.width + x] = self.get(x // factor, y // factor)
        return big


def bmp_bytes(canvas, bits):
    """A Windows BMP with a 40-byte info header, bottom-up rows, 72 dpi.

    8 bits: the palette is exactly the picture's colours in ascending (red, green, blue) order.
    24 bits: no palette.
    """
    width, height = canvas.width, canvas.height
    if bits == 8:
        colours = sorted(set(canvas.pixels))
        if len(colours) > 256:
            raise ValueError("an 8-bit picture can hold 256 colours, this one has %d" % len(colours))
        index = {colour: number for number, colour in enumerate(colours)}
        palette = b"".join(bytes((blue, green, red, 0)) for red, green, blue in colours)
        stride = (width + 3) & ~3
        rows = [bytes(index[canvas.get(x, y)] for x in range(width)).ljust(stride, b"\0")
                for y in reversed(range(height))]
        used = len(colours)
    elif bits == 24:
        palette = b""
        stride = (3 * width + 3) & ~3
        rows = [b"".join(bytes(reversed(canvas.get(x, y))) for x in range(width)).ljust(stride, b"\0")
                for y in reversed(range(height))]
        used = 0
    else:
        raise ValueError("the skin uses 8-bit and 24-bit pictures only")
    image = b"".join(rows)
    offset = 14 + 40 + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(image), 2835, 2835, used, 0)
    return file_header + info_header + palette + image


def png_bytes(canvas):
    """An RGB PNG, for looking at previews only."""
    raw = b"".join(b"\0" + b"".join(bytes(canvas.get(x, y)) for x in range(canvas.width))
                   for y in range(canvas.height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
