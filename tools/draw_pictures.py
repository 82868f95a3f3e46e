#!/usr/bin/env python3
"""Draws the pictures of the monitor's window into ui/pictures/.

Every picture is described as geometric shapes (polygons, circles, rounded
rectangles, strokes) in a 32-unit design space, rasterised with exact
horizontal and 16-fold vertical coverage, and then reduced to the picture's
palette. The palette is fitted to the drawing (a few shades per colour keep
the edges smooth at the tiny sizes), with the key colours pinned so they stay
exact. PNG, GIF89a and ICO files are written by hand with zlib and struct.

Run from anywhere:  python3 tools/draw_pictures.py
The output is deterministic: running it twice gives the same bytes.
"""

import math
import pathlib
import struct
import zlib

REPO = pathlib.Path(__file__).resolve().parent.parent
OUT = REPO / "ui" / "pictures"

SUBROWS = 16  # vertical samples per pixel row

# ---------------------------------------------------------------- geometry


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def ellipse(cx, cy, rx, ry):
    n = max(24, int(2 * math.pi * max(rx, ry) * 3))
    return [(cx + rx * math.cos(2 * math.pi * i / n), cy + ry * math.sin(2 * math.pi * i / n))
            for i in range(n)]


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def rounded_rect(x0, y0, x1, y1, r):
    r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)
    if r <= 0:
        return rect(x0, y0, x1, y1)
    n = max(4, int(r * 3))
    pts = []
    for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0),
                          (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for i in range(n + 1):
            a = math.radians(start + 90 * i / n)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def capsule(x0, y0, x1, y1, width):
    """A straight stroke from (x0, y0) to (x1, y1) with round ends."""
    r = width / 2
    ang = math.atan2(y1 - y0, x1 - x0)
    n = max(8, int(r * 6))
    pts = []
    for cx, cy, start in ((x1, y1, ang - math.pi / 2), (x0, y0, ang + math.pi / 2)):
        for i in range(n + 1):
            a = start + math.pi * i / n
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def outline(points, width):
    """Round-joined stroke along a closed polygon, as a union of capsules."""
    n = len(points)
    return [capsule(*points[i], *points[(i + 1) % n], width) for i in range(n)]


def scaled(points, s, dx=0.0, dy=0.0):
    return [(x * s + dx, y * s + dy) for x, y in points]


# ---------------------------------------------------------------- raster


def signed_area(poly):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1])) / 2


