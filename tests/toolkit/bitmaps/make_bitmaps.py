# Writes the toolkit tests' bitmaps (24-bit, bottom-up) next to this script. The colours must match
# ../TestBitmaps.h. Run it only to change the pictures; the results are committed.
import os, struct
here = os.path.dirname(os.path.abspath(__file__))
def write(path, w, h, pixel):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += bytes(row - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(os.path.join(here, path), 'wb').write(header + info + data)
def band(k): return (40 + 40 * k, 200 - 30 * k, 90 + 20 * k)
def keyed(x, y): return (10 + 20 * x, 100 + 10 * y, 200) if (x + y) % 2 == 0 else (0, 0, 0)
def opaque(x, y): return (10 + 20 * x, 100 + 10 * y, 200)
def gradient(x, y): return (3 * x + 1, 5 * y + 1, 77)
write('keyed.bmp', 8, 8, keyed)
write('opaque.bmp', 8, 8, opaque)
write('switch2.bmp', 160, 50, lambda x, y: band(y // 25))
write('switch5.bmp', 181, 55, lambda x, y: band(y // 11))
write('toggle.bmp', 33, 22, lambda x, y: band(y // 11))
write('handle.bmp', 38, 11, lambda x, y: (0, 0, 0))
write('track.bmp', 38, 15, lambda x, y: (0, 0, 0))
write('gradient.bmp', 64, 48, gradient)
