"""Hand-drawn pixel fonts of the skin and the masks built from them.

A mask is a list of rows, each a list of booleans. Every glyph is given as rows of '#' (ink) and '.' (paper); all
rows of a glyph have the same width. Rows are counted from the top of the cell; the baseline of the label font is
row 6, so capitals and digits fill rows 0 to 6 and descenders reach rows 7 and 8.
"""


def _glyphs(table):
    return {char: rows.split() for char, rows in table.items()}


# 5 x 7 label font: capitals, digits, lower case (x-height 5, descenders 2) and the signs the labels use.
LABEL = _glyphs({
    "A": ".###. #...# #...# ##### #...# #...# #...#",
    "B": "####. #...# #...# ####. #...# #...# ####.",
    "C": ".###. #...# #.... #.... #.... #...# .###.",
    "D": "####. #...# #...# #...# #...# #...# ####.",
    "E": "##### #.... #.... ####. #.... #.... #####",
    "F": "##### #.... #.... ####. #.... #.... #....",
    "G": ".###. #...# #.... #.### #...# #...# .####",
    "H": "#...# #...# #...# ##### #...# #...# #...#",
    "I": "### .#. .#. .#. .#. .#. ###",
    "J": "..### ...#. ...#. ...#. ...#. #..#. .##..",
    "K": "#...# #..#. #.#.. ##... #.#.. #..#. #...#",
    "L": "#.... #.... #.... #.... #.... #.... #####",
    "M": "#...# ##.## #.#.# #.#.# #...# #...# #...#",
    "N": "#...# #...# ##..# #.#.# #..## #...# #...#",
    "O": ".###. #...# #...# #...# #...# #...# .###.",
    "P": "####. #...# #...# ####. #.... #.... #....",
    "Q": ".###. #...# #...# #...# #.#.# #..#. .##.#",
    "R": "####. #...# #...# ####. #.#.. #..#. #...#",
    "S": ".#### #.... #.... .###. ....# ....# ####.",
    "T": "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#..",
    "U": "#...# #...# #...# #...# #...# #...# .###.",
    "V": "#...# #...# #...# .#.#. .#.#. ..#.. ..#..",
    "W": "#...# #...# #...# #.#.# #.#.# #.#.# .#.#.",
    "X": "#...# #...# .#.#. ..#.. .#.#. #...# #...#",
    "Y": "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#..",
    "Z": "##### ....# ...#. ..#.. .#... #.... #####",
    "0": ".###. #...# #...# #...# #...# #...# .###.",
    "1": ".#. ##. .#. .#. .#. .#. ###",
    "2": ".###. #...# ....# ...#. ..#.. .#... #####",
    "3": "##### ...#. ..#.. ...#. ....# #...# .###.",
    "4": "...#. ..##. .#.#. #..#. ##### ...#. ...#.",
    "5": "##### #.... ####. ....# ....# #...# .###.",
    "6": "..##. .#... #.... ####. #...# #...# .###.",
    "7": "##### ....# ...#. ..#.. .#... .#... .#...",
    "8": ".###. #...# #...# .###. #...# #...# .###.",
    "9": ".###. #...# #...# .#### ....# ...#. .##..",
    "a": "..... ..... .###. ....# .#### #...# .####",
    "b": "#.... #.... ####. #...# #...# #...# ####.",
    "c": "..... ..... .###. #.... #.... #.... .###.",
    "d": "....# ....# .#### #...# #...# #...# .####",
    "e": "..... ..... .###. #...# ##### #.... .###.",
    "f": "..## .#.. #### .#.. .#.. .#.. .#..",
    "g": "..... ..... .#### #...# #...# #...# .#### ....# .###.",
    "h": "#.... #.... ####. #...# #...# #...# #...#",
    "i": "# . # # # # #",
    "j": "..# ... ..# ..# ..# ..# ..# #.# .#.",
    "k": "#... #... #..# #.#. ##.. #.#. #..#",
    "l": "#. #. #. #. #. #. .#",
    "m": "..... ..... ##.#. #.#.# #.#.# #.#.# #.#.#",
    "n": "..... ..... ####. #...# #...# #...# #...#",
    "o": "..... ..... .###. #...# #...# #...# .###.",
    "p": "..... ..... ####. #...# #...# #...# ####. #.... #....",
    "q": "..... ..... .#### #...# #...# #...# .#### ....# ....#",
    "r": ".... .... #.## ##.. #... #... #...",
    "s": "..... ..... .#### #.... .###. ....# ####.",
    "t": ".#.. .#.. #### .#.. .#.. .#.. ..##",
    "u": "..... ..... #...# #...# #...# #...# .####",
    "v": "..... ..... #...# #...# #...# .#.#. ..#..",
    "w": "..... ..... #...# #...# #.#.# #.#.# .#.#.",
    "x": "..... ..... #...# .#.#. ..#.. .#.#. #...#",
    "y": "..... ..... #...# #...# #...# #...# .#### ....# .###.",
    "z": "..... ..... ##### ...#. ..#.. .#... #####",
    " ": "... ... ... ... ... ... ...",
    "(": "..# .#. #.. #.. #.. .#. ..#",
    ")": "#.. .#. ..# ..# ..# .#. #..",
    "/": "....# ....# ...#. ..#.. .#... #.... #....",
    "%": ".#... #.#.# .#.#. ..#.. .#.#. #.#.# ...#.",
    "~": "..... ..... .#... #.#.# ...#. ..... .....",
    ".": ". . . . . . #",
    "-": ".... .... .... #### .... .... ....",
    "+": "..... ..#.. ..#.. ##### ..#.. ..#.. .....",
})

