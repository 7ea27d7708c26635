#!/usr/bin/env python3
"""Writes the seed corpora of the gige_packets and stream_reply fuzz targets
(their script formats are described at the top of each target)."""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def burst(packets):  # one step of (n + 1) * 8 faithful packets
    assert packets % 8 == 0 and 8 <= packets <= 2048
    return bytes([1, packets // 8 - 1])


def jump(sequence):
    return bytes([2, sequence >> 8, sequence & 0xFF])


def raw(form, body):  # arbitrary bytes; odd form: from the camera's address
    assert len(body) % 8 == 0 and len(body) <= 2040
    return bytes([3, form, len(body) // 8]) + body


IDLE = lambda ticks: bytes([4, ticks])  # noqa: E731
ONE = bytes([0])
START = bytes([5])
TYPE6_640 = bytes([6])          # type 6, 640 x 480 x 16: 640 packets a frame
TYPE5_320 = bytes([5 + 7])      # type 5, 320 x 240 x 16: 192 packets
TYPE6_SMALL = bytes([6 + 21])   # type 6 into a 64 x 48 x 8 buffer

GIGE = {
    "whole-frame": TYPE6_640 + burst(640),
    "two-frames": TYPE5_320 + burst(192) + IDLE(1) + jump(1) + burst(192),
    "buffer-smaller-than-image": TYPE6_SMALL + burst(640),
    "lost-packet-then-resend": TYPE6_640 + burst(64) + jump(66) + burst(8) + jump(65)
    + burst(576),
    "duplicate-and-reordered": TYPE5_320 + burst(16) + jump(10) + ONE + jump(18) + ONE
    + jump(17) + burst(176),
    "resync-other-block": TYPE5_320 + burst(40) + jump(300) + burst(8) + jump(1) + burst(192),
    "idle-rerequest-midframe": TYPE6_640 + burst(200) + IDLE(255) + jump(1) + burst(640),
    "foreign-and-wrong-length": TYPE5_320 + raw(0, b"\x01" * 64) + raw(0xF3, b"") + burst(192),
    "camera-garbage": TYPE5_320 + raw(1, b"\xaa" * 1064) + burst(192),
    "restart": TYPE5_320 + burst(64) + START + jump(1) + burst(192),
}

STREAM = {
    "frame": bytes([4, 0, 17]) + bytes(range(17)) + bytes([1]),
    "two-frames-in-pieces": bytes([1, 0, 3]) + b"abc" + bytes([0, 7]) + b"defghij" + bytes([1, 1]),
    "idle-then-frame": bytes([2, 1, 0, 9]) + bytes(9) + bytes([1]),
    "frame-cut-by-close": bytes([4, 0, 5]) + b"12345" + bytes([3, 1, 1]),
    "status": bytes([0, 2, 16]) + bytes(range(0x30, 0x40)),
    "status-short": bytes([0, 2, 1, 0x55, 2, 0]),
    "reconnect": bytes([4, 0, 8]) + bytes(8) + bytes([4, 0, 17]) + bytes(17) + bytes([1]),
}

for name, corpus in (("gige_packets", GIGE), ("stream_reply", STREAM)):
    folder = HERE / "corpus" / name
    folder.mkdir(parents=True, exist_ok=True)
    for file, data in corpus.items():
        (folder / file).write_bytes(data)
