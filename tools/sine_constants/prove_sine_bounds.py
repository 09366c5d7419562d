#!/usr/bin/python3
"""Proves the error bounds of the sine's quick path (src/tone/sine.cpp) and writes them to
tools/sine_constants/sine_bounds.txt, which a tone test holds the code's constants to.

Run from anywhere with Debian's python3-mpmath:
    tools/sine_constants/prove_sine_bounds.py            # writes sine_bounds.txt
    tools/sine_constants/prove_sine_bounds.py --check    # fails unless the file is up to date

The proof follows every double operation of the quick path in exact rational arithmetic
(Python's Fraction): each quantity is a bound on the magnitude of its exact value and a bound on
how far the computed double lies from it. A rounding to nearest adds half an ulp of the largest
magnitude the result can have; the error-free transformations (TwoSum, FastTwoSum, TwoProduct)
add nothing. The constants are those the code reads (src/tone/sine_constants.h, parsed here);
pi, the sines of the table and the Taylor remainders come from mpmath at 400 bits, rounded
outwards. Nothing here assumes the table, the polynomials or the reductions are right: their
errors are bounds computed from the constants themselves.

What is shown, for the computed pair hi + lo and the exact sine s of |x|:
    |hi + lo - s| <= RELATIVE |hi| + REDUCTION,
with REDUCTION = 0 below 2^-9, FLOATING |x| from 2^-9 to 2^30 and INTEGER above, and the
rounding check (hi + (lo +- error), error = |hi| kRelativeError + the reduction's constant)
keeping all of [hi + lo - that, hi + lo + that] once it has rounded lo +- error, which costs
2^-53 (|lo| + error): so the constants must cover the bounds plus 2^-53 |lo|, where
|lo| <= LO_RATIO |hi| + the reduction's share. The file gives, per regime, the smallest
constants that satisfy all this.
"""
import math
import os
import re
import sys
from fractions import Fraction as Q

import mpmath

mpmath.mp.prec = 400
HERE = os.path.dirname(os.path.abspath(__file__))
CONSTANTS = os.path.join(HERE, '..', '..', 'src', 'tone', 'sine_constants.h')
OUTPUT = os.path.join(HERE, 'sine_bounds.txt')
U = Q(1, 2**53)  # the unit roundoff of binary64


def half_ulp(magnitude):
    """The largest rounding error of a double result of at most this magnitude."""
    if magnitude == 0:
        return Q(0)
    exponent = math.floor(math.log2(magnitude))
    while Q(2) ** exponent > magnitude:
        exponent -= 1
    while Q(2) ** (exponent + 1) <= magnitude:
        exponent += 1
    return Q(2) ** (max(exponent, -1022) - 53)


def upper(value):
    """An mpmath value as a Fraction no smaller than it (400-bit values, 2^-380 margin)."""
    mantissa, exponent = mpmath.mpf(value).man_exp
    exact = Q(int(mantissa)) * Q(2) ** int(exponent)
    return exact + Q(1, 2**380) * max(1, abs(exact))


class Value:
    """A computed double: |exact| <= size, |computed - exact| <= error."""

    def __init__(self, size, error=Q(0)):
        self.size = Q(size)
        self.error = Q(error)

    def most(self):
        return self.size + self.error


def rounded(size, error):
    return Value(size, error + half_ulp(size + error))


def add(a, b):
    return rounded(a.size + b.size, a.error + b.error)


def mul(a, b):
    return rounded(a.size * b.size, a.size * b.error + b.size * a.error + a.error * b.error)


def exact_constant(c):
    return Value(abs(Q(c)))


def read_constants():
    text = open(CONSTANTS, encoding='ascii').read()

    def doubles(name):
        body = re.search(name + r'[^=]*=\s*\{(.*?)\};', text, re.S).group(1)
        return [float.fromhex(v) for v in re.findall(r'-?0x[0-9a-f.]+p[+-]?\d+|0\.0', body)]

    def double(name):
        return float.fromhex(re.search(name + r'\s*=\s*(-?0x[0-9a-f.]+p[+-]?\d+);', text).group(1))

    table = doubles('kSinStep')
    return {
        'sin': [(table[2 * j], table[2 * j + 1]) for j in range(1024)],
        'factorial': doubles('kInverseFactorial'),
        'parts': doubles('kStepParts'),
        'step_hi': double('kStepHi'),
        'step_lo': double('kStepLo'),
        'per_radian': double('kStepsPerRadian'),
    }