def coverage(polys, w, h):
    """Fraction of every pixel covered by the union of the polygons."""
    cov = [0.0] * (w * h)
    crossings = [[] for _ in range(h * SUBROWS)]
    for poly in polys:
        if signed_area(poly) < 0:
            poly = poly[::-1]  # same orientation everywhere, so windings never cancel
        for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
            if y0 == y1:
                continue
            d = 1 if y1 > y0 else -1
            lo, hi = min(y0, y1), max(y0, y1)
            first = max(0, math.ceil(lo * SUBROWS - 0.5))
            last = min(h * SUBROWS, math.ceil(hi * SUBROWS - 0.5))
            slope = (x1 - x0) / (y1 - y0)
            for j in range(first, last):
                crossings[j].append((x0 + ((j + 0.5) / SUBROWS - y0) * slope, d))
    weight = 1.0 / SUBROWS
    for j, row in enumerate(crossings):
        if not row:
            continue
        row.sort()
        base = (j // SUBROWS) * w
        winding = 0
        start = 0.0
        for x, d in row:
            before = winding
            winding += d
            if before == 0 and winding != 0:
                start = x
            elif before != 0 and winding == 0:
                add_span(cov, base, start, x, w, weight)
    return [min(1.0, c) for c in cov]


def add_span(cov, base, xa, xb, w, weight):
    xa, xb = max(0.0, xa), min(float(w), xb)
    if xb <= xa:
        return
    first, last = int(xa), min(w - 1, int(math.ceil(xb)) - 1)
    for px in range(first, last + 1):
        part = min(xb, px + 1) - max(xa, px)
        if part > 0:
            cov[base + px] += part * weight


class Canvas:
    """Premultiplied RGBA pixels, each channel 0..1."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (w * h)

    def paint(self, polys, colour, clip=None, opacity=1.0):
        """Composites a colour (a tuple or a function of the pixel centre) over the
        union of the polygons, optionally limited to the coverage `clip`."""
        cov = coverage(polys, self.w, self.h)
        for i, c in enumerate(cov):
            if clip is not None:
                c *= clip[i]
            if c <= 0:
                continue
            col = colour(i % self.w + 0.5, i // self.w + 0.5) if callable(colour) else colour
            r, g, b, a = rgba(col)
            a *= c * opacity
            dr, dg, db, da = self.px[i]
            k = 1 - a
            self.px[i] = (r * a + dr * k, g * a + dg * k, b * a + db * k, a + da * k)
        return cov

    def mask(self, polys):
        return coverage(polys, self.w, self.h)


def rgba(col):
    if len(col) == 3:
        return (col[0] / 255, col[1] / 255, col[2] / 255, 1.0)
    return (col[0] / 255, col[1] / 255, col[2] / 255, col[3] / 255)


def mix(c0, c1, t):
    c0, c1 = tuple(c0) + (255,) * (4 - len(c0)), tuple(c1) + (255,) * (4 - len(c1))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def ramp(stops, t):
    t = max(0.0, min(1.0, t))
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0)
    return mix(stops[-1][1], stops[-1][1], 0)  # the last colour, as RGBA


def linear(x0, y0, x1, y1, stops):
    dx, dy = x1 - x0, y1 - y0
    n = dx * dx + dy * dy
    return lambda x, y: ramp(stops, ((x - x0) * dx + (y - y0) * dy) / n)


def radial(cx, cy, r, stops):
    return lambda x, y: ramp(stops, math.hypot(x - cx, y - cy) / r)


# ---------------------------------------------------------------- palettes


def to_bytes(p):
    return tuple(min(255, max(0, round(v * 255))) for v in p)


def fit_palette(pixel_lists, max_colours, pinned=()):
    """Chooses at most max_colours premultiplied RGBA entries for the pixels of one
    or more canvases: entry 0 is fully transparent, the pinned colours are kept
    as they are, the rest are fitted by k-means. Returns (palette, index lists)."""
    counts = {}
    for pixels in pixel_lists:
        for p in pixels:
            q = to_bytes(p)
            if q[3] < 6:
                q = (0, 0, 0, 0)
            counts[q] = counts.get(q, 0) + 1
    fixed = [(0, 0, 0, 0)] + [tuple(c) + (255,) * (4 - len(c)) for c in pinned]
    colours = list(counts)
    centres = [tuple(float(v) for v in c) for c in fixed]
    if len(colours) <= max_colours:
        centres += [tuple(map(float, c)) for c in colours if c not in fixed]
        centres = centres[:max_colours]
    else:
        # Farthest-point start, weighted by how often a colour occurs.
        while len(centres) < max_colours:
            best = max(colours, key=lambda c: min(dist2(c, m) for m in centres)
                       * math.sqrt(counts[c]))
            centres.append(tuple(map(float, best)))
        for _ in range(40):
            sums = [[0.0] * 5 for _ in centres]
            for c in colours:
                k = nearest(c, centres)
                n = counts[c]
                acc = sums[k]
                for ch in range(4):
                    acc[ch] += c[ch] * n
                acc[4] += n
            moved = False
            for k in range(len(fixed), len(centres)):
                if sums[k][4]:
                    new = tuple(sums[k][ch] / sums[k][4] for ch in range(4))
                    moved |= dist2(new, centres[k]) > 0.01
                    centres[k] = new
            if not moved:
                break
    # Premultiplied 8-bit entries; drop the unused ones.
    entries = [tuple(round(v) for v in c) for c in centres]
    lookup = {c: nearest(c, entries) for c in colours}
    used = sorted(set(lookup.values()),
                  key=lambda k: (entries[k][3] == 255, sum(entries[k][:3]), entries[k]))
    renumber = {old: new for new, old in enumerate(used)}
    palette = [unpremultiply(entries[k]) for k in used]
    indices = []
    for pixels in pixel_lists:
        idx = []
        for p in pixels:
            q = to_bytes(p)
            idx.append(renumber[lookup[(0, 0, 0, 0) if q[3] < 6 else q]])
        indices.append(idx)
    return palette, indices


def dist2(a, b):
    return sum((x - y) ** 2 for x, y in zip(a, b))


def nearest(c, centres):
    return min(range(len(centres)), key=lambda k: dist2(c, centres[k]))


def unpremultiply(c):
    r, g, b, a = c
    if a == 0:
        return (0, 0, 0, 0)
    return (min(255, round(r * 255 / a)), min(255, round(g * 255 / a)),
            min(255, round(b * 255 / a)), a)


def flatten(pixels, matte, cutoff):
    """Makes every pixel either fully transparent or opaque: pixels covered less than
    `cutoff` vanish, the others are laid over the matte colour (or, with no matte,
    keep their own colour at full strength)."""
    out = []
    for r, g, b, a in pixels:
        if a < cutoff:
            out.append((0.0, 0.0, 0.0, 0.0))
        elif matte is None:
            out.append((r / a, g / a, b / a, 1.0))
        else:
            m = rgba(matte)
            out.append((r + m[0] * (1 - a), g + m[1] * (1 - a), b + m[2] * (1 - a), 1.0))
    return out


# ---------------------------------------------------------------- file formats


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def write_png_indexed(path, w, h, palette, indices):
    depth = 4 if len(palette) <= 16 else 8
    raw = bytearray()
    for y in range(h):
        row = indices[y * w:(y + 1) * w]
        raw.append(0)  # filter: none
        if depth == 8:
            raw += bytes(row)
        else:
            padded = row + [0] * (w % 2)
            raw += bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))
    alphas = [c[3] for c in palette]
    while alphas and alphas[-1] == 255:
        alphas.pop()
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, 3, 0, 0, 0))
    data += png_chunk(b"PLTE", b"".join(bytes(c[:3]) for c in palette))
    if alphas:
        data += png_chunk(b"tRNS", bytes(alphas))
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    path.write_bytes(data)


def write_png_rgba(path, canvas):
    raw = bytearray()
    for y in range(canvas.h):
        raw.append(0)
        for p in canvas.px[y * canvas.w:(y + 1) * canvas.w]:
            raw += bytes(unpremultiply(to_bytes(p)))
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0))
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    path.write_bytes(data)


def lzw_encode(indices, min_size):
    """GIF LZW: variable code width from min_size + 1 up to 12 bits, codes packed
    least significant bit first."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    acc = nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    table = {}
    next_code, width = end + 1, min_size + 1
    emit(clear, width)
    prefix = indices[0]
    for k in indices[1:]:
        if (prefix, k) in table:
            prefix = table[(prefix, k)]
            continue
        emit(prefix, width)
        if next_code < 4096:
            table[(prefix, k)] = next_code
            next_code += 1
            # The decoder adds each entry one code later, so it widens its codes
            # when its table reaches 2**width, one step after ours does.
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table.clear()
            next_code, width = end + 1, min_size + 1
        prefix = k
    emit(prefix, width)
    emit(end, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    return bytes(out) + b"\x00"


def write_gif(path, w, h, palette, frames, comment=None):
    """frames: list of (indices, delay in hundredths of a second); palette entry 0
    is the transparent one. The animation loops for ever."""
    bits = max(2, (len(palette) - 1).bit_length())
    table = [c[:3] for c in palette] + [(0, 0, 0)] * ((1 << bits) - len(palette))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", w, h, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    data += b"".join(bytes(c) for c in table)
    data += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\x00"
    if comment:
        data += b"\x21\xfe" + sub_blocks(comment.encode("ascii"))
    for indices, delay in frames:
        # Disposal 2: the frame's area returns to the background before the next one.
        data += b"\x21\xf9\x04" + struct.pack("<BHB", (2 << 2) | 1, delay, 0) + b"\x00"
        data += b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0)
        data += bytes([bits]) + sub_blocks(lzw_encode(indices, bits))
    data += b"\x3b"
    path.write_bytes(bytes(data))


def ico_entry_4bpp(w, h, palette, indices):
    """A classic 16-colour icon image: BMP header, palette, colour bits, AND mask.
    Transparent pixels are black in the colour bits and set in the mask."""
    assert len(palette) <= 16
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b"".join(bytes((c[2], c[1], c[0], 0)) if c[3] else b"\0\0\0\0" for c in palette)
    pal += b"\0\0\0\0" * (16 - len(palette))
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(h)):  # bottom-up rows
        row = indices[y * w:(y + 1) * w]
        nibbles = row + [0] * (w % 2)
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        xor += line + b"\0" * (xor_stride - len(line))
        mask += pack_mask([palette[i][3] == 0 for i in row], and_stride)
    return header + pal + bytes(xor) + bytes(mask), 16, 4


