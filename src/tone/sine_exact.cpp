// The exact path of the sine: integer arithmetic on fixed-point numbers of 32-bit words.
//   1. |x| * 2/pi mod 4 from the bits of 2/pi: a quadrant q and a fraction f in [-1/2, 1/2]
//      (or q and f as a test gives them, to 16 words).
//   2. r = |f| pi/2 <= pi/4, and sin r or cos r by their Taylor series.
//   3. The sum rounded to the nearest double, once the error interval shows which one it is.
// An attempt with W words loses less than 2^10 units of its last word in all (the bits of 2/pi
// beyond those it reads, below 2^-(32 W + 9), among them) and allows 2^16, 2^-(32 W - 48): 2^-112
// with 5 words, 2^-240 with 9, 2^-464 with 16. It settles every sine more than twice that from a
// rounding midpoint and declines every one less than half that from one.
// How wide is wide enough: the sine of a double that reaches this path is above 2^-60 (the double
// nearest a multiple of pi, 6381956970095103 * 2^798, lies 9.4e-19 from it), so its last place is
// worth at least 2^-112, and 9 words settle every sine more than 2^-127 of that from a midpoint:
// one that needs up to some 180 significant bits to round. The hardest cases of sin in binary64
// that Lefevre and Muller's exhaustive searches found need some 120 to 130; so 9 words settle
// every double those searches covered, and 5 most of them. The answer does not rest on those
// figures: an attempt that cannot settle the rounding says so, the next is wider (5, 9, then 16
// words), and should all fail, the program stops with a diagnostic rather than return a sine it
// has not checked.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "tone/sine_argument.h"
#include "tone/sine_constants.h"
#include "tone/sine_paths.h"

namespace {

namespace k = sine_constants;

// A non-negative number: word 0 is the integer part, word i has the weight 2^(-32 i).
template <int Words>
struct Fixed {
    std::uint32_t word[static_cast<std::size_t>(Words)];
};

template <int Words>
bool IsZero(const Fixed<Words>& a) {
    for (std::uint32_t w : a.word) {
        if (w != 0) return false;
    }
    return true;
}

template <int Words>
void Add(Fixed<Words>& a, const Fixed<Words>& b) {
    std::uint64_t carry = 0;
    for (int i = Words - 1; i >= 0; --i) {
        const std::uint64_t sum = std::uint64_t{a.word[i]} + b.word[i] + carry;
        a.word[i] = static_cast<std::uint32_t>(sum);
        carry = sum >> 32;
    }
}

template <int Words>
bool IsLess(const Fixed<Words>& a, const Fixed<Words>& b) {
    for (int i = 0; i < Words; ++i) {
        if (a.word[i] != b.word[i]) return a.word[i] < b.word[i];
    }
    return false;
}

// a - b, for a >= b.
template <int Words>
void Subtract(Fixed<Words>& a, const Fixed<Words>& b) {
    std::uint64_t borrow = 0;
    for (int i = Words - 1; i >= 0; --i) {
        const std::uint64_t difference = std::uint64_t{a.word[i]} - b.word[i] - borrow;
        a.word[i] = static_cast<std::uint32_t>(difference);
        borrow = (difference >> 32) & 1u;
    }
}

// a * b for a * b < 2^32, truncated after the last word: low by less than Words + 1 units
// of the last word.
template <int Words>
Fixed<Words> Multiply(const Fixed<Words>& a, const Fixed<Words>& b) {
    // column[i] collects the weight 2^(-32 i); column Words is a guard for the carries.
    std::uint64_t column[static_cast<std::size_t>(Words) + 1] = {};
    for (int i = 0; i < Words; ++i) {
        for (int j = 0; j < Words && i + j <= Words; ++j) {
            const std::uint64_t product = std::uint64_t{a.word[i]} * b.word[j];
            column[i + j] += product & 0xffffffffu;
            if (i + j > 0) column[i + j - 1] += product >> 32;
        }
    }
    for (int i = Words; i > 0; --i) {
        column[i - 1] += column[i] >> 32;
    }
    Fixed<Words> result;
    for (int i = 0; i < Words; ++i) {
        result.word[i] = static_cast<std::uint32_t>(column[i]);
    }
    return result;
}

// a / divisor, truncated: low by less than one unit of the last word.
template <int Words>
void Divide(Fixed<Words>& a, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& w : a.word) {
        const std::uint64_t current = (remainder << 32) | w;
        w = static_cast<std::uint32_t>(current / divisor);
        remainder = current % divisor;
    }
}