# 3 x 5 scale font for the dB figures of the meter scales.
SCALE = _glyphs({
    "0": "### #.# #.# #.# ###",
    "1": ".#. ##. .#. .#. ###",
    "2": "##. ..# .#. #.. ###",
    "3": "##. ..# .#. ..# ##.",
    "4": "#.# #.# ### ..# ..#",
    "5": "### #.. ##. ..# ##.",
    "6": ".## #.. ### #.# ###",
    "7": "### ..# .#. .#. .#.",
    "8": "### #.# ### #.# ###",
    "9": "### #.# ### ..# ##.",
    "-": "... ... ### ... ...",
})


def text(font, string, spacing=1):
    """Mask of a string set in a font, glyphs separated by `spacing` blank columns."""
    height = max(len(rows) for rows in font.values())
    mask = [[] for _ in range(height)]
    for position, char in enumerate(string):
        rows = font[char]
        width = len(rows[0])
        for y in range(height):
            if position:
                mask[y].extend([False] * spacing)
            row = rows[y] if y < len(rows) else "." * width
            mask[y].extend(cell == "#" for cell in row)
    return mask


def width(mask):
    return len(mask[0]) if mask else 0


def bold(mask):
    """Doubles every vertical stroke by one column to the right."""
    return [[cell or (x > 0 and row[x - 1]) for x, cell in enumerate(row + [False])] for row in mask]


def scale2x(mask):
    """Doubles the mask in both directions with edge-directed smoothing of diagonals (the EPX rule)."""
    height, span = len(mask), width(mask)

    def at(x, y):
        return mask[y][x] if 0 <= x < span and 0 <= y < height else False

    out = [[False] * (2 * span) for _ in range(2 * height)]
    for y in range(height):
        for x in range(span):
            p = at(x, y)
            up, right, left, down = at(x, y - 1), at(x + 1, y), at(x - 1, y), at(x, y + 1)
            out[2 * y][2 * x] = up if left == up and left != down and up != right else p
            out[2 * y][2 * x + 1] = right if up == right and up != left and right != down else p
            out[2 * y + 1][2 * x] = left if down == left and down != right and left != up else p
            out[2 * y + 1][2 * x + 1] = down if right == down and right != up and down != left else p
    return out


def rotated(mask, upwards):
    """The mask turned a quarter: upwards reads from bottom to top, otherwise from top to bottom."""
    height, span = len(mask), width(mask)
    if upwards:
        return [[mask[x][span - 1 - y] for x in range(height)] for y in range(span)]
    return [[mask[height - 1 - x][y] for x in range(height)] for y in range(span)]