def taylor_errors(k, h):
    """Bounds for |h| <= h of the polynomials' distance from cos h - 1 and sin h - h: the first
    omitted term (the series alternate with falling terms) and the coefficients' rounding."""
    f = [Q(c) for c in k['factorial']]
    exact = [Q(1, math.factorial(n)) for n in range(10)]
    cos_error = h**8 * exact[8] + h**4 * abs(f[4] - exact[4]) + h**6 * abs(f[6] - exact[6])
    sin_error = (h**9 * exact[9] + h**3 * abs(f[3] - exact[3]) + h**5 * abs(f[5] - exact[5]) +
                 h**7 * abs(f[7] - exact[7]))
    return cos_error, sin_error


def evaluation(k, s_hi, s_lo, c_hi, c_lo, h, l, s_error, c_error):
    """SineOfStepPlus for |r.hi| <= h, |r.lo| <= l: the error bound of the pair against the
    exact sin(j pi/512 + r.hi + r.lo) given the table's exact errors, and a bound on |lo|."""
    f = k['factorial']
    rh, rl = Value(h), Value(l)
    S, C = exact_constant(s_hi), exact_constant(c_hi)
    z = mul(rh, rh)
    cos_poly = add(mul(z, add(exact_constant(-0.5), mul(z, add(exact_constant(f[4]),
                                                                   mul(z, exact_constant(f[6])))))),
                   mul(rh, rl))
    sin_poly = add(mul(mul(rh, z), add(exact_constant(f[3]), mul(z, add(exact_constant(f[5]),
                                                                          mul(z, exact_constant(f[7])))))),
                   mul(Value(z.size / 2, z.error / 2), rl))
    product = Q(abs(c_hi)) * h  # C r.hi, exact as a pair
    sum_lo = Value(half_ulp(Q(abs(s_hi)) + product + half_ulp(product)))
    product_lo = Value(half_ulp(product))
    small = add(add(add(sum_lo, product_lo), exact_constant(s_lo)),
                add(mul(C, rl), mul(exact_constant(c_lo), rh)))
    tail = add(add(mul(S, cos_poly), mul(C, sin_poly)), small)
    return tail, model_error(k, s_hi, s_lo, c_hi, c_lo, h, l, s_error, c_error)


def model_error(k, s_hi, s_lo, c_hi, c_lo, h, l, s_error, c_error):
    """What the formula leaves out, against S cos(rho) + C sin(rho), rho = r.hi + r.lo, S and C
    exact: the Taylor remainders, r.lo beyond first order, C.lo r.lo, and the table's errors
    (|S.hi + S.lo - S| <= s_error, likewise for C), through S + C rho and through the terms
    where only S.hi and C.hi stand for S and C."""
    cos_error, sin_error = taylor_errors(k, h)
    cos_model = cos_error + h**3 / 6 * l + l * l / 2
    sin_model = sin_error + h**4 / 24 * l + (h + l) * l * l / 2
    rho = h + l
    return (Q(abs(s_hi)) * cos_model + Q(abs(c_hi)) * sin_model + Q(abs(c_lo)) * l +
            s_error + c_error * rho + (Q(abs(s_lo)) + s_error) * rho * rho / 2 +
            (Q(abs(c_lo)) + c_error) * rho**3 / 6)


def table_errors(k):
    """|S.hi + S.lo - sin(j pi/512)| for every j (S and C are entries of the same table)."""
    errors = []
    for j, (hi, lo) in enumerate(k['sin']):
        exact = mpmath.sin(j * mpmath.pi / 512)
        errors.append(upper(abs(mpmath.mpf(hi) + mpmath.mpf(lo) - exact)))
    return errors


