#!/usr/bin/env python3
"""Checks an image file against the picture it should hold.

usage: check_image.py KIND FILE EXPECTED WIDTH HEIGHT CHANNELS BITS
                      [--max-error N] [--edge-margin N]

KIND is png, tiff or jpeg. EXPECTED is a raw picture, top row first, with
CHANNELS samples per pixel (1 grey, 3 RGB, 4 RGBA) of BITS bits each (16-bit
samples little-endian). The file must be a well-formed image of that layout
(PNG: not interlaced, valid for pngcheck; TIFF: uncompressed, one strip,
contiguous samples; JPEG: progressive) whose samples differ from the
expected ones by at most --max-error (default 0). --edge-margin leaves out
pixels within that distance of a colour edge of the expected picture, where
JPEG's colour subsampling blurs. Exit 0 on a match; otherwise the reason is
printed and the exit code is 1.
"""
import argparse
import struct
import subprocess
import sys
import zlib

import numpy as np


class Mismatch(Exception):
    pass


def require(condition, message):
    if not condition:
        raise Mismatch(message)


def unfilter_png(data, height, row_bytes, pixel_bytes):
    rows = []
    previous = [0] * row_bytes
    step = row_bytes + 1
    require(len(data) == height * step, f"PNG data holds {len(data)} bytes, expected {height * step}")
    for y in range(height):
        kind = data[y * step]
        line = list(data[y * step + 1:(y + 1) * step])
        for i in range(row_bytes):
            left = line[i - pixel_bytes] if i >= pixel_bytes else 0
            up = previous[i]
            if kind == 0:
                predictor = 0
            elif kind == 1:
                predictor = left
            elif kind == 2:
                predictor = up
            elif kind == 3:
                predictor = (left + up) // 2
            elif kind == 4:
                corner = previous[i - pixel_bytes] if i >= pixel_bytes else 0
                estimate = left + up - corner
                distances = (abs(estimate - left), abs(estimate - up), abs(estimate - corner))
                predictor = left if distances[0] <= distances[1] and distances[0] <= distances[2] else (
                    up if distances[1] <= distances[2] else corner)
            else:
                raise Mismatch(f"PNG row {y} has filter type {kind}")
            line[i] = (line[i] + predictor) & 0xFF
        rows.append(bytes(line))
        previous = line
    return b"".join(rows)


