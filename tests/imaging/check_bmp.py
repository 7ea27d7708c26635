#!/usr/bin/env python3
"""Checks a BMP file with Pillow against the picture it should hold.

usage: check_bmp.py FILE EXPECTED WIDTH HEIGHT MODE

EXPECTED is a raw picture, top row first, in Pillow's layout for MODE:
"L" one byte per pixel (Pillow reads an 8-bit BMP as "L" only when its
colour table is the grey ramp, entry i = (i, i, i)), "RGB" red, green, blue
bytes per pixel. Exit 0 on a match; otherwise the
reason is printed and the exit code is 1.
"""
import sys

from PIL import Image


def check(path, expected_path, width, height, mode):
    with open(expected_path, "rb") as f:
        expected = f.read()
    with Image.open(path) as image:
        if image.format != "BMP":
            return f"format {image.format}, expected BMP"
        if image.size != (width, height):
            return f"size {image.size}, expected {(width, height)}"
        if image.mode != mode:
            return f"mode {image.mode}, expected {mode}"
        actual = image.tobytes()
    if actual != expected:
        first = next(i for i in range(min(len(actual), len(expected))) if actual[i] != expected[i]) \
            if len(actual) == len(expected) else None
        return f"pixels differ (lengths {len(actual)}/{len(expected)}, first difference at {first})"
    return None


def main():
    if len(sys.argv) != 6:
        print(__doc__)
        return 2
    path, expected_path, width, height, mode = sys.argv[1:]
    reason = check(path, expected_path, int(width), int(height), mode)
    if reason:
        print(reason)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