def ico_entry_32bpp(canvas):
    """A 32-bit icon image with an alpha channel and a matching AND mask."""
    w, h = canvas.w, canvas.h
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    and_stride = ((w + 31) // 32) * 4
    colour, mask = bytearray(), bytearray()
    for y in reversed(range(h)):
        row = [unpremultiply(to_bytes(p)) for p in canvas.px[y * w:(y + 1) * w]]
        colour += b"".join(bytes((c[2], c[1], c[0], c[3])) for c in row)
        mask += pack_mask([c[3] == 0 for c in row], and_stride)
    return header + bytes(colour) + bytes(mask), 0, 32


def pack_mask(bits, stride):
    out = bytearray(stride)
    for x, on in enumerate(bits):
        if on:
            out[x // 8] |= 0x80 >> (x % 8)
    return bytes(out)


def write_ico(path, images):
    """images: list of (size, (bitmap bytes, colour count, bits per pixel))."""
    offset = 6 + 16 * len(images)
    directory, blobs = bytearray(struct.pack("<HHH", 0, 1, len(images))), bytearray()
    for size, (blob, colours, bpp) in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp,
                                 len(blob), offset)
        offset += len(blob)
        blobs += blob
    path.write_bytes(bytes(directory + blobs))


# ---------------------------------------------------------------- colours

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
NAVY = (14, 28, 92)
BLUE = (28, 92, 214)
CYAN = (48, 204, 244)
PALE_CYAN = (176, 238, 255)


# ---------------------------------------------------------------- designs
#
# Each design draws into a size x size canvas. Coordinates are given for a
# 32-pixel picture and scaled; `snap` puts edges that must stay sharp on whole
# pixels, and line widths never drop below one pixel.


def design_corvolt(size):
    """The window icon: an upright battery, shaded like a blue cylinder, with a
    white lightning bolt, all in a black outline."""
    s = size / 32
    c = Canvas(size, size)

    def snap(v):
        return math.floor(v * s + 0.5)

    line = max(1, round(1.2 * s))
    # Terminal cap.
    cap = (snap(11.5), snap(2), snap(20.5), snap(8))
    c.paint([rounded_rect(*cap, 1.2 * s)], BLACK)
    c.paint([rounded_rect(cap[0] + line, cap[1] + line, cap[2] - line, cap[3], 0.6 * s)],
            linear(cap[0], 0, cap[2], 0, [(0, PALE_CYAN), (0.35, CYAN), (1, BLUE)]))
    # Body: a cylinder lit from the left.
    body = (snap(5), snap(6.5), snap(27), snap(31))
    c.paint([rounded_rect(*body, 3.2 * s)], BLACK)
    inner = (body[0] + line, body[1] + line, body[2] - line, body[3] - line)
    inner_shape = [rounded_rect(*inner, max(0.5, 3.2 * s - line))]
    if size >= 32:
        shading = [(0, BLUE), (0.12, CYAN), (0.3, CYAN), (0.62, BLUE), (0.9, NAVY), (1, NAVY)]
    else:
        # Small: the lit side shrinks to a thin edge so the white bolt stands on blue.
        shading = [(0, CYAN), (0.1, CYAN), (0.3, BLUE), (0.8, NAVY), (1, NAVY)]
    c.paint(inner_shape, linear(inner[0], 0, inner[2], 0, shading))
    if size >= 32:
        inside = c.mask(inner_shape)
        # Narrow white highlight down the lit side.
        hx = inner[0] + max(1, round(1.2 * s))
        c.paint([rounded_rect(hx, inner[1] + 2 * s, hx + max(1, round(1.4 * s)),
                              inner[3] - 2 * s, 0.7 * s)], WHITE, clip=inside, opacity=0.85)
        # Top rim shadow under the cap, so the cap reads as sitting on the body.
        c.paint([rect(inner[0], inner[1], inner[2], inner[1] + max(1, round(1.0 * s)))], NAVY,
                clip=inside, opacity=0.55)
        bolt = scaled([(17.6, 9.6), (10.2, 20.4), (15.0, 20.4), (12.8, 29.0),
                       (21.8, 16.4), (17.0, 16.4), (20.8, 9.6)], s)
        c.paint(outline(bolt, 1.3 * s), NAVY)
    else:
        # Too few pixels for the highlight and the bolt's edge: a plain, larger bolt.
        bolt = scaled([(18.0, 8.6), (9.4, 21.0), (15.0, 21.0), (12.8, 30.2),
                       (22.6, 16.2), (17.0, 16.2), (21.8, 8.6)], s)
    c.paint([bolt], linear(10 * s, 12 * s, 22 * s, 26 * s,
                           [(0, WHITE), (0.55, WHITE), (1, PALE_CYAN)]))
    return c


def rounded_triangle(core, radius):
    return [core] + outline(core, 2 * radius)


def design_falla(size):
    """Warning sign: a red triangle pointing up with a white exclamation mark."""
    s = size / 32
    c = Canvas(size, size)
    line = max(1.0, 1.25 * s)
    core = scaled([(16, 4.4), (28.6, 27.0), (3.4, 27.0)], s)
    outer_r = 2.4 * s
    drop = max(1, s)
    c.paint(rounded_triangle([(x + drop, y + drop) for x, y in core], outer_r), BLACK,
            opacity=0.3)
    c.paint(rounded_triangle(core, outer_r), (110, 0, 0))
    c.paint(rounded_triangle(core, outer_r - line),
            linear(0, 4 * s, 0, 29 * s, [(0, (255, 110, 90)), (0.45, (232, 24, 16)),
                                         (1, (176, 0, 0))]))
    # Exclamation mark: a bar with a rounded top, narrowing downwards, and a dot.
    # Below 32 pixels both are whole-pixel blocks, which stay sharp.
    if size >= 32:
        half_top, half_bottom = 1.9 * s, 1.1 * s
        top, bottom = 10.0 * s + half_top, 19.5 * s
        bar = [(16 * s - half_top, top), (16 * s + half_top, top),
               (16 * s + half_bottom, bottom), (16 * s - half_bottom, bottom)]
        c.paint([bar, circle(16 * s, top, half_top), circle(16 * s, 23.6 * s, 1.9 * s)], WHITE)
    else:
        mid, half = round(16 * s), max(1, round(1.5 * s))
        c.paint([rect(mid - half, round(10 * s), mid + half, round(19.5 * s)),
                 rect(mid - half, round(22 * s), mid + half, round(22 * s) + 2 * half)], WHITE)
    return c


def design_monito(size):
    """A black standing figure."""
    s = size / 32
    c = Canvas(size, size)
    parts = [
        circle(16 * s, 6.2 * s, 4.0 * s),
        rounded_rect(11 * s, 11.2 * s, 21 * s, 22.5 * s, 3.2 * s),
        capsule(11.6 * s, 13.4 * s, 7.6 * s, 22.0 * s, 3.4 * s),
        capsule(20.4 * s, 13.4 * s, 24.4 * s, 22.0 * s, 3.4 * s),
        capsule(13.6 * s, 21.0 * s, 12.8 * s, 29.4 * s, 4.0 * s),
        capsule(18.4 * s, 21.0 * s, 19.2 * s, 29.4 * s, 4.0 * s),
    ]
    c.paint(parts, (8, 8, 8))
    return c


def design_igual(size):
    """A grey cabinet seen from the front left and above, with its shadow on the
    floor and two small marks on the front panel, one blue and one red."""
    s = size / 32
    c = Canvas(size, size)
    front = scaled([(6, 10), (19, 10), (19, 29), (6, 29)], s)
    side = scaled([(19, 10), (26, 5), (26, 24.4), (19, 29)], s)
    top = scaled([(6, 10), (13.2, 5), (26, 5), (19, 10)], s)
    shadow = scaled([(7, 29), (19, 29), (26, 24.4), (31.5, 25.6), (25, 31.2), (8, 31.2)], s)
    c.paint([shadow], linear(20 * s, 26 * s, 31 * s, 29 * s,
                             [(0, (0, 0, 0, 110)), (1, (0, 0, 0, 30))]))
    c.paint([front], linear(0, 10 * s, 0, 29 * s, [(0, (214, 214, 214)), (1, (178, 178, 178))]))
    c.paint([side], linear(19 * s, 0, 26 * s, 0, [(0, (146, 146, 146)), (1, (112, 112, 112))]))
    c.paint([top], linear(6 * s, 10 * s, 26 * s, 5 * s,
                          [(0, (236, 236, 236)), (1, (204, 204, 204))]))
    edge = max(1.0, 0.9 * s)
    # Panel details on the front: a recessed strip, vent slots.
    c.paint([rect(8 * s, 14.5 * s, 17 * s, 15.5 * s)], (140, 140, 140))
    c.paint([rect(8 * s, 15.5 * s, 17 * s, 16 * s)], WHITE, opacity=0.7)
    for y in (19, 21, 23, 25):
        c.paint([rect(8.5 * s, y * s, 16.5 * s, (y + 0.9) * s)], (128, 128, 128))
    # The two marks.
    c.paint([rect(8.2 * s, 11.6 * s, 11 * s, 13.4 * s)], (20, 60, 230))
    c.paint([rect(12.2 * s, 11.6 * s, 15 * s, 13.4 * s)], (230, 20, 20))
    # Edges: a dark silhouette and lighter inner creases.
    c.paint(outline(scaled([(6, 10), (13.2, 5), (26, 5), (26, 24.4), (19, 29), (6, 29)], s),
                    edge), (64, 64, 64))
    c.paint([capsule(6 * s, 10 * s, 19 * s, 10 * s, edge * 0.8),
             capsule(19 * s, 10 * s, 26 * s, 5 * s, edge * 0.8)], (248, 248, 248))
    c.paint([capsule(19 * s, 10 * s, 19 * s, 29 * s, edge * 0.8)], (96, 96, 96))
    return c


LAMP_COLOURS = {
    # rim, outer body, centre, highlight strength
    "green": ((0, 72, 0), (0, 138, 0), (140, 255, 120), 0.9),
    "red": ((96, 0, 0), (176, 0, 0), (255, 150, 120), 0.9),
    "off": ((44, 44, 44), (72, 72, 72), (150, 150, 150), 0.35),
}


def design_lamp(kind):
    """A round indicator lamp, 13 x 13 pixels."""
    rim, body, centre, shine = LAMP_COLOURS[kind]
    c = Canvas(13, 13)
    c.paint([circle(6.5, 6.5, 6.3)], rim)
    c.paint([circle(6.5, 6.5, 5.3)], radial(5.4, 5.2, 6.4, [(0, centre), (0.55, mix(
        centre, body, 0.6)), (1, body)]))
    c.paint([ellipse(4.9, 4.4, 1.9, 1.3)], WHITE, opacity=shine)
    return c


def design_systray(size):
    """A grey disc with a white ring: the tray control's own design icon."""
    s = size / 16
    c = Canvas(size, size)
    c.paint([circle(8 * s, 8 * s, 7.4 * s)], (72, 72, 72))
    c.paint([circle(8 * s, 8 * s, 6.4 * s)],
            radial(6 * s, 6 * s, 9 * s, [(0, (200, 200, 200)), (1, (120, 120, 120))]))
    c.paint([circle(8 * s, 8 * s, 4.6 * s)], WHITE)
    c.paint([circle(8 * s, 8 * s, 3.0 * s)],
            radial(7 * s, 7 * s, 4 * s, [(0, (190, 190, 190)), (1, (128, 128, 128))]))
    return c


# ---------------------------------------------------------------- output

WINDOW_FACE = (240, 240, 240)  # what a lamp's soft edge is blended into


def indexed_png(path, canvas, colours, pinned=()):
    palette, (indices,) = fit_palette([canvas.px], colours, pinned)
    write_png_indexed(path, canvas.w, canvas.h, palette, indices)


def lamp_gif(path, lit, comment=None):
    frames = [flatten(design_lamp(k).px, WINDOW_FACE, 0.45) for k in (lit, "off")]
    palette, indices = fit_palette(frames, 32, pinned=(WHITE,))
    write_gif(path, 13, 13, palette, [(indices[0], 50), (indices[1], 25)], comment)


def ico_file(path, designs, colours=16, pinned=()):
    """An icon resource of the Windows window: for each size a 16-colour image (unless
    colours is None) and a 32-bit one with alpha."""
    images = []
    for canvas in designs:
        if colours:
            palette, (indices,) = fit_palette([flatten(canvas.px, None, 0.5)], colours, pinned)
            images.append((canvas.w, ico_entry_4bpp(canvas.w, canvas.h, palette, indices)))
        images.append((canvas.w, ico_entry_32bpp(canvas)))
    write_ico(path, images)


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    icon_keys = (BLACK, WHITE, NAVY, BLUE, CYAN)

    indexed_png(OUT / "corvolt.png", design_corvolt(32), 16, icon_keys)
    ico_file(OUT / "corvolt.ico", [design_corvolt(size) for size in (16, 32, 48)],
             pinned=icon_keys)
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        folder = OUT / "hicolor" / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        write_png_rgba(folder / "corvolt.png", design_corvolt(size))

    indexed_png(OUT / "falla.png", design_falla(32), 16, (WHITE,))
    indexed_png(OUT / "monito.png", design_monito(32), 16)
    indexed_png(OUT / "igual.png", design_igual(32), 256)
    lamp_gif(OUT / "vl1.gif", "green")
    lamp_gif(OUT / "vl2.gif", "red", comment="Corvolt lamp")
    indexed_png(OUT / "systray.png", design_systray(16), 16, (WHITE,))

    # The same pictures as icon resources of the Windows program, at the sizes it shows.
    ico_file(OUT / "falla.ico", [design_falla(32), design_falla(16)], pinned=(WHITE,))
    ico_file(OUT / "monito.ico", [design_monito(32), design_monito(16)])
    ico_file(OUT / "igual.ico", [design_igual(32)], colours=None)
    ico_file(OUT / "vl1.ico", [design_lamp("green")], colours=None)
    ico_file(OUT / "vl2.ico", [design_lamp("red")], colours=None)


if __name__ == "__main__":
    main()
