#!/usr/bin/python3
"""Writes the tone's reference tables beside this script: sines of chosen doubles, correctly
rounded, and digests of the generator's bytes. Deterministic; run it from anywhere with Debian's
python3-mpmath and python3-gmpy2:  /usr/bin/python3 tests/data/tone/make_tone_tables.py
(with the argument tone_start, only tone_start.txt: the sines of the tone's first frames; with
tone_far, only tone_far.txt: a stretch of the tone's sines around frame 2^32).

Every sine is taken at 300 bits with mpmath and rounded to the nearest double (ties to even) by
this script, and must agree with MPFR's correctly rounded double sine (through gmpy2).

Line format of the sine tables: ARGUMENT SINE, each the double's bit pattern as 16 hex digits;
'#' starts a comment. tone_windows.txt groups its lines under 'window RATE FIRST COUNT' lines.
"""
import heapq
import math
import os
import random
import struct
import sys

import gmpy2
import mpmath

mpmath.mp.prec = 300
IEEE_DOUBLE = gmpy2.ieee(64)  # precision 53, subnormals, round to nearest
HERE = os.path.dirname(os.path.abspath(__file__))
SEED = 20261209
RATES = (44100, 48000, 96000, 192000)
WINDOW_FRAMES = 512
WINDOW_CENTRES = (0, 1_000_000, 1 << 24, 3_000_000_000, 1 << 32, 1 << 36, 1 << 40, 1 << 48,
                  1 << 53)
SCREENED_PER_RATE = 2_621_440
SCREEN_RUN = 1024
MIDPOINTS_KEPT = 400
RANDOM_SCREENED = 1_000_000
RANDOM_KEPT = 64
DIGEST_FRAMES = 32768  # a few seconds per leg under qemu
START_RATE = 48000
START_FRAMES = 52800  # 1.1 s: the stream of a one-second test run with its pre-roll
FAR_FIRST = (1 << 32) - 4800  # a day into the tone, where its codes depend most on the counter
FAR_FRAMES = 9600


def bits(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]


def from_bits(b):
    return struct.unpack('<d', struct.pack('<Q', b))[0]


def tone_phase(frame, rate):
    """The phase of a frame exactly as the generator computes it: each double operation rounded,
    left to right (Python floats do just that)."""
    return float(frame) * 1000.0 * 3.141592653589793 / float(rate)


def round_to_double(value):
    """Rounds a 300-bit mpf to the nearest double, ties to even, subnormals included; refuses a
    value too close to a midpoint for 300 bits to decide."""
    sign, man, exp, bc = value._mpf_
    if man == 0:
        return 0.0
    last_place = max(exp + bc - 53, -1074)
    shift = last_place - exp
    quotient = int(man)
    if shift > 0:
        quotient, rest = int(man) >> shift, int(man) & ((1 << shift) - 1)
        half = 1 << (shift - 1)
        assert shift < 240 or abs(rest - half) > (1 << (shift - 240)), 'undecided rounding'
        if rest > half or (rest == half and quotient & 1):
            quotient += 1
    else:
        last_place = exp  # exact
    result = math.ldexp(quotient, last_place)
    return -result if sign else result


def reference_sine(x):
    if math.isnan(x) or math.isinf(x):
        return math.nan
    if x == 0.0:
        return x  # keeps the sign of zero, which mpmath has not
    sine = round_to_double(mpmath.sin(mpmath.mpf(x)))
    assert bits(sine) == bits(float(IEEE_DOUBLE.sin(x))), f'mpmath and MPFR differ at {x!r}'
    return sine


def pair_line(x, comment=''):
    line = f'{bits(x):016x} {bits(reference_sine(x)):016x}'
    return f'{line}  # {comment}' if comment else line


def write(name, header, lines):
    with open(os.path.join(HERE, name), 'w', encoding='ascii', newline='\n') as out:
        for text in header:
            out.write(f'# {text}\n' if text else '#\n')
        for line in lines:
            out.write(line + '\n')


def random_double(rng, exponent):
    """A random double of the binade [2^exponent, 2^(exponent+1))."""
    return math.ldexp((1 << 52) | rng.getrandbits(52), exponent - 52)


