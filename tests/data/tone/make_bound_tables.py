#!/usr/bin/python3
"""Writes the tables that test the sine's quick path at its error bound, beside this script:

  near_bound.txt      doubles whose sine lies close to a rounding midpoint, measured in units of
                      the quick path's bound there (2^-66 |sin x|, plus 2^-128 x from 2^-9 to
                      2^30, plus 2^-122 above): 'decline' lines within half a bound, which the
                      quick path must leave to the exact path, and 'round' lines between 2 and
                      10 bounds, which it must round itself, correctly. In each regime: below
                      2^-9, from 2^-9 to 2^30 and above.
  step_multiples.txt  the doubles nearest k pi/512 (and their neighbours) around the reduction's
                      boundaries at 2^-9 and 2^30, where the reduced argument is smallest.

Deterministic; run with Debian's python3-mpmath and python3-gmpy2:
    /usr/bin/python3 tests/data/tone/make_bound_tables.py
Line format: ARGUMENT SINE as bit patterns (16 hex digits), then in near_bound.txt the verdict
and the distance in bounds. The sines come from make_tone_tables.reference_sine (mpmath at 300
bits, checked against MPFR).
"""
import math
import os
import random
import sys

import gmpy2
import mpmath

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_tone_tables import bits, reference_sine, write  # noqa: E402

SEED = 20261211
REGIMES = [  # name, smallest and largest exponent of the arguments, the bound's absolute part
    ('none', -26, -10, lambda x: 0.0),
    ('floating', -9, 29, lambda x: math.ldexp(abs(x), -128)),
    ('integer', 30, 1023, lambda x: math.ldexp(1.0, -122)),
]
KEPT = 40  # per verdict and regime
SCREENED = 2_000_000  # per regime at most


def bound_distance(x, context):
    """The distance of sin x from the nearest midpoint between two doubles, in bounds."""
    sine = context.sin(x)
    if sine == 0:
        return math.inf
    mantissa, exponent = sine.as_mantissa_exp()
    mantissa = abs(int(mantissa))
    below = mantissa.bit_length() - 53
    rest = mantissa & ((1 << below) - 1)
    midpoint_distance = abs(rest - (1 << (below - 1))) * 2.0 ** (exponent)
    return midpoint_distance / (2.0 ** -66 * abs(float(sine)) + absolute_part(x))


def absolute_part(x):
    exponent = math.frexp(x)[1] - 1
    for _, low, high, part in REGIMES:
        if low <= exponent <= high:
            return part(x)
    raise ValueError(x)


def near_bound_table():
    rng = random.Random(SEED)
    context = gmpy2.context(precision=256)
    lines = []
    for name, low, high, _ in REGIMES:
        decline, round_ = [], []
        for _ in range(SCREENED):
            if len(decline) >= KEPT and len(round_) >= KEPT:
                break
            exponent = rng.randint(low, high)
            x = math.ldexp((1 << 52) | rng.getrandbits(52), exponent - 52) * rng.choice((1, -1))
            distance = bound_distance(x, context)
            if distance < 0.5 and len(decline) < KEPT:
                decline.append((x, distance))
            elif 2.0 <= distance <= 10.0 and len(round_) < KEPT:
                round_.append((x, distance))
        assert len(decline) == KEPT and len(round_) == KEPT, name
        for verdict, found in (('decline', decline), ('round', round_)):
            for x, distance in found:
                lines.append(f'{bits(x):016x} {bits(reference_sine(x)):016x} {verdict}'
                             f'  # {name}, {distance:.3f} bounds')
    write('near_bound.txt', [
        'Doubles whose sine lies near a rounding midpoint, in units of the quick path\'s bound',
        '(2^-66 |sin x|, plus 2^-128 |x| from 2^-9 to 2^30, plus 2^-122 above), %d of each' % KEPT,
        'verdict in each regime (below 2^-9, 2^-9 to 2^30, above; seed %d): "decline" within' % SEED,
        'half a bound, "round" from 2 to 10 bounds. ARGUMENT SINE VERDICT, bit patterns.'], lines)


def nearest_multiples(k_values):
    arguments = []
    for k in k_values:
        with mpmath.workprec(1200):
            x = float(mpmath.mpf(k) * mpmath.pi / 512)  # mpmath rounds to nearest
        arguments += [math.nextafter(x, 0.0), x, math.nextafter(x, math.inf)]
    return arguments


def step_multiples_table():
    # 2^-9 lies below the first step (pi/512 = 0.0061): the first 24 multiples, and the doubles
    # around 2^-9 itself.
    low = nearest_multiples(range(1, 25))
    edge = math.ldexp(1.0, -9)
    low += [math.nextafter(edge, 0.0), edge, math.nextafter(edge, 1.0)]
    # Around 2^30: k pi/512 for the 64 k on each side of 2^30 * 512/pi, and the multiples of pi
    # (k a multiple of 512, where the sine is smallest) for 32 on each side.
    centre = int(mpmath.floor(mpmath.mpf(2) ** 30 * 512 / mpmath.pi))
    high = nearest_multiples(range(centre - 63, centre + 65))
    high += nearest_multiples(range((centre // 512 - 31) * 512, (centre // 512 + 33) * 512, 512))
    edge = math.ldexp(1.0, 30)
    high += [math.nextafter(edge, 0.0), edge, math.nextafter(edge, math.inf)]
    arguments = low + high
    arguments += [-x for x in arguments]
    write('step_multiples.txt', [
        'The doubles nearest k pi/512 and their neighbours around the reduction\'s boundaries:',
        'k = 1..24 and the doubles around 2^-9; the 128 k nearest 2^30 * 512/pi, the 64',
        'multiples of pi nearest 2^30, and the doubles around 2^30; both signs.',
        'ARGUMENT SINE as bit patterns.'], [f'{bits(x):016x} {bits(reference_sine(x)):016x}'
                                            for x in arguments])


def main():
    near_bound_table()
    step_multiples_table()


if __name__ == '__main__':
    main()