def read_png(path, channels, bits):
    result = subprocess.run(["pngcheck", "-q", path], capture_output=True, text=True)
    require(result.returncode == 0, f"pngcheck: {result.stdout.strip()} {result.stderr.strip()}")
    blob = open(path, "rb").read()
    require(blob[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature")
    position, header, compressed = 8, None, b""
    while position < len(blob):
        length, kind = struct.unpack(">I4s", blob[position:position + 8])
        body = blob[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        position += 12 + length
    require(header is not None, "no IHDR")
    width, height, depth, colour, _, _, interlace = header
    colour_of = {1: 0, 3: 2, 4: 6}
    require(depth == bits, f"PNG bit depth {depth}, expected {bits}")
    require(colour == colour_of[channels], f"PNG colour type {colour}, expected {colour_of[channels]}")
    require(interlace == 0, "PNG is interlaced")
    pixel_bytes = channels * bits // 8
    data = unfilter_png(zlib.decompress(compressed), height, width * pixel_bytes, pixel_bytes)
    dtype = ">u2" if bits == 16 else np.uint8
    return np.frombuffer(data, dtype=dtype).reshape(height, width, channels)


def read_tiff(path, channels, bits):
    result = subprocess.run(["tiffinfo", path], capture_output=True, text=True)
    require(result.returncode == 0, f"tiffinfo: {result.stderr.strip()}")
    blob = open(path, "rb").read()
    order = {b"II": "<", b"MM": ">"}.get(blob[:2])
    require(order is not None, "no TIFF byte-order mark")
    magic, offset = struct.unpack(order + "HI", blob[2:8])
    require(magic == 42, "not a classic TIFF")
    count = struct.unpack(order + "H", blob[offset:offset + 2])[0]
    sizes = {3: ("H", 2), 4: ("I", 4)}
    tags = {}
    for n in range(count):
        entry = blob[offset + 2 + 12 * n:offset + 14 + 12 * n]
        tag, kind, number = struct.unpack(order + "HHI", entry[:8])
        if kind not in sizes:
            continue
        code, size = sizes[kind]
        where = entry[8:12] if number * size <= 4 else blob[struct.unpack(order + "I", entry[8:12])[0]:]
        tags[tag] = list(struct.unpack(order + code * number, where[:number * size]))
    width, height = tags[256][0], tags[257][0]
    require(tags.get(259, [1]) == [1], f"TIFF compression {tags.get(259)}")
    require(tags.get(284, [1]) == [1], f"TIFF planar configuration {tags.get(284)}")
    require(tags.get(277, [1]) == [channels], f"TIFF samples per pixel {tags.get(277)}")
    require(tags.get(258, [1]) in ([bits], [bits] * channels), f"TIFF bits per sample {tags.get(258)}")
    require(tags.get(262) == [1 if channels == 1 else 2], f"TIFF photometric {tags.get(262)}")
    require(len(tags[273]) == 1, f"TIFF has {len(tags[273])} strips")
    strip_bytes = width * height * channels * bits // 8
    require(tags[279] == [strip_bytes], f"TIFF strip of {tags[279]} bytes, expected {strip_bytes}")
    data = blob[tags[273][0]:tags[273][0] + strip_bytes]
    require(len(data) == strip_bytes, "TIFF strip runs past the end of the file")
    dtype = order + "u2" if bits == 16 else np.uint8
    return np.frombuffer(data, dtype=dtype).reshape(height, width, channels)


def read_jpeg(path, channels, bits):
    from PIL import Image
    require(bits == 8, "JPEG holds 8-bit samples")
    with Image.open(path) as image:
        require(image.format == "JPEG", f"format {image.format}")
        require(image.mode == ("L" if channels == 1 else "RGB"), f"JPEG mode {image.mode}")
        require(image.info.get("progressive"), "JPEG is not progressive")
        pixels = np.asarray(image)
    return pixels.reshape(pixels.shape[0], pixels.shape[1], channels)


def near_edges(expected, margin):
    """Pixels within `margin` of a pixel of another colour."""
    height, width = expected.shape[:2]
    padded = np.pad(expected, ((margin, margin), (margin, margin), (0, 0)), mode="edge")
    near = np.zeros((height, width), dtype=bool)
    for dy in range(2 * margin + 1):
        for dx in range(2 * margin + 1):
            near |= np.any(padded[dy:dy + height, dx:dx + width] != expected, axis=2)
    return near


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["png", "tiff", "jpeg"])
    parser.add_argument("file")
    parser.add_argument("expected")
    for name in ("width", "height", "channels", "bits"):
        parser.add_argument(name, type=int)
    parser.add_argument("--max-error", type=int, default=0)
    parser.add_argument("--edge-margin", type=int, default=0)
    args = parser.parse_args(argv[1:])
    readers = {"png": read_png, "tiff": read_tiff, "jpeg": read_jpeg}
    try:
        actual = readers[args.kind](args.file, args.channels, args.bits).astype(np.int64)
        dtype = "<u2" if args.bits == 16 else np.uint8
        expected = np.fromfile(args.expected, dtype=dtype).astype(np.int64)
        shape = (args.height, args.width, args.channels)
        require(actual.shape == shape, f"picture of shape {actual.shape}, expected {shape}")
        expected = expected.reshape(shape)
        error = np.abs(actual - expected)
        if args.edge_margin > 0:
            error[near_edges(expected, args.edge_margin)] = 0
        if error.max() > args.max_error:
            y, x, c = np.unravel_index(int(error.argmax()), error.shape)
            raise Mismatch(f"sample ({x}, {y}, {c}) reads {actual[y, x, c]}, expected {expected[y, x, c]}"
                           f" (largest error {error.max()}, allowed {args.max_error})")
    except Mismatch as problem:
        print(f"{args.file}: {problem}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