def general_entries(k, h, lo_share, errors):
    """Every j whose sine is away from zero (S != 0), for |r.hi| <= h and |r.lo| <= lo_share(h):
    the relative bound, |lo| / |hi| and |r.hi| / |hi|. Magnitudes are bounded for the whole
    range at once, so the smallest |hi|, |S.hi| - |C.hi| h less its rounding, is the divisor."""
    worst_relative = worst_lo = worst_r = Q(0)
    for j in range(1024):
        if j % 512 == 0:
            continue
        s_hi, s_lo = k['sin'][j]
        c_hi, c_lo = k['sin'][(j + 256) % 1024]
        l = lo_share(h)
        tail, model = evaluation(k, s_hi, s_lo, c_hi, c_lo, h, l, errors[j],
                                 errors[(j + 256) % 1024])
        smallest = (abs(Q(s_hi)) - abs(Q(c_hi)) * h) * (1 - 2 * U)
        # FastTwoSum(S.hi, C.hi r.hi) is exact: |S.hi| is above the product's largest value.
        assert abs(Q(s_hi)) > abs(Q(c_hi)) * h * (1 + 2 * U) and smallest > 0
        worst_relative = max(worst_relative, (tail.error + model) / smallest)
        worst_lo = max(worst_lo, tail.most() / smallest)
        worst_r = max(worst_r, h / smallest)
    return worst_relative, worst_lo, worst_r


def zero_entries(k, h_max, lo_ratio, lo_absolute_max):
    """j = 0 and 512, S = 0 and C = +-1 exactly: hi = C r.hi and lo = C (sinLessR + r.lo),
    every other term zero. With |r.lo| <= lo_ratio |r.hi| + m, m <= lo_absolute_max, the bound
    is relative |hi| + factor m. Each error below is a sum of products of powers of
    |r.hi| with degree at least 1, rounded with the linear bound 2^-53 of the magnitude, so
    error / |r.hi| grows with |r.hi| and its value at h_max bounds every smaller r.hi."""
    for j in (0, 512):
        assert k['sin'][j] == (0.0, 0.0) and abs(k['sin'][j + 256][0]) == 1.0
        assert k['sin'][j + 256][1] == 0.0
    f = [Q(c) for c in k['factorial']]
    h = h_max
    l = lo_ratio * h

    def lin_mul(a, b):
        size = a.size * b.size
        error = a.size * b.error + b.size * a.error + a.error * b.error
        return Value(size, error + U * (size + error))

    def lin_add(a, b):
        size = a.size + b.size
        error = a.error + b.error
        return Value(size, error + U * (size + error))

    rh, rl = Value(h), Value(l)
    z = lin_mul(rh, rh)
    sin_poly = lin_add(lin_mul(lin_mul(rh, z), lin_add(Value(f[3]), lin_mul(z, lin_add(
        Value(f[5]), lin_mul(z, Value(f[7])))))), lin_mul(Value(z.size / 2, z.error / 2), rl))
    tail = lin_add(sin_poly, rl)  # C sinLessR + C r.lo, the products by +-1 exact
    _, sin_error = taylor_errors(k, h)
    model = sin_error + h**4 / 24 * l + (h + l) * l * l / 2
    relative = (tail.error + model) / h
    lo_relative = tail.most() / h
    # m's share: the rounding of the tail, 2^-53 m, stays absolute, and so does what r.lo's
    # square adds beyond the terms in r.hi (m^3, counted as m_max^2 m); the rest carries a
    # power of r.hi (the roundings of 0.5 z r.lo and of its difference, r.lo's terms beyond
    # the first order) and is taken relative to |hi| = |r.hi|, largest at h_max.
    m = lo_absolute_max
    factor = U * (1 + U) + m * m
    relative += m * (z.most() * 2 * U + h**4 / 24 + (h + l) * (2 * l + m) + l * l + 2 * l * m) / h
    return relative, lo_relative, factor


