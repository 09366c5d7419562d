#!/usr/bin/python3
"""Proves the error bounds of the sine's quick path (src/tone/sine.cpp) and writes them to
tools/sine_constants/sine_bounds.txt, which a tone test holds the code's constants to.

Run from anywhere with Debian's python3-mpmath:
    tools/sine_constants/prove_sine_bounds.py            # writes sine_bounds.txt
    tools/sine_constants/prove_sine_bounds.py --check    # fails unless the file is up to date

The proof follows every double operation of the quick path in exact rational arithmetic
(Python's Fraction): each quantity is a bound on the magnitude of its exact value and a bound on
how far the computed double lies from it. A rounding to nearest adds half an ulp of the largest
magnitude the result can have (or 2^-53 of it, where a bound is kept linear in |x|, |r.hi| or
r.lo's absolute share); the error-free transformations (TwoSum, FastTwoSum, TwoProduct) add
nothing, and where the code takes a FastTwoSum or a subtraction as exact, the proof checks the
operands' bit positions. The constants are those the code reads (src/tone/sine_constants.h and
the regime limits in sine.cpp and sine_argument.h, parsed here); pi, 2/pi, the sines of the table
and the Taylor remainders come from mpmath, rounded outwards. Nothing here assumes the table, the
polynomials or the reductions are right: their errors are computed from the constants and from a
model of the code's own operations.

The reductions:
  - in doubles (2^-9 <= |x| < 2^30), a bound linear in |r.hi| and |x| is carried through each
    operation: it gives r's error, r.lo's share relative to |r.hi| and its share in |x|;
  - in integers (|x| >= 2^30), the window of 2/pi is modelled in Python integers as the code
    takes it, for every exponent; the bits of 2/pi the code reads are checked against mpmath,
    the truncation is derived from the model, and the model is checked against exact values of
    x 512/pi mod 1024; then the fraction's double-double and r = f pi/512 carry a bound linear in
    |f.hi| and an absolute part.
Where the table gives S = 0 (j = 0 and 512), |hi| = |r.hi| can be small: there |r| is bounded
below by the doubles' distance from the multiples of pi (continued fractions, per binade), and the
range from there to the largest |r.hi| is cut into sub-intervals, each with the true half-ulps of
its largest magnitudes, divided by its smallest |r.hi|.

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
import random
import re
import struct
import sys
from fractions import Fraction as Q

import mpmath

mpmath.mp.prec = 400
WIDE = 1500  # bits of pi for 2/pi down to the integer reduction's last window, 2^-1225
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, '..', '..', 'src', 'tone')
OUTPUT = os.path.join(HERE, 'sine_bounds.txt')
U = Q(1, 2**53)  # the unit roundoff of binary64
GAP = Q(1, 2**1075)  # the largest rounding error of a result in the subnormal range
MASK = 2**64 - 1
SUBINTERVALS = 64  # per binade of |r.hi| where S = 0: |r.hi| varies by at most 65/64 in one


# ---- Rounding, and values read from the code ---------------------------------------------------

def binade(magnitude):
    """The exponent e with 2^e <= magnitude < 2^(e+1), for a positive Fraction."""
    magnitude = Q(magnitude)
    exponent = magnitude.numerator.bit_length() - magnitude.denominator.bit_length()
    if Q(2) ** exponent > magnitude:
        exponent -= 1
    return exponent


def half_ulp(magnitude):
    """The largest rounding error of a double result of at most this magnitude."""
    if magnitude == 0:
        return Q(0)
    return Q(2) ** (max(binade(magnitude), -1022) - 53)


def upper(value):
    """An mpmath value as a Fraction no smaller than it (2^-380 relative margin at 400 bits)."""
    mantissa, exponent = mpmath.mpf(value).man_exp
    exact = Q(int(mantissa)) * Q(2) ** int(exponent)
    return exact + Q(1, 2**380) * max(1, abs(exact))


def exact_rational(value):
    """An mpmath value exactly, as a Fraction."""
    mantissa, exponent = mpmath.mpf(value).man_exp
    return Q(int(mantissa)) * Q(2) ** int(exponent)


def read_constants():
    """The constants the code reads: sine_constants.h, the regime limits of sine.cpp and
    sine_argument.h, and the first bit of 2/pi ReduceInIntegers takes (exponent + offset)."""
    text = open(os.path.join(SOURCE, 'sine_constants.h'), encoding='ascii').read()
    sine = open(os.path.join(SOURCE, 'sine.cpp'), encoding='ascii').read()
    argument = open(os.path.join(SOURCE, 'sine_argument.h'), encoding='ascii').read()

    def doubles(name):
        body = re.search(name + r'[^=]*=\s*\{(.*?)\};', text, re.S).group(1)
        return [float.fromhex(v) for v in re.findall(r'-?0x[0-9a-f.]+p[+-]?\d+|0\.0', body)]

    def double(name):
        return float.fromhex(re.search(name + r'\s*=\s*(-?0x[0-9a-f.]+p[+-]?\d+);', text).group(1))

    def from_bits(pattern, source):
        bits = int(re.search(pattern, source).group(1), 16)
        return Q(struct.unpack('<d', struct.pack('<Q', bits))[0])

    words = re.search(r'kTwoOverPi\[\d+\]\s*=\s*\{(.*?)\};', text, re.S).group(1)
    table = doubles('kSinStep')
    return {
        'sin': [(table[2 * j], table[2 * j + 1]) for j in range(1024)],
        'factorial': doubles('kInverseFactorial'),
        'parts': doubles('kStepParts'),
        'step_hi': double('kStepHi'),
        'step_lo': double('kStepLo'),
        'per_radian': double('kStepsPerRadian'),
        'two_over_pi': [int(w, 16) for w in re.findall(r'0x([0-9a-f]+)u', words)],
        'trivial_below': from_bits(r'magnitudeBits < 0x([0-9a-f]+)u', argument),
        'floating_from': from_bits(r'kBelowNeedsNoReduction = 0x([0-9a-f]+)u', sine),
        'integer_from': from_bits(r'kBelowFloatingReduction = 0x([0-9a-f]+)u', sine),
        'position_offset': int(re.search(
            r'position = static_cast<unsigned>\(exponent \+ (\d+)\)', sine).group(1)),
    }


def power_of_two_exponent(value):
    """log2 of a regime limit, which must be a power of two."""
    exponent = binade(value)
    assert Q(2) ** exponent == value, value
    return exponent


# ---- Bounds for the evaluation, over the whole range of r at once -------------------------------

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
    cos_even = add(exact_constant(-0.5),
                   mul(z, add(exact_constant(f[4]), mul(z, exact_constant(f[6])))))
    cos_poly = add(mul(z, cos_even), mul(rh, rl))
    sin_odd = add(exact_constant(f[3]),
                  mul(z, add(exact_constant(f[5]), mul(z, exact_constant(f[7])))))
    sin_poly = add(mul(mul(rh, z), sin_odd), mul(Value(z.size / 2, z.error / 2), rl))
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


# ---- Where S = 0: sub-intervals of |r.hi|, r.lo's absolute share kept apart ---------------------

class Mixed:
    """known + share m: `known` bounds what is fixed on a sub-interval of |r.hi|, `share` m
    what r.lo's absolute share m (at most m_max) adds."""

    def __init__(self, known, share=Q(0)):
        self.known = Q(known)
        self.share = Q(share)

    def __add__(self, other):
        return Mixed(self.known + other.known, self.share + other.share)

    def scaled(self, factor):
        return Mixed(self.known * factor, self.share * factor)

    def times(self, other, m_max):
        """The product, m^2 counted as m_max m."""
        return Mixed(self.known * other.known, self.known * other.share +
                     self.share * other.known + self.share * other.share * m_max)


