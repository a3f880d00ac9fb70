// The integer pieces of quantisation on their own: the 128-by-64-bit
// division and the rounding to a 64-bit significand. These run on every
// platform, the extended-format oracle only where that format exists.
#include "arrange/GridSpan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace {

constexpr std::uint64_t max64 = std::numeric_limits<std::uint64_t>::max();

TEST(GridSpan, RoundedQuotients)
{
    struct Case {
        std::uint64_t numerator, denominator, significand;
        int exponent;
    };
    const Case cases[] = {
        {1, 3, 0xAAAAAAAAAAAAAAAB, -65},     // rounds up
        {2, 3, 0xAAAAAAAAAAAAAAAB, -64},
        {80, 24, 0xD555555555555555, -62},   // rounds down
        {25, 24, 0x8555555555555555, -63},
        {32767, 24, 0xAAA9555555555555, -53},
        {480, 24, 0xA000000000000000, -59},  // exact
        {1u << 31, 1, 0x8000000000000000, -32},
        {max64, 1, max64, 0},
        {max64, 2, max64, -1},
        {max64, max64, 0x8000000000000000, -63},
        {1, max64, 0x8000000000000001, -127}, // just above the half way
        {(max64 >> 1), max64, max64, -65},
    };
    for (const Case& c : cases) {
        const Extended e = roundedQuotient(c.numerator, c.denominator);
        EXPECT_EQ(e.significand, c.significand) << c.numerator << " / " << c.denominator;
        EXPECT_EQ(e.exponent, c.exponent) << c.numerator << " / " << c.denominator;
    }
}

TEST(GridSpan, BuildSwitchSelectsTheDivision)
{
#if defined(MIDI2VARN_PORTABLE_WIDE) || !defined(__SIZEOF_INT128__)
    EXPECT_TRUE(wide::dividesPortably());
#else
    EXPECT_FALSE(wide::dividesPortably());
#endif
}

#ifdef __SIZEOF_INT128__

__extension__ typedef unsigned __int128 Native128;

TEST(GridSpan, PortableDivisionMatchesNativeIntegers)
{
    const auto same = [](std::uint64_t hi, std::uint64_t lo, std::uint64_t d) {
        std::uint64_t remainder = 0;
        const std::uint64_t quotient = wide::dividePortable({hi, lo}, d, remainder);
        const Native128 n = (Native128{hi} << 64) | lo;
        if (quotient == static_cast<std::uint64_t>(n / d) && remainder == static_cast<std::uint64_t>(n % d))
            return true;
        ADD_FAILURE() << hi << ":" << lo << " / " << d << " gave " << quotient << " rest " << remainder;
        return false;
    };
    // Divisors at digit and word boundaries, with the largest and smallest
    // dividends they allow, and some in between.
    const std::uint64_t divisors[] = {1, 2, 3, 24, 0xFFFFFFFF, 0x100000000, 0x100000001, 0x80000000FFFFFFFF,
                                      0x8000000000000000, 0xFFFFFFFF00000000, max64 - 1, max64};
    for (std::uint64_t d : divisors)
        for (std::uint64_t hi : {std::uint64_t{0}, d / 2, d - 1})
            for (std::uint64_t lo : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{0xFFFFFFFF}, max64 / 3, max64})
                ASSERT_TRUE(same(hi, lo, d));

    std::mt19937_64 rng(128);
    for (int i = 0; i < 300000; ++i) {
        // Divisors of every width; the dividend's high half below the divisor.
        const std::uint64_t d = (rng() >> (i % 64)) | 1;
        const std::uint64_t hi = rng() % d;
        const std::uint64_t lo = rng();
        ASSERT_TRUE(same(hi, lo, d));
        // Quotients whose first estimate is too large: high digits equal.
        ASSERT_TRUE(same(d - 1, (d << 1) | (lo >> 63), d | (std::uint64_t{1} << 63)));
    }
}

#endif

} // namespace
