#!/usr/bin/python3
"""Writes reduced_midpoints.txt beside this script: reduced arguments (q + f) pi/2 of the sine's
exact path whose sines lie nearer a rounding midpoint than the sine of a double is known to come,
for the attempts that must decline them and the loop that must settle them or stop.

Each line is built from its sine: a midpoint m between two adjacent doubles, the target
t = m (1 +- 2^-D), and |f| = asin(t) 2/pi in the sine quadrants (q even) or acos(t) 2/pi in the
cosine quadrants (q odd), at 800 bits, truncated to 16 words of 32 bits. The expected sine is the
double on t's side of m, signed by the quadrant and the sign of f; the script then takes
sin((q + f) pi/2) again from the 16 words as written and checks that it lies on that side, about
2^-D from m.
  D = 300: beyond what 9 words (an error below 2^-240) can settle, within 16 (2^-464);
  D = 500: beyond 16 words.
Sine quadrants: results in the binades 2^-1, 2^-2, 2^-7, 2^-26 and 2^-60 (below sin(pi/4));
cosine quadrants: results from cos(pi/4) to 1 - 2^-20 and above 1 - 2^-20 (small f). Every
quadrant with each sign of f, each side of the midpoint.

Deterministic; run with Debian's python3-mpmath:
    /usr/bin/python3 tests/data/tone/make_reduced_tables.py
Line format: D QUADRANT SIGN_OF_F, the 16 words of |f| (8 hex digits each, the first of weight
2^-32), then the expected sine as a bit pattern (16 hex digits).
"""
import math
import os
import random
import sys

import mpmath

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_tone_tables import bits, write  # noqa: E402

SEED = 20261212
WORDS = 16
PRECISION = 800  # bits: f to well past the 512 of its 16 words
SINE_BINADES = (-1, -2, -7, -26, -60)
COS_QUARTER = math.cos(math.pi / 4)
COSINE_RANGES = ((0.7072, 1.0 - 2.0 ** -20), (1.0 - 2.0 ** -20, 1.0))


def case(rng, distance, quadrant, negative_fraction, side, low, high):
    below = low + (high - low) * rng.random()  # a double of [low, high)
    above = math.nextafter(below, math.inf)
    with mpmath.workprec(PRECISION):
        midpoint = (mpmath.mpf(below) + mpmath.mpf(above)) / 2
        target = midpoint * (1 + side * mpmath.mpf(2) ** -distance)
        r = mpmath.acos(target) if quadrant % 2 else mpmath.asin(target)
        fraction = r * 2 / mpmath.pi
        assert 0 < fraction < mpmath.mpf(1) / 2
        scaled = int(mpmath.floor(fraction * mpmath.mpf(2) ** (32 * WORDS)))
    words = [(scaled >> (32 * (WORDS - 1 - i))) & 0xffffffff for i in range(WORDS)]
    magnitude = above if side > 0 else below
    # sin((q + f) pi/2): q = 0: sin r, 1: cos r, 2: -sin r, 3: -cos r, with sin r odd in f.
    negative = (quadrant >= 2) != (quadrant % 2 == 0 and negative_fraction)
    expected = -magnitude if negative else magnitude
    check(distance, quadrant, negative_fraction, words, expected, midpoint)
    sign = '-' if negative_fraction else '+'
    kind = 'cosine' if quadrant % 2 else 'sine'
    return (f'{distance} {quadrant} {sign} {" ".join(f"{w:08x}" for w in words)} '
            f'{bits(expected):016x}  # {kind}, {abs(expected):.6g}, '
            f'{"above" if side > 0 else "below"} the midpoint')


def check(distance, quadrant, negative_fraction, words, expected, midpoint):
    """The sine of the argument as written, independently of how it was made."""
    with mpmath.workprec(PRECISION + 200):
        fraction = mpmath.mpf(sum(w << (32 * (WORDS - 1 - i)) for i, w in enumerate(words)))
        fraction = fraction / mpmath.mpf(2) ** (32 * WORDS)
        if negative_fraction:
            fraction = -fraction
        sine = mpmath.sin((quadrant + fraction) * mpmath.pi / 2)
        offset = (abs(sine) - midpoint) / midpoint
        assert mpmath.mpf(2) ** -(distance + 1) < abs(offset) < mpmath.mpf(2) ** -(distance - 1)
        nearest = mpmath.mpf(abs(expected))
        other = math.nextafter(abs(expected), 0.0 if offset > 0 else math.inf)
        assert abs(abs(sine) - nearest) < abs(abs(sine) - mpmath.mpf(other))
        assert (sine < 0) == (expected < 0)


def main():
    rng = random.Random(SEED)
    lines = []
    for distance in (300, 500):
        for quadrant in range(4):
            for negative_fraction in (False, True):
                if quadrant % 2:
                    ranges = COSINE_RANGES
                else:
                    ranges = [(math.ldexp(1.0, e), min(math.ldexp(1.0, e + 1), COS_QUARTER))
                              for e in SINE_BINADES]
                if distance == 500:  # the loop's last resort: one of each quadrant and sign
                    ranges = ranges[:1]
                for low, high in ranges:
                    sides = (1, -1) if distance == 300 else (rng.choice((1, -1)),)
                    for side in sides:
                        lines.append(case(rng, distance, quadrant, negative_fraction, side, low,
                                          high))
    write('reduced_midpoints.txt', [
        'Reduced arguments (q + f) pi/2 whose sines lie 2^-D (relative) from a rounding',
        'midpoint: D = 300 beyond 9 words, within 16; D = 500 beyond 16 words. Sine quadrants',
        'in the binades 2^-1, 2^-2, 2^-7, 2^-26, 2^-60; cosine quadrants from cos(pi/4) to 1;',
        'seed %d. D QUADRANT SIGN_OF_F, 16 words of |f| (the first of weight 2^-32),' % SEED,
        'the correctly rounded sine as a bit pattern.'], lines)


if __name__ == '__main__':
    main()
