#include "arrange/GridSpan.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<double>::digits == 53,
              "the band limits are binary64 values");

// Spans are compared in fixed point with 51 fractional bits: every band limit
// (a binary64 value of at least 2) is an integer there, so comparing the
// floor of a span with a limit decides exactly as comparing the span itself.
constexpr int fractionBits = 51;
constexpr std::uint64_t fractionMask = (std::uint64_t{1} << fractionBits) - 1;

constexpr std::int64_t scaled(double limit)
{
    return static_cast<std::int64_t>(limit * 0x1p51);
}

struct Band {
    std::int64_t below; // upper bound (exclusive), in 24ths scaled by 2^51
    double limit;       // the same bound, in 24ths
    int fraction;       // grid value of the band
};

constexpr Band band(double limit, int fraction)
{
    return Band{scaled(limit), limit, fraction};
}

constexpr Band plainBands[] = {
    band(2.5, 0),   band(3.9, 3),   band(8.1, 6),   band(9.5, 9),
    band(14.5, 12), band(15.9, 15), band(20.1, 18), band(21.5, 21),
};
constexpr Band tripletBands[] = {
    band(2.6, 0),   band(3.4, 3),   band(4.6, 4),   band(7.4, 6),
    band(8.6, 8),   band(9.4, 9),   band(14.6, 12), band(15.4, 15),
    band(16.6, 16), band(19.4, 18), band(20.6, 20), band(21.4, 21),
};

static_assert(scaled(2.5) == std::int64_t{5} << 50 && scaled(3.9) == 0x1F333333333333,
              "limits scale exactly");

template <std::size_t N>
int lookUp(const Band (&bands)[N], std::int64_t span)
{
    for (const Band& band : bands)
        if (span < band.below)
            return band.fraction;
    return bands[N - 1].fraction; // not reached: the span is below the highest limit
}

// Grid value of the span integerPart + fraction51 / 2^51 (fraction51 below
// 2^51): whole quarters are taken off until the rest lies below the highest
// limit, then the rest falls into its band. Not wrapped: up to 2^36 24ths.
template <std::size_t N>
std::uint64_t quantise(const Band (&bands)[N], std::uint64_t integerPart, std::uint64_t fraction51)
{
    const std::int64_t highest = bands[N - 1].below;
    const auto highestInteger = static_cast<std::uint64_t>(highest >> fractionBits);
    const std::uint64_t highestFraction = static_cast<std::uint64_t>(highest) & fractionMask;
    // The rest is below the highest limit when its integer part is at most this.
    const std::uint64_t ceiling = fraction51 < highestFraction ? highestInteger : highestInteger - 1;
    std::uint64_t whole = 0;
    if (integerPart > ceiling)
        whole = (integerPart - ceiling + 23) / 24;
    const std::int64_t rest = static_cast<std::int64_t>(integerPart) - static_cast<std::int64_t>(24 * whole);
    const std::int64_t span = rest * (std::int64_t{1} << fractionBits) + static_cast<std::int64_t>(fraction51);
    return static_cast<std::uint64_t>(lookUp(bands, span)) + 24 * whole;
}

// The grid value of `span` (24ths, from a binary64 division that may be a
// little off the rounded one) when it lies clearly inside a band and a
// quarter: any value within `margin` of it then falls in the same band, so
// the decision is the rounded span's. False when it lies too near an edge.
template <std::size_t N>
bool quantiseClearly(const Band (&bands)[N], double span, double margin, std::uint64_t& grid)
{
    const double highest = bands[N - 1].limit;
    const auto whole = span < highest ? std::uint64_t{0} : static_cast<std::uint64_t>((span - highest) / 24) + 1;
    const double rest = span - 24 * static_cast<double>(whole);
    if (rest < highest - 24 + margin || rest > highest - margin)
        return false;
    for (const Band& band : bands) {
        if (rest < band.limit - margin) {
            grid = static_cast<std::uint64_t>(band.fraction) + 24 * whole;
            return true;
        }
        if (rest <= band.limit + margin)
            return false;
    }
    return false;
}

std::uint64_t magnitude(int value)
{
    const auto bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    return value < 0 ? std::uint64_t{0} - bits : bits;
}

wide::U128 shiftLeft(std::uint64_t value, int shift)
{
    if (shift == 0)
        return {0, value};
    if (shift >= 64)
        return {value << (shift - 64), 0};
    return {value >> (64 - shift), value << shift};
}

bool less(wide::U128 a, wide::U128 b)
{
    return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo);
}

} // namespace

namespace {

// The unit, division / 24 rounded, and the same in binary64.
struct Unit {
    Extended exact;
    double near;
};

// The unit of the division last asked for: a file has one division, and a
// conversion asks for it a million times.
const Unit& unitOf(int division)
{
    static int known = 0;
    static Unit unit{};
    if (division != known) {
        unit.exact = roundedQuotient(magnitude(division), 24);
        unit.near = std::ldexp(static_cast<double>(unit.exact.significand), unit.exact.exponent);
        known = division;
    }
    return unit;
}

} // namespace

