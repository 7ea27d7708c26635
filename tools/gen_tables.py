#!/usr/bin/python3
"""Writes the four built-in calibration tables to data/tables/.

Each file is headerless: int32 N, then N records of int32 raw value and
float32 temperature, little-endian. The output is deterministic: the noise
comes from a seeded splitmix64 generator of this script, so every run writes
the same bytes.

  sparse_114.tbl  low range, 280 points, raw 5299..8166
  sparse_115.tbl  high range, 281 points, raw 2046..3722
  dense_114.tbl   low range, one point per raw value 0..16383
  dense_115.tbl   high range, one point per raw value 0..16383
"""

import os
import struct
import sys

MASK64 = (1 << 64) - 1


class SplitMix64:
    def __init__(self, seed):
        self.state = seed & MASK64

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def uniform(self):
        """A float in [0, 1)."""
        return (self.next() >> 11) / float(1 << 53)

    def below(self, n):
        return self.next() % n

    def noise(self, amplitude):
        """Triangular noise in (-amplitude, amplitude)."""
        return (self.uniform() + self.uniform() - 1.0) * amplitude


def tenth(value):
    return round(value * 10.0) / 10.0


def sample_distinct(rng, low, high, count):
    """count distinct integers in [low, high], sorted."""
    chosen = set()
    while len(chosen) < count:
        chosen.add(low + rng.below(high - low + 1))
    return sorted(chosen)


def with_repeats(rng, values, repeats):
    """values with `repeats` of them doubled in place (each a repeat of its predecessor)."""
    doubled = set()
    while len(doubled) < repeats:
        doubled.add(rng.below(len(values)))
    out = []
    for index, value in enumerate(values):
        out.append(value)
        if index in doubled:
            out.append(value)
    return out


def noisy_curve(rng, raws, curve, amplitude, low, high):
    return [min(high, max(low, tenth(curve(raw) + rng.noise(amplitude)))) for raw in raws]


def sparse_low():
    """Table A: 280 points, 31 repeated raw values, P[N-11] = (8063, 95.3)."""
    rng = SplitMix64(114)
    head = [(5299, -0.8), (5308, 3.6), (5311, 3.7), (5317, 3.7), (5317, 4.1), (5375, 5.8),
            (5397, 5.7)]
    body_raws = with_repeats(rng, sample_distinct(rng, 5398, 8061, 232), 30)

    def curve(raw):  # mildly concave from (5397, 5.7) to (8063, 95.3)
        x = (raw - 5397) / (8063 - 5397)
        return 5.7 + 89.6 * (x + 0.08 * x * (1.0 - x))

    body = list(zip(body_raws, noisy_curve(rng, body_raws, curve, 0.6, -0.7, 95.2)))
    tail_raws = sample_distinct(rng, 8064, 8165, 9) + [8166]
    tail_temps = noisy_curve(rng, tail_raws, lambda raw: 95.3 + 3.7 * (raw - 8063) / 103,
                             0.5, 95.0, 99.5)
    tail_temps[5] = 99.6  # the warmest point
    tail_temps[-1] = 99.0
    points = head + body + [(8063, 95.3)] + list(zip(tail_raws, tail_temps))
    assert len(points) == 280 and points[269] == (8063, 95.3)
    return points


def sparse_high():
    """Table B: 281 points, P[N-11] = (3499, 184.7)."""
    rng = SplitMix64(115)
    head = [(2046, 14.5), (2047, 14.8), (2048, 13.6), (2048, 14.0), (2048, 15.1), (2049, 13.5)]
    body_raws = with_repeats(rng, sample_distinct(rng, 2050, 3497, 242), 22)

    def curve(raw):
        x = (raw - 2049) / (3499 - 2049)
        return 13.5 + 171.2 * (x + 0.05 * x * (1.0 - x))

    body_temps = noisy_curve(rng, body_raws, curve, 1.2, 12.1, 184.5)
    body_temps[1] = 12.0  # the coldest point
    body = list(zip(body_raws, body_temps))
    tail_raws = sample_distinct(rng, 3500, 3721, 9) + [3722]
    tail_temps = noisy_curve(rng, tail_raws, lambda raw: 184.7 + 24.3 * (raw - 3499) / 223,
                             1.0, 184.0, 208.9)
    tail_temps[-1] = 209.0
    points = head + body + [(3499, 184.7)] + list(zip(tail_raws, tail_temps))
    assert len(points) == 281 and points[270] == (3499, 184.7)
    return points


def dense(at_one, at_ten, at_top):
    """16384 points, raw = position; -999.0 at both ends; falling from raw 1 to
    10, then rising (in steps of 0.1, so not strictly) up to raw 16382."""
    temps = [-999.0] * 16384
    for raw in range(1, 11):
        x = (raw - 1) / 9
        temps[raw] = tenth(at_one + (at_ten - at_one) * x ** 0.7)
    for raw in range(11, 16383):
        x = (raw - 10) / (16382 - 10)
        temps[raw] = tenth(at_ten + (at_top - at_ten) * x ** 0.5)
    return list(enumerate(temps))


def encode(points):
    return struct.pack("<i", len(points)) + b"".join(struct.pack("<if", r, t) for r, t in points)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "data", "tables")
    os.makedirs(out_dir, exist_ok=True)
    tables = {
        "sparse_114.tbl": sparse_low(),
        "sparse_115.tbl": sparse_high(),
        "dense_114.tbl": dense(-68.3, -270.7, 178.2),
        "dense_115.tbl": dense(-55.3, -219.1, 825.9),
    }
    for name, points in tables.items():
        raws = [raw for raw, _ in points]
        assert all(a <= b for a, b in zip(raws, raws[1:])), name
        with open(os.path.join(out_dir, name), "wb") as out:
            out.write(encode(points))


if __name__ == "__main__":
    main()