// 32 bits of 2/pi, the first of them at `position` counted from the top of the integer word
// (zero, like every bit before it).
std::uint32_t TwoOverPiBits(int position) {
    if (position < 0) return 0;
    return static_cast<std::uint32_t>(
        sine_argument::TwoOverPiBits(static_cast<unsigned>(position)) >> 32);
}

template <int Words>
struct Reduction {
    unsigned quadrant;      // q: |x| = (q + f) pi/2 modulo 2 pi
    bool negativeFraction;  // f < 0
    Fixed<Words> fraction;  // |f| <= 1/2, truncated: low by less than one unit of the last word
};

// |x| = mantissa * 2^(exponent - 52). |x| * 2/pi = mantissa * (2/pi) * 2^(exponent - 52): bits
// of 2/pi before the window add multiples of 4, bits after it less than 2^-(32 Words + 9), a
// 2^-11 of the last word kept.
// The window, Words + 2 words from bit exponent - 53 of 2/pi, times the mantissa, less its two
// lowest words, holds |x| * 2/pi mod 4 with 2 bits before the point.
template <int Words>
Reduction<Words> ReduceToQuadrant(std::uint64_t mantissa, int exponent) {
    constexpr int kWindowWords = Words + 2;
    std::uint32_t window[static_cast<std::size_t>(kWindowWords)];
    for (int i = 0; i < kWindowWords; ++i) {
        window[i] = TwoOverPiBits(exponent + 10 + 32 * i);
    }
    // window * mantissa, most significant word first: kWindowWords + 2 words.
    std::uint32_t product[static_cast<std::size_t>(kWindowWords) + 2] = {};
    const std::uint32_t factor[2] = {static_cast<std::uint32_t>(mantissa >> 32),
                                     static_cast<std::uint32_t>(mantissa)};
    for (int f = 1; f >= 0; --f) {
        std::uint64_t carry = 0;
        for (int i = kWindowWords - 1; i >= 0; --i) {
            const int at = i + f + 1;
            const std::uint64_t sum = std::uint64_t{window[i]} * factor[f] + product[at] + carry;
            product[at] = static_cast<std::uint32_t>(sum);
            carry = sum >> 32;
        }
        product[f] = static_cast<std::uint32_t>(carry);
    }
    // y = product[2 .. Words + 1]: 2 bits of quadrant, then the fraction.
    std::uint32_t* y = product + 2;
    Reduction<Words> reduction{};
    reduction.quadrant = y[0] >> 30;
    y[0] &= 0x3fffffffu;
    if ((y[0] & 0x20000000u) != 0) {
        // f >= 1/2: round to the next quadrant and take 1 - f, the two's complement.
        reduction.quadrant = (reduction.quadrant + 1) & 3u;
        reduction.negativeFraction = true;
        std::uint64_t borrow = 0;
        for (int i = Words - 1; i >= 0; --i) {
            const std::uint64_t difference = std::uint64_t{0} - y[i] - borrow;
            y[i] = static_cast<std::uint32_t>(difference);
            borrow = (difference >> 32) & 1u;
        }
        y[0] &= 0x3fffffffu;
    }
    // |f| with the point moved to the word boundary: 30 + 32 (Words - 1) bits, shifted by 2.
    for (int i = 1; i < Words; ++i) {
        reduction.fraction.word[i] = (y[i - 1] << 2) | (y[i] >> 30);
    }
    return reduction;
}

// The reduced argument of a test, its fraction truncated to the width: low by less than one unit
// of the last word, as the reduction of a double leaves it.
template <int Words>
Reduction<Words> TruncateReduced(const ReducedSineArgument& argument) {
    Reduction<Words> reduction{};
    reduction.quadrant = argument.quadrant & 3u;
    reduction.negativeFraction = argument.negativeFraction;
    for (int i = 1; i < Words; ++i) {
        reduction.fraction.word[i] = argument.fraction[i - 1];
    }
    return reduction;
}