def binade_table():
    rng = random.Random(SEED)
    lines = []
    for exponent in range(-30, 60):
        for sign in (1.0, -1.0):
            lines += [pair_line(sign * random_double(rng, exponent)) for _ in range(32)]
    write('binades.txt', ['Sine of 32 random doubles of each sign in every binade from 2^-30 to',
                          '2^60 (seed %d): ARGUMENT SINE as bit patterns.' % SEED], lines)


def window_first(centre):
    return max(0, min(centre - WINDOW_FRAMES // 2, (1 << 53) - WINDOW_FRAMES))


def tone_window_table():
    lines = []
    for rate in RATES:
        for centre in WINDOW_CENTRES:
            first = window_first(centre)
            lines.append(f'window {rate} {first} {WINDOW_FRAMES}')
            lines += [pair_line(tone_phase(frame, rate))
                      for frame in range(first, first + WINDOW_FRAMES)]
    write('tone_windows.txt', [
        'The tone\'s phases and their sines: runs of consecutive frames from 0 to 2^53 - 1 at',
        'each rate. "window RATE FIRST COUNT" precedes COUNT lines ARGUMENT SINE (bit patterns),',
        'the argument of frame n being double(n) * 1000.0 * 3.141592653589793 / double(RATE),',
        'each operation rounded to double from left to right.'], lines)


def ulps_from_midpoint(sine):
    """Distance of a high-precision nonzero sine from the nearest midpoint between two doubles,
    in units of the last place of the double (normal results only)."""
    mantissa, _ = sine.as_mantissa_exp()
    mantissa = abs(int(mantissa))
    below = mantissa.bit_length() - 53
    if below <= 0:
        return 0.5
    rest = mantissa & ((1 << below) - 1)
    return math.ldexp(abs(rest - (1 << (below - 1))), -below)


def screen(arguments, kept):
    """The `kept` (argument, note) pairs whose sine lies nearest a midpoint, with distances."""
    context = gmpy2.context(precision=128)
    hardest = []  # max-heap by distance, through negation
    for x, note in arguments:
        if x == 0.0:
            continue
        distance = ulps_from_midpoint(context.sin(x))
        if len(hardest) < kept:
            heapq.heappush(hardest, (-distance, x, note))
        elif distance < -hardest[0][0]:
            heapq.heapreplace(hardest, (-distance, x, note))
    return sorted((-d, x, note) for d, x, note in hardest)


def screened_tone_phases(rng):
    """Runs of consecutive frames at every rate: from 0, then from starts spread evenly in
    logarithm up to 2^53."""
    runs = SCREENED_PER_RATE // SCREEN_RUN
    for rate in RATES:
        for run in range(runs):
            first = 0 if run == 0 else int(2.0 ** rng.uniform(10.0, 53.0))
            first = min(first, (1 << 53) - SCREEN_RUN)
            for frame in range(first, first + SCREEN_RUN):
                yield rate, frame


def midpoint_table():
    rng = random.Random(SEED + 1)
    count = 0

    def phases():
        nonlocal count
        for rate, frame in screened_tone_phases(rng):
            count += 1
            yield tone_phase(frame, rate), (rate, frame)

    tone_hardest = screen(phases(), MIDPOINTS_KEPT)
    random_hardest = screen(((rng.choice((1.0, -1.0)) * random_double(rng, rng.randrange(-30, 60)),
                              None) for _ in range(RANDOM_SCREENED)), RANDOM_KEPT)
    lines = [pair_line(x, '%d Hz frame %d, %.3g ulp' % (*note, d)) for d, x, note in tone_hardest]
    lines += [pair_line(x, 'random, %.3g ulp' % d) for d, x, _ in random_hardest]
    write('midpoints.txt', [
        'The tone phases whose sine lies nearest a rounding midpoint (halfway between two doubles).',
        f'Screened: {count} phases, in runs of {SCREEN_RUN} frames at 44100, 48000, 96000 and',
        '192000 Hz, from counter 0 and from counters spread evenly in logarithm up to 2^53.',
        f'Kept: the {MIDPOINTS_KEPT} nearest; the closest lies {tone_hardest[0][0]:.3g} ulp from a '
        'midpoint.',
        f'Then the {RANDOM_KEPT} nearest among {RANDOM_SCREENED} random doubles of 2^-30 to 2^60',
        f'(closest {random_hardest[0][0]:.3g} ulp).',
        'ARGUMENT SINE as bit patterns, then a comment: rate, frame and distance.'], lines)
    return count, tone_hardest[0][0]


def near_multiples_of_half_pi():
    """Doubles very near a multiple of pi/2, where the reduced argument loses the most bits:
    for each exponent E, the denominators q <= 2^53 of the continued fraction of 2^(E+1)/pi
    make q * 2^E nearly a multiple of pi/2."""
    candidates = []
    for exponent in range(-52, 972):
        with mpmath.workprec(exponent + 400):
            scaled = mpmath.mpf(2) ** (exponent + 1) / mpmath.pi
            fraction = int(mpmath.floor((scaled - mpmath.floor(scaled)) * mpmath.mpf(2) ** 200))
        numerator, denominator = fraction, 1 << 200
        q_before, q_now = 0, 1
        while numerator and q_now <= (1 << 53):
            term, remainder = divmod(denominator, numerator)
            q_before, q_now = q_now, term * q_now + q_before
            denominator, numerator = numerator, remainder
            if q_now <= (1 << 53) and q_now % 2:
                x = math.ldexp(q_now, exponent)
                candidates.append((bits_cancelled(x), x))
    candidates.sort(reverse=True)
    return [x for _, x in candidates[:48]]


def bits_cancelled(x):
    """-log2 |x / (pi/2) - k| for the nearest integer k: the leading bits that cancel when x is
    reduced by multiples of pi/2."""
    with mpmath.workprec(1200):
        quarters = mpmath.mpf(x) / (mpmath.pi / 2)
        return float(-mpmath.log(abs(quarters - mpmath.nint(quarters)), 2))


def nearest_double(value):
    with mpmath.workprec(1200):
        return round_to_double(mpmath.mpf(value))


def special_table():
    rng = random.Random(SEED + 2)
    arguments = [0.0, -0.0, from_bits(1), from_bits(0x000FFFFFFFFFFFFF), math.ldexp(1.0, -1022),
                 from_bits(0x7FEFFFFFFFFFFFFF), from_bits(0x7FEFFFFFFFFFFFFE),
                 math.ldexp(1.0, 1023), math.ldexp(1.0, 1000), 1e300, 1e22]
    # Every binade below 2^-30, where the sine is the argument or a last place below it.
    arguments += [random_double(rng, exponent) if exponent >= -1022 else
                  from_bits(rng.randrange(1, 1 << 52)) for exponent in range(-1074, -30)]
    # Around the largest argument whose sine still rounds to itself.
    threshold = (6.0 * 2.0**-79) ** (1.0 / 3.0)  # x^3 / 6 is half a last place of x
    arguments += [threshold * (1.0 + k * 2.0 ** -20) for k in range(-8, 9)]
    # The doubles nearest k pi/2, and their neighbours.
    for k in list(range(1, 17)) + [100, 1000, 12345, 1 << 20, 10**9, 1 << 40, 1 << 52, 10**17,
                                   1 << 100, 10**50, 1 << 500, 10**200, 1 << 1000, 10**307]:
        with mpmath.workprec(1200):
            x = nearest_double(k * mpmath.pi / 2)
        if math.isfinite(x):
            arguments += [x, math.nextafter(x, 0.0), math.nextafter(x, math.inf)]
    arguments += near_multiples_of_half_pi()
    arguments += [-x for x in arguments]
    lines = [pair_line(x) for x in arguments]
    nan = math.nan
    lines += [f'{b:016x} {bits(nan):016x}' for b in
              (0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000000, 0xFFF8000000000000,
               0x7FF0000000000001, 0x7FFFFFFFFFFFFFFF)]
    write('specials.txt', [
        'Special arguments: zeros, subnormals, one double in every binade below 2^-30, the',
        'largest doubles, the doubles nearest k pi/2 and the doubles closest to a multiple of',
        'pi/2 found per exponent, each with both signs; infinities and NaNs, whose sine is NaN.',
        'ARGUMENT SINE as bit patterns.'], lines)


DIGEST_SHAPES = [  # rate, channels, bits, first frame
    (48000, 2, 16, 0), (48000, 2, 24, (1 << 32) - 30000), (48000, 2, 32, 1 << 40),
    (48000, 1, 24, (1 << 53) - DIGEST_FRAMES), (44100, 2, 32, 3_000_000_000),
    (44100, 1, 16, 1 << 36), (44100, 6, 24, (1 << 48) + 777), (44100, 2, 24, 0),
    (96000, 2, 24, 1 << 24), (96000, 8, 32, 123_456_789_012_345), (96000, 2, 16, 1 << 44),
    (192000, 2, 32, 0), (192000, 4, 16, (1 << 53) - DIGEST_FRAMES),
    (192000, 2, 24, 987_654_321_098), (192000, 3, 32, 1 << 50),
]
SCALES = {16: 32767.0, 24: 8388607.0, 32: 2147483647.0}


def fnv1a64(data):
    digest = 0xCBF29CE484222325
    for byte in data:
        digest = ((digest ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return digest


def fill_bytes(rate, channels, bits_per_sample, first, frames):
    """The generator's bytes by their definition: round half to even of sine * scale, little
    endian, the same sample in every channel."""
    out = bytearray()
    for frame in range(first, first + frames):
        code = round(reference_sine(tone_phase(frame, rate)) * SCALES[bits_per_sample])
        out += code.to_bytes(bits_per_sample // 8, 'little', signed=True) * channels
    return out


def digest_table():
    lines = [f'{rate} {channels} {bits_} {first} {DIGEST_FRAMES} '
             f'{fnv1a64(fill_bytes(rate, channels, bits_, first, DIGEST_FRAMES)):016x}'
             for rate, channels, bits_, first in DIGEST_SHAPES]
    write('fill_digests.txt', [
        'FNV-1a 64 digests of the generator\'s bytes: RATE CHANNELS BITS FIRST-FRAME FRAMES',
        'DIGEST. Written by make_tone_tables.py from the reference sines; the tone tests rewrite',
        'it from the generator itself when TONE_DIGESTS_WRITE names a file.'], lines)


def tone_start_table():
    lines = [f'{bits(reference_sine(tone_phase(frame, START_RATE))):016x}'
             for frame in range(START_FRAMES)]
    write('tone_start.txt', [
        f'The sines of the tone\'s first {START_FRAMES} frames at {START_RATE} Hz, one bit pattern a',
        'line from frame 0 on: the sine of double(n) * 1000.0 * 3.141592653589793 / 48000.0,',
        'each operation rounded to double from left to right. What the player delivers is',
        'checked against these from the first frame on.'], lines)


def tone_far_table():
    lines = [f'{bits(reference_sine(tone_phase(frame, START_RATE))):016x}'
             for frame in range(FAR_FIRST, FAR_FIRST + FAR_FRAMES)]
    write('tone_far.txt', [
        f'The sines of the tone\'s frames {FAR_FIRST} to {FAR_FIRST + FAR_FRAMES - 1} at {START_RATE} Hz '
        '(2^32 - 4800 on),',
        'one bit pattern a line: the sine of double(n) * 1000.0 * 3.141592653589793 / 48000.0,',
        'each operation rounded to double from left to right. Recordings that start a day into',
        'the tone are made from these.'], lines)


def main():
    if sys.argv[1:] == ['tone_start']:
        tone_start_table()
        return
    if sys.argv[1:] == ['tone_far']:
        tone_far_table()
        return
    tone_start_table()
    tone_far_table()
    binade_table()
    tone_window_table()
    special_table()
    digest_table()
    count, closest = midpoint_table()
    print(f'screened {count} tone phases; closest {closest:.3g} ulp from a midpoint')


if __name__ == '__main__':
    main()