class ShareArithmetic:
    """Operations on (size, error) pairs of Mixed bounds. A rounding adds the true half-ulp of
    the largest magnitude where the bound is fixed on the sub-interval; where r.lo's absolute
    share enters, 2^-53 of the magnitude, split alike, plus the subnormal gap."""

    def __init__(self, m_max):
        self.m_max = m_max

    @staticmethod
    def exact(size):
        return (size, Mixed(0))

    @staticmethod
    def rounded(size, error):
        total = size + error
        if total.share == 0:
            return (size, error + Mixed(half_ulp(total.known)))
        return (size, error + Mixed(U * total.known + GAP, U * total.share))

    def add(self, a, b):
        return self.rounded(a[0] + b[0], a[1] + b[1])

    def mul(self, a, b):
        (sa, ea), (sb, eb) = a, b
        t = self.m_max
        return self.rounded(sa.times(sb, t), sa.times(eb, t) + sb.times(ea, t) + ea.times(eb, t))


def zero_entry_interval(k, low, high, lo_ratio, arithmetic):
    """j = 0 and 512 (S = S.lo = C.lo = 0, C = +-1) for low <= |r.hi| <= high, |r.lo| <=
    lo_ratio |r.hi| + m: hi = C r.hi exactly, and lo = C (sinLessR + r.lo) in one rounding (the
    other terms of `small` and `tail` are exact zeros, the products by C exact). Returns the
    bounds on the error and on |lo|, each as Mixed."""
    f = [Q(c) for c in k['factorial']]
    a = arithmetic
    rh = a.exact(Mixed(high))
    rl = a.exact(Mixed(lo_ratio * high, 1 if a.m_max else 0))
    z = a.mul(rh, rh)
    poly = a.add(a.exact(Mixed(f[3])),
                 a.mul(z, a.add(a.exact(Mixed(f[5])), a.mul(z, a.exact(Mixed(f[7]))))))
    half_z = (z[0].scaled(Q(1, 2)), z[1].scaled(Q(1, 2)))  # exact: z is far above 2^-1021
    sin_less_r = a.add(a.mul(a.mul(rh, z), poly), a.mul(half_z, rl))
    tail = a.add(sin_less_r, rl)
    # Against sin(r.hi + r.lo): the Taylor remainder and r.lo beyond the first order.
    l = rl[0]
    _, sin_error = taylor_errors(k, high)
    model = (Mixed(sin_error) + l.scaled(high**4 / 24) +
             (Mixed(high) + l).times(l.times(l, a.m_max), a.m_max).scaled(Q(1, 2)))
    return tail[1] + model, tail[0] + tail[1]