// sin r (odd terms, first = r) or cos r (even terms, first = 1) for 0 <= r <= pi/4: the terms
// fall, so every partial sum stays positive.
template <int Words>
Fixed<Words> TaylorSeries(const Fixed<Words>& r, bool cosine) {
    const Fixed<Words> square = Multiply(r, r);
    Fixed<Words> term{};
    if (cosine) {
        term.word[0] = 1;
    } else {
        term = r;
    }
    Fixed<Words> sum = term;
    bool subtract = true;
    for (std::uint32_t n = cosine ? 1u : 2u;; n += 2, subtract = !subtract) {
        term = Multiply(term, square);
        Divide(term, n * (n + 1));
        if (IsZero(term)) break;
        if (subtract) {
            Subtract(sum, term);
        } else {
            Add(sum, term);
        }
    }
    return sum;
}

// The nearest double to a (ties to even); a is at least 2^-100 and below 2.
template <int Words>
double RoundToDouble(const Fixed<Words>& a) {
    int first = 0;
    while (first < Words - 1 && a.word[first] == 0) ++first;
    const std::uint32_t lead = a.word[first];
    int leadBit = 31;
    while (leadBit > 0 && ((lead >> leadBit) & 1u) == 0) --leadBit;
    // 64 bits from the leading one on; sticky tells whether anything follows them.
    const std::uint64_t next = first + 1 < Words ? a.word[first + 1] : 0;
    const std::uint64_t after = first + 2 < Words ? a.word[first + 2] : 0;
    const int shift = 31 - leadBit;
    std::uint64_t head = ((std::uint64_t{lead} << 32) | next) << shift;
    bool sticky = false;
    if (shift > 0) {
        head |= after >> (32 - shift);
        sticky = (after & ((std::uint64_t{1} << (32 - shift)) - 1)) != 0;
    } else {
        sticky = after != 0;
    }
    for (int i = first + 3; i < Words; ++i) sticky = sticky || a.word[i] != 0;

    std::uint64_t mantissa = head >> 11;
    const std::uint64_t rest = head & 0x7ffu;
    int exponent = leadBit - 32 * first;
    if (rest > 0x400u || (rest == 0x400u && (sticky || (mantissa & 1u) != 0))) {
        ++mantissa;
        if (mantissa == (std::uint64_t{1} << 53)) {
            mantissa >>= 1;
            ++exponent;
        }
    }
    const std::uint64_t bits = (static_cast<std::uint64_t>(exponent + 1023) << 52) |
                               (mantissa & ((std::uint64_t{1} << 52) - 1));
    return sine_argument::FromBits(bits);
}

// The correctly rounded sin((q + f) pi/2) (its sign in `negative`) when Words suffice to settle
// the rounding.
template <int Words>
bool EvaluateAndDecide(const Reduction<Words>& reduction, double& magnitude, bool& negative) {
    Fixed<Words> halfPi;
    std::memcpy(halfPi.word, k::kHalfPi, sizeof halfPi.word);
    const Fixed<Words> radians = Multiply(reduction.fraction, halfPi);
    // sin((q + f) pi/2): q = 0: sin r, 1: cos r, 2: -sin r, 3: -cos r, with sin r odd in f.
    const bool cosine = (reduction.quadrant & 1u) != 0;
    const Fixed<Words> value = TaylorSeries(radians, cosine);
    negative = (reduction.quadrant >= 2) != (!cosine && reduction.negativeFraction);

    // The steps above lose less than 2^10 units of the last word in all; allow 2^16. A value
    // within that of zero (only in attempts too narrow for the sine) is left undecided.
    Fixed<Words> error{};
    error.word[Words - 1] = 1u << 16;
    if (IsLess(value, error) || IsZero(value)) return false;
    Fixed<Words> below = value;
    Subtract(below, error);
    Fixed<Words> above = value;
    Add(above, error);
    magnitude = RoundToDouble(above);
    return RoundToDouble(below) == magnitude;
}