Extended roundedQuotient(std::uint64_t numerator, std::uint64_t denominator)
{
    // Scale the numerator by 2^shift so that the quotient has exactly 64 bits.
    int shift = 63 + static_cast<int>(std::bit_width(denominator)) - static_cast<int>(std::bit_width(numerator));
    wide::U128 scaledNumerator = shiftLeft(numerator, shift);
    if (less(scaledNumerator, shiftLeft(denominator, 63)))
        scaledNumerator = shiftLeft(numerator, ++shift);

    std::uint64_t remainder = 0;
    std::uint64_t quotient = wide::divide(scaledNumerator, denominator, remainder);
    int exponent = -shift;
    // 64-bit operands never give a tie, nor a quotient that rounds up to
    // 2^64; the rule is kept whole all the same.
    const std::uint64_t toNext = denominator - remainder;
    if (remainder > toNext || (remainder == toNext && (quotient & 1) != 0)) {
        ++quotient;
        if (quotient == 0) { // rounded up to 2^64
            quotient = std::uint64_t{1} << 63;
            ++exponent;
        }
    }
    return {quotient, exponent};
}

std::int64_t gridPosition(int ticks, int division, bool triplets)
{
    // A negative span lies below every limit. Without a division there is no
    // unit to measure in.
    if (ticks == 0 || division == 0 || (ticks < 0) != (division < 0))
        return 0;

    const Unit& units = unitOf(division);
    // Most spans lie clearly inside a band: binary64 decides them. Its span
    // is within 2^-51 of the rounded one relative to its size; the margin
    // leaves room for eight times that.
    const double near = static_cast<double>(magnitude(ticks)) / units.near;
    const double margin = near * 0x1p-48 + 0x1p-40;
    std::uint64_t quick = 0;
    if (triplets ? quantiseClearly(tripletBands, near, margin, quick) : quantiseClearly(plainBands, near, margin, quick))
        return static_cast<std::int64_t>(quick);

    const Extended unit = units.exact;
    const Extended span = roundedQuotient(magnitude(ticks), unit.significand);
    // ticks / unit is span x 2^-unit.exponent, rounded as the format rounds
    // it (the power of two only scales). With both magnitudes between 1 and
    // 2^31 it lies between 2^-27 and 2^36, so its significand has between 28
    // and 90 bits after the binary point.
    const int pointBits = unit.exponent - span.exponent;
    std::uint64_t integerPart = 0;
    std::uint64_t fraction51 = 0;
    if (pointBits >= 64) {
        fraction51 = span.significand >> (pointBits - fractionBits);
    } else {
        integerPart = span.significand >> pointBits;
        const std::uint64_t fraction = span.significand & ((std::uint64_t{1} << pointBits) - 1);
        fraction51 = pointBits >= fractionBits ? fraction >> (pointBits - fractionBits)
                                               : fraction << (fractionBits - pointBits);
    }
    const std::uint64_t grid = triplets ? quantise(tripletBands, integerPart, fraction51)
                                        : quantise(plainBands, integerPart, fraction51);
    return static_cast<std::int64_t>(grid);
}

int gridFraction(int ticks, int division, bool triplets)
{
    // More than 2^31 24ths wrap, as 32-bit arithmetic would.
    return static_cast<int>(static_cast<std::uint32_t>(gridPosition(ticks, division, triplets)));
}

namespace wide {

std::uint64_t dividePortable(U128 n, std::uint64_t d, std::uint64_t& remainder)
{
    // Long division by 32-bit digits after normalising d to its top bit
    // (Knuth's algorithm D for two quotient digits).
    constexpr std::uint64_t base = std::uint64_t{1} << 32;
    constexpr std::uint64_t digitMask = base - 1;
    const int shift = std::countl_zero(d);
    d <<= shift;
    const std::uint64_t dHigh = d >> 32;
    const std::uint64_t dLow = d & digitMask;
    const std::uint64_t top = shift == 0 ? n.hi : (n.hi << shift) | (n.lo >> (64 - shift));
    const std::uint64_t low = n.lo << shift;
    const std::uint64_t low1 = low >> 32;
    const std::uint64_t low0 = low & digitMask;

    // Each estimate from the divisor's high digit is at most 2 too large.
    std::uint64_t q1 = top / dHigh;
    std::uint64_t rest = top - q1 * dHigh;
    while (q1 >= base || q1 * dLow > ((rest << 32) | low1)) {
        --q1;
        rest += dHigh;
        if (rest >= base)
            break;
    }
    const std::uint64_t middle = (top << 32) + low1 - q1 * d; // below d, modulo 2^64

    std::uint64_t q0 = middle / dHigh;
    rest = middle - q0 * dHigh;
    while (q0 >= base || q0 * dLow > ((rest << 32) | low0)) {
        --q0;
        rest += dHigh;
        if (rest >= base)
            break;
    }
    remainder = ((middle << 32) + low0 - q0 * d) >> shift;
    return (q1 << 32) + q0;
}

#if defined(__SIZEOF_INT128__) && !defined(MIDI2VARN_PORTABLE_WIDE)

__extension__ typedef unsigned __int128 Native128;

std::uint64_t divide(U128 n, std::uint64_t d, std::uint64_t& remainder)
{
    const Native128 value = (Native128{n.hi} << 64) | n.lo;
    remainder = static_cast<std::uint64_t>(value % d);
    return static_cast<std::uint64_t>(value / d);
}

bool dividesPortably()
{
    return false;
}

#else

std::uint64_t divide(U128 n, std::uint64_t d, std::uint64_t& remainder)
{
    return dividePortable(n, d, remainder);
}

bool dividesPortably()
{
    return true;
}

#endif

} // namespace wide
