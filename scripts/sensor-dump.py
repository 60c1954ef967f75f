#!/usr/bin/env python3
"""Builds a sensor-like raw dump from an ordinary picture.

    sensor-dump.py IN.ppm OUT.raw [--layout mipi10|mipi12|plain16] [--pattern RGGB|GRBG|BGGR|GBRG]
                   [--black DN] [--seed N]

Each pixel of IN (a binary PPM, P6, 8 bits) becomes one 2 x 2 Bayer cell, so
OUT is twice IN's width and height; the size goes to stdout as "W H". Pictures
made this way are clean input for the documentation and for raw developers: the
synthetic test chart stores display values straight in the samples, while a
sensor sees linear light, is far more sensitive in green than in red and blue,
sits on a black level and is noisy. Plain Python, no numpy: the pictures it is
meant for are a few hundred thousand samples.
"""
import argparse
import random
import sys

# Fraction of the range above black that a white of linear 1.0 reaches in each
# colour: green about twice as sensitive as red and blue, as behind a typical
# Bayer filter under daylight, and short of clipping so the noise stays visible.
SENSITIVITY = {"R": 0.42, "G": 0.85, "B": 0.48}

# Noise in 10-bit counts: read noise, and the shot noise's variance per count of
# signal; scaled with the bit depth so every layout looks alike.
READ_NOISE = 1.2
SHOT_VARIANCE_PER_COUNT = 0.03

LAYOUT_BITS = {"mipi10": 10, "mipi12": 12, "plain16": 16}


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    # Magic, width, height and maximum, each possibly after comments.
    while len(fields) < 4:
        while pos < len(data) and data[pos : pos + 1].isspace():
            pos += 1
        if data[pos : pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        start = pos
        while pos < len(data) and not data[pos : pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1 : pos + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        sys.exit(f"{path}: truncated")
    return width, height, pixels


def srgb_to_linear_table():
    table = []
    for v in range(256):
        c = v / 255.0
        table.append(c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4)
    return table


def mosaic_rows(width, height, pixels, pattern, bits, black, rng):
    """Yields each raw row as a list of samples, 2 * width long."""
    white = (1 << bits) - 1
    scale = float(1 << (bits - 10))
    span = white - black
    linear = srgb_to_linear_table()
    colours = [pattern[0:2], pattern[2:4]]  # the cell's colours row by row
    for y in range(height):
        row_pixels = pixels[y * width * 3 : (y + 1) * width * 3]
        for cell_row in colours:
            row = []
            for x in range(width):
                rgb = row_pixels[x * 3 : x * 3 + 3]
                for colour in cell_row:
                    light = linear[rgb["RGB".index(colour)]]
                    signal = SENSITIVITY[colour] * light * span
                    sigma = scale * (READ_NOISE**2 + SHOT_VARIANCE_PER_COUNT * signal / scale) ** 0.5
                    v = round(black + signal + rng.gauss(0.0, sigma))
                    row.append(min(max(v, 0), white))
            yield row


def pack_row(row, layout):
    out = bytearray()
    if layout == "mipi10":
        for i in range(0, len(row), 4):
            s = row[i : i + 4]
            out += bytes(v >> 2 for v in s)
            out.append((s[0] & 3) | (s[1] & 3) << 2 | (s[2] & 3) << 4 | (s[3] & 3) << 6)
    elif layout == "mipi12":
        for i in range(0, len(row), 2):
            s0, s1 = row[i], row[i + 1]
            out += bytes((s0 >> 4, s1 >> 4, (s0 & 15) | (s1 & 15) << 4))
    else:
        for v in row:
            out += v.to_bytes(2, "little")
    return out


def main():
    parser = argparse.ArgumentParser(description="Builds a sensor-like raw dump from a PPM.")
    parser.add_argument("ppm")
    parser.add_argument("raw")
    parser.add_argument("--layout", choices=sorted(LAYOUT_BITS), default="mipi10")
    parser.add_argument("--pattern", choices=["RGGB", "GRBG", "BGGR", "GBRG"], default="RGGB")
    parser.add_argument("--black", type=int, default=64, help="black level in the layout's counts")
    parser.add_argument("--seed", type=int, default=1, help="the noise's seed, for pictures that stay the same")
    args = parser.parse_args()

    bits = LAYOUT_BITS[args.layout]
    if not 0 <= args.black < (1 << bits) - 1:
        sys.exit(f"--black {args.black} is not below {args.layout}'s white level")
    width, height, pixels = read_ppm(args.ppm)
    # mipi10 packs 4 samples a group, so its rows (twice the picture's width) need an even width.
    if args.layout == "mipi10" and width % 2:
        sys.exit(f"{args.ppm}: mipi10 needs an even picture width, not {width}")
    rng = random.Random(args.seed)
    with open(args.raw, "wb") as f:
        for row in mosaic_rows(width, height, pixels, args.pattern, bits, args.black, rng):
            f.write(pack_row(row, args.layout))
    print(2 * width, 2 * height)


if __name__ == "__main__":
    main()