def sub_intervals(low, high):
    """[low, high] cut at SUBINTERVALS equal steps per binade: dyadic ends, and within each
    piece the largest |r.hi| at most 65/64 of the smallest."""
    start = low
    while start < high:
        step = Q(2) ** binade(start) / SUBINTERVALS
        end = min(high, (start // step + 1) * step)
        yield start, end
        start = end


def zero_entries(k, low, high, lo_ratio, m_max):
    """The bounds where S = 0 for low <= |r.hi| <= high: the largest relative error, r.lo's
    share of the error per unit of m, |lo| / |hi|, and |lo|'s share per unit of m. A share S m
    is kept absolute at its value on the first sub-interval (2^-53 and a hair for the error: the
    rounding of sinLessR + r.lo); what it grows by with |r.hi|, the terms that carry powers of
    r.hi, is counted with m = m_max and divided by the sub-interval's smallest |hi|."""
    for j in (0, 512):
        assert k['sin'][j] == (0.0, 0.0) and abs(k['sin'][j + 256][0]) == 1.0
        assert k['sin'][j + 256][1] == 0.0
    assert low**2 > Q(2) ** -1021  # z and z / 2 are normal
    arithmetic = ShareArithmetic(m_max)
    pieces = [(start, zero_entry_interval(k, start, end, lo_ratio, arithmetic))
              for start, end in sub_intervals(low, high)]
    factor, lo_factor = pieces[0][1][0].share, pieces[0][1][1].share

    def relative(bound, kept, start):
        return (bound.known + max(Q(0), bound.share - kept) * m_max) / start

    return (max(relative(error, factor, start) for start, (error, _) in pieces),
            max(relative(lo, lo_factor, start) for start, (_, lo) in pieces), factor, lo_factor)


def nearest_multiple_of_pi(exponent):
    """A lower bound on |x - k pi| for every double x = M 2^(exponent - 52), 0 < M < 2^53, and
    every integer k: pi ||M alpha||, alpha = 2^(exponent - 52)/pi mod 1. For M below the first
    denominator of alpha's convergents p/q at or above 2^53, ||M alpha|| is at least |q alpha -
    p| for the last q below it (best approximations). This holds for a, the rational nearest
    alpha at WIDE bits, and a differs from alpha by less than 2^(exponent - 52 - WIDE + 3)."""
    with mpmath.workprec(WIDE):
        scaled = mpmath.mpf(2) ** (exponent - 52) / mpmath.pi
        a = exact_rational(scaled - mpmath.floor(scaled))
    slack = Q(2) ** (exponent - 52 - WIDE + 3)
    # a = 0 + 1/(a1 + 1/(a2 + ...)): Euclid on a's numerator and denominator.
    numerator, denominator = a.denominator, a.numerator
    p_before, q_before, p, q = 1, 0, 0, 1  # the convergents before and at index n, from n = 0
    index = 0
    while denominator:
        quotient, remainder = divmod(numerator, denominator)
        numerator, denominator = denominator, remainder
        p_next, q_next = quotient * p + p_before, quotient * q + q_before
        if q_next >= 2**53:
            break
        p_before, q_before, p, q = p, q, p_next, q_next
        index += 1
    assert denominator and index >= 1, exponent  # a's expansion goes past 2^53
    distance = abs(q * a - p) - 2**53 * slack
    assert distance > 0
    return 3 * distance  # pi > 3


# ---- The reduction in doubles -------------------------------------------------------------------

class Linear:
    """A bound sum(c v) over named magnitudes v (such as x and |r.hi|), each c >= 0."""

    def __init__(self, **terms):
        self.terms = {name: Q(c) for name, c in terms.items() if c}

    def __add__(self, other):
        names = set(self.terms) | set(other.terms)
        return Linear(**{n: self[n] + other[n] for n in names})

    def scaled(self, factor):
        return Linear(**{n: c * abs(Q(factor)) for n, c in self.terms.items()})

    def __getitem__(self, name):
        return self.terms.get(name, Q(0))


class Carried:
    """A computed double in linear bounds: |exact| <= size, |computed - exact| <= error."""

    def __init__(self, size, error=None):
        self.size = size
        self.error = error if error is not None else Linear()

    def most(self):
        return self.size + self.error


def linear_sum(a, b):
    """a + b (or a - b), rounded: 2^-53 of the largest result, which holds for subnormal sums
    too, since those are exact."""
    size, error = a.size + b.size, a.error + b.error
    return Carried(size, error + (size + error).scaled(U))


def linear_product(a, constant):
    """a times a constant, rounded: 2^-53 of the result, which the caller shows to be a normal
    double (or zero)."""
    size, error = a.size.scaled(constant), a.error.scaled(constant)
    return Carried(size, error + (size + error).scaled(U))


def step_count(k, low, top):
    """steps = round(x kStepsPerRadian), through kRoundToInteger, for low <= x < top:
    |steps - x 512/pi| <= 1/2 + kappa x. A count of one or more needs (512/pi + kappa) x >= 1/2,
    so steps <= per_x x for every x. Returns per_x, the largest count, and the largest slip
    |round's argument - x 512/pi| (for the largest |r|)."""
    per_radian = upper(512 / mpmath.pi)
    constant_error = upper(abs(mpmath.mpf(k['per_radian']) - 512 / mpmath.pi))
    kappa = constant_error + U * Q(k['per_radian'])  # and the rounding of the product
    per_x = 2 * (per_radian + kappa)
    largest = math.floor(top * (per_radian + kappa) + Q(1, 2))
    # x kStepsPerRadian + 1.5 2^52 lies in [2^52, 2^53), where doubles are the integers.
    assert largest < 2**51
    slip = top * constant_error + half_ulp(top * Q(k['per_radian']))
    return per_x, largest, slip


def floating_reduction(k, low, top):
    """ReduceInDoubles for low <= x < top, carrying bounds linear in x and in |r.hi| through
    each operation: r.hi + r.lo against r = x - steps pi/512 exactly, |r.lo|, the largest |r.hi|
    and what the largest step count and |r.hi| let the exact subtractions be."""
    p = [Q(v) for v in k['parts']]
    step = mpmath.pi / 512
    parts_error = upper(abs(step - sum(mpmath.mpf(v) for v in k['parts'])))
    per_x, largest, slip = step_count(k, low, top)

    steps = Carried(Linear(x=per_x))  # an integer: exact
    part3_lo = Carried(Linear(x=U * per_x * abs(p[2])))  # TwoProduct's low part: half an ulp
    part4 = linear_product(steps, p[3])
    assert abs(p[3]) >= Q(2) ** -1022  # steps p4 is zero or normal
    inner = linear_sum(part3_lo, part4)  # part3.lo + steps p4
    less3_lo = Carried(Linear(r=U))  # TwoSum's low part: half an ulp of r.hi
    r_lo = linear_sum(less3_lo, inner)  # less3.lo - inner
    error = r_lo.error + steps.size.scaled(parts_error)

    # |r.hi| <= (|r| + |part3.lo| + steps |p4| + steps |parts_error|)(1 + U): less2 - part3.hi
    # is r plus those, rounded once by the TwoSum.
    shift = largest * (U * abs(p[2]) + abs(p[3]) + parts_error)
    h_max = ((Q(1, 2) + slip) * upper(step) + shift) * (1 + U)
    exact_subtractions(p, step, per_x, largest, h_max, low, top)
    return error, r_lo.most(), h_max


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


def exact_subtractions(p, step, per_x, largest, h_max, low, top):
    """What ReduceInDoubles takes as exact: steps p1 and steps p2 (p1 and p2 short enough for
    any step count up to the largest), and x - steps p1, then less steps p2: both multiples of
    the finest grid of their operands, and below 2^53 of its units, in every binade of x."""
    for part in p[:2]:
        assert significant_bits(part) + largest.bit_length() <= 53, part
    step = upper(step)
    for exponent in range(power_of_two_exponent(low), power_of_two_exponent(top)):
        x_ulp = Q(2) ** (exponent - 52)
        x_steps = min(largest, per_x * Q(2) ** (exponent + 1))
        for count in (1, 2):
            grid = min([x_ulp] + [lowest_bit(v) for v in p[:count]])
            left = abs(step - sum(p[:count]))
            assert h_max + x_steps * left < 2**53 * grid, (exponent, count)


# ---- The reduction in integers ------------------------------------------------------------------

def two_over_pi_bits(words, position):
    """TwoOverPiBits: 64 bits of 2/pi, the first at `position` from the top of word 0."""
    word, shift = divmod(position, 64)
    assert word + 1 < len(words)
    return ((words[word] << shift) & MASK) | ((words[word + 1] >> 1) >> (63 - shift))


def integer_window(k, mantissa, exponent):
    """ReduceInIntegers' integer arithmetic, operation by operation, in 64-bit words: the step
    (mod 1024), the pieces whole, middle and low of the fraction (steps = whole 2^-52 + middle
    2^-84 + low 2^-118) and the low word of the product that is dropped."""
    words = k['two_over_pi']
    position = exponent + k['position_offset']
    low = mantissa * two_over_pi_bits(words, position + 128)
    middle = mantissa * two_over_pi_bits(words, position + 64)
    high = (mantissa * two_over_pi_bits(words, position)) & MASK
    fraction_low = ((low >> 64) + (middle & MASK)) & MASK
    top = ((middle >> 64) + high + (1 if fraction_low < (low >> 64) else 0)) & MASK
    top = (top + (1 << 53)) & MASK
    half_up = top & ((1 << 54) - 1)
    return {'step': (top >> 54) % 1024, 'whole': (half_up >> 2) - 2**51,
            'middle': ((half_up & 3) << 30) | (fraction_low >> 34),
            'low': fraction_low & ((1 << 34) - 1), 'dropped': low & MASK}


def window_fraction(window):
    return (Q(window['whole'], 2**52) + Q(window['middle'], 2**84) + Q(window['low'], 2**118))


def integer_exponents(k):
    return range(power_of_two_exponent(k['integer_from']), 1024)


def two_over_pi_checked(k):
    """2/pi at WIDE bits, after checking every word of kTwoOverPi that the code reads (up to
    the largest exponent's window) against it."""
    words = k['two_over_pi']
    last = (1023 + k['position_offset'] + 128) // 64 + 1
    with mpmath.workprec(WIDE):
        two_over_pi = 2 / mpmath.pi
        scaled = two_over_pi * mpmath.mpf(2) ** (64 * last)
        floor = int(mpmath.floor(scaled))
        assert Q(1, 2**200) < exact_rational(scaled) - floor < 1 - Q(1, 2**200)
    assert words[0] == 0 and int(''.join('%016x' % w for w in words[:last + 1]), 16) == floor
    return two_over_pi


def integer_truncation(k, two_over_pi):
    """For every exponent from 2^30 up: the window the code takes is bits of 2/pi, x 512/pi =
    mantissa 2/pi 2^(e-44) puts the window's last bit at 2^-182 of a step, so the bits above it
    weigh multiples of 1024 steps and the product mod 2^192 holds x 512/pi mod 1024; the bits
    below it add mantissa times their fraction of a unit, and the dropped word less than 2^64
    units. Returns the largest truncation, in steps."""
    words = k['two_over_pi']
    worst = Q(0)
    for exponent in integer_exponents(k):
        position = exponent + k['position_offset']
        window = ((two_over_pi_bits(words, position) << 128) |
                  (two_over_pi_bits(words, position + 64) << 64) |
                  two_over_pi_bits(words, position + 128))
        with mpmath.workprec(WIDE):
            scaled = exact_rational(two_over_pi * mpmath.mpf(2) ** (position + 128))
        below = scaled - math.floor(scaled)  # within 2^-300 of the true fraction
        assert window == math.floor(scaled) % 2**192 and Q(1, 2**250) < below < 1 - Q(1, 2**250)
        unit = exponent - 44 - (position + 128)  # the window's last bit, in log2 of steps
        assert unit + 192 >= 10  # the bits above the window: multiples of 1024 steps
        assert unit == -182  # where integer_window reads the step and f
        truncation = (MASK + (2**53 - 1) * (below + Q(1, 2**300))) * Q(2) ** unit
        worst = max(worst, truncation)
    return worst


def check_integer_model(k, two_over_pi, truncation):
    """Not part of the bound, a check of the model: for the smallest and largest mantissa of
    every exponent and 200 random arguments, x 512/pi mod 1024 from mpmath lies at or above
    step + f + the dropped word, by less than mantissa units of 2^-182 more."""
    generator = random.Random(2**30)
    arguments = [(m, e) for e in integer_exponents(k) for m in (2**52, 2**53 - 1)]
    arguments += [(generator.randrange(2**52, 2**53), generator.choice(integer_exponents(k)))
                  for _ in range(200)]
    for mantissa, exponent in arguments:
        with mpmath.workprec(WIDE):
            steps = mpmath.mpf(mantissa) * mpmath.mpf(2) ** (exponent - 44) * two_over_pi
            exact = exact_rational(steps - 1024 * mpmath.floor(steps / 1024))
        window = integer_window(k, mantissa, exponent)
        missing = (exact - window['step'] - window_fraction(window) + 512) % 1024 - 512
        dropped = Q(window['dropped'], 2**182)
        assert -Q(1, 2**300) < missing - dropped < Q(mantissa, 2**182), (mantissa, exponent)
        assert missing < truncation
    return len(arguments)


def integer_fraction(k):
    """The fraction's pieces turned into a double-double, from their bit positions: each piece
    an exact double, both FastTwoSums exact; what `fraction.lo += tail.lo` loses; the largest
    |f|. In units of a step: tail.lo is at most 2^-106; fraction.lo before the rounding at most
    2^-53 |fraction.hi| plus that, and at most half |fraction.hi| besides (fraction.hi is a
    multiple of tail.hi's ulp). Everything is a multiple of 2^-118."""
    whole = (-2**51, 2**51 - 1)  # (halfUp >> 2) - 2^51, halfUp below 2^54
    middle_max, low_max = 2**32 - 1, 2**34 - 1
    assert max(2**52 - 1, middle_max, low_max) < 2**52  # ExactDouble takes each one exactly
    a_grid, m_grid, l_grid = Q(1, 2**52), Q(1, 2**84), Q(1, 2**118)
    tail_max = middle_max * m_grid + low_max * l_grid
    # FastTwoSum(middle, low): middle is zero or at least 2^-84, above any low part.
    assert m_grid > low_max * l_grid
    # FastTwoSum(whole, tail.hi): whole is zero or at least 2^-52; tail.hi rounds a value below
    # 2^-52 (a double), so it is at most 2^-52.
    assert tail_max < a_grid
    tail_lo = half_ulp(tail_max)  # the rounding of a value below 2^-52
    f_max = max(-whole[0] * a_grid, whole[1] * a_grid + tail_max)
    return {'tail_lo': tail_lo, 'f_max': f_max, 'grid': l_grid}


def integer_r(k, fraction):
    """r = f pi/512 from the fraction's double-double, in bounds linear in |fraction.hi| (fh)
    and absolute: the product fh kStepHi exact, the four roundings of the small terms (fh
    kStepLo, fraction.lo kStepHi, their sum, product.lo plus that), the FastTwoSum exact, and
    fraction.lo kStepLo and kStepHi + kStepLo's error left out. Returns r.hi + r.lo's error as
    (relative to |r.hi|, absolute) and the largest |r.hi|."""
    s_hi, s_lo = Q(k['step_hi']), abs(Q(k['step_lo']))
    step_error = upper(abs(mpmath.mpf(k['step_hi']) + mpmath.mpf(k['step_lo']) - mpmath.pi / 512))
    # Both products are zero or normal: their operands are zero or multiples of 2^-118.
    assert fraction['grid'] * min(s_hi, s_lo) >= Q(2) ** -1022

    def roundings(tail_lo):
        lo_before = Carried(Linear(fh=U) + tail_lo)  # FastTwoSum's low part plus tail.lo
        lo = linear_sum(Carried(Linear(fh=U)), Carried(tail_lo))  # fraction.lo += tail.lo
        product_lo = Carried(Linear(fh=U * s_hi))
        small = linear_sum(linear_product(Carried(Linear(fh=1)), s_lo),
                           linear_product(lo, s_hi))
        return lo_before, linear_sum(product_lo, small)

    lo_before, error_term = roundings(Linear(one=fraction['tail_lo']))
    f_size = Linear(fh=1) + lo_before.size
    error = error_term.error + lo_before.size.scaled(s_lo) + f_size.scaled(step_error)
    # FastTwoSum(product.hi, error): |error| stays below |product.hi| >= fh kStepHi (1 - U),
    # with tail.lo at most half of fh.
    _, halves = roundings(Linear(fh=Q(1, 2)))
    assert halves.most()['fh'] < s_hi * (1 - U) and not halves.most()['one']
    # In terms of |r.hi|: fh (kStepHi (1 - U) - |error term|'s share) - its absolute part <=
    # |r.hi + r.lo| <= (1 + U) |r.hi|, r.lo being FastTwoSum's low part.
    most = error_term.most()
    divisor = s_hi * (1 - U) - most['fh']
    relative = error['fh'] * (1 + U) / divisor
    absolute = error['one'] + error['fh'] * most['one'] / divisor
    fh_max = (fraction['f_max'] + fraction['tail_lo']) * (1 + U)
    h_max = (fh_max * s_hi * (1 + U) + most['fh'] * fh_max + most['one']) * (1 + U)
    return relative, absolute, h_max


def integer_reduction(k):
    """ReduceInIntegers for |x| >= 2^30: the truncation and the absolute part of r's error, in
    radians, the part relative to |r.hi|, the largest |r.hi|, and the number of arguments the
    model was checked on."""
    two_over_pi = two_over_pi_checked(k)
    truncation = integer_truncation(k, two_over_pi)
    checked = check_integer_model(k, two_over_pi, truncation)
    relative, absolute, h_max = integer_r(k, integer_fraction(k))
    return truncation * upper(mpmath.pi / 512) + absolute, relative, h_max, truncation, checked


# ---- The proof ---------------------------------------------------------------------------------

def floating_zero_distance(k, low, top, error, lo):
    """The smallest |r.hi| where S = 0 in the floating reduction: x itself where no step count
    reaches 512 in the binade (steps = 0, r = (x, 0)), else the distance from the nearest
    multiple of pi less r's error and r.lo's share at the binade's top."""
    per_x, _, _ = step_count(k, low, top)
    smallest = None
    for exponent in range(power_of_two_exponent(low), power_of_two_exponent(top)):
        x_top = Q(2) ** (exponent + 1)
        if per_x / 2 * x_top + Q(1, 2) < 512:
            bound = Q(2) ** exponent
        else:
            bound = ((nearest_multiple_of_pi(exponent) - (error['x'] + lo['x']) * x_top) /
                     (1 + error['r'] + lo['r']))
        smallest = bound if smallest is None else min(smallest, bound)
    return smallest


def prove():
    k = read_constants()
    errors = table_errors(k)
    trivial, floating, integer = k['trivial_below'], k['floating_from'], k['integer_from']
    assert trivial < floating < integer

    # No reduction: r = (x, 0), j = 0, for the arguments from TrivialSine's limit to 2^-9.
    rel_a, lo_a, _, _ = zero_entries(k, trivial, floating, Q(0), Q(0))

    # The floating reduction: |r.lo| <= ratio |r.hi| + share x, x < 2^30.
    error_b, lo_b_bound, h_b = floating_reduction(k, floating, integer)
    ratio_b, share_b = lo_b_bound['r'], lo_b_bound['x']
    m_b = share_b * integer
    gen_b, gen_lo_b, r_b = general_entries(k, h_b, lambda h: ratio_b * h + m_b, errors)
    low_b = floating_zero_distance(k, floating, integer, error_b, lo_b_bound)
    zero_b, zero_lo_b, factor_b, lo_factor_b = zero_entries(k, low_b, h_b, ratio_b, m_b)
    # The reduction's relative part weighs |r.hi| / |hi| (1 where S = 0).
    rel_b = max(gen_b, zero_b) + error_b['r'] * max(r_b, Q(1))
    lo_b = max(gen_lo_b, zero_lo_b)
    abs_b = error_b['x'] + factor_b * share_b  # per unit of x
    lo_abs_b = lo_factor_b * share_b

    # The integer reduction: |r.lo| <= 2^-53 |r.hi| (FastTwoSum).
    abs_c, relative_c, h_c, truncation, checked = integer_reduction(k)
    gen_c, gen_lo_c, r_c = general_entries(k, h_c, lambda h: U * h, errors)
    nearest = min(nearest_multiple_of_pi(e) for e in integer_exponents(k))
    low_c = (nearest - abs_c) / (1 + U + relative_c)
    zero_c, zero_lo_c, _, _ = zero_entries(k, low_c, h_c, U, Q(0))
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
        'zero_none': rel_a, 'zero_floating': zero_b, 'zero_integer': zero_c,
        'floating': need(abs_b, lo_abs_b),
        'integer': need(abs_c, Q(0)),
        'lo_ratio': max(lo_a, lo_b, lo_c),
        'lo_share': share_b,
        'r_max': max(h_b, h_c),
        'r_min_floating': low_b, 'r_min_integer': low_c,
        'reduction_floating': error_b['x'], 'reduction_relative_floating': error_b['r'],
        'r_lo_floating': ratio_b / U - 1,
        'reduction_integer': abs_c, 'reduction_relative_integer': relative_c,
        'truncation': truncation, 'checked': checked,
    }


def above(value, places=2):
    """log2 of an upper bound, rounded up: the figure stays a bound."""
    scale = 10**places
    return '%.*f' % (places, math.ceil(math.log2(value) * scale) / scale)


def below(value):
    """log2 of a lower bound, rounded down."""
    return '%.2f' % (math.floor(math.log2(value) * 100) / 100)


def report(results):
    r = {key: above(value) for key, value in results.items() if key != 'checked'}
    lines = [
        '# The quick path\'s error bounds, proven by prove_sine_bounds.py (do not edit: run it).',
        '# NAME LOG2: the code\'s constant must be at least 2^LOG2 (rounded up to 0.01).',
    ]
    names = [('relative', 'kRelativeError'), ('floating', 'kFloatingReductionError'),
             ('integer', 'kIntegerReductionError')]
    for key, name in names:
        lines.append(f'{name} {r[key]}')
    lines += [
        '# Bounds, log2 rounded outwards. The relative part: none %s, floating %s, integer %s;' % (
            r['relative_none'], r['relative_floating'], r['relative_integer']),
        '# where S = 0 (j = 0, 512): none %s, floating %s, integer %s.' % (
            r['zero_none'], r['zero_floating'], r['zero_integer']),
        '# |lo| <= 2^%s |hi| plus the reduction\'s share; |r.hi| <= 2^%s.' % (
            r['lo_ratio'], above(results['r_max'], 4)),
        '# In doubles, r.hi + r.lo is within 2^%s |x| + 2^%s |r.hi| of r,' % (
            r['reduction_floating'], r['reduction_relative_floating']),
        '# |r.lo| <= 2^-53 (1 + 2^%s) |r.hi| + 2^%s |x|; where S = 0, |r.hi| >= 2^%s.' % (
            r['r_lo_floating'], r['lo_share'], below(results['r_min_floating'])),
        '# In integers, within 2^%s + 2^%s |r.hi| (truncation below 2^%s of a step);' % (
            r['reduction_integer'], r['reduction_relative_integer'], r['truncation']),
        '# where S = 0, |r.hi| >= 2^%s; the window model agrees with mpmath on %d arguments.' % (
            below(results['r_min_integer']), results['checked']),
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
