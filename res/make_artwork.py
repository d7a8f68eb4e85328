#!/usr/bin/env python3
"""res/make_artwork.py ICON_OUT BITMAP_OUT

Draws the program icon (ten images) and the dialog background at build time, so no binary
artwork lives in the repository. Standard library only.
"""
import struct
import sys
import zlib

ICON_SIZES = (16, 32, 48)
ICON_DEPTHS = (4, 8, 32)
BACKGROUND_SIZE = (700, 900)

# The classic 16-colour palette: what a 4-bit icon is drawn with on every system.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(round(i * 255 / 39),) * 3 for i in range(40)]
    return cube + greys


def rounded_box(u, v, x0, y0, x1, y1, radius):
    """True when (u, v) lies in the rectangle with rounded corners."""
    if u < x0 or u > x1 or v < y0 or v > y1:
        return False
    cx = min(max(u, x0 + radius), x1 - radius)
    cy = min(max(v, y0 + radius), y1 - radius)
    return (u - cx) ** 2 + (v - cy) ** 2 <= radius * radius


# Each part of the drawing has a fixed colour in the 16-colour image, where the nearest
# palette entry of the true colour would turn orange and green into greys.
VGA16_ROLE = {"clear": 4, "ground": 4, "orange": 9, "green": 10, "yellow": 11, "play": 15}


def icon_sample(u, v):
    """Part name and colour (r, g, b, a) of the icon at (u, v) in the unit square, v downwards."""
    if not rounded_box(u, v, 0.04, 0.04, 0.96, 0.96, 0.2):
        return "clear", (0, 0, 0, 0)
    # Three stacked segments on the left, played as one stream on the right.
    segments = ((0.28, "orange", (255, 176, 59)), (0.48, "green", (120, 220, 120)),
                (0.68, "yellow", (255, 232, 110)))
    for middle, role, colour in segments:
        if rounded_box(u, v, 0.16, middle - 0.06, 0.46, middle + 0.06, 0.05):
            return role, colour + (255,)
    # Play triangle: apex at the right, base at x = 0.54.
    if 0.54 <= u <= 0.86:
        half = 0.24 * (0.86 - u) / 0.32
        if abs(v - 0.48) <= half:
            return "play", (255, 255, 255, 255)
    return "ground", (int(48 + 10 * v), int(132 - 70 * v), int(228 - 70 * v), 255)


def render(size, samples):
    """Rows top-down of (r, g, b, a, part), anti-aliased by averaging samples × samples points;
    the part is the one at the pixel's centre."""
    rows = []
    n = samples * samples
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    r, g, b, a = icon_sample(u, v)[1]
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            role = icon_sample((x + 0.5) / size, (y + 0.5) / size)[0]
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], acc[3] // n, role))
            else:
                row.append((0, 0, 0, 0, role))
        rows.append(row)
    return rows


def nearest(palette, colour):
    r, g, b = colour[:3]
    return min(range(len(palette)),
               key=lambda i: (palette[i][0] - r) ** 2 + (palette[i][1] - g) ** 2 + (palette[i][2] - b) ** 2)


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def pack_bits(values, bits):
    out = bytearray()
    per_byte = 8 // bits
    for i in range(0, len(values), per_byte):
        byte = 0
        for j in range(per_byte):
            value = values[i + j] if i + j < len(values) else 0
            byte |= value << (8 - bits * (j + 1))
        out.append(byte)
    return bytes(out)


def dib_image(rows, depth):
    """One icon image as a DIB: header (double height), palette, colour rows, AND mask."""
    size = len(rows)
    palette = {4: VGA16, 8: palette256()}.get(depth, [])
    colour_rows = []
    mask_rows = []
    for row in reversed(rows):  # DIB rows run bottom-up
        # Hard edges for the paletted images: their transparency is the 1-bit mask alone.
        opaque = [pixel[3] >= 128 for pixel in row]
        mask_rows.append(padded(pack_bits([0 if o else 1 for o in opaque], 1)))
        if depth == 32:
            colour_rows.append(b"".join(struct.pack("BBBB", p[2], p[1], p[0], p[3]) for p in row))
        else:
            if depth == 4:
                indices = [VGA16_ROLE[p[4]] if o else 0 for p, o in zip(row, opaque)]
            else:
                indices = [nearest(palette, p) if o else 0 for p, o in zip(row, opaque)]
            colour_rows.append(padded(pack_bits(indices, depth)))
    pixels = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, len(pixels), 0, 0,
                         len(palette), 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + pixels


def png_image(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel[:4]) for row in rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def make_icon():
    images = []  # (size, depth, bytes)
    for size in ICON_SIZES:
        rows = render(size, 4)
        for depth in ICON_DEPTHS:
            images.append((size, depth, dib_image(rows, depth)))
    images.append((256, 32, png_image(render(256, 2))))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, depth, data in images:
        colour_count = 16 if depth == 4 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, depth,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, _, data in images)


def make_background():
    """A light paper-like gradient with soft diagonal ribbons; black text stays readable on it."""
    width, height = BACKGROUND_SIZE
    stride = width * 3  # 2100: already a multiple of four
    rows = []
    for y in range(height):
        t = y / (height - 1)
        base = (250 - 18 * t, 248 - 8 * t, 240 + 12 * t)
        row = bytearray(stride)
        for x in range(width):
            # Broad stripes every 120 pixels along the diagonal, at most 8 levels darker.
            phase = ((x + y) % 120) / 120.0
            shade = 8 * (1 - abs(2 * phase - 1)) ** 3
            r, g, b = base
            row[3 * x] = int(min(255, b - shade))
            row[3 * x + 1] = int(min(255, g - shade * 0.6))
            row[3 * x + 2] = int(min(255, r - shade * 0.9))
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return file_header + info + pixels


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_artwork.py ICON_OUT BITMAP_OUT")
    with open(sys.argv[1], "wb") as f:
        f.write(make_icon())
    with open(sys.argv[2], "wb") as f:
        f.write(make_background())


if __name__ == "__main__":
    main()
