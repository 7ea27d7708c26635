#!/usr/bin/env python3
"""Reads a saved picture with Pillow and compares it with the expected one.

usage: check_saved_rows.py FILE KIND EXPECTED WIDTH HEIGHT

KIND is rgb (8-bit RGB) or grey16 (16-bit greyscale). EXPECTED is a raw
picture, top row first as a viewer shows it: RGB bytes, or little-endian
16-bit samples. Exit 0 on a match; otherwise the first differing row is
printed and the exit code is 1.
"""
import sys

import numpy as np
from PIL import Image

GREY16_MODES = ("I;16", "I;16L", "I;16B", "I")


def main(argv):
    path, kind, expected_path = argv[1], argv[2], argv[3]
    width, height = int(argv[4]), int(argv[5])
    with Image.open(path) as image:
        if image.size != (width, height):
            print(f"{path}: {image.format} of {image.size}, expected {(width, height)}")
            return 1
        if kind == "rgb" and image.mode != "RGB" or kind == "grey16" and image.mode not in GREY16_MODES:
            print(f"{path}: {image.format} in mode {image.mode}, expected {kind}")
            return 1
        actual = np.asarray(image).astype(np.int64).reshape(height, width, -1)
    dtype = np.uint8 if kind == "rgb" else "<u2"
    expected = np.fromfile(expected_path, dtype=dtype).astype(np.int64).reshape(actual.shape)
    differs = np.any(actual != expected, axis=(1, 2))
    if differs.any():
        row = int(np.argmax(differs))
        column = int(np.argmax(np.any(actual[row] != expected[row], axis=1)))
        print(f"{path}: row {row} differs first at column {column}: "
              f"{actual[row, column].tolist()} instead of {expected[row, column].tolist()}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