template <int Words>
using Width = std::integral_constant<int, Words>;

// One attempt: reduce(Width<W>{}) gives the Reduction<W> to evaluate; false for a width that
// has no attempt.
template <typename Reduce>
bool AttemptWidth(int words, const Reduce& reduce, double& magnitude, bool& negative) {
    switch (words) {
        case 2:
            return EvaluateAndDecide(reduce(Width<2>{}), magnitude, negative);
        case 5:
            return EvaluateAndDecide(reduce(Width<5>{}), magnitude, negative);
        case 9:
            return EvaluateAndDecide(reduce(Width<9>{}), magnitude, negative);
        case 16:
            return EvaluateAndDecide(reduce(Width<16>{}), magnitude, negative);
        default:
            return false;
    }
}

// The attempts at `widths` in turn until one settles; otherwise the diagnostic, naming the
// argument as describe(buffer, size) writes it, and abort.
template <typename Attempt, typename Describe>
double FirstSettled(std::initializer_list<int> widths, int& settledWith, const Attempt& attempt,
                    const Describe& describe) {
    double result = 0.0;
    for (int words : widths) {
        if (attempt(words, result)) {
            settledWith = words;
            return result;
        }
    }
    char argument[200];
    describe(argument, sizeof argument);
    std::fprintf(stderr, "Sine: the rounding of the sine of %s is still undecided\n", argument);
    std::abort();
}

}  // namespace

bool TryExactSine(double radians, int words, double& result) {
    if (sine_argument::TrivialSine(radians, result)) return true;
    const std::uint64_t bits = sine_argument::BitsOf(radians);
    const std::uint64_t magnitudeBits = bits & ~sine_argument::kSignBit;
    const std::uint64_t mantissa = sine_argument::MantissaOf(magnitudeBits);
    const int exponent = sine_argument::ExponentOf(magnitudeBits);
    double magnitude = 0.0;
    bool negative = false;
    const auto reduce = [mantissa, exponent](auto width) {
        return ReduceToQuadrant<decltype(width)::value>(mantissa, exponent);
    };
    if (!AttemptWidth(words, reduce, magnitude, negative)) return false;
    const bool negativeArgument = (bits & sine_argument::kSignBit) != 0;
    result = negative != negativeArgument ? -magnitude : magnitude;
    return true;
}

bool TryExactSine(const ReducedSineArgument& argument, int words, double& result) {
    double magnitude = 0.0;
    bool negative = false;
    const auto reduce = [&argument](auto width) {
        return TruncateReduced<decltype(width)::value>(argument);
    };
    if (!AttemptWidth(words, reduce, magnitude, negative)) return false;
    result = negative ? -magnitude : magnitude;
    return true;
}

double ExactSineTrying(double radians, std::initializer_list<int> widths, int& settledWith) {
    return FirstSettled(
        widths, settledWith,
        [radians](int words, double& result) { return TryExactSine(radians, words, result); },
        [radians](char* buffer, std::size_t size) {
            std::snprintf(buffer, size, "%016llx",
                          static_cast<unsigned long long>(sine_argument::BitsOf(radians)));
        });
}

double ExactSineTrying(const ReducedSineArgument& argument, std::initializer_list<int> widths,
                       int& settledWith) {
    return FirstSettled(
        widths, settledWith,
        [&argument](int words, double& result) { return TryExactSine(argument, words, result); },
        [&argument](char* buffer, std::size_t size) {
            int used = std::snprintf(buffer, size, "(%u %c 0x0.", argument.quadrant & 3u,
                                     argument.negativeFraction ? '-' : '+');
            for (std::uint32_t word : argument.fraction) {
                used += std::snprintf(buffer + used, size - static_cast<std::size_t>(used), "%08lx",
                                      static_cast<unsigned long>(word));
            }
            std::snprintf(buffer + used, size - static_cast<std::size_t>(used), ") pi/2");
        });
}

double ExactSine(double radians) {
    int settledWith = 0;
    return ExactSineTrying(radians, {5, 9, 16}, settledWith);
}