def floating_reduction(k):
    """ReduceInDoubles for 2^-9 <= x < 2^30, per unit of x: the bound on |r.hi + r.lo - r|
    (r = x - steps pi/512 exactly), |r.lo|'s share beyond 2^-53 |r.hi|, the relative part
    2^-106 |r.hi| (the rounding of less3.lo), and the largest |r|."""
    p = [Q(v) for v in k['parts']]
    step = mpmath.pi / 512
    parts_error = upper(abs(step - sum(mpmath.mpf(v) for v in k['parts'])))
    # steps = round(x * kStepsPerRadian) <= x 512/pi + 1/2 + the product's error, and x >= 2^-9.
    per_x = upper(512 / mpmath.pi) + Q(1, 2**40)
    steps_per_x = per_x + 2**8 + 1  # the half step and the slip, 1/2 + 2^-14 <= (2^8 + 1) x
    part3 = steps_per_x * p[2]
    part3_lo = U * part3
    part4 = steps_per_x * abs(p[3])
    part4_rounding = U * part4
    inner = U * (part3_lo + part4 + part4_rounding)  # part3.lo + steps p4, rounded
    outer = U * (part3_lo + part4 + part4_rounding + inner)  # less3.lo - that, less r.hi's share
    error = steps_per_x * parts_error + part4_rounding + inner + outer
    lo_share = (part3_lo + part4 + part4_rounding + inner + outer) * (1 + U)
    # The step chosen can be off the nearest by the rounding of x * kStepsPerRadian (< 2^38,
    # so half an ulp is 2^-15) and the constant's error times 2^30.
    big = Q(2**30)
    slip = big * upper(abs(mpmath.mpf(k['per_radian']) - 512 / mpmath.pi)) + Q(1, 2**15)
    h_max = (Q(1, 2) + slip) * upper(step) * (1 + U) + big * error
    exact_subtractions(p, step, per_x * big + 1, h_max)
    return error, lo_share, Q(1, 2**106), h_max


def lowest_bit(value):
    value = abs(Q(value))
    exponent = 0
    while (value / Q(2) ** exponent).denominator != 1:
        exponent -= 1
    while (value / Q(2) ** (exponent + 1)).denominator == 1:
        exponent += 1
    return Q(2) ** exponent


def significant_bits(value):
    return math.floor(math.log2(abs(Q(value)) / lowest_bit(value))) + 1


def exact_subtractions(p, step, steps_max, h_max):
    """What ReduceInDoubles takes as exact: steps p1 and steps p2 (p1 and p2 short enough for
    any step count below steps_max), and x - steps p1, then less steps p2: both multiples of
    the finest grid of their operands, and below 2^53 of its units, in every binade of x."""
    assert steps_max < 2**38
    for part in p[:2]:
        assert significant_bits(part) + 38 <= 53, part
    step = upper(step)
    for exponent in range(-9, 30):
        x_ulp = Q(2) ** (exponent - 52)
        x_steps = (Q(2) ** (exponent + 1)) * steps_max / 2**30 + 1
        for count in (1, 2):
            grid = min([x_ulp] + [lowest_bit(v) for v in p[:count]])
            left = abs(step - sum(p[:count]))
            assert h_max + x_steps * left < 2**53 * grid, (exponent, count)


def integer_reduction(k):
    """ReduceInIntegers for |x| >= 2^30, in radians: the truncated product misses less than one
    unit of 2^-118 of a step, the bits of 2/pi below the window less than 2^-129; the rest is
    relative to r: the step as a double-double, fraction.lo's rounding (2^-106 of the fraction),
    the three roundings of the small terms of r and the f.lo kStepLo left out, each below 2^-53
    of f kStepLo or 2^-106 of f kStepHi; counted twice over."""
    step = upper(mpmath.pi / 512)
    absolute = (Q(1, 2**118) + Q(1, 2**129)) * step
    step_pair_error = upper(abs(mpmath.mpf(k['step_hi']) + mpmath.mpf(k['step_lo']) -
                                mpmath.pi / 512))
    hi, lo = Q(k['step_hi']), abs(Q(k['step_lo']))
    relative = (step_pair_error + 8 * U * lo + 8 * U * U * hi) / (hi * (1 - U))
    h_max = (Q(1, 2) + Q(1, 2**100)) * step
    return absolute, relative, h_max


def prove():
    k = read_constants()
    errors = table_errors(k)

    # No reduction: 2^-26 <= x < 2^-9, r = (x, 0), j = 0.
    rel_a, lo_a, _ = zero_entries(k, Q(1, 2**9), Q(0), Q(0))

    # The floating reduction: |r.lo| <= 2^-53 (1 + 2^-52) |r.hi| + share x, x < 2^30.
    error_b, share_b, relative_b, h_b = floating_reduction(k)
    ratio = U * (1 + 2 * U)
    gen_b, gen_lo_b, r_b = general_entries(k, h_b, lambda h: ratio * h + share_b * 2**30, errors)
    zero_b, zero_lo_b, factor_b = zero_entries(k, h_b, ratio, share_b * 2**30)
    # The reduction's relative part weighs |r.hi| / |hi| (1 where S = 0).
    rel_b = max(gen_b, zero_b) + relative_b * max(r_b, Q(1))
    lo_b = max(gen_lo_b, zero_lo_b)
    abs_b = error_b + factor_b * share_b  # per unit of x
    lo_abs_b = share_b * (1 + U)

    # The integer reduction: |r.lo| <= 2^-53 |r.hi| (FastTwoSum).
    abs_c, relative_c, h_c = integer_reduction(k)
    gen_c, gen_lo_c, r_c = general_entries(k, h_c, lambda h: ratio * h, errors)
    zero_c, zero_lo_c, _ = zero_entries(k, h_c, ratio, Q(0))
    rel_c = max(gen_c, zero_c) + relative_c * max(r_c, Q(1))
    lo_c = max(gen_lo_c, zero_lo_c)

    # What the constants must cover: the bound plus 2^-53 |lo| (the rounding of lo +- error),
    # and the rounding of the error's own sum, 2^-53 of it: divided by 1 - 2^-52.
    def need(bound, lo_bound):
        return (bound + U * lo_bound) / (1 - 2 * U)

    return {
        'relative': max(need(rel_a, lo_a), need(rel_b, lo_b), need(rel_c, lo_c)),
        'relative_none': need(rel_a, lo_a),
        'relative_floating': need(rel_b, lo_b),
        'relative_integer': need(rel_c, lo_c),
        'floating': need(abs_b, lo_abs_b),
        'integer': need(abs_c, Q(0)),
        'lo_ratio': max(lo_a, lo_b, lo_c),
        'r_max_floating': h_b,
    }


def log2(value):
    return math.log2(value)


def report(results):
    lines = [
        '# The quick path\'s error bounds, proven by prove_sine_bounds.py (do not edit: run it).',
        '# NAME LOG2: the code\'s constant must be at least 2^LOG2 (rounded up to 0.01).',
    ]
    names = [('relative', 'kRelativeError'), ('floating', 'kFloatingReductionError'),
             ('integer', 'kIntegerReductionError')]
    for key, name in names:
        lines.append(f'{name} {math.ceil(log2(results[key]) * 100) / 100:.2f}')
    lines += [
        '# Per regime, the relative part (log2): none %.2f, floating %.2f, integer %.2f;' % (
            log2(results['relative_none']), log2(results['relative_floating']),
            log2(results['relative_integer'])),
        '# |lo| <= 2^%.2f |hi| plus the reduction\'s share; |r| <= 2^%.4f.' % (
            log2(results['lo_ratio']), log2(results['r_max_floating'])),
    ]
    return '\n'.join(lines) + '\n'


def main():
    text = report(prove())
    if sys.argv[1:] == ['--check']:
        committed = open(OUTPUT, encoding='ascii').read()
        if committed != text:
            sys.stdout.write('sine_bounds.txt is out of date; the proof now gives:\n' + text)
            sys.exit(1)
        sys.stdout.write(text)
        return
    with open(OUTPUT, 'w', encoding='ascii', newline='\n') as out:
        out.write(text)
    sys.stdout.write(text)


if __name__ == '__main__':
    main()
